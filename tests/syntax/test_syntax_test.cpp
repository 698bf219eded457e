// TEST subcommand: the stored coefficient rows (effect form and ALL form,
// fractions, DIVISOR, hypothesised values, label) and every message of its
// parser, each read through the whole MIXED command.
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
  EXPECT_EQ(p.cmd.method, 1);
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

TEST(TestSyntax, LabelAndEdgeWarnings) {
  // An empty label warns and leaves no label.
  Parsed p(std::string(kModel) + "/TEST '' a 1 0 -1");
  const auto m = p.messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].number, 55);
  EXPECT_EQ(m[0].severity, host::Severity::Warning);
  EXPECT_EQ(m[0].msg_class, 3);
  ASSERT_EQ(p.cmd.n_tests(), 1);
  EXPECT_TRUE(p.cmd.tests[0].label.empty());

  // An effect named twice in a row drops the TEST with a warning, and parsing
  // goes on.
  Parsed d(std::string(kModel) + "/RANDOM = b | SUBJECT(id) /TEST a 1 0 -1 x 1 a 0 1 -1 /TEST | b 1 -1 b 1 1"
                                 "/METHOD = ML");
  const auto w = d.messages();
  ASSERT_EQ(w.size(), 2u);
  EXPECT_EQ(w[0].number, 0);
  EXPECT_EQ(w[0].severity, host::Severity::Warning);
  EXPECT_EQ(w[0].msg_class, 2);
  EXPECT_EQ(w[0].text, "Duplicated TEST fixed effect a ...");
  EXPECT_EQ(w[1].text, "Duplicated TEST random effect b ...");
  EXPECT_EQ(d.cmd.n_tests(), 0);
  EXPECT_EQ(d.cmd.method, 1);

  // Without any effect in the model, a TEST of nothing is silent.
  Parsed n("y /FIXED = | NOINT /TEST 'nothing'");
  EXPECT_EQ(n.cmd.n_tests(), 0);
  EXPECT_FALSE(n.out.error_flag());
}

struct ErrorCase {
  const char* command;  // after the variable list and FIXED of kModel
  int number;
  const char* text;
};

TEST(TestSyntax, EveryErrorIsReportedAndStoresNothing) {
  const ErrorCase cases[] = {
      {"/TEST a 1/0 1 1", 52, "Not positive denominator 0 in fraction ..."},
      {"/TEST a 1 1/-3 1", 52, "Not positive denominator -3 in fraction ..."},
      {"/TEST () a 1 0 -1", 53, "No values in parenthesized value list in TEST ..."},
      {"/TEST (0 a) a 1 0 -1", 54, "Invalid parenthesized value list a in TEST ..."},
      {"/TEST a ; x 1", 56, "No values found in TEST ; ..."},
      {"/TEST a 1 0 -1 ; a 1 -1", 57, "Different number of values in TEST ..."},
      {"/TEST ALL 1 0 0 0 0 ; 1 0 0 0 0", 58, "ALL was expected in TEST 1 ..."},
      {"/TEST ALL 1 0 0 0 0 ALL 1", 59, "Invalid syntax in TEST ALL ..."},
      {"/TEST a 1 0 -1 | b 1 -1", 71, "Effect b in TEST not in RANDOM ..."},
      {"/TEST b 1 -1", 60, "Effect b in TEST not in FIXED ..."},
      {"/TEST a*x 1 -1 0", 60, "Effect a * x in TEST not in FIXED ..."},
      {"/TEST a 0 0 0 x 0", 61, "Zero row in TEST ..."},
      {"/TEST ALL 0 0 0 0 0", 61, "Zero row in TEST ..."},
      {"/TEST (0 0) a 1 -1 0 ; a 0 1 -1 ; a 1 0 -1", 62, "N test row NE N optional value ..."},
      {"/TEST (0 0) ALL 1 0 0 0 0 ; ALL 0 1 0 0 0 ; ALL 0 0 1 0 0", 62, "N test row NE N optional value ..."},
      {"/TEST x 1 2", 63, "TEST GT 1 value Intercept covariate ..."},
      {"/TEST ALL 1 2", 75, "TEST ALL fixed factors wrong N values ..."},
      {"/TEST 'no rows'", 77, "TEST empty specification ..."},
      {"/TEST a 1 0 -1 ;", 77, "TEST empty specification ..."},
      {"/TEST a 1 0 -1 ; ; a 1 -1 0", 77, "TEST empty specification ..."},
      {"/TEST ALL 1 0 0 0 0 ; /METHOD = ML", 77, "TEST empty specification ..."},
      {"/TEST 0 1) a 1 0 -1", 81, "Incomplete parenthesized value list 0 in TEST ..."},
      {"/TEST DIVISOR = 3 a 1 0 -1", 112, "DIVISOR keyword must be specified at the end ..."},
      {"/TEST ALL 1 0 0 0 0 DIVISOR = 2 | 1", 112, "DIVISOR keyword must be specified at the end ..."},
      {"/TEST a 1 0 -1 DIVISOR = 0", 113, "DIVISOR must not be zero ..."},
      {"/TEST a 1 0 -1 DIVISOR = x", 59, "Invalid syntax in TEST x ..."},
      {"/TEST a 1 0 -1 DIVISOR 1/0", 52, "Not positive denominator 0 in fraction ..."},
  };
  for (const ErrorCase& c : cases) {
    Parsed p(std::string(kModel) + c.command + "/METHOD = ML");
    expect_stopped(p, c.number, c.text, c.command);
    EXPECT_EQ(p.cmd.n_tests(), 0) << c.command;
  }
}

TEST(TestSyntax, ErrorsThatDependOnTheModel) {
  const struct {
    const char* command;
    int number;
    const char* text;
  } cases[] = {
      // No FIXED terms at all (NOINT, no effects): the effect is refused at once.
      {"y BY a /FIXED = | NOINT /RANDOM = a | SUBJECT(id) /TEST a 1 -1 0", 60,
       "Effect a in TEST not in FIXED ..."},
      {"y BY a b /FIXED = a /RANDOM = b | SUBJECT(id) /TEST | a 1 -1 0", 71,
       "Effect a in TEST not in RANDOM ..."},
      // Covariates only: exactly one value per fixed term (Intercept, x).
      {"y WITH x /FIXED = x /TEST ALL 1 0 0", 64, "TEST ALL fixed no factors wrong N values ..."},
      {"y WITH x /FIXED = x /RANDOM = x | SUBJECT(id) /TEST ALL | 1 2", 65,
       "TEST ALL random no factors wrong N values ..."},
      {"y BY a b /FIXED = a /RANDOM = a b | SUBJECT(id) /TEST ALL | 1", 76,
       "TEST ALL random factors wrong N values ..."},
      // No effects: hypothesised values without rows.
      {"y /FIXED = | NOINT /TEST (0)", 62, "N test row NE N optional value ..."},
  };
  for (const auto& c : cases) {
    Parsed p(c.command);
    const auto m = p.messages();
    ASSERT_FALSE(m.empty()) << c.command;
    EXPECT_EQ(m.back().number, c.number) << c.command;
    EXPECT_EQ(m.back().text, c.text) << c.command;
    EXPECT_EQ(p.cmd.n_tests(), 0) << c.command;
  }
}

}  // namespace
}  // namespace mixed::parse_fixture
