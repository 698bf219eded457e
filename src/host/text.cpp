#include "host/text.h"

#include <cmath>
#include <cstddef>

#include "host/catalogue.h"

namespace mixed::host {

Text Text::key(std::string_view templ) {
  Text t;
  t.kind_ = Kind::Template;
  t.text_ = std::string(templ);
  return t;
}

Text Text::raw(std::string_view s) {
  Text t;
  t.kind_ = Kind::Raw;
  t.text_ = std::string(s);
  return t;
}

Text Text::number(double value, Format format) {
  Text t;
  t.kind_ = Kind::Number;
  t.number_ = value;
  t.format_ = format;
  return t;
}

Text Text::variable(std::string_view name) {
  Text t;
  t.kind_ = Kind::Variable;
  t.text_ = std::string(name);
  return t;
}

Text Text::data_value(std::string_view value, std::string_view label) {
  Text t;
  t.kind_ = Kind::DataValue;
  t.text_ = std::string(value);
  t.label_ = std::string(label);
  return t;
}

Text& Text::arg(Text param) {
  Param p;
  p.scalar.push_back(std::move(param));
  params_.push_back(std::move(p));
  return *this;
}

Text& Text::list(std::vector<TextGroup> groups) {
  Param p;
  p.is_list = true;
  p.groups = std::move(groups);
  params_.push_back(std::move(p));
  return *this;
}

bool Text::operator==(const Text& o) const { return json() == o.json() && kind_ == o.kind_; }

std::string Text::json() const { return render(nullptr); }

std::string Text::display(const Catalogue& catalogue) const { return render(&catalogue); }

std::string Text::render(const Catalogue* catalogue) const {
  switch (kind_) {
    case Kind::Empty: return {};
    case Kind::Raw:
    case Kind::Variable: return text_;
    case Kind::DataValue: return catalogue != nullptr && !label_.empty() ? label_ : text_;
    case Kind::Number:
      if (catalogue == nullptr && format_.kind == Format::Kind::Count && std::fabs(number_) < 9e15 &&
          number_ == std::floor(number_))
        return std::to_string(static_cast<long long>(number_));
      return format_number(number_, format_);
    case Kind::Template: break;
  }
  std::vector<std::vector<std::vector<std::string>>> filled;
  filled.reserve(params_.size());
  for (const Param& p : params_) {
    std::vector<std::vector<std::string>> groups;
    if (p.is_list) {
      for (const TextGroup& g : p.groups) {
        std::vector<std::string> items;
        for (const Text& t : g) items.push_back(t.render(catalogue));
        groups.push_back(std::move(items));
      }
    } else {
      std::vector<std::string> items;
      for (const Text& t : p.scalar) items.push_back(t.render(catalogue));
      groups.push_back(std::move(items));
    }
    filled.push_back(std::move(groups));
  }
  std::string_view templ = catalogue != nullptr ? catalogue->lookup(text_) : std::string_view(text_);
  return fill_template(templ, filled);
}

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads the placeholder number after position i (which holds '^' or '%');
// returns 0 when no digit follows.
int placeholder(std::string_view s, std::size_t& i) {
  std::size_t j = i + 1;
  int n = 0;
  while (j < s.size() && is_digit(s[j])) n = n * 10 + (s[j++] - '0');
  if (j == i + 1) return 0;
  i = j;
  return n;
}

// Writes one repeat-list pattern for one group.
void fill_item(std::string_view pattern, const std::vector<std::string>& group, std::string& out) {
  for (std::size_t i = 0; i < pattern.size();) {
    char c = pattern[i];
    if (c == '\\' && i + 1 < pattern.size()) {
      out += pattern[i + 1];
      i += 2;
    } else if ((c == '^' || c == '%')) {
      std::size_t j = i;
      int k = placeholder(pattern, j);
      if (k == 0) {
        out += c;
        ++i;
      } else {
        if (k <= static_cast<int>(group.size())) out += group[k - 1];
        i = j;
      }
    } else {
      out += c;
      ++i;
    }
  }
}

// Finds the end of a repeat list starting at s[open] == '[': the positions of
// the ':' that separates the two patterns and of the ':' of the closing ":]".
bool find_list(std::string_view s, std::size_t open, std::size_t& sep, std::size_t& close) {
  sep = close = std::string_view::npos;
  for (std::size_t i = open + 1; i < s.size(); ++i) {
    if (s[i] == '\\') {
      ++i;
      continue;
    }
    if (s[i] == ':') {
      if (sep == std::string_view::npos) {
        sep = i;
      } else if (i + 1 < s.size() && s[i + 1] == ']') {
        close = i;
        return true;
      }
    }
  }
  return false;
}

}  // namespace

std::string fill_template(std::string_view s, const std::vector<std::vector<std::vector<std::string>>>& params) {
  std::string out;
  out.reserve(s.size() + 16);
  for (std::size_t i = 0; i < s.size();) {
    char c = s[i];
    if (c == '\\' && i + 1 < s.size()) {
      out += s[i + 1];
      i += 2;
      continue;
    }
    if (c == '^') {
      std::size_t j = i;
      int k = placeholder(s, j);
      if (k == 0) {
        out += c;
        ++i;
        continue;
      }
      if (k <= static_cast<int>(params.size())) {
        for (const auto& group : params[k - 1])
          for (const auto& item : group) out += item;
      }
      i = j;
      continue;
    }
    if (c == '[') {
      std::size_t sep, close;
      if (find_list(s, i, sep, close)) {
        std::size_t j = close + 1;  // at ']'
        int k = placeholder(s, j);
        if (k > 0) {
          std::string_view first = s.substr(i + 1, sep - i - 1);
          std::string_view rest = s.substr(sep + 1, close - sep - 1);
          if (k <= static_cast<int>(params.size())) {
            const auto& groups = params[k - 1];
            for (std::size_t g = 0; g < groups.size(); ++g)
              fill_item(g == 0 && !first.empty() ? first : rest, groups[g], out);
          }
          i = j;
          continue;
        }
      }
    }
    out += c;
    ++i;
  }
  return out;
}

}  // namespace mixed::host
