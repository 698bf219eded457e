// The work file: records come back in the order written, in memory and after
// the move to disk, and the scratch budget is accounted for.
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include "host/workfile.h"

namespace mixed::host {
namespace {

// Record i of length n: (i, i + 0.5, i + 0.25, ...), distinct in every cell.
std::vector<double> record(std::size_t i, std::size_t n) {
  std::vector<double> r(n);
  for (std::size_t k = 0; k < n; ++k) r[k] = static_cast<double>(i) + 1.0 / static_cast<double>(k + 1);
  return r;
}

// Reads the whole file from the start and checks it holds records first..first+count-1.
void expect_records(WorkFile& f, std::size_t first, std::size_t count) {
  f.rewind();
  std::vector<double> r(f.record_length());
  for (std::size_t i = 0; i < count; ++i) {
    ASSERT_TRUE(f.read(r)) << "record " << i;
    ASSERT_EQ(r, record(first + i, f.record_length())) << "record " << i;
  }
  EXPECT_FALSE(f.read(r)) << "read past the end";
}

TEST(WorkFile, InMemoryWriteRewindRead) {
  Scratch scratch(std::size_t{1} << 30);
  {
    WorkFile f(scratch, 3);
    std::vector<double> r(3);
    EXPECT_FALSE(f.read(r));  // empty file
    for (std::size_t i = 0; i < 1000; ++i) ASSERT_TRUE(f.write(record(i, 3)));
    EXPECT_FALSE(f.on_disk());
    EXPECT_EQ(f.records(), 1000u);
    EXPECT_GE(scratch.in_use(), 1000 * 3 * sizeof(double));  // the records are accounted for
    expect_records(f, 0, 1000);
    expect_records(f, 0, 1000);  // a second pass reads the same

    const std::span<const double> all = f.in_memory();
    ASSERT_EQ(all.size(), 3000u);
    EXPECT_EQ(all[3 * 999 + 2], record(999, 3)[2]);

    // A record of the wrong length is refused and changes nothing.
    EXPECT_FALSE(f.write(record(0, 2)));
    std::vector<double> two(2);
    f.rewind();
    EXPECT_FALSE(f.read(two));

    // Writing after a rewind starts the file anew; after two reads it keeps those two.
    f.rewind();
    ASSERT_TRUE(f.read(r));
    ASSERT_TRUE(f.read(r));
    ASSERT_TRUE(f.write(record(2, 3)));
    EXPECT_EQ(f.records(), 3u);
    expect_records(f, 0, 3);
    f.rewind();
    for (std::size_t i = 0; i < 5; ++i) ASSERT_TRUE(f.write(record(10 + i, 3)));
    expect_records(f, 10, 5);

    // Reset empties the file, takes a new record length and gives the memory back.
    f.reset(2);
    EXPECT_EQ(f.records(), 0u);
    EXPECT_EQ(scratch.in_use(), 0u);
    ASSERT_TRUE(f.write(record(7, 2)));
    expect_records(f, 7, 1);
  }
  EXPECT_EQ(scratch.in_use(), 0u);  // the destructor gives the budget back
}

TEST(WorkFile, SpillsToDiskWhenTheBudgetIsSpent) {
  // 4 KiB of budget, 1 KiB of it taken by a block: a few records fit, then the
  // file must move to disk without losing any.
  Scratch scratch(4096);
  ASSERT_TRUE(scratch.get<double>(host::Pool::GroupWork, 128));
  {
    WorkFile f(scratch, 5);
    std::size_t in_memory = 0;
    for (std::size_t i = 0; i < 2000; ++i) {
      ASSERT_TRUE(f.write(record(i, 5))) << i;
      if (!f.on_disk()) in_memory = i + 1;
    }
    EXPECT_TRUE(f.on_disk());
    EXPECT_GT(in_memory, 0u);
    EXPECT_LT(in_memory, 2000u);
    EXPECT_TRUE(f.in_memory().empty());
    EXPECT_EQ(scratch.in_use(), 1024u);  // the memory went back when the file moved
    EXPECT_EQ(f.records(), 2000u);
    expect_records(f, 0, 2000);
    expect_records(f, 0, 2000);

    // Reads then a write: the file ends after the new record, on disk as in memory.
    f.rewind();
    std::vector<double> r(5);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(f.read(r));
    ASSERT_TRUE(f.write(record(3, 5)));
    ASSERT_TRUE(f.write(record(4, 5)));
    EXPECT_EQ(f.records(), 5u);
    expect_records(f, 0, 5);

    // A rewritten file that is longer than before reads back whole.
    f.rewind();
    for (std::size_t i = 0; i < 3000; ++i) ASSERT_TRUE(f.write(record(100 + i, 5)));
    expect_records(f, 100, 3000);

    // After reset the file is back in memory.
    f.reset(1);
    EXPECT_FALSE(f.on_disk());
    ASSERT_TRUE(f.write(record(1, 1)));
    EXPECT_FALSE(f.on_disk());
    expect_records(f, 1, 1);
  }
  EXPECT_EQ(scratch.in_use(), 1024u);
}

TEST(WorkFile, NoBudgetAtAllGoesStraightToDisk) {
  Scratch scratch(0);
  WorkFile f(scratch, 4);
  for (std::size_t i = 0; i < 10; ++i) ASSERT_TRUE(f.write(record(i, 4)));
  EXPECT_TRUE(f.on_disk());
  expect_records(f, 0, 10);
}

TEST(WorkFile, NoTemporaryDirectoryMeansTheWriteFails) {
  const char* old = std::getenv("TMPDIR");
  const std::string saved = old ? old : "";
  ::setenv("TMPDIR", "/nonexistent-dir-for-mixed-test", 1);
  Scratch scratch(0);
  WorkFile f(scratch, 2);
  EXPECT_FALSE(f.write(record(0, 2)));
  EXPECT_EQ(f.records(), 0u);
  if (old)
    ::setenv("TMPDIR", saved.c_str(), 1);
  else
    ::unsetenv("TMPDIR");
}

}  // namespace
}  // namespace mixed::host
