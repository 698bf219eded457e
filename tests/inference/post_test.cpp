// The post-estimation driver on a one-term model: what a memory shortage
// leaves out.
#include "inference/post.h"

#include <gtest/gtest.h>

#include "host/engine.h"
#include "host/packed.h"

namespace mixed::inference {
namespace {

using host::Text;

struct OneTermModel {
  host::Output out;
  host::Dataset data;
  host::Progress progress{false};

  // y = β (intercept only) with C = 0.25, β = 3; no fit, so no df.
  void settings(model::Command& cmd, data::GroupData& group, estimate::Estimates& est) {
    cmd.fixed.width = 0;
    cmd.fixed.add_row({});
    cmd.fixed_effect_names = {Text::key("Intercept")};
    group.n_fixed_columns = 1;
    group.fx_ncol = {1};
    group.fx_fcol = {0};
    est.fixed_covariance = {0.25, 3.0, 1.0};
    est.non_redundant.resize(1);
    est.non_redundant.set(0);
    est.l_row_columns = est.non_redundant;
    est.fixed_rank = 1;
    est.hypotheses = {estimate::TermHypothesis{1, {1.0}}};
    est.n_cov_params = 1;
    est.cov_params_reported = {2.0};
    est.cov_param_covariance_reported = {0.5};
    est.cov_param_covariance = {0.5};
    est.cov_params_kept.resize(1);
    est.cov_params_kept.set(0);
    est.covpar_labels = {Text::key("Residual")};
    group.n_observations = 10;
    est.m2ll = 30.0;
    cmd.print_solution = cmd.print_fixed_correlations = true;
  }
};

std::vector<std::string> names(const std::vector<host::Item>& items) {
  std::vector<std::string> out;
  for (const host::Item& it : items) {
    if (const auto* h = std::get_if<host::Heading>(&it)) {
      out.push_back("H " + h->title.json());
      for (const std::string& n : names(h->items)) out.push_back("  " + n);
    } else if (const auto* t = std::get_if<host::PivotTable>(&it)) {
      out.push_back("T " + t->name().json());
    } else if (const auto* m = std::get_if<host::Message>(&it)) {
      out.push_back("M " + m->text.json());
    }
  }
  return out;
}

TEST(Post, MemoryShortageLeavesOutTheTestsAndEstimates) {
  OneTermModel m;
  host::Scratch scratch(0);
  host::Engine e{m.out, m.data, scratch, host::Catalogue::english(), m.progress};
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;
  m.settings(cmd, group, est);
  post_estimation(cmd, group, est, e);
  const std::vector<std::string> want = {"T Model Dimension",
                                         "T Information Criteria",
                                         "M Insufficient output memory ...",
                                         "H Fixed Effects",
                                         "  T Correlation Matrix",
                                         "H Covariance Parameters",
                                         "  T Covariance Parameter Estimates",
                                         "  T Correlation Matrix"};
  EXPECT_EQ(names(m.out.items()), want)
      << "message 4; the tests and parameter tables are left out, the correlation table is still drawn";
  EXPECT_TRUE(m.out.error_flag()) << "message 4 is an error";
}

}  // namespace
}  // namespace mixed::inference
