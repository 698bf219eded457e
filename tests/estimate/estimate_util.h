// Test support for estimation: a data set and a MIXED command taken through
// parsing, the case pass, subject ordering, the design and estimation, as the
// procedure driver does for an unsplit file.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "driver/settings.h"
#include "host/dataset.h"
#include "host/engine.h"

namespace mixed::estimate::testing {

host::Dataset reference_data(const std::string& file);
host::Dataset csv_data(std::string_view text);

struct Fitted {
  explicit Fitted(host::Dataset d);
  host::Dataset data;
  host::Output out;
  host::Scratch scratch;
  host::Progress progress{false};
  host::Engine engine{out, data, scratch, host::Catalogue::english(), progress};
  std::unique_ptr<driver::MixSettings> settings = std::make_unique<driver::MixSettings>();
  driver::MixSettings& s() { return *settings; }
  bool analysable = false;

  // Parses and fits the command (its name MIXED optional); false when a stage
  // issued an error.
  bool run(std::string_view command);
};

}  // namespace mixed::estimate::testing
