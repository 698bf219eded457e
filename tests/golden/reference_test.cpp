// End-to-end check against the shared reference cases: every case's command
// is run by the program on its data, and the JSON output is compared cell by
// cell with the reference values: -2LL and the information criteria, the
// fixed estimates with their standard errors and Satterthwaite df, the tests
// of fixed effects, the covariance parameters, the number of observations,
// the parameter count of the model dimension, and the G and R matrices.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "golden/golden_util.h"

namespace mixed::golden {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

std::string reference_dir() { return shared_dir() + "/reference"; }

std::vector<std::string> case_ids() {
  std::vector<std::string> ids;
  const fs::path dir = fs::path(reference_dir()) / "cases";
  if (!fs::exists(dir)) return ids;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().extension() == ".json") ids.push_back(entry.path().stem().string());
  std::sort(ids.begin(), ids.end());
  return ids;
}

json load_case(const std::string& id) {
  std::ifstream in(fs::path(reference_dir()) / "cases" / (id + ".json"));
  return json::parse(in);
}

Run run_case(const json& c, const std::string& syntax) {
  std::vector<std::string> args = {"--data", reference_dir() + "/data/" + c["data"].get<std::string>()};
  if (!c["weight"].is_null()) {
    args.push_back("--weight");
    args.push_back(c["weight"].get<std::string>());
  }
  return run_mixed(syntax + "\n", args);
}

// The command with PRINT extended by further keywords (inserted before the
// slash or period that ends the PRINT subcommand).
std::string with_print(std::string syntax, const std::string& keywords) {
  const std::size_t at = syntax.find("/PRINT=");
  if (at == std::string::npos) return syntax;
  std::size_t end = syntax.find('/', at + 1);
  if (end == std::string::npos) end = syntax.rfind('.');
  syntax.insert(end, " " + keywords);
  return syntax;
}

