// The results of fitting one split group: the covariance parameters and their
// asymptotic covariance, the fixed-effect covariance C = (X'V⁻¹X)⁻ with the
// estimates in its last row, -2LL and its parts, the Type I/III hypothesis
// matrices, the labels of parameters, and the per-subject blocks (Fit) that the
// post-estimation stages read.  Estimation fills a fresh Estimates for every
// group; every later stage receives it read-only.
#pragma once

#include <memory>
#include <vector>

#include "host/bitset.h"
#include "host/text.h"

namespace mixed::estimate {

struct Fit;  // the per-subject blocks (estimate/fit.h)

// The hypothesis matrix of one fixed term (Type I or Type III).
struct TermHypothesis {
  int df = 0;             // numerator df: rows of L
  std::vector<double> L;  // df rows of n_fixed_columns reals
};

struct Estimates {
  long long n_random_design_columns = 0;
  int iterations = 0;    // iterations of the fit
  long evaluations = 0;  // likelihood evaluations of the fit
  int n_cov_params = 0, n_random_cov_params = 0, n_residual_cov_params = 0;
  int fixed_rank = 0;
  double m2ll = 0.0;
  int iteration_status = 0;
  double ldetv = 0.0, rquad = 0.0, ldetx = 0.0, lwsum = 0.0;
  std::vector<double> cov_params, cov_params_reported;
  std::vector<double> cov_param_covariance, cov_param_covariance_reported;  // packed, order n_cov_params
  host::BitSet cov_params_kept;
  std::vector<double> fixed_covariance;    // packed, order n_fixed_columns + 1
  host::BitSet non_redundant;              // the fixed columns that are not redundant
  host::BitSet l_row_columns;              // the fixed columns that yield rows of L
  std::vector<double> estimable_basis;     // fixed_rank rows of n_fixed_columns reals
  std::vector<TermHypothesis> hypotheses;  // per fixed term
  std::vector<double> covariate_means;     // per covariate (first pass)
  std::shared_ptr<Fit> fit;                // per-subject blocks for the later stages

  // Labels made before estimation.
  host::Text dependent_note;
  host::Text weight_note;                // empty when no REGWGT
  std::vector<host::Text> param_labels;  // fixed columns, then random columns
  std::vector<host::Text> covpar_labels;
  std::vector<host::Text> block_labels;  // per random block
};

}  // namespace mixed::estimate
