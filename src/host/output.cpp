#include "host/output.h"

#include <algorithm>
#include <cmath>

namespace mixed::host {

CellValue CellValue::num(double v, Format f) {
  CellValue c;
  c.format = f;
  if (std::isnan(v)) {
    c.kind = Kind::Missing;
  } else {
    c.kind = Kind::Number;
    c.number = v;
  }
  return c;
}

CellValue CellValue::str(Text t) {
  CellValue c;
  c.kind = Kind::Text;
  c.text = std::move(t);
  return c;
}

CellValue CellValue::missing(Format f) {
  CellValue c;
  c.kind = Kind::Missing;
  c.format = f;
  return c;
}

std::vector<int> Dimension::roots() const {
  std::vector<int> r;
  for (int i = 0; i < static_cast<int>(categories.size()); ++i)
    if (categories[i].parent < 0) r.push_back(i);
  return r;
}

std::vector<int> Dimension::path(int cat) const {
  std::vector<int> p;
  for (int c = cat; c >= 0; c = categories[c].parent) p.push_back(c);
  std::reverse(p.begin(), p.end());
  return p;
}

PivotTable::PivotTable(Text title, Text name) : title_(std::move(title)), name_(std::move(name)) {}

int PivotTable::add_dimension(Text label, Axis axis) {
  Dimension d;
  d.label = std::move(label);
  d.axis = axis;
  dims_.push_back(std::move(d));
  return static_cast<int>(dims_.size()) - 1;
}

int PivotTable::add_category(int dim, Text label, int parent) {
  Dimension& d = dims_.at(dim);
  Category c;
  c.label = std::move(label);
  c.parent = parent;
  d.categories.push_back(std::move(c));
  int idx = static_cast<int>(d.categories.size()) - 1;
  if (parent >= 0) d.categories.at(parent).children.push_back(idx);
  return idx;
}

int PivotTable::category(int dim, const Text& label, int parent) {
  const Dimension& d = dims_.at(dim);
  const std::string key = label.json();
  for (int i = 0; i < static_cast<int>(d.categories.size()); ++i)
    if (d.categories[i].parent == parent && d.categories[i].label.json() == key) return i;
  return add_category(dim, label, parent);
}

std::size_t PivotTable::put(std::span<const int> at, CellValue value) {
  Cell c;
  c.at.assign(at.begin(), at.end());
  c.value = std::move(value);
  cells_.push_back(std::move(c));
  return cells_.size() - 1;
}

void PivotTable::note_cell(std::size_t cell, Text note) { cells_.at(cell).notes.push_back(std::move(note)); }

void PivotTable::note(Text note) { notes_.push_back(std::move(note)); }

const Cell* PivotTable::find(std::span<const int> at) const {
  for (const Cell& c : cells_)
    if (std::equal(c.at.begin(), c.at.end(), at.begin(), at.end())) return &c;
  return nullptr;
}

Output::Output() = default;

std::vector<Item>& Output::current() {
  std::vector<Item>* items = &items_;
  if (!open_.empty()) {
    for (std::size_t idx : open_.back()) items = &std::get<Heading>((*items)[idx]).items;
  }
  return *items;
}

void Output::begin_heading(Text title) {
  std::vector<std::size_t> path = open_.empty() ? std::vector<std::size_t>{} : open_.back();
  std::vector<Item>& items = current();
  items.emplace_back(Heading{std::move(title), {}});
  path.push_back(items.size() - 1);
  open_.push_back(std::move(path));
}

void Output::end_heading() {
  if (!open_.empty()) open_.pop_back();
}

void Output::add(PivotTable table) {
  table.set_split(split_);
  current().emplace_back(std::move(table));
}

void Output::message(Severity severity, std::optional<int> number, Text text, int msg_class) {
  Message m;
  m.severity = severity;
  m.number = number;
  m.msg_class = msg_class;
  m.text = std::move(text);
  m.split = split_;
  current().emplace_back(std::move(m));
  if (severity == Severity::Error) {
    error_flag_ = true;
    ++errors_;
  } else {
    ++warnings_;
  }
}

void Output::notes(Notes notes) { current().emplace_back(std::move(notes)); }

std::vector<TextGroup> Output::split_list() const {
  std::vector<TextGroup> groups;
  for (const SplitValue& s : split_) groups.push_back({Text::variable(s.variable), s.shown});
  return groups;
}

}  // namespace mixed::host
