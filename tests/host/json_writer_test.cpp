#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/output.h"
#include "host/writers.h"

namespace mixed::host {
namespace {

using Json = nlohmann::ordered_json;

std::vector<std::string> keys(const Json& j) {
  std::vector<std::string> k;
  for (auto it = j.begin(); it != j.end(); ++it) k.push_back(it.key());
  return k;
}

// A parameter table with a grouped column dimension, a missing cell, a text
// cell, a count, notes on a cell and on the title, under a split.
Output document() {
  Output out;
  out.begin_heading(Text::key("Fixed Effects"));
  out.set_split({SplitValue{"g", true, 2.0, "", Text::data_value("2", "second")},
                 SplitValue{"site", false, 0.0, "north", Text::data_value("north")}});
  PivotTable t(Text::key("Fixed Parameter Estimates"), Text::key("Parameter Estimates"));
  int par = t.add_dimension(Text::key("Parameter"), Axis::Row);
  int stat = t.add_dimension(Text::key("Statistics"), Axis::Column);
  int icpt = t.add_category(par, Text::key("Intercept"));
  int x = t.add_category(par, Text::variable("x"));
  int b0 = t.add_category(stat, Text::key("B0"));
  int df = t.add_category(stat, Text::key("Degrees of Freedom"));
  int ci = t.add_category(stat, Text::key("^1 Confidence Interval").arg("95"));
  int lo = t.add_category(stat, Text::key("Lower Bound"), ci);
  int hi = t.add_category(stat, Text::key("Upper Bound"), ci);
  int kind = t.add_category(stat, Text::key("Kind"));
  t.put({icpt, b0}, CellValue::num(0.1 + 0.2, Format::coefficient()));
  t.put({icpt, df}, CellValue::num(12, Format::count()));
  t.put({icpt, lo}, CellValue::num(std::numeric_limits<double>::quiet_NaN(), Format::coefficient()));
  t.put({icpt, hi}, CellValue::num(1.0 / 3.0, Format::coefficient()));
  std::size_t redundant = t.put({x, b0}, CellValue::num(0, Format::count()));
  t.note_cell(redundant, Text::key("Redundant parameter ..."));
  t.put({x, kind}, CellValue::str(Text::key("B0")));
  t.note(Text::key("Dep variable is ^1").arg(Text::variable("y")));
  out.add(std::move(t));
  out.end_heading();
  out.set_split({});
  out.message(Severity::Error, 36, Text::key("Syntax error in effect ^1 ...").arg("A**B"), 3);
  out.message(Severity::Warning, std::nullopt,
              Text::key("Duplicated factor [%1:, ^1:]1 ...")
                  .list({{Text::variable("a")}, {Text::variable("b")}}));
  out.notes(Notes{Text::key("Contents"),
                  {{Text::key("Definition of Missing"), Text::key("MISSING is EXCLUDE ...")}}});
  return out;
}

TEST(JsonWriter, CellsCarryPathsValuesAndTexts) {
  const Json doc = Json::parse(write_json(document(), "v"));
  const Json& cells = doc["items"][0]["items"][0]["cells"];
  ASSERT_EQ(cells.size(), 6u) << "in the order they were put";

  const Json& estimate = cells[0];
  EXPECT_EQ(keys(estimate), (std::vector<std::string>{"at", "value", "text", "notes"}));
  EXPECT_EQ(estimate["at"]["Parameter"], Json::array({"Intercept"}));
  EXPECT_EQ(estimate["at"]["Statistics"], Json::array({"B0"}));
  EXPECT_EQ(estimate["value"].get<double>(), 0.1 + 0.2) << "full precision survives the round trip";
  EXPECT_EQ(estimate["text"], "0.300000");
  EXPECT_EQ(estimate["notes"], Json::array());

  const Json& count = cells[1];
  EXPECT_TRUE(count["value"].is_number_integer());
  EXPECT_EQ(count["value"], 12);
  EXPECT_EQ(count["text"], "12");

  const Json& lower = cells[2];
  EXPECT_EQ(lower["at"]["Statistics"], Json::array({"95 Confidence Interval", "Lower Bound"}))
      << "group path from the outermost group, keys filled";
  EXPECT_TRUE(lower["value"].is_null());
  EXPECT_EQ(lower["text"], ".");

  EXPECT_EQ(cells[3]["value"].get<double>(), 1.0 / 3.0);

  const Json& redundant = cells[4];
  EXPECT_EQ(redundant["at"]["Parameter"], Json::array({"x"}));
  EXPECT_EQ(redundant["notes"], Json::array({"Redundant parameter ..."}));

  const Json& kind = cells[5];
  EXPECT_EQ(kind["value"], "B0") << "a text cell's value is its key";
  EXPECT_EQ(kind["text"], "Estimate") << "its text is what the report shows";
}

TEST(JsonWriter, RepeatedDimensionNamesAndNestedHeadings) {
  Output out;
  out.begin_heading(Text::key("Outer"));
  out.begin_heading(Text::key("Inner"));
  PivotTable t(Text::key("Model Dimension"), Text::key("Model Dimension"));
  int name = t.add_dimension(Text::key("Name"), Axis::Row);
  int spec = t.add_dimension(Text::key("Specification"), Axis::Row);
  int cell = t.add_dimension(Text::key("Specification"), Axis::Column);
  int fixed = t.add_category(name, Text::key("Fixed Effects"));
  int icpt = t.add_category(name, Text::key("Intercept"), fixed);
  int none = t.add_category(spec, Text::raw(""));
  int levels = t.add_category(cell, Text::key("N Levels"));
  t.put({icpt, none, levels}, CellValue::num(1, Format::count()));
  out.add(std::move(t));
  out.end_heading();
  out.end_heading();

  const Json doc = Json::parse(write_json(out, "v"));
  const Json& inner = doc["items"][0]["items"][0];
  EXPECT_EQ(inner["title"], "Inner");
  const Json& table = inner["items"][0];
  EXPECT_EQ(table["dims"][1]["name"], "Specification");
  EXPECT_EQ(table["dims"][2]["name"], "Specification (2)");
  const Json& at = table["cells"][0]["at"];
  EXPECT_EQ(at.size(), 3u) << "one entry per dimension";
  EXPECT_EQ(at["Name"], Json::array({"Fixed Effects", "Intercept"}));
  EXPECT_EQ(at["Specification"], Json::array({""}));
  EXPECT_EQ(at["Specification (2)"], Json::array({"N Levels"}));
}

TEST(JsonWriter, InvalidUtf8DoesNotStopTheDocument) {
  Output out;
  out.message(Severity::Error, std::nullopt, Text::raw("bad \xff byte"));
  const Json doc = Json::parse(write_json(out, "v"));
  EXPECT_EQ(doc["items"][0]["text"], "bad \xef\xbf\xbd byte");
}

}  // namespace
}  // namespace mixed::host
