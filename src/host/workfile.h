// The work file: fixed-length records of eight-byte reals, written in one pass
// and read back in passes (FBWRIT, FRWIND, FBREAD).
//
// Records are held in memory while the scratch budget allows; when it does not,
// the file moves to a temporary file on disk and goes on there.  Either way the
// records are read back in the order written.
#pragma once

#include <cstddef>
#include <cstdio>
#include <span>
#include <vector>

#include "host/dataset.h"
#include "host/output.h"
#include "host/scratch.h"

namespace mixed::host {

class WorkFile {
 public:
  WorkFile(Scratch& scratch, std::size_t record_length);
  ~WorkFile();
  WorkFile(const WorkFile&) = delete;
  WorkFile& operator=(const WorkFile&) = delete;

  std::size_t record_length() const { return reclen_; }
  std::size_t records() const { return count_; }
  bool on_disk() const { return file_ != nullptr; }

  // Appends a record of record_length() reals; false when neither memory nor
  // disk can take it.
  bool write(std::span<const double> record);
  // Positions at the first record.
  void rewind();
  // Reads the next record; false at the end of the file.
  bool read(std::span<double> record);
  // Empties the file and sets a new record length.
  void reset(std::size_t record_length);
  // Records in memory, for passes that walk them in place (empty when on disk).
  std::span<const double> in_memory() const;

 private:
  bool spill();

  Scratch& scratch_;
  std::size_t reclen_;
  std::size_t count_ = 0;
  std::size_t next_ = 0;
  std::vector<double> memory_;
  std::size_t reserved_ = 0;
  std::FILE* file_ = nullptr;
  bool writing_ = true;
};

// Split groups of the active data set: a new group starts whenever
// the values of the split variables change from one case to the next.
class CaseReader {
 public:
  explicit CaseReader(const Dataset& data);
  // Starts the next group; false when no further group exists (end of data).
  bool next_group();
  std::size_t begin() const { return begin_; }
  std::size_t end() const { return end_; }
  // The split variables with their values in the current group.
  Split split() const;
  // Rows a and b hold the same values of the split variables (so that they
  // belong to one group when no other value lies between them).
  bool same_split(std::size_t a, std::size_t b) const;

 private:
  const Dataset& data_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool started_ = false;
};

}  // namespace mixed::host
