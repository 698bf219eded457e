#include <gtest/gtest.h>

#include <string>

#include "host/output.h"
#include "host/writers.h"

namespace mixed::host {
namespace {

std::size_t count(const std::string& s, const std::string& needle) {
  std::size_t n = 0;
  for (std::size_t p = s.find(needle); p != std::string::npos; p = s.find(needle, p + 1)) ++n;
  return n;
}

// A table whose texts come from a hostile data set: a variable named <b>&"x'
// and a value label holding markup.
Output hostile() {
  Output out;
  out.begin_heading(Text::key("Fixed Effects"));
  out.set_split({SplitValue{"s<1>", false, 0.0, "a&b", Text::data_value("a&b")}});
  PivotTable t(Text::key("Fixed Parameter Estimates"), Text::key("Parameter Estimates"));
  int par = t.add_dimension(Text::key("Parameter"), Axis::Row);
  int stat = t.add_dimension(Text::key("Statistics"), Axis::Column);
  int var = t.add_category(par, Text::variable("<b>&\"x'"));
  int lab = t.add_category(par, Text::data_value("1", "<script>alert(1)</script>"));
  int b0 = t.add_category(stat, Text::key("B0"));
  int ci = t.add_category(stat, Text::key("^1 Confidence Interval").arg("95"));
  int lo = t.add_category(stat, Text::key("Lower Bound"), ci);
  int hi = t.add_category(stat, Text::key("Upper Bound"), ci);
  t.put({var, b0}, CellValue::num(1.5, Format::coefficient()));
  t.put({var, lo}, CellValue::missing(Format::coefficient()));
  t.put({var, hi}, CellValue::str(Text::raw("<i>")));
  std::size_t c = t.put({lab, b0}, CellValue::num(0, Format::count()));
  t.note_cell(c, Text::key("Redundant parameter ..."));
  t.note(Text::key("Dep variable is ^1").arg(Text::variable("<b>&\"x'")));
  out.add(std::move(t));
  out.end_heading();
  out.message(Severity::Error, 6, Text::key("Unrecognized subcommand ^1 ...").arg("</div><b>"), 3);
  out.message(Severity::Warning, std::nullopt, Text::key("Null model fitted ..."));
  out.notes(Notes{Text::key("File Saved"), {{Text::key("Fixed Model Information"), Text::raw("/tmp/a<b>.xml")}}});
  return out;
}

TEST(HtmlWriter, EscapesEveryTextFromTheDataAndTheCommand) {
  const std::string html = write_html(hostile(), Catalogue::english(), "Report for <d>&\"e'");
  EXPECT_EQ(html.find("<b>&"), std::string::npos);
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_EQ(html.find("<i>"), std::string::npos);
  EXPECT_EQ(html.find("</div><b>"), std::string::npos);
  EXPECT_EQ(html.find("<d>"), std::string::npos);
  EXPECT_EQ(html.find("a<b>.xml"), std::string::npos);
  EXPECT_EQ(html.find("s<1>"), std::string::npos);

  EXPECT_EQ(count(html, "&lt;b&gt;&amp;&quot;x&#39;"), 2u) << "row label and title footnote";
  EXPECT_NE(html.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos)
      << "the value label is shown, not the value";
  EXPECT_NE(html.find("&lt;i&gt;"), std::string::npos);
  EXPECT_NE(html.find("Unrecognized subcommand: &lt;/div&gt;&lt;b&gt;."), std::string::npos);
  EXPECT_NE(html.find("<title>Report for &lt;d&gt;&amp;&quot;e&#39;</title>"), std::string::npos);
  EXPECT_NE(html.find("s&lt;1&gt; = a&amp;b"), std::string::npos);
  EXPECT_NE(html.find("/tmp/a&lt;b&gt;.xml"), std::string::npos);
}

TEST(HtmlWriter, SelfContainedPageWithOutlineAndTables) {
  const std::string html = write_html(hostile(), Catalogue::english(), "Report");
  EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos);
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_EQ(html.find("src="), std::string::npos);
  EXPECT_EQ(html.find("http"), std::string::npos) << "no external resources";
  EXPECT_EQ(html.find("<link"), std::string::npos);

  // Every outline entry leads to an anchor in the content.
  EXPECT_NE(html.find("<a href=\"#item-1\">Fixed Effects</a>"), std::string::npos);
  EXPECT_NE(html.find("<a href=\"#item-2\">Estimates of Fixed Effects</a>"), std::string::npos);
  EXPECT_NE(html.find("id=\"item-1\">Fixed Effects<"), std::string::npos);
  EXPECT_NE(html.find("<div class=\"pivot\" id=\"item-2\">"), std::string::npos);
  EXPECT_LT(html.find("<nav"), html.find("<main>"));

  // Groups span their children; labels without a group span the header rows.
  EXPECT_NE(html.find("<th scope=\"col\" colspan=\"2\">95% Confidence Interval</th>"), std::string::npos);
  EXPECT_NE(html.find("<th scope=\"col\" rowspan=\"2\">Estimate</th>"), std::string::npos);
  EXPECT_NE(html.find("<th class=\"stub\" scope=\"col\">Parameter</th>"), std::string::npos);

  // Cells: numbers, an empty cell for system-missing, markers and their notes.
  EXPECT_NE(html.find("<td class=\"num\">1.50000</td>"), std::string::npos);
  EXPECT_NE(html.find("<td class=\"num missing\"></td>"), std::string::npos);
  EXPECT_NE(html.find("<td class=\"num\">0<sup>b</sup></td>"), std::string::npos);
  EXPECT_NE(html.find("Estimates of Fixed Effects<sup>a</sup>"), std::string::npos);
  EXPECT_NE(html.find("<p><sup>b</sup> This parameter is set to zero because it is redundant.</p>"), std::string::npos);
  EXPECT_EQ(count(html, "<tr><th scope=\"row\">"), 2u + 1u) << "two table rows and one notes row";

  // Messages carry their severity as a class.
  EXPECT_NE(html.find("<div class=\"message error\"><span class=\"severity\">Error # 6:</span>"), std::string::npos);
  EXPECT_NE(html.find("<div class=\"message warning\"><span class=\"severity\">Warning:</span>"), std::string::npos);
  EXPECT_EQ(count(html, "<table"), count(html, "</table>"));
  EXPECT_EQ(count(html, "<section"), count(html, "</section>"));
}

}  // namespace
}  // namespace mixed::host
