// A pivot table laid out as grids, for the text and HTML writers.
//
// The table's cells are grouped into one block per combination of layer
// categories; within a block the rows are the combinations of row-dimension
// categories that hold at least one cell, the columns likewise for the column
// dimensions, both in the order the categories were declared (group before its
// children, children in order).  The row stub has one label column per level
// of each row dimension's category tree, the column header one header row per
// level of each column dimension's tree; a group's label spans the rows or
// columns of its children.  A cell put twice at the same categories shows the
// value put last.  Footnotes get the markers a, b, c, ... in order of first use
// (title first, then cells block by block, row by row); notes with the same
// display text share a marker.  Nothing here escapes or pads text: the writers
// do that.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "host/catalogue.h"
#include "host/output.h"

namespace mixed::host {

// One label of the row stub or of the column header.
struct GridLabel {
  std::string text;  // display text
  int first = 0;     // first row (stub) or column (header) spanned
  int count = 1;     // rows (stub) or columns (header) spanned
  int level = 0;     // stub column (stub) or header row (header) where it starts
  int depth = 1;     // stub columns spanned to the right, or header rows spanned downwards
};

struct GridBlock {
  std::vector<std::string> layers;  // "dimension: category" for each layer dimension
  int n_rows = 0;
  int n_cols = 0;
  int stub_columns = 0;                // label columns of all row dimensions together
  int header_rows = 1;                 // at least 1: the stub titles stand in the last one
  std::vector<GridLabel> stub_titles;  // row dimensions' labels: level and depth in stub columns
  std::vector<GridLabel> row_labels;   // sorted by first row, then level
  std::vector<GridLabel> col_labels;   // sorted by header row, then first column
  std::vector<long> cells;             // n_rows * n_cols: index into the table's cells, or -1
  std::vector<bool> numeric_column;    // a column holding at least one number

  const Cell* at(const PivotTable& t, int row, int col) const {
    long i = cells[static_cast<std::size_t>(row) * n_cols + col];
    return i < 0 ? nullptr : &t.cells()[static_cast<std::size_t>(i)];
  }
};

struct Footnote {
  std::string marker;  // "a", "b", ..., "z", "aa", ...
  std::string text;    // display text
};

struct GridLayout {
  std::string title;                      // display text
  std::string split;                      // "a = 1, b = 2", or "" without split
  std::string title_markers;              // "a,b" or ""
  std::vector<std::string> cell_markers;  // per cell of the table: "a,b" or ""
  std::vector<GridBlock> blocks;
  std::vector<Footnote> footnotes;
};

// The layout of `table` with every text shown through `catalogue`.
GridLayout lay_out(const PivotTable& table, const Catalogue& catalogue);

// The display of a cell's value without footnote markers: format_number for a
// number, the display text for a text, "." for system-missing.
std::string cell_display(const CellValue& value, const Catalogue& catalogue);

// The split values of a table or message as "name = value, name = value".
std::string split_display(const Split& split, const Catalogue& catalogue);

// Width of a UTF-8 text in code points.
std::size_t display_width(const std::string& s);

}  // namespace mixed::host
