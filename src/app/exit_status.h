// The exit statuses of `mixed` and how it reports a problem with the command
// line or a file.
#pragma once

#include <string>

namespace mixed::app {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitErrorMessage = 1;  // a command issued an error-severity message
inline constexpr int kExitFileProblem = 2;   // the command line or a file

// Prints "mixed: WHAT" on standard error; returns kExitFileProblem.
int file_problem(const std::string& what);

}  // namespace mixed::app
