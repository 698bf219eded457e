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
  EXPECT_EQ(fill_template("Filename too long ^1 ^2 ...", {{{"255"}}, {{"x.xml"}}}), "Filename too long 255 x.xml ...");
  EXPECT_EQ(fill_template("^1 and ^3", {{{"a"}}}), "a and ") << "a parameter not given is empty";
  EXPECT_EQ(fill_template("^1^1", {{{"ab"}}}), "abab");
}

TEST(FillTemplate, EscapesAndLiteralSymbols) {
  EXPECT_EQ(fill_template("Var\\: [:^1:]1", list({{"x"}})), "Var: x");
  EXPECT_EQ(fill_template("Var\\: [\\[%1=%2\\]:*\\[^1=^2\\]:]1", list({{"a", "1"}, {"b", "2"}})), "Var: [a=1]*[b=2]");
  EXPECT_EQ(fill_template("\\[^1\\]", {{{"v"}}}), "[v]");
  EXPECT_EQ(fill_template("UN (^1,^2)", {{{"2"}}, {{"1"}}}), "UN (2,1)");
  EXPECT_EQ(fill_template("50% of [x] ^ y", {}), "50% of [x] ^ y") << "symbols without digits stay as they are";
  EXPECT_EQ(fill_template("^1% Confidence Interval", {{{"95"}}}), "95% Confidence Interval");
}

}  // namespace
}  // namespace mixed::host
