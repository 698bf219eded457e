#include "estimate/covariance_labels.h"

#include <gtest/gtest.h>

#include "covstruct/catalogue.h"
#include "estimate/estimates.h"
#include "host/catalogue.h"
#include "host/dataset.h"
#include "model/command.h"

namespace mixed::estimate {
namespace {

using data::Levels;
using host::Text;
using model::ClassVar;

// Factors A (numeric 1..3, value 2 labelled "two") and B (string x, y), the
// covariate X, REPEATED variables T (1.5, 2.5) and S (a, b).  Random block 0:
// the intercept, A (3 columns) and A within B (cells 1 and 5: A=1 in B=x, A=2
// in B=y); random block 1: X*X and X within B (2 columns).
struct Model {
  host::Dataset data;
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;

  Model() {
    auto numeric = [&](const char* name, int decimals, std::vector<double> v) {
      host::Variable var;
      var.name = name;
      var.format = {'F', 8, decimals};
      data.add_numeric(var, std::move(v));
    };
    auto string = [&](const char* name, std::vector<std::string> v) {
      host::Variable var;
      var.name = name;
      data.add_string(var, std::move(v));
    };
    numeric("y", 2, {1.0, 2.0});
    numeric("A", 0, {1.0, 2.0});
    data.var(1).value_labels.push_back({2.0, "", "two"});
    string("B", {"x", "y"});
    numeric("X", 2, {0.5, 1.5});
    numeric("T", 1, {1.5, 2.5});
    string("S", {"a", "b"});

    cmd.factors = {1, 2};
    cmd.covariates = {3};
    cmd.random.width = 3;
    for (const std::vector<int>& row :
         std::vector<std::vector<int>>{{0, 0, 0}, {1, 0, 0}, {2, 1, 0}, {0, 0, 2}, {0, 1, -1}})
      cmd.random.add_row(row);
    cmd.classvars = {ClassVar{.var = 1, .factor = 1}, ClassVar{.var = 2, .width = 1, .factor = 2},
                     ClassVar{.var = 4, .repeated = 1}, ClassVar{.var = 5, .width = 1, .repeated = 2}};
    group.levels.resize(4);
    group.levels[0].numbers = {1.0, 2.0, 3.0};
    group.levels[1].numeric = false;
    group.levels[1].strings = {"x", "y"};
    group.levels[2].numbers = {1.5, 2.5};
    group.levels[3].numeric = false;
    group.levels[3].strings = {"a", "b"};
    group.factor_levels = {3, 2};
    cmd.repeated_vars = {4, 5};
    group.n_repeated_levels = 3;
    group.repeated_level_table = {1, 1, 1, 2, 2, 1};
    group.rn_ncol = {1, 3, 2, 1, 2};
    group.rn_fcol = {0, 1, 4, 6, 7};
    group.rn_cell = {1, 1, 2, 3, 1, 5, 1, 1, 2};
    group.blocks.resize(2);
    group.blocks[0].effects = {0, 1, 2};
    group.blocks[0].dim = 6;
    group.blocks[1].effects = {3, 4};
    group.blocks[1].dim = 3;
  }

  std::vector<Text> labels(int n, bool random, int block, covstruct::CovType cov_type, int* status = nullptr) const {
    std::vector<Text> out;
    const int st = covariance_parameter_labels(cmd, group, data, n, random, block, cov_type, out);
    if (status != nullptr) *status = st;
    return out;
  }
};

std::vector<std::string> json(const std::vector<Text>& texts) {
  std::vector<std::string> out;
  for (const Text& t : texts) out.push_back(t.json());
  return out;
}

TEST(CovarianceLabels, RandomBlockLevelsAreDesignColumns) {
  const Model m;
  const std::vector<Text> labels = m.labels(6, true, 0, covstruct::DIAG);
  EXPECT_EQ(json(labels), (std::vector<std::string>{"Var: Intercept", "Var: [A=1]", "Var: [A=2]", "Var: [A=3]",
                                                    "Var: [A=1]([B=x])", "Var: [A=2]([B=y])"}));
  EXPECT_EQ(labels[0].templ(), "Var: Intercept");
  EXPECT_EQ(labels[1].templ(), "Var\\: [:^1:]1");
  // The value label is what the reports show.
  const host::Catalogue none;
  EXPECT_EQ(labels[2].display(none), "Var: [A=two]");
  EXPECT_EQ(json(m.labels(3, true, 1, covstruct::VC_REPEATED)),
            (std::vector<std::string>{"Var: X * X", "Var: X([B=x])", "Var: X([B=y])"}));
}

TEST(CovarianceLabels, RepeatedLevelsNameEachRepeatedVariable) {
  const Model m;
  const std::vector<Text> labels = m.labels(3, false, 0, covstruct::ARH1);
  EXPECT_EQ(json(labels),
            (std::vector<std::string>{"ARH1 rho", "Var: [T=1.5]*[S=a]", "Var: [T=1.5]*[S=b]", "Var: [T=2.5]*[S=a]"}));
  EXPECT_EQ(labels[1].templ(), "Var\\: [\\[%1=%2\\]:*\\[^1=^2\\]:]1");
  EXPECT_EQ(json(m.labels(3, false, 0, covstruct::AD1)),
            (std::vector<std::string>{"Var: [T=1.5]*[S=a]", "AD1 rho 1", "Var: [T=1.5]*[S=b]", "AD1 rho 2",
                                      "Var: [T=2.5]*[S=a]"}));
}

TEST(CovarianceLabels, OneLabelPerParameterAppendedInOrder) {
  const Model m;
  for (int code = 0; code <= 20; ++code)
    for (int n = 1; n <= 3; ++n) {
      const auto cov_type = static_cast<covstruct::CovType>(code);
      std::vector<Text> labels = {Text::raw("before")};
      EXPECT_EQ(covariance_parameter_labels(m.cmd, m.group, m.data, n, false, 0, cov_type, labels), 0);
      ASSERT_EQ(static_cast<int>(labels.size()), 1 + covstruct::parameter_count(n, cov_type)) << code << ", n = " << n;
      EXPECT_EQ(labels[0].json(), "before");
      for (const Text& t : labels) EXPECT_FALSE(t.empty()) << code;
    }
}

}  // namespace
}  // namespace mixed::estimate
