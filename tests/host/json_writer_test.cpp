#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/output.h"
#include "host/writers.h"

namespace mixed::host {
namespace {

using Json = nlohmann::ordered_json;

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
