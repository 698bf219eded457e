// l_matrix_test: inference on linear combinations L·β of the fixed effects, and
// optionally of the predicted random effects summed over the subjects.
//
// L has q rows of p = n_fixed_columns fixed coefficients, followed, with the
// random-column option, by one coefficient per random design column (n_random_columns),
// which applies to that column in every replicate and every subject
// (random_part.h).  With L = [L_f, L_r] the routine forms
//     A  = L C L'  = (L_f - L_r T) C (L_f - L_r T)' + Σ_i L_r H_i L_r'
//     Lb = L_f β̂ + L_r Σ_i û_i
// (T = Σ_i tX_i, H_i = G - G S_i G, the prediction-error variance), C and β̂
// from fixed_covariance.  The F test of L·b = h is taken on the rank r of A: with
// A = Z diag(d) Z', eigenvalues d_m ≤ 1e-12 count as zero, A⁺ = Σ z_m z_m'/d_m
// over the others (the Moore–Penrose inverse) and F = (Lb - h)' A⁺ (Lb - h)/r,
// with the Satterthwaite denominator df of satterthwaite.h.
//
// The work blocks (A, Z, d, e) come from the scratch arena, pool kPool, and
// are released before return.  Nothing else is written.
#pragma once

#include <span>
#include <vector>

#include "data/group.h"
#include "estimate/estimates.h"
#include "host/dataset.h"
#include "host/output.h"
#include "host/scratch.h"
#include "model/command.h"

namespace mixed::inference {

// Eigenvalues of L C L' at or below this count as zero: the rank rule of the
// tests.  Far above the rounding of the products that form L C L' for any
// reasonable scaling, far below any variance a contrast can have.
inline constexpr double kEigenZero = 1e-12;

// The scratch pool of the post-estimation work blocks (released per group).
inline constexpr host::Pool kPool = host::Pool::PostEstimation;

enum LTestStatus : int {
  kNoRows = -1,
  kOutOfMemory = 4,
  kEigenFailed = 1003,
};

struct LTestOptions {
  bool f_test = false;          // rank, F and denominator df
  bool per_row = false;         // per-row estimate, standard error and df
  bool hypothesised = false;    // test L·b = h instead of L·b = 0
  bool random_columns = false;  // L carries random-effect coefficients
  // Optional: the P_k of derivative_products() (satterthwaite.h), which make
  // the df of rows without random coefficients cheap.
  std::span<const double> derivative_products;
};

struct LTestResult {
  int status = 0;  // 0, kNoRows, kOutOfMemory or kEigenFailed
  int rank = 0;
  double F = host::SYSMIS;
  double dendf = host::SYSMIS;
  std::vector<double> estimate, se, df;  // q values each with the per-row option
};

// l_matrix_test for the q rows of L (row-major) and, with the hypothesised-value
// option, the q values h.
LTestResult l_matrix_test(const data::GroupData& group, const estimate::Estimates& est, host::Scratch& scratch, int q,
                          std::span<const double> L, const LTestOptions& options, std::span<const double> h = {});

// The P_k of derivative_products() in a block of pool kPool, for
// LTestOptions::derivative_products; empty when the model has no fit or the
// arena refuses the block (each df then takes its own pass over the
// subjects).  The caller frees a non-empty block.
std::span<double> derivative_products_block(const data::GroupData& group, const estimate::Estimates& est,
                                            host::Scratch& scratch);

// Reports a status of the tests once: from 1000 the split-aware warning, a
// positive status below as catalogue message `status` of `severity`; zero and
// negative statuses are silent.
void report_status(host::Output& out, int status, host::Severity severity);

}  // namespace mixed::inference
