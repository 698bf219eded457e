// Running a command file: its commands one after another against the data set
// the engine holds, every message going to the engine's output document.
#pragma once

#include <string_view>

#include "host/engine.h"

namespace mixed::app {

// Splits `command_text` into commands and runs each MIXED command in turn.
// Problems found while splitting are reported first; when any of them is an
// error no command runs. Another command name is an error and is skipped; an
// interrupt stops the run after the command it came in.
void run_command_file(std::string_view command_text, host::Engine& engine);

}  // namespace mixed::app
