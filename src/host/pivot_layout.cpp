#include "host/pivot_layout.h"

#include <algorithm>
#include <map>
#include <unordered_map>

namespace mixed::host {

namespace {

// Every category's position in declaration order: a group before its children,
// children in the order they were added.
std::vector<int> preorder(const Dimension& d) {
  std::vector<int> pos(d.categories.size(), -1);
  int next = 0;
  std::vector<int> stack;
  std::vector<int> roots = d.roots();
  for (auto it = roots.rbegin(); it != roots.rend(); ++it) stack.push_back(*it);
  while (!stack.empty()) {
    int c = stack.back();
    stack.pop_back();
    if (pos[c] >= 0) continue;
    pos[c] = next++;
    const auto& ch = d.categories[c].children;
    for (auto it = ch.rbegin(); it != ch.rend(); ++it) stack.push_back(*it);
  }
  for (int& p : pos)
    if (p < 0) p = next++;
  return pos;
}

// Bijective base 26: a, b, ..., z, aa, ab, ...
std::string marker_name(std::size_t i) {
  std::string s;
  for (++i; i > 0; i /= 26) {
    --i;
    s.insert(s.begin(), static_cast<char>('a' + i % 26));
  }
  return s;
}

struct VectorHash {
  std::size_t operator()(const std::vector<int>& v) const {
    std::size_t h = 1469598103934665603ull;
    for (int x : v) h = (h ^ static_cast<std::size_t>(x)) * 1099511628211ull;
    return h;
  }
};

bool valid_cell(const Cell& c, const std::vector<Dimension>& dims) {
  if (c.at.size() != dims.size()) return false;
  for (std::size_t d = 0; d < dims.size(); ++d)
    if (c.at[d] < 0 || c.at[d] >= static_cast<int>(dims[d].categories.size())) return false;
  return true;
}

// The dimensions of one axis with their category positions.
struct AxisDims {
  std::vector<int> dims;                   // indices into the table's dimensions
  std::vector<std::vector<int>> position;  // per dimension of the axis: category -> position
  std::vector<std::vector<int>> category;  // per dimension of the axis: position -> category
};

AxisDims axis_dims(const std::vector<Dimension>& dims, Axis axis) {
  AxisDims a;
  for (std::size_t d = 0; d < dims.size(); ++d) {
    if (dims[d].axis != axis) continue;
    a.dims.push_back(static_cast<int>(d));
    std::vector<int> pos = preorder(dims[d]);
    std::vector<int> cat(pos.size());
    for (std::size_t c = 0; c < pos.size(); ++c) cat[pos[c]] = static_cast<int>(c);
    a.position.push_back(std::move(pos));
    a.category.push_back(std::move(cat));
  }
  return a;
}

std::vector<int> key_of(const Cell& c, const AxisDims& a) {
  std::vector<int> k(a.dims.size());
  for (std::size_t i = 0; i < a.dims.size(); ++i) k[i] = a.position[i][c.at[a.dims[i]]];
  return k;
}

// The labels of an axis: one run of rows (or columns) per category path
// element, the leaf spanning the remaining levels of its dimension.  `keys` are
// the sorted combinations of category positions along the axis; `offset` gives
// each dimension's first level.
std::vector<GridLabel> axis_labels(const std::vector<std::vector<int>>& keys, const AxisDims& a,
                                   const std::vector<Dimension>& dims, const std::vector<int>& offset,
                                   const std::vector<int>& depth, const Catalogue& catalogue) {
  std::vector<GridLabel> labels;
  std::vector<std::vector<int>> open(a.dims.size());
  std::vector<std::vector<int>> prev_path(a.dims.size());
  for (std::size_t r = 0; r < keys.size(); ++r) {
    bool same_outer = r > 0;
    for (std::size_t k = 0; k < a.dims.size(); ++k) {
      const Dimension& dim = dims[a.dims[k]];
      std::vector<int> path = dim.path(a.category[k][keys[r][k]]);
      open[k].resize(std::max(open[k].size(), path.size()), -1);
      for (std::size_t l = 0; l < path.size(); ++l) {
        const bool leaf = l + 1 == path.size();
        const auto& pp = prev_path[k];
        const bool continues =
            same_outer && pp.size() > l && pp[l] == path[l] && (l + 1 == pp.size()) == leaf && open[k][l] >= 0;
        if (continues) {
          ++labels[open[k][l]].count;
          continue;
        }
        same_outer = false;
        GridLabel g;
        g.text = dim.categories[path[l]].label.display(catalogue);
        g.first = static_cast<int>(r);
        g.level = offset[k] + static_cast<int>(l);
        g.depth = leaf ? depth[k] - static_cast<int>(l) : 1;
        open[k][l] = static_cast<int>(labels.size());
        labels.push_back(std::move(g));
      }
      same_outer = same_outer && prev_path[k] == path;
      prev_path[k] = std::move(path);
    }
  }
  return labels;
}

// Levels of each dimension of an axis: the longest category path used.
std::vector<int> axis_depths(const std::vector<std::vector<int>>& keys, const AxisDims& a,
                             const std::vector<Dimension>& dims) {
  std::vector<int> depth(a.dims.size(), 1);
  for (const auto& key : keys)
    for (std::size_t k = 0; k < a.dims.size(); ++k) {
      int len = static_cast<int>(dims[a.dims[k]].path(a.category[k][key[k]]).size());
      depth[k] = std::max(depth[k], len);
    }
  return depth;
}

std::vector<int> offsets(const std::vector<int>& depth) {
  std::vector<int> off(depth.size(), 0);
  for (std::size_t k = 1; k < depth.size(); ++k) off[k] = off[k - 1] + depth[k - 1];
  return off;
}

int total(const std::vector<int>& depth) {
  int s = 0;
  for (int d : depth) s += d;
  return s;
}

GridBlock make_block(const PivotTable& t, const std::vector<long>& cells, const AxisDims& rows, const AxisDims& cols,
                     const Catalogue& catalogue) {
  const auto& dims = t.dimensions();
  std::map<std::vector<int>, int> row_index, col_index;
  for (long i : cells) {
    row_index.emplace(key_of(t.cells()[i], rows), 0);
    col_index.emplace(key_of(t.cells()[i], cols), 0);
  }
  std::vector<std::vector<int>> row_keys, col_keys;
  for (auto& [key, idx] : row_index) {
    idx = static_cast<int>(row_keys.size());
    row_keys.push_back(key);
  }
  for (auto& [key, idx] : col_index) {
    idx = static_cast<int>(col_keys.size());
    col_keys.push_back(key);
  }

  GridBlock b;
  b.n_rows = static_cast<int>(row_keys.size());
  b.n_cols = static_cast<int>(col_keys.size());
  b.cells.assign(static_cast<std::size_t>(b.n_rows) * b.n_cols, -1);
  b.numeric_column.assign(b.n_cols, false);
  for (long i : cells) {
    const Cell& c = t.cells()[i];
    int r = row_index[key_of(c, rows)];
    int col = col_index[key_of(c, cols)];
    b.cells[static_cast<std::size_t>(r) * b.n_cols + col] = i;
    if (c.value.kind != CellValue::Kind::Text) b.numeric_column[col] = true;
  }

  std::vector<int> row_depth = axis_depths(row_keys, rows, dims);
  std::vector<int> row_offset = offsets(row_depth);
  b.stub_columns = rows.dims.empty() ? 0 : total(row_depth);
  for (std::size_t k = 0; k < rows.dims.size(); ++k) {
    GridLabel g;
    g.text = dims[rows.dims[k]].label.display(catalogue);
    g.level = row_offset[k];
    g.depth = row_depth[k];
    b.stub_titles.push_back(std::move(g));
  }
  b.row_labels = axis_labels(row_keys, rows, dims, row_offset, row_depth, catalogue);

  std::vector<int> col_depth = axis_depths(col_keys, cols, dims);
  b.header_rows = cols.dims.empty() ? 1 : std::max(1, total(col_depth));
  b.col_labels = axis_labels(col_keys, cols, dims, offsets(col_depth), col_depth, catalogue);
  std::stable_sort(b.col_labels.begin(), b.col_labels.end(),
                   [](const GridLabel& x, const GridLabel& y) { return x.level < y.level; });
  return b;
}

std::string layer_line(const Dimension& d, int cat, const Catalogue& catalogue) {
  std::string s = d.label.display(catalogue) + ": ";
  std::vector<int> path = d.path(cat);
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (i > 0) s += " / ";
    s += d.categories[path[i]].label.display(catalogue);
  }
  return s;
}

}  // namespace

