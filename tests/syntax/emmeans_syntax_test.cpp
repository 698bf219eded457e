// EMMEANS subcommand: the stored requests (TABLES, WITH, COMPARE, ADJ,
// REFCAT), the rules that tie them together, and every message of its parser,
// each read through the whole MIXED command.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "syntax/parse_fixture.h"

namespace mixed::parse_fixture {
namespace {

const std::string kModel = "y BY a b g WITH x z /FIXED = a b g x ";

TEST(EmmeansSyntax, TablesListsTheFactorsInWrittenOrder) {
  Parsed p(kModel + "/EMMEANS = TABLES(a*b) /EMMEANS TABLES(b BY a) /EMMEANS TABLES(OVERALL)"
                    "/EMMEANS TABLES(a) TABLES(g) /EMMEANS WITH(x=1)");
  ASSERT_TRUE(p.messages().empty());
  ASSERT_EQ(p.cmd.n_emmeans(), 5);
  const auto& e = p.cmd.emmeans;
  EXPECT_EQ(e[0].table_kind, 2);
  EXPECT_EQ(e[0].factors, (std::vector<int>{0, 1}));
  EXPECT_EQ(e[1].factors, (std::vector<int>{1, 0}));
  EXPECT_EQ(e[2].table_kind, 1);
  EXPECT_TRUE(e[2].factors.empty());
  EXPECT_EQ(e[3].factors, (std::vector<int>{2})) << "a later TABLES replaces an earlier one";
  EXPECT_EQ(e[4].table_kind, 0);
  for (const auto& r : e) {
    EXPECT_EQ(r.compare, 0);
    EXPECT_EQ(r.adjust, 0);
    EXPECT_EQ(r.refcat_kind, 0);
  }

  // a*b and a BY b are the same request.
  Parsed q(kModel + "/EMMEANS TABLES(a*b) /EMMEANS TABLES(a BY b)");
  ASSERT_EQ(q.messages().size(), 1u);
  EXPECT_EQ(q.messages()[0].number, 106);
}

TEST(EmmeansSyntax, WithHoldsCovariatesAtValuesOrMeans) {
  Parsed p(kModel + "/EMMEANS TABLES(a) WITH(x=MEAN x=MEAN) /EMMEANS TABLES(a) WITH(z -2.5 x = 1.5 z=-2.5)");
  ASSERT_TRUE(p.messages().empty());
  ASSERT_EQ(p.cmd.n_emmeans(), 2);
  const auto& m = p.cmd.emmeans[0];
  EXPECT_EQ(m.cov_mode, (std::vector<int>{1, 0}));
  EXPECT_TRUE(host::is_sysmis(m.cov_value[0]));
  EXPECT_TRUE(host::is_sysmis(m.cov_value[1]));
  const auto& v = p.cmd.emmeans[1];
  EXPECT_EQ(v.cov_mode, (std::vector<int>{-1, -1}));
  EXPECT_EQ(v.cov_value, (std::vector<double>{1.5, -2.5}));
}

TEST(EmmeansSyntax, CompareAdjustAndReferenceCategory) {
  Parsed p(kModel +
           "/EMMEANS TABLES(a) COMPARE ADJ(BONFERRONI)"
           "/EMMEANS TABLES(a*b) COMPARE(b) REFCAT(LAST) ADJ(SIDAK)"
           "/EMMEANS TABLES(b) COMPARE(b) REFCAT('2') ADJ(NONE)"
           "/EMMEANS TABLES(g*a) COMPARE(g) REFCAT('M') ADJ(LSD)"
           "/EMMEANS TABLES(a) COMPARE REFCAT(FIRST)"
           "/EMMEANS TABLES(a*b) COMPARE(a) REFCAT(2)");
  ASSERT_TRUE(p.messages().empty());
  ASSERT_EQ(p.cmd.n_emmeans(), 6);
  const auto& e = p.cmd.emmeans;
  EXPECT_EQ(e[0].compare, 1);
  EXPECT_EQ(e[0].adjust, 2);
  EXPECT_EQ(e[1].compare, 2);
  EXPECT_EQ(e[1].adjust, 3);
  EXPECT_EQ(e[1].refcat_kind, 4);
  EXPECT_EQ(e[2].adjust, 1);
  EXPECT_EQ(e[2].refcat_kind, 1) << "a quoted number for a numeric factor is a number";
  EXPECT_EQ(e[2].refcat_value, 2.0);
  EXPECT_TRUE(e[2].refcat_string.empty());
  EXPECT_EQ(e[3].compare, 1);
  EXPECT_EQ(e[3].adjust, 1);
  EXPECT_EQ(e[3].refcat_kind, 2);
  EXPECT_EQ(e[3].refcat_string, "M");
  EXPECT_EQ(e[4].adjust, 1) << "COMPARE takes LSD by default";
  EXPECT_EQ(e[4].refcat_kind, 3);
  EXPECT_EQ(e[5].refcat_kind, 1);
  EXPECT_EQ(e[5].refcat_value, 2.0);
}

TEST(EmmeansSyntax, AdjustAndReferenceWithoutCompareOnlyWarn) {
  Parsed p(kModel + "/EMMEANS TABLES(a) ADJ(SIDAK) /EMMEANS TABLES(b) REFCAT('x') /METHOD = ML");
  const auto m = p.messages();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0].number, 105);
  EXPECT_EQ(m[0].severity, host::Severity::Warning);
  EXPECT_EQ(m[0].text, "EMMEAN ADJ ignored without COMPARE ...");
  EXPECT_EQ(m[0].msg_class, 3);
  EXPECT_EQ(m[1].number, 109);
  EXPECT_EQ(m[1].severity, host::Severity::Warning);
  EXPECT_EQ(m[1].text, "EMMEAN REFCAT ignored without COMPARE ...");
  ASSERT_EQ(p.cmd.n_emmeans(), 2);
  EXPECT_EQ(p.cmd.emmeans[0].adjust, 3) << "the adjustment is kept, though no comparison uses it";
  EXPECT_EQ(p.cmd.emmeans[0].compare, 0);
  EXPECT_EQ(p.cmd.emmeans[1].refcat_kind, 0) << "the reference category is dropped";
  EXPECT_TRUE(p.cmd.emmeans[1].refcat_string.empty());
  EXPECT_EQ(p.cmd.method, 1);
}

