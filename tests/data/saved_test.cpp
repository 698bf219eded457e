// The saved variables of SAVE: names, formats and labels of the new variables,
// and the saved values against an independent dense computation of the mixed
// model equations, hand-worked BLUPs, the closed-form least-squares case,
// split files and SUBJECTS(GROUPED).
#include "data/saved.h"

#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <cmath>
#include <functional>
#include <map>
#include <variant>

#include "data/case_pass.h"
#include "data/design.h"
#include "data/subjects.h"
#include "data_util.h"
#include "driver/mixctl.h"
#include "estimate/estimate.h"
#include "estimate/fit.h"
#include "host/packed.h"
#include "host/tokens.h"
#include "host/workfile.h"
#include "inference/saved_values.h"

namespace mixed::data {
namespace {

using enum model::SaveCode;
using Eigen::MatrixXd;
using Eigen::VectorXd;
using testing::Session;

// ---------------------------------------------------------------------------
// Running a command: the stages of the procedure driver over every split
// group (keeping the settings of the last group), or the driver itself.

bool run_stages(Session& session, std::string_view command) {
  if (!session.parse(command)) return false;
  const model::Command& cmd = session.cmd;
  host::Engine& e = session.engine;
  data::SaveFiles& save_files = session.save_files;
  save_files.cases = std::make_unique<host::WorkFile>(session.scratch, 1);
  save_files.values = std::make_unique<host::WorkFile>(session.scratch, static_cast<std::size_t>(cmd.n_saved()));
  host::CaseReader reader(session.data);
  int group_number = 0;
  while (reader.next_group()) {
    session.group = GroupData{};
    session.est = estimate::Estimates{};
    GroupData& group = session.group;
    estimate::Estimates& est = session.est;
    bool analysable = true;
    case_pass(cmd, group, save_files, e, reader, group_number, analysable);
    if (session.out.error_flag()) return false;
    if (!analysable) continue;
    if (cmd.n_class_vars() > 0) order_subjects(cmd, group, e);
    design_columns(cmd, group, e);
    estimate::estimate(cmd, group, est, e, analysable);
    if (session.out.error_flag()) return false;
    if (analysable) inference::compute_saved_values(cmd, group, est, save_files, e, group_number);
    if (session.out.error_flag()) return false;
  }
  write_saved_variables(cmd, save_files, e);
  return !session.out.error_flag();
}

void run_driver(Session& session, std::string_view command) {
  std::vector<host::LexProblem> problems;
  host::TokenStream tokens(host::tokenize(command, problems));
  driver::run_mixed_command(tokens, session.engine);
}

std::vector<double> column(const host::Dataset& d, std::string_view name) {
  const auto v = d.find(name);
  EXPECT_TRUE(v.has_value()) << "variable " << name;
  std::vector<double> out;
  if (v)
    for (std::size_t r = 0; r < d.n_cases(); ++r) out.push_back(d.number(*v, r));
  return out;
}

const host::Notes* variables_created(const host::Output& out) {
  const host::Notes* found = nullptr;
  std::function<void(const std::vector<host::Item>&)> walk = [&](const std::vector<host::Item>& items) {
    for (const host::Item& item : items) {
      if (const auto* n = std::get_if<host::Notes>(&item); n && n->title.json() == "Variables Created") found = n;
      if (const auto* h = std::get_if<host::Heading>(&item)) walk(h->items);
    }
  };
  walk(out.items());
  return found;
}

void expect_near_rel(double got, double want, double tol, const std::string& what) {
  EXPECT_NEAR(got, want, tol * std::max(1.0, std::abs(want))) << what;
}

// ---------------------------------------------------------------------------
// Names, formats and labels.

TEST(SavedNames, NumberedRootsSkipTakenNamesAndFailBeyondTheLongestName) {
  host::Dataset d = testing::csv("y,PRED_1,pred_2,x\n1,2,3,4\n");
  const std::vector<std::string> none;
  EXPECT_EQ(unused_variable_name(d, "RESID", none), "RESID_1");
  EXPECT_EQ(unused_variable_name(d, "PRED", none), "PRED_3") << "PRED_1 and pred_2 exist (case ignored)";
  const std::vector<std::string> taken = {"resid_1", "RESID_2"};
  EXPECT_EQ(unused_variable_name(d, "RESID", taken), "RESID_3") << "names made earlier in the same SAVE";
  EXPECT_EQ(unused_variable_name(d, std::string(62, 'a'), none), std::string(62, 'a') + "_1") << "64 bytes";
  EXPECT_FALSE(unused_variable_name(d, std::string(63, 'a'), none).has_value()) << "65 bytes is no name";

  host::PrintFormat dep{'F', 8, 3};
  EXPECT_EQ(save_format(PRED, dep).str(), "F11.5");
  EXPECT_EQ(save_format(SEFIXP, host::PrintFormat{'F', 39, 15}).str(), "F40.16") << "width at most 40";
  EXPECT_EQ(save_format(RESID, host::PrintFormat{'F', 20, 16}).str(), "F23.16") << "decimals at most 16";
  EXPECT_EQ(save_format(DFFIXP, dep).str(), "F8.2");
  EXPECT_EQ(save_format(DFPRED, dep).str(), "F8.2");
}

// ---------------------------------------------------------------------------
// A mixed model in dense matrices over the valid cases: R(θ) (θ_0 I unless
// given) and G(θ) over the random columns of all subjects, V = Z G Z' + R.
// X is a full-rank parametrisation of its own.

struct DenseModel {
  MatrixXd X, Z;
  VectorXd y;
  std::function<MatrixXd(const VectorXd&)> G, R;

