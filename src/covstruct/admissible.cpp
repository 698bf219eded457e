#include "covstruct/admissible.h"

#include <cmath>
#include <vector>

#include "covstruct/catalogue.h"
#include "covstruct/matrices.h"
#include "covstruct/types.h"
#include "host/packed.h"

namespace mixed::covstruct {

using host::tri;

namespace {

Admissibility grade(bool definite, bool semidefinite) {
  return definite ? Admissibility::PositiveDefinite
                  : semidefinite ? Admissibility::Semidefinite : Admissibility::Inadmissible;
}

// The matrix test: Σ factored row by row.  A pivot that is not greater than
// singularity_tolerance·|Σ_ii| is deficient and taken as 0; one below -singularity_tolerance·|Σ_ii| (or not
// a number) means Σ is not semidefinite.
Admissibility matrix_test(int n, int cov_type, std::span<const double> theta, double singularity_tolerance) {
  std::vector<double> l(host::tri_size(n));
  structure_matrix(n, theta, {}, cov_type, l);
  int deficient = 0;
  bool indefinite = false;
  for (int i = 0; i < n; ++i) {
    double* li = &l[tri(i, 0)];
    for (int j = 0; j < i; ++j) {
      const double* lj = &l[tri(j, 0)];
      double s = li[j];
      for (int k = 0; k < j; ++k) s -= li[k] * lj[k];
      li[j] = lj[j] != 0.0 ? s / lj[j] : 0.0;
    }
    const double threshold = std::fabs(li[i]) * singularity_tolerance;
    double pivot = li[i];
    for (int k = 0; k < i; ++k) pivot -= li[k] * li[k];
    if (pivot > threshold) {
      li[i] = std::sqrt(pivot);
    } else {
      ++deficient;
      if (!(pivot >= -threshold)) indefinite = true;
      li[i] = 0.0;
    }
  }
  if (indefinite) return Admissibility::Inadmissible;
  return deficient == 0 ? Admissibility::PositiveDefinite : Admissibility::Semidefinite;
}

// Variances and standard deviations not negative, correlations within [-1, 1].
bool in_domain(int cov_type, std::span<const double> theta) {
  const int npar = static_cast<int>(theta.size());
  for (int k = 0; k < npar; ++k) {
    const ParamKind kind = parameter_kind(npar, cov_type, k);
    if ((kind == StdDev || kind == Variance) && !(theta[k] >= 0.0)) return false;
    if (kind == Correlation && !(std::fabs(theta[k]) <= 1.0)) return false;
  }
  return true;
}

}  // namespace

Admissibility block_admissibility(int n, int cov_type, std::span<const double> theta, double singularity_tolerance) {
  if (!is_block_type(cov_type)) return Admissibility::Inadmissible;
  theta = theta.first(static_cast<std::size_t>(parameter_count(n, cov_type)));
  switch (cov_type) {
    case covstruct::AR1:
      return grade(theta[0] > 0.0 && std::fabs(theta[1]) < 1.0,
                   theta[0] >= 0.0 && std::fabs(theta[1]) <= 1.0);
    case covstruct::CS: {
      const double total = theta[0] + n * theta[1];
      return grade(theta[0] > 0.0 && total > 0.0, theta[0] >= 0.0 && total >= 0.0);
    }
    case covstruct::DIAG: case covstruct::VC_REPEATED: {
      bool positive = true, negative = false;
      for (double v : theta) {
        positive = positive && v > 0.0;
        negative = negative || !(v >= 0.0);
      }
      return grade(positive, !negative);
    }
    case covstruct::ID: case covstruct::VC:
      return grade(theta[0] > 0.0, theta[0] == 0.0);
    case covstruct::HF:
      for (double v : theta.subspan(1))
        if (!(v >= 0.0)) return Admissibility::Inadmissible;
      return matrix_test(n, cov_type, theta, singularity_tolerance);
    default:
      if (!in_domain(cov_type, theta)) return Admissibility::Inadmissible;
      return matrix_test(n, cov_type, theta, singularity_tolerance);
  }
}

}  // namespace mixed::covstruct