TEST(EmmeansSyntax, EveryErrorIsReportedAndStoresNothing) {
  const struct {
    std::string command;
    int number;
    const char* text;
  } cases[] = {
      {kModel + "/EMMEANS TABLES(a) FOO", 87, "Unrecognized symbol in EMMEANS FOO ..."},
      {kModel + "/EMMEANS TABLES(a) COMPARE REFCAT(MIDDLE)", 87, "Unrecognized symbol in EMMEANS MIDDLE ..."},
      {kModel + "/EMMEANS TABLES a", 88, "Left parenthesis not found in EMMEANS a ..."},
      {kModel + "/EMMEANS TABLES(a) WITH x=1", 88, "Left parenthesis not found in EMMEANS x ..."},
      {kModel + "/EMMEANS TABLES(a) COMPARE ADJ LSD", 88, "Left parenthesis not found in EMMEANS LSD ..."},
      {kModel + "/EMMEANS TABLES(a) COMPARE REFCAT 1", 88, "Left parenthesis not found in EMMEANS 1 ..."},
      {kModel + "/EMMEANS TABLES(OVERALL a)", 89, "No right parenthesis in EMMEANS a ..."},
      {kModel + "/EMMEANS TABLES(a) COMPARE(a b)", 89, "No right parenthesis in EMMEANS b ..."},
      {kModel + "/EMMEANS TABLES(a) COMPARE ADJ(LSD SIDAK)", 89, "No right parenthesis in EMMEANS SIDAK ..."},
      {kModel + "/EMMEANS TABLES(a) COMPARE REFCAT(1 2)", 89, "No right parenthesis in EMMEANS 2 ..."},
      {"y WITH x /FIXED = x /EMMEANS TABLES(x)", 90, "EMMEAN TABLES not allowed without factors ..."},
      {kModel + "/EMMEANS TABLES(a**b)", 91, "BY in wrong place in EMMEANS * ..."},
      {kModel + "/EMMEANS TABLES(a BY)", 91, "BY in wrong place in EMMEANS ) ..."},
      {kModel + "/EMMEANS TABLES(BY a)", 91, "BY in wrong place in EMMEANS BY ..."},
      {kModel + "/EMMEANS TABLES(a 2)", 92, "BY not found in EMMEANS 2 ..."},
      {kModel + "/EMMEANS TABLES(a*b /METHOD = ML", 93, "Premature end in EMMEANS ..."},
      {kModel + "/EMMEANS WITH(x=1", 93, "Premature end in EMMEANS ..."},
      {kModel + "/EMMEANS TABLES(a*b*a)", 94, "Repeated factor a in EMMEANS ..."},
      {kModel + "/EMMEANS TABLES(a*x)", 95, "Unrecognized factor x in EMMEANS ..."},
      {kModel + "/EMMEANS TABLES()", 95, "Unrecognized factor ) in EMMEANS ..."},
      {kModel + "/EMMEANS TABLES(a b)", 16, "Incorrectly placed symbol b ..."},
      {"y BY a /FIXED = a /EMMEANS TABLES(a) WITH(x=1)", 96,
       "EMMEAN WITH not allowed without covariates ..."},
      {kModel + "/EMMEANS WITH(a=1)", 97, "EMMEAN WITH unrecognized symbol a ..."},
      {kModel + "/EMMEANS WITH(x=FOO)", 98, "EMMEAN WITH invalid specification FOO ..."},
      {kModel + "/EMMEANS WITH(x=1 x=2)", 99, "EMMEAN WITH contradict covariate spec ..."},
      {kModel + "/EMMEANS WITH(x=MEAN z=0 x=1)", 99, "EMMEAN WITH contradict covariate spec ..."},
      {kModel + "/EMMEANS TABLES(a) COMPARE(x)", 100, "No factor for COMPARE in EMMEANS x ..."},
      {kModel + "/EMMEANS TABLES(a) COMPARE ADJ(TUKEY)", 101, "EMMEAN ADJ unrecognized symbol TUKEY ..."},
      {kModel + "/EMMEANS COMPARE", 102, "Invalid COMPARE in EMMEANS ..."},
      {kModel + "/EMMEANS TABLES(OVERALL) COMPARE", 102, "Invalid COMPARE in EMMEANS ..."},
      {kModel + "/EMMEANS TABLES(a) COMPARE(b)", 103, "EMMEAN COMPARE not TABLES factor ..."},
      {kModel + "/EMMEANS TABLES(a*b) COMPARE ADJ(BONFERRONI)", 104, "EMMEAN COMPARE cannot be omitted ..."},
      {kModel + "/EMMEANS TABLES(a) COMPARE REFCAT(*)", 108, "EMMEAN REFCAT unrecognized symbol * ..."},
      {kModel + "/EMMEANS TABLES(g) COMPARE REFCAT(2)", 110,
       "EMMEAN REFCAT is numeric but COMPARE factor is not ..."},
      {kModel + "/EMMEANS TABLES(a) COMPARE REFCAT('two')", 111,
       "EMMEAN REFCAT is string but COMPARE factor is not ..."},
  };
  for (const auto& c : cases) {
    Parsed p(c.command + "/METHOD = ML");
    expect_stopped(p, c.number, c.text, c.command);
    EXPECT_EQ(p.cmd.n_emmeans(), 0) << c.command;
  }
}

TEST(EmmeansSyntax, ARepeatedRequestIsRefused) {
  Parsed p(kModel + "/EMMEANS TABLES(a) COMPARE /EMMEANS TABLES(a) COMPARE(a) ADJ(LSD)");
  const auto m = p.messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].number, 106);
  EXPECT_EQ(m[0].text, "Redundant EMMEANS ...");
  EXPECT_EQ(p.cmd.n_emmeans(), 1);
}

}  // namespace
}  // namespace mixed::parse_fixture
