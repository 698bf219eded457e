// Metamorphic end-to-end checks: a reference data set is transformed in a way
// whose effect on the fit is known in closed form, the same command is run on
// the original and on the transformed data, and the two JSON outputs are
// compared table by table.
//
//   relabelling the codes of class variables   -> likelihood, covariance
//                                                 parameters and Type III
//                                                 tests unchanged
//   scaling the dependent variable by c         -> fixed effects x c, variances
//                                                 x c^2, correlations, df and
//                                                 tests unchanged, -2LL shifted
//   reordering the records                      -> nothing but rounding
//   case or regression weights all equal to 1   -> the same as no weights
//
// The optimiser stops at a convergence tolerance, and transformed data may take
// it along another path to the optimum (other starting values, other rounding),
// so fitted quantities are held to 1e-6 relative, not to rounding; p-values,
// steep functions of their statistics in the tail, to a hundred times that.
// Reordering the records alone changes only the order of sums: 1e-8.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "golden/golden_util.h"

namespace mixed::golden {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

// A model of the reference set: its command and data are reused as they are.
struct Model {
  const char* id;                    // reference case
  std::vector<const char*> classes;  // factors and subject variables, whose codes are mere labels
  const char* subject;               // the variable whose records form one subject ("" none)
};

const Model kModels[] = {
    {"sleep_ri", {"Subject"}, "Subject"},                  // random intercept
    {"sleep_un", {"Subject"}, "Subject"},                  // random intercept and slope, UN
    {"dye_ri_ml", {"Batch"}, "Batch"},                     // random intercept, ML
    {"orth_ar1", {"Sex", "Subject"}, "Subject"},           // REPEATED AR1
    {"orth_cs", {"Sex", "Subject"}, "Subject"},            // REPEATED CS
    {"pen_crossed", {"plate", "sample"}, ""},              // crossed random factors, no SUBJECT
    {"machines_nested", {"Machine", "Worker"}, "Worker"},  // nested random intercepts
    {"oats_nested", {"Variety", "Block"}, "Block"},        // split plot with a covariate
};

const std::vector<std::string> kFitTables = {"Information Criteria", "Parameter Estimates",
                                             "Covariance Parameter Estimates", "Tests of Fixed Effects"};

void PrintTo(const Model& m, std::ostream* os) { *os << m.id; }
std::string ModelName(const ::testing::TestParamInfo<Model>& info) { return info.param.id; }

json reference_case(const std::string& id) {
  std::ifstream in(fs::path(shared_dir()) / "reference/cases" / (id + ".json"));
  return json::parse(in);
}

fs::path data_file(const json& c) { return fs::path(shared_dir()) / "reference/data" / c["data"].get<std::string>(); }

// The program's JSON output for `syntax` on a data file (a failed run leaves
// a null document, which the comparisons then report).
json fit(const std::string& syntax, const fs::path& data, std::vector<std::string> args = {}) {
  args.insert(args.begin(), {"--data", data.string()});
  const Run run = run_mixed(syntax + "\n", args);
  EXPECT_EQ(run.exit_code, 0) << run.stderr_text;
  return run.doc;
}

json fit(const std::string& syntax, const Csv& data, const TempDir& dir, const std::string& name) {
  const fs::path file = dir.path / (name + ".csv");
  write_csv(file, data);
  return fit(syntax, file);
}

// The cells of the named tables, keyed by table and category path; a path met
// twice gets a running number.
std::map<std::string, const json*> cells_by_path(const json& doc, const std::vector<std::string>& names) {
  std::map<std::string, const json*> out;
  for (const std::string& name : names)
    for (const json* t : tables(doc, name))
      for (const json& c : (*t)["cells"]) {
        std::string key = name;
        for (const auto& [dim, path] : c["at"].items()) {
          key += " | " + dim + "=";
          for (const json& p : path) key += "/" + p.get<std::string>();
        }
        std::string unique = key;
        for (int n = 2; out.count(unique) != 0; ++n) unique = key + " #" + std::to_string(n);
        out[unique] = &c;
      }
  return out;
}

std::string leaf(const json& cell, const char* dim) {
  return cell["at"].contains(dim) ? cell["at"][dim].back().get<std::string>() : "";
}

// Expected value of a cell of the transformed fit from the original's:
// factor * value + shift.
struct Map {
  double factor = 1.0;
  double shift = 0.0;
};
using Rule = std::function<Map(const std::string& table, const json& cell)>;
Map unchanged(const std::string&, const json&) { return {}; }

// Every number of the named tables of `a`, mapped by `rule`, against `b`:
// relative tolerance `tol` (p-values 100 tol), the same cells, the same missing.
void expect_related(const json& a, const json& b, const std::vector<std::string>& names, double tol,
                    const Rule& rule = unchanged) {
  const auto want = cells_by_path(a, names);
  const auto got = cells_by_path(b, names);
  ASSERT_FALSE(want.empty()) << "no tables to compare";
  ASSERT_EQ(got.size(), want.size()) << "the same cells";
  for (const auto& [key, w] : want) {
    const auto it = got.find(key);
    ASSERT_NE(it, got.end()) << key;
    const json& wv = (*w)["value"];
    const json& gv = (*it->second)["value"];
    if (!wv.is_number() || !gv.is_number()) {
      EXPECT_EQ(gv, wv) << key;
      continue;
    }
    const std::string table = key.substr(0, key.find(" | "));
    const Map map = rule(table, *w);
    const double expected = map.factor * wv.get<double>() + map.shift;
    const double rel = leaf(*w, "Statistics").find("Significance") != std::string::npos ? 100 * tol : tol;
    // Exact zeros (redundant parameters) stay zero; 1e-12 of the mapped
    // scale absorbs rounding of numbers that are zero in exact arithmetic.
    const double allowed = rel * std::fabs(expected) + 1e-12 * std::max(1.0, map.factor);
    EXPECT_NEAR(gv.get<double>(), expected, allowed) << key;
  }
}

// The distinct codes of a column in order of first appearance.
std::vector<std::string> codes(const Csv& data, int col) {
  std::vector<std::string> out;
  for (const auto& row : data.rows)
    if (std::find(out.begin(), out.end(), row[col]) == out.end()) out.push_back(row[col]);
  return out;
}

// A fixed pseudo-random permutation of 0..n-1 (Fisher-Yates on mt19937, whose
// output the standard fixes, so every platform sees the same data).
std::vector<std::size_t> permutation(std::size_t n, unsigned seed) {
  std::vector<std::size_t> p(n);
  for (std::size_t k = 0; k < n; ++k) p[k] = k;
  std::mt19937 gen(seed);
  for (std::size_t k = n; k > 1; --k) std::swap(p[k - 1], p[gen() % k]);
  return p;
}

// Recode each class variable: reversing the order of its codes, or mapping
// them, shuffled, onto new codes of the same kind (numbers or quoted texts).
Csv relabel(Csv data, const Model& m, bool reverse) {
  for (const char* name : m.classes) {
    const int col = data.column(name);
    std::vector<std::string> from = codes(data, col);
    std::sort(from.begin(), from.end());
    const auto perm = permutation(from.size(), 7);
    std::map<std::string, std::string> to;
    for (std::size_t k = 0; k < from.size(); ++k) {
      const bool text = from[k].front() == '"';
      const std::string fresh = text ? "\"L" + std::to_string(perm[k]) + "\"" : std::to_string(100 + 7 * perm[k]);
      to[from[k]] = reverse ? from[from.size() - 1 - k] : fresh;
    }
    for (auto& row : data.rows) row[col] = to.at(row[col]);
  }
  return data;
}

// Reorder the records: whole subjects shuffled (each keeping its records in
// order), records shuffled within each subject, or all records shuffled.
enum class Order { kSubjects, kWithinSubjects, kAll };

Csv reorder(const Csv& data, const Model& m, Order order) {
  Csv out = data;
  out.rows.clear();
  if (order == Order::kAll) {
    for (std::size_t k : permutation(data.rows.size(), 11)) out.rows.push_back(data.rows[k]);
    return out;
  }
  const int col = data.column(m.subject);
  const std::vector<std::string> subjects = codes(data, col);
  std::vector<std::vector<std::vector<std::string>>> groups(subjects.size());
  for (const auto& row : data.rows)
    groups[std::find(subjects.begin(), subjects.end(), row[col]) - subjects.begin()].push_back(row);
  const auto perm = permutation(groups.size(), 13);
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const auto& group = groups[order == Order::kSubjects ? perm[g] : g];
    const auto inner = permutation(group.size(), 17 + static_cast<unsigned>(g));
    for (std::size_t k = 0; k < group.size(); ++k) out.rows.push_back(group[order == Order::kSubjects ? k : inner[k]]);
  }
  return out;
}

