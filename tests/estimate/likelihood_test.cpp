// The likelihood's gradient and Hessian against central finite differences of
// -2LL at parameters away from the optimum, for ML and REML, with random blocks
// (with and without replicates), unstructured G, and repeated structures that
// take the record-wise (DIAG) and the general (AR1, CSH) paths; and -2LL at the
// reference parameters against the reference parts.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "estimate/estimate_util.h"
#include "estimate/likelihood.h"
#include "host/packed.h"

namespace mixed::estimate {
namespace {

using testing::Fitted;
using testing::reference_csv;

struct Model {
  const char* data;
  const char* command;
};

// Parameters away from the optimum: variances scaled, correlations pulled in.
std::vector<double> away_from_optimum(const estimate::Estimates& est) {
  std::vector<double> theta = est.cov_params;
  for (std::size_t k = 0; k < theta.size(); ++k) {
    const double f = 1.0 + 0.25 * static_cast<double>(k % 3) - 0.2;
    theta[k] = std::fabs(theta[k]) < 1.0 && k > 0 ? theta[k] * 0.7 + 0.05 : theta[k] * f;
  }
  return theta;
}

void check_derivatives(const Model& m, const char* method) {
  SCOPED_TRACE(std::string(m.command) + " " + method);
  Fitted f(reference_csv(m.data));
  ASSERT_TRUE(f.run(std::string(m.command) + " /METHOD=" + method + "."));
  ASSERT_TRUE(f.analysable);
  const model::Command& cmd = f.cmd;
  estimate::Estimates& est = f.est;
  Likelihood lik(cmd, f.group, est, f.engine, *est.fit);
  ASSERT_EQ(lik.setup(), 0);
  const bool reml = cmd.method == model::Method::REML;
  const std::vector<double> theta = away_from_optimum(est);
  const std::size_t n = theta.size();

  auto m2ll = [&](const std::vector<double>& t) {
    Evaluation ev;
    EXPECT_EQ(lik.evaluate(t, ev), 0);
    return lik.m2ll(ev);
  };
  auto gradient = [&](const std::vector<double>& t) {
    m2ll(t);
    Derivatives d;
    lik.derivatives(t, true, reml, d);
    return d;
  };

  const Derivatives d = gradient(theta);
  double gscale = 1.0;
  for (double g : d.g) gscale = std::max(gscale, std::fabs(g));
  double hscale = 1.0;
  for (double h : d.H) hscale = std::max(hscale, std::fabs(h));

  for (std::size_t k = 0; k < n; ++k) {
    const double h = 1e-5 * std::max(1.0, std::fabs(theta[k]));
    std::vector<double> up = theta, down = theta;
    up[k] += h;
    down[k] -= h;
    const double fd = (m2ll(up) - m2ll(down)) / (2.0 * h);
    EXPECT_NEAR(d.g[k], fd, 1e-5 * gscale) << "gradient of -2LL, parameter " << k;
    const Derivatives du = gradient(up), dd = gradient(down);
    for (std::size_t l = 0; l < n; ++l) {
      const double fdh = (du.g[l] - dd.g[l]) / (2.0 * h);
      EXPECT_NEAR(d.H[host::sym(k, l)], fdh, 1e-5 * hscale) << "Hessian of -2LL at (" << k << ", " << l << ")";
    }
  }
}

const Model kModels[] = {
    {"Ovary.csv",
     "MIXED follic WITH s1 c1 /FIXED=s1 c1 /RANDOM=INTERCEPT | SUBJECT(Mare) "
     "/REPEATED=occ | SUBJECT(Mare) COVTYPE(AR1)"},
    {"sleepstudy.csv", "MIXED Reaction WITH Days /FIXED=Days /RANDOM=INTERCEPT Days | SUBJECT(Subject) COVTYPE(UN)"},
    {"Machines.csv",
     "MIXED score BY Machine /FIXED=Machine /RANDOM=INTERCEPT | SUBJECT(Worker) "
     "/RANDOM=INTERCEPT | SUBJECT(Worker*Machine)"},
    {"Orthodont.csv", "MIXED distance BY Sex WITH age /FIXED=Sex age /REPEATED=age | SUBJECT(Subject) COVTYPE(CSH)"},
    {"Orthodont.csv", "MIXED distance BY Sex WITH age /FIXED=Sex age /REPEATED=age | SUBJECT(Subject)"},
};

TEST(Likelihood, DerivativesMatchFiniteDifferencesUnderReml) {
  for (const Model& m : kModels) check_derivatives(m, "REML");
}

TEST(Likelihood, DerivativesMatchFiniteDifferencesUnderMl) {
  for (const Model& m : kModels) check_derivatives(m, "ML");
}

// -2LL at the reference parameters reproduces the reference's parts tightly:
// log|V|, r'V^-1 r and log|X'V^-1 X| of a random intercept model.
TEST(Likelihood, PartsAtTheReferenceParameters) {
  Fitted f(reference_csv("sleepstudy.csv"));
  ASSERT_TRUE(f.run("MIXED Reaction WITH Days /FIXED=Days /RANDOM=INTERCEPT | SUBJECT(Subject) /METHOD=REML."));
  Likelihood lik(f.cmd, f.group, f.est, f.engine, *f.est.fit);
  ASSERT_EQ(lik.setup(), 0);
  Evaluation ev;
  ASSERT_EQ(lik.evaluate(std::vector<double>{960.456578928759, 1378.1785084185}, ev), 0);
  EXPECT_NEAR(ev.ldetv, 1285.29272168083, 1e-9 * 1285.3) << "log|V|";
  EXPECT_NEAR(ev.rquad, 178.0, 1e-9 * 178) << "r'V^-1 r";
  EXPECT_NEAR(ev.ldetx, -3.9697541067682, 1e-9 * 4) << "log|X'V^-1 X|";
  EXPECT_NEAR(lik.m2ll(ev), 1786.46508539492, 1e-10 * 1786.5) << "-2 restricted log likelihood";
}

}  // namespace
}  // namespace mixed::estimate
