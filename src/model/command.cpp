#include "model/command.h"

#include "host/workfile.h"

namespace mixed::model {

MixSettings::MixSettings() = default;
MixSettings::~MixSettings() = default;

void MixSettings::reset_group() {
  workfile.reset();
  record_length = 0;
  ncases = 0;
  n_observations = 0.0;
  fractional_weights = false;
  max_case_weight = 0.0;
  levels.clear();
  factor_levels.clear();
  class_key_length = 0;
  n_repeated_subjects = 0;
  n_repeated_levels = 0;
  subject_key_length = 0;
  n_subjects = 0;
  subject_counts.clear();
  repeated_level_table.clear();
  repeated_level_map.clear();
  n_fixed_columns = 0;
  n_random_columns = 0;
  fx_ncol.clear();
  fx_fcol.clear();
  fx_cell.clear();
  rn_ncol.clear();
  rn_fcol.clear();
  rn_cell.clear();
  blocks.clear();
  n_random_design_columns = 0;
  iterations = 0;
  evaluations = 0;
  n_cov_params = n_random_cov_params = n_residual_cov_params = 0;
  fixed_rank = 0;
  m2ll = 0.0;
  iteration_status = 0;
  ldetv = rquad = ldetx = lwsum = 0.0;
  cov_params.clear();
  cov_params_reported.clear();
  cov_param_covariance.clear();
  cov_param_covariance_reported.clear();
  cov_params_kept = host::BitSet();
  fixed_covariance.clear();
  non_redundant = host::BitSet();
  l_row_columns = host::BitSet();
  estimable_basis.clear();
  hypotheses.clear();
  covariate_means.clear();
  fit.reset();
  dependent_note = host::Text();
  weight_note = host::Text();
  param_labels.clear();
  covpar_labels.clear();
  block_labels.clear();
  term_numdf.clear();
  term_dendf.clear();
  term_f.clear();
  param_df.clear();
}

}  // namespace mixed::model
