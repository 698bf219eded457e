// The plain-text report: headings underlined, messages one to a paragraph,
// notes as a two-column list, and every pivot table as an aligned grid with the
// row labels on the left, the column headers on top (a group's label centred
// over its children), numbers right-aligned and texts left-aligned, footnote
// markers after the values and the footnotes under the table.  Widths are
// counted in code points.
#include <algorithm>
#include <string>
#include <variant>
#include <vector>

#include "host/pivot_layout.h"
#include "host/writers.h"

namespace mixed::host {

namespace {

constexpr std::size_t kGap = 2;    // spaces between two columns
constexpr std::size_t kWrap = 79;  // line length of running text
const char* const kUnderline = "=-~";

std::string spaces(std::size_t n) { return std::string(n, ' '); }

std::string pad_right(const std::string& s, std::size_t width) {
  std::size_t w = display_width(s);
  return w >= width ? s : s + spaces(width - w);
}

std::string pad_left(const std::string& s, std::size_t width) {
  std::size_t w = display_width(s);
  return w >= width ? s : spaces(width - w) + s;
}

std::string centre(const std::string& s, std::size_t width) {
  std::size_t w = display_width(s);
  if (w >= width) return s;
  std::size_t left = (width - w) / 2;
  return spaces(left) + s + spaces(width - w - left);
}

void rtrim(std::string& s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
}

// `text` broken at blanks into lines of at most `width` code points (a longer
// word stays whole); lines after the first are indented by `indent`.
std::string wrap(const std::string& text, std::size_t width, std::size_t indent) {
  std::string out, line;
  std::size_t used = 0;
  bool fresh = true;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = std::min(text.find(' ', start), text.size());
    std::string word = text.substr(start, end - start);
    start = end + 1;
    if (word.empty()) continue;
    std::size_t w = display_width(word);
    if (!fresh && used + 1 + w > width) {
      out += line + "\n";
      line = spaces(indent);
      used = indent;
      fresh = true;
    }
    if (!fresh) {
      line += ' ';
      ++used;
    }
    line += word;
    used += w;
    fresh = false;
  }
  return out + line;
}

std::string underlined(const std::string& title, int depth) {
  char c = kUnderline[std::min<std::size_t>(static_cast<std::size_t>(depth), 2)];
  return title + "\n" + std::string(std::max<std::size_t>(display_width(title), 1), c) + "\n";
}

// One piece of a line: `text` placed at column `x`.
struct Piece {
  std::size_t x;
  std::string text;
};

std::string compose(std::vector<Piece> pieces) {
  std::stable_sort(pieces.begin(), pieces.end(), [](const Piece& a, const Piece& b) { return a.x < b.x; });
  std::string line;
  std::size_t cur = 0;
  for (const Piece& p : pieces) {
    if (p.x > cur) {
      line += spaces(p.x - cur);
      cur = p.x;
    }
    line += p.text;
    cur += display_width(p.text);
  }
  rtrim(line);
  return line;
}

// Widths of a run of columns and of the gaps between them.
std::size_t span_width(const std::vector<std::size_t>& w, int first, int count) {
  std::size_t s = kGap * static_cast<std::size_t>(count - 1);
  for (int i = first; i < first + count; ++i) s += w[i];
  return s;
}

// Widens the last column of a run so that `need` fits across it.
void fit(std::vector<std::size_t>& w, int first, int count, std::size_t need) {
  std::size_t have = span_width(w, first, count);
  if (need > have) w[first + count - 1] += need - have;
}

void fit_labels(std::vector<std::size_t>& w, const std::vector<GridLabel>& labels, bool across_levels) {
  std::vector<const GridLabel*> order;
  for (const GridLabel& g : labels) order.push_back(&g);
  auto span = [&](const GridLabel* g) { return across_levels ? g->depth : g->count; };
  std::stable_sort(order.begin(), order.end(),
                   [&](const GridLabel* a, const GridLabel* b) { return span(a) < span(b); });
  for (const GridLabel* g : order) {
    if (across_levels)
      fit(w, g->level, g->depth, display_width(g->text));
    else
      fit(w, g->first, g->count, display_width(g->text));
  }
}

std::vector<std::size_t> positions(const std::vector<std::size_t>& w, std::size_t x0) {
  std::vector<std::size_t> x(w.size());
  for (std::size_t i = 0; i < w.size(); ++i) {
    x[i] = x0;
    x0 += w[i] + kGap;
  }
  return x;
}

void write_block(const PivotTable& t, const GridLayout& g, const GridBlock& b, const Catalogue& catalogue,
                 std::string& out) {
  std::vector<std::size_t> stub(b.stub_columns, 0), value(b.n_cols, 0), mark(b.n_cols, 0);
  std::vector<std::string> shown(b.cells.size());
  for (int r = 0; r < b.n_rows; ++r)
    for (int c = 0; c < b.n_cols; ++c) {
      std::size_t k = static_cast<std::size_t>(r) * b.n_cols + c;
      if (b.cells[k] < 0) continue;
      shown[k] = cell_display(t.cells()[b.cells[k]].value, catalogue);
      value[c] = std::max(value[c], display_width(shown[k]));
      mark[c] = std::max(mark[c], display_width(g.cell_markers[b.cells[k]]));
    }
  std::vector<std::size_t> col(b.n_cols);
  for (int c = 0; c < b.n_cols; ++c) col[c] = value[c] + mark[c];
  fit_labels(stub, b.row_labels, true);
  fit_labels(stub, b.stub_titles, true);
  // A number column's label ends where its numbers end, so it leaves room for the markers.
  for (const GridLabel& l : b.col_labels)
    if (l.count == 1 && b.numeric_column[l.first])
      col[l.first] = std::max(col[l.first], display_width(l.text) + mark[l.first]);
  fit_labels(col, b.col_labels, false);

  const std::size_t stub_width = b.stub_columns > 0 ? span_width(stub, 0, b.stub_columns) + kGap : 0;
  const std::vector<std::size_t> xs = positions(stub, 0);
  const std::vector<std::size_t> xc = positions(col, stub_width);
  const std::size_t width = stub_width + (b.n_cols > 0 ? span_width(col, 0, b.n_cols) : 0);
  const std::string rule(std::max<std::size_t>(width, 1), '-');

  for (const std::string& layer : b.layers) out += layer + "\n";
  out += rule + "\n";
  std::vector<std::vector<Piece>> header(b.header_rows);
  for (const GridLabel& s : b.stub_titles)
    header.back().push_back({xs[s.level], pad_right(s.text, span_width(stub, s.level, s.depth))});
  for (const GridLabel& l : b.col_labels) {
    std::size_t w = span_width(col, l.first, l.count);
    std::string text = l.count > 1                 ? centre(l.text, w)
                       : b.numeric_column[l.first] ? pad_right(pad_left(l.text, w - mark[l.first]), w)
                                                   : pad_right(l.text, w);
    header[l.level + l.depth - 1].push_back({xc[l.first], text});
  }
  for (auto& pieces : header) out += compose(std::move(pieces)) + "\n";
  out += rule + "\n";

  std::size_t next_label = 0;
  for (int r = 0; r < b.n_rows; ++r) {
    std::vector<Piece> pieces;
    for (; next_label < b.row_labels.size() && b.row_labels[next_label].first == r; ++next_label) {
      const GridLabel& l = b.row_labels[next_label];
      pieces.push_back({xs[l.level], l.text});
    }
    for (int c = 0; c < b.n_cols; ++c) {
      std::size_t k = static_cast<std::size_t>(r) * b.n_cols + c;
      if (b.cells[k] < 0) continue;
      const Cell& cell = t.cells()[b.cells[k]];
      const std::string& m = g.cell_markers[b.cells[k]];
      std::string text =
          cell.value.kind == CellValue::Kind::Text ? shown[k] + m : pad_left(shown[k], col[c] - mark[c]) + m;
      pieces.push_back({xc[c], text});
    }
    out += compose(std::move(pieces)) + "\n";
  }
  out += rule + "\n";
}

void write_table(const PivotTable& t, const Catalogue& catalogue, std::string& out) {
  const GridLayout g = lay_out(t, catalogue);
  if (g.blocks.empty() && g.footnotes.empty()) return;
  out += g.title;
  if (!g.title_markers.empty()) out += " (" + g.title_markers + ")";
  out += "\n";
  if (!g.split.empty()) out += "Split: " + g.split + "\n";
  for (const GridBlock& b : g.blocks) write_block(t, g, b, catalogue, out);
  for (const Footnote& f : g.footnotes) {
    std::string lead = f.marker + ". ";
    out += wrap(lead + f.text, kWrap, display_width(lead)) + "\n";
  }
  out += "\n";
}

std::string severity_word(Severity s) { return s == Severity::Error ? "Error" : "Warning"; }

void write_message(const Message& m, const Catalogue& catalogue, std::string& out) {
  std::string lead = severity_word(m.severity);
  if (m.number) lead += " # " + std::to_string(*m.number);
  lead += ": ";
  out += wrap(lead + m.text.display(catalogue), kWrap, 2) + "\n\n";
}

void write_notes(const Notes& n, const Catalogue& catalogue, std::string& out) {
  out += n.title.display(catalogue) + "\n";
  std::size_t width = 0;
  std::vector<std::pair<std::string, std::string>> rows;
  for (const NotesEntry& e : n.entries) {
    rows.emplace_back(e.label.display(catalogue), e.value.display(catalogue));
    width = std::max(width, display_width(rows.back().first));
  }
  const std::size_t column = 2 + width + kGap;
  for (const auto& [label, value] : rows) {
    std::string text = wrap(value, std::max<std::size_t>(kWrap - std::min(kWrap, column), 20), 0);
    std::string line = "  " + pad_right(label, width) + spaces(kGap);
    for (char c : text) line += c == '\n' ? "\n" + spaces(column) : std::string(1, c);
    rtrim(line);
    out += line + "\n";
  }
  out += "\n";
}

void write_items(const std::vector<Item>& items, const Catalogue& catalogue, int depth, std::string& out);

struct ItemWriter {
  const Catalogue& catalogue;
  int depth;
  std::string& out;
  void operator()(const Heading& h) const {
    out += underlined(h.title.display(catalogue), depth) + "\n";
    write_items(h.items, catalogue, depth + 1, out);
  }
  void operator()(const PivotTable& t) const { write_table(t, catalogue, out); }
  void operator()(const Message& m) const { write_message(m, catalogue, out); }
  void operator()(const Notes& n) const { write_notes(n, catalogue, out); }
};

void write_items(const std::vector<Item>& items, const Catalogue& catalogue, int depth, std::string& out) {
  for (const Item& item : items) std::visit(ItemWriter{catalogue, depth, out}, item);
}

}  // namespace

std::string write_text(const Output& output, const Catalogue& catalogue) {
  std::string out;
  write_items(output.items(), catalogue, 0, out);
  return out;
}

}  // namespace mixed::host
