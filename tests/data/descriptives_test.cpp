// Descriptive statistics: cell statistics against direct two-pass
// computations, totals and redundant totals, and the table's limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <set>
#include <sstream>

#include "data/descriptives.h"
#include "data_util.h"

namespace mixed::data {
namespace {

using testing::GroupResult;
using testing::Session;
using Paths = std::vector<std::vector<std::string>>;

const host::PivotTable& only_table(const Session& session) {
  auto t = testing::tables(session.out, "Descriptive Statistics");
  EXPECT_EQ(t.size(), 1u);
  return *t.at(0);
}

// The statistic `stat` of variable `var` in the cell at `levels` (one label
// per classification variable; "Total" for a total).
double stat(const host::PivotTable& t, const std::string& var, const std::vector<std::string>& levels,
            const std::string& stat) {
  Paths paths{{var}};
  for (const std::string& l : levels) paths.push_back({l});
  paths.push_back({stat});
  return testing::value_at(t, paths);
}

TEST(Descriptives, CellStatisticsAndTheirMissingCases) {
  const char* data =
      "a,b,c,y,x\n"
      "1,1,1,5,1\n"
      "1,2,1,3,2\n"
      "1,2,1,3,4\n"
      "2,1,1,1,1\n"
      "2,1,1,3,1\n"
      "2,2,1,-1,2\n"
      "2,2,1,1,2\n";
  Session session(testing::csv(data));
  ASSERT_TRUE(session.parse("y BY a b WITH x /FIXED=a b /PRINT=DESCRIPTIVES"));
  testing::run_groups(session);
  const host::PivotTable& t = only_table(session);

  // One case: its count and mean, no standard deviation or coefficient of variation.
  EXPECT_EQ(stat(t, "y", {"1", "1"}, "Count"), 1);
  EXPECT_EQ(stat(t, "y", {"1", "1"}, "Mean"), 5);
  EXPECT_TRUE(std::isnan(stat(t, "y", {"1", "1"}, "Standard Deviation")));
  EXPECT_TRUE(std::isnan(stat(t, "y", {"1", "1"}, "Coefficient of Variation")));
  ASSERT_NE(testing::cell_at(t, {{"y"}, {"1"}, {"1"}, {"Standard Deviation"}}), nullptr) << "shown as missing";
  // A constant: standard deviation and coefficient of variation 0.
  EXPECT_EQ(stat(t, "y", {"1", "2"}, "Standard Deviation"), 0);
  EXPECT_EQ(stat(t, "y", {"1", "2"}, "Coefficient of Variation"), 0);
  EXPECT_DOUBLE_EQ(stat(t, "x", {"1", "2"}, "Standard Deviation"), std::sqrt(2.0));
  // Mean 0: no coefficient of variation.
  EXPECT_DOUBLE_EQ(stat(t, "y", {"2", "2"}, "Standard Deviation"), std::sqrt(2.0));
  EXPECT_TRUE(std::isnan(stat(t, "y", {"2", "2"}, "Coefficient of Variation")));
  EXPECT_DOUBLE_EQ(stat(t, "y", {"2", "1"}, "Coefficient of Variation"), 100 * std::sqrt(2.0) / 2);
  // Totals: y = 5, 3, 3 in a = 1, and all seven cases.
  EXPECT_EQ(stat(t, "y", {"1", "Total"}, "Count"), 3);
  EXPECT_DOUBLE_EQ(stat(t, "y", {"1", "Total"}, "Mean"), 11.0 / 3);
  EXPECT_DOUBLE_EQ(stat(t, "y", {"1", "Total"}, "Standard Deviation"), std::sqrt(4.0 / 3));
  EXPECT_DOUBLE_EQ(stat(t, "y", {"Total", "Total"}, "Mean"), 15.0 / 7);
  EXPECT_DOUBLE_EQ(stat(t, "x", {"Total", "2"}, "Mean"), 10.0 / 4);
  EXPECT_EQ(t.cells().size(), 9u * 2 * 4) << "4 cells, 5 totals, 2 variables, 4 statistics";
  EXPECT_TRUE(t.notes().empty()) << "no redundant totals, no weights";

  // A classification variable with one level suppresses every total.
  Session single(testing::csv(data));
  single.data.set_weight(single.data.find("x"));
  ASSERT_TRUE(single.parse("y BY a b c /FIXED=a b /PRINT=DESCRIPTIVES"));
  testing::run_groups(single);
  const host::PivotTable& u = only_table(single);
  EXPECT_EQ(u.cells().size(), 4u * 4);
  EXPECT_EQ(testing::cell_at(u, {{"y"}, {"1"}, {"Total"}, {"1"}, {"Count"}}), nullptr);
  // The case weight x: counts are summed weights, means weighted.
  EXPECT_EQ(stat(u, "y", {"1", "2", "1"}, "Count"), 6);
  EXPECT_DOUBLE_EQ(stat(u, "y", {"2", "2", "1"}, "Mean"), 0);
  EXPECT_DOUBLE_EQ(stat(u, "y", {"2", "1", "1"}, "Standard Deviation"), std::sqrt(2.0));

  // Without classification variables: one cell of all cases.
  Session none(testing::csv(data));
  ASSERT_TRUE(none.parse("y WITH x /FIXED=x /PRINT=DESCRIPTIVES"));
  testing::run_groups(none);
  const host::PivotTable& w = only_table(none);
  EXPECT_EQ(w.cells().size(), 2u * 4);
  EXPECT_EQ(testing::value_at(w, {{"x"}, {"Count"}}), 7);
  EXPECT_DOUBLE_EQ(testing::value_at(w, {{"y"}, {"Mean"}}), 15.0 / 7);
}

struct Reference {
  std::string file;
  std::string command;
  std::string weight;                  // case weight column, "" none
  std::string regwgt;                  // REGWGT column, "" none
  std::vector<std::string> classvars;  // in classification table order
  std::vector<std::string> vars;       // dependent, then covariates
};

// Every cell of the table against a direct two-pass computation over the
// rows of the file that enter the analysis.
void check_reference(const Reference& ref) {
  Session session(testing::reference_csv(ref.file));
  if (!ref.weight.empty()) session.data.set_weight(session.data.find(ref.weight));
  ASSERT_TRUE(session.parse(ref.command));
  testing::run_groups(session);
  const host::PivotTable& t = only_table(session);

  std::vector<std::map<std::string, std::string>> rows;
  for (auto& row : testing::read_rows(ref.file)) {
    bool valid = ref.weight.empty() || std::stod(row.at(ref.weight)) > 0;
    valid = valid && (ref.regwgt.empty() || (!row.at(ref.regwgt).empty() && std::stod(row.at(ref.regwgt)) > 0));
    for (const auto& v : ref.classvars) valid = valid && !row.at(v).empty();
    for (const auto& v : ref.vars) valid = valid && !row.at(v).empty();
    if (valid) rows.push_back(row);
  }
  auto case_weight = [&](const auto& row) { return ref.weight.empty() ? 1.0 : std::stod(row.at(ref.weight)); };
  auto reg_weight = [&](const auto& row) { return ref.regwgt.empty() ? 1.0 : std::stod(row.at(ref.regwgt)); };

  // Levels in sorted order (numbers numerically, strings by bytes).
  const std::size_t m = ref.classvars.size();
  std::vector<std::vector<std::string>> levels(m);
  for (std::size_t i = 0; i < m; ++i) {
    std::set<std::string> seen;
    for (const auto& row : rows) seen.insert(row.at(ref.classvars[i]));
    levels[i].assign(seen.begin(), seen.end());
    const bool numeric = std::all_of(levels[i].begin(), levels[i].end(), [](const std::string& s) {
      return s.find_first_not_of("0123456789.-") == std::string::npos;
    });
    if (numeric)
      std::sort(levels[i].begin(), levels[i].end(),
                [](const std::string& a, const std::string& b) { return std::stod(a) < std::stod(b); });
  }
  bool totals = m > 0;
  for (const auto& l : levels) totals = totals && l.size() >= 2;

  // Every combination of positions with the rows in it.
  std::vector<std::vector<std::string>> combos{{}};
  for (std::size_t i = 0; i < m; ++i) {
    std::vector<std::vector<std::string>> next;
    for (const auto& c : combos) {
      for (const auto& l : levels[i]) next.push_back(c), next.back().push_back(l);
      if (totals) next.push_back(c), next.back().push_back("Total");
    }
    combos = next;
  }
  auto members = [&](const std::vector<std::string>& combo) {
    std::set<std::size_t> in;
    for (std::size_t r = 0; r < rows.size(); ++r) {
      bool match = true;
      for (std::size_t i = 0; i < m; ++i)
        match = match && (combo[i] == "Total" || combo[i] == rows[r].at(ref.classvars[i]));
      if (match) in.insert(r);
    }
    return in;
  };
  // A total is redundant when a cell that refines it holds the same rows.
  auto refines = [&](const std::vector<std::string>& c, const std::vector<std::string>& total) {
    for (std::size_t i = 0; i < m; ++i)
      if (total[i] != "Total" && c[i] != total[i]) return false;
    return c != total;
  };

  std::size_t shown = 0;
  bool any_redundant = false;
  for (const auto& combo : combos) {
    const std::set<std::size_t> in = members(combo);
    if (in.empty()) continue;
    bool redundant = false;
    for (const auto& other : combos)
      if (refines(other, combo) && members(other) == in) redundant = true;
    if (redundant) {
      any_redundant = true;
      EXPECT_EQ(testing::cell_at(t,
                                 [&] {
                                   Paths p{{ref.vars[0]}};
                                   for (const auto& l : combo) p.push_back({l});
                                   p.push_back({"Count"});
                                   return p;
                                 }()),
                nullptr);
      continue;
    }
    ++shown;
    for (std::size_t v = 0; v < ref.vars.size(); ++v) {
      double count = 0, W = 0, sum = 0;
      for (std::size_t r : in) {
        const double w = case_weight(rows[r]) * (v == 0 ? reg_weight(rows[r]) : 1.0);
        count += case_weight(rows[r]);
        W += w;
        sum += w * std::stod(rows[r].at(ref.vars[v]));
      }
      const double mean = sum / W;
      double S = 0;
      for (std::size_t r : in) {
        const double w = case_weight(rows[r]) * (v == 0 ? reg_weight(rows[r]) : 1.0);
        const double d = std::stod(rows[r].at(ref.vars[v])) - mean;
        S += w * d * d;
      }
      const std::string where = ref.vars[v] + " " + ::testing::PrintToString(combo);
      EXPECT_NEAR(stat(t, ref.vars[v], combo, "Count"), count, 1e-9 * count) << where;
      EXPECT_NEAR(stat(t, ref.vars[v], combo, "Mean"), mean, 1e-10 * (1 + std::fabs(mean))) << where;
      if (W > 1) {
        const double sd = std::sqrt(S / (W - 1));
        EXPECT_NEAR(stat(t, ref.vars[v], combo, "Standard Deviation"), sd, 1e-9 * (1 + sd)) << where;
        EXPECT_NEAR(stat(t, ref.vars[v], combo, "Coefficient of Variation"), 100 * sd / mean,
                    1e-8 * (1 + std::fabs(100 * sd / mean)))
            << where;
      } else {
        EXPECT_TRUE(std::isnan(stat(t, ref.vars[v], combo, "Standard Deviation"))) << where;
      }
    }
  }
  EXPECT_EQ(t.cells().size(), shown * ref.vars.size() * 4);
  std::vector<std::string> notes;
  for (const host::Text& n : t.notes()) notes.push_back(n.json());
  EXPECT_EQ(std::count(notes.begin(), notes.end(), "Redundant totals are omitted ..."), any_redundant ? 1 : 0);
  if (!ref.regwgt.empty()) {
    EXPECT_EQ(std::count(notes.begin(), notes.end(),
                         "Regression weight " + ref.regwgt + " applied to dependent " + ref.vars[0] + " ..."),
              1);
  }
}

TEST(Descriptives, ReferenceDataMatchDirectComputation) {
  // a is constant within clus: every (clus, Total) cell is redundant.
  check_reference({"syn_freq.csv",
                   "y BY a WITH x /FIXED=a x /RANDOM=INTERCEPT | SUBJECT(clus) /PRINT=DESCRIPTIVES",
                   "fw",
                   "",
                   {"clus", "a"},
                   {"y", "x"}});
  check_reference({"syn_miss.csv",
                   "y BY g WITH x t /FIXED=g x t /RANDOM=INTERCEPT | SUBJECT(pid) /PRINT=DESCRIPTIVES",
                   "",
                   "",
                   {"pid", "g"},
                   {"y", "x", "t"}});
  // REGWGT weighs the dependent variable only.
  check_reference({"syn_wt.csv",
                   "y BY trt WITH x /FIXED=trt x /RANDOM=INTERCEPT | SUBJECT(subj) /REGWGT=w /PRINT=DESCRIPTIVES",
                   "",
                   "w",
                   {"subj", "trt"},
                   {"y", "x"}});
  check_reference({"syn_wt.csv", "y BY visit trt /FIXED=trt /PRINT=DESCRIPTIVES", "", "", {"visit", "trt"}, {"y"}});
}

TEST(Descriptives, TooManyCellsLeavesTheTableEmpty) {
  // 5000 levels and their total, 51 variables, 4 statistics: 1020204 cells.
  for (bool split : {false, true}) {
    std::ostringstream text, command;
    text << "s,id,y";
    command << "y BY id WITH";
    for (int k = 1; k <= 50; ++k) text << ",x" << k, command << " x" << k;
    text << "\n";
    for (int r = 0; r < 5000; ++r) {
      text << "1," << r << "," << r % 7;
      for (int k = 1; k <= 50; ++k) text << "," << (r * k) % 11;
      text << "\n";
    }
    command << " /PRINT=DESCRIPTIVES";
    Session session(testing::csv(text.str()));
    if (split) session.data.set_split({0});
    ASSERT_TRUE(session.parse(command.str()));
    testing::run_groups(session);
    EXPECT_FALSE(session.out.error_flag());
    const host::PivotTable& t = only_table(session);
    EXPECT_TRUE(t.cells().empty());
    ASSERT_EQ(t.notes().size(), 1u);
    EXPECT_EQ(t.notes()[0].json(),
              split ? "Desc split s=1 too many cells 1000000 ..." : "Desc too many cells 1000000 ...");
  }
}

}  // namespace
}  // namespace mixed::data
