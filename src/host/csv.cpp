// Reading and writing the active data set as CSV.
//
// The reader makes two passes over the text: the first checks the layout and
// decides for every column whether it is numeric, the second stores the
// values.  Neither pass holds more than one record besides the columns.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>

#include "host/dataset.h"
#include "host/files.h"
#include "host/tokens.h"

namespace mixed::host {

namespace {

constexpr int kMaxDecimals = 16;
constexpr int kMaxWidth = 40;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

// The decimals a number's text shows: digits after the point less the
// exponent, so that "2.50" shows 2, "1e-3" shows 3 and "1.5e3" shows 0.
int shown_decimals(std::string_view s) {
  const std::size_t e = s.find_first_of("eE");
  const std::string_view mantissa = s.substr(0, e);
  const std::size_t point = mantissa.find('.');
  long d = point == std::string_view::npos ? 0 : static_cast<long>(mantissa.size() - point - 1);
  if (e != std::string_view::npos) {
    long exponent = 0;
    std::string_view x = s.substr(e + 1);
    if (!x.empty() && x.front() == '+') x.remove_prefix(1);
    const auto r = std::from_chars(x.data(), x.data() + x.size(), exponent);
    if (r.ec == std::errc::result_out_of_range) exponent = x.front() == '-' ? -100000 : 100000;
    d -= std::clamp(exponent, -100000L, 100000L);
  }
  return static_cast<int>(std::clamp(d, 0L, static_cast<long>(kMaxDecimals)));
}

// One record at a time from the text of a CSV file.  Quoted fields may hold
// commas, doubled quotes and line ends; a record ends at LF, CRLF or CR
// outside quotes.  Blank lines are skipped.
class CsvScanner {
 public:
  enum class Status { Record, End, Error };

  explicit CsvScanner(std::string_view text) : text_(text) {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
  }

  // Reads the next record into the first n_fields() strings of `fields`.
  Status next(std::vector<std::string>& fields) {
    skip_blank_lines();
    n_fields_ = 0;
    if (pos_ >= text_.size()) return Status::End;
    record_line_ = line_;
    for (;;) {
      if (n_fields_ == fields.size()) fields.emplace_back();
      std::string& field = fields[n_fields_++];
      field.clear();
      if (!read_field(field)) return Status::Error;
      if (pos_ >= text_.size()) return Status::Record;
      const char c = text_[pos_];
      if (c == ',') {
        ++pos_;
        continue;
      }
      end_line();
      return Status::Record;
    }
  }

  std::size_t n_fields() const { return n_fields_; }
  // The line on which the last record began (1-based).
  long record_line() const { return record_line_; }
  const std::string& problem() const { return problem_; }

 private:
  void skip_blank_lines() {
    while (pos_ < text_.size() && (text_[pos_] == '\n' || text_[pos_] == '\r')) end_line();
  }

