#include "covstruct/admissible.h"
#include "covstruct/types.h"

#include <cmath>
#include <vector>

#include "host/packed.h"

namespace mixed::covstruct {

using host::tri;

namespace {

// The matrix test: Σ factored row by row.  A pivot that is not greater than
// singularity_tolerance·|Σ_ii| is deficient and taken as 0; one below -singularity_tolerance·|Σ_ii| (or not
// a number) means Σ is not semidefinite.
Admissibility matrix_test(int n, const CovarianceStructure& st, std::span<const double> theta,
                          double singularity_tolerance) {
  std::vector<double> l(host::tri_size(n));
  st.matrix(n, theta, LevelMap(n, {}), l);
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
bool in_domain(const CovarianceStructure& st, std::span<const double> theta) {
  const int npar = static_cast<int>(theta.size());
  for (int k = 0; k < npar; ++k) {
    const ParamKind kind = st.parameter_kind(npar, k);
    if ((kind == StdDev || kind == Variance) && !(theta[k] >= 0.0)) return false;
    if (kind == Correlation && !(std::fabs(theta[k]) <= 1.0)) return false;
  }
  return true;
}

}  // namespace

Admissibility block_admissibility(int n, CovType cov_type, std::span<const double> theta,
                                  double singularity_tolerance) {
  const CovarianceStructure* s = structure(cov_type);
  if (s == nullptr) return Admissibility::Inadmissible;
  theta = theta.first(static_cast<std::size_t>(s->parameter_count(n)));
  if (s->admissibility != nullptr) return s->admissibility(n, theta);
  if (!in_domain(*s, theta)) return Admissibility::Inadmissible;
  return matrix_test(n, *s, theta, singularity_tolerance);
}

}  // namespace mixed::covstruct
