#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/catalogue.h"
#include "host/output.h"
#include "host/text.h"

namespace mixed::host {
namespace {

using Groups = std::vector<std::vector<std::string>>;

// One list parameter.
std::vector<Groups> list(Groups g) { return {std::move(g)}; }

TEST(FillTemplate, RepeatListsWriteFirstAndRestPatterns) {
  EXPECT_EQ(fill_template("[%1=%2:,^1=^2:]1", list({{"a", "1"}, {"b", "2"}})), "a=1,b=2");
  EXPECT_EQ(fill_template("No valid cases in split [%1=%2:,^1=^2:]1 ...", list({{"g", "3"}})),
            "No valid cases in split g=3 ...")
      << "one split variable uses only the first pattern";
  EXPECT_EQ(fill_template("[:^1:]1", list({{"A"}, {" * "}, {"B"}})), "A * B")
      << "an empty first pattern uses the rest pattern for every group";
  EXPECT_EQ(fill_template("Duplicated factor [%1:, ^1:]1 ...", list({{"x"}, {"y"}, {"z"}})),
            "Duplicated factor x, y, z ...");
  EXPECT_EQ(fill_template("[%1:, ^1:]1", list({})), "") << "an empty list writes nothing";
}

TEST(FillTemplate, ScalarAndListParametersMix) {
  // The split list is parameter 1, the scalars follow it.
  std::vector<Groups> p = {{{"g", "1"}, {"h", "2"}}, {{"12"}}, {{"99"}}};
  EXPECT_EQ(fill_template("Too many fixed col split [%1=%2:,^1=^2:]1 ^2 ^3 ...", p),
            "Too many fixed col split g=1,h=2 12 99 ...");
  EXPECT_EQ(fill_template("Func same FIXED effect [:^1:]1 [:^1:]2 ...", {{{"A"}}, {{"A"}, {"(B)"}}}),
            "Func same FIXED effect A A(B) ...");
  EXPECT_EQ(fill_template("Filename too long ^1 ^2 ...", {{{"255"}}, {{"x.xml"}}}),
            "Filename too long 255 x.xml ...");
  EXPECT_EQ(fill_template("^1 and ^3", {{{"a"}}}), "a and ") << "a parameter not given is empty";
  EXPECT_EQ(fill_template("^1^1", {{{"ab"}}}), "abab");
}

TEST(FillTemplate, EscapesAndLiteralSymbols) {
  EXPECT_EQ(fill_template("Var\\: [:^1:]1", list({{"x"}})), "Var: x");
  EXPECT_EQ(fill_template("Var\\: [\\[%1=%2\\]:*\\[^1=^2\\]:]1", list({{"a", "1"}, {"b", "2"}})),
            "Var: [a=1]*[b=2]");
  EXPECT_EQ(fill_template("\\[^1\\]", {{{"v"}}}), "[v]");
  EXPECT_EQ(fill_template("UN (^1,^2)", {{{"2"}}, {{"1"}}}), "UN (2,1)");
  EXPECT_EQ(fill_template("50% of [x] ^ y", {}), "50% of [x] ^ y")
      << "symbols without digits stay as they are";
  EXPECT_EQ(fill_template("^1% Confidence Interval", {{{"95"}}}), "95% Confidence Interval");
}

TEST(TextRendering, JsonFillsKeysAndDisplayTranslates) {
  const Catalogue& en = Catalogue::english();
  Text dep = Text::key("Dep variable is ^1").arg(Text::variable("y"));
  EXPECT_EQ(dep.json(), "Dep variable is y");
  EXPECT_EQ(dep.display(en), "Dependent Variable: y.");

  // A data value's machine form is the value, its display form the label.
  Text level = Text::data_value("2", "female");
  EXPECT_EQ(level.json(), "2");
  EXPECT_EQ(level.display(en), "female");
  EXPECT_EQ(Text::data_value("3").display(en), "3");

  // Parameters are rendered in the same mode as their template.
  Text label = Text::key("Var\\: [:^1:]1").list({{Text::key("B0")}});
  EXPECT_EQ(label.json(), "Var: B0");
  EXPECT_EQ(label.display(en), "Var: Estimate");

  // An unknown key is shown as it stands.
  EXPECT_EQ(Text::key("No such key ^1").arg("x").display(en), "No such key x");
  EXPECT_EQ(Text::raw("B0").display(en), "B0") << "raw texts are never translated";
}

TEST(TextRendering, SplitListFromTheOutput) {
  Output out;
  SplitValue g{"g", true, 1.0, "", Text::data_value("1", "first")};
  SplitValue s{"site", false, 0.0, "north", Text::data_value("north")};
  out.set_split({g, s});
  Text t = Text::key("No valid cases in split [%1=%2:,^1=^2:]1 ...").list(out.split_list());
  EXPECT_EQ(t.json(), "No valid cases in split g=1,site=north ...");
  EXPECT_EQ(t.display(Catalogue::english()),
            "Split g=first,site=north has no valid cases and is not analysed.");
}

}  // namespace
}  // namespace mixed::host
