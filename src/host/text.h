// Texts handed to the output system.
//
// Every visible text is a Text: a template (its key) plus the parameters that
// fill its placeholders, or a number with its display format, or a variable
// name, or a data value.  Templates follow the output conventions:
//
//   ^1, ^2, ...        the 1st, 2nd, ... parameter of the text;
//   [first:rest:]N     a repeat list over parameter N, which holds a list of
//                      groups; the first group is written with the pattern
//                      `first` (or `rest` when `first` is empty), every later
//                      group with `rest`.  Inside a pattern %k and ^k stand for
//                      the k-th item of the group;
//   \c                 the character c itself (used for '[', ']' and ':').
//
// A text has two renderings: json() fills the template as it stands (the key is
// the machine contract), display() first looks the template up in the display
// catalogue and fills the English text found there.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mixed::host {

// How a number is shown; one kind per format of the output system.  The
// display (format_number) of each kind:
//   Count           an integer; a count that is not whole with up to 3 decimals
//                   (trailing zeros dropped): 12, 2.5
//   Coefficient     about 6 significant digits, at most 8 decimals: 12.3457,
//                   0.00123457; 0 as "0"; an exponent for |x| >= 1e12 and for
//                   0 < |x| < 1e-6: 1.23457E+12
//   Correlation, Significance, GenStat   3 decimals, leading zero kept: 0.042
//   Mean            4 decimals
//   StdDev          5 decimals
//   Percent         1 decimal and "%": 33.3%
//   NOrCoefficient  an integer when whole, else as Coefficient
//   Fixed(d)        d decimals (0 to 16); as Coefficient when d < 0
//   Print(w,d)      d decimals (the width is the writers' business)
// Every kind writes |x| >= 1e15 with an exponent and 6 significant digits; the
// system-missing value (NaN) is "." and the infinities "Inf" and "-Inf"; a
// value that rounds to zero never shows a minus sign.
struct Format {
  enum class Kind {
    Count,           // integers: counts, degrees of freedom that are whole
    Coefficient,     // estimates, standard errors, bounds, covariances
    Correlation,     // correlations
    Significance,    // p-values
    GenStat,         // general statistics: F, t, Wald Z, fractional df
    Mean,            // means
    StdDev,          // standard deviations
    Percent,         // percentages (the value is already in percent)
    NOrCoefficient,  // coefficients of L matrices: integers as integers
    Fixed,           // a fixed number of decimals (likelihood and parameter formats)
    Print,           // a variable's print format Fw.d
  };
  Kind kind = Kind::GenStat;
  int width = 0;      // Print: field width
  int decimals = -1;  // Fixed and Print: decimals

  static Format count() { return {Kind::Count}; }
  static Format coefficient() { return {Kind::Coefficient}; }
  static Format correlation() { return {Kind::Correlation}; }
  static Format significance() { return {Kind::Significance}; }
  static Format genstat() { return {Kind::GenStat}; }
  static Format mean() { return {Kind::Mean}; }
  static Format stddev() { return {Kind::StdDev}; }
  static Format percent() { return {Kind::Percent}; }
  static Format n_or_coefficient() { return {Kind::NOrCoefficient}; }
  static Format fixed(int decimals) { return {Kind::Fixed, 0, decimals}; }
  static Format print(int width, int decimals) { return {Kind::Print, width, decimals}; }
};

class Catalogue;
class Text;

// One item of a repeat list: the texts that fill its %1/^1, %2/^2, ...
using TextGroup = std::vector<Text>;

class Text {
 public:
  enum class Kind { Empty, Template, Raw, Number, Variable, DataValue };

  Text() = default;

  // A translatable template; parameters are added with arg()/list().
  static Text key(std::string_view templ);
  // A text shown as it is, never translated.
  static Text raw(std::string_view s);
  // A number with its display format.
  static Text number(double value, Format format);
  static Text integer(long long value) { return number(static_cast<double>(value), Format::count()); }
  // A variable of the dictionary, shown by its name.
  static Text variable(std::string_view name);
  // A data value: `value` as the dictionary formats it, `label` its value label
  // ("" when it has none).  The machine form is the value, the display form the
  // label when there is one.
  static Text data_value(std::string_view value, std::string_view label = {});

  // Adds the next scalar parameter.
  Text& arg(Text param);
  Text& arg(std::string_view raw_text) { return arg(raw(raw_text)); }
  // Adds the next parameter as a repeat list of groups.
  Text& list(std::vector<TextGroup> groups);

  Kind kind() const { return kind_; }
  bool empty() const { return kind_ == Kind::Empty; }
  const std::string& templ() const { return text_; }
  double value() const { return number_; }
  const Format& format() const { return format_; }
  const std::string& label() const { return label_; }

  // The template with its placeholders filled: the machine form.
  std::string json() const;
  // The display form: the template looked up in the catalogue, then filled.
  std::string display(const Catalogue& catalogue) const;

  bool operator==(const Text& other) const;

 private:
  struct Param {
    bool is_list = false;
    std::vector<Text> scalar;       // one element when !is_list
    std::vector<TextGroup> groups;  // when is_list
  };
  std::string render(const Catalogue* catalogue) const;

  Kind kind_ = Kind::Empty;
  std::string text_;   // template, raw text, variable name, or formatted data value
  std::string label_;  // data value: its value label
  double number_ = 0.0;
  Format format_;
  std::vector<Param> params_;
};

// Fills `templ` with `params` (each already rendered per group), following the
// conventions above.  Exposed for the catalogue and for tests.
std::string fill_template(std::string_view templ, const std::vector<std::vector<std::vector<std::string>>>& params);

// Shows a number in a display format, as the text writer prints it; NaN (the
// system-missing value) is shown as "." .
std::string format_number(double value, const Format& format);

}  // namespace mixed::host
