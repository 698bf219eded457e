// The residual side of the likelihood for a REPEATED structure, subject by
// subject: R_i, its inverse and derivatives for the rows of one repeated
// subject, and that subject's contributions to the log-determinant, the trace
// parts of the gradient and Hessian, and the R-weighted cross products of the
// data.
//
// The combined row of a record is W = [X | y | Z] of order p + q + 1: fixed
// column c at c, y at p, random column u at p + 1 + u.  A cross-product matrix
// is a packed lower triangle of that order (host/packed.h); the C_k (one per
// repeated parameter, k = 0..m-1) and the C_kl (one per pair l ≤ k, in packed
// order (0,0), (1,0), (1,1), (2,0), ...) lie one after another at that stride.
// The repeated block has m parameters θ (its run, 0-based).  Records are read
// only; repeated subjects are found by their key, never by altering it.
#pragma once

#include "covstruct/types.h"

#include <cstddef>
#include <span>
#include <vector>

namespace mixed::host {
class Scratch;
}

namespace mixed::covstruct {

// The case records of one estimation subject, each row already weighted by sqrt(w·f).
struct SubjectRows {
  int n = 0;             // records
  int nfix = 0;          // fixed-effect terms per record (one entry each)
  int nran = 0;          // random-effect terms per record (one entry each)
  int p = 0;             // fixed design columns
  int q = 0;             // random design columns of the subject (n_random_design_columns)
  const double* y;       // n
  const int* level;      // n: repeated level, 0-based position in the sorted repeated level table
  const long* rsubject;  // n: repeated subject number (the key add_repeated_subject_terms groups by)
  const int* fcol;
  const double* fval;  // n × nfix, row-major; columns 0..p-1, increasing along a row
  const int* rcol;
  const double* rval;  // n × nran, row-major; columns 0..q-1, increasing along a row
};

// Which sums a pass asks for.
struct TermFlags {
  bool logdet = false;    // log det R_i
  bool gradient = false;  // tr(A·Σ_k)
  bool hessian = false;   // tr(A·Σ_kl) - tr(Σ_k·P_l)
  bool c0 = false;        // Wᵢᵀ·A·Wᵢ
  bool ck = false;        // Wᵢᵀ·P_k·Wᵢ
  bool ckl = false;       // Wᵢᵀ·Q_kl·Wᵢ
};

// The sums the subjects' terms are added to; a span whose flag is off may be
// empty.  Sizes: gradient m, hessian m(m+1)/2, c0 one cross-product matrix, ck m
// of them, ckl m(m+1)/2 of them.
struct TermSums {
  double logdet = 0.0;
  std::span<double> gradient;
  std::span<double> hessian;
  std::span<double> c0;
  std::span<double> ck;
  std::span<double> ckl;
};

// Work buffers of the per-subject matrices and of the subject grouping, grown
// to the largest subject met and reused from subject to subject.  A pass takes
// them from its caller and keeps no state of its own, so passes that run side
// by side each need their own SubjectWork.
struct SubjectWork {
  SubjectWork() = default;
  // The buffers that reserve() grows are charged to `budget` (the scratch
  // arena) for as long as they are held.
  explicit SubjectWork(host::Scratch& budget) : budget_(&budget) {}
  ~SubjectWork();
  SubjectWork(const SubjectWork&) = delete;
  SubjectWork& operator=(const SubjectWork&) = delete;

  std::vector<double> sigma, a, sigma_k, sigma_kl, p, q;
  // The current subject's rows of W on the columns its records touch: the
  // columns in increasing order, the rows Wd and T = M·Wd (ni × nc, row-major).
  std::vector<int> cols;
  std::vector<double> wd, t;
  std::vector<int> records;          // the current repeated subject: its record positions
  std::vector<int> levels;           // ... and their levels (its lvlidx)
  std::vector<unsigned char> taken;  // per repeated level: in the current subject
  // The repeated subjects of the run: for each, its first record's position in
  // `members`, in order of first appearance; `members` lists every subject's
  // records in record order.
  std::vector<int> group_start, members;

  // The matrices and trace terms last built, with what they were built for:
  // every subject of the same structure, parameters and levels reuses them.
  struct Cached {
    bool valid = false;
    CovType cov_type{};
    bool second = false, ckl = false, logdet = false;
    std::vector<double> theta;
    std::vector<int> levels;
    double logdet_value = 0.0;
    std::vector<double> gradient, hessian;
  } cached;

  // Room for a subject of ni records of `rows` with m parameters (the Q_kl
  // only when asked); false when the budget refuses the growth, which is then
  // not made.
  bool reserve(const SubjectRows& rows, int ni, int m, bool second);

 private:
  host::Scratch* budget_ = nullptr;
  std::size_t charged_ = 0;  // bytes charged to budget_
};

// Statuses of the subject passes.
inline constexpr int kStatusMemory = 3;
inline constexpr int kStatusDuplicateLevel = 1000;

// add_repeated_subject_terms: for every repeated subject of the run, the terms of add_one_subject_terms added to
// the sums whose flags are set, after clearing c0, ck and ckl (when flagged).
// Returns 0, kStatusMemory when the work buffers cannot be had or the budget
// refuses them, or kStatusDuplicateLevel when a level occurs twice in one
// repeated subject; on either failure no subject's terms have been added.
int add_repeated_subject_terms(const SubjectRows& rows, std::span<const double> theta, CovType cov_type,
                               SubjectWork& work, const TermFlags& flags, TermSums& sums);

// add_one_subject_terms: the terms of one repeated subject, the records `records` of `rows` at
// the levels lvlidx: log det R_i, tr(A·Σ_k), tr(A·Σ_kl) - tr(Σ_k·P_l), and
// Wᵢᵀ·M·Wᵢ for M = A, P_k, Q_kl (formed densely on the columns the subject's
// records touch), each added to its sum when its flag is set.  `work` must
// have room for the subject (SubjectWork::reserve).
void add_one_subject_terms(const SubjectRows& rows, std::span<const int> records, std::span<const int> lvlidx,
                           std::span<const double> theta, CovType cov_type, SubjectWork& work, const TermFlags& flags,
                           TermSums& sums);

// check_repeated_levels: the grouping of add_repeated_subject_terms without any evaluation: 0, kStatusMemory, or
// kStatusDuplicateLevel when a level occurs twice in one repeated subject.
int check_repeated_levels(const SubjectRows& rows, SubjectWork& work);

// design_cross_products: out = Σ over the records of Wᵀ·W (unweighted by R), one packed
// cross-product matrix of order p + q + 1.
void design_cross_products(const SubjectRows& rows, std::span<double> out);

}  // namespace mixed::covstruct
