// Packed lower triangles.
//
// A symmetric n x n matrix is held as its lower triangle, row by row: element
// (i, j) with j <= i (0-based) at place i(i+1)/2 + j, n(n+1)/2 reals in all.
#pragma once

#include <cstddef>

namespace mixed::host {

// The place of (i, j), j <= i.
constexpr std::size_t tri(std::size_t i, std::size_t j) { return i * (i + 1) / 2 + j; }
// The place of (i, j) for either order (symmetric access).
constexpr std::size_t sym(std::size_t i, std::size_t j) { return i >= j ? tri(i, j) : tri(j, i); }
// The number of reals of a packed matrix of order n.
constexpr std::size_t tri_size(std::size_t n) { return n * (n + 1) / 2; }

}  // namespace mixed::host
