// The Cholesky factor, the inverse and the derivatives of the inverse of a
// structure matrix: the closed forms of a structure's descriptor where it has
// them (covstruct/structure.h: ID, VC and DIAG, and for P_k also HF and UN),
// and a general path through the packed Cholesky kernels for the others.
//
// Storage: packed lower triangles of order n (host/packed.h); θ the block's
// run (0-based), k and l 0-based parameter indices, lvlidx the level map of
// covstruct/level_map.h.  Notation: Σ from structure_matrix, A = Σ⁻¹, Σ_k and Σ_kl from
// structure_first_derivative and structure_second_derivative, P_k = A·Σ_k·A = -∂A/∂θ_k and
// Q_kl = A·Σ_kl·A - P_k·Σ·P_l - P_l·Σ·P_k = -∂²A/∂θ_k∂θ_l.
// Each function overwrites all n(n+1)/2 places of out and reads nothing else
// that it writes.  Results are meant for positive definite Σ; for any other Σ
// the general path gives the generalised inverse of host::packed_cholesky at the
// tolerance passed, and the log-determinant leaves out the singular pivots.
#pragma once

#include "covstruct/types.h"

#include <span>

namespace mixed::covstruct {

// The Cholesky tolerance when the caller has none: a pivot is singular only
// when what remains of it is not positive, the one case in which the factor
// cannot be formed at all.
inline constexpr double kNoTolerance = 0.0;

// structure_factor: out = L with Σ = L·Lᵀ, L lower triangular.  ID, VC and DIAG are
// formed from θ (√θ on the diagonal, 0 where θ ≤ 0; DIAG takes θ in order);
// every other structure factors a copy of sigma with host::packed_cholesky at tol.
void structure_factor(int n, std::span<const double> theta, std::span<const double> sigma, CovType cov_type,
                      std::span<double> out, double tol = kNoTolerance);

// structure_inverse: out = A = Σ⁻¹; returns log det Σ when want_logdet, else 0.  ID and VC
// with θ1 ≤ 0 give A = 0 and log det 0; DIAG leaves out the rows whose
// variance is not positive (0 in A, nothing in log det).
double structure_inverse(int n, std::span<const double> theta, std::span<const double> sigma,
                         std::span<const int> lvlidx, CovType cov_type, std::span<double> out, bool want_logdet,
                         double tol = kNoTolerance);

// inverse_first_derivative: out = P_k = A·Σ_k·A.
void inverse_first_derivative(int n, std::span<const double> theta, int k, std::span<const double> a,
                              std::span<const double> sigma_k, std::span<const int> lvlidx, CovType cov_type,
                              std::span<double> out);

// inverse_second_derivative: out = Q_kl = A·Σ_kl·A - P_k·Σ·P_l - P_l·Σ·P_k.
void inverse_second_derivative(int n, std::span<const double> theta, int k, int l, std::span<const double> sigma,
                               std::span<const double> a, std::span<const double> sigma_kl, std::span<const double> p_k,
                               std::span<const double> p_l, std::span<const int> lvlidx, CovType cov_type,
                               std::span<double> out);

}  // namespace mixed::covstruct
