// RANDOM and REPEATED: covariance blocks and their types, per-effect subject
// lists, the union and the common subject variables, the residual type, and
// every message of both subcommands.
#include "syntax/random.h"

#include <gtest/gtest.h>

#include "syntax/parse_fixture.h"

namespace mixed::parse_fixture {
namespace {

// Dictionary indices of the sample data.
constexpr std::size_t kY = 0, kA = 1, kId = 7, kId2 = 8, kT = 9;

TEST(Random, BlocksFollowTheCovarianceType) {
  const Parsed vc("y BY a b c /RANDOM = a b c");
  expect_clean(vc, "three effects, default type");
  EXPECT_EQ(vc.cmd.n_random_effects(), 3);
  EXPECT_EQ(vc.cmd.n_random_blocks, 3) << "VC gives every effect its own block";
  EXPECT_EQ(vc.cmd.random_effect_block, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(vc.cmd.random_types, (std::vector<int>{18, 18, 18}));
  EXPECT_EQ(vc.cmd.rnd_signed_count, (std::vector<int>{-3}));
  EXPECT_EQ(vc.cmd.random_kind, 2);

  const Parsed un("y BY a b c /RANDOM = a b c | COVTYPE(UN)");
  EXPECT_EQ(un.cmd.n_random_blocks, 1);
  EXPECT_EQ(un.cmd.random_effect_block, (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(un.cmd.random_types, (std::vector<int>{15, 15, 15}));
  EXPECT_EQ(un.cmd.rnd_signed_count, (std::vector<int>{3}));

  // Blocks are numbered across subcommands; VC written is still 18.
  const Parsed mixed("y BY a b WITH x /RANDOM = a b | COVTYPE(VC) /RANDOM = INTERCEPT x | COVTYPE(CSH) "
                     "SUBJECT(id) /RANDOM = a | COVTYPE(ARMA11) SUBJECT(id)");
  expect_clean(mixed, "three RANDOM subcommands");
  EXPECT_EQ(mixed.cmd.n_random_blocks, 4);
  EXPECT_EQ(mixed.cmd.random_effect_block, (std::vector<int>{0, 1, 2, 2, 3}));
  EXPECT_EQ(mixed.cmd.random_types, (std::vector<int>{18, 18, 6, 6, 1}));
  EXPECT_EQ(mixed.cmd.rnd_signed_count, (std::vector<int>{2, 2, 1}));
  EXPECT_EQ(mixed.cmd.random_effect_subcommand, (std::vector<int>{0, 0, 1, 1, 2}));
  EXPECT_EQ(mixed.cmd.random_subject_counts, (std::vector<int>{0, 0, 1, 1, 1}));
  EXPECT_EQ(mixed.cmd.random.cells, (std::vector<int>{1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0}));
  EXPECT_EQ(mixed.cmd.random_kind, 4);
  ASSERT_EQ(mixed.cmd.random_block_names.size(), 4u);
  EXPECT_EQ(mixed.cmd.random_block_names[0].json(), "a");
  EXPECT_EQ(mixed.cmd.random_block_names[2].json(), "Intercept + x subject id");
}

TEST(Random, KindOfTheRandomPart) {
  EXPECT_EQ(Parsed("y WITH x /RANDOM = x").cmd.random_kind, 1);
  EXPECT_EQ(Parsed("y WITH x /RANDOM = INTERCEPT | SUBJECT(id)").cmd.random_kind, 3);
  EXPECT_EQ(Parsed("y WITH x").cmd.random_kind, 4) << "the default without RANDOM";
  const Parsed bare("y /RANDOM = INTERCEPT | SUBJECT(id)");
  EXPECT_EQ(bare.cmd.n_random_effects(), 1) << "an intercept of width 0 is still an effect";
}

TEST(Random, SubjectVariablesCommonOnesFirst) {
  const Parsed p("y BY a /RANDOM = INTERCEPT | SUBJECT(id*id2) /RANDOM = a | SUBJECT(id2 id2)");
  expect_clean(p, "two subject lists");
  EXPECT_EQ(p.cmd.subject_vars, (std::vector<std::size_t>{kId2, kId}));
  EXPECT_EQ(p.cmd.n_common_subjects, 1);
  EXPECT_EQ(p.cmd.random_subcommands[0].subjects, (std::vector<std::size_t>{kId, kId2}));
  EXPECT_EQ(p.cmd.random_subcommands[1].subjects, (std::vector<std::size_t>{kId2})) << "a repeated name dropped";
  EXPECT_EQ(p.cmd.random_subject_lists[1], (std::vector<std::size_t>{kId2}));
  EXPECT_EQ(p.cmd.random_block_names[0].json(), "Intercept subject id*id2");

  const Parsed none("y BY a /RANDOM = a /RANDOM = INTERCEPT | SUBJECT(id)");
  EXPECT_EQ(none.cmd.n_common_subjects, 0) << "an effect without subjects shares none";
  EXPECT_EQ(none.cmd.subject_vars, (std::vector<std::size_t>{kId}));
}

TEST(Random, DuplicateEffectsNeedTheSameSubjects) {
  expect_error("y BY a /RANDOM = a | SUBJECT(id) /RANDOM = a | SUBJECT(id)", 0, "Duplicated RANDOM effect a ...");
  expect_error("y BY a /RANDOM = a | SUBJECT(id*id2) /RANDOM = a | SUBJECT(id2 id)", 0,
               "Duplicated RANDOM effect a ...");
  expect_error("y BY a /RANDOM = a a", 0, "Duplicated RANDOM effect a ...");
  expect_error("y BY a b /RANDOM = a(b) | SUBJECT(id) /RANDOM = b(a) | SUBJECT(id)", 0,
               "Func same RANDOM effect a(b) b(a) ...");
  const Parsed other("y BY a /RANDOM = a | SUBJECT(id2) /RANDOM = a | SUBJECT(id) /RANDOM = a | SUBJECT(id*id2)");
  expect_clean(other, "the same effect with other subjects");
  EXPECT_EQ(other.cmd.n_random_effects(), 3);
  expect_error("y BY a /RANDOM = a | SUBJECT(id2) /RANDOM = a | SUBJECT(id) /RANDOM = a | SUBJECT(id)", 0,
               "Duplicated RANDOM effect a ...");
}

TEST(Random, Messages) {
  expect_error("y BY a /RANDOM = | SUBJECT(id)", 51, "No effects in RANDOM ...");
  expect_error("y BY a /RANDOM = a | SUBJECT(nosuch)", 43, "Invalid RANDOM SUBJECT nosuch ...");
  expect_error("y BY a /RANDOM = a | SUBJECT()", 43, "Invalid RANDOM SUBJECT ) ...");
  expect_error("y BY a /RANDOM = a | SUBJECT id", 43, "Invalid RANDOM SUBJECT id ...");
  expect_error("y BY a /RANDOM = a | SUBJECT(id", 43, "Invalid RANDOM SUBJECT  ...");
  expect_error("y BY a /RANDOM = a | SUBJECT(1)", 43, "Invalid RANDOM SUBJECT 1 ...");
  expect_error("y BY a /RANDOM = a | COVTYPE(XX)", 45, "Unrecognized RANDOM COVTYPE XX ...");
  expect_error("y BY a /RANDOM = a | COVTYPE(UN", 45, "Unrecognized RANDOM COVTYPE  ...");
  expect_error("y BY a /RANDOM = a | COVTYPE UN", 45, "Unrecognized RANDOM COVTYPE UN ...");
  expect_error("y BY a /RANDOM = a | FOO", 47, "Unrecognized RANDOM SUBCOV FOO ...");
  expect_error("y BY a /RANDOM = a | SUBJECT(id y)", 0, "Same ran sub and dependent y ...");
  expect_error("y BY a /RANDOM = a*a", 38, "Repeated factor in effect a ...");
  const Parsed empty("y BY a /RANDOM /RANDOM = a");
  expect_only(empty, 7, Severity::Warning, "Empty subcommand RANDOM ...", "empty RANDOM");
  EXPECT_EQ(empty.cmd.n_random_effects(), 1);
  EXPECT_EQ(empty.cmd.random_subcommands.size(), 1u);
  const Parsed later("y BY a /RANDOM = a | SUBJECT(id) COVTYPE(CS) SUBJECT(id2) COVTYPE(AR1)");
  EXPECT_EQ(later.cmd.random_types[0], 3) << "a later COVTYPE replaces an earlier one";
  EXPECT_EQ(later.cmd.subject_vars, (std::vector<std::size_t>{kId2}));
}

TEST(Repeated, ResidualStructure) {
  const Parsed none("y BY a");
  EXPECT_EQ(none.cmd.repeated_type, 12);
  EXPECT_FALSE(none.cmd.repeated_given);

  const Parsed diag("y BY a /REPEATED = t | SUBJECT(id)");
  expect_clean(diag, "REPEATED");
  EXPECT_TRUE(diag.cmd.repeated_given);
  EXPECT_EQ(diag.cmd.repeated_type, 8);
  EXPECT_EQ(diag.cmd.repeated_vars, (std::vector<std::size_t>{kT}));
  EXPECT_EQ(diag.cmd.repeated_subjects, (std::vector<std::size_t>{kId}));

  EXPECT_EQ(Parsed("y BY a /REPEATED = t | SUBJECT(id) COVTYPE(VC)").cmd.repeated_type, 19);
  EXPECT_EQ(Parsed("y BY a /REPEATED = t | COVTYPE(AR1) SUBJECT(id)").cmd.repeated_type, 3);
  const Parsed two("y BY a /REPEATED = t*a | SUBJECT(id*id2)");
  EXPECT_EQ(two.cmd.repeated_vars, (std::vector<std::size_t>{kT, kA}));
  EXPECT_EQ(two.cmd.repeated_subjects, (std::vector<std::size_t>{kId, kId2}));

  const Parsed again("y BY a /REPEATED = t | SUBJECT(id) COVTYPE(UN) /REPEATED = a | SUBJECT(id2)");
  expect_only(again, 8, Severity::Warning, "Last repeated subcommand used REPEATED ...", "second REPEATED");
  EXPECT_EQ(again.cmd.repeated_type, 8) << "the last REPEATED starts from its defaults";
  EXPECT_EQ(again.cmd.repeated_vars, (std::vector<std::size_t>{kA}));
  EXPECT_EQ(again.cmd.repeated_subjects, (std::vector<std::size_t>{kId2}));

  const Parsed random("y BY a /RANDOM = INTERCEPT | SUBJECT(id) /REPEATED = t | SUBJECT(id2 id)");
  expect_clean(random, "random subjects within the repeated subjects");
}

TEST(Repeated, Messages) {
  expect_error("y BY a /REPEATED = t", 74, "No SUBJECT in REPEATED ...");
  expect_error("y BY a /REPEATED = t | COVTYPE(CS)", 74, "No SUBJECT in REPEATED ...");
  expect_error("y BY a /RANDOM = INTERCEPT | SUBJECT(id2) /REPEATED = t | SUBJECT(id)", 9,
               "A random subject not in repeated subject list ...");
  expect_error("y BY a /REPEATED = | SUBJECT(id)", 49, "No classification variables REPEATED ...");
  expect_error("y BY a /REPEATED = nosuch | SUBJECT(id)", 50, "Invalid classification variables REPEATED nosuch ...");
  expect_error("y BY a /REPEATED = t) | SUBJECT(id)", 50, "Invalid classification variables REPEATED ) ...");
  expect_error("y BY a /REPEATED = t | SUBJECT(1)", 44, "Invalid REPEATED SUBJECT 1 ...");
  expect_error("y BY a /REPEATED = t | SUBJECT(id) COVTYPE(VCX)", 46, "Unrecognized REPEATED COVTYPE VCX ...");
  expect_error("y BY a /REPEATED = t | SUBJECT(id) FOO", 48, "Unrecognized REPEATED SUBCOV FOO ...");
  expect_error("y BY a /REPEATED = y | SUBJECT(id)", 0, "Same rep var and dependent y ...");
  expect_error("y BY a /REPEATED = t | SUBJECT(id t)", 0, "Same rep sub and rep var t ...");
  expect_error("y BY a /REPEATED = t | SUBJECT(id y)", 0, "Same rep sub and dependent y ...");
  expect_error("y BY a /RANDOM = a | SUBJECT(t) /REPEATED = t | SUBJECT(id)", 0,
               "Same ran sub and rep var t ...");
  const Parsed p("y BY a /REPEATED = t c | SUBJECT(id t c)");
  ASSERT_EQ(p.messages().size(), 1u);
  EXPECT_EQ(p.messages()[0].text, "Same rep sub and rep var t, c ...");
  EXPECT_EQ(p.messages()[0].msg_class, 2);
}

}  // namespace
}  // namespace mixed::parse_fixture
