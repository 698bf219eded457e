// The JSON document of a run: every text as its key with the placeholders
// filled, numbers at full precision, system-missing as null.
//
// Choices within the contract:
// - a cell's "text" is the display form the text report shows for it, without
//   footnote markers: format_number for a number, the English display text for
//   a text, and "." for system-missing;
// - a numeric cell in the Count format whose value is whole is written as an
//   integer, every other number as the shortest decimal that reads back to the
//   same double; the infinities, which JSON cannot hold, are written as null;
// - dimension names key the cells' "at" objects, so a dimension whose name
//   repeats an earlier one's is named with " (2)", " (3)", ... appended, in
//   "dims" and in "at" alike;
// - a cell located at a group category gives the path down to that group.
#include <algorithm>
#include <cmath>
#include <string>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/pivot_layout.h"
#include "host/writers.h"

namespace mixed::host {

namespace {

using Json = nlohmann::ordered_json;

// Whole numbers beyond 2^53 are not all representable; leave them to doubles.
constexpr double kLargestExactInteger = 9007199254740992.0;

Json number(double v, const Format& f) {
  if (!std::isfinite(v)) return nullptr;
  if (f.kind == Format::Kind::Count && v == std::floor(v) && std::fabs(v) <= kLargestExactInteger)
    return static_cast<long long>(v);
  return v;
}

Json split_json(const Split& split) {
  if (split.empty()) return nullptr;
  Json list = Json::array();
  for (const SplitValue& s : split) {
    Json value = s.numeric ? (std::isfinite(s.number) ? Json(s.number) : Json(nullptr)) : Json(s.string);
    list.push_back({{"variable", s.variable}, {"value", std::move(value)}});
  }
  return list;
}

Json texts(const std::vector<Text>& notes) {
  Json list = Json::array();
  for (const Text& t : notes) list.push_back(t.json());
  return list;
}

const char* axis_name(Axis a) {
  switch (a) {
    case Axis::Row: return "row";
    case Axis::Column: return "column";
    case Axis::Layer: break;
  }
  return "layer";
}

std::vector<std::string> dimension_names(const std::vector<Dimension>& dims) {
  std::vector<std::string> names;
  for (const Dimension& d : dims) {
    std::string base = d.label.json();
    std::string name = base;
    for (int n = 2; std::find(names.begin(), names.end(), name) != names.end(); ++n)
      name = base + " (" + std::to_string(n) + ")";
    names.push_back(std::move(name));
  }
  return names;
}

// Texts from the data need not be valid UTF-8; what is not is replaced rather
// than failing the whole document.
std::string compact(const Json& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace); }

// A JSON string; plain ASCII, by far the common case, needs no escaping.
std::string quoted(const std::string& s) {
  for (unsigned char c : s)
    if (c < 0x20 || c >= 0x80 || c == '"' || c == '\\') return compact(Json(s));
  return "\"" + s + "\"";
}

std::string cell_value(const CellValue& v) {
  switch (v.kind) {
    case CellValue::Kind::Number: return compact(number(v.number, v.format));
    case CellValue::Kind::Text: return quoted(v.text.json());
    case CellValue::Kind::Missing: break;
  }
  return "null";
}

// The document is spread over lines: one field of the document, a heading or a
// table per line, and one message, notes item or cell per line, so that a
// report reads and compares line by line.  An object or list at depth d has its
// members indented by 2d + 2 spaces.
using Fields = std::vector<std::pair<const char*, std::string>>;

std::string object(const Fields& fields, int depth) {
  const std::string indent(2 * depth + 2, ' ');
  std::string out = "{";
  for (std::size_t i = 0; i < fields.size(); ++i)
    out += (i == 0 ? "\n" : ",\n") + indent + "\"" + fields[i].first + "\": " + fields[i].second;
  return out + "\n" + std::string(2 * depth, ' ') + "}";
}

std::string lines(const std::vector<std::string>& elements, int depth) {
  if (elements.empty()) return "[]";
  const std::string indent(2 * depth + 2, ' ');
  std::size_t size = 2 * depth + 3;
  for (const std::string& e : elements) size += e.size() + indent.size() + 2;
  std::string out;
  out.reserve(size);
  out += '[';
  for (std::size_t i = 0; i < elements.size(); ++i) {
    out += i == 0 ? "\n" : ",\n";
    out += indent;
    out += elements[i];
  }
  out += '\n';
  out.append(2 * depth, ' ');
  out += ']';
  return out;
}

// The cells of a table, each on one line; the category paths are written once
// per category.
std::vector<std::string> cell_lines(const PivotTable& t, const std::vector<std::string>& names) {
  const auto& dims = t.dimensions();
  std::vector<std::string> keys;
  for (const std::string& n : names) keys.push_back(quoted(n) + ":");
  std::vector<std::vector<std::string>> paths(dims.size());
  for (std::size_t d = 0; d < dims.size(); ++d) paths[d].resize(dims[d].categories.size());
  auto path = [&](std::size_t d, int cat) -> const std::string& {
    std::string& p = paths[d][cat];
    if (p.empty()) {
      Json list = Json::array();
      for (int c : dims[d].path(cat)) list.push_back(dims[d].categories[c].label.json());
      p = compact(list);
    }
    return p;
  };
  std::vector<std::string> out;
  out.reserve(t.cells().size());
  for (const Cell& c : t.cells()) {
    std::string line = "{\"at\":{";
    for (std::size_t d = 0; d < dims.size() && d < c.at.size(); ++d) {
      if (d > 0) line += ',';
      line += keys[d];
      const bool valid = c.at[d] >= 0 && c.at[d] < static_cast<int>(dims[d].categories.size());
      line += valid ? path(d, c.at[d]) : std::string("[]");
    }
    line += "},\"value\":" + cell_value(c.value);
    line += ",\"text\":" + quoted(cell_display(c.value, Catalogue::english()));
    line += ",\"notes\":" + (c.notes.empty() ? std::string("[]") : compact(texts(c.notes))) + "}";
    out.push_back(std::move(line));
  }
  return out;
}

std::string table(const PivotTable& t, int depth) {
  const auto& dims = t.dimensions();
  const std::vector<std::string> names = dimension_names(dims);
  Json dims_json = Json::array();
  for (std::size_t d = 0; d < dims.size(); ++d)
    dims_json.push_back({{"name", names[d]}, {"axis", axis_name(dims[d].axis)}});
  return object({{"kind", "\"table\""},
                 {"title", quoted(t.title().json())},
                 {"name", quoted(t.name().json())},
                 {"split", compact(split_json(t.split()))},
                 {"notes", compact(texts(t.notes()))},
                 {"dims", compact(dims_json)},
                 {"cells", lines(cell_lines(t, names), depth + 1)}},
                depth);
}

std::string message(const Message& m) {
  Json j = {{"kind", "message"},
            {"severity", m.severity == Severity::Error ? "error" : "warning"},
            {"number", m.number ? Json(*m.number) : Json(nullptr)},
            {"text", m.text.json()},
            {"split", split_json(m.split)}};
  return compact(j);
}

std::string notes(const Notes& n) {
  Json entries = Json::array();
  for (const NotesEntry& e : n.entries) entries.push_back({{"label", e.label.json()}, {"value", e.value.json()}});
  return compact(Json{{"kind", "notes"}, {"title", n.title.json()}, {"entries", std::move(entries)}});
}

std::string item_list(const std::vector<Item>& items, int depth);

struct ItemText {
  int depth;  // of the item's object
  std::string operator()(const Heading& h) const {
    return object(
        {{"kind", "\"heading\""}, {"title", quoted(h.title.json())}, {"items", item_list(h.items, depth + 1)}}, depth);
  }
  std::string operator()(const PivotTable& t) const { return table(t, depth); }
  std::string operator()(const Message& m) const { return message(m); }
  std::string operator()(const Notes& n) const { return notes(n); }
};

// A list of items at depth `depth`; its elements are objects one level deeper.
std::string item_list(const std::vector<Item>& items, int depth) {
  std::vector<std::string> elements;
  for (const Item& item : items) elements.push_back(std::visit(ItemText{depth + 1}, item));
  return lines(elements, depth);
}

}  // namespace

std::string write_json(const Output& output, std::string_view version) {
  return object({{"program", "\"mixed\""},
                 {"version", quoted(std::string(version))},
                 {"items", item_list(output.items(), 1)}},
                0) +
         "\n";
}

}  // namespace mixed::host
