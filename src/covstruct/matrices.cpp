#include "covstruct/matrices.h"
#include "covstruct/types.h"

#include "covstruct/structure.h"

namespace mixed::covstruct {

void structure_matrix(int n, std::span<const double> theta, std::span<const int> lvlidx, CovType cov_type,
                      std::span<double> out) {
  if (const CovarianceStructure* s = structure(cov_type)) s->matrix(n, theta, LevelMap(n, lvlidx), out);
}

}  // namespace mixed::covstruct
