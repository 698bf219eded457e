// Satterthwaite denominator degrees of freedom of a test of L·β (satterthwaite_df),
// generalised to several rows through the eigen decomposition of L C L'
// (Fai and Cornelius 1996).
//
// For one direction l = L'z_m (fixed part l_f, optionally a random part l_r
// over the random design columns) the variance of l'(β̂, Σ_i û_i) is
// l' C_full l, C_full the inverse of the coefficient matrix of the mixed-model
// equations.  Its derivative with respect to covariance parameter k is
//     g_k = Σ_i (w, t_i)' K_ik (w, t_i)        (repeated-block parameter k)
//     g_k = Σ_i s_i' G_k s_i                   (parameter k of a RANDOM block)
// with K_ik = W_i'R_i^-1 R_k R_i^-1 W_i the stored derivative block
// (estimate::SubjectBlocks::Ck, y's row left out), w = C (l_f - Σ_i tX_i' e_i),
// t_i = -tX_i w + H_i e_i = G s_i and s_i = -Y_i w + e_i - S_i G e_i (e_i the
// random coefficients spread over the subject's replicates, random_part.h),
// G_k the block's derivative dG_k on each replicate.  Then, with W the
// asymptotic covariance matrix of the covariance parameters (cov_param_covariance),
//     ν_m = 2 d_m² / (g'W g),   d_m = z_m' L C L' z_m,
// and for rank r ≥ 2, E = Σ ν_m/(ν_m - 2) over the ν_m > 2 gives
// df = 2E/(E - r).
//
// Everything is read from the group and the estimates (fixed_covariance, cov_param_covariance, n_cov_params,
// n_fixed_columns, n_random_columns, blocks) and Estimates::fit (the per-subject blocks of the final fit); nothing is
// written.
#pragma once

#include <span>
#include <vector>

#include "data/group.h"
#include "estimate/estimates.h"
#include "model/command.h"

namespace mixed::inference {

// g_k = ∂/∂θ_k Var(l_f'β̂ + l_r'Σ_i û_i - l_r'Σ_i u_i), k = 0 .. n_cov_params-1, for
// l_f over the p fixed columns and l_r over the random design columns (empty
// for a purely fixed direction).  Empty when the model has no fit.
std::vector<double> variance_gradient(const data::GroupData& group, const estimate::Estimates& est,
                                      std::span<const double> lf, std::span<const double> lr);

// For a purely fixed direction the gradient is a quadratic form in w = C l_f:
// g_k = w' P_k w with P_k = -∂(X'V^-1 X)/∂θ_k = Σ_i X_i'V_i^-1 V_k V_i^-1 X_i,
// which one pass over the subjects gives for every direction at once.
// derivative_products() fills `out` (derivative_products_size() reals: one
// packed p x p matrix per covariance parameter, in cov_params order); false when
// the model has no fit.
std::size_t derivative_products_size(const data::GroupData& group, const estimate::Estimates& est);
bool derivative_products(const data::GroupData& group, const estimate::Estimates& est, std::span<double> out);

// The combination of the per-direction ν_m into one df for rank r ≥ 2: ν_m of
// a skipped direction (zero eigenvalue) is given as 0.  The result is 2.0 when
// the last ν_m lies within 1e-12 of 2, else 2E/(E - r) when E > r, else SYSMIS.
double combine_directions(std::span<const double> nu, int rank);

// satterthwaite_df: the Satterthwaite df of L·β for L (q rows of p values, or of
// p + n_random_columns values with random_columns), rank r of L C L', its eigenvalues d
// (those ≤ 1e-12 already 0) and eigenvectors Z (q x q row-major, column m
// belonging to d_m).  SYSMIS when g'Wg ≤ 0 for a direction, when E ≤ r, or
// when the model has no covariance parameters.  `products` (optional) holds
// the P_k of derivative_products(); with them a direction without random
// coefficients costs O(p²) per parameter instead of a pass over the subjects.
double satterthwaite_df(const data::GroupData& group, const estimate::Estimates& est, int q, int r, bool random_columns,
                        std::span<const double> L, std::span<const double> d, std::span<const double> Z,
                        std::span<const double> products = {});

}  // namespace mixed::inference
