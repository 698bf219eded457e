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
int test_terms(model::MixSettings& s, host::Engine& e, std::span<const double> products) {
  const int nterms = s.n_fixed_effects();
  s.term_numdf.assign(static_cast<std::size_t>(nterms), 0);
  s.term_dendf.assign(static_cast<std::size_t>(nterms), host::SYSMIS);
  s.term_f.assign(static_cast<std::size_t>(nterms), host::SYSMIS);
  LTestOptions options;
  options.f_test = true;
  options.derivative_products = products;
  int status = 0;
  for (int t = 0; t < nterms && static_cast<std::size_t>(t) < s.hypotheses.size(); ++t) {
    const model::TermHypothesis& h = s.hypotheses[t];
    if (h.df < 1) continue;
    const LTestResult r = l_matrix_test(s, e.scratch, h.df, h.L, options);
    status = r.status;
    s.term_numdf[t] = r.rank;
    s.term_dendf[t] = r.dendf;
    s.term_f[t] = r.F;
  }
  return status;
}

// The Satterthwaite df of every non-redundant parameter's t test: the one-row
// L = e_k with L C L' = C_kk.
void parameter_df(model::MixSettings& s, std::span<const double> products, std::span<double> unit,
                  std::span<double> df) {
  const std::size_t p = static_cast<std::size_t>(s.n_fixed_columns);
  const double one = 1.0;
  std::size_t next = 0;
  for (std::size_t k = 0; k < p; ++k) {
    if (!s.non_redundant.test(k)) continue;
    const double ckk = s.fixed_covariance[host::tri(k, k)];
    unit[k] = 1.0;
    df[next++] = satterthwaite_df(s, 1, 1, false, unit, {&ckk, 1}, {&one, 1}, products);
    unit[k] = 0.0;
  }
}

// The tests of the fixed terms and, under PRINT SOLUTION, the df of the
// parameters; returns the status to report.
int fixed_results(model::MixSettings& s, host::Engine& e) {
  const std::size_t p = static_cast<std::size_t>(s.n_fixed_columns);
  s.param_df.clear();
  auto df = e.scratch.get<double>(kPool, s.non_redundant.count());
  auto unit = df ? e.scratch.get<double>(kPool, p) : std::nullopt;
  if (!unit) {
    if (df) e.scratch.free(kPool, *df);
    return kOutOfMemory;
  }
  const std::span<double> products = derivative_products_block(s, e.scratch);
  const int status = test_terms(s, e, products);
  if (status == 0 && s.print_solution) {
    parameter_df(s, products, *unit, *df);
    s.param_df.assign(df->begin(), df->end());
  }
  if (!products.empty()) e.scratch.free(kPool, products);
  e.scratch.free(kPool, *unit);
  e.scratch.free(kPool, *df);
  return status;
}

// The contrast coefficients of every term's hypothesis, numbered on across
// the terms from L1.
void estimable_functions(const model::MixSettings& s, host::Engine& e) {
  e.out.begin_heading(Text::key(s.sstype == 1 ? "Type I Estimable Functions" : "Type III Estimable Functions"));
  int k0 = 1;
  for (int t = 0; t < s.n_fixed_effects(); ++t) {
    const std::vector<double> none;
    const auto& L = static_cast<std::size_t>(t) < s.hypotheses.size() ? s.hypotheses[t].L : none;
    e.out.add(contrast_coefficients_table(s, s.fx_ncol[t], 0, L, k0, s.l_row_columns, s.fixed_effect_names[t], Text(), true));
    k0 += s.fx_ncol[t];
  }
  e.out.end_heading();
}

void fixed_effects(model::MixSettings& s, host::Engine& e) {
  const int status = fixed_results(s, e);
  report_status(e.out, status, host::Severity::Error);
  e.out.begin_heading(Text::key("Fixed Effects"));
  if (status == 0) e.out.add(fixed_tests_table(s));
  if (s.print_lmatrix) estimable_functions(s, e);
  if (status == 0 && s.print_solution) e.out.add(fixed_estimates_table(s, s.param_df));
  if (s.print_fixed_correlations) e.out.add(fixed_correlation_table(s));
  if (s.print_fixed_covariances) e.out.add(fixed_covariance_table(s));
  e.out.end_heading();
}

void covariance_part(model::MixSettings& s, host::Engine& e) {
  if (s.n_cov_params > 0) {
    e.out.begin_heading(Text::key("Covariance Parameters"));
    e.out.add(covariance_estimates(s, s.print_testcov));
    if (s.print_fixed_correlations) e.out.add(covariance_correlations(s));
    if (s.print_fixed_covariances) e.out.add(covariance_covariances(s));
    e.out.end_heading();
  }
  if (s.n_random_blocks > 0 && s.print_g) {
    const bool several = s.n_random_blocks > 1;
    if (several) e.out.begin_heading(Text::key("Random Effect Covariance Matrices ..."));
    for (std::size_t b = 0; b < s.blocks.size(); ++b) e.out.add(g_matrix(s, b));
    if (several) e.out.end_heading();
  }
  if (s.print_r) e.out.add(r_matrix(s, e));
}

}  // namespace

void post_estimation(model::MixSettings& s, host::Engine& e) {
  e.out.add(model_dimension_table(s, e));
  e.out.add(information_criteria_table(s));
  if (s.n_fixed_effects() >= 1) fixed_effects(s, e);
  covariance_part(s, e);
}

}  // namespace mixed::inference
