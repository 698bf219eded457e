// The HTML report: one self-contained page (inline style sheet, no scripts, no
// external resources) with an outline of the headings and tables, then the
// content.  Tables use rowspan and colspan for the groups of their categories;
// footnotes are <sup> markers with their texts under the table; system-missing
// cells are empty.  Every text from the data or the command is escaped.
#include <algorithm>
#include <string>
#include <variant>
#include <vector>

#include "host/pivot_layout.h"
#include "host/writers.h"

namespace mixed::host {

namespace {

const char* const kStyle = R"(
body{font-family:system-ui,-apple-system,"Segoe UI",Helvetica,Arial,sans-serif;margin:0;
  color:#1b1b1b;display:flex}
nav.outline{width:18rem;flex:none;height:100vh;overflow:auto;position:sticky;top:0;
  background:#f4f5f7;border-right:1px solid #d0d4da;padding:1rem;box-sizing:border-box;
  font-size:.9rem}
nav.outline ul{list-style:none;padding-left:1rem;margin:.2rem 0}
nav.outline>ul{padding-left:0}
nav.outline a{color:#1f4e8c;text-decoration:none}
nav.outline a:hover{text-decoration:underline}
main{padding:1rem 2rem;flex:auto;min-width:0}
h1{font-size:1.5rem}
section.heading{margin-left:.5rem}
div.pivot{margin:1.2rem 0 2rem 0;overflow-x:auto}
table.pivot{border-collapse:collapse;margin-bottom:.4rem}
table.pivot caption{text-align:left;font-weight:600;padding-bottom:.4rem}
table.pivot caption .split,table.pivot caption .layer{display:block;font-weight:400;font-size:.9rem;
  color:#444}
table.pivot th,table.pivot td{padding:.15rem .6rem;border-bottom:1px solid #e2e5e9}
table.pivot thead th{border-bottom:1px solid #8a939e;text-align:center;vertical-align:bottom}
table.pivot thead th.stub{text-align:left}
table.pivot tbody th{text-align:left;font-weight:400;vertical-align:top}
td.num{text-align:right;font-variant-numeric:tabular-nums;white-space:nowrap}
td.text{text-align:left}
sup{font-size:.7em;color:#555}
div.footnotes p{margin:.1rem 0;font-size:.85rem}
div.message{margin:.8rem 0;padding:.5rem .8rem;border-left:4px solid}
div.message.error{background:#fdecea;border-color:#c62828}
div.message.warning{background:#fff8e1;border-color:#f9a825}
div.message .severity{font-weight:600;margin-right:.4rem}
table.notes{border-collapse:collapse;margin:1rem 0}
table.notes caption{text-align:left;font-weight:600;padding-bottom:.3rem}
table.notes th,table.notes td{text-align:left;padding:.15rem .6rem;border-bottom:1px solid #e2e5e9;
  vertical-align:top}
)";

std::string escape(const std::string& s) {
  std::string out;
  out.reserve(s.size() + s.size() / 8);
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string sup(const std::string& markers) {
  return markers.empty() ? std::string() : "<sup>" + escape(markers) + "</sup>";
}

std::string span_attrs(int rows, int cols) {
  std::string s;
  if (rows > 1) s += " rowspan=\"" + std::to_string(rows) + "\"";
  if (cols > 1) s += " colspan=\"" + std::to_string(cols) + "\"";
  return s;
}

// Marks the grid positions covered by a label; returns false, marking nothing,
// when the label would overlap a covered position or leave the grid.
bool cover(std::vector<char>& covered, int width, int row, int col, int rows, int cols) {
  const int height = static_cast<int>(covered.size()) / width;
  if (row + rows > height || col + cols > width) return false;
  for (int r = row; r < row + rows; ++r)
    for (int c = col; c < col + cols; ++c)
      if (covered[static_cast<std::size_t>(r) * width + c]) return false;
  for (int r = row; r < row + rows; ++r)
    for (int c = col; c < col + cols; ++c) covered[static_cast<std::size_t>(r) * width + c] = 1;
  return true;
}

void write_header(const GridBlock& b, std::string& out) {
  const int width = b.n_cols;
  std::vector<char> covered(static_cast<std::size_t>(b.header_rows) * width, 0);
  out += "<thead>\n";
  for (int h = 0; h < b.header_rows; ++h) {
    std::vector<const GridLabel*> starts(width, nullptr);
    for (const GridLabel& l : b.col_labels)
      if (l.level == h && l.first < width) starts[l.first] = &l;
    out += "<tr>";
    if (b.stub_columns > 0 && h == 0 && b.header_rows > 1)
      out += "<th class=\"stub\"" + span_attrs(b.header_rows - 1, b.stub_columns) + "></th>";
    if (b.stub_columns > 0 && h == b.header_rows - 1)
      for (const GridLabel& s : b.stub_titles)
        out += "<th class=\"stub\" scope=\"col\"" + span_attrs(1, s.depth) + ">" + escape(s.text) + "</th>";
    for (int c = 0; c < width; ++c) {
      if (covered[static_cast<std::size_t>(h) * width + c]) continue;
      const GridLabel* l = starts[c];
      if (l != nullptr && cover(covered, width, h, c, l->depth, l->count))
        out += "<th scope=\"col\"" + span_attrs(l->depth, l->count) + ">" + escape(l->text) + "</th>";
      else
        out += "<th></th>";
    }
    out += "</tr>\n";
  }
  out += "</thead>\n";
}

void write_body(const PivotTable& t, const GridLayout& g, const GridBlock& b, const Catalogue& catalogue,
                std::string& out) {
  const int stub = b.stub_columns;
  std::vector<char> covered(static_cast<std::size_t>(b.n_rows) * std::max(stub, 1), 0);
  std::size_t next = 0;
  out += "<tbody>\n";
  for (int r = 0; r < b.n_rows; ++r) {
    std::vector<const GridLabel*> starts(stub, nullptr);
    for (; next < b.row_labels.size() && b.row_labels[next].first == r; ++next)
      if (b.row_labels[next].level < stub) starts[b.row_labels[next].level] = &b.row_labels[next];
    out += "<tr>";
    for (int c = 0; c < stub; ++c) {
      if (covered[static_cast<std::size_t>(r) * stub + c]) continue;
      const GridLabel* l = starts[c];
      if (l != nullptr && cover(covered, stub, r, c, l->count, l->depth))
        out += "<th scope=\"row\"" + span_attrs(l->count, l->depth) + ">" + escape(l->text) + "</th>";
      else
        out += "<th></th>";
    }
    for (int c = 0; c < b.n_cols; ++c) {
      const Cell* cell = b.at(t, r, c);
      if (cell == nullptr) {
        out += "<td></td>";
        continue;
      }
      const std::string marks = sup(g.cell_markers[static_cast<std::size_t>(cell - t.cells().data())]);
      switch (cell->value.kind) {
        case CellValue::Kind::Number:
          out += "<td class=\"num\">" + escape(cell_display(cell->value, catalogue)) + marks + "</td>";
          break;
        case CellValue::Kind::Text:
          out += "<td class=\"text\">" + escape(cell->value.text.display(catalogue)) + marks + "</td>";
          break;
        case CellValue::Kind::Missing: out += "<td class=\"num missing\">" + marks + "</td>"; break;
      }
    }
    out += "</tr>\n";
  }
  out += "</tbody>\n";
}

// Writes the headings and tables into the content and, with their anchors,
// into the outline.
class PageWriter {
 public:
  explicit PageWriter(const Catalogue& catalogue) : catalogue_(catalogue) {}

  void items(const std::vector<Item>& items, int depth) {
    for (const Item& item : items) std::visit([&](const auto& x) { write(x, depth); }, item);
  }

  std::string outline;
  std::string content;

 private:
  std::string anchor() { return "item-" + std::to_string(++anchors_); }

  void outline_entry(const std::string& id, const std::string& title) {
    outline += "<li><a href=\"#" + id + "\">" + escape(title) + "</a>";
  }

  void write(const Heading& h, int depth) {
    const std::string id = anchor();
    const std::string title = h.title.display(catalogue_);
    const std::string tag = "h" + std::to_string(std::min(depth + 2, 6));
    outline_entry(id, title);
    outline += "<ul>\n";
    content += "<section class=\"heading\">\n";
    content += "<" + tag + " id=\"" + id + "\">" + escape(title) + "</" + tag + ">\n";
    items(h.items, depth + 1);
    content += "</section>\n";
    outline += "</ul></li>\n";
  }

  void write(const PivotTable& t, int) {
    const GridLayout g = lay_out(t, catalogue_);
    if (g.blocks.empty() && g.footnotes.empty()) return;
    const std::string id = anchor();
    outline_entry(id, g.title);
    outline += "</li>\n";
    content += "<div class=\"pivot\" id=\"" + id + "\">\n";
    auto caption = [&](const GridBlock* b) {
      std::string c = "<caption><span class=\"title\">" + escape(g.title) + sup(g.title_markers) + "</span>";
      if (!g.split.empty()) c += "<span class=\"split\">Split: " + escape(g.split) + "</span>";
      if (b != nullptr)
        for (const std::string& layer : b->layers) c += "<span class=\"layer\">" + escape(layer) + "</span>";
      return c + "</caption>\n";
    };
    if (g.blocks.empty()) content += "<table class=\"pivot\">" + caption(nullptr) + "</table>\n";
    for (const GridBlock& b : g.blocks) {
      content += "<table class=\"pivot\">\n" + caption(&b);
      write_header(b, content);
      write_body(t, g, b, catalogue_, content);
      content += "</table>\n";
    }
    if (!g.footnotes.empty()) {
      content += "<div class=\"footnotes\">\n";
      for (const Footnote& f : g.footnotes)
        content += "<p><sup>" + escape(f.marker) + "</sup> " + escape(f.text) + "</p>\n";
      content += "</div>\n";
    }
    content += "</div>\n";
  }

  void write(const Message& m, int) {
    const bool error = m.severity == Severity::Error;
    std::string lead = error ? "Error" : "Warning";
    if (m.number) lead += " # " + std::to_string(*m.number);
    content += std::string("<div class=\"message ") + (error ? "error" : "warning") + "\">";
    content += "<span class=\"severity\">" + escape(lead) + ":</span> " + escape(m.text.display(catalogue_));
    content += "</div>\n";
  }

  void write(const Notes& n, int) {
    content += "<table class=\"notes\"><caption>" + escape(n.title.display(catalogue_)) + "</caption>\n";
    content += "<tbody>\n";
    for (const NotesEntry& e : n.entries)
      content += "<tr><th scope=\"row\">" + escape(e.label.display(catalogue_)) + "</th><td>" +
                 escape(e.value.display(catalogue_)) + "</td></tr>\n";
    content += "</tbody></table>\n";
  }

  const Catalogue& catalogue_;
  int anchors_ = 0;
};

}  // namespace

std::string write_html(const Output& output, const Catalogue& catalogue, std::string_view title) {
  PageWriter page(catalogue);
  page.items(output.items(), 0);
  const std::string t = escape(std::string(title));
  std::string out;
  out += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
  out += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
  out += "<title>" + t + "</title>\n<style>\n" + kStyle + "</style>\n</head>\n<body>\n";
  out += "<nav class=\"outline\">\n<ul>\n" + page.outline + "</ul>\n</nav>\n";
  out += "<main>\n<h1>" + t + "</h1>\n" + page.content + "</main>\n</body>\n</html>\n";
  return out;
}

}  // namespace mixed::host
