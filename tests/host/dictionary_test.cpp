// The dictionary file: every entry it may give, and every mistake it may hold.
#include <cmath>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "host/dataset.h"

namespace mixed::host {
namespace {

// age numeric (one missing), sex string, code a string of digits, fw and grp numeric.
Dataset sample() {
  Dataset d;
  auto var = [](const char* name) {
    Variable v;
    v.name = name;
    v.format = PrintFormat{'F', 4, 1};
    return v;
  };
  d.add_numeric(var("age"), {31.5, 42.0, SYSMIS});
  d.add_string(var("sex"), {"Male", "Female", "Male"});
  d.add_string(var("code"), {"007", "12", "NA"});
  d.add_numeric(var("fw"), {1.0, 2.0, 1.0});
  d.add_numeric(var("grp"), {1.0, 1.0, 2.0});
  return d;
}

std::string dict_error(std::string_view json) {
  Dataset d = sample();
  const Dataset before = d;
  std::string error;
  EXPECT_FALSE(apply_dictionary_text(d, json, "d.json", error)) << json;
  // Nothing of a faulty dictionary is applied.
  for (std::size_t v = 0; v < d.n_variables(); ++v) {
    EXPECT_EQ(d.var(v).label, before.var(v).label);
    EXPECT_EQ(d.var(v).width, before.var(v).width);
    EXPECT_EQ(d.var(v).format.str(), before.var(v).format.str());
    EXPECT_TRUE(d.var(v).missing.empty());
  }
  EXPECT_EQ(d.weight(), before.weight());
  EXPECT_EQ(d.split(), before.split());
  return error;
}

TEST(Dictionary, EveryEntryIsApplied) {
  Dataset d = sample();
  std::string error;
  ASSERT_TRUE(apply_dictionary_text(d, R"({
    "weight": "FW",
    "split": ["grp"],
    "variables": {
      "Age": {"format": "F8.2", "label": "Age in years",
              "value_labels": {"42": "forty-two", " 31.5 ": "thirty-one and a half"},
              "missing": {"range": ["LO", 0], "value": 99}},
      "sex": {"width": 10, "label": "Sex", "value_labels": {"Male": "M", "Female": "F"},
              "missing": {"values": ["Unknown", "NA"]}},
      "code": {"missing": {"values": ["NA"]}},
      "grp": {"missing": [7, "8", 9e0]}
    }})",
                                    "d.json", error))
      << error;

  const std::size_t age = *d.find("age"), sex = *d.find("sex"), code = *d.find("code"), grp = *d.find("grp");
  EXPECT_EQ(d.weight(), d.find("fw"));
  EXPECT_EQ(d.split(), std::vector<std::size_t>{grp});

  EXPECT_EQ(d.var(age).format.str(), "F8.2");
  EXPECT_EQ(d.format_value(age, 1), "42.00");
  EXPECT_EQ(d.var(age).label, "Age in years");
  EXPECT_EQ(d.var(age).value_label(42.0), "forty-two");
  EXPECT_EQ(d.var(age).value_label(31.5), "thirty-one and a half");
  EXPECT_EQ(d.var(age).value_label(1.0), "");
  EXPECT_TRUE(d.var(age).missing.is_missing(-1e300));
  EXPECT_TRUE(d.var(age).missing.is_missing(0.0));
  EXPECT_TRUE(d.var(age).missing.is_missing(99.0));
  EXPECT_FALSE(d.var(age).missing.is_missing(0.5));
  EXPECT_FALSE(d.var(age).missing.is_missing(98.0));

  EXPECT_EQ(d.var(sex).width, 10);
  EXPECT_EQ(d.var(sex).format.str(), "A10");
  EXPECT_EQ(d.var(sex).value_label("Female   "), "F");
  EXPECT_EQ(d.var(sex).value_label(1.0), "");  // a string variable has no numeric labels
  EXPECT_FALSE(d.is_missing(sex, 0, false));

