// The estimation state of one split group: the compact design rows of every
// record, the covariance blocks of the model, and the per-subject blocks that
// the likelihood, its derivatives and the post-estimation stages work from.
//
// Subjects are the runs of records that share the common subject variables;
// V = blockdiag_i(V_i), V_i = Z_i G Z_i' + R_i.  Every record's row of
// W = [X | y | Z] is multiplied by sqrt(w f) (regression and case weight).  The
// combined row has order m = p + 1 + q: fixed column c at c, y at p, random
// column u at p + 1 + u; cross products are packed lower triangles of order m.
//
// Random part: each RANDOM block j has dimension d_j, covariance G_j (from its
// structure and parameters) and r_j replicates per subject (one per level
// combination of the block's own subject variables beyond the common ones);
// Z's columns are the blocks side by side, each replicate taking d_j columns,
// so G = blockdiag_j(I_{r_j} (x) G_j) and q = sum_j r_j d_j.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "host/bitset.h"
#include "host/scratch.h"

namespace mixed::estimate {

// One RANDOM covariance block.
struct RandomBlock {
  covstruct::CovType cov_type = covstruct::VC;
  int dim = 0;          // d_j
  int replicates = 1;   // r_j
  int col = 0;          // first random column of its first replicate
  int first_param = 0;  // position of its first parameter in cov_params
  int npar = 0;
  std::vector<int> extra_subject_classvars;  // classvars of its subject variables beyond the common ones
  // At the current parameters: G_j, its lower Cholesky factor L_j (packed,
  // order d_j), and the derivatives dG_k (npar blocks) and d2G_kl (pairs k >= l).
  std::vector<double> G, L, dG, d2G;
  double present_subjects = 0;  // subjects summed over, times replicates present
};

// The design rows of all records, subject after subject (SubjectRows form).
struct DesignRows {
  int nfix = 0;                     // fixed-effect terms per record
  int nran = 0;                     // random-effect terms per record
  std::vector<double> y;            // weighted y
  std::vector<int> level;           // repeated level (0-based sorted position); 0 without REPEATED
  std::vector<long> rsubject;       // repeated subject number; 0 without REPEATED
  std::vector<int> fcol;            // n x nfix
  std::vector<double> fval;         // n x nfix, weighted
  std::vector<int> rcol;            // n x nran
  std::vector<double> rval;         // n x nran, weighted
  std::vector<double> weight;       // w f of every record
  std::vector<double> case_weight;  // f of every record
  std::vector<std::size_t> first;   // per subject: its first record; first.back() == records
  std::size_t records() const { return y.size(); }
  std::size_t subjects() const { return first.empty() ? 0 : first.size() - 1; }
};

// Per-subject blocks at the current parameters.
struct SubjectBlocks {
  std::size_t m = 0;                  // p + 1 + q
  std::size_t tri = 0;                // m (m + 1) / 2
  std::size_t pairs = 0;              // n_residual_cov_params (n_residual_cov_params + 1) / 2
  std::vector<double> C;              // per subject: W' R^-1 W
  std::vector<double> Ck;             // per subject, per repeated parameter k: W' R^-1 R_k R^-1 W
  std::vector<double> Ckl;            // per subject, per pair k >= l: W' Q_kl W (minus the second derivative of R^-1)
  std::vector<double> logdetM;        // per subject log|M_i|, M_i = I + L' Z_i' R_i^-1 Z_i L
  std::vector<host::BitSet> present;  // per subject: the replicates of the random blocks it has
};

// Quantities of the final fit that the post-estimation stages read, per
// subject i (dense, row-major):
//   Y_i = Z_i' V_i^-1 X_i (q x p), tX_i = H_i Z_i' R_i^-1 X_i (q x p) with
//   H_i = L M_i^-1 L', S_i = Z_i' V_i^-1 Z_i (q x q), u_i = G Z_i' V_i^-1 r_i
//   (the predicted random effects, q).
struct SubjectFinal {
  std::vector<double> Y, tX, S, u;
};

struct Fit {
  Fit() = default;
  Fit(const Fit&) = delete;
  Fit& operator=(const Fit&) = delete;
  ~Fit() {
    if (scratch != nullptr) scratch->release(reserved_bytes);
  }
  // Charges `bytes` of the fit's own storage to the scratch budget; false when
  // the budget cannot take them.
  bool account(host::Scratch& s, std::size_t bytes) {
    if (!s.reserve(bytes)) return false;
    scratch = &s;
    reserved_bytes += bytes;
    return true;
  }
  host::Scratch* scratch = nullptr;
  std::size_t reserved_bytes = 0;

  int p = 0;  // fixed design columns
  int q = 0;  // random columns per subject
  int n_cov_params = 0;
  int n_residual_cov_params = 0;  // parameters of the repeated (residual) block, first in cov_params
  bool has_random = false;        // random-effect terms exist
  bool repeated = false;          // a REPEATED subcommand was given
  covstruct::CovType repeated_type = covstruct::ID;
  int rep_dim = 1;  // max(1, n_repeated_levels)
  DesignRows rows;
  std::vector<RandomBlock> blocks;
  SubjectBlocks sub;
  SubjectFinal final;
  // Repeated-block accumulators of the last evaluation: sum_i tr(R_i^-1 R_k)
  // and sum_i [tr(R_i^-1 R_kl) - tr(R_i^-1 R_k R_i^-1 R_l)].
  std::vector<double> rep_grad, rep_hess;
  double ldetr = 0.0;
  double lwsum = 0.0;
  double sum_logdetM = 0.0;
  // Repeated block at the final parameters over all levels (for the R table).
  std::vector<double> R_matrix;
};

}  // namespace mixed::estimate
