// The structure matrix Σ of one covariance block: the G matrix of a random
// block, or the R matrix of the repeated block for one subject's rows (or for
// all levels at once, for display).
//
// Storage: Σ is a packed lower triangle of order n (host/packed.h), every one
// of its n(n+1)/2 places written.  theta is the block's parameter run in the
// stored order of the catalogue (0-based).  lvlidx is the level map of
// covstruct/level_map.h: empty for the identity, otherwise the level of each
// row; the parameters then describe all levels and n is the number of rows.
// Each structure's descriptor (covstruct/structure.h) writes its Σ directly,
// in an order that fixes the last bits of the result (noted per structure).
#pragma once

#include "covstruct/types.h"

#include <span>

namespace mixed::covstruct {

// structure_matrix: out = Σ(θ) for the rows of lvlidx.  Code 17 and codes outside 1..19
// leave out untouched.
void structure_matrix(int n, std::span<const double> theta, std::span<const int> lvlidx, CovType cov_type,
                      std::span<double> out);

}  // namespace mixed::covstruct
