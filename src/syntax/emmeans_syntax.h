// EMMEANS syntax: parses one EMMEANS subcommand (estimated marginal means) into Command::emmeans.
#pragma once

#include "host/engine.h"
#include "host/tokens.h"
#include "model/command.h"

namespace mixed::syntax {

// parse_emmeans: entered at the first token after the word EMMEANS (and after an equals sign
// when one follows it); leaves the stream at the slash that ends the
// subcommand or at the end of the command.  Errors are issued through the
// message catalogue, after which the rest of the subcommand is skipped.
void parse_emmeans(host::TokenStream& ts, model::Command& cmd, host::Engine& e);

}  // namespace mixed::syntax
