#include "app/inputs.h"

#include <filesystem>
#include <utility>
#include <vector>

#include "app/exit_status.h"
#include "host/files.h"

namespace mixed::app {
namespace {

// The dictionary to apply: the one named on the command line, else
// NAME.dict.json beside NAME.csv when that file exists, else none ("").
std::string dictionary_path(const Options& options) {
  if (!options.dict_path.empty()) return options.dict_path;
  std::filesystem::path data_path(options.data_path);
  if (data_path.extension() != ".csv") return "";
  std::filesystem::path guess = data_path;
  guess.replace_extension(".dict.json");
  return std::filesystem::exists(guess) ? guess.string() : "";
}

std::vector<std::string> split_names(const std::string& list) {
  std::vector<std::string> names;
  std::string cur;
  for (char c : list) {
    if (c == ',' || c == ' ') {
      if (!cur.empty()) names.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) names.push_back(cur);
  return names;
}

bool set_weight(host::Dataset& data, const std::string& weight, std::string& error) {
  std::optional<std::size_t> w = data.find(weight);
  if (!w) {
    error = "--weight: the data set has no variable '" + weight + "'";
    return false;
  }
  if (!data.var(*w).numeric()) {
    error = "--weight: '" + weight + "' is not numeric";
    return false;
  }
  data.set_weight(w);
  return true;
}

bool set_split(host::Dataset& data, const std::string& split, std::string& error) {
  std::vector<std::size_t> vars;
  for (const std::string& name : split_names(split)) {
    std::optional<std::size_t> v = data.find(name);
    if (!v) {
      error = "--split: the data set has no variable '" + name + "'";
      return false;
    }
    vars.push_back(*v);
  }
  data.set_split(std::move(vars));
  return true;
}

// The data set with its dictionary, weight and split variables applied.
std::optional<host::Dataset> read_data_set(const Options& options, std::string& error) {
  std::optional<host::Dataset> data = host::read_csv(options.data_path, error);
  if (!data) return std::nullopt;
  std::string dict_path = dictionary_path(options);
  if (!dict_path.empty() && !host::apply_dictionary(*data, dict_path, error)) return std::nullopt;
  if (!options.weight.empty() && !set_weight(*data, options.weight, error)) return std::nullopt;
  if (!options.split.empty() && !set_split(*data, options.split, error)) return std::nullopt;
  return data;
}

std::optional<Inputs> read_inputs(const Options& options, std::string& error) {
  std::optional<host::Dataset> data = read_data_set(options, error);
  if (!data) return std::nullopt;
  std::optional<std::string> command_text = host::read_file(options.commands_path, error);
  if (!command_text) return std::nullopt;
  return Inputs{std::move(*data), std::move(*command_text)};
}

}  // namespace

std::optional<Inputs> load_inputs(const Options& options) {
  std::string error;
  std::optional<Inputs> inputs = read_inputs(options, error);
  if (!inputs) file_problem(error);
  return inputs;
}

}  // namespace mixed::app