std::size_t display_width(const std::string& s) {
  std::size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

std::string cell_display(const CellValue& value, const Catalogue& catalogue) {
  switch (value.kind) {
    case CellValue::Kind::Number: return format_number(value.number, value.format);
    case CellValue::Kind::Text: return value.text.display(catalogue);
    case CellValue::Kind::Missing: break;
  }
  return ".";
}

std::string split_display(const Split& split, const Catalogue& catalogue) {
  std::string s;
  for (const SplitValue& v : split) {
    if (!s.empty()) s += ", ";
    s += v.variable + " = ";
    if (!v.shown.empty())
      s += v.shown.display(catalogue);
    else if (v.numeric)
      s += format_number(v.number, Format::n_or_coefficient());
    else
      s += v.string;
  }
  return s;
}

GridLayout lay_out(const PivotTable& t, const Catalogue& catalogue) {
  GridLayout g;
  g.title = t.title().display(catalogue);
  g.split = split_display(t.split(), catalogue);
  const auto& dims = t.dimensions();
  const auto& cells = t.cells();

  // The cell put last at each coordinate wins.
  std::unordered_map<std::vector<int>, long, VectorHash> latest;
  for (std::size_t i = 0; i < cells.size(); ++i)
    if (valid_cell(cells[i], dims)) latest[cells[i].at] = static_cast<long>(i);
  std::vector<long> shown;
  shown.reserve(latest.size());
  for (const auto& [at, i] : latest) shown.push_back(i);
  std::sort(shown.begin(), shown.end());

  AxisDims rows = axis_dims(dims, Axis::Row);
  AxisDims cols = axis_dims(dims, Axis::Column);
  AxisDims layers = axis_dims(dims, Axis::Layer);
  std::map<std::vector<int>, std::vector<long>> by_layer;
  for (long i : shown) by_layer[key_of(cells[i], layers)].push_back(i);
  for (const auto& [key, members] : by_layer) {
    GridBlock b = make_block(t, members, rows, cols, catalogue);
    for (std::size_t k = 0; k < layers.dims.size(); ++k)
      b.layers.push_back(layer_line(dims[layers.dims[k]], layers.category[k][key[k]], catalogue));
    g.blocks.push_back(std::move(b));
  }

  std::unordered_map<std::string, std::size_t> marker_of;
  auto markers = [&](const std::vector<Text>& notes) {
    std::string m;
    for (const Text& n : notes) {
      std::string text = n.display(catalogue);
      auto [it, added] = marker_of.emplace(text, g.footnotes.size());
      if (added) g.footnotes.push_back({marker_name(it->second), text});
      if (!m.empty()) m += ',';
      m += g.footnotes[it->second].marker;
    }
    return m;
  };
  g.title_markers = markers(t.notes());
  g.cell_markers.assign(cells.size(), std::string());
  for (const GridBlock& b : g.blocks)
    for (long i : b.cells)
      if (i >= 0 && !cells[i].notes.empty()) g.cell_markers[i] = markers(cells[i].notes);
  return g;
}

}  // namespace mixed::host
