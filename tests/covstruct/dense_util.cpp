#include "covstruct/dense_util.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "covstruct/catalogue.h"
#include "covstruct/inverse.h"
#include "covstruct/matrices.h"
#include "host/packed.h"

namespace mixed::covstruct::covtest {

const std::vector<CovType>& all_types() {
  static const std::vector<CovType> types = {ARMA11, AD1, AR1, ARH1, CS,  CSH, CSR, DIAG, FA1,
                                             FAH1,   HF,  ID,  TP,   TPH, UN,  UNR, VC,   VC_REPEATED};
  return types;
}

std::string type_name(covstruct::CovType cov_type) {
  static const char* names[] = {"?",    "ARMA11", "AD1", "AR1", "ARH1", "CS", "CSH", "CSR",  "DIAG", "FA1",
                                "FAH1", "HF",     "ID",  "TP",  "TPH",  "UN", "UNR", "VC17", "VC",   "VC(REPEATED)"};
  const int code = static_cast<int>(cov_type);
  return code >= 0 && code <= 19 ? names[code] : "?";
}

Eigen::MatrixXd unpack(int n, std::span<const double> packed) {
  Eigen::MatrixXd m(n, n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j <= i; ++j) m(i, j) = m(j, i) = packed[host::tri(i, j)];
  return m;
}

Vec pack(const Eigen::MatrixXd& m) {
  Vec v(host::tri_size(m.rows()));
  for (int i = 0; i < m.rows(); ++i)
    for (int j = 0; j <= i; ++j) v[host::tri(i, j)] = m(i, j);
  return v;
}

double rel_diff(std::span<const double> got, std::span<const double> want) {
  double diff = 0.0, scale = 1.0;
  for (std::size_t i = 0; i < want.size(); ++i) {
    diff = std::max(diff, std::fabs(got[i] - want[i]));
    scale = std::max(scale, std::fabs(want[i]));
  }
  return diff / scale;
}

Vec sigma(int n, const Vec& theta, std::span<const int> lvlidx, covstruct::CovType cov_type) {
  Vec out(host::tri_size(n));
  structure_matrix(n, theta, lvlidx, cov_type, out);
  return out;
}

Vec inverse(int n, const Vec& theta, std::span<const int> lvlidx, covstruct::CovType cov_type, double* logdet) {
  const Vec s = sigma(n, theta, lvlidx, cov_type);
  Vec a(s.size());
  const double ld = structure_inverse(n, theta, s, lvlidx, cov_type, a, logdet != nullptr);
  if (logdet != nullptr) *logdet = ld;
  return a;
}

Vec central_difference(const Vec& theta, int k, const std::function<Vec(const Vec&)>& f) {
  const double h = 1e-5 * std::max(1.0, std::fabs(theta[k]));
  Vec up = theta, down = theta;
  up[k] += h;
  down[k] -= h;
  const Vec fu = f(up), fd = f(down);
  Vec d(fu.size());
  for (std::size_t i = 0; i < d.size(); ++i) d[i] = (fu[i] - fd[i]) / (2.0 * h);
  return d;
}

Vec random_theta(covstruct::CovType cov_type, int levels, std::mt19937& rng) {
  const int npar = parameter_count(levels, cov_type);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  auto draw = [&](double lo, double hi) { return lo + (hi - lo) * u(rng); };
  for (int attempt = 0; attempt < 100000; ++attempt) {
    Vec theta(npar);
    for (int k = 0; k < npar; ++k) {
      switch (parameter_kind(npar, cov_type, k)) {
        case Variance: theta[k] = draw(0.5, 2.0); break;
        case StdDev: theta[k] = draw(0.6, 1.5); break;
        case Correlation: theta[k] = draw(-0.6, 0.6); break;
        case Covariance: theta[k] = draw(-0.5, 0.5); break;
        case Unrestricted: theta[k] = draw(-1.0, 1.0); break;
      }
    }
    const Eigen::MatrixXd s = unpack(levels, sigma(levels, theta, {}, cov_type));
    if (Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd>(s).eigenvalues().minCoeff() >= 0.05) return theta;
  }
  throw std::runtime_error("no admissible parameters for " + type_name(cov_type));
}

Eigen::MatrixXd reference_sigma(covstruct::CovType cov_type, const Vec& theta, const std::vector<int>& levels) {
  const int n = static_cast<int>(levels.size());
  auto th = [&](int i) { return theta.at(i - 1); };                // θ_i, 1-based
  auto U = [&](int r, int c) { return th(r * (r - 1) / 2 + c); };  // r >= c
  Eigen::MatrixXd m(n, n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      const int li = levels[i] + 1, lj = levels[j] + 1;  // 1-based levels
      const int d = std::abs(li - lj), a = std::min(li, lj), b = std::max(li, lj);
      const bool diag = i == j;
      double v = 0.0;
      switch (static_cast<int>(cov_type)) {
        case 1: v = diag ? th(1) : th(1) * th(3) * std::pow(th(2), d - 1); break;
        case 2: {
          v = th(2 * li - 1) * th(2 * lj - 1);
          for (int k = a; k < b; ++k) v *= th(2 * k);
          break;
        }
        case 3: v = th(1) * std::pow(th(2), d); break;
        case 4: v = th(li + 1) * th(lj + 1) * std::pow(th(1), d); break;
        case 5: v = diag ? th(1) + th(2) : th(2); break;
        case 6: v = diag ? th(li + 1) * th(li + 1) : th(li + 1) * th(lj + 1) * th(1); break;
        case 7: v = diag ? th(1) : th(1) * th(2); break;
        case 8:
        case 19: v = diag ? th(li) : 0.0; break;
        case 9: v = th(li + 1) * th(lj + 1) + (diag ? th(1) : 0.0); break;
        case 10: v = th(2 * li - 1) * th(2 * lj - 1) + (diag ? th(2 * li) : 0.0); break;
        case 11: v = diag ? th(li + 1) : (th(li + 1) + th(lj + 1)) / 2 - th(1); break;
        case 12:
        case 18: v = diag ? th(1) : 0.0; break;
        case 13: v = diag ? th(1) : th(1) * th(d + 1); break;
        case 14: v = diag ? th(2 * li - 1) * th(2 * li - 1) : th(2 * li - 1) * th(2 * lj - 1) * th(2 * d); break;
        case 15: v = U(b, a); break;
        case 16: v = diag ? U(li, li) * U(li, li) : U(li, li) * U(lj, lj) * U(b, a); break;
        default: break;
      }
      m(i, j) = v;
    }
  return m;
}

std::vector<int> LevelCase::row_levels() const {
  if (!map.empty()) return map;
  std::vector<int> l(levels);
  for (int i = 0; i < levels; ++i) l[i] = i;
  return l;
}

const std::vector<LevelCase>& level_cases() {
  static const std::vector<LevelCase> cases = {
      {"identity of 4", 4, {}},
      {"levels 1,3,4 of 4", 4, {0, 2, 3}},
      {"levels 5,2,3 of 5", 5, {4, 1, 2}},
  };
  return cases;
}

}  // namespace mixed::covstruct::covtest
