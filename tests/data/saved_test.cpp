// The saved variables of SAVE: names and formats of the new variables, split
// files and SUBJECTS(GROUPED).
#include "data/saved.h"

#include <gtest/gtest.h>

#include <cmath>

#include "data/case_pass.h"
#include "data/design.h"
#include "data/subjects.h"
#include "data_util.h"
#include "driver/mixctl.h"
#include "estimate/estimate.h"
#include "estimate/fit.h"
#include "host/tokens.h"
#include "host/workfile.h"
#include "inference/saved_values.h"

namespace mixed::data {
namespace {

using enum model::SaveCode;
using testing::Session;

// ---------------------------------------------------------------------------
// Running a command: the stages of the procedure driver over every split
// group (keeping the settings of the last group), or the driver itself.

bool run_stages(Session& session, std::string_view command) {
  if (!session.parse(command)) return false;
  const model::Command& cmd = session.cmd;
  host::Engine& e = session.engine;
  data::SaveFiles& save_files = session.save_files;
  save_files.cases = std::make_unique<host::WorkFile>(session.scratch, 1);
  save_files.values = std::make_unique<host::WorkFile>(session.scratch, static_cast<std::size_t>(cmd.n_saved()));
  host::CaseReader reader(session.data);
  int group_number = 0;
  while (reader.next_group()) {
    session.group = GroupData{};
    session.est = estimate::Estimates{};
    GroupData& group = session.group;
    estimate::Estimates& est = session.est;
    bool analysable = true;
    case_pass(cmd, group, save_files, e, reader, group_number, analysable);
    if (session.out.error_flag()) return false;
    if (!analysable) continue;
    if (cmd.n_class_vars() > 0) order_subjects(cmd, group, e);
    design_columns(cmd, group, e);
    estimate::estimate(cmd, group, est, e, analysable);
    if (session.out.error_flag()) return false;
    if (analysable) inference::compute_saved_values(cmd, group, est, save_files, e, group_number);
    if (session.out.error_flag()) return false;
  }
  write_saved_variables(cmd, save_files, e);
  return !session.out.error_flag();
}

void run_driver(Session& session, std::string_view command) {
  std::vector<host::LexProblem> problems;
  host::TokenStream tokens(host::tokenize(command, problems));
  driver::run_mixed_command(tokens, session.engine);
}

std::vector<double> column(const host::Dataset& d, std::string_view name) {
  const auto v = d.find(name);
  EXPECT_TRUE(v.has_value()) << "variable " << name;
  std::vector<double> out;
  if (v)
    for (std::size_t r = 0; r < d.n_cases(); ++r) out.push_back(d.number(*v, r));
  return out;
}

void expect_near_rel(double got, double want, double tol, const std::string& what) {
  EXPECT_NEAR(got, want, tol * std::max(1.0, std::abs(want))) << what;
}

// ---------------------------------------------------------------------------
// Names, formats and labels.

TEST(SavedNames, NumberedRootsSkipTakenNamesAndFailBeyondTheLongestName) {
  host::Dataset d = testing::csv("y,PRED_1,pred_2,x\n1,2,3,4\n");
  const std::vector<std::string> none;
  EXPECT_EQ(unused_variable_name(d, "RESID", none), "RESID_1");
  EXPECT_EQ(unused_variable_name(d, "PRED", none), "PRED_3") << "PRED_1 and pred_2 exist (case ignored)";
  const std::vector<std::string> taken = {"resid_1", "RESID_2"};
  EXPECT_EQ(unused_variable_name(d, "RESID", taken), "RESID_3") << "names made earlier in the same SAVE";
  EXPECT_EQ(unused_variable_name(d, std::string(62, 'a'), none), std::string(62, 'a') + "_1") << "64 bytes";
  EXPECT_FALSE(unused_variable_name(d, std::string(63, 'a'), none).has_value()) << "65 bytes is no name";

  host::PrintFormat dep{'F', 8, 3};
  EXPECT_EQ(save_format(PRED, dep).str(), "F11.5");
  EXPECT_EQ(save_format(SEFIXP, host::PrintFormat{'F', 39, 15}).str(), "F40.16") << "width at most 40";
  EXPECT_EQ(save_format(RESID, host::PrintFormat{'F', 20, 16}).str(), "F23.16") << "decimals at most 16";
  EXPECT_EQ(save_format(DFFIXP, dep).str(), "F8.2");
  EXPECT_EQ(save_format(DFPRED, dep).str(), "F8.2");
}

// ---------------------------------------------------------------------------
// Split files through the driver: group 2 has no valid case and is not
// analysed; the others save exactly what a run on their own rows saves, and
// the name PRED_1 being taken makes the predicted values PRED_2.

constexpr const char* kSplit =
    "g,id,x,y,PRED_1\n"
    "1,1,1,3.1,0\n1,1,2,4.2,0\n1,2,1,2.0,0\n1,2,2,3.3,0\n1,3,1,4.4,0\n1,3,2,5.9,0\n1,3,3,6.1,0\n"
    "2,1,1,,0\n2,2,1,,0\n"
    "3,1,1,7.0,0\n3,1,2,8.1,0\n3,2,1,5.2,0\n3,2,2,7.7,0\n3,3,1,6.0,0\n3,3,2,6.4,0\n"
    "3,4,1,9.0,0\n3,4,2,9.9,0\n3,4,3,,0\n";

constexpr const char* kSplitCommand =
    "y WITH x /FIXED = x /RANDOM = INTERCEPT | SUBJECT(id) /SAVE = PRED RESID SEPRED DFPRED.";

host::Dataset rows_of(const host::Dataset& d, std::size_t begin, std::size_t end) {
  std::vector<std::size_t> rows;
  for (std::size_t r = begin; r < end; ++r) rows.push_back(r);
  host::Dataset out = testing::permute_rows(d, rows);
  out.set_split({});
  return out;
}

TEST(SavedValues, SplitGroupsSaveWhatSeparateRunsSaveAndUnanalysedGroupsNothing) {
  host::Dataset data = testing::csv(kSplit);
  data.set_split({*data.find("g")});
  Session split(data);
  run_driver(split, kSplitCommand);
  EXPECT_FALSE(split.out.error_flag());
  const std::vector<int> numbers = testing::message_numbers(split.out);
  EXPECT_NE(std::find(numbers.begin(), numbers.end(), 1002), numbers.end()) << "group 2 has no valid case";
  const std::vector<std::string> names = {"PRED_2", "RESID_1", "SEPRED_1", "DFPRED_1"};
  for (const std::string& n : names) ASSERT_TRUE(split.data.find(n).has_value()) << n;

  for (const auto& [begin, end] : {std::pair<std::size_t, std::size_t>{0, 7}, {9, 18}}) {
    Session alone(rows_of(data, begin, end));
    run_driver(alone, kSplitCommand);
    for (const std::string& n : names) {
      const std::vector<double> got = column(split.data, n), want = column(alone.data, n);
      for (std::size_t r = begin; r < end; ++r) {
        if (host::is_sysmis(want[r - begin]))
          EXPECT_TRUE(host::is_sysmis(got[r])) << n << " row " << r;
        else
          EXPECT_DOUBLE_EQ(got[r], want[r - begin]) << n << " row " << r;
      }
    }
  }
  for (const std::string& n : names)
    for (std::size_t r : {7u, 8u}) EXPECT_TRUE(host::is_sysmis(column(split.data, n)[r])) << n << " group 2";
  EXPECT_FALSE(host::is_sysmis(column(split.data, "PRED_2")[17])) << "the last case lacks only y";
  EXPECT_TRUE(host::is_sysmis(column(split.data, "RESID_1")[17]));
}

// ---------------------------------------------------------------------------
// SUBJECTS(GROUPED) keeps the file order, so a subject whose cases are not
// consecutive is one subject per run.  Saving then equals saving for the same
// file with every run given a subject of its own; a case without a dependent
// value belongs to the run of the latest valid case of its subject.

TEST(SavedValues, GroupedSubjectsFollowTheRunsOfTheFile) {
  constexpr const char* interleaved =
      "id,x,y\n1,1,3.1\n1,2,4.6\n2,1,2.0\n2,2,2.9\n1,3,6.2\n1,4,7.9\n1,5,\n3,1,5.0\n3,2,6.5\n2,3,4.1\n2,4,5.6\n";
  constexpr const char* relabelled =
      "id,x,y\n1,1,3.1\n1,2,4.6\n2,1,2.0\n2,2,2.9\n4,3,6.2\n4,4,7.9\n4,5,\n3,1,5.0\n3,2,6.5\n5,3,4.1\n5,4,5.6\n";
  Session grouped(testing::csv(interleaved)), separate(testing::csv(relabelled));
  ASSERT_TRUE(run_stages(grouped,
                         "y WITH x /FIXED = x /RANDOM = INTERCEPT | SUBJECT(id)"
                         " /CRITERIA = SUBJECTS(GROUPED) /SAVE = PRED SEPRED DFPRED"));
  ASSERT_TRUE(run_stages(separate, "y WITH x /FIXED = x /RANDOM = INTERCEPT | SUBJECT(id) /SAVE = PRED SEPRED DFPRED"));
  ASSERT_EQ(grouped.est.fit->rows.subjects(), 5u) << "five runs";
  for (const char* n : {"PRED_1", "SEPRED_1", "DFPRED_1"}) {
    const std::vector<double> got = column(grouped.data, n), want = column(separate.data, n);
    for (std::size_t r = 0; r < got.size(); ++r) expect_near_rel(got[r], want[r], 1e-8, n + std::to_string(r));
  }
}

}  // namespace
}  // namespace mixed::data
