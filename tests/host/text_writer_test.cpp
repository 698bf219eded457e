#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "host/output.h"
#include "host/writers.h"

namespace mixed::host {
namespace {

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Column (in code points) where `needle` starts in `line`, or -1.
long column_of(const std::string& line, const std::string& needle) {
  std::size_t byte = line.find(needle);
  if (byte == std::string::npos) return -1;
  long col = 0;
  for (std::size_t i = 0; i < byte; ++i)
    if ((static_cast<unsigned char>(line[i]) & 0xC0) != 0x80) ++col;
  return col;
}

long end_of(const std::string& line, const std::string& needle) {
  long c = column_of(line, needle);
  return c < 0 ? -1 : c + static_cast<long>(needle.size());
}

const std::string* line_with(const std::vector<std::string>& lines, const std::string& needle) {
  for (const std::string& l : lines)
    if (l.find(needle) != std::string::npos) return &l;
  return nullptr;
}

// Parameter estimates with a grouped column dimension: the interval group over
// its two bounds, a non-ASCII row label, a missing cell and two footnotes.
Output parameter_table() {
  Output out;
  PivotTable t(Text::key("Fixed Parameter Estimates"), Text::key("Parameter Estimates"));
  int par = t.add_dimension(Text::key("Parameter"), Axis::Row);
  int stat = t.add_dimension(Text::key("Statistics"), Axis::Column);
  int icpt = t.add_category(par, Text::key("Intercept"));
  int level = t.add_category(par, Text::raw("[grp=Ωmega]"));
  int b0 = t.add_category(stat, Text::key("B0"));
  int sig = t.add_category(stat, Text::key("Significance"));
  int ci = t.add_category(stat, Text::key("^1 Confidence Interval").arg("95"));
  int lo = t.add_category(stat, Text::key("Lower Bound"), ci);
  int hi = t.add_category(stat, Text::key("Upper Bound"), ci);
  t.put({icpt, b0}, CellValue::num(12.3456, Format::coefficient()));
  t.put({icpt, sig}, CellValue::num(0.0123, Format::significance()));
  t.put({icpt, lo}, CellValue::num(9.5, Format::coefficient()));
  t.put({icpt, hi}, CellValue::num(15.125, Format::coefficient()));
  std::size_t redundant = t.put({level, b0}, CellValue::num(0, Format::count()));
  t.note_cell(redundant, Text::key("Redundant parameter ..."));
  t.put({level, sig}, CellValue::missing(Format::significance()));
  t.note(Text::key("Dep variable is ^1").arg(Text::variable("y")));
  out.add(std::move(t));
  return out;
}

TEST(TextWriter, GroupedColumnsLineUp) {
  const std::vector<std::string> lines = lines_of(write_text(parameter_table(), Catalogue::english()));
  ASSERT_GE(lines.size(), 9u);
  EXPECT_EQ(lines[0], "Estimates of Fixed Effects (a)");

  const std::string* group = line_with(lines, "95% Confidence Interval");
  const std::string* header = line_with(lines, "Lower Bound");
  const std::string* first = line_with(lines, "Intercept");
  const std::string* second = line_with(lines, "Ωmega");
  ASSERT_TRUE(group && header && first && second);
  EXPECT_LT(group, header) << "the group label stands above its children";
  EXPECT_EQ(header->find("95%"), std::string::npos);

  // The group label spans the two bound columns and nothing else.
  EXPECT_GE(column_of(*group, "95%"), end_of(*header, "Sig.") + 1);
  EXPECT_LE(column_of(*group, "95%"), column_of(*header, "Lower Bound"));
  EXPECT_GE(end_of(*group, "Interval"), column_of(*header, "Upper Bound") + 1);
  EXPECT_LE(end_of(*group, "Interval"), end_of(*header, "Upper Bound"));

  // Numbers are right-aligned under their headers, footnote markers after them.
  EXPECT_EQ(end_of(*first, "12.3456"), end_of(*header, "Estimate"));
  EXPECT_EQ(end_of(*second, "0b") - 1, end_of(*header, "Estimate")) << "marker b after the redundant 0";
  EXPECT_EQ(end_of(*first, "0.012"), end_of(*header, "Sig."));
  EXPECT_EQ(end_of(*second, "."), end_of(*header, "Sig.")) << "system-missing shows as '.'";
  EXPECT_EQ(end_of(*first, "9.50000"), end_of(*header, "Lower Bound"));
  EXPECT_EQ(end_of(*first, "15.1250"), end_of(*header, "Upper Bound"));

  // Row labels start at the left margin whatever their bytes.
  EXPECT_EQ(column_of(*first, "Intercept"), 0);
  EXPECT_EQ(column_of(*second, "[grp"), 0);
  EXPECT_EQ(column_of(*header, "Parameter"), 0);

  const std::string* note_a = line_with(lines, "a. ");
  const std::string* note_b = line_with(lines, "b. ");
  ASSERT_TRUE(note_a && note_b);
  EXPECT_EQ(*note_a, "a. Dependent Variable: y.");
  EXPECT_EQ(*note_b, "b. This parameter is set to zero because it is redundant.");
}

TEST(TextWriter, NestedRowsLayersAndSpans) {
  Output out;
  PivotTable t(Text::key("Descriptive Statistics"), Text::key("Descriptive Statistics"));
  int vars = t.add_dimension(Text::key("Variables"), Axis::Layer);
  int a = t.add_dimension(Text::variable("a"), Axis::Row);
  int b = t.add_dimension(Text::variable("b"), Axis::Row);
  int st = t.add_dimension(Text::key("Statistics"), Axis::Column);
  int y = t.add_category(vars, Text::variable("y"));
  int x = t.add_category(vars, Text::variable("x"));
  int a1 = t.add_category(a, Text::data_value("1", "low"));
  int a2 = t.add_category(a, Text::data_value("2", "high"));
  int b1 = t.add_category(b, Text::data_value("1"));
  int b2 = t.add_category(b, Text::data_value("2"));
  int n = t.add_category(st, Text::key("Count"));
  // Put out of order: the report follows the declared order of the categories.
  t.put({x, a2, b2, n}, CellValue::num(8, Format::count()));
  t.put({y, a2, b1, n}, CellValue::num(3, Format::count()));
  t.put({y, a1, b2, n}, CellValue::num(2, Format::count()));
  t.put({y, a1, b1, n}, CellValue::num(1, Format::count()));
  out.add(std::move(t));

  const std::vector<std::string> lines = lines_of(write_text(out, Catalogue::english()));
  std::vector<std::string> body;
  for (const std::string& l : lines)
    if (!l.empty() && l[0] != '-') body.push_back(l);
  const std::vector<std::string> expected = {"Descriptive Statistics", "Variables: y",   "a     b  Count",
                                             "low   1      1",         "      2      2", "high  1      3",
                                             "Variables: x",           "a     b  Count", "high  2      8"};
  EXPECT_EQ(body, expected) << "value labels shown, outer label once per group, one block per layer, "
                               "combinations without cells left out";
}

TEST(TextWriter, MessagesNotesAndHeadings) {
  Output out;
  out.begin_heading(Text::key("Mixed"));
  out.message(Severity::Error, 36, Text::key("Syntax error in effect ^1 ...").arg("A**B"), 3);
  out.message(Severity::Warning, std::nullopt,
              Text::key("Duplicated factor [%1:, ^1:]1 ...").list({{Text::variable("a")}, {Text::variable("b")}}));
  out.message(Severity::Warning, 1004, Text::key("Model validity is uncertain ..."));
  out.notes(Notes{Text::key("Contents"),
                  {{Text::key("Definition of Missing"), Text::key("MISSING is EXCLUDE ...")},
                   {Text::key("Cases Used"), Text::key("Cases used ...")}}});
  out.end_heading();
  const std::string text = write_text(out, Catalogue::english());
  const std::vector<std::string> lines = lines_of(text);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Mixed Model Analysis");
  EXPECT_EQ(lines[1], std::string(20, '='));
  EXPECT_NE(text.find("Error # 36: Syntax error in an effect at A**B.\n"), std::string::npos);
  EXPECT_NE(text.find("Warning: Factors named more than once: a, b. Each is used once.\n"), std::string::npos);

  // A long message is wrapped at blanks, continuation lines indented.
  const std::string* validity = line_with(lines, "Warning # 1004:");
  ASSERT_TRUE(validity);
  for (const std::string& l : lines) EXPECT_LE(l.size(), 79u) << l;
  EXPECT_EQ((validity + 1)->substr(0, 2), "  ");

  // Notes: labels in one column, values aligned in the next.
  const std::string* def = line_with(lines, "Definition of Missing");
  const std::string* used = line_with(lines, "Cases Used");
  ASSERT_TRUE(def && used);
  EXPECT_EQ(column_of(*def, "User-missing"), column_of(*used, "Statistics are"));
}

}  // namespace
}  // namespace mixed::host
