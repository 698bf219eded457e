// SAVE subcommand: the keyword codes and new names it stores, the keywords a
// model without effects cannot save, and every message of its parser, each
// read through the whole MIXED command.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "syntax/parse_fixture.h"

namespace mixed::parse_fixture {
namespace {

const std::string kModel = "y BY a WITH x /FIXED = a x ";

TEST(SaveSyntax, KeywordsAndNamesInWrittenOrder) {
  Parsed p(kModel + "/SAVE = PRED RESID");
  ASSERT_TRUE(p.messages().empty());
  EXPECT_EQ(p.cmd.save_keywords, (std::vector<int>{2, 3}));
  EXPECT_EQ(p.cmd.save_names, (std::vector<std::string>{"", ""}));
  EXPECT_EQ(p.cmd.n_saved(), 2);

  // All seven, abbreviated where the table allows, some with new names.
  Parsed q(kModel + "/SAVE DFPRED(dfp) SEPRED FIXPRED(fixed_1) RESID DFFIX SEFIXP(se) PRE");
  ASSERT_TRUE(q.messages().empty());
  EXPECT_EQ(q.cmd.save_keywords, (std::vector<int>{7, 5, 1, 3, 6, 4, 2}));
  EXPECT_EQ(q.cmd.save_names, (std::vector<std::string>{"dfp", "", "fixed_1", "", "", "se", ""}));
}

TEST(SaveSyntax, ARepeatedSaveReplacesTheEarlierOne) {
  Parsed p(kModel + "/SAVE PRED(p1) RESID /SAVE SEPRED(p1)");
  const auto m = p.messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].number, 8);
  EXPECT_EQ(p.cmd.save_keywords, (std::vector<int>{5}));
  EXPECT_EQ(p.cmd.save_names, (std::vector<std::string>{"p1"})) << "the name is free again";
}

TEST(SaveSyntax, ValuesTheModelCannotGiveAreDroppedWithAWarning) {
  // No fixed effects, random intercepts: fixed predictions are impossible,
  // predictions and residuals are not.
  Parsed r("y BY a /FIXED = | NOINT /RANDOM = INTERCEPT | SUBJECT(id) /SAVE FIXPRED PRED(p) RESID");
  auto m = r.messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].number, 84);
  EXPECT_EQ(m[0].severity, host::Severity::Warning);
  EXPECT_EQ(m[0].text, "SAVE FIXPRED ignored ...");
  EXPECT_EQ(m[0].msg_class, 2);
  EXPECT_EQ(r.cmd.save_keywords, (std::vector<int>{2, 3}));
  EXPECT_EQ(r.cmd.save_names, (std::vector<std::string>{"p", ""}));

  // No effects at all: nothing but the standard errors and df remain.
  Parsed n("y /FIXED = | NOINT /REPEATED = a | SUBJECT(id) /SAVE FIXPRED PRED RESID SEPRED");
  m = n.messages();
  std::vector<int> numbers;
  for (const Seen& s : m) numbers.push_back(s.number);
  EXPECT_EQ(numbers, (std::vector<int>{84, 85, 86}));
  EXPECT_EQ(m[1].text, "SAVE PRED ignored ...");
  EXPECT_EQ(m[2].text, "SAVE RESID ignored ...");
  EXPECT_EQ(n.cmd.save_keywords, (std::vector<int>{5}));
}

TEST(SaveSyntax, EveryErrorIsReportedAndSavesNothing) {
  const struct {
    const char* save;
    int number;
    const char* text;
  } cases[] = {
      {"/SAVE PRED FOO", 30, "Unrecognized keyword FOO in SAVE ..."},
      {"/SAVE PRED 'RESID'", 30, "Unrecognized keyword RESID in SAVE ..."},
      {"/SAVE PRED()", 31, "Missing name in SAVE ) ..."},
      {"/SAVE PRED(", 31, "Missing name in SAVE / ..."},
      {"/SAVE PRED(p1 p2)", 31, "Missing name in SAVE p2 ..."},
      {"/SAVE RESID PRED(y)", 32, "Existing name in SAVE y ..."},
      {"/SAVE FIXPRED(S)", 32, "Existing name in SAVE S ..."},
      {"/SAVE PRED(1)", 33, "Invalid name in SAVE 1 ..."},
      {"/SAVE PRED('p')", 33, "Invalid name in SAVE p ..."},
      {"/SAVE PRED(WITH)", 33, "Invalid name in SAVE WITH ..."},
      {"/SAVE PRED RESID PRED", 34, "Duplicated keyword SAVE PRED ..."},
      {"/SAVE PRED(p1) PREDICTED(p2)", 30, "Unrecognized keyword PREDICTED in SAVE ..."},
      {"/SAVE PRED(p1) PRED(p2)", 34, "Duplicated keyword SAVE PRED ..."},
      {"/SAVE PRED(p) SEPRED(P)", 35, "Name has been used in SAVE P ..."},
  };
  for (const auto& c : cases) {
    Parsed p(kModel + c.save + "/METHOD = ML");
    expect_stopped(p, c.number, c.text, c.save);
    EXPECT_EQ(p.cmd.n_saved(), 0) << c.save;
    EXPECT_TRUE(p.cmd.save_names.empty()) << c.save;
  }
}

}  // namespace
}  // namespace mixed::parse_fixture
