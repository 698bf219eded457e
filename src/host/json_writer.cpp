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
    case Axis::Row:
      return "row";
    case Axis::Column:
      return "column";
    case Axis::Layer:
      break;
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

Json cell_value(const CellValue& v) {
  switch (v.kind) {
    case CellValue::Kind::Number:
      return number(v.number, v.format);
    case CellValue::Kind::Text:
      return v.text.json();
    case CellValue::Kind::Missing:
      break;
  }
  return nullptr;
}

Json table_json(const PivotTable& t) {
  const auto& dims = t.dimensions();
  const std::vector<std::string> names = dimension_names(dims);
  Json dims_json = Json::array();
  for (std::size_t d = 0; d < dims.size(); ++d)
    dims_json.push_back({{"name", names[d]}, {"axis", axis_name(dims[d].axis)}});

  Json cells = Json::array();
  for (const Cell& c : t.cells()) {
    Json at = Json::object();
    for (std::size_t d = 0; d < dims.size() && d < c.at.size(); ++d) {
      Json path = Json::array();
      if (c.at[d] >= 0 && c.at[d] < static_cast<int>(dims[d].categories.size()))
        for (int cat : dims[d].path(c.at[d])) path.push_back(dims[d].categories[cat].label.json());
      at[names[d]] = std::move(path);
    }
    cells.push_back({{"at", std::move(at)},
                     {"value", cell_value(c.value)},
                     {"text", cell_display(c.value, Catalogue::english())},
                     {"notes", texts(c.notes)}});
  }
  return {{"kind", "table"},       {"title", t.title().json()}, {"name", t.name().json()},
          {"split", split_json(t.split())}, {"notes", texts(t.notes())},  {"dims", std::move(dims_json)},
          {"cells", std::move(cells)}};
}

Json items_json(const std::vector<Item>& items);

struct ItemJson {
  Json operator()(const Heading& h) const {
    return {{"kind", "heading"}, {"title", h.title.json()}, {"items", items_json(h.items)}};
  }
  Json operator()(const PivotTable& t) const { return table_json(t); }
  Json operator()(const Message& m) const {
    return {{"kind", "message"},
            {"severity", m.severity == Severity::Error ? "error" : "warning"},
            {"number", m.number ? Json(*m.number) : Json(nullptr)},
            {"text", m.text.json()},
            {"split", split_json(m.split)}};
  }
  Json operator()(const Notes& n) const {
    Json entries = Json::array();
    for (const NotesEntry& e : n.entries) entries.push_back({{"label", e.label.json()}, {"value", e.value.json()}});
    return {{"kind", "notes"}, {"title", n.title.json()}, {"entries", std::move(entries)}};
  }
};

Json items_json(const std::vector<Item>& items) {
  Json list = Json::array();
  for (const Item& item : items) list.push_back(std::visit(ItemJson{}, item));
  return list;
}

// Texts from the data need not be valid UTF-8; what is not is replaced rather
// than failing the whole document.
std::string compact(const Json& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace); }

bool expanded(const Json& j) { return j.is_object() && (j.contains("items") || j.contains("cells")); }

// The document, its headings and tables spread over lines, one item, cell or
// smaller value per line, so that a report reads and compares line by line.
void emit(const Json& j, int depth, std::string& out) {
  if (!expanded(j)) {
    out += compact(j);
    return;
  }
  const std::string indent(2 * depth + 2, ' ');
  out += "{";
  bool first = true;
  for (auto it = j.begin(); it != j.end(); ++it) {
    out += first ? "\n" : ",\n";
    first = false;
    out += indent + compact(it.key()) + ": ";
    const bool list = (it.key() == "items" || it.key() == "cells") && it->is_array() && !it->empty();
    if (!list) {
      out += compact(*it);
      continue;
    }
    out += "[";
    for (std::size_t i = 0; i < it->size(); ++i) {
      out += (i == 0 ? "\n" : ",\n") + indent + "  ";
      emit((*it)[i], depth + 2, out);
    }
    out += "\n" + indent + "]";
  }
  out += "\n" + std::string(2 * depth, ' ') + "}";
}

}  // namespace

std::string write_json(const Output& output, std::string_view version) {
  Json doc = {{"program", "mixed"}, {"version", std::string(version)}, {"items", items_json(output.items())}};
  std::string out;
  emit(doc, 0, out);
  return out + "\n";
}

}  // namespace mixed::host
