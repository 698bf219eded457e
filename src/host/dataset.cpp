#include "host/dataset.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "host/tokens.h"

namespace mixed::host {

namespace {

std::string_view trim_right(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

}  // namespace

std::string PrintFormat::str() const {
  if (type == 'A') return "A" + std::to_string(width);
  return "F" + std::to_string(width) + "." + std::to_string(decimals);
}

bool MissingValues::is_missing(double v) const {
  if (std::isnan(v)) return false;
  for (double m : values)
    if (v == m) return true;
  return has_range && v >= low && v <= high;
}

bool MissingValues::is_missing(std::string_view s) const {
  s = trim_right(s);
  for (const std::string& m : strings)
    if (trim_right(m) == s) return true;
  return false;
}

std::string_view Variable::value_label(double v) const {
  if (!numeric()) return {};
  for (const ValueLabel& l : value_labels)
    if (l.number == v) return l.label;
  return {};
}

std::string_view Variable::value_label(std::string_view s) const {
  if (numeric()) return {};
  s = trim_right(s);
  for (const ValueLabel& l : value_labels)
    if (trim_right(l.string) == s) return l.label;
  return {};
}

std::optional<std::size_t> Dataset::find(std::string_view name) const {
  for (std::size_t i = 0; i < vars_.size(); ++i)
    if (iequals(vars_[i].name, name)) return i;
  return std::nullopt;
}

std::size_t Dataset::add_numeric(Variable v, std::vector<double> values) {
  v.width = 0;
  if (vars_.empty()) n_cases_ = values.size();
  values.resize(n_cases_, SYSMIS);
  vars_.push_back(std::move(v));
  numbers_.push_back(std::move(values));
  strings_.emplace_back();
  return vars_.size() - 1;
}

std::size_t Dataset::add_string(Variable v, std::vector<std::string> values) {
  if (vars_.empty()) n_cases_ = values.size();
  values.resize(n_cases_);
  if (v.width <= 0) {
    int w = 1;
    for (const std::string& s : values) w = std::max<int>(w, static_cast<int>(s.size()));
    v.width = w;
  }
  if (v.format.type != 'A') v.format = PrintFormat{'A', v.width, 0};
  vars_.push_back(std::move(v));
  numbers_.emplace_back();
  strings_.push_back(std::move(values));
  return vars_.size() - 1;
}

void Dataset::set_numeric(std::size_t var, std::vector<double> values) {
  values.resize(n_cases_, SYSMIS);
  vars_[var].width = 0;
  if (vars_[var].format.type != 'F') vars_[var].format = PrintFormat{};
  numbers_[var] = std::move(values);
  strings_[var].clear();
}

void Dataset::set_string(std::size_t var, std::vector<std::string> values, int width) {
  values.resize(n_cases_);
  vars_[var].width = std::max(width, 1);
  vars_[var].format = PrintFormat{'A', vars_[var].width, 0};
  strings_[var] = std::move(values);
  numbers_[var].clear();
}

std::string Dataset::format_number(std::size_t var, double v) const {
  if (std::isnan(v)) return ".";
  const PrintFormat& f = vars_[var].format;
  const int decimals = f.type == 'F' ? std::max(0, std::min(f.decimals, 16)) : 0;
  // Sized first: a large value takes hundreds of digits in fixed notation.
  std::string s(static_cast<std::size_t>(std::snprintf(nullptr, 0, "%.*f", decimals, v)), '\0');
  std::snprintf(s.data(), s.size() + 1, "%.*f", decimals, v);
  if (s == "-0" || (s.size() > 1 && s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos)) s.erase(0, 1);
  return s;
}

std::string Dataset::format_value(std::size_t var, std::size_t row) const {
  if (vars_[var].numeric()) return format_number(var, numbers_[var][row]);
  return std::string(trim_right(strings_[var][row]));
}

bool Dataset::is_missing(std::size_t var, std::size_t row, bool include_user_missing) const {
  const Variable& v = vars_[var];
  if (v.numeric()) {
    const double x = numbers_[var][row];
    if (std::isnan(x)) return true;
    return !include_user_missing && v.missing.is_missing(x);
  }
  return !include_user_missing && v.missing.is_missing(strings_[var][row]);
}

}  // namespace mixed::host
