#include "covstruct/start.h"

#include <algorithm>
#include <cmath>

#include "covstruct/catalogue.h"
#include "covstruct/types.h"

namespace mixed::covstruct {

void start_parameters(int n, int cov_type, double s0, std::span<double> out) {
  const int npar = parameter_count(n, cov_type);
  if (npar == 0) return;
  out = out.first(static_cast<std::size_t>(npar));
  const double sd = std::sqrt(s0);
  const double half = s0 / 2.0;
  // By default each parameter starts from its kind: s0, √s0, or 0.
  for (int k = 0; k < npar; ++k) {
    const ParamKind kind = parameter_kind(npar, cov_type, k);
    out[k] = kind == Variance ? s0 : kind == StdDev ? sd : 0.0;
  }
  switch (cov_type) {
    case covstruct::ARMA11:
      out[1] = out[2] = 0.5;
      break;
    case covstruct::FA1:
      // One common factor carries half of the variance at the first level.
      out[0] = half;
      if (n >= 2) out[1] = std::sqrt(half);
      break;
    case covstruct::FAH1:
      for (int i = 0; i < n; ++i) {
        out[2 * i] = i == 0 ? std::sqrt(half) : 0.0;
        out[2 * i + 1] = half;
      }
      break;
    case covstruct::HF:
      std::fill(out.begin(), out.end(), s0);
      if (n == 1) out[0] = 0.0;
      break;
    default:
      break;
  }
}

}  // namespace mixed::covstruct
