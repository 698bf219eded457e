// Products with packed symmetric matrices, and two dense helpers.
//
// Symmetric matrices are packed lower triangles, 0-based, row by row
// (host/packed.h); dense matrices are row-major.  Inputs are read only, except
// the matrix packed_rank_one_update updates and the outputs named in each comment, which are
// overwritten (never accumulated into).  Vectors must not alias the outputs.
#pragma once

#include <cstddef>
#include <span>

namespace mixed::host {

// packed_multiply: y = A x, A symmetric of order n.
void packed_multiply(std::size_t n, std::span<const double> a, std::span<const double> x, std::span<double> y);

// packed_quadratic_form: x' A x.
double packed_quadratic_form(std::size_t n, std::span<const double> x, std::span<const double> a);

// packed_bilinear_form: x' A y.
double packed_bilinear_form(std::size_t n, std::span<const double> x, std::span<const double> a,
                            std::span<const double> y);

// packed_sandwich: S = L C L' (packed, order q) for L q x p row-major and C symmetric of
// order p.
void packed_sandwich(std::size_t q, std::size_t p, std::span<const double> l, std::span<const double> c,
                     std::span<double> s);

// packed_rank_one_update: A += s x x', A symmetric of order n = x.size().
void packed_rank_one_update(std::span<double> a, double s, std::span<const double> x);

// packed_place_of: the (row, column), column <= row, of packed place k.
struct PackedPlace {
  std::size_t row;
  std::size_t col;
};
PackedPlace packed_place_of(std::size_t k);

// set_scaled_identity: M = v I for M n x n dense.
void set_scaled_identity(std::size_t n, std::span<double> m, double v);

// dense_multiply: y = M x for M rows x cols dense.
void dense_multiply(std::size_t rows, std::size_t cols, std::span<const double> m, std::span<const double> x,
                    std::span<double> y);

}  // namespace mixed::host
