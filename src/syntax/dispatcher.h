// The MIXED command reader: the variable list, then FIXED and RANDOM wherever
// they stand, then the other subcommands in their written order, then the
// settings derived from the whole command.
#pragma once

#include "host/engine.h"
#include "host/tokens.h"
#include "model/command.h"

namespace mixed::syntax {

// Reads one MIXED command (the tokens after its name) into `s`.  Subcommand
// names may be abbreviated to three or more letters and may be followed by an
// equals sign; an empty subcommand warns 7 and is ignored; a repeated
// CRITERIA, METHOD, MISSING, PRINT, REGWGT, REPEATED or SAVE warns 8 and the
// last one wins, while TEST, EMMEANS and OUTFILE may repeat; an unknown
// subcommand is error 6.  Reading stops at the first error (the engine error
// flag); a command read without error is completed by postprocess_syntax.
void parse_command(host::TokenStream& ts, model::Command& cmd, host::Engine& e);

}  // namespace mixed::syntax
