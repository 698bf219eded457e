// run_mixed_command: the procedure's one entry point, run once per MIXED command.
//
// It opens the procedure in the output, reads the command into a
// model::Command, and analyses one split group after another: case pass, subject
// ordering, descriptive statistics, design columns, estimation, the
// post-estimation tables, custom tests, marginal means, saved values and the
// model file, testing the engine error flag after every stage.  An error ends
// the split loop; a group that cannot be analysed is skipped with its warning.
#pragma once

#include "host/engine.h"
#include "host/tokens.h"

namespace mixed::driver {

// Runs one MIXED command whose tokens (after the command name) are `tokens`.
void run_mixed_command(host::TokenStream& tokens, host::Engine& engine);

}  // namespace mixed::driver
