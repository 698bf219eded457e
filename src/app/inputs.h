// What a run reads: the data set with its dictionary, weight and split
// settings, and the text of the command file.
#pragma once

#include <optional>
#include <string>

#include "app/options.h"
#include "host/dataset.h"

namespace mixed::app {

struct Inputs {
  host::Dataset data;
  std::string command_text;
};

// Reads the data set, applies the dictionary (the one named, or NAME.dict.json
// beside NAME.csv), the --weight and --split variables, and reads the command
// file. On the first problem prints it on standard error and returns nothing.
std::optional<Inputs> load_inputs(const Options& options);

}  // namespace mixed::app
