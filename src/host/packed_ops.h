// Products with packed symmetric matrices, and two dense helpers.
//
// Symmetric matrices are packed lower triangles, 0-based, row by row
// (host/packed.h); dense matrices are row-major.  Inputs are read only, except
// the matrix LTROTP updates and the outputs named in each comment, which are
// overwritten (never accumulated into).  Vectors must not alias the outputs.
#pragma once

#include <cstddef>
#include <span>

namespace mixed::host {

// LTRSV: y = A x, A symmetric of order n.
void LTRSV(std::size_t n, std::span<const double> a, std::span<const double> x,
           std::span<double> y);

// LTRVSV: x' A x.
double LTRVSV(std::size_t n, std::span<const double> x, std::span<const double> a);

// LTRVSW: x' A y.
double LTRVSW(std::size_t n, std::span<const double> x, std::span<const double> a,
              std::span<const double> y);

// LTRXSX: S = L C L' (packed, order q) for L q x p row-major and C symmetric of
// order p.
void LTRXSX(std::size_t q, std::size_t p, std::span<const double> l,
            std::span<const double> c, std::span<double> s);

// LTROTP: A += s x x', A symmetric of order n = x.size().
void LTROTP(std::span<double> a, double s, std::span<const double> x);

// LTRGRC: the (row, column), column <= row, of packed place k.
struct PackedPlace {
  std::size_t row;
  std::size_t col;
};
PackedPlace LTRGRC(std::size_t k);

// DIAGMX: M = v I for M n x n dense.
void DIAGMX(std::size_t n, std::span<double> m, double v);

// YMULT1: y = M x for M rows x cols dense.
void YMULT1(std::size_t rows, std::size_t cols, std::span<const double> m,
            std::span<const double> x, std::span<double> y);

}  // namespace mixed::host
