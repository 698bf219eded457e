// The -2 log likelihood (ML) or -2 restricted log likelihood (REML) of the
// linear mixed model at given covariance parameters, and its gradient and
// second derivatives, accumulated subject by subject so that no matrix of the
// order of the number of observations is ever formed.
//
// Per subject i, with W_i = [X_i y_i Z_i] (weighted rows), the repeated-block
// pass forms C_i = W_i' R_i^-1 W_i and the derivative blocks
// C_i,k = W_i' R_i^-1 R_k R_i^-1 W_i and C_i,kl = W_i' Q_kl W_i.  With
// G = L L' and M_i = I + L' Z_i' R_i^-1 Z_i L,
//     V_i^-1 = R_i^-1 - R_i^-1 Z_i H_i Z_i' R_i^-1,   H_i = L M_i^-1 L',
//     log|V_i| = log|R_i| + log|M_i|,
// so [X y]' V^-1 [X y] sums over the subjects from C_i and M_i alone, and the
// fixed effects follow by sweeping it.
//
//   ML:   -2LL  = ldetv + rquad + N log 2 pi
//   REML: -2RLL = ldetv + rquad + ldetx + (N - rank X) log 2 pi
// with ldetv = sum_i log|V_i| (weights included), rquad = r' V^-1 r = y'Py and
// ldetx = log|X' V^-1 X| over the non-redundant columns.
#pragma once

#include <memory>
#include <span>
#include <vector>

#include "covstruct/subject_terms.h"
#include "data/group.h"
#include "estimate/estimates.h"
#include "estimate/fit.h"
#include "host/engine.h"
#include "model/command.h"

namespace mixed::estimate {

inline constexpr double kLog2Pi = 1.8378770664093456;

struct Evaluation {
  double ldetv = 0.0;
  double rquad = 0.0;
  double ldetx = 0.0;
  int rank = 0;  // working rank of the sweep
};

// First and second derivatives of -2LL with respect to the covariance
// parameters, in parts: D from the log-determinant, N from the residual
// quadratic form (Newton only), Q from log|X'V^-1 X| (REML only); H their sum
// as the iteration asks.  Matrices are packed lower triangles of order n_cov_params.
struct Derivatives {
  std::vector<double> g, gD, gN, gQ;
  std::vector<double> D, N, Q, H;
};

// The work buffers of the subject passes, handed to the routines that use
// them: no routine keeps a buffer of its own, so passes that run side by side
// can each be given their own PassBuffers.  Their memory is charged to the
// scratch budget.
struct PassBuffers {
  explicit PassBuffers(host::Scratch& budget) : subject(budget) {}
  // One record's entries of W in increasing column order: their columns and
  // values (room for nfix + 1 + nran, made by Likelihood::setup).
  std::vector<int> entry_cols;
  std::vector<double> entry_vals;
  // One repeated subject's matrices under a general REPEATED structure, grown
  // to the largest repeated subject on the first pass.
  covstruct::SubjectWork subject;
};

class Likelihood {
 public:
  Likelihood(const model::Command& cmd, const data::GroupData& group, estimate::Estimates& est, host::Engine& e,
             Fit& fit);
  ~Likelihood();

  // Lays out the per-subject blocks; 0, or 3 when the memory budget cannot
  // take them.  Called once, after the design rows are built.
  int setup();

  // Evaluation at theta: the per-subject blocks, fixed_covariance (swept and cleaned
  // against non_redundant) and the parts of -2LL.  Returns 0, 3 (memory) or 1000
  // (a repeated level twice within a repeated subject); -1 when interrupted.
  int evaluate(std::span<const double> theta, Evaluation& ev);

  // -2LL from the parts of an evaluation.
  double m2ll(const Evaluation& ev) const;

  // The derivative pass at the theta of the last evaluation, with the fixed
  // estimates in fixed_covariance.  `newton` asks for N, `reml` for the REML terms.
  void derivatives(std::span<const double> theta, bool newton, bool reml, Derivatives& d);

  // The final subject pass: the per-subject quantities the post-estimation
  // stages read (Fit::final) and the R matrix over all repeated levels.
  void final_pass(std::span<const double> theta);

 private:
  int repeated_pass(std::span<const double> theta);
  void random_blocks(std::span<const double> theta, bool derivatives);
  void combine();

  const model::Command& cmd_;
  const data::GroupData& group_;
  estimate::Estimates& est_;
  host::Engine& e_;
  Fit& fit_;
  PassBuffers buffers_;
  // Block-diagonal L and G over the q random columns: dense Eigen matrices,
  // defined in the .cpp so that this header does not pull in Eigen.
  struct RandomCovariance;
  std::unique_ptr<RandomCovariance> random_;
  std::vector<double> wtw_;  // ID residual: per subject W'W, formed once
  bool wtw_ready_ = false;
};

}  // namespace mixed::estimate
