#include "driver/settings.h"

#include "host/workfile.h"

namespace mixed::driver {

MixSettings::MixSettings() = default;
MixSettings::~MixSettings() = default;

void MixSettings::reset_group() {
  workfile.reset();
  nrecln = 0;
  ncases = 0;
  tnobs = 0.0;
  qfrcwt = false;
  max_case_weight = 0.0;
  levels.clear();
  factor_levels.clear();
  nclkey = 0;
  nrpsbj = 0;
  nrplev = 0;
  nsbkey = 0;
  nsubj = 0;
  subject_counts.clear();
  repeated_level_table.clear();
  repeated_level_map.clear();
  fdmncl = 0;
  nrncol = 0;
  fx_ncol.clear();
  fx_fcol.clear();
  fx_cell.clear();
  rn_ncol.clear();
  rn_fcol.clear();
  rn_cell.clear();
  blocks.clear();
  nz = 0;
  iterations = 0;
  evaluations = 0;
  ncovpr = ncovp1 = ncovp2 = 0;
  nfxrnk = 0;
  m2ll = 0.0;
  itstat = 0;
  ldetv = rquad = ldetx = lwsum = 0.0;
  CovPar.clear();
  CovParRep.clear();
  CovParCov.clear();
  CovParCovRep.clear();
  CovParKept = host::BitSet();
  FixedCov.clear();
  NonRedSet = host::BitSet();
  LRowSet = host::BitSet();
  estimable_basis.clear();
  hypotheses.clear();
  covariate_means.clear();
  fit.reset();
  depnot = host::Text();
  wgtnot = host::Text();
  param_labels.clear();
  covpar_labels.clear();
  block_labels.clear();
  term_numdf.clear();
  term_dendf.clear();
  term_f.clear();
  param_df.clear();
}

}  // namespace mixed::driver
