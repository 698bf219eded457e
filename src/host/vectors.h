// Level-1 vector operations, the clean-up of negligible entries, provisional
// means and the extraction of the entries of a set.
//
// Vectors are contiguous std::span; where two are given their lengths must
// agree (the length is that of the first).  Only the outputs named in each
// comment are written.
#pragma once

#include <cstddef>
#include <span>

#include "host/bitset.h"

namespace mixed::host {

// TAVO_DDOT: x'y.
double TAVO_DDOT(std::span<const double> x, std::span<const double> y);

// TAVO_DAXPY: y += a x.
void TAVO_DAXPY(double a, std::span<const double> x, std::span<double> y);

// TAVO_DCOPY: y = x.
void TAVO_DCOPY(std::span<const double> x, std::span<double> y);

// TAVO_DSCAL: x = a x.
void TAVO_DSCAL(double a, std::span<double> x);

// TAVO_DNRM2: ||x||_2, accumulated with scaling so that it neither
// overflows nor underflows where the result itself does not.
double TAVO_DNRM2(std::span<const double> x);

// DAX: y = a x.
void DAX(double a, std::span<const double> x, std::span<double> y);

// DSUM: sum_i x_i.
double DSUM(std::span<const double> x);

// CLNVEC: x_i = 0 wherever |x_i| <= factor * eps * max_j |x_j|, eps the
// precision of double arithmetic (DBL_EPSILON).
void CLNVEC(std::span<double> x, double factor);

// PROACC: adds x with weight w to the running weighted means: W += w, then
// mean += (w / W)(x - mean).  The weight total W belongs to the caller and is
// updated here; a zero weight changes nothing.
void PROACC(std::span<const double> x, double w, double& wsum, std::span<double> mean);

// PROACS: PROACC that also updates the weighted sums of squared deviations,
// ssq += w (x - mean_old)(x - mean_new).
void PROACS(std::span<const double> x, double w, double& wsum, std::span<double> mean,
            std::span<double> ssq);

// VCTXTR: out = (x[i * stride] for i in the set, ascending), for the members
// i < set.size(); returns their number.
std::size_t VCTXTR(std::span<const double> x, const BitSet& set, std::span<double> out,
                   std::size_t stride = 1);

}  // namespace mixed::host