  // A user-missing string counts only when user-missing values are excluded.
  EXPECT_TRUE(d.is_missing(code, 2, false));
  EXPECT_FALSE(d.is_missing(code, 2, true));
  EXPECT_FALSE(d.is_missing(code, 0, false));

  EXPECT_EQ(d.var(grp).missing.values, (std::vector<double>{7, 8, 9}));
  // A system-missing value is missing whatever the setting.
  EXPECT_TRUE(d.is_missing(age, 2, true));

  // A second dictionary clears the weight, the split and a variable's missing values.
  ASSERT_TRUE(apply_dictionary_text(d, R"({"weight": null, "split": null,
                                           "variables": {"age": {"missing": null}}})",
                                    "e.json", error))
      << error;
  EXPECT_FALSE(d.weight());
  EXPECT_TRUE(d.split().empty());
  EXPECT_TRUE(d.var(age).missing.empty());
  // One split variable may be named alone; an empty document changes nothing.
  ASSERT_TRUE(apply_dictionary_text(d, R"({"split": "sex"})", "f.json", error)) << error;
  EXPECT_EQ(d.split(), std::vector<std::size_t>{sex});
  ASSERT_TRUE(apply_dictionary_text(d, "{}", "g.json", error)) << error;
  EXPECT_EQ(d.split(), std::vector<std::size_t>{sex});
}

TEST(Dictionary, ChangesOfType) {
  Dataset d = sample();
  std::string error;
  ASSERT_TRUE(apply_dictionary_text(d, R"({"variables": {"age": {"value_labels": {"0": "none"},
                                           "missing": [0]}}})",
                                    "a.json", error))
      << error;
  // code "007", "12", "NA" as numbers; age 31.5, 42, missing as texts, its
  // numeric labels and missing values dropped (a label of 0 must not become
  // the label of the empty string).
  ASSERT_TRUE(apply_dictionary_text(d, R"({"variables": {
      "code": {"type": "numeric", "value_labels": {"7": "seven"}},
      "age": {"type": "string", "format": "A6"},
      "fw": {"type": "string", "width": 3}}})",
                                    "d.json", error))
      << error;
  const std::size_t code = *d.find("code"), age = *d.find("age"), fw = *d.find("fw");
  ASSERT_TRUE(d.var(code).numeric());
  EXPECT_EQ(d.number(code, 0), 7.0);
  EXPECT_EQ(d.number(code, 1), 12.0);
  EXPECT_TRUE(is_sysmis(d.number(code, 2)));
  EXPECT_EQ(d.var(code).format.str(), "F2.0");
  EXPECT_EQ(d.var(code).value_label(7.0), "seven");

  ASSERT_FALSE(d.var(age).numeric());
  EXPECT_EQ(d.string(age, 0), "31.5");
  EXPECT_EQ(d.string(age, 1), "42");
  EXPECT_EQ(d.string(age, 2), "");
  EXPECT_EQ(d.var(age).width, 4);
  EXPECT_EQ(d.var(age).format.str(), "A6");
  EXPECT_EQ(d.var(age).value_label(""), "");
  EXPECT_TRUE(d.var(age).value_labels.empty());
  EXPECT_TRUE(d.var(age).missing.empty());
  EXPECT_EQ(d.var(fw).width, 3);
  EXPECT_EQ(d.string(fw, 1), "2");
}

