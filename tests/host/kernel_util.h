// Dense reference computations for the tests of the packed kernels: random
// matrices and conversion between packed triangles and Eigen matrices.  The
// kernel tests open this namespace and name them unqualified.
#pragma once

#include <Eigen/Dense>
#include <random>
#include <vector>

#include "host/packed.h"

namespace mixed::host::testing {

inline Eigen::MatrixXd random_matrix(Eigen::Index rows, Eigen::Index cols, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Eigen::MatrixXd m(rows, cols);
  for (Eigen::Index i = 0; i < rows; ++i)
    for (Eigen::Index j = 0; j < cols; ++j) m(i, j) = u(gen);
  return m;
}

// A'A + I for a random A (rows x n): well conditioned, positive definite.
inline Eigen::MatrixXd random_spd(Eigen::Index n, unsigned seed) {
  const Eigen::MatrixXd a = random_matrix(n + 3, n, seed);
  return a.transpose() * a + Eigen::MatrixXd::Identity(n, n);
}

inline std::vector<double> pack(const Eigen::MatrixXd& m) {
  std::vector<double> p(tri_size(static_cast<std::size_t>(m.rows())));
  for (Eigen::Index i = 0; i < m.rows(); ++i)
    for (Eigen::Index j = 0; j <= i; ++j) p[tri(static_cast<std::size_t>(i), static_cast<std::size_t>(j))] = m(i, j);
  return p;
}

// The symmetric matrix whose lower triangle is packed in p.
inline Eigen::MatrixXd unpack(Eigen::Index n, const std::vector<double>& p) {
  Eigen::MatrixXd m(n, n);
  for (Eigen::Index i = 0; i < n; ++i)
    for (Eigen::Index j = 0; j <= i; ++j)
      m(i, j) = m(j, i) = p[tri(static_cast<std::size_t>(i), static_cast<std::size_t>(j))];
  return m;
}

// The lower-triangular matrix packed in p.
inline Eigen::MatrixXd unpack_lower(Eigen::Index n, const std::vector<double>& p) {
  Eigen::MatrixXd m = Eigen::MatrixXd::Zero(n, n);
  for (Eigen::Index i = 0; i < n; ++i)
    for (Eigen::Index j = 0; j <= i; ++j) m(i, j) = p[tri(static_cast<std::size_t>(i), static_cast<std::size_t>(j))];
  return m;
}

// Largest absolute difference relative to the largest absolute entry of want.
inline double relative_error(const Eigen::MatrixXd& got, const Eigen::MatrixXd& want) {
  const double scale = std::max(1.0, want.cwiseAbs().maxCoeff());
  return (got - want).cwiseAbs().maxCoeff() / scale;
}

}  // namespace mixed::host::testing