// The dependent variable (the word after MIXED) multiplied by c.
Csv scale_y(Csv data, const std::string& syntax, double c) {
  const std::string y = syntax.substr(6, syntax.find(' ', 6) - 6);
  const int col = data.column(y);
  char buf[32];
  for (auto& row : data.rows) {
    if (row[col].empty()) continue;
    std::snprintf(buf, sizeof buf, "%.17g", c * std::stod(row[col]));
    row[col] = buf;
  }
  return data;
}

class Metamorphic : public ::testing::TestWithParam<Model> {
 protected:
  void SetUp() override {
    c_ = reference_case(GetParam().id);
    ASSERT_TRUE(c_["weight"].is_null()) << "the relations below hold without case weights";
    syntax_ = c_["syntax"].get<std::string>();
    data_ = read_csv(data_file(c_));
    original_ = fit(syntax_, data_file(c_));
    ASSERT_TRUE(original_.is_object());
  }
  json c_;
  std::string syntax_;
  Csv data_;
  json original_;
  TempDir dir_;
};

TEST_P(Metamorphic, RelabellingClassCodesLeavesTheFitUnchanged) {
  // Fixed estimates are not compared: which level is redundant follows the
  // order of the codes.
  const std::vector<std::string> names = {"Information Criteria", "Covariance Parameter Estimates",
                                          "Tests of Fixed Effects"};
  for (const bool reverse : {true, false}) {
    SCOPED_TRACE(reverse ? "codes in reverse order" : "new codes, shuffled");
    const json relabelled = fit(syntax_, relabel(data_, GetParam(), reverse), dir_, "relabelled");
    expect_related(original_, relabelled, names, 1e-6);
  }
}

