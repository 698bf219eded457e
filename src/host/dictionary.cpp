// The dictionary file: a JSON document that gives the data set what a CSV file
// cannot say (see apply_dictionary in dataset.h for the format).
//
// Every entry is checked and its change prepared before anything is applied,
// so that a dictionary with an error leaves the data set as it was.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "host/dataset.h"
#include "host/files.h"
#include "host/tokens.h"

namespace mixed::host {

namespace {

using Json = nlohmann::ordered_json;

constexpr int kMaxStringWidth = 32767;
constexpr int kMaxFormatWidth = 40;
constexpr int kMaxDecimals = 16;

// A problem found in the dictionary; carries the message without the file name.
struct Problem {
  std::string text;
};

[[noreturn]] void fail(std::string text) { throw Problem{std::move(text)}; }

std::string in_quotes(std::string_view s) { return "\"" + std::string(s) + "\""; }

// The change one variable's entry asks for, checked but not yet applied.
struct VariableChange {
  std::size_t index = 0;
  bool numeric = true;  // the type after the change
  std::optional<std::vector<double>> numbers;
  std::optional<std::vector<std::string>> strings;
  std::optional<int> width;
  std::optional<PrintFormat> format;
  std::optional<std::string> label;
  std::optional<std::vector<ValueLabel>> value_labels;
  std::optional<MissingValues> missing;
};

class DictionaryReader {
 public:
  explicit DictionaryReader(const Dataset& data) : data_(data) {}

  void read(const Json& doc) {
    if (!doc.is_object()) fail("the dictionary must be a JSON object");
    for (const auto& [key, value] : doc.items()) {
      if (key == "variables")
        read_variables(value);
      else if (key != "weight" && key != "split")
        fail("unknown entry " + in_quotes(key) + " (expected \"variables\", \"weight\" or \"split\")");
    }
    if (doc.contains("weight")) read_weight(doc["weight"]);
    if (doc.contains("split")) read_split(doc["split"]);
  }

  void apply(Dataset& data) {
    for (VariableChange& c : changes_) {
      const bool retyped = c.numbers || c.strings;
      if (c.numbers) data.set_numeric(c.index, std::move(*c.numbers));
      if (c.strings) {
        const int width = c.width ? *c.width : longest(c);
        data.set_string(c.index, std::move(*c.strings), width);
      }
      Variable& v = data.var(c.index);
      if (retyped) {
        // Labels and missing values of the old type mean nothing for the new one.
        v.value_labels.clear();
        v.missing = MissingValues{};
      }
      if (c.width) {
        v.width = *c.width;
        v.format = PrintFormat{'A', *c.width, 0};
      }
      if (c.format) v.format = *c.format;
      if (c.label) v.label = std::move(*c.label);
      if (c.value_labels) v.value_labels = std::move(*c.value_labels);
      if (c.missing) v.missing = std::move(*c.missing);
    }
    if (weight_) data.set_weight(*weight_);
    if (split_) data.set_split(std::move(*split_));
  }

 private:
  void read_variables(const Json& vars) {
    if (!vars.is_object()) fail("\"variables\" must be an object that maps variable names to their entries");
    for (const auto& [name, entry] : vars.items()) {
      const std::optional<std::size_t> index = data_.find(name);
      if (!index) fail("variable " + in_quotes(name) + " is not in the data");
      current_ = "variable " + in_quotes(data_.var(*index).name) + ": ";
      if (!entry.is_object()) fail(current_ + "its entry must be an object");
      for (const VariableChange& c : changes_)
        if (c.index == *index) fail(current_ + "the dictionary has two entries for it");
      changes_.push_back(read_variable(*index, entry));
    }
    current_.clear();
  }

