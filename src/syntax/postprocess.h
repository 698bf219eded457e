// What follows once the last subcommand has been read: the notes entries of
// the missing-value handling, the display formats of the likelihood and of
// values at PCONVERGE precision, the derived settings (scoring_steps, include_user_missing, print_descriptives,
// composition), the classification variables and the effect labels.
#pragma once

#include "host/engine.h"
#include "model/command.h"

namespace mixed::syntax {

// Completes the settings of a command that parsed without error:
// - a notes item "Missing Value Handling" with "Definition of Missing" and
//   "Cases Used";
// - likelihood_format from the significant decimals of the smaller positive of HCONVERGE
//   and LCONVERGE (else the general statistic format), parameter_format from PCONVERGE
//   when positive (else the coefficient format);
// - scoring_steps 0 when the model has no random effect and an identity residual;
// - classvars: the RANDOM subject variables (common ones first), the REPEATED
//   subjects, the REPEATED variables and the factors, without duplicates, each
//   with its string width and its places in those lists;
// - include_user_missing true when MISSING is EXCLUDE but none of the analysis variables has
//   user-missing values;
// - DESCRIPTIVES dropped with warning 68 or 69 when its table would have more
//   than 20 dimensions, else a warning naming split variables that are also
//   classification variables;
// - fixed_effect_names and random_block_names;
// - composition and the warning "Null model fitted ..." for
//   a model with nothing to estimate but the residual.
void postprocess_syntax(model::Command& cmd, host::Engine& e);

}  // namespace mixed::syntax
