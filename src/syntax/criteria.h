// CRITERIA: the settings of the iterations.  CIN (confidence level in percent,
// 0 <= value < 100), HCONVERGE, LCONVERGE and PCONVERGE (a value >= 0 and the
// type ABSOLUTE or RELATIVE, in either order), MXITER (whole >= 0), MXSTEP
// (whole >= 1), SCORING (whole >= 0), SINGULAR (> 0) and SUBJECTS(GROUPED).
#pragma once

#include "host/engine.h"
#include "host/tokens.h"
#include "model/command.h"

namespace mixed::syntax {

// Parses one CRITERIA subcommand from its first keyword.  Every CRITERIA
// setting returns to its default first, so a repeated CRITERIA replaces the
// earlier one as a whole.  Messages 17 to 27, 78 and 79 (class 3, severity 3)
// end the subcommand; returns true after one.
bool parse_criteria(host::TokenStream& ts, model::Command& cmd, host::Engine& e);

}  // namespace mixed::syntax
