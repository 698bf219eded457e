// The fixed part of the fitted model as a PMML 4.1 document (OUTFILE
// FXPARAMETER: the estimates; FXMODEL: the estimates and their covariance
// matrix), written atomically to the file specification of the command.
//
// The document is a GeneralRegressionModel (modelType "generalLinear",
// algorithmName "mixedLinear") over the fixed design columns P1..Pp:
//   DataDictionary   the dependent variable, the factors (classification-table
//                    order, with their sorted levels and value labels) and the
//                    covariates, each with its print format (Extensions
//                    "format" = the type letter F or A, "width", "decimals")
//                    and, under MISSING EXCLUDE, its user-missing values (a
//                    range as Extensions "invalidRangeLower"/"invalidRangeUpper",
//                    discrete values as Values with property "missing");
//   Extensions       -2LL, AIC, AICC, CAIC and BIC of the fit;
//   PPMatrix         the level of every factor and the power of every
//                    covariate in each column's effect;
//   PCovMatrix       (FXMODEL) the lower triangle of Cov(b), zero in the rows
//                    and columns of redundant parameters;
//   ParamMatrix      b_k with df 1, or 0 with df 0 for a redundant column.
// Every vendor Extension carries extender="mixed".  Numbers, numeric levels
// included, are written in their shortest round-trip form, so that levels a
// print format would show alike stay distinct; the system-missing value as
// "NaN", the infinities as "INF" and "-INF".  Texts from the data that are not
// UTF-8, or hold control characters XML forbids, have those bytes replaced by
// U+FFFD, so the document is always well-formed.  A model without fixed
// columns has no PCovMatrix (the schema wants at least one cell in it).
//
// Reads the command, the group and the estimates (levels, design columns, fixed_covariance,
// non_redundant, param_labels, m2ll, n_observations, fixed_rank, n_cov_params, method, include_user_missing) and the
// dictionary; changes nothing in them.
#pragma once

#include <string>

#include "data/group.h"
#include "estimate/estimates.h"
#include "host/engine.h"
#include "model/command.h"

namespace mixed::pmml {

// The vendor name in the "extender" attribute of every Extension written.
inline constexpr const char* kExtender = "mixed";

// The PMML document of the fitted fixed part, as XML text; `kind` is outfile_kind
// (1 FXPARAMETER, 2 FXMODEL).
std::string pmml_document(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
                          const host::Engine& e, model::OutfileKind kind);

// Writes pmml_document(cmd, group, est, e, cmd.outfile_kind) to cmd.outfile_path and adds the notes item
// "File Saved"; a file that cannot be written is the error "Cannot write the
// model file ^1: ^2 ..." (^1 the file, ^2 the reason), and no notes item.
void write_pmml(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
                host::Engine& e);

}  // namespace mixed::pmml
