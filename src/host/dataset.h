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
  // Replaces all values of variable `var`, making it numeric or a string
  // variable of width `width` (the dictionary's change of type).
  void set_numeric(std::size_t var, std::vector<double> values);
  void set_string(std::size_t var, std::vector<std::string> values, int width);

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

// A data field read as a number: its value and the decimals its text shows
// (digits after the point less the exponent, 0 to 16).  Blanks around the text
// are ignored; a blank field, NA, "." and the spellings of NaN and of the
// infinities are system-missing.  Nothing when the text is not a number.
struct FieldNumber {
  double value = SYSMIS;
  int decimals = 0;
};
std::optional<FieldNumber> parse_field_number(std::string_view text);

// The print format F(w).d of a numeric column whose values show at most `decimals`
// decimals: w is the widest value so shown (at most 40); F8.2 without valid values.
PrintFormat numeric_format(const std::vector<double>& values, int decimals);

// Reads a CSV file (RFC 4180: header row, quoted fields with embedded commas,
// quotes and newlines, CRLF, UTF-8 with or without BOM) into a data set.
// - The header names the variables; each name must be a valid variable name
//   (is_valid_variable_name), unique without regard to case; blanks around it are dropped.
// - Records end at LF, CRLF or a lone CR outside quotes; blank lines are
//   skipped (in a one-column file a missing value is written "" or NA).  A
//   field is quoted when its first non-blank character is a quote; a doubled
//   quote inside stands for one quote; nothing but blanks may follow the
//   closing quote.  Every record has as many fields as the header.
// - A column is numeric when every field parses completely as a number
//   (parse_field_number: blank, NA, ".", NaN and infinities are system-missing);
//   otherwise it is a string variable whose width is its longest value in
//   bytes, its fields kept as they are.  A header with no rows is 0 cases.
// - Print formats are inferred: whole numbers F(w).0, otherwise the most
//   decimals seen (at most 16), w the widest value so shown (numeric_format).
// On failure returns nothing and sets `error` to "NAME: what is wrong", with
// the line ("data.csv: line 12 has 4 fields, the header has 3").
std::optional<Dataset> read_csv(const std::string& path, std::string& error);
std::optional<Dataset> parse_csv(std::string_view text, const std::string& name, std::string& error);

// Applies a dictionary file (JSON) to a data set.  Every entry is optional:
//
//   {"weight": "fw",                     case-weight variable (numeric), or null
//    "split": ["grp", ...],              split variables (or one name), or null
//    "variables": {
//      "age": {"type": "numeric" | "string",     a change of type
//              "width": 12,                      string width, not below the longest value
//              "format": "F8.2" | "A12",         print format (F for numeric, A for string)
//              "label": "Age in years",
//              "value_labels": {"1": "Male", "2": "Female"},
//              "missing": {"values": [99, 98, 97]}           up to three values, or
//                         {"range": [90, "HI"], "value": 0}  a range ("LO"/"HI" for the
//                                                            open ends) and one value;
//                         {"values": ["NA"]}                 for a string variable
//             }}}
//
// Names are matched without regard to case.  A string variable made numeric
// must hold numbers (blank and NA become system-missing); a numeric variable
// made a string holds each value's shortest form, blank when missing.  Value
// label keys and missing values of numeric variables are numbers (as JSON
// numbers or texts).  On failure nothing is changed, `error` is set to "NAME:
// variable "x": what is wrong" (unknown variable or entry, bad format or
// width, more than three missing values, a range with low > high, a key that
// is not a number, a string weight, an unknown split variable, malformed JSON)
// and the result is false.
bool apply_dictionary(Dataset& data, const std::string& path, std::string& error);
bool apply_dictionary_text(Dataset& data, std::string_view json, const std::string& name, std::string& error);

// The data set as CSV text: a header row of names, then one row per case;
// numbers in their shortest round-trip form, the system-missing value as an
// empty field, strings quoted when they hold a comma, a quote or a line end,
// begin or end with a blank, or are empty.
std::string csv_text(const Dataset& data);
// Writes csv_text(data) to `path` atomically (with the variables SAVE added).
bool write_csv(const Dataset& data, const std::string& path, std::string& error);

}  // namespace mixed::host
