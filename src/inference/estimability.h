// Estimability of linear combinations of the fixed-effect parameters.
//
// The fit keeps the basis of the estimable functions (Estimates::
// estimable_basis): one row h_m of p = n_fixed_columns reals per member of non_redundant,
// h_m having 1 at its own pivot column and 0 at the other pivot columns.  A
// row l over the p fixed columns is estimable when it lies in their span; since
// the pivot entries of a combination are its weights, that is when
//     l = Σ_m l_{k_m} h_m,    k_m the m-th member of non_redundant.
// Nothing is written.
#pragma once

#include <span>

#include "estimate/estimates.h"
#include "model/command.h"

namespace mixed::inference {

// Relative tolerance of the estimability test: ‖l/‖l‖ − Σ_m t_m h_m‖ ≤ 1e-8.
// The basis comes from a sweep cleaned of rounding at about 1e4·p·ε, so an
// estimable row misses by far less; a non-estimable one by the size of a
// coefficient.
inline constexpr double kEstimableTolerance = 1e-8;

// is_estimable: true when the fixed-part row l (p values) is estimable, i.e. with
// t_m = l_{k_m}/‖l‖, √(Σ_j (l_j/‖l‖ − Σ_m t_m h_{m,j})²) ≤ 1e-8; a zero row is.
// A basis that does not match non_redundant (fixed_rank rows) estimates nothing.
bool is_estimable(const estimate::Estimates& est, std::span<const double> l);

}  // namespace mixed::inference
