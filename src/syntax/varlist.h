// The variable list that opens the MIXED command: the dependent variable, then
// optionally BY and the factors and WITH and the covariates, in either order.
// It fills dependent, factors and covariates of the Command (dictionary indices,
// duplicates dropped, in the order written); effect rows name their variables
// by place in the factor and covariate lists.
#pragma once

#include "host/engine.h"
#include "host/tokens.h"
#include "model/command.h"

namespace mixed::syntax {

// Reads the variable list from the current token up to the first slash or the
// end of the command.  Duplicated variables are dropped with a warning; a
// second dependent variable (15), a string dependent variable or covariate, a
// repeated BY (72) or WITH (73), a misplaced symbol (16), an undefined
// variable, and a variable in two roles are errors.  Returns true after an
// error, with the stream at the first slash or the end.
bool read_variable_list(host::TokenStream& ts, model::Command& cmd, host::Engine& e);

}  // namespace mixed::syntax
