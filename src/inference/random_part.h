// The random-effect side of a fitted model as the fixed-effect tests see it.
//
// A hypothesis may carry one coefficient per random design column (the
// columns of the RANDOM effects, numbered 0 .. n_random_columns-1 across the effects).
// Such a coefficient applies to that column in every replicate of its
// covariance block and in every subject: for subject i it becomes the vector
// e_i over the subject's q random columns (estimate::Fit), holding the
// coefficient at column col_b + r d_b + offset of every replicate r that the
// subject has, and 0 elsewhere.  Replicates a subject lacks carry no data and
// take no part.
//
// The per-subject matrices of the final fit (estimate::SubjectFinal) are read
// here as row-major spans: Y_i = Z_i'V_i^-1 X_i and tX_i = H_i Z_i'R_i^-1 X_i
// (q x p), S_i = Z_i'V_i^-1 Z_i (q x q), u_i the predicted random effects (q).
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "data/group.h"
#include "estimate/fit.h"
#include "model/command.h"

namespace mixed::inference {

// Where a random design column lies within its covariance block.
struct RandomColumn {
  int block = 0;   // covariance block (GroupData::blocks, estimate::Fit::blocks)
  int offset = 0;  // column within one replicate of the block
};

// The place of every random design column, in design-column order.
std::vector<RandomColumn> random_column_places(const data::GroupData& group);

// e_i: the coefficients `lr` (one per random design column) spread over every
// replicate of its block that subject i has; `out` holds q values.
void spread_random(const estimate::Fit& fit, std::span<const RandomColumn> places, std::span<const double> lr,
                   std::size_t subject, std::span<double> out);

// out = G x over the q random columns of a subject, G = blockdiag_j(I (x) G_j).
void apply_G(const estimate::Fit& fit, std::span<const double> x, std::span<double> out);

// The per-subject matrices of the final fit.
std::span<const double> subject_Y(const estimate::Fit& fit, std::size_t i);
std::span<const double> subject_tX(const estimate::Fit& fit, std::size_t i);
std::span<const double> subject_S(const estimate::Fit& fit, std::size_t i);
std::span<const double> subject_u(const estimate::Fit& fit, std::size_t i);

// y = M x for a row-major rows x cols matrix M, and y = M' x.
void multiply(std::size_t rows, std::size_t cols, std::span<const double> m, std::span<const double> x,
              std::span<double> y);
void multiply_transposed(std::size_t rows, std::size_t cols, std::span<const double> m, std::span<const double> x,
                         std::span<double> y);

}  // namespace mixed::inference
