// The active data set: the dictionary (variables with their types, formats,
// labels, value labels and user-missing values, the case-weight and split
// variables) and the case values, held column by column.
//
// Numeric values are doubles; the system-missing value is a quiet NaN
// (host::SYSMIS).  String values keep their characters; a string variable's
// width is its longest value in bytes.  Variables are found by name without
// regard to case (DICSCH).
#pragma once

#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mixed::host {

// PCINMS: the system-missing value.
inline constexpr double SYSMIS = std::numeric_limits<double>::quiet_NaN();
inline bool is_sysmis(double v) { return std::isnan(v); }

// A print format Fw.d (numeric) or Aw (string).
struct PrintFormat {
  char type = 'F';  // 'F' numeric, 'A' string
  int width = 8;
  int decimals = 2;
  std::string str() const;  // "F8.2", "A12"
};

// User-missing values: up to three discrete values, or a range and at most one
// discrete value.  String variables have discrete string values only.
struct MissingValues {
  std::vector<double> values;
  std::vector<std::string> strings;
  bool has_range = false;
  double low = 0.0;
  double high = 0.0;
  bool empty() const { return values.empty() && strings.empty() && !has_range; }
  bool is_missing(double v) const;
  bool is_missing(std::string_view s) const;  // trailing blanks ignored
};

struct ValueLabel {
  double number = 0.0;
  std::string string;  // string variables
  std::string label;
};

struct Variable {
  std::string name;
  int width = 0;  // 0: numeric; otherwise the string width in bytes
  PrintFormat format;
  std::string label;
  std::vector<ValueLabel> value_labels;
  MissingValues missing;

  bool numeric() const { return width == 0; }
  // The value label of a value, "" when there is none.
  std::string_view value_label(double v) const;
  std::string_view value_label(std::string_view s) const;
};

class Dataset {
 public:
  std::size_t n_variables() const { return vars_.size(); }
  std::size_t n_cases() const { return n_cases_; }
  const Variable& var(std::size_t i) const { return vars_[i]; }
  Variable& var(std::size_t i) { return vars_[i]; }

  // DICSCH: the index of a variable by name (case-insensitive), or nothing.
  std::optional<std::size_t> find(std::string_view name) const;

  double number(std::size_t var, std::size_t row) const { return numbers_[var][row]; }
  const std::string& string(std::size_t var, std::size_t row) const { return strings_[var][row]; }

  // Adds a variable with all its values (the CSV reader, tests, SAVE write-back).
  std::size_t add_numeric(Variable v, std::vector<double> values);
  std::size_t add_string(Variable v, std::vector<std::string> values);
  // Sets a value of an existing numeric variable.
  void set_number(std::size_t var, std::size_t row, double v) { numbers_[var][row] = v; }

  // The case-weight variable and the split variables.
  std::optional<std::size_t> weight() const { return weight_; }
  void set_weight(std::optional<std::size_t> w) { weight_ = w; }
  const std::vector<std::size_t>& split() const { return split_; }
  void set_split(std::vector<std::size_t> s) { split_ = std::move(s); }

  // A value shown as the dictionary formats it (its print format; strings with
  // trailing blanks removed).
  std::string format_value(std::size_t var, std::size_t row) const;
  std::string format_number(std::size_t var, double v) const;

  // QAMISS: the value of `var` in `row` is missing: system-missing always, a
  // user-missing value unless `include_user_missing`.
  bool is_missing(std::size_t var, std::size_t row, bool include_user_missing) const;

 private:
  std::vector<Variable> vars_;
  std::vector<std::vector<double>> numbers_;       // per variable; empty for strings
  std::vector<std::vector<std::string>> strings_;  // per variable; empty for numerics
  std::size_t n_cases_ = 0;
  std::optional<std::size_t> weight_;
  std::vector<std::size_t> split_;
};

// Reads a CSV file (RFC 4180: header row, quoted fields with embedded commas,
// quotes and newlines, CRLF, UTF-8 with or without BOM) into a data set.  A
// column is numeric when every non-empty field parses as a number; otherwise
// it is a string variable.  An empty numeric field, NaN and infinities are
// system-missing.  Print formats are inferred: whole numbers F(w).0, otherwise
// the most decimals seen (at most 16).  On failure returns nothing and sets
// `error` to a message naming the file and what is wrong (with the line).
std::optional<Dataset> read_csv(const std::string& path, std::string& error);
std::optional<Dataset> parse_csv(std::string_view text, const std::string& name, std::string& error);

// Applies a dictionary file (JSON) to a data set: per variable its print
// format, label, value labels and user-missing values; for the data set its
// case-weight and split variables.  On failure sets `error` (naming the file,
// the variable and what is wrong) and returns false.
bool apply_dictionary(Dataset& data, const std::string& path, std::string& error);
bool apply_dictionary_text(Dataset& data, std::string_view json, const std::string& name,
                           std::string& error);

// Writes a data set as CSV (with the variables SAVE added), atomically.
bool write_csv(const Dataset& data, const std::string& path, std::string& error);

}  // namespace mixed::host
