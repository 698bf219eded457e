// The rules of the model, fixed-effect and covariance tables: information
// criteria and their sample sizes, degrees-of-freedom display, the rows of a
// redundant parameter, t tests and intervals, the confidence bounds of
// covariance parameters by kind.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "host/dataset.h"
#include "host/distributions.h"
#include "host/packed.h"
#include "inference/covariance_tables.h"
#include "inference/fixed_tables.h"
#include "inference/model_tables.h"
#include "inference/table_support.h"

namespace mixed::inference {
namespace {

using host::CellValue;
using host::Format;
using host::Text;

// The cell whose category in each dimension (in declared order) has the
// given label; nullptr when there is none.
const host::Cell* cell(const host::PivotTable& t, const std::vector<std::string>& labels) {
  for (const host::Cell& c : t.cells()) {
    bool match = true;
    for (std::size_t d = 0; d < labels.size() && match; ++d)
      match = t.dimensions()[d].categories[c.at[d]].label.json() == labels[d];
    if (match) return &c;
  }
  return nullptr;
}

double value(const host::PivotTable& t, const std::vector<std::string>& labels) {
  const host::Cell* c = cell(t, labels);
  EXPECT_NE(c, nullptr) << labels.back();
  if (c == nullptr || c->value.kind != CellValue::Kind::Number) return host::SYSMIS;
  return c->value.number;
}

bool has_note(const host::Cell* c, const std::string& note) {
  if (c == nullptr) return false;
  for (const Text& n : c->notes)
    if (n.json() == note) return true;
  return false;
}

void with_fixed(data::GroupData& group, estimate::Estimates& est, int p, const std::vector<double>& packed_c,
                const std::vector<double>& b) {
  group.n_fixed_columns = p;
  est.fixed_covariance = packed_c;
  est.fixed_covariance.resize(host::tri_size(p + 1), 0.0);
  for (int k = 0; k < p; ++k) est.fixed_covariance[host::tri(p, k)] = b[k];
  est.non_redundant.resize(p);
  est.dependent_note = Text::key("Dep variable is ^1").arg(Text::variable("y"));
  for (int k = 0; k < p; ++k) est.param_labels.push_back(Text::raw("b" + std::to_string(k)));
}

TEST(ModelTables, InformationCriteriaCountParametersByMethod) {
  const InformationCriteria reml = information_criteria(model::Method::REML, 3, 6, 10.0, 100.0);
  EXPECT_DOUBLE_EQ(reml.aic, 112.0) << "REML counts the covariance parameters only";
  EXPECT_TRUE(host::is_sysmis(reml.aicc)) << "REML: n - rank - 1 - d = 10 - 3 - 1 - 6 = 0 gives no AICC";
  EXPECT_NEAR(reml.bic, 100.0 + 6.0 * std::log(7.0), 1e-12) << "REML BIC uses n - rank X";
  EXPECT_NEAR(reml.caic, 100.0 + 6.0 * (std::log(7.0) + 1.0), 1e-12);
  const InformationCriteria ml = information_criteria(model::Method::ML, 3, 2, 10.0, 100.0);
  EXPECT_DOUBLE_EQ(ml.aic, 110.0) << "ML counts fixed and covariance parameters";
  EXPECT_DOUBLE_EQ(ml.aicc, 100.0 + 2.0 * (5.0 + 30.0 / 4.0));
  EXPECT_NEAR(ml.bic, 100.0 + 5.0 * std::log(10.0), 1e-12);
  EXPECT_TRUE(host::is_sysmis(information_criteria(model::Method::REML, 3, 1, 3.0, 50.0).bic)) << "n = 0: no BIC";

  model::Command cmd;

  data::GroupData group;

  estimate::Estimates est;
  cmd.method = model::Method::REML;
  est.fixed_rank = 3;
  est.n_cov_params = 6;
  group.n_observations = 10.0;
  est.m2ll = 100.0;
  const host::PivotTable t = information_criteria_table(cmd, group, est);
  EXPECT_DOUBLE_EQ(value(t, {"-2 Restricted Log Likelihood"}), 100.0);
  EXPECT_DOUBLE_EQ(value(t, {"Akaike IC"}), 112.0) << "AIC is shown when AICC is not";
  const host::Cell* aicc = cell(t, {"Hurvich Tsai IC"});
  ASSERT_NE(aicc, nullptr);
  EXPECT_EQ(aicc->value.kind, CellValue::Kind::Missing) << "AICC cell system-missing";
}

TEST(FixedTables, DegreesOfFreedomDisplay) {
  EXPECT_EQ(df_value(12.0).format.kind, Format::Kind::Count) << "12 is shown as an integer";
  EXPECT_EQ(df_value(12.0 + 1e-10).format.kind, Format::Kind::Count) << "whole within the fuzz";
  EXPECT_EQ(df_value(11.99).format.kind, Format::Kind::GenStat) << "11.99 in the statistics format";
  EXPECT_EQ(df_value(0.0).format.kind, Format::Kind::GenStat) << "a whole df below 1 is not a count";
  EXPECT_EQ(df_value(host::SYSMIS).kind, CellValue::Kind::Missing);
}

TEST(FixedTables, ParameterEstimatesRedundantZeroVarianceAndInterval) {
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;
  // Parameter 1 is redundant (zero row and column); parameter 2 has C_kk = 0.
  with_fixed(group, est, 3, {4.0, 0.0, 0.0, 0.0, 0.0, 0.0}, {2.0, 0.0, 7.5});
  est.non_redundant.set(0);
  est.non_redundant.set(2);
  const std::vector<double> df = {12.0, 10.0};
  host::PivotTable t = fixed_estimates_table(cmd, group, est, df);
  const char* ci = "95 Confidence Interval";
  EXPECT_DOUBLE_EQ(value(t, {"b0", "B0"}), 2.0);
  EXPECT_DOUBLE_EQ(value(t, {"b0", "Standard Error"}), 2.0);
  EXPECT_DOUBLE_EQ(value(t, {"b0", "t Statistic"}), 1.0);
  EXPECT_NEAR(value(t, {"b0", "Significance"}), host::t_significance(1.0, 12.0), 1e-15);
  const double q = host::t_quantile(0.975, 12.0);
  EXPECT_NEAR(value(t, {"b0", "Lower Bound"}), 2.0 - 2.0 * q, 1e-12) << "b - t(0.975, df) se";
  EXPECT_NEAR(value(t, {"b0", "Upper Bound"}), 2.0 + 2.0 * q, 1e-12);
  ASSERT_NE(cell(t, {"b0", "Upper Bound"}), nullptr);
  EXPECT_EQ(t.dimensions()[1]
                .categories[t.dimensions()[1].categories[cell(t, {"b0", "Upper Bound"})->at[1]].parent]
                .label.json(),
            ci)
      << "the bounds stand in the CIN group";

  const host::Cell* red = cell(t, {"b1", "B0"});
  ASSERT_NE(red, nullptr);
  EXPECT_EQ(red->value.format.kind, Format::Kind::Count) << "a redundant estimate is the integer 0";
  EXPECT_TRUE(has_note(red, "Redundant parameter ..."));
  EXPECT_DOUBLE_EQ(value(t, {"b1", "Standard Error"}), 0.0);
  for (const char* col : {"Degrees of Freedom", "t Statistic", "Significance", "Lower Bound", "Upper Bound"})
    EXPECT_EQ(cell(t, {"b1", col})->value.kind, CellValue::Kind::Missing) << "redundant: " << col << " missing";

  EXPECT_DOUBLE_EQ(value(t, {"b2", "Degrees of Freedom"}), 10.0) << "df vector holds non-redundant ones only";
  EXPECT_EQ(cell(t, {"b2", "t Statistic"})->value.kind, CellValue::Kind::Missing) << "C_kk = 0: no t";
  EXPECT_EQ(cell(t, {"b2", "Significance"})->value.kind, CellValue::Kind::Missing) << "C_kk = 0: no significance";
  EXPECT_DOUBLE_EQ(value(t, {"b2", "Lower Bound"}), 7.5) << "C_kk = 0: bounds equal the estimate";
  EXPECT_DOUBLE_EQ(value(t, {"b2", "Upper Bound"}), 7.5);

  cmd.confidence_level = 90.0;
  cmd.confidence_text = "90";
  host::PivotTable t90 = fixed_estimates_table(cmd, group, est, df);
  EXPECT_NEAR(value(t90, {"b0", "Upper Bound"}), 2.0 + 2.0 * host::t_quantile(0.95, 12.0), 1e-12) << "CIN 90: t(0.95)";
}

TEST(FixedTables, CorrelationAndCovarianceOfRedundantParameters) {
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;
  with_fixed(group, est, 3, {4.0, 0.0, 0.0, 1.0, 0.0, 9.0}, {1.0, 0.0, 1.0});
  est.non_redundant.set(0);
  est.non_redundant.set(2);
  const host::PivotTable corr = fixed_correlation_table(group, est);
  EXPECT_DOUBLE_EQ(value(corr, {"b0", "b0"}), 1.0);
  EXPECT_EQ(cell(corr, {"b0", "b0"})->value.format.kind, Format::Kind::Count) << "diagonal 1 as an integer";
  EXPECT_NEAR(value(corr, {"b2", "b0"}), 1.0 / 6.0, 1e-15) << "C_ij / sqrt(C_ii C_jj)";
  for (const char* other : {"b0", "b1", "b2"}) {
    const host::Cell* c = cell(corr, {"b1", other});
    EXPECT_EQ(c->value.kind, CellValue::Kind::Missing) << "redundant row, column " << other;
    EXPECT_TRUE(has_note(c, "Redundant correlation ..."));
    EXPECT_TRUE(has_note(cell(corr, {other, "b1"}), "Redundant correlation ...")) << "redundant column";
  }
  const host::PivotTable cov = fixed_covariance_table(group, est);
  EXPECT_DOUBLE_EQ(value(cov, {"b2", "b0"}), 1.0);
  EXPECT_DOUBLE_EQ(value(cov, {"b2", "b2"}), 9.0);
  EXPECT_DOUBLE_EQ(value(cov, {"b1", "b2"}), 0.0);
  EXPECT_TRUE(has_note(cell(cov, {"b1", "b2"}), "Redundant covariance ..."));
}

TEST(CovarianceTables, BoundsByKind) {
  const double z = 1.959963984540054;
  const Bounds v0 = covariance_bounds(covstruct::Variance, 0.0, 0.3, z);
  EXPECT_DOUBLE_EQ(v0.lower, 0.0) << "a variance of 0: lower bound 0";
  EXPECT_TRUE(host::is_sysmis(v0.upper)) << "a variance of 0: no upper bound";
  const Bounds v = covariance_bounds(covstruct::StdDev, 4.0, 1.0, z);
  EXPECT_NEAR(v.lower, 4.0 * std::exp(-z / 4.0), 1e-13) << "variance: interval of log e, h = z se / e";
  EXPECT_NEAR(v.upper, 4.0 * std::exp(z / 4.0), 1e-13);
  const Bounds r1 = covariance_bounds(covstruct::Correlation, 1.0, 0.1, z);
  EXPECT_TRUE(host::is_sysmis(r1.lower)) << "a correlation of exactly 1: no lower bound";
  EXPECT_DOUBLE_EQ(r1.upper, 1.0);
  const Bounds rm1 = covariance_bounds(covstruct::Correlation, -1.0, 0.1, z);
  EXPECT_DOUBLE_EQ(rm1.lower, -1.0);
  EXPECT_TRUE(host::is_sysmis(rm1.upper));
  EXPECT_TRUE(host::is_sysmis(covariance_bounds(covstruct::Correlation, 1.2, 0.1, z).lower)) << "|e| > 1: no bounds";
  const Bounds r = covariance_bounds(covstruct::Correlation, 0.5, 0.1, z);
  EXPECT_NEAR(r.lower, std::tanh(std::atanh(0.5) - z * 0.1 / 0.75), 1e-14) << "Fisher z interval";
  EXPECT_NEAR(r.upper, std::tanh(std::atanh(0.5) + z * 0.1 / 0.75), 1e-14);
  const Bounds c = covariance_bounds(covstruct::Covariance, -3.0, 0.5, z);
  EXPECT_DOUBLE_EQ(c.lower, -3.0 - z * 0.5);
  EXPECT_DOUBLE_EQ(c.upper, -3.0 + z * 0.5);
  const Bounds s0 = covariance_bounds(covstruct::Variance, 2.0, 0.0, z);
  EXPECT_DOUBLE_EQ(s0.lower, 2.0) << "se 0: both bounds equal the estimate";
  EXPECT_DOUBLE_EQ(s0.upper, 2.0);
  const Bounds tiny = covariance_bounds(covstruct::Variance, 1e-300, 1.0, z);
  EXPECT_DOUBLE_EQ(tiny.lower, 0.0) << "exp below its range gives 0";
  EXPECT_TRUE(host::is_sysmis(tiny.upper)) << "exp above its range gives missing";
  const Bounds edge = covariance_bounds(covstruct::Correlation, 0.999999, 1e6, z);
  EXPECT_DOUBLE_EQ(edge.lower, -1.0);
  EXPECT_DOUBLE_EQ(edge.upper, 1.0);
}

// A residual-only model: one variance e with variance w of its estimate.
void residual_only(estimate::Estimates& est, double e, double w, bool kept) {
  est.n_cov_params = 1;
  est.cov_params_reported = {e};
  est.cov_param_covariance_reported = {w};
  est.cov_params_kept.resize(1);
  est.cov_params_kept.set(0, kept);
  est.covpar_labels = {Text::key("Residual")};
  est.dependent_note = Text::key("Dep variable is ^1").arg(Text::variable("y"));
}

TEST(CovarianceTables, EstimatesWaldAndConfidenceLevel) {
  for (const auto& [cin, text, z] : {std::tuple{90.0, "90", 1.644854}, std::tuple{99.0, "99", 2.575829}}) {
    model::Command cmd;
    data::GroupData group;
    estimate::Estimates est;
    residual_only(est, 4.0, 0.25, true);
    cmd.confidence_level = cin;
    cmd.confidence_text = text;
    const host::PivotTable t = covariance_estimates(cmd, group, est, true);
    const double lower = value(t, {"Residual", "Lower Bound"});
    EXPECT_NEAR(-std::log(lower / 4.0) * 4.0 / 0.5, z, 1e-6) << "normal quantile of CIN " << text;
    EXPECT_DOUBLE_EQ(value(t, {"Residual", "Covpar Wald Statistic"}), 8.0) << "Wald Z = e / se";
    EXPECT_NEAR(value(t, {"Residual", "Covpar Wald Significance"}), 2.0 * host::normal_upper_tail(8.0), 1e-20);
  }
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;
  residual_only(est, -1.0, 0.25, true);
  const host::PivotTable out = covariance_estimates(cmd, group, est, false);
  EXPECT_TRUE(has_note(cell(out, {"Residual", "Covpar Estimate"}), "Covpar out of range"))
      << "a negative variance is out of range";
  EXPECT_EQ(cell(out, {"Residual", "Covpar Wald Statistic"}), nullptr) << "without TESTCOV no Wald column";

  model::Command r_cmd;

  data::GroupData r_group;

  estimate::Estimates r_est;
  residual_only(r_est, 0.0, 0.0, false);
  EXPECT_TRUE(has_note(cell(covariance_estimates(r_cmd, r_group, r_est, false), {"Residual", "Covpar Estimate"}),
                       "Redundant Covpar, no testcov"));
  const host::PivotTable red = covariance_estimates(r_cmd, r_group, r_est, true);
  EXPECT_TRUE(has_note(cell(red, {"Residual", "Covpar Estimate"}), "Redundant Covpar"));
  EXPECT_DOUBLE_EQ(value(red, {"Residual", "Covpar Standard Error"}), 0.0) << "zero variance: se 0";
  EXPECT_EQ(cell(red, {"Residual", "Covpar Wald Statistic"})->value.kind, CellValue::Kind::Missing);
  EXPECT_EQ(cell(red, {"Residual", "Lower Bound"})->value.kind, CellValue::Kind::Missing)
      << "a redundant parameter has no bounds";
  const host::PivotTable corr = covariance_correlations(r_cmd, r_group, r_est);
  EXPECT_TRUE(has_note(cell(corr, {"Residual", "Residual"}), "Covpar 0 variance no correlation ..."))
      << "a zero variance has no correlation";
}

}  // namespace
}  // namespace mixed::inference
