// First and second derivatives of a structure matrix with respect to its
// parameters, written analytically in each structure's descriptor
// (covstruct/structure.h).
//
// Storage and notation as for structure_matrix (covstruct/matrices.h): packed lower
// triangles of order n, θ the block's run (0-based), lvlidx the level map.  A
// parameter that belongs to level m (a standard deviation, variance, loading or
// offset of that level) moves only row m, the row that carries level m; when
// no row carries it, its derivatives are the zero matrix.  Every function
// writes all n(n+1)/2 places of out.
#pragma once

#include "covstruct/types.h"

#include <span>

namespace mixed::covstruct {

// structure_first_derivative: out = ∂Σ/∂θ_k (k 0-based).  Code 17 and codes outside 1..19 leave
// out untouched.
void structure_first_derivative(int n, std::span<const double> theta, int k, std::span<const int> lvlidx,
                                CovType cov_type, std::span<double> out);

// structure_second_derivative: out = ∂²Σ/∂θ_k∂θ_l (k, l 0-based, in either order).  Structures
// linear in their parameters (CS, DIAG, HF, ID, UN, VC, 19) and codes outside
// 1..16 give the zero matrix.
void structure_second_derivative(int n, std::span<const double> theta, int k, int l, std::span<const int> lvlidx,
                                 CovType cov_type, std::span<double> out);

}  // namespace mixed::covstruct