  VariableChange read_variable(std::size_t index, const Json& entry) {
    static const std::vector<std::string> known = {"type", "width", "format", "label", "value_labels", "missing"};
    for (const auto& [key, value] : entry.items())
      if (std::find(known.begin(), known.end(), key) == known.end())
        fail(current_ + "unknown entry " + in_quotes(key) +
             " (expected type, width, format, label, value_labels or missing)");
    const Variable& var = data_.var(index);
    VariableChange c;
    c.index = index;
    c.numeric = var.numeric();
    if (entry.contains("type")) read_type(c, entry["type"]);
    if (entry.contains("width")) read_width(c, entry["width"]);
    if (entry.contains("format")) c.format = read_format(c, entry["format"]);
    if (entry.contains("label")) c.label = text(entry["label"], "\"label\"");
    if (entry.contains("value_labels")) c.value_labels = read_value_labels(c, entry["value_labels"]);
    if (entry.contains("missing")) c.missing = read_missing(c, entry["missing"]);
    return c;
  }

  std::string text(const Json& j, const std::string& what) {
    if (!j.is_string()) fail(current_ + what + " must be a text in quotes");
    return j.get<std::string>();
  }

  // A number given as a JSON number or as a text that reads as one.
  double number(const Json& j, const std::string& what) {
    if (j.is_number()) return j.get<double>();
    if (j.is_string()) {
      const std::optional<FieldNumber> x = parse_field_number(j.get<std::string>());
      if (x && !is_sysmis(x->value)) return x->value;
    }
    fail(current_ + what + " " + j.dump() + " is not a number");
  }

  void read_type(VariableChange& c, const Json& j) {
    const std::string type = text(j, "\"type\"");
    if (type != "numeric" && type != "string")
      fail(current_ + "type " + in_quotes(type) + " is neither \"numeric\" nor \"string\"");
    c.numeric = type == "numeric";
    const Variable& var = data_.var(c.index);
    if (c.numeric == var.numeric()) return;
    if (c.numeric) {
      int decimals = 0;
      c.numbers = to_numbers(c.index, decimals);
      c.format = numeric_format(*c.numbers, decimals);
    } else {
      c.strings = to_strings(c.index);
    }
  }

  // The values of a string variable read as numbers, with the most decimals shown.
  std::vector<double> to_numbers(std::size_t index, int& decimals) {
    std::vector<double> out;
    out.reserve(data_.n_cases());
    for (std::size_t row = 0; row < data_.n_cases(); ++row) {
      const std::optional<FieldNumber> x = parse_field_number(data_.string(index, row));
      if (!x)
        fail(current_ + "the value " + in_quotes(data_.string(index, row)) + " of case " + std::to_string(row + 1) +
             " is not a number");
      out.push_back(x->value);
      decimals = std::max(decimals, x->decimals);
    }
    return out;
  }

  // The values of a numeric variable as texts: the shortest form that reads back
  // as the same number, empty for the system-missing value.
  std::vector<std::string> to_strings(std::size_t index) {
    std::vector<std::string> out;
    out.reserve(data_.n_cases());
    for (std::size_t row = 0; row < data_.n_cases(); ++row) {
      const double v = data_.number(index, row);
      char buf[32];
      out.emplace_back(buf, is_sysmis(v) ? buf : std::to_chars(buf, buf + sizeof buf, v).ptr);
    }
    return out;
  }

  // The longest value of the variable after its change of type, at least 1.
  int longest(const VariableChange& c) {
    std::size_t n = 1;
    if (c.strings) {
      for (const std::string& s : *c.strings) n = std::max(n, s.size());
    } else {
      for (std::size_t row = 0; row < data_.n_cases(); ++row) n = std::max(n, data_.string(c.index, row).size());
    }
    return static_cast<int>(n);
  }

  void read_width(VariableChange& c, const Json& j) {
    if (c.numeric) fail(current_ + "\"width\" applies to string variables only");
    if (!j.is_number_integer() || j.get<long long>() < 1 || j.get<long long>() > kMaxStringWidth)
      fail(current_ + "width " + j.dump() + " is not a whole number from 1 to " + std::to_string(kMaxStringWidth));
    const int w = j.get<int>();
    const int need = longest(c);
    if (w < need)
      fail(current_ + "width " + std::to_string(w) + " is less than its longest value (" + std::to_string(need) +
           " bytes)");
    c.width = w;
  }

