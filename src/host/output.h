// The output document: headings, pivot tables, messages and notes, collected in
// the order the procedure produces them and rendered at the end of the run by
// the three writers (JSON, plain text, HTML).
//
// A pivot table has dimensions, each on an axis and holding a tree of
// categories (a category with children is a group); a cell is located by one
// category of every dimension (a leaf, or a group that has no children yet),
// in the order the dimensions were declared.  Footnotes attach to the title or
// to a cell.  Cells keep the order in which they were put.
//
// Issuing an error-severity message sets the engine error flag, which the
// procedure tests after every stage.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "host/text.h"

namespace mixed::host {

enum class Axis { Row, Column, Layer };
enum class Severity { Warning = 2, Error = 3 };

// One split variable with its value in the current split group.
struct SplitValue {
  std::string variable;
  bool numeric = true;
  double number = 0.0;  // numeric value
  std::string string;   // string value, trailing blanks removed
  Text shown;           // the value as the dictionary formats it, with its label
};
using Split = std::vector<SplitValue>;  // empty when the file is not split

// A cell value: a number with its format, a text, or system-missing.
struct CellValue {
  enum class Kind { Number, Text, Missing };
  Kind kind = Kind::Missing;
  double number = 0.0;
  Format format;
  Text text;

  static CellValue num(double v, Format f);  // NaN becomes Missing
  static CellValue str(Text t);
  static CellValue missing(Format f = Format::genstat());
};

struct Category {
  Text label;
  int parent = -1;            // index of the enclosing group, -1 at the top
  std::vector<int> children;  // non-empty for a group
};

struct Dimension {
  Text label;
  Axis axis = Axis::Row;
  std::vector<Category> categories;  // in the order they were added
  // Top-level categories in order.
  std::vector<int> roots() const;
  // The path of category indices from the outermost group to `cat`.
  std::vector<int> path(int cat) const;
};

struct Cell {
  std::vector<int> at;  // one category index per dimension
  CellValue value;
  std::vector<Text> notes;
};

class PivotTable {
 public:
  PivotTable(Text title, Text name);

  int add_dimension(Text label, Axis axis);
  // Adds a category (or group) to dimension `dim`, inside group `parent`.
  int add_category(int dim, Text label, int parent = -1);
  // The category of `dim` with this label inside `parent`, added when absent.
  int category(int dim, const Text& label, int parent = -1);

  // Puts a cell; `at` holds one category index per dimension.  Returns its index.
  std::size_t put(std::span<const int> at, CellValue value);
  std::size_t put(std::initializer_list<int> at, CellValue value) {
    return put(std::span<const int>(at.begin(), at.size()), std::move(value));
  }
  void note_cell(std::size_t cell, Text note);
  void note(Text note);  // footnote on the title

  const Text& title() const { return title_; }
  const Text& name() const { return name_; }
  void set_title(Text t) { title_ = std::move(t); }
  const std::vector<Dimension>& dimensions() const { return dims_; }
  std::vector<Dimension>& dimensions() { return dims_; }
  const std::vector<Cell>& cells() const { return cells_; }
  const std::vector<Text>& notes() const { return notes_; }
  const Split& split() const { return split_; }
  void set_split(Split s) { split_ = std::move(s); }

  // The cell at exactly these categories, or nullptr (for tests and writers).
  const Cell* find(std::span<const int> at) const;

 private:
  Text title_;
  Text name_;
  std::vector<Dimension> dims_;
  std::vector<Cell> cells_;
  std::vector<Text> notes_;
  Split split_;
};

struct Message {
  Severity severity = Severity::Warning;
  std::optional<int> number;  // catalogue number; none for texts built outside the catalogues
  int msg_class = 2;          // 3 for syntax messages of the subcommand parsers, 2 otherwise
  Text text;
  Split split;
};

struct NotesEntry {
  Text label;
  Text value;
};
struct Notes {
  Text title;
  std::vector<NotesEntry> entries;
};

struct Heading;
using Item = std::variant<Heading, PivotTable, Message, Notes>;

struct Heading {
  Text title;
  std::vector<Item> items;
};

class Output {
 public:
  Output();

  void begin_heading(Text title);
  void end_heading();
  int heading_depth() const { return static_cast<int>(open_.size()); }

  void add(PivotTable table);  // the table takes the current split
  void message(Severity severity, std::optional<int> number, Text text, int msg_class = 2);
  void notes(Notes notes);

  // The values of the split variables in the group now read.
  void set_split(Split split) { split_ = std::move(split); }
  const Split& split() const { return split_; }
  // The current split as the groups of a "[%1=%2:,^1=^2:]" repeat list.
  std::vector<TextGroup> split_list() const;

  bool error_flag() const { return error_flag_; }
  void clear_error_flag() { error_flag_ = false; }
  int error_count() const { return errors_; }
  int warning_count() const { return warnings_; }

  const std::vector<Item>& items() const { return items_; }

 private:
  std::vector<Item>& current();

  std::vector<Item> items_;
  std::vector<std::vector<std::size_t>> open_;  // path of indices to each open heading
  Split split_;
  bool error_flag_ = false;
  int errors_ = 0;
  int warnings_ = 0;
};

}  // namespace mixed::host
