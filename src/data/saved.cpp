#include "data/saved.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "host/tokens.h"
#include "host/workfile.h"
#include "model/messages.h"

namespace mixed::data {

using enum model::SaveCode;

namespace {

using host::SYSMIS;
// The names of the new variables in SAVE keyword order: the written name when
// it is free, else a numbered name (unused_variable_name) from it or from the root name.
// Nothing when a name cannot be made.
std::optional<std::vector<std::string>> new_names(const model::Command& cmd, const host::Dataset& data) {
  std::vector<std::string> names;
  for (std::size_t k = 0; k < cmd.save_keywords.size(); ++k) {
    const std::string written = k < cmd.save_names.size() ? cmd.save_names[k] : std::string();
    const auto same = [&](const std::string& n) { return host::iequals(n, written); };
    const bool free = !written.empty() && !data.find(written) && std::none_of(names.begin(), names.end(), same);
    const std::string_view root = written.empty() ? save_root_name(cmd.save_keywords[k]) : std::string_view(written);
    std::optional<std::string> name = free ? written : unused_variable_name(data, root, names);
    if (!name) return std::nullopt;
    names.push_back(std::move(*name));
  }
  return names;
}

// The values of "mixprd__", one column per saved variable over the n cases
// (system-missing after its last record).  Nothing when it holds more than n
// records or cannot be read.
std::optional<std::vector<std::vector<double>>> saved_columns(const model::Command& cmd, data::SaveFiles& save_files,
                                                              std::size_t n) {
  const std::size_t nsav = static_cast<std::size_t>(cmd.n_saved());
  if (save_files.values->records() > n) return std::nullopt;
  std::vector<std::vector<double>> columns(nsav, std::vector<double>(n, SYSMIS));
  std::vector<double> record(nsav);
  save_files.values->rewind();
  for (std::size_t row = 0; row < save_files.values->records(); ++row) {
    if (!save_files.values->read(record)) return std::nullopt;
    for (std::size_t k = 0; k < nsav; ++k) columns[k][row] = record[k];
  }
  return columns;
}

}  // namespace

std::string_view save_root_name(model::SaveCode keyword) {
  const int code = static_cast<int>(keyword);
  static constexpr std::array<std::string_view, 8> kRoots = {"",       "FXPRED", "PRED",   "RESID",
                                                             "SEFIXP", "SEPRED", "DFFIXP", "DFPRED"};
  return code >= 1 && code <= 7 ? kRoots[code] : std::string_view();
}

int save_label_number(model::SaveCode keyword) {
  const int code = static_cast<int>(keyword);
  static constexpr std::array<int, 8> kLabels = {0, 15904, 15903, 15902, 15905, 15906, 15907, 15908};
  return code >= 1 && code <= 7 ? kLabels[code] : 0;
}

host::PrintFormat save_format(model::SaveCode code, const host::PrintFormat& dependent) {
  if (code == DFFIXP || code == DFPRED) return host::PrintFormat{};
  host::PrintFormat f;
  f.width = std::min(dependent.width + 3, 40);
  f.decimals = std::min(dependent.decimals + 2, 16);
  return f;
}

std::optional<std::string> unused_variable_name(const host::Dataset& data, std::string_view root,
                                                std::span<const std::string> taken) {
  const auto in_use = [&](const std::string& name) {
    return data.find(name).has_value() ||
           std::any_of(taken.begin(), taken.end(), [&](const std::string& t) { return host::iequals(t, name); });
  };
  for (long k = 1;; ++k) {
    std::string name = std::string(root) + "_" + std::to_string(k);
    if (!host::is_valid_variable_name(name)) return std::nullopt;
    if (!in_use(name)) return name;
  }
}

void write_saved_variables(const model::Command& cmd, data::SaveFiles& save_files, host::Engine& e) {
  e.out.set_split({});
  if (!MIXED_INVARIANT(e.out, save_files.values != nullptr)) return;
  host::Dataset& data = e.data;
  const std::optional<std::vector<std::string>> names = new_names(cmd, data);
  if (!names) {
    model::issue_message(e.out, model::Msg::CannotCreateNewVariableName, model::kOtherClass, host::Severity::Error);
    return;
  }
  std::optional<std::vector<std::vector<double>>> columns = saved_columns(cmd, save_files, data.n_cases());
  if (!columns) {
    model::issue_message(e.out, model::Msg::UnexpectedEndOfScratchFile, model::kOtherClass, host::Severity::Error);
    return;
  }

  const host::PrintFormat dependent = data.var(cmd.dependent).format;
  host::Notes notes;
  notes.title = host::Text::key("Variables Created");
  for (std::size_t k = 0; k < names->size(); ++k) {
    const model::SaveCode code = cmd.save_keywords[k];
    const std::optional<std::string> label = e.catalogue.numbered(save_label_number(code));
    MIXED_INVARIANT(e.out, label.has_value());
    host::Variable v;
    v.name = (*names)[k];
    v.format = save_format(code, dependent);
    v.label = label.value_or("").substr(0, 256);
    notes.entries.push_back({host::Text::variable(v.name), host::Text::raw(v.label)});
    data.add_numeric(std::move(v), std::move((*columns)[k]));
  }
  e.out.notes(std::move(notes));
}

}  // namespace mixed::data
