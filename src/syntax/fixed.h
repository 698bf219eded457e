// FIXED: the fixed effects of the model.  The fixed EffectTable (Command::
// fixed, n_fixed_effects rows of n_factors + n_covariates cells) holds, when the model has an
// intercept, the all-zero intercept row first and then the written effects in
// their written order.  FIXED is read before every other subcommand, wherever
// it stands, so that its errors come first.
#pragma once

#include "host/engine.h"
#include "host/tokens.h"
#include "model/command.h"

namespace mixed::syntax {

// parse_fixed: finds the FIXED subcommands of the command (from the current token
// on) and parses the last non-empty one; an empty FIXED warns 7 and a second
// non-empty one 8.  Without FIXED the model is the intercept alone (n_fixed_effects 1,
// fixed_kind 3).  Sets fixed, has_intercept, sstype and fixed_kind (4 factors and
// covariates, 2 factors only, 1 covariates only, 3 neither).  Returns -1 when
// the command has no FIXED, 0 when FIXED was parsed, 1 after an error; leaves
// the stream where it found it.
int parse_fixed(host::TokenStream& ts, model::Command& cmd, host::Engine& e);

}  // namespace mixed::syntax
