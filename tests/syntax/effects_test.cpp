// Effect terms: the EffectTerm cells the reader builds for each way of writing
// an effect, the comparison of two effects and the duplicate index.  The names
// and messages of the term reader are golden cases.
#include "syntax/effects.h"

#include <gtest/gtest.h>

#include <vector>

#include "syntax/parse_fixture.h"

namespace mixed::parse_fixture {
namespace {

// Factors a, b, c (cells 0..2) and covariates x, z (cells 3, 4).
constexpr std::string_view kModel = "y BY a b c WITH x z /FIXED = ";

// The rows of the written effects (after the intercept row).
std::vector<std::vector<int>> written_rows(const Parsed& p) {
  std::vector<std::vector<int>> rows;
  for (std::size_t r = 1; r < p.cmd.fixed.rows(); ++r) {
    const auto row = p.cmd.fixed.row(r);
    rows.emplace_back(row.begin(), row.end());
  }
  return rows;
}

TEST(EffectTerms, CellsOfEachWayOfWritingAnEffect) {
  struct Case {
    const char* term;
    std::vector<int> cells;
  };
  const Case cases[] = {
      {"a*b", {1, 1, 0, 0, 0}},        {"a BY b", {1, 1, 0, 0, 0}},      {"a(b)", {2, 1, 0, 0, 0}},
      {"a WITHIN b", {2, 1, 0, 0, 0}}, {"a(b(c))", {3, 2, 1, 0, 0}},     {"a WITHIN b WITHIN c", {3, 2, 1, 0, 0}},
      {"x*x", {0, 0, 0, 2, 0}},        {"x WITHIN a", {1, 0, 0, -1, 0}}, {"a*x WITHIN b", {2, 1, 0, -1, 0}},
      {"x*z*x", {0, 0, 0, 2, 1}},      {"c*a(b)", {2, 1, 2, 0, 0}},      {"a*b*x*z", {1, 1, 0, 1, 1}},
  };
  for (const Case& c : cases) {
    const Parsed p(std::string(kModel) + c.term);
    parse_fixture::expect_clean(p, c.term);
    ASSERT_EQ(written_rows(p), std::vector<std::vector<int>>{c.cells}) << c.term;
  }
}

TEST(EffectTerms, TermsEndAtAVariableWithoutOperator) {
  const Parsed p(std::string(kModel) + "a b*c x(a)");
  EXPECT_EQ(written_rows(p), (std::vector<std::vector<int>>{{1, 0, 0, 0, 0}, {0, 1, 1, 0, 0}, {1, 0, 0, -1, 0}}));
  const Parsed q(std::string(kModel) + "INTERCEPT a");
  EXPECT_EQ(q.cmd.n_fixed_effects(), 2) << "a leading INTERCEPT is the intercept row itself";
}

TEST(EffectTerms, Comparison) {
  // Two factors, one covariate.
  EXPECT_EQ(syntax::compare_effects(std::vector<int>{1, 1, 0}, std::vector<int>{1, 1, 0}, 2), 1);
  EXPECT_EQ(syntax::compare_effects(std::vector<int>{1, 0, -1}, std::vector<int>{1, 0, 1}, 2), 1)
      << "covariate cells compare in absolute value";
  EXPECT_EQ(syntax::compare_effects(std::vector<int>{2, 1, 0}, std::vector<int>{1, 2, 0}, 2), 2)
      << "the same factors nested the other way";
  EXPECT_EQ(syntax::compare_effects(std::vector<int>{1, 0, 1}, std::vector<int>{1, 0, 2}, 2), 0)
      << "a covariate's power makes another effect";
  EXPECT_EQ(syntax::compare_effects(std::vector<int>{1, 0, 0}, std::vector<int>{0, 1, 0}, 2), 0);
  EXPECT_EQ(syntax::compare_effects(std::vector<int>{0, 0, 0}, std::vector<int>{0, 0, 0}, 2), 1);

  syntax::EffectIndex index(2);
  index.add(std::vector<int>{2, 1, 0}, 0);
  index.add(std::vector<int>{1, 1, 0}, 1);
  index.add(std::vector<int>{1, 0, 1}, 2);
  const auto* m = index.matches(std::vector<int>{1, 2, 0});
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(*m, (std::vector<std::size_t>{0, 1})) << "identical and functionally the same, in order";
  EXPECT_EQ(index.matches(std::vector<int>{1, 0, 2}), nullptr);
  ASSERT_NE(index.matches(std::vector<int>{1, 0, -1}), nullptr);
}

TEST(EffectTerms, CountsAndModelKind) {
  const syntax::EffectCounts c = syntax::effect_counts(std::vector<int>{2, 0, 1, -1, 0, 3}, 3);
  EXPECT_EQ(c.factors, 2);
  EXPECT_EQ(c.covariates, 2);
  model::EffectTable t{3, {}};
  t.add_row(std::vector<int>{0, 0, 0});
  EXPECT_EQ(syntax::model_kind(t, 2), model::TermKinds::InterceptOnly);
  t.add_row(std::vector<int>{0, 0, 1});
  EXPECT_EQ(syntax::model_kind(t, 2), model::TermKinds::CovariatesOnly);
  t.add_row(std::vector<int>{1, 0, 0});
  EXPECT_EQ(syntax::model_kind(t, 2), model::TermKinds::FactorsAndCovariates)
      << "factors and covariates in different effects";
  model::EffectTable f{3, {}};
  f.add_row(std::vector<int>{1, 1, 0});
  EXPECT_EQ(syntax::model_kind(f, 2), model::TermKinds::FactorsOnly);
}

}  // namespace
}  // namespace mixed::parse_fixture