// |got - want| within tol relative to |want| (and absolute below `floor`).
::testing::AssertionResult near(const json* got, double want, double tol, double floor = 1e-6) {
  if (got == nullptr) return ::testing::AssertionFailure() << "cell not found";
  const json& v = (*got)["value"];
  if (!v.is_number()) return ::testing::AssertionFailure() << "cell is " << v.dump() << ", want " << want;
  const double g = v.get<double>();
  const double d = std::fabs(g - want);
  if (d <= tol * std::max(std::fabs(want), floor)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got " << g << ", want " << want << " (relative difference "
                                       << d / std::max(std::fabs(want), floor) << ")";
}

const json* only_table(const json& doc, const std::string& name) {
  const auto found = tables(doc, name);
  return found.size() == 1 ? found.front() : nullptr;
}

// The rows of a table along dimension `dim`: each distinct category path with
// its cells by the leaf of dimension `col`, in the order the cells come.
std::vector<std::pair<std::vector<std::string>, std::map<std::string, const json*>>> rows_of(const json& table,
                                                                                             const std::string& dim,
                                                                                             const std::string& col) {
  std::vector<std::pair<std::vector<std::string>, std::map<std::string, const json*>>> rows;
  for (const json& c : table["cells"]) {
    const std::vector<std::string> path = c["at"][dim].get<std::vector<std::string>>();
    if (rows.empty() || rows.back().first != path) rows.push_back({path, {}});
    rows.back().second[c["at"][col].back().get<std::string>()] = &c;
  }
  return rows;
}

// The matrix cells of a G or R table, in the order they were put (row by row).
std::vector<double> matrix_cells(const json& table) {
  std::vector<double> v;
  for (const json& c : table["cells"]) v.push_back(c["value"].is_number() ? c["value"].get<double>() : NAN);
  return v;
}

std::vector<double> flatten(const json& m) {
  std::vector<double> v;
  for (const json& row : m)
    for (const json& x : row) v.push_back(x.get<double>());
  return v;
}

class ReferenceCase : public ::testing::TestWithParam<std::string> {};

TEST_P(ReferenceCase, TablesMatchTheReference) {
  const json c = load_case(GetParam());
  const json& e = c["expect"];
  const golden::Run run = run_case(c, c["syntax"].get<std::string>());
  ASSERT_EQ(run.exit_code, 0) << run.stderr_text;
  ASSERT_TRUE(run.doc.is_object()) << "no JSON output";

  const json* ic = only_table(run.doc, "Information Criteria");
  ASSERT_NE(ic, nullptr) << "one Information Criteria table";
  const std::string ll = c["method"] == "ML" ? "-2 Log Likelihood" : "-2 Restricted Log Likelihood";
  EXPECT_TRUE(near(cell(*ic, {{"Statistics", ll}}), e["m2ll"].get<double>(), 1e-7)) << "-2LL";
  const std::pair<const char*, const char*> criteria[] = {
      {"AIC", "Akaike IC"}, {"AICC", "Hurvich Tsai IC"}, {"CAIC", "Bozdogan IC"}, {"BIC", "Bayesian IC"}};
  for (const auto& [key, label] : criteria)
    EXPECT_TRUE(near(cell(*ic, {{"Statistics", label}}), e["ic"][key].get<double>(), 1e-7)) << "criterion " << key;

  const json* pe = only_table(run.doc, "Parameter Estimates");
  ASSERT_NE(pe, nullptr) << "one Fixed Parameter Estimates table";
  for (const json& fx : e["fixed"]) {
    const std::string label = fx["label"];
    auto at = [&](const char* stat) { return cell(*pe, {{"Parameter", label}, {"Statistics", stat}}); };
    EXPECT_TRUE(near(at("B0"), fx["estimate"].get<double>(), 1e-5)) << "estimate of " << label;
    if (fx["redundant"].get<bool>()) {
      ASSERT_NE(at("Degrees of Freedom"), nullptr);
      EXPECT_TRUE((*at("Degrees of Freedom"))["value"].is_null()) << "redundant " << label << " has no df";
      continue;
    }
    EXPECT_TRUE(near(at("Standard Error"), fx["se"].get<double>(), 1e-5)) << "standard error of " << label;
    EXPECT_TRUE(near(at("Degrees of Freedom"), fx["df"].get<double>(), 1e-3)) << "Satterthwaite df of " << label;
  }

  const json* tests = only_table(run.doc, "Tests of Fixed Effects");
  ASSERT_NE(tests, nullptr) << "one Tests of Fixed Effects table";
  for (const json& t : e["tests"]) {
    const std::string term = t["term"];
    auto at = [&](const char* stat) { return cell(*tests, {{"Source", term}, {"Statistics", stat}}); };
    EXPECT_TRUE(near(at("F Value"), t["F"].get<double>(), 1e-4)) << "F of " << term;
    EXPECT_TRUE(near(at("Numerator DF"), t["num_df"].get<double>(), 1e-12)) << "numerator df of " << term;
    EXPECT_TRUE(near(at("Denominator DF"), t["den_df"].get<double>(), 1e-3)) << "denominator df of " << term;
  }

  const json* cp = only_table(run.doc, "Covariance Parameter Estimates");
  ASSERT_NE(cp, nullptr) << "one Covariance Parameter Estimates table";
  const auto rows = rows_of(*cp, "Parameter", "Statistics");
  ASSERT_EQ(rows.size(), e["covpar"].size()) << "one row per covariance parameter";
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const json& cv = e["covpar"][k];
    const std::string label = cv["label"];
    EXPECT_EQ(rows[k].first.back(), label) << "label of covariance parameter " << k + 1;
    EXPECT_TRUE(near(rows[k].second.at("Covpar Estimate"), cv["estimate"].get<double>(), 1e-4))
        << "estimate of " << label;
    EXPECT_TRUE(near(rows[k].second.at("Covpar Standard Error"), cv["se"].get<double>(), 1e-4))
        << "standard error of " << label;
  }
}

TEST_P(ReferenceCase, CountsAndCovarianceMatricesMatchTheReference) {
  const json c = load_case(GetParam());
  const json& e = c["expect"];
  const json& x = c["extra"];
  const golden::Run run = run_case(c, with_print(c["syntax"].get<std::string>(), "CPS G R"));
  ASSERT_EQ(run.exit_code, 0) << run.stderr_text;

  const json* cps = only_table(run.doc, "Case Processing Summary");
  ASSERT_NE(cps, nullptr) << "PRINT CPS draws the summary";
  EXPECT_TRUE(near(cell(*cps, {{"Properties", "Valid"}, {"Value", "Count"}}), e["n_used"].get<double>(), 1e-12))
      << "n_used: the summed case weights of the valid cases";
  EXPECT_TRUE(near(cell(*cps, {{"Properties", "Included"}, {"Value", "Count"}}), e["n_records"].get<double>(), 1e-12))
      << "the number of valid records";

  const json* md = only_table(run.doc, "Model Dimension");
  ASSERT_NE(md, nullptr) << "one Model Dimension table";
  EXPECT_TRUE(near(cell(*md, {{"Name", "Total"}, {"Specification", "N Parameters"}}),
                   x["rank_x"].get<double>() + x["n_covpar"].get<double>(), 1e-12))
      << "total parameters: rank of X plus covariance parameters";

  const auto g = tables(run.doc, "G Matrix");
  ASSERT_EQ(g.size(), x["G_matrices"].size()) << "one G table per RANDOM block";
  for (std::size_t b = 0; b < g.size(); ++b) {
    const std::vector<double> want = flatten(x["G_matrices"][b]);
    const std::vector<double> got = matrix_cells(*g[b]);
    ASSERT_EQ(got.size(), want.size()) << "cells of G table " << b + 1;
    double scale = 0.0;
    for (double w : want) scale = std::max(scale, std::fabs(w));
    for (std::size_t k = 0; k < want.size(); ++k)
      EXPECT_NEAR(got[k], want[k], 1e-4 * scale) << "G table " << b + 1 << ", cell " << k;
  }

  const json* r = only_table(run.doc, "R Matrix");
  ASSERT_NE(r, nullptr) << "PRINT R draws one R table";
  const std::vector<double> want = flatten(x["R_matrix"]);
  const std::vector<double> got = matrix_cells(*r);
  ASSERT_EQ(got.size(), want.size()) << "cells of the R table";
  double scale = 0.0;
  for (double w : want) scale = std::max(scale, std::fabs(w));
  for (std::size_t k = 0; k < want.size(); ++k) EXPECT_NEAR(got[k], want[k], 1e-4 * scale) << "R cell " << k;
}

INSTANTIATE_TEST_SUITE_P(Reference, ReferenceCase, ::testing::ValuesIn(case_ids()),
                         [](const ::testing::TestParamInfo<std::string>& param_info) { return param_info.param; });

// The outline of a document: one line per heading ("H title") and table
// ("T internal name: title"), indented by depth; messages and notes left out.
void outline(const json& items, int depth, std::vector<std::string>& out) {
  for (const json& it : items) {
    const std::string pad(static_cast<std::size_t>(2 * depth), ' ');
    if (it["kind"] == "heading") {
      out.push_back(pad + "H " + it["title"].get<std::string>());
      outline(it["items"], depth + 1, out);
    } else if (it["kind"] == "table") {
      out.push_back(pad + "T " + it["name"].get<std::string>() + ": " + it["title"].get<std::string>());
    }
  }
}

std::vector<std::string> outline_of(const std::string& id, const std::string& print) {
  const json c = load_case(id);
  const golden::Run run = run_case(c, with_print(c["syntax"].get<std::string>(), print));
  EXPECT_EQ(run.exit_code, 0) << run.stderr_text;
  std::vector<std::string> out;
  if (run.doc.is_object()) outline(run.doc["items"], 0, out);
  return out;
}

TEST(PostEstimation, TableOrderAndHeadings) {
  const std::vector<std::string> want = {
      "H Mixed",
      "  T Model Dimension: Model Dimension",
      "  T Information Criteria: Information Criteria",
      "  H Fixed Effects",
      "    T Tests of Fixed Effects: Type III Tests of Fixed Effects",
      "    H Type III Estimable Functions",
      "      T Contrast Coefficient: Intercept",
      "      T Contrast Coefficient: Machine",
      "    T Parameter Estimates: Fixed Parameter Estimates",
      "    T Correlation Matrix: Fixed Correlation Matrix",
      "    T Covariance Matrix: Fixed Covariance Matrix",
      "  H Covariance Parameters",
      "    T Covariance Parameter Estimates: Covariance Parameter Estimates",
      "    T Correlation Matrix: Correlations of Covariance Parameter Estimates",
      "    T Covariance Matrix: Covariances of Covariance Parameter Estimates",
      "  H Random Effect Covariance Matrices ...",
      "    T G Matrix: Intercept subject Worker",
      "    T G Matrix: Intercept subject Worker*Machine",
      "  T R Matrix: R Matrix",
  };
  EXPECT_EQ(outline_of("machines_nested", "CORB COVB G R LMATRIX"), want)
      << "every PRINT table in its place; two RANDOM blocks put their G tables under one heading";

  const std::vector<std::string> one = outline_of("sleep_un", "G");
  EXPECT_NE(std::find(one.begin(), one.end(), "  T G Matrix: Random Effect Covariance Matrix ..."), one.end())
      << "a single RANDOM block's G table stands without a heading";

  const std::vector<std::string> type1 = outline_of("orth_sstype1", "LMATRIX");
  EXPECT_NE(std::find(type1.begin(), type1.end(), "    H Type I Estimable Functions"), type1.end())
      << "SSTYPE(1) titles the estimable functions Type I";
  EXPECT_NE(std::find(type1.begin(), type1.end(), "    T Tests of Fixed Effects: Type I Tests of Fixed Effects"),
            type1.end());
}

TEST(PostEstimation, ContrastsAreNumberedAcrossTerms) {
  const json c = load_case("cake_2way");
  const golden::Run run = run_case(c, with_print(c["syntax"].get<std::string>(), "LMATRIX"));
  std::vector<std::string> labels;
  for (const json* t : tables(run.doc, "Contrast Coefficient"))
    for (const json& cell : (*t)["cells"]) {
      const std::string l = cell["at"]["Contrast"].back();
      if (labels.empty() || labels.back() != l) labels.push_back(l);
    }
  // recipe 3 columns, temp 6, recipe*temp 18 after the intercept: the Type
  // III rows sit at design columns that are members of the row set.
  ASSERT_FALSE(labels.empty());
  EXPECT_EQ(labels.front(), "L1") << "the intercept's contrast is L1";
  EXPECT_EQ(labels.size(), 1u + 2u + 5u + 10u) << "one column per L row: 1 + 2 + 5 + 10";
  std::vector<int> numbers;
  for (const std::string& l : labels) numbers.push_back(std::stoi(l.substr(1)));
  EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end())) << "numbers run on from term to term";
  EXPECT_LE(numbers.back(), 1 + 3 + 6 + 18) << "numbered within the model's columns";
  EXPECT_GT(numbers[3], 4) << "temp's contrasts start after the intercept's and recipe's columns";
}

TEST(PostEstimation, ModelWithoutFixedEffects) {
  const golden::Run run = run_mixed("MIXED Yield /FIXED=| NOINT /RANDOM=INTERCEPT | SUBJECT(Batch) /PRINT=SOLUTION.\n",
                                    {"--data", reference_dir() + "/data/Dyestuff.csv"});
  ASSERT_EQ(run.exit_code, 0) << run.stderr_text;
  std::vector<std::string> out;
  outline(run.doc["items"], 0, out);
  EXPECT_EQ(std::find(out.begin(), out.end(), "  H Fixed Effects"), out.end()) << "no fixed terms: no Fixed Effects";
  EXPECT_NE(std::find(out.begin(), out.end(), "  H Covariance Parameters"), out.end())
      << "the covariance parameters are still shown";
}

}  // namespace
}  // namespace mixed::golden
