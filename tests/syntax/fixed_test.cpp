// FIXED: the fixed EffectTable with and without intercept, its options, the
// duplicate checks, the model kind, and how FIXED is found before the other
// subcommands.
#include "syntax/fixed.h"

#include <gtest/gtest.h>

#include "syntax/parse_fixture.h"

namespace mixed::parse_fixture {
namespace {

TEST(Fixed, WithoutFixedTheModelIsTheIntercept) {
  const Parsed p("y BY a WITH x");
  expect_clean(p, "no FIXED");
  EXPECT_EQ(p.cmd.n_fixed_effects(), 1);
  EXPECT_EQ(p.cmd.fixed.width, 2);
  EXPECT_EQ(p.cmd.fixed.cells, (std::vector<int>{0, 0}));
  EXPECT_TRUE(p.cmd.has_intercept);
  EXPECT_EQ(p.cmd.fixed_kind, 3);
  EXPECT_EQ(p.cmd.sstype, 3);
  ASSERT_EQ(p.cmd.fixed_effect_names.size(), 1u);
  EXPECT_EQ(p.cmd.fixed_effect_names[0].json(), "Intercept");

  const Parsed bare("y");
  EXPECT_EQ(bare.cmd.n_fixed_effects(), 1) << "a model without factors and covariates still has its intercept";
  EXPECT_EQ(bare.cmd.fixed.width, 0);
}

TEST(Fixed, ModelKindFromAllEffects) {
  EXPECT_EQ(Parsed("y BY a WITH x /FIXED = a x").cmd.fixed_kind, 4);
  EXPECT_EQ(Parsed("y BY a WITH x /FIXED = a*x").cmd.fixed_kind, 4);
  EXPECT_EQ(Parsed("y BY a WITH x /FIXED = a").cmd.fixed_kind, 2);
  EXPECT_EQ(Parsed("y BY a WITH x /FIXED = x").cmd.fixed_kind, 1);
  EXPECT_EQ(Parsed("y BY a WITH x /FIXED = x | NOINT").cmd.fixed_kind, 1);
  const Parsed p("y BY a b WITH x /FIXED = a b a*b x");
  EXPECT_EQ(p.cmd.n_fixed_effects(), 5);
  EXPECT_EQ(p.cmd.fixed.cells, (std::vector<int>{0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0, 0, 0, 1}));
}

TEST(Fixed, Duplicates) {
  expect_error("y BY a b /FIXED = a a", 0, "Duplicated FIXED effect a ...");
  expect_error("y BY a b /FIXED = a*b b BY a", 0, "Duplicated FIXED effect a * b ...");
  expect_error("y BY a b /FIXED = a(b) b(a)", 0, "Func same FIXED effect a(b) b(a) ...");
  expect_error("y BY a b /FIXED = a*b a WITHIN b", 0, "Func same FIXED effect a * b a(b) ...");
  expect_error("y BY a /FIXED = a INTERCEPT", 0, "Duplicated FIXED effect Intercept ...");
  expect_error("y WITH x /FIXED = x x WITHIN x", 39, "Covariate after WITHIN in effect x ...");
  const Parsed powers("y WITH x /FIXED = x x*x");
  expect_clean(powers, "powers of a covariate are different effects");
  EXPECT_EQ(powers.cmd.n_fixed_effects(), 3);
  const Parsed p("y BY a /FIXED = a a");
  EXPECT_EQ(p.messages()[0].msg_class, 2);
}

TEST(Fixed, InterceptOptions) {
  const Parsed noint("y BY a /FIXED = a | NOINT");
  expect_clean(noint, "NOINT");
  EXPECT_FALSE(noint.cmd.has_intercept);
  EXPECT_EQ(noint.cmd.n_fixed_effects(), 1);
  EXPECT_EQ(noint.cmd.fixed.cells, (std::vector<int>{1}));
  EXPECT_EQ(noint.cmd.fixed_effect_names[0].json(), "a");

  const Parsed both("y BY a /FIXED = INTERCEPT a | NOINT");
  expect_only(both, 42, Severity::Warning, "INTERCEPT and NOINT in FIXED ...", "INTERCEPT with NOINT");
  EXPECT_EQ(both.messages()[0].msg_class, 2);
  EXPECT_FALSE(both.cmd.has_intercept);
  EXPECT_EQ(both.cmd.n_fixed_effects(), 1);

  const Parsed explicit_intercept("y BY a /FIXED = INTERCEPT a");
  EXPECT_TRUE(explicit_intercept.cmd.has_intercept);
  EXPECT_EQ(explicit_intercept.cmd.n_fixed_effects(), 2);

  const Parsed bar_only("y BY a /FIXED = | NOINT /RANDOM = a");
  expect_clean(bar_only, "no fixed effects at all");
  EXPECT_EQ(bar_only.cmd.n_fixed_effects(), 0);
}

TEST(Fixed, SumsOfSquaresType) {
  EXPECT_EQ(Parsed("y BY a /FIXED = a | SSTYPE(1)").cmd.sstype, 1);
  EXPECT_EQ(Parsed("y BY a /FIXED = a | SSTYPE(3) NOINT").cmd.sstype, 3);
  EXPECT_EQ(Parsed("y BY a /FIXED = a | SSTYPE(1) SSTYPE").cmd.sstype, 3) << "SSTYPE alone is type 3";
  expect_error("y BY a /FIXED = a | SSTYPE(2)", 40, "Missing SSTYPE value in FIXED 2 ...");
  expect_error("y BY a /FIXED = a | SSTYPE(1.5)", 40, "Missing SSTYPE value in FIXED 1.5 ...");
  expect_error("y BY a /FIXED = a | SSTYPE(x)", 40, "Missing SSTYPE value in FIXED x ...");
  expect_error("y BY a /FIXED = a | SSTYPE(1", 40, "Missing SSTYPE value in FIXED  ...");
  expect_error("y BY a /FIXED = a | NOINT FOO", 41, "Unrecognized keyword FOO in FIXED ...");
  expect_error("y BY a /FIXED = a | NOINT | NOINT", 41, "Unrecognized keyword | in FIXED ...");
}

TEST(Fixed, FoundWhereverItStands) {
  const Parsed last("y BY a b /METHOD = ML /FIX = a /PRINT = G");
  expect_clean(last, "abbreviated FIXED after another subcommand");
  EXPECT_EQ(last.cmd.n_fixed_effects(), 2);
  EXPECT_EQ(last.cmd.method, 1);
  EXPECT_TRUE(last.cmd.print_g);

  const Parsed two("y BY a b /FIXED = a /FIXED b");
  expect_only(two, 8, Severity::Warning, "Last repeated subcommand used FIXED ...", "second FIXED");
  EXPECT_EQ(two.cmd.fixed.cells, (std::vector<int>{0, 0, 0, 1}));

  const Parsed empty("y BY a b /FIXED = a /fixed = |");
  expect_only(empty, 7, Severity::Warning, "Empty subcommand fixed ...", "empty FIXED");
  EXPECT_EQ(empty.cmd.n_fixed_effects(), 2) << "the empty FIXED is ignored";

  // FIXED errors come before the errors of the subcommands written before it.
  expect_error("y BY a /METHOD = XX /FIXED = a a", 0, "Duplicated FIXED effect a ...");
}

}  // namespace
}  // namespace mixed::parse_fixture