TEST(Dictionary, EveryMistakeIsNamed) {
  EXPECT_EQ(dict_error("{\"variables\": {"),
            "d.json: not valid JSON: parse error at line 1, column 16: syntax error while parsing object key - "
            "unexpected end of input; expected string literal");
  EXPECT_EQ(dict_error("[1, 2]"), "d.json: the dictionary must be a JSON object");
  EXPECT_EQ(dict_error(R"({"wieght": "fw"})"),
            "d.json: unknown entry \"wieght\" (expected \"variables\", \"weight\" or \"split\")");
  EXPECT_EQ(dict_error(R"({"variables": []})"),
            "d.json: \"variables\" must be an object that maps variable names to their entries");
  EXPECT_EQ(dict_error(R"({"variables": {"age": 5}})"), "d.json: variable \"age\": its entry must be an object");
  EXPECT_EQ(dict_error(R"({"variables": {"age": {}, "AGE": {}}})"),
            "d.json: variable \"age\": the dictionary has two entries for it");
  EXPECT_EQ(dict_error(R"({"variables": {"age": {"lable": "x"}}})"),
            "d.json: variable \"age\": unknown entry \"lable\" (expected type, width, format, label, "
            "value_labels or missing)");
  EXPECT_EQ(dict_error(R"({"variables": {"age": {"label": 3}}})"),
            "d.json: variable \"age\": \"label\" must be a text in quotes");

  // Types and widths.
  EXPECT_EQ(dict_error(R"({"variables": {"age": {"type": "date"}}})"),
            "d.json: variable \"age\": type \"date\" is neither \"numeric\" nor \"string\"");
  EXPECT_EQ(dict_error(R"({"variables": {"sex": {"type": "numeric"}}})"),
            "d.json: variable \"sex\": the value \"Male\" of case 1 is not a number");
  EXPECT_EQ(dict_error(R"({"variables": {"age": {"width": 8}}})"),
            "d.json: variable \"age\": \"width\" applies to string variables only");
  EXPECT_EQ(dict_error(R"({"variables": {"sex": {"width": 5}}})"),
            "d.json: variable \"sex\": width 5 is less than its longest value (6 bytes)");
  EXPECT_EQ(dict_error(R"({"variables": {"sex": {"width": 2.5}}})"),
            "d.json: variable \"sex\": width 2.5 is not a whole number from 1 to 32767");
  EXPECT_EQ(dict_error(R"({"variables": {"age": {"type": "string", "width": 3}}})"),
            "d.json: variable \"age\": width 3 is less than its longest value (4 bytes)");

  // Print formats.
  for (const char* f : {"G8.2", "F", "F8.", "F.2", "F0.0", "F41.2", "F8.17", "F4.4", "F-8.2", "F8.2x", "A0", ""}) {
    EXPECT_EQ(dict_error(std::string(R"({"variables": {"age": {"format": ")") + f + "\"}}}"),
              std::string("d.json: variable \"age\": \"") + f +
                  "\" is not a print format (Fw.d for numeric, Aw for string variables)");
  }
  EXPECT_EQ(dict_error(R"({"variables": {"age": {"format": "A8"}}})"),
            "d.json: variable \"age\": a numeric variable needs an F format, not \"A8\"");
  EXPECT_EQ(dict_error(R"({"variables": {"sex": {"format": "F8.2"}}})"),
            "d.json: variable \"sex\": a string variable needs an A format, not \"F8.2\"");

  // Value labels.
  EXPECT_EQ(dict_error(R"({"variables": {"age": {"value_labels": {"one": "1"}}}})"),
            "d.json: variable \"age\": value label key \"one\" is not a number");
  EXPECT_EQ(dict_error(R"({"variables": {"age": {"value_labels": {"NA": "none"}}}})"),
            "d.json: variable \"age\": value label key \"NA\" is not a number");
  EXPECT_EQ(dict_error(R"({"variables": {"age": {"value_labels": {"1": 1}}}})"),
            "d.json: variable \"age\": the label of value \"1\" must be a text in quotes");
  EXPECT_EQ(dict_error(R"({"variables": {"age": {"value_labels": [1]}}})"),
            "d.json: variable \"age\": \"value_labels\" must be an object that maps values to labels");

  // Missing values.
  EXPECT_EQ(dict_error(R"({"variables": {"age": {"missing": {"values": [1, 2, 3, 4]}}}})"),
            "d.json: variable \"age\": more than three discrete missing values");
  EXPECT_EQ(dict_error(R"({"variables": {"age": {"missing": {"range": [99, 90]}}}})"),
            "d.json: variable \"age\": the missing-value range [99,90] has its low end above its high end");
  EXPECT_EQ(dict_error(R"({"variables": {"age": {"missing": {"range": [90, 99], "values": [1, 2]}}}})"),
            "d.json: variable \"age\": a missing-value range allows one discrete value besides it");
  EXPECT_EQ(dict_error(R"({"variables": {"age": {"missing": {"range": [90]}}}})"),
            "d.json: variable \"age\": missing \"range\" must be a list [low, high]");
  EXPECT_EQ(dict_error(R"({"variables": {"age": {"missing": {"range": ["HI", 3]}}}})"),
            "d.json: variable \"age\": the low end of the range \"HI\" is not a number");
  EXPECT_EQ(dict_error(R"({"variables": {"age": {"missing": {"value": 3}}}})"),
            "d.json: variable \"age\": missing \"value\" goes with a \"range\"; use \"values\" alone");
  EXPECT_EQ(dict_error(R"({"variables": {"age": {"missing": {"values": ["x"]}}}})"),
            "d.json: variable \"age\": missing value \"x\" is not a number");
  EXPECT_EQ(dict_error(R"({"variables": {"age": {"missing": {"values": [true]}}}})"),
            "d.json: variable \"age\": missing value true is not a number");
  EXPECT_EQ(dict_error(R"({"variables": {"age": {"missing": {"low": 1}}}})"),
            "d.json: variable \"age\": unknown entry \"low\" in \"missing\" (expected values, range or value)");
  EXPECT_EQ(dict_error(R"({"variables": {"age": {"missing": 9}}})"),
            "d.json: variable \"age\": \"missing\" must be an object with \"values\", or \"range\" and \"value\"");
  EXPECT_EQ(dict_error(R"({"variables": {"sex": {"missing": {"range": ["a", "b"]}}}})"),
            "d.json: variable \"sex\": a string variable cannot have a missing-value range");
  EXPECT_EQ(dict_error(R"({"variables": {"sex": {"missing": {"values": ["Unknown value"]}}}})"),
            "d.json: variable \"sex\": missing value \"Unknown value\" is longer than the width 6");
  EXPECT_EQ(dict_error(R"({"variables": {"sex": {"missing": {"values": [1]}}}})"),
            "d.json: variable \"sex\": a missing value must be a text in quotes");

  // Weight and split.
  EXPECT_EQ(dict_error(R"({"weight": "w"})"), "d.json: the weight variable \"w\" is not in the data");
  EXPECT_EQ(dict_error(R"({"weight": "sex"})"),
            "d.json: the weight variable \"sex\" is a string variable; it must be numeric");
  EXPECT_EQ(dict_error(R"({"weight": "fw", "variables": {"fw": {"type": "string"}}})"),
            "d.json: the weight variable \"fw\" is a string variable; it must be numeric");
  EXPECT_EQ(dict_error(R"({"weight": 3})"), "d.json: the weight variable must be a variable name in quotes");
  EXPECT_EQ(dict_error(R"({"split": ["grp", "region"]})"), "d.json: the split variable \"region\" is not in the data");
  EXPECT_EQ(dict_error(R"({"split": ["grp", "GRP"]})"), "d.json: the split variable \"grp\" is named twice");
  EXPECT_EQ(dict_error(R"({"split": 1})"), "d.json: \"split\" must be a list of variable names");

  // The file itself.
  Dataset d = sample();
  std::string error;
  EXPECT_FALSE(apply_dictionary(d, "/nonexistent/d.json", error));
  EXPECT_EQ(error, "cannot read /nonexistent/d.json: No such file or directory");
}

}  // namespace
}  // namespace mixed::host
