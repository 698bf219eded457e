#include "covstruct/admissible.h"

#include <cmath>
#include <vector>

#include "covstruct/catalogue.h"
#include "covstruct/matrices.h"
#include "driver/settings.h"
#include "host/packed.h"

namespace mixed::covstruct {

using host::tri;

namespace {

Admissibility grade(bool definite, bool semidefinite) {
  return definite ? Admissibility::PositiveDefinite
                  : semidefinite ? Admissibility::Semidefinite : Admissibility::Inadmissible;
}

// The matrix test: Σ factored row by row.  A pivot that is not greater than
// sngtol·|Σ_ii| is deficient and taken as 0; one below -sngtol·|Σ_ii| (or not
// a number) means Σ is not semidefinite.
Admissibility matrix_test(int n, int cvtype, std::span<const double> theta, double sngtol) {
  std::vector<double> l(host::tri_size(n));
  mxcmat(n, theta, {}, cvtype, l);
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
    const double threshold = std::fabs(li[i]) * sngtol;
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
bool in_domain(int cvtype, std::span<const double> theta) {
  const int npar = static_cast<int>(theta.size());
  for (int k = 0; k < npar; ++k) {
    const ParamKind kind = mxcpty(npar, cvtype, k);
    if ((kind == StdDev || kind == Variance) && !(theta[k] >= 0.0)) return false;
    if (kind == Correlation && !(std::fabs(theta[k]) <= 1.0)) return false;
  }
  return true;
}

}  // namespace

Admissibility block_admissibility(int n, int cvtype, std::span<const double> theta, double sngtol) {
  if (!valid_cvtype(cvtype)) return Admissibility::Inadmissible;
  theta = theta.first(static_cast<std::size_t>(mxcnpr(n, cvtype)));
  switch (cvtype) {
    case driver::AR1:
      return grade(theta[0] > 0.0 && std::fabs(theta[1]) < 1.0,
                   theta[0] >= 0.0 && std::fabs(theta[1]) <= 1.0);
    case driver::CS: {
      const double total = theta[0] + n * theta[1];
      return grade(theta[0] > 0.0 && total > 0.0, theta[0] >= 0.0 && total >= 0.0);
    }
    case driver::DIAG: case driver::VC_REPEATED: {
      bool positive = true, negative = false;
      for (double v : theta) {
        positive = positive && v > 0.0;
        negative = negative || !(v >= 0.0);
      }
      return grade(positive, !negative);
    }
    case driver::ID: case driver::VC:
      return grade(theta[0] > 0.0, theta[0] == 0.0);
    case driver::HF:
      for (double v : theta.subspan(1))
        if (!(v >= 0.0)) return Admissibility::Inadmissible;
      return matrix_test(n, cvtype, theta, sngtol);
    default:
      if (!in_domain(cvtype, theta)) return Admissibility::Inadmissible;
      return matrix_test(n, cvtype, theta, sngtol);
  }
}

}  // namespace mixed::covstruct
