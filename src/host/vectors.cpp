#include "host/vectors.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace mixed::host {

double dot_product(std::span<const double> x, std::span<const double> y) {
  double s = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) s += x[i] * y[i];
  return s;
}

void axpy(double a, std::span<const double> x, std::span<double> y) {
  if (a == 0.0) return;
  for (std::size_t i = 0; i < x.size(); ++i) y[i] += a * x[i];
}

void copy_vector(std::span<const double> x, std::span<double> y) { std::copy(x.begin(), x.end(), y.begin()); }

void scale_vector(double a, std::span<double> x) {
  for (double& v : x) v *= a;
}

double euclidean_norm(std::span<const double> x) {
  // ||x|| = scale * sqrt(ssq), scale the largest |x_i| seen so far.
  double scale = 0.0;
  double ssq = 1.0;
  for (double v : x) {
    if (v == 0.0) continue;
    const double a = std::fabs(v);
    if (scale < a) {
      ssq = 1.0 + ssq * (scale / a) * (scale / a);
      scale = a;
    } else {
      ssq += (a / scale) * (a / scale);
    }
  }
  return scale * std::sqrt(ssq);
}

void scaled_copy(double a, std::span<const double> x, std::span<double> y) {
  for (std::size_t i = 0; i < x.size(); ++i) y[i] = a * x[i];
}

double vector_sum(std::span<const double> x) {
  double s = 0.0;
  for (double v : x) s += v;
  return s;
}

void clean_negligible(std::span<double> x, double factor) {
  double largest = 0.0;
  for (double v : x) largest = std::max(largest, std::fabs(v));
  const double negligible = factor * DBL_EPSILON * largest;
  for (double& v : x)
    if (std::fabs(v) <= negligible) v = 0.0;
}

void accumulate_mean(std::span<const double> x, double w, double& wsum, std::span<double> mean) {
  if (w == 0.0) return;
  wsum += w;
  const double f = w / wsum;
  for (std::size_t i = 0; i < x.size(); ++i) mean[i] += f * (x[i] - mean[i]);
}

void accumulate_mean_and_squares(std::span<const double> x, double w, double& wsum, std::span<double> mean,
                                 std::span<double> ssq) {
  if (w == 0.0) return;
  wsum += w;
  const double f = w / wsum;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double before = x[i] - mean[i];
    mean[i] += f * before;
    ssq[i] += w * before * (x[i] - mean[i]);
  }
}

std::size_t extract_members(std::span<const double> x, const BitSet& set, std::span<double> out, std::size_t stride) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < set.size(); ++i)
    if (set.test(i)) out[count++] = x[i * stride];
  return count;
}

}  // namespace mixed::host
