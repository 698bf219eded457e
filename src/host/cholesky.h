// Cholesky factorisation and generalised inverse of packed symmetric matrices.
//
// Storage: packed lower triangles, 0-based, row by row (host/packed.h).  Each
// routine works in place.  Together, packed_cholesky, invert_lower_triangular
// and lower_triangular_cross_product turn a positive semi-definite A into a
// generalised inverse whose rows and columns at the pivots found singular are
// zero (the inverse itself when no pivot is).
#pragma once

#include <cstddef>
#include <span>

namespace mixed::host {

// packed_cholesky: A = L L' in place (A's lower triangle is replaced by L).  Pivot i is
// singular when what remains of the diagonal, a_ii - sum_k l_ik^2, is not
// greater than tol * |a_ii|; row i of L is then set to zero.  Returns the
// number of singular pivots.
int packed_cholesky(std::size_t n, std::span<double> a, double tol);

// invert_lower_triangular: replaces a lower-triangular L by its inverse; a zero diagonal element
// gives a zero row and column of the inverse.
void invert_lower_triangular(std::size_t n, std::span<double> l);

// lower_triangular_cross_product: replaces a lower-triangular M by M'M; for the
// inverted factor M = L^{-1} that is (L L')^{-1}.
void lower_triangular_cross_product(std::size_t n, std::span<double> m);

// The three in turn: A replaced by its generalised inverse.  Returns the number
// of singular pivots.
int generalized_inverse(std::size_t n, std::span<double> a, double tol);

}  // namespace mixed::host