  PrintFormat read_format(const VariableChange& c, const Json& j) {
    const std::string s = text(j, "\"format\"");
    const std::optional<PrintFormat> f = parse_format(s);
    if (!f) fail(current_ + in_quotes(s) + " is not a print format (Fw.d for numeric, Aw for string variables)");
    if (c.numeric && f->type != 'F') fail(current_ + "a numeric variable needs an F format, not " + in_quotes(s));
    if (!c.numeric && f->type != 'A') fail(current_ + "a string variable needs an A format, not " + in_quotes(s));
    return *f;
  }

  // Fw.d (1 <= w <= 40, 0 <= d <= 16, d < w) or Aw (1 <= w <= 32767).
  static std::optional<PrintFormat> parse_format(std::string_view s) {
    if (s.empty()) return std::nullopt;
    const char type = static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
    if (type != 'F' && type != 'A') return std::nullopt;
    s.remove_prefix(1);
    auto whole = [&](int& out) {
      const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
      if (r.ec != std::errc() || r.ptr == s.data() || s.front() == '-') return false;
      s.remove_prefix(static_cast<std::size_t>(r.ptr - s.data()));
      return true;
    };
    int width = 0, decimals = 0;
    if (!whole(width)) return std::nullopt;
    if (type == 'F' && !s.empty() && s.front() == '.') {
      s.remove_prefix(1);
      if (!whole(decimals)) return std::nullopt;
    }
    if (!s.empty()) return std::nullopt;
    if (type == 'A') {
      if (width < 1 || width > kMaxStringWidth) return std::nullopt;
      return PrintFormat{'A', width, 0};
    }
    if (width < 1 || width > kMaxFormatWidth || decimals > kMaxDecimals || decimals >= width) return std::nullopt;
    return PrintFormat{'F', width, decimals};
  }

  std::vector<ValueLabel> read_value_labels(const VariableChange& c, const Json& j) {
    if (!j.is_object()) fail(current_ + "\"value_labels\" must be an object that maps values to labels");
    std::vector<ValueLabel> out;
    for (const auto& [key, label] : j.items()) {
      ValueLabel l;
      l.label = text(label, "the label of value " + in_quotes(key));
      if (c.numeric) {
        const std::optional<FieldNumber> x = parse_field_number(key);
        if (!x || is_sysmis(x->value)) fail(current_ + "value label key " + in_quotes(key) + " is not a number");
        l.number = x->value;
      } else {
        l.string = key;
      }
      out.push_back(std::move(l));
    }
    return out;
  }

  MissingValues read_missing(const VariableChange& c, const Json& j) {
    MissingValues m;
    if (j.is_null()) return m;
    if (j.is_array()) return read_missing(c, Json{{"values", j}});
    if (!j.is_object()) fail(current_ + "\"missing\" must be an object with \"values\", or \"range\" and \"value\"");
    for (const auto& [key, value] : j.items())
      if (key != "values" && key != "range" && key != "value")
        fail(current_ + "unknown entry " + in_quotes(key) + " in \"missing\" (expected values, range or value)");
    if (j.contains("values")) {
      const Json& values = j["values"];
      if (!values.is_array()) fail(current_ + "missing \"values\" must be a list");
      if (values.size() > 3) fail(current_ + "more than three discrete missing values");
      for (const Json& v : values) {
        if (c.numeric)
          m.values.push_back(number(v, "missing value"));
        else
          m.strings.push_back(missing_string(c, v));
      }
    }
    if (j.contains("range") || j.contains("value")) {
      if (!c.numeric) fail(current_ + "a string variable cannot have a missing-value range");
      if (!j.contains("range")) fail(current_ + "missing \"value\" goes with a \"range\"; use \"values\" alone");
      read_range(j["range"], m);
      if (j.contains("value")) m.values.push_back(number(j["value"], "missing value"));
      if (m.values.size() > 1) fail(current_ + "a missing-value range allows one discrete value besides it");
    }
    return m;
  }

