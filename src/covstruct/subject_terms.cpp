#include "covstruct/subject_terms.h"
#include "covstruct/types.h"

#include <algorithm>
#include <new>
#include <unordered_map>

#include "covstruct/derivatives.h"
#include "covstruct/inverse.h"
#include "covstruct/matrices.h"
#include "covstruct/products.h"
#include "host/packed.h"
#include "host/scratch.h"

namespace mixed::covstruct {

using host::tri;
using host::tri_size;

namespace {

// The column of a single right entry, relative to its column base.
constexpr int kSameColumn = 0;

// Calls f(s, r, cols, vals, col_base) for the products of record ri's entries
// (left, value s at column r) with record rj's (right) that can fall in the
// lower triangle of the cross products: fixed terms with the fixed terms of rj
// up to the same term, y with the fixed terms and with y, random terms with
// the fixed terms, y and the random terms up to the same term.  Terms are in
// increasing column order along a record, and a term's columns lie after every
// column of the terms before it.
template <class F>
void for_each_product(const SubjectRows& rows, int ri, int rj, F f) {
  const int* fci = rows.fcol + static_cast<std::ptrdiff_t>(ri) * rows.nfix;
  const double* fvi = rows.fval + static_cast<std::ptrdiff_t>(ri) * rows.nfix;
  const int* fcj = rows.fcol + static_cast<std::ptrdiff_t>(rj) * rows.nfix;
  const double* fvj = rows.fval + static_cast<std::ptrdiff_t>(rj) * rows.nfix;
  const int* rci = rows.rcol + static_cast<std::ptrdiff_t>(ri) * rows.nran;
  const double* rvi = rows.rval + static_cast<std::ptrdiff_t>(ri) * rows.nran;
  const int* rcj = rows.rcol + static_cast<std::ptrdiff_t>(rj) * rows.nran;
  const double* rvj = rows.rval + static_cast<std::ptrdiff_t>(rj) * rows.nran;
  const std::span<const int> y_col(&kSameColumn, 1);
  const std::span<const double> y_j(&rows.y[rj], 1);
  const std::span<const int> fixed_cols(fcj, rows.nfix);
  const std::span<const double> fixed_vals(fvj, rows.nfix);
  const int p = rows.p;

  for (int t = 0; t < rows.nfix; ++t) f(fvi[t], fci[t], fixed_cols.first(t + 1), fixed_vals.first(t + 1), 0);
  f(rows.y[ri], p, fixed_cols, fixed_vals, 0);
  f(rows.y[ri], p, y_col, y_j, p);
  for (int u = 0; u < rows.nran; ++u) {
    const int r = p + 1 + rci[u];
    f(rvi[u], r, fixed_cols, fixed_vals, 0);
    f(rvi[u], r, y_col, y_j, p);
    f(rvi[u], r, std::span<const int>(rcj, u + 1), std::span<const double>(rvj, u + 1), p + 1);
  }
}

// Groups the records of the run into repeated subjects by their key, in order
// of first appearance, each subject's records in record order (one pass with a
// hash of the keys).
void group_subjects(const SubjectRows& rows, SubjectWork& work) {
  std::unordered_map<long, int> index;
  index.reserve(static_cast<std::size_t>(rows.n));
  std::vector<int> subject_of(static_cast<std::size_t>(rows.n));
  std::vector<int> count;
  for (int r = 0; r < rows.n; ++r) {
    auto [it, fresh] = index.emplace(rows.rsubject[r], static_cast<int>(count.size()));
    if (fresh) count.push_back(0);
    subject_of[r] = it->second;
    ++count[it->second];
  }
  work.group_start.assign(count.size() + 1, 0);
  for (std::size_t g = 0; g < count.size(); ++g) work.group_start[g + 1] = work.group_start[g] + count[g];
  std::vector<int> next(work.group_start.begin(), work.group_start.end() - 1);
  work.members.resize(static_cast<std::size_t>(rows.n));
  for (int r = 0; r < rows.n; ++r) work.members[next[subject_of[r]]++] = r;
}

// Takes repeated subject g of the grouping into work.records and work.levels;
// false when a level occurs twice in it.
bool collect(const SubjectRows& rows, std::size_t g, SubjectWork& work) {
  work.records.clear();
  work.levels.clear();
  bool distinct = true;
  for (int at = work.group_start[g]; at < work.group_start[g + 1]; ++at) {
    const int r = work.members[at];
    const int level = rows.level[r];
    if (work.taken[level]) distinct = false;
    work.taken[level] = 1;
    work.records.push_back(r);
    work.levels.push_back(level);
  }
  for (int level : work.levels) work.taken[level] = 0;
  return distinct;
}

// Groups the run and checks every repeated subject; the size of the largest, or
// the duplicate-level status.
int group_run(const SubjectRows& rows, SubjectWork& work, int& largest) {
  int levels = 0;
  for (int r = 0; r < rows.n; ++r) levels = std::max(levels, rows.level[r] + 1);
  if (work.taken.size() < static_cast<std::size_t>(levels)) work.taken.assign(levels, 0);
  group_subjects(rows, work);
  largest = 0;
  for (std::size_t g = 0; g + 1 < work.group_start.size(); ++g) {
    if (!collect(rows, g, work)) return kStatusDuplicateLevel;
    largest = std::max(largest, static_cast<int>(work.records.size()));
  }
  return 0;
}

// The columns of W that the subject's records touch, in increasing order, and
// the subject's rows of W on them: Wd (ni x nc, row-major).
void dense_rows(const SubjectRows& rows, std::span<const int> records, std::vector<int>& cols,
                std::vector<double>& wd) {
  cols.clear();
  const int p = rows.p;
  for (int r : records) {
    for (int t = 0; t < rows.nfix; ++t) cols.push_back(rows.fcol[r * rows.nfix + t]);
    for (int u = 0; u < rows.nran; ++u) cols.push_back(p + 1 + rows.rcol[r * rows.nran + u]);
  }
  cols.push_back(p);
  std::sort(cols.begin(), cols.end());
  cols.erase(std::unique(cols.begin(), cols.end()), cols.end());
  const std::size_t nc = cols.size();
  wd.assign(records.size() * nc, 0.0);
  auto local = [&](int c) {
    return static_cast<std::size_t>(std::lower_bound(cols.begin(), cols.end(), c) - cols.begin());
  };
  for (std::size_t i = 0; i < records.size(); ++i) {
    const int r = records[i];
    double* row = wd.data() + i * nc;
    for (int t = 0; t < rows.nfix; ++t) row[local(rows.fcol[r * rows.nfix + t])] += rows.fval[r * rows.nfix + t];
    for (int u = 0; u < rows.nran; ++u)
      row[local(p + 1 + rows.rcol[r * rows.nran + u])] += rows.rval[r * rows.nran + u];
    row[local(p)] += rows.y[r];
  }
}

// out += the lower triangle of Wd' M Wd on the subject's columns, M a packed
// symmetric matrix of order ni: T = M Wd, then Wd' T.
void add_sandwich(std::size_t ni, std::size_t nc, std::span<const double> m, const std::vector<double>& wd,
                  const std::vector<int>& cols, std::vector<double>& t, std::span<double> out) {
  t.assign(ni * nc, 0.0);
  for (std::size_t i = 0; i < ni; ++i)
    for (std::size_t j = 0; j < ni; ++j) {
      const double mij = m[host::sym(i, j)];
      if (mij == 0.0) continue;
      const double* wj = wd.data() + j * nc;
      double* ti = t.data() + i * nc;
      for (std::size_t b = 0; b < nc; ++b) ti[b] += mij * wj[b];
    }
  for (std::size_t a = 0; a < nc; ++a)
    for (std::size_t b = 0; b <= a; ++b) {
      double v = 0.0;
      for (std::size_t i = 0; i < ni; ++i) v += wd[i * nc + a] * t[i * nc + b];
      out[tri(static_cast<std::size_t>(cols[a]), static_cast<std::size_t>(cols[b]))] += v;
    }
}

// The cross products W_i' M W_i for M = A, the P_k and the Q_kl of the subject,
// added to the sums that are switched on.
void accumulate_cross_products(const SubjectRows& rows, std::span<const int> records, SubjectWork& work, int m,
                               std::size_t sz, const TermFlags& flags, TermSums& sums) {
  std::vector<int>& cols = work.cols;
  std::vector<double>& wd = work.wd;
  std::vector<double>& t = work.t;
  dense_rows(rows, records, cols, wd);
  const std::size_t ni = records.size(), nc = cols.size();
  const std::size_t stride = tri_size(static_cast<std::size_t>(rows.p + rows.q + 1));
  if (flags.c0) add_sandwich(ni, nc, std::span<const double>(work.a.data(), sz), wd, cols, t, sums.c0);
  if (flags.ck)
    for (int k = 0; k < m; ++k)
      add_sandwich(ni, nc, std::span<const double>(work.p.data() + k * sz, sz), wd, cols, t,
                   sums.ck.subspan(k * stride, stride));
  if (flags.ckl)
    for (std::size_t kl = 0; kl < tri_size(static_cast<std::size_t>(m)); ++kl)
      add_sandwich(ni, nc, std::span<const double>(work.q.data() + kl * sz, sz), wd, cols, t,
                   sums.ckl.subspan(kl * stride, stride));
}

void clear_flagged(bool on, std::span<double> sums) {
  if (on) std::fill(sums.begin(), sums.end(), 0.0);
}

}  // namespace

SubjectWork::~SubjectWork() {
  if (budget_ != nullptr) budget_->release(charged_);
}

bool SubjectWork::reserve(const SubjectRows& rows, int ni, int m, bool second) {
  const std::size_t n = static_cast<std::size_t>(ni);
  const std::size_t sz = tri_size(n);
  const std::size_t um = static_cast<std::size_t>(m);
  // A subject's records touch at most their own entries and y, and no more
  // than the p + q + 1 columns of W.
  const std::size_t entries = n * static_cast<std::size_t>(rows.nfix + rows.nran) + 1;
  const std::size_t nc = std::min(entries, static_cast<std::size_t>(rows.p + rows.q + 1));
  const std::size_t q_size = second ? tri_size(um) * sz : 0;

  // What every buffer holds once grown: the charge asked of the budget.
  std::size_t bytes = 0;
  auto held = [&bytes](const auto& v, std::size_t size) { bytes += std::max(v.capacity(), size) * sizeof(v[0]); };
  held(sigma, sz);
  held(a, sz);
  held(sigma_k, sz);
  held(sigma_kl, sz);
  held(p, um * sz);
  held(q, q_size);
  held(cols, entries);
  held(wd, n * nc);
  held(t, n * nc);
  if (bytes > charged_) {
    if (budget_ != nullptr && !budget_->reserve(bytes - charged_)) return false;
    charged_ = bytes;
  }

  // Exactly the room asked for, keeping the contents (the cached matrices).
  auto grow = [](std::vector<double>& v, std::size_t size) {
    if (v.size() < size) {
      v.reserve(size);
      v.resize(size);
    }
  };
  grow(sigma, sz);
  grow(a, sz);
  grow(sigma_k, sz);
  grow(sigma_kl, sz);
  grow(p, um * sz);
  grow(q, q_size);
  cols.reserve(entries);
  wd.reserve(n * nc);
  t.reserve(n * nc);
  return true;
}

int add_repeated_subject_terms(const SubjectRows& rows, std::span<const double> theta, CovType cov_type,
                               SubjectWork& work, const TermFlags& flags, TermSums& sums) {
  int status = 0;
  try {
    int largest = 0;
    status = group_run(rows, work, largest);
    if (status == 0 && !work.reserve(rows, largest, static_cast<int>(theta.size()), flags.ckl)) return kStatusMemory;
  } catch (const std::bad_alloc&) {
    return kStatusMemory;
  }
  clear_flagged(flags.c0, sums.c0);
  clear_flagged(flags.ck, sums.ck);
  clear_flagged(flags.ckl, sums.ckl);
  if (status != 0) return status;

  for (std::size_t g = 0; g + 1 < work.group_start.size(); ++g) {
    collect(rows, g, work);
    add_one_subject_terms(rows, work.records, work.levels, theta, cov_type, work, flags, sums);
  }
  return 0;
}

void add_one_subject_terms(const SubjectRows& rows, std::span<const int> records, std::span<const int> lvlidx,
                           std::span<const double> theta, CovType cov_type, SubjectWork& work, const TermFlags& flags,
                           TermSums& sums) {
  const int ni = static_cast<int>(records.size());
  const int m = static_cast<int>(theta.size());
  const bool second = flags.hessian || flags.ckl;
  const std::size_t sz = tri_size(static_cast<std::size_t>(ni));
  const std::span<double> sigma(work.sigma.data(), sz), a(work.a.data(), sz);
  const std::span<double> sigma_k(work.sigma_k.data(), sz), sigma_kl(work.sigma_kl.data(), sz);
  auto p_block = [&](int k) { return std::span<double>(work.p.data() + k * sz, sz); };
  auto q_block = [&](int k, int l) { return std::span<double>(work.q.data() + tri(k, l) * sz, sz); };

  // Subjects observed at the same levels share R_i and everything derived from
  // it; the matrices of the last subject are reused when they fit.
  SubjectWork::Cached& c = work.cached;
  const bool reuse = c.valid && c.cov_type == cov_type && c.second == second && c.ckl == flags.ckl &&
                     c.logdet == flags.logdet &&
                     std::equal(c.theta.begin(), c.theta.end(), theta.begin(), theta.end()) &&
                     std::equal(c.levels.begin(), c.levels.end(), lvlidx.begin(), lvlidx.end());
  if (!reuse) {
    c.valid = false;
    c.gradient.assign(static_cast<std::size_t>(m), 0.0);
    c.hessian.assign(tri_size(static_cast<std::size_t>(m)), 0.0);
    structure_matrix(ni, theta, lvlidx, cov_type, sigma);
    c.logdet_value = structure_inverse(ni, theta, sigma, lvlidx, cov_type, a, flags.logdet);
    for (int k = 0; k < m; ++k) {
      structure_first_derivative(ni, theta, k, lvlidx, cov_type, sigma_k);
      inverse_first_derivative(ni, theta, k, a, sigma_k, lvlidx, cov_type, p_block(k));
      c.gradient[k] = trace_product(ni, a, sigma_k);
      if (!second) continue;
      for (int l = 0; l <= k; ++l) {
        structure_second_derivative(ni, theta, k, l, lvlidx, cov_type, sigma_kl);
        if (flags.ckl)
          inverse_second_derivative(ni, theta, k, l, sigma, a, sigma_kl, p_block(k), p_block(l), lvlidx, cov_type,
                                    q_block(k, l));
        c.hessian[tri(k, l)] = trace_product(ni, a, sigma_kl) - trace_product(ni, sigma_k, p_block(l));
      }
    }
    c.valid = true;
    c.cov_type = cov_type;
    c.second = second;
    c.ckl = flags.ckl;
    c.logdet = flags.logdet;
    c.theta.assign(theta.begin(), theta.end());
    c.levels.assign(lvlidx.begin(), lvlidx.end());
  }
  if (flags.logdet) sums.logdet += c.logdet_value;
  if (flags.gradient)
    for (int k = 0; k < m; ++k) sums.gradient[k] += c.gradient[k];
  if (flags.hessian && second)
    for (std::size_t kl = 0; kl < c.hessian.size(); ++kl) sums.hessian[kl] += c.hessian[kl];

  if (!flags.c0 && !flags.ck && !flags.ckl) return;
  accumulate_cross_products(rows, records, work, m, sz, flags, sums);
}

int check_repeated_levels(const SubjectRows& rows, SubjectWork& work) {
  try {
    int largest = 0;
    return group_run(rows, work, largest);
  } catch (const std::bad_alloc&) {
    return kStatusMemory;
  }
}

void design_cross_products(const SubjectRows& rows, std::span<double> out) {
  std::fill_n(out.begin(), tri_size(static_cast<std::size_t>(rows.p + rows.q + 1)), 0.0);
  for (int i = 0; i < rows.n; ++i)
    for_each_product(rows, i, i,
                     [&](double s, int r, std::span<const int> cols, std::span<const double> vals, int col_base) {
                       for (std::size_t e = 0; e < cols.size(); ++e) {
                         const int c = col_base + cols[e];
                         if (c <= r) out[tri(r, c)] += s * vals[e];
                       }
                     });
}

}  // namespace mixed::covstruct
