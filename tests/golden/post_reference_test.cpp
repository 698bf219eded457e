// End-to-end check of what follows a fit against the shared post-estimation
// reference cases: custom hypothesis tests (contrast rows and the joint F),
// estimated marginal means (cell means, pairwise comparisons with their
// multiplicity adjustment, univariate tests) and the values SAVE adds to the
// data. The reference numbers come from an independent dense computation of
// the same model; tolerances are those its README states: estimates and
// standard errors (and t and F, ratios of them) relative 1e-5, df 1e-3,
// p-values 1e-4, and absolute 1e-10 for numbers smaller than that (p-values
// far out in the tail, zero contrasts).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "golden/golden_util.h"

namespace mixed::golden {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;
using At = std::vector<std::pair<std::string, std::string>>;

constexpr double kEstimate = 1e-5, kDf = 1e-3, kSig = 1e-4;

fs::path post_dir() { return fs::path(shared_dir()) / "reference/post"; }

std::vector<std::string> case_ids() {
  std::vector<std::string> ids;
  const fs::path dir = post_dir() / "cases";
  if (!fs::exists(dir)) return ids;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().extension() == ".json") ids.push_back(entry.path().stem().string());
  std::sort(ids.begin(), ids.end());
  return ids;
}

// A displayed number against the reference: null wants a missing cell.
::testing::AssertionResult matches(const json* got, const json& want, double tol) {
  if (got == nullptr) return ::testing::AssertionFailure() << "cell not found";
  const json& v = (*got)["value"];
  if (want.is_null()) {
    if (v.is_null()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << v.dump() << ", want missing";
  }
  if (!v.is_number()) return ::testing::AssertionFailure() << "got " << v.dump() << ", want " << want;
  const double g = v.get<double>(), w = want.get<double>();
  const double allowed = std::max(tol * std::fabs(w), 1e-10);
  if (std::fabs(g - w) <= allowed) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got " << g << ", want " << w << " (difference " << g - w << ", allowed "
                                       << allowed << ")";
}

// The tables directly under a heading.
std::vector<const json*> tables_under(const json& heading) {
  std::vector<const json*> out;
  for (const json& it : heading["items"])
    if (it["kind"] == "table") out.push_back(&it);
  return out;
}

// The tables of a group named `name`.
std::vector<const json*> named(const std::vector<const json*>& group, const std::string& name) {
  std::vector<const json*> out;
  for (const json* t : group)
    if ((*t)["name"] == name) out.push_back(t);
  return out;
}

// The one table of a group named `name`; nullptr when there is none or more.
const json* one(const std::vector<const json*>& group, const std::string& name) {
  const auto found = named(group, name);
  return found.size() == 1 ? found.front() : nullptr;
}

std::vector<const json*> headings(const json& doc, const std::string& prefix) {
  std::vector<const json*> out;
  for (const json* it : items(doc))
    if ((*it)["kind"] == "heading" && (*it)["title"].get<std::string>().rfind(prefix, 0) == 0) out.push_back(it);
  return out;
}

// A slice of a comparison or test ({} or [] for none, else factor -> level).
At slice_of(const json& slice) {
  At at;
  if (slice.is_object())
    for (const auto& [factor, level] : slice.items()) at.push_back({factor, level.get<std::string>()});
  return at;
}

At plus(At at, const std::string& stat) {
  at.push_back({"Statistics", stat});
  return at;
}

// One heading per TEST subcommand, in order: the contrast rows, and the joint
// F when the hypothesis has more than one row; nothing for a hypothesis that
// is not estimable.
void check_tests(const json& doc, const json& want) {
  const auto found = headings(doc, "Custom Hypothesis Test");
  ASSERT_EQ(found.size(), want.size()) << "one heading per TEST";
  for (std::size_t t = 0; t < want.size(); ++t) {
    SCOPED_TRACE("TEST " + std::to_string(t + 1));
    const json& w = want[t];
    const json* est = one(tables_under(*found[t]), "Contrast Estimates");
    if (!w["estimable"].get<bool>()) {
      EXPECT_EQ(est, nullptr) << "a hypothesis that is not estimable has no contrast table";
      continue;
    }
    ASSERT_NE(est, nullptr) << "one Contrast Estimates table";
    const bool hyp = w["hyp"].get<bool>();
    for (std::size_t r = 0; r < w["rows"].size(); ++r) {
      const json& row = w["rows"][r];
      const std::string label = "L" + std::to_string(r + 1);
      auto at = [&](const char* stat) { return cell(*est, {{"Contrast", label}, {"Statistics", stat}}); };
      EXPECT_TRUE(matches(at("B0"), row["est"], kEstimate)) << label << " estimate";
      EXPECT_TRUE(matches(at("Standard Error"), row["se"], kEstimate)) << label << " SE";
      EXPECT_TRUE(matches(at("Degrees of Freedom"), row["df"], kDf)) << label << " df";
      EXPECT_TRUE(matches(at("Test Value"), row["test_value"], kEstimate)) << label << " test value";
      if (hyp) {
        EXPECT_TRUE(matches(at("Contrast minus Tests"), row["diff"], kEstimate)) << label << " difference";
      }
      EXPECT_TRUE(matches(at("t Statistic"), row["t"], kEstimate)) << label << " t";
      EXPECT_TRUE(matches(at("Significance"), row["sig"], kSig)) << label << " significance";
      EXPECT_TRUE(matches(at("Lower Bound"), row["lo"], kEstimate)) << label << " lower bound";
      EXPECT_TRUE(matches(at("Upper Bound"), row["hi"], kEstimate)) << label << " upper bound";
    }
    const auto joint = named(tables_under(*found[t]), "Tests of Fixed Effects");
    if (!w.contains("F")) {
      EXPECT_TRUE(joint.empty()) << "a single row has no joint test";
      continue;
    }
    ASSERT_EQ(joint.size(), 1u) << "one Test of Contrasts table";
    auto at = [&](const char* stat) { return cell(*joint[0], {{"Statistics", stat}}); };
    EXPECT_TRUE(matches(at("Numerator DF"), w["F"]["num_df"], kDf)) << "numerator df";
    EXPECT_TRUE(matches(at("Denominator DF"), w["F"]["den_df"], kDf)) << "denominator df";
    EXPECT_TRUE(matches(at("F Value"), w["F"]["F"], kEstimate)) << "F";
    EXPECT_TRUE(matches(at("Significance"), w["F"]["sig"], kSig)) << "significance of F";
  }
}

// The tables of each EMMEANS subcommand: under a numbered heading of their
// own when there are several and it has more than one, else directly under
// Estimated Marginal Means, each group starting with its table of means.
std::vector<std::vector<const json*>> emmeans_groups(const json& doc) {
  const auto top = headings(doc, "Estimated Marginal Means");
  std::vector<std::vector<const json*>> groups;
  if (top.empty()) return groups;
  for (const json& it : (*top[0])["items"]) {
    if (it["kind"] == "heading") {
      groups.push_back(tables_under(it));
    } else if (it["kind"] == "table") {
      if (it["name"] == "Estimated Marginal Means" || groups.empty()) groups.emplace_back();
      groups.back().push_back(&it);
    }
  }
  return groups;
}

void check_emmeans(const json& doc, const json& want) {
  const auto groups = emmeans_groups(doc);
  ASSERT_EQ(groups.size(), want.size()) << "one group of tables per EMMEANS";
  for (std::size_t m = 0; m < want.size(); ++m) {
    SCOPED_TRACE("EMMEANS " + std::to_string(m + 1));
    const json& w = want[m];
    const json* means = one(groups[m], "Estimated Marginal Means");
    ASSERT_NE(means, nullptr) << "one table of means";
    for (const json& c : w["cells"]) {
      const At at = slice_of(c["levels"]);
      const std::string where = c["levels"].dump();
      EXPECT_TRUE(matches(cell(*means, plus(at, "Mean")), c["mean"], kEstimate)) << "mean at " << where;
      EXPECT_TRUE(matches(cell(*means, plus(at, "Standard Error")), c["se"], kEstimate)) << "SE at " << where;
      EXPECT_TRUE(matches(cell(*means, plus(at, "Degrees of Freedom")), c["df"], kDf)) << "df at " << where;
      EXPECT_TRUE(matches(cell(*means, plus(at, "Lower Bound")), c["lo"], kEstimate)) << "lower bound at " << where;
      EXPECT_TRUE(matches(cell(*means, plus(at, "Upper Bound")), c["hi"], kEstimate)) << "upper bound at " << where;
    }
    const json* pairs = one(groups[m], "EMMEANS Pairwise Comparisons");
    const json* uni = one(groups[m], "EMMEANS Univariate Tests");
    if (w["compare"].is_null()) {
      EXPECT_EQ(pairs, nullptr) << "no COMPARE, no comparisons";
      EXPECT_EQ(uni, nullptr) << "no COMPARE, no univariate tests";
      continue;
    }
    ASSERT_NE(pairs, nullptr) << "one table of pairwise comparisons";
    ASSERT_NE(uni, nullptr) << "one table of univariate tests";
    const std::string factor = w["compare"];
    for (const json& p : w["pairs"]) {
      if (!p["required"].get<bool>()) continue;
      At at = slice_of(p["slice"]);
      at.push_back({"(I) " + factor, p["I"]});
      at.push_back({"(J) " + factor, p["J"]});
      const std::string where = p["slice"].dump() + " " + p["I"].get<std::string>() + " - " + p["J"].get<std::string>();
      EXPECT_TRUE(matches(cell(*pairs, plus(at, "Mean Difference (I-J)")), p["diff"], kEstimate)) << where;
      EXPECT_TRUE(matches(cell(*pairs, plus(at, "Standard Error")), p["se"], kEstimate)) << "SE of " << where;
      EXPECT_TRUE(matches(cell(*pairs, plus(at, "Degrees of Freedom")), p["df"], kDf)) << "df of " << where;
      EXPECT_TRUE(matches(cell(*pairs, plus(at, "Significance")), p["sig"], kSig)) << "adjusted sig of " << where;
      EXPECT_TRUE(matches(cell(*pairs, plus(at, "Lower Bound")), p["lo"], kEstimate)) << "lower bound of " << where;
      EXPECT_TRUE(matches(cell(*pairs, plus(at, "Upper Bound")), p["hi"], kEstimate)) << "upper bound of " << where;
    }
    for (const json& u : w["unitests"]) {
      const At at = slice_of(u["slice"]);
      const std::string where = u["slice"].dump();
      EXPECT_TRUE(matches(cell(*uni, plus(at, "Numerator DF")), u["num_df"], kDf)) << "numerator df " << where;
      EXPECT_TRUE(matches(cell(*uni, plus(at, "Denominator DF")), u["den_df"], kDf)) << "denominator df " << where;
      EXPECT_TRUE(matches(cell(*uni, plus(at, "F Value")), u["F"], kEstimate)) << "F " << where;
      EXPECT_TRUE(matches(cell(*uni, plus(at, "Significance")), u["sig"], kSig)) << "significance " << where;
    }
  }
}

// The saved columns follow the data set's own, in the order of the keywords,
// each under its given name or its root with a number; missing is empty.
void check_saved(const Csv& data, const Csv& saved, const json& want) {
  const json& columns = want["columns"];
  ASSERT_EQ(saved.header.size(), data.header.size() + columns.size()) << "one new column per keyword";
  ASSERT_EQ(saved.rows.size(), data.rows.size()) << "one saved row per data row";
  for (std::size_t k = 0; k < columns.size(); ++k) {
    const json& col = columns[k];
    const std::string name = unquote(saved.header[data.header.size() + k]);
    if (col["name"].is_null())
      EXPECT_EQ(name.rfind(col["root"].get<std::string>() + "_", 0), 0u) << "numbered name " << name;
    else
      EXPECT_EQ(name, col["name"].get<std::string>());
  }
  for (const json& r : want["rows"]) {
    const auto& row = saved.rows.at(r["row"].get<std::size_t>());
    ASSERT_EQ(row.size(), saved.header.size()) << "fields of row " << r["row"];
    for (std::size_t k = 0; k < columns.size(); ++k) {
      const std::string key = columns[k]["keyword"];
      const std::string field = row[data.header.size() + k];
      const json got = {{"value", field.empty() ? json() : json(std::stod(field))}};
      const double tol = key.rfind("DF", 0) == 0 ? kDf : kEstimate;
      EXPECT_TRUE(matches(&got, r["values"][key], tol)) << key << " of row " << r["row"];
    }
  }
}

class PostCase : public ::testing::TestWithParam<std::string> {};

TEST_P(PostCase, MatchesTheReference) {
  std::ifstream in(post_dir() / "cases" / (GetParam() + ".json"));
  const json c = json::parse(in);
  const json& e = c["expect"];
  const fs::path data = fs::path(shared_dir()) / "reference/data" / c["data"].get<std::string>();
  TempDir tmp;
  const fs::path saved = tmp.path / "saved.csv";
  std::vector<std::string> args = {"--data", data.string()};
  if (!c["weight"].is_null()) args.insert(args.end(), {"--weight", c["weight"].get<std::string>()});
  if (!e["save"].is_null()) args.insert(args.end(), {"--save-data", saved.string()});
  const golden::Run run = run_mixed(c["syntax"].get<std::string>() + "\n", args);
  ASSERT_EQ(run.exit_code, 0) << run.stderr_text;
  ASSERT_TRUE(run.doc.is_object()) << "no JSON output";

  const auto ic = tables(run.doc, "Information Criteria");
  ASSERT_EQ(ic.size(), 1u);
  const std::string ll = c["method"] == "ML" ? "-2 Log Likelihood" : "-2 Restricted Log Likelihood";
  ASSERT_TRUE(matches(cell(*ic[0], {{"Statistics", ll}}), e["m2ll"], 1e-7)) << "-2LL: not the reference model";

  check_tests(run.doc, e["tests"]);
  check_emmeans(run.doc, e["emmeans"]);
  if (!e["save"].is_null()) {
    ASSERT_TRUE(fs::exists(saved)) << "--save-data wrote no file";
    check_saved(read_csv(data), read_csv(saved), e["save"]);
  }
}

TEST(PostCases, AreInTheRepository) { EXPECT_FALSE(case_ids().empty()) << post_dir() << " holds no cases"; }

INSTANTIATE_TEST_SUITE_P(Post, PostCase, ::testing::ValuesIn(case_ids()),
                         [](const ::testing::TestParamInfo<std::string>& param_info) { return param_info.param; });

}  // namespace
}  // namespace mixed::golden
