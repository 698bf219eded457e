// The sweep operator on packed symmetric matrices (Goodnight 1979).
//
// A is a packed lower triangle of order m, 0-based, row by row
// (host/packed.h), swept in place.  Sweeping pivot k with d = a_kk maps
//     a_kk -> -1/d,   a_ik -> a_ik/d,   a_ij -> a_ij - a_ik a_kj/d   (i, j != k),
// so that after the leading pivots of [[A11 A12] [A21 A22]] are swept the
// swept block holds -A11^{-1}, the block beside it A11^{-1} A12 and the rest
// A22 - A21 A11^{-1} A12.  Sweeps of different pivots commute.  The reverse
// sweep of a swept pivot (c = a_kk) maps a_kk -> -1/c, a_ik -> -a_ik/c and
// a_ij -> a_ij - a_ik a_kj/c, and restores the matrix as it was before that
// pivot was swept.
//
// The set (a host::BitSet of size at least m) records the swept pivots: both
// sweep_or_reverse and sweep_if_tolerant make the reverse sweep when k is already in the set and
// then clear its bit, so undoing a sweep is calling the routine again with the
// set unchanged.
#pragma once

#include <cstddef>
#include <span>

#include "host/bitset.h"

namespace mixed::host {

// sweep_or_reverse: sweeps pivot k of A (or reverses the sweep when k is in the set),
// unconditionally except that a pivot exactly 0 is left alone.  Returns
// whether A was changed.
bool sweep_or_reverse(std::size_t m, std::span<double> a, std::size_t k, BitSet& swept);

// sweep_if_tolerant: sweeps pivot k of A only when a_kk / d_k > tol, d the scale vector
// (sweep_scale_vector); when k is already in the set, reverses its sweep instead.
// Returns whether A was changed.
bool sweep_if_tolerant(std::size_t m, std::size_t k, std::span<double> a, std::span<const double> d, BitSet& swept,
                       double tol);

// sweep_scale_vector: the scale vector of the sweeps, d_k = max(1, a_kk), k < m, taken
// before any pivot is swept.  Scaling by d keeps the tolerance relative for
// large diagonals and absolute for diagonals below 1.
void sweep_scale_vector(std::size_t m, std::span<const double> a, std::span<double> d);

}  // namespace mixed::host
