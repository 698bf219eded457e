#include "covstruct/start.h"
#include "covstruct/types.h"

#include <cmath>

#include "covstruct/structure.h"

namespace mixed::covstruct {

void start_parameters(int n, CovType cov_type, double s0, std::span<double> out) {
  const CovarianceStructure* s = structure(cov_type);
  const int npar = s != nullptr ? s->parameter_count(n) : 0;
  if (npar == 0) return;
  out = out.first(static_cast<std::size_t>(npar));
  const double sd = std::sqrt(s0);
  for (int k = 0; k < npar; ++k) {
    const ParamKind kind = s->parameter_kind(npar, k);
    out[k] = kind == Variance ? s0 : kind == StdDev ? sd : 0.0;
  }
  if (s->start != nullptr) s->start(n, s0, out);
}

}  // namespace mixed::covstruct
