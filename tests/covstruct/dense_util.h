// Dense helpers for the covariance-structure tests: packed <-> dense, random
// admissible parameters, the 17 structures, and a dense reference of each
// structure matrix written from its defining formulas (1-based, as a
// statistician would write them).
#pragma once

#include <ostream>

#include "covstruct/types.h"

#include <functional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include <Eigen/Dense>

namespace mixed::covstruct {

// Structures print as their codes in test messages.
inline std::ostream& operator<<(std::ostream& os, CovType t) { return os << static_cast<int>(t); }

}  // namespace mixed::covstruct

namespace mixed::covstruct::covtest {

using Vec = std::vector<double>;

// The structures a block can carry (every one but VC_PARSE).
const std::vector<CovType>& all_types();

// A structure by its position in the COVTYPE table (any int, for the tests of
// codes that name no structure).
inline CovType type_code(int code) { return static_cast<CovType>(code); }
std::string type_name(covstruct::CovType cov_type);

Eigen::MatrixXd unpack(int n, std::span<const double> packed);
Vec pack(const Eigen::MatrixXd& m);

// max |got - want| / max(1, max |want|).
double rel_diff(std::span<const double> got, std::span<const double> want);

// Packed results of the functions under test, as fresh vectors.
Vec sigma(int n, const Vec& theta, std::span<const int> lvlidx, covstruct::CovType cov_type);
Vec inverse(int n, const Vec& theta, std::span<const int> lvlidx, covstruct::CovType cov_type,
            double* logdet = nullptr);

// The central difference (f(θ + h·e_k) - f(θ - h·e_k)) / 2h with
// h = 1e-5·max(1, |θ_k|): truncation and rounding errors both near 1e-10.
Vec central_difference(const Vec& theta, int k, const std::function<Vec(const Vec&)>& f);

// A random parameter vector for L levels whose matrix is positive definite
// with its smallest eigenvalue at least 0.05.
Vec random_theta(covstruct::CovType cov_type, int levels, std::mt19937& rng);

// Σ(θ) over the rows at `levels` (0-based), straight from the defining
// formulas in dense form.
Eigen::MatrixXd reference_sigma(covstruct::CovType cov_type, const Vec& theta, const std::vector<int>& levels);

// Level maps of the tests: the identity over L = 4 levels (empty map), rows at
// levels 1, 3, 4 of 4 (0-based 0, 2, 3), and rows at 5, 2, 3 of 5 out of order.
struct LevelCase {
  std::string name;
  int levels;            // L, the levels the parameters describe
  std::vector<int> map;  // empty: identity
  int rows() const { return map.empty() ? levels : static_cast<int>(map.size()); }
  std::vector<int> row_levels() const;
};
const std::vector<LevelCase>& level_cases();

}  // namespace mixed::covstruct::covtest
