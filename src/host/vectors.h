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

// dot_product: x'y.
double dot_product(std::span<const double> x, std::span<const double> y);

// axpy: y += a x.
void axpy(double a, std::span<const double> x, std::span<double> y);

// copy_vector: y = x.
void copy_vector(std::span<const double> x, std::span<double> y);

// scale_vector: x = a x.
void scale_vector(double a, std::span<double> x);

// euclidean_norm: ||x||_2, accumulated with scaling so that it neither
// overflows nor underflows where the result itself does not.
double euclidean_norm(std::span<const double> x);

// scaled_copy: y = a x.
void scaled_copy(double a, std::span<const double> x, std::span<double> y);

// vector_sum: sum_i x_i.
double vector_sum(std::span<const double> x);

// clean_negligible: x_i = 0 wherever |x_i| <= factor * eps * max_j |x_j|, eps the
// precision of double arithmetic (DBL_EPSILON).
void clean_negligible(std::span<double> x, double factor);

// accumulate_mean: adds x with weight w to the running weighted means: W += w, then
// mean += (w / W)(x - mean).  The weight total W belongs to the caller and is
// updated here; a zero weight changes nothing.
void accumulate_mean(std::span<const double> x, double w, double& wsum, std::span<double> mean);

// accumulate_mean_and_squares: accumulate_mean that also updates the weighted sums of squared deviations,
// ssq += w (x - mean_old)(x - mean_new).
void accumulate_mean_and_squares(std::span<const double> x, double w, double& wsum, std::span<double> mean,
                                 std::span<double> ssq);

// extract_members: out = (x[i * stride] for i in the set, ascending), for the members
// i < set.size(); returns their number.
std::size_t extract_members(std::span<const double> x, const BitSet& set, std::span<double> out,
                            std::size_t stride = 1);

}  // namespace mixed::host
