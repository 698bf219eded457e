// Test support for estimation: a data set and a MIXED command taken through
// parsing, the case pass, subject ordering, the design and estimation, as the
// procedure driver does for an unsplit file.
#pragma once

#include <string_view>

#include "support/session_util.h"

namespace mixed::estimate::testing {

using test_support::csv;
using test_support::reference_csv;

struct Fitted : test_support::Session {
  using Session::Session;
  bool analysable = false;

  // Parses and fits the command (its name MIXED optional); false when a stage
  // issued an error.
  bool run(std::string_view command) {
    if (command.substr(0, 6) == "MIXED ") command.remove_prefix(6);
    return test_support::fit(*this, command, analysable);
  }
};

}  // namespace mixed::estimate::testing
