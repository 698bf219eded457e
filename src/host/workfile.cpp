#include "host/workfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace mixed::host {

namespace {

// The least memory the work file asks of the scratch budget at a time, so that
// small files do not reallocate on every record.
constexpr std::size_t kMinChunk = std::size_t{64} << 10;

// An anonymous temporary file in $TMPDIR (or /tmp), removed from the directory
// at once so that it disappears with the process whatever happens.
std::FILE* open_temporary() {
  const char* dir = std::getenv("TMPDIR");
  std::string name = (dir != nullptr && *dir != '\0') ? dir : "/tmp";
  name += "/mixed-work-XXXXXX";
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return nullptr;
  ::unlink(name.c_str());
  std::FILE* f = ::fdopen(fd, "w+b");
  if (f == nullptr) ::close(fd);
  return f;
}

std::string_view trim_right(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

}  // namespace

WorkFile::WorkFile(Scratch& scratch, std::size_t record_length) : scratch_(scratch), reclen_(record_length) {}

WorkFile::~WorkFile() {
  scratch_.release(reserved_);
  if (file_ != nullptr) std::fclose(file_);
}

bool WorkFile::write(std::span<const double> record) {
  if (record.size() != reclen_) return false;
  count_ = next_;  // a write at a position ends the file there, as on a sequential file
  if (file_ == nullptr) {
    const std::size_t need = (count_ + 1) * reclen_ * sizeof(double);
    if (need > reserved_) {
      // Ask for twice the memory held (at least a chunk); near the budget take
      // what is left; when even one record does not fit, go to disk.
      const std::size_t want = std::max({need, 2 * reserved_, kMinChunk}) - reserved_;
      const std::size_t left = scratch_.budget() - std::min(scratch_.budget(), scratch_.in_use());
      std::size_t got = 0;
      if (scratch_.reserve(want))
        got = want;
      else if (left >= need - reserved_ && scratch_.reserve(left))
        got = left;
      if (got == 0) {
        if (!spill()) return false;
      } else {
        reserved_ += got;
        try {
          memory_.reserve(reserved_ / sizeof(double));
        } catch (const std::bad_alloc&) {
          if (!spill()) return false;
        }
      }
    }
  }
  if (file_ == nullptr) {
    memory_.resize(count_ * reclen_);
    memory_.insert(memory_.end(), record.begin(), record.end());
  } else {
    if (!writing_ && ::fseeko(file_, static_cast<off_t>(next_ * reclen_ * sizeof(double)), SEEK_SET) != 0) return false;
    writing_ = true;
    if (std::fwrite(record.data(), sizeof(double), reclen_, file_) != reclen_) return false;
  }
  count_ = ++next_;
  return true;
}

void WorkFile::rewind() {
  next_ = 0;
  if (file_ != nullptr) {
    ::fseeko(file_, 0, SEEK_SET);
    writing_ = false;
  }
}

bool WorkFile::read(std::span<double> record) {
  if (record.size() != reclen_ || next_ >= count_) return false;
  if (file_ == nullptr) {
    std::copy_n(memory_.begin() + static_cast<std::ptrdiff_t>(next_ * reclen_), reclen_, record.begin());
  } else {
    if (writing_ && ::fseeko(file_, static_cast<off_t>(next_ * reclen_ * sizeof(double)), SEEK_SET) != 0) return false;
    writing_ = false;
    if (std::fread(record.data(), sizeof(double), reclen_, file_) != reclen_) return false;
  }
  ++next_;
  return true;
}

void WorkFile::reset(std::size_t record_length) {
  reclen_ = record_length;
  count_ = next_ = 0;
  std::vector<double>().swap(memory_);
  scratch_.release(reserved_);
  reserved_ = 0;
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  writing_ = true;
}

std::span<const double> WorkFile::in_memory() const {
  if (file_ != nullptr) return {};
  return std::span<const double>(memory_.data(), count_ * reclen_);
}

// Moves the records written so far to a temporary file and gives their memory
// back to the scratch budget; the file goes on there.
bool WorkFile::spill() {
  std::FILE* f = open_temporary();
  if (f == nullptr) return false;
  const std::size_t n = count_ * reclen_;
  if (std::fwrite(memory_.data(), sizeof(double), n, f) != n) {
    std::fclose(f);
    return false;
  }
  file_ = f;
  writing_ = true;
  std::vector<double>().swap(memory_);
  scratch_.release(reserved_);
  reserved_ = 0;
  return true;
}

CaseReader::CaseReader(const Dataset& data) : data_(data) {}

bool CaseReader::next_group() {
  const std::size_t n = data_.n_cases();
  if (!started_) {
    started_ = true;
    begin_ = end_ = 0;
    if (n == 0) return true;  // one empty group, so that the procedure can say no cases remain
  } else {
    if (end_ >= n) return false;
    begin_ = end_;
  }
  end_ = begin_ + 1;
  while (end_ < n && same_split(begin_, end_)) ++end_;
  return true;
}

bool CaseReader::same_split(std::size_t a, std::size_t b) const {
  for (std::size_t s : data_.split()) {
    if (data_.var(s).numeric()) {
      const double x = data_.number(s, a);
      const double y = data_.number(s, b);
      if (!(x == y || (is_sysmis(x) && is_sysmis(y)))) return false;
    } else if (trim_right(data_.string(s, a)) != trim_right(data_.string(s, b))) {
      return false;
    }
  }
  return true;
}

Split CaseReader::split() const {
  Split out;
  if (begin_ >= end_) return out;
  for (std::size_t s : data_.split()) {
    const Variable& var = data_.var(s);
    SplitValue v;
    v.variable = var.name;
    v.numeric = var.numeric();
    std::string_view label;
    if (v.numeric) {
      v.number = data_.number(s, begin_);
      label = var.value_label(v.number);
    } else {
      v.string = std::string(trim_right(data_.string(s, begin_)));
      label = var.value_label(v.string);
    }
    v.shown = Text::data_value(data_.format_value(s, begin_), label);
    out.push_back(std::move(v));
  }
  return out;
}

}  // namespace mixed::host
