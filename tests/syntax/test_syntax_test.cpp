// TEST subcommand: the stored coefficient rows (effect form and ALL form,
// fractions, DIVISOR, hypothesised values, label), each read through the whole
// MIXED command.  The messages of its parser are golden cases.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "syntax/parse_fixture.h"

namespace mixed::parse_fixture {
namespace {

constexpr std::string_view kModel = "y BY a b g WITH x z /FIXED = a x ";

void expect_values(const std::vector<double>& got, const std::vector<double>& want, const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (std::size_t i = 0; i < want.size(); ++i) EXPECT_DOUBLE_EQ(got[i], want[i]) << what << " value " << i;
}

TEST(TestSyntax, EffectFormLaysRowsOutOverTheFixedTerms) {
  // FIXED terms: Intercept, a, x.  Row 2 names the intercept and x only, so a
  // keeps its three places there as zeros; 1/3 is one third; DIVISOR scales
  // its own row only; "/" before METHOD ends the value list and the TEST.
  Parsed p(std::string(kModel) +
           "/TEST (0 1/2) 'a linear' a -1 0 1 ; INTERCEPT 1 x 3 DIVISOR=2"
           "/TEST a 1/3 1/3 1/3 /METHOD = ML");
  ASSERT_TRUE(p.messages().empty());
  EXPECT_EQ(p.cmd.method, model::Method::ML);
  ASSERT_EQ(p.cmd.n_tests(), 2);

  const model::TestRecord& t1 = p.cmd.tests[0];
  EXPECT_FALSE(t1.all_form);
  EXPECT_EQ(t1.rows, 2);
  EXPECT_EQ(t1.label, "a linear");
  expect_values(t1.hypothesised, {0.0, 0.5}, "hypothesised");
  EXPECT_EQ(t1.fixed_counts, (std::vector<int>{1, 3, 1}));
  EXPECT_TRUE(t1.random_counts.empty());
  ASSERT_EQ(t1.values.size(), 2u);
  expect_values(t1.values[0], {0, -1, 0, 1, 0}, "row 1");
  expect_values(t1.values[1], {0.5, 0, 0, 0, 1.5}, "row 2 divided by 2");

  const model::TestRecord& t2 = p.cmd.tests[1];
  EXPECT_EQ(t2.rows, 1);
  EXPECT_TRUE(t2.label.empty());
  EXPECT_TRUE(t2.hypothesised.empty());
  EXPECT_EQ(t2.fixed_counts, (std::vector<int>{0, 3, 0}));
  expect_values(t2.values[0], {1.0 / 3.0, 1.0 / 3.0, 1.0 / 3.0}, "thirds");

  // An interaction is found however its factors are written.
  Parsed c("y BY a b /FIXED = a*b | NOINT /TEST b BY a 1 -1 -1 1");
  ASSERT_TRUE(c.messages().empty());
  ASSERT_EQ(c.cmd.n_tests(), 1);
  EXPECT_EQ(c.cmd.tests[0].fixed_counts, (std::vector<int>{4}));
  expect_values(c.cmd.tests[0].values[0], {1, -1, -1, 1}, "interaction");
}

TEST(TestSyntax, RandomCoefficientsFollowTheBar) {
  // Random effects: INTERCEPT and b (one RANDOM), then x (another).  "|" turns
  // a row to the random effects; the next row starts in fixed mode again.
  Parsed p(std::string(kModel) +
           "/RANDOM = INTERCEPT b | SUBJECT(id) /RANDOM = x | SUBJECT(id)"
           "/TEST a 1 -1 0 | b 1 -1 ; | x 2 ; x 1");
  ASSERT_TRUE(p.messages().empty());
  ASSERT_EQ(p.cmd.n_tests(), 1);
  const model::TestRecord& t = p.cmd.tests[0];
  EXPECT_EQ(t.rows, 3);
  EXPECT_EQ(t.fixed_counts, (std::vector<int>{0, 3, 1}));
  EXPECT_EQ(t.random_counts, (std::vector<int>{0, 2, 1}));
  expect_values(t.values[0], {1, -1, 0, 0, 1, -1, 0}, "row 1");
  expect_values(t.values[1], {0, 0, 0, 0, 0, 0, 2}, "row 2");
  expect_values(t.values[2], {0, 0, 0, 1, 0, 0, 0}, "row 3");
}

TEST(TestSyntax, AllFormTakesFixedThenRandomValues) {
  // Fixed columns need at least one value per term when a term has a factor:
  // 5 values for Intercept, a, x; random b (a factor) at least 1.
  Parsed p(std::string(kModel) +
           "/RANDOM = b | SUBJECT(id)"
           "/TEST (1 2) ALL 0 1 -1 0 0 | 1 -1 DIVISOR=4 ; ALL 1 0 0 0 2/5 | 0 1"
           "/TEST ALL | 3 1");
  ASSERT_TRUE(p.messages().empty());
  ASSERT_EQ(p.cmd.n_tests(), 2);
  const model::TestRecord& t = p.cmd.tests[0];
  EXPECT_TRUE(t.all_form);
  EXPECT_EQ(t.rows, 2);
  EXPECT_EQ(t.nfix, 5);
  EXPECT_EQ(t.nran, 2);
  expect_values(t.values[0], {0, 0.25, -0.25, 0, 0, 0.25, -0.25}, "row 1 divided by 4");
  expect_values(t.values[1], {1, 0, 0, 0, 0.4, 0, 1}, "row 2");

  const model::TestRecord& r = p.cmd.tests[1];
  EXPECT_EQ(r.nfix, 0);
  EXPECT_EQ(r.nran, 2);
  expect_values(r.values[0], {3, 1}, "random only");
}

}  // namespace
}  // namespace mixed::parse_fixture
