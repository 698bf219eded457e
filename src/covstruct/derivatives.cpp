#include "covstruct/derivatives.h"
#include "covstruct/types.h"

#include <algorithm>

#include "covstruct/structure.h"
#include "host/packed.h"

namespace mixed::covstruct {

void structure_first_derivative(int n, std::span<const double> theta, int k, std::span<const int> lvlidx,
                                CovType cov_type, std::span<double> out) {
  const CovarianceStructure* s = structure(cov_type);
  if (s == nullptr) return;
  std::fill_n(out.begin(), host::tri_size(n), 0.0);
  s->first_derivative(n, theta, k, LevelMap(n, lvlidx), out);
}

void structure_second_derivative(int n, std::span<const double> theta, int k, int l, std::span<const int> lvlidx,
                                 CovType cov_type, std::span<double> out) {
  std::fill_n(out.begin(), host::tri_size(n), 0.0);
  const CovarianceStructure* s = structure(cov_type);
  if (s != nullptr && s->second_derivative != nullptr) s->second_derivative(n, theta, k, l, LevelMap(n, lvlidx), out);
}

}  // namespace mixed::covstruct