  // Consumes one line end (LF, CRLF or CR) at pos_.
  void end_line() {
    if (text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n') ++pos_;
    ++pos_;
    ++line_;
  }

  bool read_field(std::string& field) {
    std::size_t p = pos_;
    while (p < text_.size() && is_blank(text_[p])) ++p;
    if (p < text_.size() && text_[p] == '"') {
      pos_ = p + 1;
      return read_quoted(field);
    }
    std::size_t end = pos_;
    while (end < text_.size() && text_[end] != ',' && text_[end] != '\n' && text_[end] != '\r') ++end;
    field.assign(text_.substr(pos_, end - pos_));
    pos_ = end;
    return true;
  }

  bool read_quoted(std::string& field) {
    const long opened = line_;
    for (;;) {
      const std::size_t q = text_.find('"', pos_);
      if (q == std::string_view::npos) {
        problem_ =
            "line " + std::to_string(opened) + ": a quoted field has no closing quote before the end of the file";
        return false;
      }
      count_lines(pos_, q);
      field.append(text_.substr(pos_, q - pos_));
      pos_ = q + 1;
      if (pos_ < text_.size() && text_[pos_] == '"') {
        field.push_back('"');
        ++pos_;
        continue;
      }
      break;
    }
    while (pos_ < text_.size() && is_blank(text_[pos_])) ++pos_;
    if (pos_ < text_.size() && text_[pos_] != ',' && text_[pos_] != '\r' && text_[pos_] != '\n') {
      problem_ = "line " + std::to_string(line_) + ": field " + std::to_string(n_fields_) +
                 " has text after its closing quote";
      return false;
    }
    return true;
  }

  // Counts the line ends inside a quoted field, between `from` and `to`.
  void count_lines(std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
      if (text_[i] == '\n')
        ++line_;
      else if (text_[i] == '\r' && (i + 1 >= text_.size() || text_[i + 1] != '\n'))
        ++line_;
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  long line_ = 1;
  long record_line_ = 1;
  std::size_t n_fields_ = 0;
  std::string problem_;
};

// What the first pass learns about a column.
struct ColumnInfo {
  bool numeric = true;
  int decimals = 0;
};

bool check_names(const std::vector<std::string>& fields, std::size_t n, std::vector<std::string>& names,
                 std::string& problem) {
  for (std::size_t i = 0; i < n; ++i) {
    const std::string name(trim(fields[i]));
    const std::string column = "column " + std::to_string(i + 1);
    if (name.empty()) {
      problem = "line 1: " + column + " has no name";
      return false;
    }
    if (!is_valid_variable_name(name)) {
      problem = "line 1: " + column + " has the name \"" + name + "\", which is not a valid variable name";
      return false;
    }
    for (std::size_t j = 0; j < names.size(); ++j) {
      if (iequals(names[j], name)) {
        problem = "line 1: the variable name \"" + name + "\" is used by columns " + std::to_string(j + 1) + " and " +
                  std::to_string(i + 1);
        return false;
      }
    }
    names.push_back(name);
  }
  return true;
}

std::string field_count_problem(long line, std::size_t got, std::size_t want) {
  return "line " + std::to_string(line) + " has " + std::to_string(got) + (got == 1 ? " field" : " fields") +
         ", the header has " + std::to_string(want);
}

// Shortest text that reads back as the same double.
std::string shortest(double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// Quotes a field when the reader would not give it back as it is: empty (a
// lone empty field is a blank line), holding a separator, blanks at its ends,
// or starting with a byte-order mark (stripped at the start of a file).
void append_csv_field(std::string& out, std::string_view s) {
  const bool quote = s.empty() || s.find_first_of(",\"\r\n") != std::string_view::npos || is_blank(s.front()) ||
                     is_blank(s.back()) || s.substr(0, 3) == "\xEF\xBB\xBF";
  if (!quote) {
    out.append(s);
    return;
  }
  out.push_back('"');
  for (char c : s) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

}  // namespace

std::optional<FieldNumber> parse_field_number(std::string_view text) {
  std::string_view s = trim(text);
  if (s.empty() || s == "NA" || s == ".") return FieldNumber{};
  std::string_view digits = s;
  if (digits.front() == '+') {
    digits.remove_prefix(1);
    if (digits.empty() || digits.front() == '-' || digits.front() == '+') return std::nullopt;
  }
  double v = 0.0;
  const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v);
  if (r.ptr != digits.data() + digits.size()) return std::nullopt;
  if (r.ec == std::errc::result_out_of_range) {
    // Overflow reads as an infinity, underflow as zero or a denormal number.
    v = std::strtod(std::string(digits).c_str(), nullptr);
  } else if (r.ec != std::errc()) {
    return std::nullopt;
  }
  if (!std::isfinite(v)) return FieldNumber{};
  return FieldNumber{v, shown_decimals(digits)};
}

PrintFormat numeric_format(const std::vector<double>& values, int decimals) {
  decimals = std::clamp(decimals, 0, kMaxDecimals);
  int width = 0;
  char buf[64];  // sign, 40 digits, point and 16 decimals
  for (double v : values) {
    if (is_sysmis(v)) continue;
    const int n =
        std::abs(v) < 1e40
            ? static_cast<int>(std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals).ptr - buf)
            : kMaxWidth;
    width = std::max(width, n);
  }
  if (width == 0) return PrintFormat{'F', 8, 2};
  return PrintFormat{'F', std::min(width, kMaxWidth), decimals};
}

std::optional<Dataset> parse_csv(std::string_view text, const std::string& name, std::string& error) {
  auto fail = [&](const std::string& problem) {
    error = name + ": " + problem;
    return std::nullopt;
  };
  std::vector<std::string> fields;
  CsvScanner header(text);
  const CsvScanner::Status hs = header.next(fields);
  if (hs == CsvScanner::Status::Error) return fail(header.problem());
  if (hs == CsvScanner::Status::End) return fail("the file is empty; its first line must name the variables");
  const std::size_t ncol = header.n_fields();
  std::vector<std::string> names;
  std::string problem;
  if (!check_names(fields, ncol, names, problem)) return fail(problem);

  // First pass: layout and column types.
  std::vector<ColumnInfo> info(ncol);
  std::size_t nrow = 0;
  CsvScanner first = header;
  for (;;) {
    const CsvScanner::Status st = first.next(fields);
    if (st == CsvScanner::Status::End) break;
    if (st == CsvScanner::Status::Error) return fail(first.problem());
    if (first.n_fields() != ncol) return fail(field_count_problem(first.record_line(), first.n_fields(), ncol));
    for (std::size_t c = 0; c < ncol; ++c) {
      if (!info[c].numeric) continue;
      const std::optional<FieldNumber> x = parse_field_number(fields[c]);
      if (!x)
        info[c].numeric = false;
      else
        info[c].decimals = std::max(info[c].decimals, x->decimals);
    }
    ++nrow;
  }

  // Second pass: the values.
  std::vector<std::vector<double>> numbers(ncol);
  std::vector<std::vector<std::string>> strings(ncol);
  for (std::size_t c = 0; c < ncol; ++c) {
    if (info[c].numeric)
      numbers[c].reserve(nrow);
    else
      strings[c].reserve(nrow);
  }
  CsvScanner second = header;
  while (second.next(fields) == CsvScanner::Status::Record) {
    for (std::size_t c = 0; c < ncol; ++c) {
      if (info[c].numeric)
        numbers[c].push_back(parse_field_number(fields[c])->value);
      else
        strings[c].push_back(std::move(fields[c]));
    }
  }

  Dataset data;
  for (std::size_t c = 0; c < ncol; ++c) {
    Variable v;
    v.name = names[c];
    if (info[c].numeric) {
      v.format = numeric_format(numbers[c], info[c].decimals);
      data.add_numeric(std::move(v), std::move(numbers[c]));
    } else {
      data.add_string(std::move(v), std::move(strings[c]));
    }
  }
  return data;
}

std::optional<Dataset> read_csv(const std::string& path, std::string& error) {
  const std::optional<std::string> text = read_file(path, error);
  if (!text) return std::nullopt;
  return parse_csv(*text, path, error);
}

std::string csv_text(const Dataset& data) {
  std::string out;
  const std::size_t nvar = data.n_variables();
  for (std::size_t v = 0; v < nvar; ++v) {
    if (v > 0) out.push_back(',');
    append_csv_field(out, data.var(v).name);
  }
  out.push_back('\n');
  for (std::size_t row = 0; row < data.n_cases(); ++row) {
    for (std::size_t v = 0; v < nvar; ++v) {
      if (v > 0) out.push_back(',');
      if (!data.var(v).numeric()) {
        append_csv_field(out, data.string(v, row));
      } else if (!is_sysmis(data.number(v, row))) {
        out.append(shortest(data.number(v, row)));
      } else if (nvar == 1) {
        out.append("\"\"");  // a bare empty line would be read as no case at all
      }
    }
    out.push_back('\n');
  }
  return out;
}

bool write_csv(const Dataset& data, const std::string& path, std::string& error) {
  return write_file_atomic(path, csv_text(data), error);
}

}  // namespace mixed::host
