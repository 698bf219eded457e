// The new variables of SAVE: after the last split group, write_saved_variables
// creates one variable per SAVE keyword in the active data set and fills it
// from the scratch file "mixprd__" that inference::compute_saved_values wrote
// group by group (one record per case, n_saved values in SAVE keyword order).
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "host/dataset.h"
#include "host/engine.h"
#include "host/workfile.h"
#include "model/command.h"

namespace mixed::data {

// The scratch files of SAVE, open for the whole command when SAVE is given:
// `cases` ("mixcas__") holds every case's classification cells, dependent
// variable and covariates, as the case pass writes them; `values` ("mixprd__")
// the saved values of every case, as inference::compute_saved_values writes them.
struct SaveFiles {
  std::unique_ptr<host::WorkFile> cases;
  std::unique_ptr<host::WorkFile> values;
};

// Creates one variable per SAVE keyword at the end of the dictionary, fills
// it from "mixprd__" (system-missing for the cases after the last analysed
// group) and lists the new variables in the notes "Variables Created".
// Errors: 83 (no new name can be made; nothing is created), 70 ("mixprd__"
// holds more records than the data set has cases, or cannot be read).
void write_saved_variables(const model::Command& cmd, data::SaveFiles& save_files, host::Engine& e);

// unused_variable_name: a new variable name made from `root`: root_1, root_2, ... the first
// that is neither a variable of `data` nor one of `taken` (compared without
// regard to case); nothing when the name would not be a valid variable name
// (longer than 64 bytes).
std::optional<std::string> unused_variable_name(const host::Dataset& data, std::string_view root,
                                                std::span<const std::string> taken);

// The default root name of a saved variable ("FXPRED", "PRED", "RESID",
// "SEFIXP", "SEPRED", "DFFIXP", "DFPRED") and the number of its label text.
std::string_view save_root_name(model::SaveCode keyword);
int save_label_number(model::SaveCode keyword);

// The print format of a saved variable: the dependent variable's format with
// its width + 3 (at most 40) and decimals + 2 (at most 16) for the predicted
// values, residuals and standard errors; F8.2 for the degrees of freedom.
host::PrintFormat save_format(model::SaveCode code, const host::PrintFormat& dependent);

}  // namespace mixed::data
