// METHOD, MISSING, PRINT and REGWGT: subcommands of keywords that set one or a
// few settings.  Each parser starts at the first token after the subcommand
// name (and equals sign), resets its settings to their defaults (so the last
// occurrence wins), leaves the stream at the end of the subcommand, and
// returns true after an error (class 3, severity 3).
#pragma once

#include "host/engine.h"
#include "host/tokens.h"
#include "model/command.h"

namespace mixed::syntax {

// METHOD = ML | REML (method 1 or 2, REML by default); the same method may be
// written again, anything else gives 14.
bool parse_method(host::TokenStream& ts, model::Command& cmd, host::Engine& e);

// MISSING = EXCLUDE | INCLUDE (include_user_missing false or true), with the rule of METHOD
// and message 13.
bool parse_missing(host::TokenStream& ts, model::Command& cmd, host::Engine& e);

// PRINT keywords CORB COVB CPS DESCRIPTIVES G HISTORY[(n)] LMATRIX R SOLUTION
// TESTCOV set their flags; HISTORY(n) needs a whole n >= 1 (29); any other
// keyword gives 28.  The Wald tests of the covariance parameters are printed
// in the parameter-estimate output, so TESTCOV without SOLUTION is an error
// (82), raised once the subcommand has been read.
bool parse_print(host::TokenStream& ts, model::Command& cmd, host::Engine& e);

// REGWGT = variable: a numeric variable of the data set (12 not a variable
// name or more than one token, 11 not found, 10 a string variable).
bool parse_regwgt(host::TokenStream& ts, model::Command& cmd, host::Engine& e);

}  // namespace mixed::syntax
