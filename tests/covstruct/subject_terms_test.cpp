#include "covstruct/subject_terms.h"

#include <cmath>
#include <map>
#include <random>

#include <gtest/gtest.h>

#include "covstruct/dense_util.h"
#include "host/packed.h"
#include "host/scratch.h"

namespace mixed::covstruct {
namespace {

using namespace covtest;
using host::tri;
using host::tri_size;

constexpr int kLevels = 5;

// Eight records of three repeated subjects, interleaved: subject 10 at levels
// 4, 1, 5 (records 0, 2, 5), subject 11 at 2, 5, 3, 1 (records 1, 3, 4, 7),
// subject 12 at level 3 alone.  Fixed terms: the intercept (column 0) and a
// two-level factor (column 1 or 2); one random term with two columns.
struct RepeatedRun {
  std::vector<double> y, fval, rval;
  std::vector<int> level, fcol, rcol;
  std::vector<long> rsubject;
  SubjectRows rows;

  RepeatedRun() {
    rsubject = {10, 11, 10, 11, 11, 10, 12, 11};
    level = {3, 1, 0, 4, 2, 4, 2, 0};
    fcol = {0, 1, 0, 2, 0, 1, 0, 1, 0, 2, 0, 2, 0, 1, 0, 2};
    rcol = {0, 1, 1, 0, 1, 0, 1, 1};
    std::mt19937 rng(17);
    std::uniform_real_distribution<double> u(0.5, 2.0);
    for (int r = 0; r < 8; ++r) {
      const double w = u(rng);  // √(w·f) of the record
      y.push_back(w * (u(rng) - 1.2) * 3.0);
      fval.push_back(w);
      fval.push_back(w);
      rval.push_back(w * u(rng));
    }
    rows = SubjectRows{8,           2,           1,           3,          2, y.data(), level.data(), rsubject.data(),
                       fcol.data(), fval.data(), rcol.data(), rval.data()};
  }
  int order() const { return rows.p + rows.q + 1; }
  // The dense row W = [X | y | Z] of record r.
  Eigen::VectorXd w(int r) const {
    Eigen::VectorXd v = Eigen::VectorXd::Zero(order());
    for (int t = 0; t < rows.nfix; ++t) v(fcol[r * rows.nfix + t]) += fval[r * rows.nfix + t];
    v(rows.p) = y[r];
    v(rows.p + 1 + rcol[r]) += rval[r];
    return v;
  }
  // The records of each repeated subject, in record order.
  std::map<long, std::vector<int>> subjects() const {
    std::map<long, std::vector<int>> s;
    for (int r = 0; r < rows.n; ++r) s[rsubject[r]].push_back(r);
    return s;
  }
};

// Σ_i W_iᵀ R_i⁻¹ W_i and Σ_i log det R_i, densely.
struct Dense {
  Vec c0;
  double logdet = 0.0;
};
Dense dense_terms(const RepeatedRun& run, covstruct::CovType cov_type, const Vec& theta) {
  Eigen::MatrixXd c = Eigen::MatrixXd::Zero(run.order(), run.order());
  double logdet = 0.0;
  for (const auto& [key, recs] : run.subjects()) {
    std::vector<int> levels;
    Eigen::MatrixXd w(recs.size(), run.order());
    for (std::size_t i = 0; i < recs.size(); ++i) {
      levels.push_back(run.level[recs[i]]);
      w.row(i) = run.w(recs[i]).transpose();
    }
    const Eigen::MatrixXd r = reference_sigma(cov_type, theta, levels);
    c += w.transpose() * r.inverse() * w;
    logdet += std::log(r.determinant());
  }
  return {pack(c), logdet};
}

// The sums of add_repeated_subject_terms with every flag set.
struct Sums {
  int status = -1;
  double logdet = 0.0;
  Vec gradient, hessian, c0, ck, ckl;
};
Sums run_terms(const RepeatedRun& run, covstruct::CovType cov_type, const Vec& theta, bool second = true) {
  const std::size_t m = theta.size(), stride = tri_size(run.order());
  Sums s;
  s.gradient.assign(m, 0.0);
  s.hessian.assign(tri_size(m), 0.0);
  s.c0.assign(stride, 0.0);
  s.ck.assign(m * stride, 0.0);
  s.ckl.assign(second ? tri_size(m) * stride : 0, 0.0);
  TermFlags flags{true, true, second, true, true, second};
  TermSums sums{0.0, s.gradient, s.hessian, s.c0, s.ck, s.ckl};
  SubjectWork work;
  s.status = add_repeated_subject_terms(run.rows, theta, cov_type, work, flags, sums);
  s.logdet = sums.logdet;
  return s;
}

std::span<const double> block(const Vec& v, std::size_t b, std::size_t stride) {
  return std::span<const double>(v).subspan(b * stride, stride);
}

// Every structure on subjects with skipped and unordered levels: C0 and the
// log-determinant against a dense computation, C_k = -∂C0/∂θ_k, the gradient
// = ∂ log det/∂θ_k, the Hessian = ∂gradient/∂θ_l, C_kl = ∂C_k/∂θ_l.
TEST(RepeatedSubjectTerms, MatchDenseComputationAndItsDerivatives) {
  const RepeatedRun run;
  std::mt19937 rng(29);
  const std::size_t stride = tri_size(run.order());
  for (covstruct::CovType cov_type : all_types()) {
    SCOPED_TRACE(type_name(cov_type));
    const Vec theta = random_theta(cov_type, kLevels, rng);
    const int m = static_cast<int>(theta.size());
    const Sums got = run_terms(run, cov_type, theta);
    ASSERT_EQ(got.status, 0);
    const Dense want = dense_terms(run, cov_type, theta);
    EXPECT_LT(rel_diff(got.c0, want.c0), 1e-10);
    EXPECT_NEAR(got.logdet, want.logdet, 1e-10);
    for (int k = 0; k < m; ++k) {
      SCOPED_TRACE("k = " + std::to_string(k));
      Vec dc0 = central_difference(theta, k, [&](const Vec& t) { return dense_terms(run, cov_type, t).c0; });
      for (double& v : dc0) v = -v;
      EXPECT_LT(rel_diff(block(got.ck, k, stride), dc0), 1e-6);
      const Vec dld =
          central_difference(theta, k, [&](const Vec& t) { return Vec{dense_terms(run, cov_type, t).logdet}; });
      EXPECT_NEAR(got.gradient[k], dld[0], 1e-6 * std::max(1.0, std::fabs(dld[0])));
      const Vec dgrad =
          central_difference(theta, k, [&](const Vec& t) { return run_terms(run, cov_type, t, false).gradient; });
      const Vec dck = central_difference(theta, k, [&](const Vec& t) { return run_terms(run, cov_type, t, false).ck; });
      for (int l = 0; l <= k; ++l) {
        SCOPED_TRACE("l = " + std::to_string(l));
        EXPECT_NEAR(got.hessian[tri(k, l)], dgrad[l], 1e-6 * std::max(1.0, std::fabs(dgrad[l])));
        EXPECT_LT(rel_diff(block(got.ckl, tri(k, l), stride), block(dck, l, stride)), 1e-6);
      }
    }
  }
}

TEST(RepeatedSubjectTerms, RepeatedLevelWithinSubjectStopsThePass) {
  RepeatedRun run;
  SubjectWork work;
  EXPECT_EQ(check_repeated_levels(run.rows, work), 0);
  run.level[7] = 1;  // subject 11 now has level 2 twice (records 1 and 7)
  EXPECT_EQ(check_repeated_levels(run.rows, work), kStatusDuplicateLevel);
  EXPECT_EQ(run_terms(run, AR1, {1.0, 0.5}).status, kStatusDuplicateLevel);
  // The same level in different subjects is no duplicate.
  run.level[7] = 3;  // subject 10 has level 4 too
  EXPECT_EQ(check_repeated_levels(run.rows, work), 0);
  EXPECT_EQ(run.rsubject, (std::vector<long>{10, 11, 10, 11, 11, 10, 12, 11}));
}

TEST(RepeatedSubjectTerms, FlagsOffChangeNothing) {
  const RepeatedRun run;
  const Vec theta = {1.5, 0.4};
  const std::size_t stride = tri_size(run.order());
  Vec gradient(2, 7.0), hessian(3, 7.0), c0(stride, 7.0), ck(2 * stride, 7.0), ckl(3 * stride, 7.0);
  TermSums sums{7.0, gradient, hessian, c0, ck, ckl};
  SubjectWork work;
  EXPECT_EQ(add_repeated_subject_terms(run.rows, theta, AR1, work, TermFlags{}, sums), 0);
  EXPECT_EQ(sums.logdet, 7.0);
  for (const Vec* v : {&gradient, &hessian, &c0, &ck, &ckl})
    for (double x : *v) EXPECT_EQ(x, 7.0);
}

// The pass's buffers are held to the scratch budget: beyond it the pass is
// refused and adds nothing; within it they are charged while the work lives.
TEST(RepeatedSubjectTerms, WorkBuffersAreHeldToTheScratchBudget) {
  const RepeatedRun run;
  const Vec theta = {1.5, 0.4};
  const std::size_t stride = tri_size(run.order());
  Vec gradient(2, 7.0), hessian(3, 7.0), c0(stride, 7.0), ck(2 * stride, 7.0), ckl(3 * stride, 7.0);
  TermSums sums{7.0, gradient, hessian, c0, ck, ckl};
  const TermFlags all{true, true, true, true, true, true};
  host::Scratch small(256);
  {
    SubjectWork work(small);
    EXPECT_EQ(add_repeated_subject_terms(run.rows, theta, AR1, work, all, sums), kStatusMemory);
    EXPECT_EQ(small.in_use(), 0u) << "a refused growth is not charged";
  }
  EXPECT_EQ(sums.logdet, 7.0);
  for (const Vec* v : {&gradient, &hessian, &c0, &ck, &ckl})
    for (double x : *v) EXPECT_EQ(x, 7.0) << "a refused pass adds nothing";
  host::Scratch roomy(1 << 20);
  {
    SubjectWork work(roomy);
    EXPECT_EQ(add_repeated_subject_terms(run.rows, theta, AR1, work, all, sums), 0);
    EXPECT_GT(roomy.in_use(), 0u) << "the buffers are charged while held";
  }
  EXPECT_EQ(roomy.in_use(), 0u) << "and given back with the work";
}

TEST(RepeatedSubjectTerms, OneRowSubjectReducesToScalars) {
  const RepeatedRun full;
  SubjectRows one = full.rows;
  one.n = 1;
  const double s2 = 1.5;
  const std::size_t stride = tri_size(full.order());
  Vec gradient(2, 0.0), hessian(3, 0.0), c0(stride), ck(2 * stride), ckl(3 * stride);
  TermSums sums{0.0, gradient, hessian, c0, ck, ckl};
  SubjectWork work;
  ASSERT_EQ(
      add_repeated_subject_terms(one, Vec{s2, 0.4}, AR1, work, TermFlags{true, true, true, true, true, true}, sums), 0);
  const Eigen::VectorXd w = full.w(0);
  EXPECT_DOUBLE_EQ(sums.logdet, std::log(s2));
  EXPECT_DOUBLE_EQ(gradient[0], 1.0 / s2);
  EXPECT_EQ(gradient[1], 0.0);
  EXPECT_NEAR(hessian[0], -1.0 / (s2 * s2), 1e-14);
  EXPECT_LT(rel_diff(c0, pack(w * w.transpose() / s2)), 1e-14);
  EXPECT_LT(rel_diff(block(ck, 0, stride), pack(w * w.transpose() / (s2 * s2))), 1e-14);
  EXPECT_LT(rel_diff(block(ckl, 0, stride), pack(-2.0 * w * w.transpose() / (s2 * s2 * s2))), 1e-14);
}

TEST(RecordWiseTerms, CrossProductsOfTheRun) {
  const RepeatedRun run;
  Vec got(tri_size(run.order()), 5.0);
  design_cross_products(run.rows, got);
  Eigen::MatrixXd want = Eigen::MatrixXd::Zero(run.order(), run.order());
  for (int r = 0; r < run.rows.n; ++r) want += run.w(r) * run.w(r).transpose();
  EXPECT_LT(rel_diff(got, pack(want)), 1e-15);
}

}  // namespace
}  // namespace mixed::covstruct
