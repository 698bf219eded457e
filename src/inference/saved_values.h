// The saved values of SAVE: compute_saved_values computes, for every case of an analysed
// split group (also the cases that did not enter the fit), the fixed and full
// predicted values, the residual, their standard errors and Satterthwaite df,
// and keeps them in the scratch file "mixprd__"; after the last group
// data::write_saved_variables creates the new variables and fills them.
//
// For a case with fixed row x (over the n_fixed_columns design columns) and random row z
// (over its subject's q random columns, estimate::Fit), with β̂ and
// C = (X'V⁻¹X)⁻ from fixed_covariance and, for the case's subject i, the predicted
// random effects û_i, Y_i = Z_i'V_i⁻¹X_i and S_i = Z_i'V_i⁻¹Z_i:
//
//   FIXPRED = x'β̂,                PRED = x'β̂ + z'û_i,      RESID = y - PRED
//   Var(FIXPRED) = x'Cx
//   Var(PRED - x'β - z'u_i) = z'(G - G S_i G) z + a'C a,   a = x - Y_i'G z
//
// The second is the prediction-error variance from Cov(β̂, û_i - u_i) =
// -C Y_i'G and Var(û_i - u_i) = G - G S_i G + G Y_i C Y_i'G.  A case whose
// subject has no valid case in the fit is a new subject: û = 0, Y = S = 0.
// DFFIXP and DFPRED are Satterthwaite's 2v²/(g'Wg), g the gradient of the
// variance v with respect to the covariance parameters and W their asymptotic
// covariance matrix (cov_param_covariance); system-missing when g'Wg ≤ 0.  Every value is
// system-missing for a case with a classification value that is not among the
// group's levels or a factor combination that is not a fixed design column;
// the values that involve z are missing when the case's random cells are not
// design columns; RESID is missing when y is missing (user-missing values
// count under MISSING EXCLUDE), and a missing covariate makes every value
// that uses it missing.
//
// Storage.  The case pass appends every case of the data, group after group,
// to "mixcas__" (SaveFiles::cases).  compute_saved_values consumes the records there:
// after it, "mixprd__" (SaveFiles::values, n_saved values per record, SAVE
// keyword order) holds one record per case of the data read so far, the
// cases of the groups that were not analysed holding system-missing values,
// and "mixcas__" is emptied.  write_saved_variables reads "mixprd__" once.
#pragma once

#include "data/group.h"
#include "data/saved.h"
#include "estimate/estimates.h"
#include "host/engine.h"
#include "model/command.h"

namespace mixed::inference {

// The saved values of the current split group (its cases are the last records
// of "mixcas__").  `group_counter` is the number of the group; the group's
// cases are matched to the records by position.  Errors: 5 (writing
// "mixprd__"), 70 (reading "mixcas__").
void compute_saved_values(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
                          data::SaveFiles& save_files, host::Engine& e, int group_counter);

}  // namespace mixed::inference