  std::string missing_string(const VariableChange& c, const Json& v) {
    const std::string s = text(v, "a missing value");
    const int width = c.width ? *c.width : longest(c);
    if (static_cast<int>(s.size()) > width && s.find_last_not_of(' ') + 1 > static_cast<std::size_t>(width))
      fail(current_ + "missing value " + in_quotes(s) + " is longer than the width " + std::to_string(width));
    return s;
  }

  // [low, high]; "LO"/"LOWEST" and "HI"/"HIGHEST" stand for the open ends.
  void read_range(const Json& j, MissingValues& m) {
    if (!j.is_array() || j.size() != 2) fail(current_ + "missing \"range\" must be a list [low, high]");
    auto end = [&](const Json& x, bool low) {
      if (x.is_string()) {
        const std::string s = upper(x.get<std::string>());
        if (low && (s == "LO" || s == "LOWEST")) return -std::numeric_limits<double>::infinity();
        if (!low && (s == "HI" || s == "HIGHEST")) return std::numeric_limits<double>::infinity();
      }
      return number(x, low ? "the low end of the range" : "the high end of the range");
    };
    m.low = end(j[0], true);
    m.high = end(j[1], false);
    if (m.low > m.high) fail(current_ + "the missing-value range " + j.dump() + " has its low end above its high end");
    m.has_range = true;
  }

  // The type a variable has once the dictionary is applied.
  bool numeric_after(std::size_t index) const {
    for (const VariableChange& c : changes_)
      if (c.index == index) return c.numeric;
    return data_.var(index).numeric();
  }

  std::size_t variable(const Json& j, const std::string& role) {
    if (!j.is_string()) fail(role + " must be a variable name in quotes");
    const std::string name = j.get<std::string>();
    const std::optional<std::size_t> index = data_.find(name);
    if (!index) fail(role + " " + in_quotes(name) + " is not in the data");
    return *index;
  }

  void read_weight(const Json& j) {
    if (j.is_null()) {
      weight_ = std::optional<std::size_t>{};
      return;
    }
    const std::size_t index = variable(j, "the weight variable");
    if (!numeric_after(index))
      fail("the weight variable " + in_quotes(data_.var(index).name) + " is a string variable; it must be numeric");
    weight_ = index;
  }

  void read_split(const Json& j) {
    std::vector<std::size_t> split;
    if (j.is_string()) {
      split.push_back(variable(j, "the split variable"));
    } else if (j.is_array()) {
      for (const Json& v : j) {
        const std::size_t index = variable(v, "the split variable");
        if (std::find(split.begin(), split.end(), index) != split.end())
          fail("the split variable " + in_quotes(data_.var(index).name) + " is named twice");
        split.push_back(index);
      }
    } else if (!j.is_null()) {
      fail("\"split\" must be a list of variable names");
    }
    split_ = std::move(split);
  }

  const Dataset& data_;
  std::string current_;  // "variable "x": " while reading a variable's entry
  std::vector<VariableChange> changes_;
  std::optional<std::optional<std::size_t>> weight_;
  std::optional<std::vector<std::size_t>> split_;
};

}  // namespace

bool apply_dictionary_text(Dataset& data, std::string_view json, const std::string& name, std::string& error) {
  try {
    const Json doc = Json::parse(json.begin(), json.end());
    DictionaryReader reader(data);
    reader.read(doc);
    reader.apply(data);
    return true;
  } catch (const Problem& p) {
    error = name + ": " + p.text;
  } catch (const Json::parse_error& e) {
    std::string what = e.what();
    const std::size_t bracket = what.find("] ");
    if (what.rfind("[json.exception", 0) == 0 && bracket != std::string::npos) what.erase(0, bracket + 2);
    error = name + ": not valid JSON: " + what;
  } catch (const Json::exception& e) {
    error = name + ": " + e.what();
  }
  return false;
}

bool apply_dictionary(Dataset& data, const std::string& path, std::string& error) {
  const std::optional<std::string> text = read_file(path, error);
  if (!text) return false;
  return apply_dictionary_text(data, *text, path, error);
}

}  // namespace mixed::host
