// The command reader: the values CRITERIA stores, non-finite numbers, and the
// settings derived once the command has been read.  The messages of the
// subcommand loop and of each subcommand are golden cases; arbitrary input is
// the fuzzer's (fuzz/fuzz_commands.cpp).
#include "syntax/dispatcher.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

#include "syntax/parse_fixture.h"

namespace mixed::parse_fixture {
namespace {

TEST(Criteria, EveryKeyword) {
  const Parsed p(
      "y /CRITERIA = CIN(90.5) MXITER(0) MXSTEP(3) SCORING(2) SINGULAR(1e-10) HCONVERGE(0.001 RELATIVE) "
      "LCONVERGE(ABSOLUTE 1e-4) PCONVERGE(RELATIVE 1e-8) SUBJECTS(GROUPED) /RANDOM = INTERCEPT | SUBJECT(id)");
  expect_clean(p, "all CRITERIA keywords");
  EXPECT_EQ(p.cmd.confidence_level, 90.5);
  EXPECT_EQ(p.cmd.confidence_text, "90.5");
  EXPECT_EQ(p.cmd.max_iterations, 0);
  EXPECT_EQ(p.cmd.max_step_halvings, 3);
  EXPECT_EQ(p.cmd.scoring_steps, 2);
  EXPECT_EQ(p.cmd.singularity_tolerance, 1e-10);
  EXPECT_EQ(p.cmd.hessian_tolerance, 0.001);
  EXPECT_EQ(p.cmd.hessian_criterion, model::Tolerance::Relative);
  EXPECT_EQ(p.cmd.likelihood_tolerance, 1e-4);
  EXPECT_EQ(p.cmd.likelihood_criterion, model::Tolerance::Absolute);
  EXPECT_EQ(p.cmd.parameter_tolerance, 1e-8);
  EXPECT_EQ(p.cmd.parameter_criterion, model::Tolerance::Relative);
  EXPECT_TRUE(p.cmd.subjects_grouped);

  const Parsed before("y /CRIT = PCONV(RELATIVE 1e-8)");
  const Parsed after("y /CRIT = PCONV(1e-8 RELATIVE)");
  EXPECT_EQ(before.cmd.parameter_tolerance, after.cmd.parameter_tolerance);
  EXPECT_EQ(before.cmd.parameter_criterion, model::Tolerance::Relative);
  EXPECT_EQ(after.cmd.parameter_criterion, model::Tolerance::Relative);
  const Parsed type_only("y /CRITERIA = PCONVERGE(REL) HCONVERGE()");
  EXPECT_EQ(type_only.cmd.parameter_tolerance, 1e-6) << "the value keeps its default";
  EXPECT_EQ(type_only.cmd.hessian_tolerance, 0);
  EXPECT_EQ(type_only.cmd.hessian_criterion, model::Tolerance::Absolute);
  EXPECT_EQ(Parsed("y /CRITERIA = CIN(0)").cmd.confidence_level, 0);
  EXPECT_EQ(Parsed("y /CRITERIA = SUBJECTS(OTHER)").cmd.subjects_grouped, false);
  EXPECT_EQ(Parsed("y /CRITERIA = MXITER(1e12)").cmd.max_iterations, INT_MAX) << "held at the largest count";
}

TEST(Criteria, Messages) {
  // Values that are not numbers, or not finite, end in the same messages.
  expect_error("y /CRITERIA = CIN(NaN)", 18, "Missing value in CRITERIA NaN ...");
  expect_error("y /CRITERIA = MXITER(1e400)", 21, "CRITERIA MXITER value 1e400 invalid ...");
  expect_error("y /CRITERIA = SINGULAR(1e400)", 25, "CRITERIA SINGULAR value 1e400 unvalid ...");
  expect_error("y /CRITERIA = PCONVERGE(1e400)", 23, "CRITERIA PCONVERGE value 1e400 invalid ...");
  expect_error("y /CRITERIA = CIN(-1e400)", 19, "CRITERIA CIN value -1e400 invalid ...");
}

TEST(Postprocess, NotesAndFormats) {
  const Parsed defaults("y");
  EXPECT_EQ(defaults.cmd.likelihood_format.kind, host::Format::Kind::GenStat);
  EXPECT_EQ(defaults.cmd.parameter_format.kind, host::Format::Kind::Fixed);
  EXPECT_EQ(defaults.cmd.parameter_format.decimals, 6) << "PCONVERGE 1e-6";
  const Parsed both("y /CRITERIA = HCONVERGE(0.001) LCONVERGE(0.00005) PCONVERGE(0)");
  EXPECT_EQ(both.cmd.likelihood_format.kind, host::Format::Kind::Fixed);
  EXPECT_EQ(both.cmd.likelihood_format.decimals, 5) << "the smaller of HCONVERGE and LCONVERGE";
  EXPECT_EQ(both.cmd.parameter_format.kind, host::Format::Kind::Coefficient);
  EXPECT_EQ(Parsed("y /CRITERIA = LCONVERGE(0.01)").cmd.likelihood_format.decimals, 2);
}

TEST(Postprocess, ScoringStepsAndMissingValues) {
  EXPECT_EQ(Parsed("y /CRITERIA = SCORING(3)").cmd.scoring_steps, 0) << "identity residual, no random effect";
  EXPECT_EQ(Parsed("y /REPEATED = t | SUBJECT(id) /CRITERIA = SCORING(3)").cmd.scoring_steps, 3);
  EXPECT_EQ(Parsed("y /RANDOM = INTERCEPT | SUBJECT(id)").cmd.scoring_steps, 1);

  EXPECT_TRUE(Parsed("y BY a WITH x").cmd.include_user_missing) << "nothing has user-missing values";
  EXPECT_FALSE(Parsed("y WITH um").cmd.include_user_missing);
  EXPECT_FALSE(Parsed("y /REGWGT = um").cmd.include_user_missing);
  EXPECT_FALSE(Parsed("um").cmd.include_user_missing);
  EXPECT_FALSE(Parsed("y /RANDOM = INTERCEPT | SUBJECT(um)").cmd.include_user_missing);
  const Parsed exclude("y");
  for (const host::Item& item : exclude.out.items()) {
    if (const auto* n = std::get_if<host::Notes>(&item)) {
      EXPECT_EQ(n->entries[0].value.json(), "MISSING is EXCLUDE ...") << "the notes show what was written";
    }
  }
}

}  // namespace
}  // namespace mixed::parse_fixture