  MatrixXd Rm(const VectorXd& t) const { return R ? R(t) : MatrixXd(t(0) * MatrixXd::Identity(X.rows(), X.rows())); }
  MatrixXd V(const VectorXd& t) const { return Z * G(t) * Z.transpose() + Rm(t); }
  MatrixXd C(const VectorXd& t) const { return (X.transpose() * V(t).inverse() * X).inverse(); }
  VectorXd beta(const VectorXd& t) const { return C(t) * X.transpose() * V(t).inverse() * y; }
  VectorXd blup(const VectorXd& t) const { return G(t) * Z.transpose() * V(t).inverse() * (y - X * beta(t)); }
  // l'M⁻¹l for l = (x, z), M the coefficient matrix of the mixed-model
  // equations.
  double pev(const VectorXd& t, const VectorXd& x, const VectorXd& z) const {
    const Eigen::Index p = X.cols(), q = Z.cols();
    const MatrixXd Ri = Rm(t).inverse();
    MatrixXd M(p + q, p + q);
    M << X.transpose() * Ri * X, X.transpose() * Ri * Z,
        Z.transpose() * Ri * X, Z.transpose() * Ri * Z + G(t).inverse();
    VectorXd l(p + q);
    l << x, z;
    return l.dot(M.inverse() * l);
  }
};

// Central differences of f at θ.
VectorXd gradient(const VectorXd& t, const std::function<double(const VectorXd&)>& f) {
  VectorXd g(t.size());
  for (Eigen::Index k = 0; k < t.size(); ++k) {
    const double h = 1e-5 * std::max(1.0, std::abs(t(k)));
    VectorXd a = t, b = t;
    a(k) += h;
    b(k) -= h;
    g(k) = (f(a) - f(b)) / (2 * h);
  }
  return g;
}

// θ and W of the fit; the test models have only variance and covariance
// parameters, whose internal scale is their own.
struct FittedParameters {
  VectorXd theta;
  MatrixXd W;
};

FittedParameters fitted_parameters(const estimate::Estimates& est) {
  EXPECT_EQ(est.cov_params, est.cov_params_reported) << "variances and covariances only";
  FittedParameters f;
  const Eigen::Index n = est.n_cov_params;
  f.theta = Eigen::Map<const VectorXd>(est.cov_params.data(), n);
  f.W.resize(n, n);
  for (Eigen::Index i = 0; i < n; ++i)
    for (Eigen::Index j = 0; j < n; ++j)
      f.W(i, j) = est.cov_param_covariance[host::sym(static_cast<std::size_t>(i), static_cast<std::size_t>(j))];
  return f;
}

// One case to compare: its fixed row x and its random row z over all the
// random columns of the dense model; `fresh` is the variance of the random
// part of a subject the fit has not seen (z is then 0 and û = 0).
struct DenseCase {
  std::size_t row = 0;
  VectorXd x, z;
  std::function<double(const VectorXd&)> fresh;
};

// The cases of rows `rows`, whose x and z are the rows of the dense X and Z.
std::vector<DenseCase> dense_rows(const DenseModel& m, std::initializer_list<std::size_t> rows) {
  std::vector<DenseCase> cases;
  for (std::size_t r : rows)
    cases.push_back({r, m.X.row(static_cast<Eigen::Index>(r)).transpose(),
                     m.Z.row(static_cast<Eigen::Index>(r)).transpose(), {}});
  return cases;
}

// FXPRED_1, PRED_1, SEFIXP_1, SEPRED_1, DFFIXP_1 and the DFPRED variable of
// every case against the dense model: x'β̂, x'β̂ + z'û, √(x'Cx), √(l'M⁻¹l)
// and 2v²/(g'Wg) with g by central differences.
void expect_dense(const host::Dataset& d, const DenseModel& m, const FittedParameters& f,
                  const std::vector<DenseCase>& cases, std::string_view dfpred = "DFPRED_1") {
  const std::vector<double> fix = column(d, "FXPRED_1"), pred = column(d, "PRED_1"), sef = column(d, "SEFIXP_1"),
                            sep = column(d, "SEPRED_1"), dff = column(d, "DFFIXP_1"), dfp = column(d, dfpred);
  const VectorXd beta = m.beta(f.theta), u = m.blup(f.theta);
  for (const DenseCase& c : cases) {
    const std::string row = "row " + std::to_string(c.row);
    const auto var_f = [&](const VectorXd& t) { return c.x.dot(m.C(t) * c.x); };
    const auto var_p = [&](const VectorXd& t) { return m.pev(t, c.x, c.z) + (c.fresh ? c.fresh(t) : 0.0); };
    const double vf = var_f(f.theta), vp = var_p(f.theta);
    const VectorXd gf = gradient(f.theta, var_f), gp = gradient(f.theta, var_p);
    expect_near_rel(fix[c.row], c.x.dot(beta), 1e-9, row + " FIXPRED = x'b");
    expect_near_rel(pred[c.row], c.x.dot(beta) + c.z.dot(u), 1e-9, row + " PRED = x'b + z'u");
    expect_near_rel(sef[c.row], std::sqrt(vf), 1e-8, row + " SEFIXP^2 = x'Cx");
    expect_near_rel(sep[c.row], std::sqrt(vp), 1e-8, row + " SEPRED^2 = l'M^-1 l");
    expect_near_rel(dff[c.row], 2 * vf * vf / gf.dot(f.W * gf), 1e-5, row + " DFFIXP by finite differences");
    expect_near_rel(dfp[c.row], 2 * vp * vp / gp.dot(f.W * gp), 1e-5, row + " DFPRED by finite differences");
  }
}

// Subjects are the combinations of id and h.  Rows 3 to 6 stay out of the
// fit: a missing dependent value in subject (1,1); a missing dependent value
// in the combination (2,2), which no valid case has (a subject new to the
// fit); the level a = 3, which no valid case has; a missing covariate.
constexpr const char* kRandomIntercept =
    "id,h,a,x,y\n"
    "3,2,2,5.86,14.06\n"
    "3,2,1,6.99,14.889\n"
    "1,1,1,3.66,14.062\n"
    "1,1,2,4.0,\n"
    "2,2,1,3.0,\n"
    "2,1,3,5.0,\n"
    "3,1,1,,11.0\n"
    "2,1,1,1.03,10.517\n"
    "1,2,1,5.51,12.699\n"
    "3,2,2,7.29,17.079\n"
    "2,1,1,5.48,13.105\n"
    "1,1,2,9.48,17.442\n"
    "3,1,2,7.77,11.729\n"
    "2,1,1,5.57,15.469\n"
    "3,1,1,5.64,9.589\n"
    "1,2,1,6.31,12.217\n"
    "3,2,1,0.82,11.074\n"
    "1,2,1,5.77,8.771\n"
    "2,1,1,2.9,12.52\n"
    "1,1,2,0.7,13.846\n"
    "1,1,1,9.1,16.662\n"
    "2,1,2,5.6,14.973\n";

TEST(SavedValues, RandomInterceptMatchesTheDenseMixedModelEquations) {
  Session session(testing::csv(kRandomIntercept));
  ASSERT_TRUE(run_stages(session, "y BY a WITH x /FIXED = a x /RANDOM = INTERCEPT | SUBJECT(id*h)"
                                  " /SAVE = FIXPRED PRED RESID SEFIXP SEPRED DFFIXP DFPRED(dfp)"));
  const host::Dataset& d = session.data;
  const FittedParameters f = fitted_parameters(session.est);
  ASSERT_EQ(f.theta.size(), 2);
  ASSERT_GT(f.theta(1), 0.0) << "the test needs a positive subject variance";

  const auto at = [&](const char* v, std::size_t r) { return d.number(*d.find(v), r); };
  const auto key = [&](std::size_t r) { return std::make_pair(int(at("id", r)), int(at("h", r))); };
  const auto xrow = [&](std::size_t r) {
    VectorXd x(3);
    x << 1.0, at("x", r), at("a", r) == 1 ? 1.0 : 0.0;
    return x;
  };
  std::vector<std::size_t> valid;
  std::map<std::pair<int, int>, int> subject_of;
  for (std::size_t r = 0; r < d.n_cases(); ++r)
    if (r < 3 || r > 6) {
      valid.push_back(r);
      subject_of.try_emplace(key(r), static_cast<int>(subject_of.size()));
    }
  const Eigen::Index n = static_cast<Eigen::Index>(valid.size()), q = static_cast<Eigen::Index>(subject_of.size());
  DenseModel m;
  m.G = [q](const VectorXd& t) { return MatrixXd(t(1) * MatrixXd::Identity(q, q)); };
  m.X.resize(n, 3);
  m.Z = MatrixXd::Zero(n, q);
  m.y.resize(n);
  for (Eigen::Index k = 0; k < n; ++k) {
    m.X.row(k) = xrow(valid[k]).transpose();
    m.Z(k, subject_of.at(key(valid[k]))) = 1.0;
    m.y(k) = at("y", valid[k]);
  }
  std::vector<DenseCase> cases;
  for (std::size_t r : {0u, 1u, 2u, 3u, 4u, 7u, 12u, 20u, 21u}) {
    DenseCase c{r, xrow(r), VectorXd::Zero(q), {}};
    if (const auto it = subject_of.find(key(r)); it != subject_of.end())
      c.z(it->second) = 1.0;
    else
      c.fresh = [](const VectorXd& t) { return t(1); };
    cases.push_back(c);
  }
  expect_dense(d, m, f, cases, "dfp");

  const std::vector<double> fix = column(d, "FXPRED_1"), pred = column(d, "PRED_1"), resid = column(d, "RESID_1");
  EXPECT_DOUBLE_EQ(pred[4], fix[4]) << "a subject new to the fit predicts u = 0";
  for (std::size_t r = 0; r < d.n_cases(); ++r) {
    if (r == 3 || r == 4)
      EXPECT_TRUE(host::is_sysmis(resid[r])) << "row " << r << " has no dependent value";
    else if (r == 5 || r == 6)
      for (const char* v : {"FXPRED_1", "PRED_1", "RESID_1", "SEFIXP_1", "SEPRED_1", "DFFIXP_1", "dfp"})
        EXPECT_TRUE(host::is_sysmis(column(d, v)[r])) << v << " row " << r << ": unseen level or missing covariate";
    else
      expect_near_rel(resid[r], at("y", r) - pred[r], 1e-12, "RESID = y - PRED");
  }

  // The BLUP of a random intercept by hand: σ_u² n_i r̄_i / (σ_e² + n_i σ_u²),
  // r̄_i the subject's mean of y - FIXPRED over its valid cases.
  std::map<int, std::pair<int, double>> sums;
  for (std::size_t r : valid) {
    auto& [count, sum] = sums[subject_of.at(key(r))];
    ++count;
    sum += at("y", r) - fix[r];
  }
  for (std::size_t r : valid) {
    const auto [count, sum] = sums[subject_of.at(key(r))];
    expect_near_rel(pred[r] - fix[r], f.theta(1) * sum / (f.theta(0) + count * f.theta(1)), 1e-8,
                    "BLUP of row " + std::to_string(r));
  }

  // The new variables at the end of the dictionary, with labels and formats.
  const std::size_t first = *d.find("FXPRED_1");
  const host::PrintFormat& yf = d.var(*d.find("y")).format;
  EXPECT_EQ(first, d.n_variables() - 7);
  EXPECT_EQ(d.var(first).label, "Fixed Predicted Values");
  EXPECT_EQ(d.var(first).format.str(), "F" + std::to_string(yf.width + 3) + "." + std::to_string(yf.decimals + 2));
  EXPECT_EQ(d.var(*d.find("dfp")).format.str(), "F8.2");
  const host::Notes* notes = variables_created(session.out);
  ASSERT_NE(notes, nullptr);
  ASSERT_EQ(notes->entries.size(), 7u);
  EXPECT_EQ(notes->entries[0].label.json(), "FXPRED_1");
  EXPECT_EQ(notes->entries[6].label.json(), "dfp");
  EXPECT_EQ(notes->entries[6].value.json(), "Degrees of Freedom of Predicted Values");
}

// A random intercept and slope with an unstructured G_j (θ = σ², g11, g21,
// g22) on the sleep-deprivation data.
TEST(SavedValues, UnstructuredRandomSlopeMatchesTheDenseMixedModelEquations) {
  Session session(testing::reference_csv("sleepstudy.csv"));
  ASSERT_TRUE(run_stages(session, "Reaction WITH Days /FIXED = Days /RANDOM = INTERCEPT Days | SUBJECT(Subject)"
                                  " COVTYPE(UN) /SAVE = SEPRED FIXPRED DFPRED PRED DFFIXP SEFIXP"));
  const host::Dataset& d = session.data;
  const FittedParameters f = fitted_parameters(session.est);
  ASSERT_EQ(f.theta.size(), 4);

  const auto at = [&](const char* v, std::size_t r) { return d.number(*d.find(v), r); };
  std::map<double, int> subject_of;
  for (std::size_t r = 0; r < d.n_cases(); ++r)
    subject_of.try_emplace(at("Subject", r), static_cast<int>(subject_of.size()));
  const Eigen::Index n = static_cast<Eigen::Index>(d.n_cases()), q = 2 * static_cast<Eigen::Index>(subject_of.size());
  DenseModel m;
  m.G = [q](const VectorXd& t) {
    MatrixXd g = MatrixXd::Zero(q, q);
    for (Eigen::Index k = 0; k < q; k += 2) g.block(k, k, 2, 2) << t(1), t(2), t(2), t(3);
    return g;
  };
  m.X.resize(n, 2);
  m.Z = MatrixXd::Zero(n, q);
  m.y.resize(n);
  for (Eigen::Index r = 0; r < n; ++r) {
    const std::size_t row = static_cast<std::size_t>(r);
    m.X.row(r) << 1.0, at("Days", row);
    m.Z.block(r, 2 * subject_of.at(at("Subject", row)), 1, 2) << 1.0, at("Days", row);
    m.y(r) = at("Reaction", row);
  }
  expect_dense(d, m, f, dense_rows(m, {0, 1, 9, 95, 179}));
}

// Random blocks whose subjects differ: Block is the common subject, and the
// Block*Variety intercepts are one replicate per variety within a block.
// Variety is a string factor with blanks in its values.
TEST(SavedValues, ReplicatedRandomBlocksMatchTheDenseMixedModelEquations) {
  Session session(testing::reference_csv("Oats.csv"));
  ASSERT_TRUE(run_stages(session, "yield BY Variety WITH nitro /FIXED = Variety nitro"
                                  " /RANDOM = INTERCEPT | SUBJECT(Block) /RANDOM = INTERCEPT | SUBJECT(Block*Variety)"
                                  " /SAVE = FIXPRED PRED SEFIXP SEPRED DFFIXP DFPRED"));
  const host::Dataset& d = session.data;
  const FittedParameters f = fitted_parameters(session.est);
  ASSERT_EQ(f.theta.size(), 3);

  const auto str = [&](const char* v, std::size_t r) { return d.string(*d.find(v), r); };
  std::map<std::string, int> block_of, plot_of, variety_of;
  for (std::size_t r = 0; r < d.n_cases(); ++r) {
    block_of.try_emplace(str("Block", r), static_cast<int>(block_of.size()));
    plot_of.try_emplace(str("Block", r) + "/" + str("Variety", r), static_cast<int>(plot_of.size()));
    variety_of.try_emplace(str("Variety", r), static_cast<int>(variety_of.size()));
  }
  const Eigen::Index n = static_cast<Eigen::Index>(d.n_cases()), nb = static_cast<Eigen::Index>(block_of.size()),
                     np = static_cast<Eigen::Index>(plot_of.size());
  DenseModel m;
  m.G = [nb, np](const VectorXd& t) {
    VectorXd g(nb + np);
    g << VectorXd::Constant(nb, t(1)), VectorXd::Constant(np, t(2));
    return MatrixXd(g.asDiagonal());
  };
  m.X = MatrixXd::Zero(n, 4);
  m.Z = MatrixXd::Zero(n, nb + np);
  m.y.resize(n);
  for (Eigen::Index r = 0; r < n; ++r) {
    const std::size_t row = static_cast<std::size_t>(r);
    m.X(r, 0) = 1.0;
    if (const int v = variety_of.at(str("Variety", row)); v > 0) m.X(r, v) = 1.0;
    m.X(r, 3) = d.number(*d.find("nitro"), row);
    m.Z(r, block_of.at(str("Block", row))) = 1.0;
    m.Z(r, nb + plot_of.at(str("Block", row) + "/" + str("Variety", row))) = 1.0;
    m.y(r) = d.number(*d.find("yield"), row);
  }
  expect_dense(d, m, f, dense_rows(m, {0, 5, 13, 40, 71}));
}

// A random intercept with an AR(1) residual over the occasions of each mare
// (θ = σ², ρ, σ_u²): the repeated block has two parameters.
TEST(SavedValues, AutoregressiveResidualWithRandomInterceptMatchesTheDenseModel) {
  Session session(testing::reference_csv("Ovary.csv"));
  ASSERT_TRUE(run_stages(session, "follic WITH s1 c1 /FIXED = s1 c1 /RANDOM = INTERCEPT | SUBJECT(Mare)"
                                  " /REPEATED = occ | SUBJECT(Mare) COVTYPE(AR1) /SAVE = FIXPRED PRED SEFIXP SEPRED"
                                  " DFFIXP DFPRED"));
  const host::Dataset& d = session.data;
  const FittedParameters f = fitted_parameters(session.est);
  ASSERT_EQ(f.theta.size(), 3);

  const auto at = [&](const char* v, std::size_t r) { return d.number(*d.find(v), r); };
  std::map<double, int> mare_of, occasion_of;
  for (std::size_t r = 0; r < d.n_cases(); ++r) {
    mare_of.try_emplace(at("Mare", r), static_cast<int>(mare_of.size()));
    occasion_of.emplace(at("occ", r), 0);
  }
  int place = 0;
  for (auto& [occ, k] : occasion_of) k = place++;
  const Eigen::Index n = static_cast<Eigen::Index>(d.n_cases()), q = static_cast<Eigen::Index>(mare_of.size());
  DenseModel m;
  m.G = [q](const VectorXd& t) { return MatrixXd(t(2) * MatrixXd::Identity(q, q)); };
  m.R = [&](const VectorXd& t) {
    MatrixXd R = MatrixXd::Zero(n, n);
    for (Eigen::Index a = 0; a < n; ++a)
      for (Eigen::Index b = 0; b < n; ++b)
        if (at("Mare", static_cast<std::size_t>(a)) == at("Mare", static_cast<std::size_t>(b)))
          R(a, b) = t(0) * std::pow(t(1), std::abs(occasion_of.at(at("occ", static_cast<std::size_t>(a))) -
                                                   occasion_of.at(at("occ", static_cast<std::size_t>(b)))));
    return R;
  };
  m.X.resize(n, 3);
  m.Z = MatrixXd::Zero(n, q);
  m.y.resize(n);
  for (Eigen::Index r = 0; r < n; ++r) {
    const std::size_t row = static_cast<std::size_t>(r);
    m.X.row(r) << 1.0, at("s1", row), at("c1", row);
    m.Z(r, mare_of.at(at("Mare", row))) = 1.0;
    m.y(r) = at("follic", row);
  }
  expect_dense(d, m, f, dense_rows(m, {0, 150, 307}));
}

// Without random effects and with an identity residual the model is fitted in
// closed form: SEFIXP² = σ̂² x'(X'X)⁻¹x, the Satterthwaite df of every fixed
// prediction is the residual df n - rank, and PRED, SEPRED, DFPRED are their
// fixed counterparts.
TEST(SavedValues, LeastSquaresFitGivesResidualDegreesOfFreedom) {
  Session session(testing::csv(kRandomIntercept));
  ASSERT_TRUE(run_stages(session, "y BY a WITH x /FIXED = a x /SAVE = SEPRED DFPRED PRED SEFIXP DFFIXP FIXPRED"));
  const host::Dataset& d = session.data;
  const std::vector<double> fix = column(d, "FXPRED_1"), pred = column(d, "PRED_1"), sef = column(d, "SEFIXP_1"),
                            sep = column(d, "SEPRED_1"), dff = column(d, "DFFIXP_1"), dfp = column(d, "DFPRED_1");
  const auto at = [&](const char* v, std::size_t r) { return d.number(*d.find(v), r); };
  MatrixXd X(18, 3);
  VectorXd y(18);
  std::vector<std::size_t> rows;
  for (std::size_t r = 0; r < d.n_cases(); ++r)
    if (r < 3 || r > 6) rows.push_back(r);
  for (std::size_t k = 0; k < rows.size(); ++k) {
    X.row(static_cast<Eigen::Index>(k)) << 1.0, at("x", rows[k]), at("a", rows[k]) == 1 ? 1.0 : 0.0;
    y(static_cast<Eigen::Index>(k)) = at("y", rows[k]);
  }
  const MatrixXd XtXi = (X.transpose() * X).inverse();
  const VectorXd b = XtXi * X.transpose() * y;
  const double sigma2 = (y - X * b).squaredNorm() / (18 - 3);
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const std::size_t r = rows[k];
    const VectorXd x = X.row(static_cast<Eigen::Index>(k)).transpose();
    expect_near_rel(fix[r], x.dot(b), 1e-9, "FIXPRED by least squares");
    expect_near_rel(sef[r], std::sqrt(sigma2 * x.dot(XtXi * x)), 1e-9, "SEFIXP by least squares");
    expect_near_rel(dff[r], 15.0, 1e-8, "DFFIXP = n - rank");
    EXPECT_EQ(pred[r], fix[r]);
    EXPECT_EQ(sep[r], sef[r]);
    EXPECT_EQ(dfp[r], dff[r]);
  }
  EXPECT_FALSE(host::is_sysmis(fix[3])) << "a missing dependent value still has a prediction";
}

// ---------------------------------------------------------------------------
// Split files through the driver: group 2 has no valid case and is not
// analysed; the others save exactly what a run on their own rows saves, and
// the name PRED_1 being taken makes the predicted values PRED_2.

constexpr const char* kSplit =
    "g,id,x,y,PRED_1\n"
    "1,1,1,3.1,0\n1,1,2,4.2,0\n1,2,1,2.0,0\n1,2,2,3.3,0\n1,3,1,4.4,0\n1,3,2,5.9,0\n1,3,3,6.1,0\n"
    "2,1,1,,0\n2,2,1,,0\n"
    "3,1,1,7.0,0\n3,1,2,8.1,0\n3,2,1,5.2,0\n3,2,2,7.7,0\n3,3,1,6.0,0\n3,3,2,6.4,0\n"
    "3,4,1,9.0,0\n3,4,2,9.9,0\n3,4,3,,0\n";

constexpr const char* kSplitCommand =
    "y WITH x /FIXED = x /RANDOM = INTERCEPT | SUBJECT(id) /SAVE = PRED RESID SEPRED DFPRED.";

host::Dataset rows_of(const host::Dataset& d, std::size_t begin, std::size_t end) {
  std::vector<std::size_t> rows;
  for (std::size_t r = begin; r < end; ++r) rows.push_back(r);
  host::Dataset out = testing::permute_rows(d, rows);
  out.set_split({});
  return out;
}

TEST(SavedValues, SplitGroupsSaveWhatSeparateRunsSaveAndUnanalysedGroupsNothing) {
  host::Dataset data = testing::csv(kSplit);
  data.set_split({*data.find("g")});
  Session split(data);
  run_driver(split, kSplitCommand);
  EXPECT_FALSE(split.out.error_flag());
  const std::vector<int> numbers = testing::message_numbers(split.out);
  EXPECT_NE(std::find(numbers.begin(), numbers.end(), 1002), numbers.end()) << "group 2 has no valid case";
  const std::vector<std::string> names = {"PRED_2", "RESID_1", "SEPRED_1", "DFPRED_1"};
  for (const std::string& n : names) ASSERT_TRUE(split.data.find(n).has_value()) << n;

  for (const auto& [begin, end] : {std::pair<std::size_t, std::size_t>{0, 7}, {9, 18}}) {
    Session alone(rows_of(data, begin, end));
    run_driver(alone, kSplitCommand);
    for (const std::string& n : names) {
      const std::vector<double> got = column(split.data, n), want = column(alone.data, n);
      for (std::size_t r = begin; r < end; ++r) {
        if (host::is_sysmis(want[r - begin]))
          EXPECT_TRUE(host::is_sysmis(got[r])) << n << " row " << r;
        else
          EXPECT_DOUBLE_EQ(got[r], want[r - begin]) << n << " row " << r;
      }
    }
  }
  for (const std::string& n : names)
    for (std::size_t r : {7u, 8u}) EXPECT_TRUE(host::is_sysmis(column(split.data, n)[r])) << n << " group 2";
  EXPECT_FALSE(host::is_sysmis(column(split.data, "PRED_2")[17])) << "the last case lacks only y";
  EXPECT_TRUE(host::is_sysmis(column(split.data, "RESID_1")[17]));
}

// ---------------------------------------------------------------------------
// SUBJECTS(GROUPED) keeps the file order, so a subject whose cases are not
// consecutive is one subject per run.  Saving then equals saving for the same
// file with every run given a subject of its own; a case without a dependent
// value belongs to the run of the latest valid case of its subject.

TEST(SavedValues, GroupedSubjectsFollowTheRunsOfTheFile) {
  constexpr const char* interleaved =
      "id,x,y\n1,1,3.1\n1,2,4.6\n2,1,2.0\n2,2,2.9\n1,3,6.2\n1,4,7.9\n1,5,\n3,1,5.0\n3,2,6.5\n2,3,4.1\n2,4,5.6\n";
  constexpr const char* relabelled =
      "id,x,y\n1,1,3.1\n1,2,4.6\n2,1,2.0\n2,2,2.9\n4,3,6.2\n4,4,7.9\n4,5,\n3,1,5.0\n3,2,6.5\n5,3,4.1\n5,4,5.6\n";
  Session grouped(testing::csv(interleaved)), separate(testing::csv(relabelled));
  ASSERT_TRUE(run_stages(grouped, "y WITH x /FIXED = x /RANDOM = INTERCEPT | SUBJECT(id)"
                                  " /CRITERIA = SUBJECTS(GROUPED) /SAVE = PRED SEPRED DFPRED"));
  ASSERT_TRUE(run_stages(separate, "y WITH x /FIXED = x /RANDOM = INTERCEPT | SUBJECT(id) /SAVE = PRED SEPRED DFPRED"));
  ASSERT_EQ(grouped.est.fit->rows.subjects(), 5u) << "five runs";
  for (const char* n : {"PRED_1", "SEPRED_1", "DFPRED_1"}) {
    const std::vector<double> got = column(grouped.data, n), want = column(separate.data, n);
    for (std::size_t r = 0; r < got.size(); ++r) expect_near_rel(got[r], want[r], 1e-8, n + std::to_string(r));
  }
}

}  // namespace
}  // namespace mixed::data