TEST_P(Metamorphic, ScalingYScalesEstimatesAndShiftsTheLikelihood) {
  const double n = c_["expect"]["n_used"].get<double>();
  const double rank_x = c_["extra"]["rank_x"].get<double>();
  const bool ml = c_["method"] == "ML";
  for (const double c : {1000.0, 0.001}) {
    SCOPED_TRACE("y times " + std::to_string(c));
    // -2LL holds log|V| (ML) or log|V| + log|X'V^-1 X| (REML), which grow by
    // 2 log c per observation, less the rank of X under REML; the quadratic
    // form is unchanged. The information criteria add constants to -2LL.
    const double shift = 2.0 * (ml ? n : n - rank_x) * std::log(c);
    const Rule rule = [&](const std::string& table, const json& cell) -> Map {
      const std::string stat = leaf(cell, "Statistics");
      const bool scaled = stat == "B0" || stat == "Standard Error" || stat == "Covpar Estimate" ||
                          stat == "Covpar Standard Error" || stat == "Lower Bound" || stat == "Upper Bound";
      if (table == "Information Criteria") return {1.0, shift};
      if (table == "Parameter Estimates") return {scaled ? c : 1.0, 0.0};
      if (table == "Covariance Parameter Estimates") {
        // Variances and covariances go with c^2; correlations are free of scale.
        const bool correlation = leaf(cell, "Parameter").find("rho") != std::string::npos;
        return {scaled && !correlation ? c * c : 1.0, 0.0};
      }
      return {};  // Type III tests
    };
    const json scaled = fit(syntax_, scale_y(data_, syntax_, c), dir_, "scaled");
    expect_related(original_, scaled, kFitTables, 1e-6, rule);
  }
}

TEST_P(Metamorphic, ReorderingRecordsChangesNothingButRounding) {
  for (const Order order : {Order::kSubjects, Order::kWithinSubjects, Order::kAll}) {
    if (*GetParam().subject == '\0' && order != Order::kAll) continue;  // no subjects to keep together
    SCOPED_TRACE(order == Order::kSubjects         ? "subjects shuffled"
                 : order == Order::kWithinSubjects ? "records shuffled within subjects"
                                                   : "all records shuffled");
    const json reordered = fit(syntax_, reorder(data_, GetParam(), order), dir_, "reordered");
    expect_related(original_, reordered, kFitTables, 1e-8);
  }
}

INSTANTIATE_TEST_SUITE_P(Reference, Metamorphic, ::testing::ValuesIn(kModels), ModelName);

// Weights of 1 are the unweighted fit: as case weights each record counts once,
// as regression weights no residual variance is rescaled.
TEST(UnitWeights, AreTheUnweightedFit) {
  for (const char* id : {"sleep_un", "machines_nested", "orth_ar1"}) {
    SCOPED_TRACE(id);
    const json c = reference_case(id);
    const std::string syntax = c["syntax"];
    Csv data = read_csv(data_file(c));
    data.header.push_back("one");
    for (auto& row : data.rows) row.push_back("1");
    TempDir dir;
    const fs::path file = dir.path / "ones.csv";
    write_csv(file, data);
    const json plain = fit(syntax, data_file(c));
    const std::string regwgt =
        syntax.substr(0, syntax.find(" /METHOD")) + " /REGWGT=one" + syntax.substr(syntax.find(" /METHOD"));
    expect_related(plain, fit(syntax, file, {"--weight", "one"}), kFitTables, 1e-10);
    expect_related(plain, fit(regwgt, file), kFitTables, 1e-10);
  }
}

}  // namespace
}  // namespace mixed::golden
