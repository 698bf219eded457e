// Products of packed symmetric matrices used by the inverse derivatives and
// the subject terms.
//
// Storage: packed lower triangles of order n (host/packed.h), read through
// their symmetric places.  The sandwich accumulates into its output; the other
// functions only read.  The sandwich skips every product element that is
// exactly zero, so that the sparse derivative matrices of a structure (one row
// and column) cost little in its inner loop.
#pragma once

#include <cstddef>
#include <span>

namespace mixed::covstruct {

// (X·Y)(i, j) = Σ_m X(i,m)·Y(m,j), m = 0..n-1 in order.
double product_element(std::size_t n, std::span<const double> x, std::span<const double> y, std::size_t i,
                       std::size_t j);

// out += X·Y·X, accumulated from the product elements (X·Y)(i,m), m in order.
void sandwich(std::size_t n, std::span<const double> x, std::span<const double> y, std::span<double> out);

// Σ_j X(i, j): row i up to the diagonal, then down column i.
double row_sum(std::size_t n, std::span<const double> x, std::size_t i);

// tr(X·Y) = Σ_i (X·Y)(i, i).
double trace_product(std::size_t n, std::span<const double> x, std::span<const double> y);

}  // namespace mixed::covstruct
