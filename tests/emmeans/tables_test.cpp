// The means table of an EMMEANS subcommand: bounds from the t quantile,
// nothing but notes for cells that are not estimable or not observed, no
// bounds without df.  Table names and covariate notes are golden cases.
#include "emmeans/tables.h"

#include <gtest/gtest.h>

#include <string>

namespace mixed::emmeans {
namespace {

// Factors a (levels 1..4) and b, covariates x and z; FIXED = a x (z unused).
struct Model {
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;
  host::Dataset data;
  Model() {
    host::Variable a, b, x, z;
    a.name = "a";
    b.name = "b";
    x.name = "x";
    z.name = "z";
    a.format.decimals = b.format.decimals = 0;
    x.format.decimals = 1;
    data.add_numeric(a, {1, 2, 3, 4});
    data.add_numeric(b, {1, 1, 2, 2});
    data.add_numeric(x, {0.5, 1.5, 2.5, 3.5});
    data.add_numeric(z, {1, 1, 1, 1});
    cmd.factors = {0, 1};
    cmd.covariates = {2, 3};
    cmd.fixed.width = 4;
    cmd.fixed.add_row(std::vector<int>{1, 0, 0, 0});
    cmd.fixed.add_row(std::vector<int>{0, 0, 1, 0});
    cmd.classvars.resize(2);
    cmd.classvars[0].factor = 1;
    cmd.classvars[1].var = 1;
    cmd.classvars[1].factor = 2;
    group.levels.resize(2);
    group.levels[0].numbers = {1, 2, 3, 4};
    group.levels[1].numbers = {1, 2};
    est.dependent_note = host::Text::key("Dep variable is ^1").arg(host::Text::variable("y"));
  }
};

const host::Cell* find(const host::PivotTable& t, const std::string& row, const std::string& column) {
  for (const host::Cell& c : t.cells()) {
    const auto& dims = t.dimensions();
    if (dims[0].categories[c.at[0]].label.json() == row && dims[1].categories[c.at[1]].label.json() == column)
      return &c;
  }
  return nullptr;
}

bool has_note(const host::Cell& c, const std::string& note) {
  for (const host::Text& n : c.notes)
    if (n.json() == note) return true;
  return false;
}

TEST(MeansTable, ShowsEstimableCellsWithTheirIntervalAndNotesForTheOthers) {
  Model m;
  host::Output out;
  std::vector<double> mean = {10, 5, 7, 0}, se = {2, 1, 1, 0}, df = {6, 0, 3, host::SYSMIS}, count = {1, 1, 1, 0};
  std::vector<int> state = {kEstimable, kModified, kNotEstimable, kUnobserved};
  CellTable cells;
  cells.factors = {0};
  cells.nlevels = {4};
  cells.ncell = 4;
  cells.mean = mean;
  cells.se = se;
  cells.df = df;
  cells.state = state;
  cells.count = count;
  const host::Text covnote = host::Text::key("Evaluated at [%1 = %2:, ^1 = ^2:]1");
  const host::PivotTable t =
      means_table(m.cmd, m.group, m.est, m.data, out, cells, host::Text::key("Estimates"), covnote);
  EXPECT_EQ(t.name().json(), "Estimated Marginal Means");

  const double t975 = 2.446911851144968;  // t_6(0.975)
  EXPECT_NEAR(find(t, "1", "Lower Bound")->value.number, 10 - 2 * t975, 1e-9);
  EXPECT_NEAR(find(t, "1", "Upper Bound")->value.number, 10 + 2 * t975, 1e-9);
  EXPECT_EQ(find(t, "1", "Degrees of Freedom")->value.format.kind, host::Format::Kind::Count);
  EXPECT_TRUE(has_note(*find(t, "1", "Mean"), "Dep variable is y"));
  EXPECT_FALSE(find(t, "1", "Mean")->notes.size() > 2) << "an estimable cell has no state note";

  EXPECT_EQ(find(t, "2", "Mean")->value.number, 5.0) << "a modified mean is shown";
  EXPECT_TRUE(has_note(*find(t, "2", "Mean"), "Means modified ..."));
  EXPECT_EQ(find(t, "2", "Lower Bound")->value.kind, host::CellValue::Kind::Missing) << "no bounds on 0 df";

  for (const char* row : {"3", "4"})
    for (const char* column : {"Mean", "Standard Error", "Degrees of Freedom", "Lower Bound", "Upper Bound"})
      EXPECT_EQ(find(t, row, column)->value.kind, host::CellValue::Kind::Missing) << row << " " << column;
  EXPECT_TRUE(has_note(*find(t, "3", "Mean"), "Means nonestimable ..."));
  EXPECT_TRUE(has_note(*find(t, "4", "Mean"), "Subject level unobserved ..."));
  EXPECT_EQ(out.error_count(), 0);
}

}  // namespace
}  // namespace mixed::emmeans
