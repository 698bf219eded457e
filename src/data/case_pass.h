// The case pass: one pass over the cases of a split group that decides which
// cases enter the analysis, writes them to the group's work file, collects the
// levels of the classification variables and draws the Case Processing
// Summary.
//
// A case is valid when its fuzzy-rounded case weight is positive, its REGWGT
// value is present and positive, and neither its dependent variable, nor a
// covariate, nor a classification variable is missing (user-missing values
// count as missing under MISSING EXCLUDE only).  Valid cases are written to a
// new GroupData::workfile in the case layout of data/record.h.  The pass
// sets record_length, ncases, n_observations, fractional_weights, max_case_weight, levels (per
// classification variable its sorted levels with their summed case weights:
// numbers ascending, strings in byte order with trailing blanks removed) and
// factor_levels.  When SAVE was given (SaveFiles::cases open) every case,
// valid or not, is appended to "mixcas__" as the classification cells, the
// dependent variable and the covariates of its record.
#pragma once

#include "data/group.h"
#include "data/saved.h"
#include "host/engine.h"
#include "host/workfile.h"
#include "model/command.h"

namespace mixed::data {

// Reads the current split group (rows reader.begin() .. reader.end()), which
// the caller has started with reader.next_group().  Adds 1 to group_counter
// and sets the output's split.  `analysable` is set false when the group
// cannot be analysed: no valid cases (warning 1002, or error 66 when the group
// has no cases at all), case weights above 1 with a modelled REPEATED
// structure (warning 1009), a memory shortage (message 2) or an interrupt.
// The text of level `level` (0-based) of classification variable `classvar`:
// its value in the variable's print format with its value label.
host::Text level_text(const model::Command& cmd, const data::GroupData& group, const host::Dataset& data, int classvar,
                      std::size_t level);

void case_pass(const model::Command& cmd, data::GroupData& group, data::SaveFiles& save_files, host::Engine& e,
               host::CaseReader& reader, int& group_counter, bool& analysable);

}  // namespace mixed::data
