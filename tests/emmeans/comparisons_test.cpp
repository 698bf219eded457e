// The reference level of REFCAT, the slices of a table, the number of
// comparisons, and a comparison without standard error or df.  Adjusted
// significances and intervals are golden cases (tests/golden/cases/emmeans.test).
#include "emmeans/comparisons.h"

#include <gtest/gtest.h>

#include "emmeans/adjust.h"

namespace mixed::emmeans {
namespace {

// Factor 0 numeric with levels 1, 2.5, 7; factor 1 a string with F, M.
void two_factors(model::Command& cmd, data::GroupData& group) {
  cmd.factors = {10, 11};
  cmd.classvars.resize(2);
  cmd.classvars[0].factor = 1;
  cmd.classvars[1].factor = 2;
  group.levels.resize(2);
  group.levels[0].numbers = {1.0, 2.5, 7.0};
  group.levels[1].numeric = false;
  group.levels[1].strings = {"F", "M"};
}

model::EmmeansRecord compare(int factor, int kind, double value = 0.0, std::string text = {}) {
  model::EmmeansRecord rec;
  rec.table_kind = 2;
  rec.factors = {factor};
  rec.compare = 1;
  rec.refcat_kind = kind;
  rec.refcat_value = value;
  rec.refcat_string = std::move(text);
  return rec;
}

TEST(ReferenceCategory, ResolvesTheReferenceLevel) {
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;
  two_factors(cmd, group);
  host::Output out;
  EXPECT_EQ(reference_category_level(cmd, group, out, compare(0, 3)), 1) << "FIRST";
  EXPECT_EQ(reference_category_level(cmd, group, out, compare(0, 4)), 3) << "LAST";
  EXPECT_EQ(reference_category_level(cmd, group, out, compare(0, 1, 2.5)), 2) << "a value equal to a level";
  EXPECT_EQ(reference_category_level(cmd, group, out, compare(0, 1, 2.5000001)), 0) << "values must agree exactly";
  EXPECT_EQ(reference_category_level(cmd, group, out, compare(0, 1, 3.0)), 0) << "no such level";
  EXPECT_EQ(reference_category_level(cmd, group, out, compare(1, 2, 0, "M")), 2) << "a string level";
  EXPECT_EQ(reference_category_level(cmd, group, out, compare(1, 2, 0, "M ")), 0)
      << "same characters and the same length";
  EXPECT_EQ(reference_category_level(cmd, group, out, compare(1, 2, 0, "m")), 0) << "strings are compared exactly";
  EXPECT_EQ(reference_category_level(cmd, group, out, compare(1, 4)), 2) << "LAST of a string factor";
  EXPECT_EQ(reference_category_level(cmd, group, out, compare(0, 0)), 0) << "no REFCAT";
  EXPECT_EQ(out.error_count(), 0);

  model::Command unknown_cmd;

  data::GroupData unknown_group;
  unknown_cmd.factors = {10};
  EXPECT_EQ(reference_category_level(unknown_cmd, unknown_group, out, compare(0, 3)), 0);
  EXPECT_EQ(out.error_count(), 1) << "a factor without its classification variable is an internal error";
}

TEST(Slices, RunOverTheOtherTablesFactors) {
  // TABLES(a*b*c) with 2, 3 and 2 levels, COMPARE(b): four slices (a, c).
  CellTable cells;
  cells.nlevels = {2, 3, 2};
  cells.ncell = 12;
  const Slices sl = slices_of(cells, 1);
  EXPECT_EQ(sl.count, 4u);
  EXPECT_EQ(sl.nc, 3);
  // Cell of levels (a, b, c), 0-based, is 6a + 2b + c; slice (a, c) is 2a + c.
  for (std::size_t slice = 0; slice < 4; ++slice)
    for (int b = 0; b < 3; ++b) {
      const std::size_t a = slice / 2, c = slice % 2;
      EXPECT_EQ(sl.cell(cells, slice, b), 6 * a + 2 * static_cast<std::size_t>(b) + c);
      EXPECT_EQ(cells.level(sl.cell(cells, slice, b), 1), b);
    }
  EXPECT_EQ(comparison_count(4, false), 6);
  EXPECT_EQ(comparison_count(4, true), 3);
  EXPECT_EQ(comparison_count(2, false), 1);
}

TEST(Infer, NothingWithoutAStandardErrorOrDf) {
  host::Output out;
  Comparison zero_se;
  zero_se.estimate = 1.0;
  zero_se.se = 0.0;
  zero_se.df = 5.0;
  Comparison no_df = zero_se;
  no_df.se = 1.0;
  no_df.df = host::SYSMIS;
  for (const Comparison& c : {zero_se, no_df}) {
    const ComparisonInference r = infer(out, 1, kBonferroni, 0.05, c);
    EXPECT_TRUE(host::is_sysmis(r.significance));
    EXPECT_TRUE(host::is_sysmis(r.lower));
    EXPECT_TRUE(host::is_sysmis(r.upper));
    EXPECT_FALSE(r.significant);
  }
}

}  // namespace
}  // namespace mixed::emmeans
