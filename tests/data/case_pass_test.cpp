// The case pass: which cases enter the analysis, the records and level lists
// it leaves, the Case Processing Summary and the group verdicts.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "data/record.h"
#include "data_util.h"
#include "host/workfile.h"

namespace mixed::data {
namespace {

using testing::GroupResult;
using testing::Session;

// Cases 3 (weight 0), 4 and 5 (REGWGT 0 and -1), 6 (a = 9, user-missing) and
// 7 (y missing) stay out under MISSING EXCLUDE; case 2 has weight 2.5 and a
// string value that differs from case 1's only by trailing blanks.
constexpr const char* kCases =
    "id,a,s,w,r,y,x\n"
    "1,1,aa,1,1,10,1\n"
    "2,1,aa   ,2.5,1,11,2\n"
    "3,2,bb,0,1,12,3\n"
    "4,2,bb,1,0,13,4\n"
    "5,2,bb,1,-1,14,5\n"
    "6,9,bb,1,1,15,6\n"
    "7,2,cccccccccccccccccccc,1,1,,7\n"
    "8,2,cccccccccccccccccccc,3,2,17,8\n";

std::unique_ptr<Session> weighted_session(const char* command) {
  auto session = std::make_unique<Session>(testing::csv(kCases));
  host::Dataset& d = session->data;
  d.var(*d.find("a")).missing.values = {9};
  d.set_weight(d.find("w"));
  EXPECT_TRUE(session->parse(command));
  return session;
}

TEST(CasePass, DecidesWhichCasesEnterAndCollectsTheirLevels) {
  auto owner = weighted_session("y BY a s WITH x /REGWGT=r");
  Session& session = *owner;
  std::vector<GroupResult> g = testing::run_groups(session, testing::Through::CasePass);
  ASSERT_EQ(g.size(), 1u);
  EXPECT_TRUE(g[0].analysable);
  EXPECT_EQ(g[0].ncases, 3u) << "cases 1, 2 and 8";
  EXPECT_DOUBLE_EQ(g[0].n_observations, 1 + 2.5 + 3);
  EXPECT_TRUE(g[0].fractional_weights) << "weight 2.5";
  EXPECT_DOUBLE_EQ(g[0].max_case_weight, 3);

  // Classification variables in table order: the factors a, s.
  const model::Command& cmd = session.cmd;
  ASSERT_EQ(cmd.n_class_vars(), 2);
  ASSERT_EQ(g[0].levels.size(), 2u);
  EXPECT_EQ(g[0].levels[0].numbers, (std::vector<double>{1, 2}));
  EXPECT_EQ(g[0].levels[0].weights, (std::vector<double>{3.5, 3}));
  EXPECT_EQ(g[0].levels[1].strings, (std::vector<std::string>{"aa", "cccccccccccccccccccc"}))
      << "\"aa\" and \"aa   \" are one level";
  EXPECT_EQ(g[0].levels[1].weights, (std::vector<double>{3.5, 3}));
  EXPECT_EQ(g[0].factor_levels, (std::vector<int>{2, 2}));

  // The record: a (1 cell), s of width 20 (3 cells), y, x, REGWGT, weight.
  const RecordLayout layout = case_layout(cmd, session.data);
  EXPECT_EQ(layout.class_length, (std::vector<int>{1, 3}));
  EXPECT_EQ(g[0].record_length, 8);
  EXPECT_EQ(layout.y, 4);
  EXPECT_EQ(layout.regwgt, 6);
  EXPECT_EQ(layout.case_weight, 7);
  const std::vector<double> r2 = g[0].record(1), r3 = g[0].record(2);
  EXPECT_EQ(unpack_string(std::span<const double>(r3).subspan(1, 3)), "cccccccccccccccccccc");
  EXPECT_EQ(r2[0], 1);
  EXPECT_EQ(r2[4], 11);
  EXPECT_EQ(r2[5], 2);
  EXPECT_EQ(r2[7], 2.5);
  EXPECT_EQ(r3[6], 2) << "REGWGT value";
  EXPECT_EQ(r3[7], 3) << "case weight";
  EXPECT_EQ(level_of(g[0].levels[1], std::span<const double>(r2).subspan(1, 3)), 1);

  // Fractional weights without PRINT CPS or DESCRIPTIVES: warning 1001.
  EXPECT_EQ(testing::message_numbers(session.out), (std::vector<int>{1001}));
}

TEST(CasePass, MissingIncludeMakesAUserMissingValueALevel) {
  auto owner = weighted_session("y BY a s WITH x /REGWGT=r /MISSING=INCLUDE /PRINT=CPS");
  Session& session = *owner;
  std::vector<GroupResult> g = testing::run_groups(session, testing::Through::CasePass);
  ASSERT_EQ(g.size(), 1u);
  EXPECT_EQ(g[0].ncases, 4u) << "case 6 enters";
  EXPECT_EQ(g[0].levels[0].numbers, (std::vector<double>{1, 2, 9}));
  EXPECT_EQ(g[0].levels[0].weights, (std::vector<double>{3.5, 3, 1}));
  EXPECT_EQ(g[0].levels[1].strings, (std::vector<std::string>{"aa", "bb", "cccccccccccccccccccc"}));

  // The footnotes replace warning 1001 when the summary is drawn.
  EXPECT_TRUE(testing::message_numbers(session.out).empty());
  auto cps = testing::tables(session.out, "Case Processing Summary");
  ASSERT_EQ(cps.size(), 1u);
  const host::PivotTable& t = *cps[0];
  EXPECT_DOUBLE_EQ(testing::value_at(t, {{"a", "9"}, {"Count"}}), 1);
  EXPECT_DOUBLE_EQ(testing::value_at(t, {{"a", "9"}, {"Marginal Percentage"}}), 100.0 / 7.5);
  EXPECT_DOUBLE_EQ(testing::value_at(t, {{"s", "bb"}, {"Count"}}), 1);
  EXPECT_DOUBLE_EQ(testing::value_at(t, {{"Valid"}, {"Count"}}), 7.5);
  EXPECT_DOUBLE_EQ(testing::value_at(t, {{"N Cases", "Included"}, {"Count"}}), 4);
  EXPECT_DOUBLE_EQ(testing::value_at(t, {{"N Cases", "Excluded"}, {"Count"}}), 4);
  EXPECT_DOUBLE_EQ(testing::value_at(t, {{"N Cases", "Total"}, {"Count"}}), 8);
  const host::Cell* valid = testing::cell_at(t, {{"Valid"}, {"Count"}});
  ASSERT_NE(valid, nullptr);
  ASSERT_EQ(valid->notes.size(), 1u);
  EXPECT_EQ(valid->notes[0].json(), "Fractional case weight ...");
  ASSERT_EQ(t.notes().size(), 1u);
  EXPECT_EQ(t.notes()[0].json(), "Replication frequency w ...");
}

TEST(CasePass, CaseWeightsAboveOneStopAModelledRepeatedStructure) {
  const char* data =
      "id,t,w,y\n"
      "1,1,1,1\n1,2,2,2\n2,1,1,3\n2,2,1,4\n";
  for (const char* covtype : {"AR1", "ID"}) {
    Session session(testing::csv(data));
    session.data.set_weight(session.data.find("w"));
    ASSERT_TRUE(session.parse(std::string("y BY t /REPEATED=t | SUBJECT(id) COVTYPE(") + covtype + ")"));
    std::vector<GroupResult> g = testing::run_groups(session);
    ASSERT_EQ(g.size(), 1u);
    if (std::string(covtype) == "AR1") {
      EXPECT_FALSE(g[0].analysable);
      EXPECT_EQ(testing::message_numbers(session.out), (std::vector<int>{1009}));
      EXPECT_EQ(testing::messages(session.out)[0]->text.json(), "Case weight > 1 with REPEATED");
    } else {
      EXPECT_TRUE(g[0].analysable);
      EXPECT_TRUE(testing::message_numbers(session.out).empty());
    }
  }
}

TEST(CasePass, GroupsWithoutValidCases) {
  // The first split group has no valid case: 1002 names it, and the next
  // group is analysed.
  Session split(testing::csv("g,y,x\n1,,1\n1,2,\n2,3,1\n2,4,2\n"));
  split.data.set_split({0});
  ASSERT_TRUE(split.parse("y WITH x /FIXED=x"));
  split.save_files.cases = std::make_unique<host::WorkFile>(split.scratch, 1);
  std::vector<GroupResult> g = testing::run_groups(split);
  ASSERT_EQ(g.size(), 2u);
  EXPECT_FALSE(g[0].analysable);
  EXPECT_TRUE(g[1].analysable);
  EXPECT_EQ(g[1].ncases, 2u);
  EXPECT_EQ(g[1].n_fixed_columns, 2) << "intercept and x";
  EXPECT_EQ(testing::message_numbers(split.out), (std::vector<int>{1002}));
  EXPECT_EQ(testing::messages(split.out)[0]->text.json(), "No valid cases in split g=1 ...");
  EXPECT_FALSE(split.out.error_flag());

  // "mixcas__" keeps every case, valid or not: y and x.
  host::WorkFile& case_scratch = *split.save_files.cases;
  ASSERT_EQ(case_scratch.records(), 4u);
  ASSERT_EQ(case_scratch.record_length(), 2u);
  std::vector<double> rec(2);
  case_scratch.rewind();
  ASSERT_TRUE(case_scratch.read(rec));
  EXPECT_TRUE(host::is_sysmis(rec[0]));
  EXPECT_EQ(rec[1], 1);
}

TEST(CasePass, AHugeCaseWeightIsCarriedThrough) {
  Session session(testing::csv("id,a,w,y,x\n1,1,1e300,1,2\n2,1,1,2,3\n3,2,1,3,5\n4,2,1e300,4,1\n"));
  session.data.set_weight(session.data.find("w"));
  ASSERT_TRUE(session.parse("y BY a WITH x /FIXED=a x /RANDOM=INTERCEPT | SUBJECT(id) /PRINT=CPS DESCRIPTIVES"));
  std::vector<GroupResult> g = testing::run_groups(session);
  ASSERT_EQ(g.size(), 1u);
  EXPECT_TRUE(g[0].analysable);
  EXPECT_DOUBLE_EQ(g[0].n_observations, 2e300);
  EXPECT_EQ(g[0].n_fixed_columns, 4);
  auto cps = testing::tables(session.out, "Case Processing Summary");
  ASSERT_EQ(cps.size(), 1u);
  EXPECT_DOUBLE_EQ(testing::value_at(*cps[0], {{"a", "1"}, {"Marginal Percentage"}}), 50);
  EXPECT_EQ(testing::tables(session.out, "Descriptive Statistics").size(), 1u);
  EXPECT_NE(testing::dump(session.out).find("1e+300"), std::string::npos) << "the count reaches the output";
}

}  // namespace
}  // namespace mixed::data
