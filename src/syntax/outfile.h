// OUTFILE: the file that receives the fixed part of the model as a PMML
// document, FXMODEL or FXPARAMETER (outfile_kind), with its path
// in outfile_path.
#pragma once

#include <string>
#include <string_view>

#include "host/engine.h"
#include "host/tokens.h"
#include "model/command.h"

namespace mixed::syntax {

// Parses one OUTFILE subcommand: FXMODEL('file') or FXPARAMETER('file').
// Messages 114 to 118 (class 3, severity 3) and "Invalid file specification
// ^1 ..." (class 2, severity 3) end the subcommand; returns true after one.
// Each OUTFILE replaces the file of an earlier one.
bool parse_outfile(host::TokenStream& ts, model::Command& cmd, host::Engine& e);

// The file name `name` expanded (a leading "~/" becomes the
// home directory).  `valid` tells whether it names a file that can be created:
// not empty, not a directory, in a directory that exists.
std::string expand_file_name(std::string_view name, bool& valid);

}  // namespace mixed::syntax
