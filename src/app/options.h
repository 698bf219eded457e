// The command line of `mixed`: what a run reads, what it writes and how.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace mixed::app {

// The program's version, the one in the project() line of CMakeLists.txt.
inline constexpr const char* kVersion = MIXED_VERSION;

struct Options {
  std::string commands_path;  // the file of MIXED commands
  std::string data_path;      // the CSV data set
  std::string dict_path;      // the dictionary; empty: NAME.dict.json beside NAME.csv if present
  std::string weight;         // the case-weight variable, or empty
  std::string split;          // the split variables as given: names separated by commas or blanks
  std::string json_path;      // each of these four: write that output there, or empty
  std::string html_path;
  std::string text_path;
  std::string save_path;
  std::size_t workspace_bytes = 0;  // the procedure's memory budget
  bool quiet = false;               // no text report on standard output
  bool timing = false;              // per-group timings on standard error
};

// Reads the command line into `options`. Returns the exit status when the
// program is to stop here: 0 after --help or --version, 2 for a bad command
// line or workspace size, with the message already printed.
std::optional<int> parse_command_line(int argc, char** argv, Options& options);

}  // namespace mixed::app
