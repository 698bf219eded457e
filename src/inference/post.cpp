#include "inference/post.h"

#include "host/packed.h"
#include "inference/covariance_tables.h"
#include "inference/fixed_tables.h"
#include "inference/ltest.h"
#include "inference/model_tables.h"
#include "inference/satterthwaite.h"

namespace mixed::inference {

using host::Text;

namespace {

// The F test of every fixed term on its hypothesis matrix; returns the status
// of the last test made.
int test_terms(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
               FixedEffectTests& fixed_tests, host::Engine& e, std::span<const double> products) {
  const int nterms = cmd.n_fixed_effects();
  fixed_tests.term_numdf.assign(static_cast<std::size_t>(nterms), 0);
  fixed_tests.term_dendf.assign(static_cast<std::size_t>(nterms), host::SYSMIS);
  fixed_tests.term_f.assign(static_cast<std::size_t>(nterms), host::SYSMIS);
  LTestOptions options;
  options.f_test = true;
  options.derivative_products = products;
  int status = 0;
  for (int t = 0; t < nterms && static_cast<std::size_t>(t) < est.hypotheses.size(); ++t) {
    const estimate::TermHypothesis& h = est.hypotheses[t];
    if (h.df < 1) continue;
    const LTestResult r = l_matrix_test(group, est, e.scratch, h.df, h.L, options);
    status = r.status;
    fixed_tests.term_numdf[t] = r.rank;
    fixed_tests.term_dendf[t] = r.dendf;
    fixed_tests.term_f[t] = r.F;
  }
  return status;
}

// The Satterthwaite df of every non-redundant parameter's t test: the one-row
// L = e_k with L C L' = C_kk.
void parameter_df(const data::GroupData& group, const estimate::Estimates& est, std::span<const double> products,
                  std::span<double> unit, std::span<double> df) {
  const std::size_t p = static_cast<std::size_t>(group.n_fixed_columns);
  const double one = 1.0;
  std::size_t next = 0;
  for (std::size_t k = 0; k < p; ++k) {
    if (!est.non_redundant.test(k)) continue;
    const double ckk = est.fixed_covariance[host::tri(k, k)];
    unit[k] = 1.0;
    df[next++] = satterthwaite_df(group, est, 1, 1, false, unit, {&ckk, 1}, {&one, 1}, products);
    unit[k] = 0.0;
  }
}

// The tests of the fixed terms and, under PRINT SOLUTION, the df of the
// parameters; returns the status to report.
int fixed_results(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
                  FixedEffectTests& fixed_tests, host::Engine& e) {
  const std::size_t p = static_cast<std::size_t>(group.n_fixed_columns);
  fixed_tests.param_df.clear();
  auto df = e.scratch.get<double>(kPool, est.non_redundant.count());
  auto unit = df ? e.scratch.get<double>(kPool, p) : std::nullopt;
  if (!unit) {
    if (df) e.scratch.free(kPool, *df);
    return kOutOfMemory;
  }
  const std::span<double> products = derivative_products_block(group, est, e.scratch);
  const int status = test_terms(cmd, group, est, fixed_tests, e, products);
  if (status == 0 && cmd.print_solution) {
    parameter_df(group, est, products, *unit, *df);
    fixed_tests.param_df.assign(df->begin(), df->end());
  }
  if (!products.empty()) e.scratch.free(kPool, products);
  e.scratch.free(kPool, *unit);
  e.scratch.free(kPool, *df);
  return status;
}

// The contrast coefficients of every term's hypothesis, numbered on across
// the terms from L1.
void estimable_functions(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
                         host::Engine& e) {
  e.out.begin_heading(Text::key(cmd.sstype == model::SumOfSquares::TypeI ? "Type I Estimable Functions"
                                                                         : "Type III Estimable Functions"));
  int k0 = 1;
  for (int t = 0; t < cmd.n_fixed_effects(); ++t) {
    const std::vector<double> none;
    const auto& L = static_cast<std::size_t>(t) < est.hypotheses.size() ? est.hypotheses[t].L : none;
    e.out.add(contrast_coefficients_table(group, est, group.fx_ncol[t], 0, L, k0, est.l_row_columns,
                                          cmd.fixed_effect_names[t], Text(), true));
    k0 += group.fx_ncol[t];
  }
  e.out.end_heading();
}

void fixed_effects(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
                   FixedEffectTests& fixed_tests, host::Engine& e) {
  const int status = fixed_results(cmd, group, est, fixed_tests, e);
  report_status(e.out, status, host::Severity::Error);
  e.out.begin_heading(Text::key("Fixed Effects"));
  if (status == 0) e.out.add(fixed_tests_table(cmd, est, fixed_tests));
  if (cmd.print_lmatrix) estimable_functions(cmd, group, est, e);
  if (status == 0 && cmd.print_solution) e.out.add(fixed_estimates_table(cmd, group, est, fixed_tests.param_df));
  if (cmd.print_fixed_correlations) e.out.add(fixed_correlation_table(group, est));
  if (cmd.print_fixed_covariances) e.out.add(fixed_covariance_table(group, est));
  e.out.end_heading();
}

void covariance_part(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
                     host::Engine& e) {
  if (est.n_cov_params > 0) {
    e.out.begin_heading(Text::key("Covariance Parameters"));
    e.out.add(covariance_estimates(cmd, group, est, cmd.print_testcov));
    if (cmd.print_fixed_correlations) e.out.add(covariance_correlations(cmd, group, est));
    if (cmd.print_fixed_covariances) e.out.add(covariance_covariances(cmd, group, est));
    e.out.end_heading();
  }
  if (cmd.n_random_blocks > 0 && cmd.print_g) {
    const bool several = cmd.n_random_blocks > 1;
    if (several) e.out.begin_heading(Text::key("Random Effect Covariance Matrices ..."));
    for (std::size_t b = 0; b < group.blocks.size(); ++b) e.out.add(g_matrix(group, est, b));
    if (several) e.out.end_heading();
  }
  if (cmd.print_r) e.out.add(r_matrix(cmd, group, est, e));
}

}  // namespace

FixedEffectTests post_estimation(const model::Command& cmd, const data::GroupData& group,
                                 const estimate::Estimates& est, host::Engine& e) {
  FixedEffectTests fixed_tests;
  e.out.add(model_dimension_table(cmd, group, est, e));
  e.out.add(information_criteria_table(cmd, group, est));
  if (cmd.n_fixed_effects() >= 1) fixed_effects(cmd, group, est, fixed_tests, e);
  covariance_part(cmd, group, est, e);
  return fixed_tests;
}

}  // namespace mixed::inference
