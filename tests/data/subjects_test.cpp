// Subject ordering: the mixed-radix keys, the order of the rewritten work
// file, the subject counts and the numbering of repeated measurements.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <sstream>
#include <tuple>

#include "data/record.h"
#include "data_util.h"

namespace mixed::data {
namespace {

using testing::GroupResult;
using testing::Session;

// The dependent variable of every record of the ordered work file.
std::vector<double> y_column(Session& session, const GroupResult& g) {
  const RecordLayout layout = ordered_layout(session.cmd, session.group, session.data);
  std::vector<double> y;
  for (std::size_t r = 0; r < g.ncases; ++r) y.push_back(g.record(r)[layout.y]);
  return y;
}

TEST(MixedRadix, KeysAreExactAndOrderLikeTheirLevels) {
  // Level counts multiplying to at most 2^46 share one real, trailing
  // single-level variables included.
  EXPECT_EQ(mixed_radix(std::vector<std::int64_t>{3, 1}).nkey, 1);
  EXPECT_EQ(mixed_radix(std::vector<std::int64_t>{1 << 23, 1 << 23}).nkey, 1);
  EXPECT_EQ(mixed_radix(std::vector<std::int64_t>{}).nkey, 0);

  // 600^5 > 2^46: the first variable takes a real of its own.
  const std::vector<std::int64_t> counts{600, 600, 600, 600, 600};
  const Radix r = mixed_radix(counts);
  EXPECT_EQ(r.nkey, 2);
  EXPECT_EQ(r.stride, (std::vector<std::int64_t>{1, 600 * 600 * 600, 600 * 600, 600, 1}));
  const Radix big = mixed_radix(std::vector<std::int64_t>{1 << 23, 1 << 23, 1 << 23});
  EXPECT_EQ(big.nkey, 2);

  std::mt19937 rng(7);
  std::uniform_int_distribution<int> level(1, 600), coin(0, 1);
  for (int trial = 0; trial < 2000; ++trial) {
    std::vector<int> a(5), b(5);
    for (int v = 0; v < 5; ++v) {
      a[v] = level(rng);
      b[v] = coin(rng) ? a[v] : level(rng);  // many ties, so later variables decide
    }
    std::vector<double> ka(2), kb(2);
    encode_key(r, a, ka);
    encode_key(r, b, kb);
    for (double k : ka) EXPECT_LE(k, kKeyComponentLimit);
    std::vector<int> back(5);
    decode_key(r, ka, back);
    EXPECT_EQ(back, a);
    EXPECT_EQ(ka < kb, a < b) << "key order is the lexicographic order of the levels";
  }
}

TEST(SubjectOrdering, InterleavedSubjectsBecomeConsecutive) {
  const char* data = "id,t,y\nB,1,1\nA,1,2\nB,2,3\nA,2,4\nC,1,5\n";
  Session sorted(testing::csv(data));
  ASSERT_TRUE(sorted.parse("y BY t /FIXED=t /RANDOM=INTERCEPT | SUBJECT(id)"));
  std::vector<GroupResult> g = testing::run_groups(sorted);
  ASSERT_EQ(g.size(), 1u);
  EXPECT_EQ(y_column(sorted, g[0]), (std::vector<double>{2, 4, 1, 3, 5})) << "A, A, B, B, C in case order";
  EXPECT_EQ(g[0].subject_counts, (std::vector<std::size_t>{2, 2, 1}));
  EXPECT_EQ(g[0].subject_key_length, 3u);
  EXPECT_EQ(g[0].n_subjects, 3u);
  EXPECT_EQ(g[0].class_key_length, 1);
  EXPECT_EQ(g[0].record_length, 2) << "key and y";
  // The key of the first record decodes to id = A (1), t = 1 (1).
  const RecordLayout layout = ordered_layout(sorted.cmd, sorted.group, sorted.data);
  std::vector<int> levels(2);
  decode_class_key(layout, g[0].record(1), levels);
  EXPECT_EQ(levels, (std::vector<int>{1, 2}));

  // SUBJECTS(GROUPED) keeps case order; the counts are the runs of one subject.
  Session grouped(testing::csv(data));
  ASSERT_TRUE(grouped.parse("y BY t /FIXED=t /RANDOM=INTERCEPT | SUBJECT(id) /CRITERIA=SUBJECTS(GROUPED)"));
  g = testing::run_groups(grouped);
  EXPECT_EQ(y_column(grouped, g[0]), (std::vector<double>{1, 2, 3, 4, 5}));
  EXPECT_EQ(g[0].subject_counts, (std::vector<std::size_t>{1, 1, 1, 1, 1}));
  EXPECT_EQ(g[0].subject_key_length, 3u);

  // Without subject variables the group is one subject in case order.
  Session single(testing::csv(data));
  ASSERT_TRUE(single.parse("y BY id t /FIXED=id t"));
  g = testing::run_groups(single);
  EXPECT_EQ(y_column(single, g[0]), (std::vector<double>{1, 2, 3, 4, 5}));
  EXPECT_EQ(g[0].subject_counts, (std::vector<std::size_t>{5}));
  EXPECT_EQ(g[0].subject_key_length, 0u);
  EXPECT_EQ(g[0].n_subjects, 1u);
}

TEST(SubjectOrdering, SubjectKeysOfTwoRealsOrderCorrectly) {
  // Five subject variables of 600 levels each: 600^5 > 2^46.  v1 takes every
  // value twice, and the second row of a pair has the smaller v2.
  const int n = 1200;
  std::vector<int> rows(n);
  std::iota(rows.begin(), rows.end(), 0);
  std::shuffle(rows.begin(), rows.end(), std::mt19937(11));
  std::ostringstream text;
  text << "v1,v2,v3,v4,v5,y\n";
  auto values = [](int r) { return std::vector<int>{r / 2, 599 - r % 600, r % 600, (r * 7) % 600, (r * 13) % 600}; };
  for (int r : rows) {
    for (int v : values(r)) text << v << ",";
    text << r << "\n";
  }
  Session session(testing::csv(text.str()));
  ASSERT_TRUE(session.parse("y /RANDOM=INTERCEPT | SUBJECT(v1*v2*v3*v4*v5)"));
  std::vector<GroupResult> g = testing::run_groups(session);
  ASSERT_EQ(g.size(), 1u);
  EXPECT_EQ(g[0].class_key_length, 2);
  EXPECT_EQ(g[0].subject_key_length, static_cast<std::size_t>(n));

  std::vector<int> expected(n);
  std::iota(expected.begin(), expected.end(), 0);
  std::sort(expected.begin(), expected.end(), [&](int a, int b) { return values(a) < values(b); });
  const std::vector<double> y = y_column(session, g[0]);
  ASSERT_EQ(y.size(), static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) ASSERT_EQ(y[k], expected[k]) << "position " << k;
  EXPECT_EQ(y[0], 1) << "(0, 598, ...) before (0, 599, ...)";
}

TEST(SubjectOrdering, RepeatedLevelsAreNumberedByFirstAppearanceAndMapped) {
  Session one(testing::csv("id,t,y\n1,3,1\n1,1,2\n1,4,3\n1,2,4\n2,1,5\n2,2,6\n2,3,7\n2,4,8\n"));
  ASSERT_TRUE(one.parse("y BY t /FIXED=t /REPEATED=t | SUBJECT(id) COVTYPE(UN)"));
  std::vector<GroupResult> g = testing::run_groups(one);
  ASSERT_EQ(g.size(), 1u);
  EXPECT_EQ(g[0].n_repeated_levels, 4);
  EXPECT_EQ(g[0].n_repeated_subjects, 2);
  EXPECT_EQ(g[0].repeated_level_table, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(g[0].repeated_level_map, (std::vector<int>{2, 0, 3, 1}));
  const RecordLayout layout = ordered_layout(one.cmd, one.group, one.data);
  ASSERT_GE(layout.rep_level, 0);
  std::vector<double> numbers, subjects;
  for (std::size_t r = 0; r < g[0].ncases; ++r) {
    numbers.push_back(g[0].record(r)[layout.rep_level]);
    subjects.push_back(g[0].record(r)[layout.rep_subject]);
  }
  EXPECT_EQ(numbers, (std::vector<double>{1, 2, 3, 4, 2, 4, 1, 3}));
  EXPECT_EQ(subjects, (std::vector<double>{1, 1, 1, 1, 2, 2, 2, 2}));

  // Two REPEATED variables: rows sorted on both level numbers.
  Session two(testing::csv("id,t,u,y\n1,2,1,1\n1,1,2,2\n1,1,1,3\n"));
  ASSERT_TRUE(two.parse("y /REPEATED=t u | SUBJECT(id) COVTYPE(DIAG)"));
  g = testing::run_groups(two);
  EXPECT_EQ(g[0].n_repeated_levels, 3);
  EXPECT_EQ(g[0].repeated_level_table, (std::vector<int>{1, 1, 1, 2, 2, 1}));
  EXPECT_EQ(g[0].repeated_level_map, (std::vector<int>{2, 1, 0}));
}

// Interleaved subjects: n records of 50 subjects in random order.
std::string interleaved(int n) {
  std::ostringstream text;
  text << "id,y\n";
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> subject(1, 50);
  for (int r = 0; r < n; ++r) text << subject(rng) << "," << r << "\n";
  return text.str();
}

TEST(SubjectOrdering, ATightBudgetOrdersOnDiskWithTheSameResult) {
  const int n = 3000;
  Session roomy(testing::csv(interleaved(n)));
  ASSERT_TRUE(roomy.parse("y /RANDOM=INTERCEPT | SUBJECT(id)"));
  const std::vector<GroupResult> expected = testing::run_groups(roomy);

  // Twelve bytes a record: neither the two-cell records nor the ordering file
  // fit, only the subject index and part of the records at a time.
  Session tight(testing::csv(interleaved(n)), 12 * n);
  ASSERT_TRUE(tight.parse("y /RANDOM=INTERCEPT | SUBJECT(id)"));
  const std::vector<GroupResult> got = testing::run_groups(tight);
  EXPECT_FALSE(tight.out.error_flag());
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].records, expected[0].records);
  EXPECT_EQ(got[0].subject_counts, expected[0].subject_counts);
  EXPECT_LT(tight.scratch.peak(), static_cast<std::size_t>(16 * n)) << "the records were never all in memory";
  std::vector<double> y = y_column(tight, got[0]);
  EXPECT_TRUE(std::is_permutation(y.begin(), y.end(), y_column(roomy, expected[0]).begin()));
}

TEST(SubjectOrdering, ShufflingSubjectsAgainstEachOtherChangesNoTable) {
  const host::Dataset original = testing::reference_csv("syn_miss.csv");
  const char* command = "y BY g WITH x t /FIXED=g x t /RANDOM=INTERCEPT | SUBJECT(pid) /PRINT=CPS DESCRIPTIVES";
  Session base(testing::reference_csv("syn_miss.csv"));
  ASSERT_TRUE(base.parse(command));
  const std::vector<GroupResult> expected = testing::run_groups(base);

  // A random interleaving of the subjects that keeps each subject's rows in order.
  const std::size_t pid = *original.find("pid");
  std::map<double, std::vector<std::size_t>> by_subject;
  for (std::size_t r = 0; r < original.n_cases(); ++r) by_subject[original.number(pid, r)].push_back(r);
  std::vector<double> draw;
  for (const auto& [subject, rows] : by_subject) draw.insert(draw.end(), rows.size(), subject);
  std::shuffle(draw.begin(), draw.end(), std::mt19937(5));
  std::map<double, std::size_t> next;
  std::vector<std::size_t> order;
  for (double subject : draw) order.push_back(by_subject[subject][next[subject]++]);
  ASSERT_NE(order.front(), 0u);

  Session shuffled(testing::permute_rows(original, order));
  ASSERT_TRUE(shuffled.parse(command));
  const std::vector<GroupResult> got = testing::run_groups(shuffled);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].records, expected[0].records);
  EXPECT_EQ(got[0].fx_cell, expected[0].fx_cell);
  EXPECT_EQ(testing::dump(shuffled.out), testing::dump(base.out));
  EXPECT_EQ(testing::tables(shuffled.out, "Descriptive Statistics").size(), 1u);
}

}  // namespace
}  // namespace mixed::data
