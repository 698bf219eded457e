#include "covstruct/subject_terms.h"

#include <algorithm>
#include <new>

#include "covstruct/derivatives.h"
#include "covstruct/inverse.h"
#include "covstruct/matrices.h"
#include "covstruct/products.h"
#include "host/packed.h"

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

// Sizes the marks of the grouping for the run.
void reserve_marks(const SubjectRows& rows, SubjectWork& work) {
  int levels = 0;
  for (int r = 0; r < rows.n; ++r) levels = std::max(levels, rows.level[r] + 1);
  work.done.assign(static_cast<std::size_t>(rows.n), 0);
  if (work.taken.size() < static_cast<std::size_t>(levels)) work.taken.assign(levels, 0);
  work.records.reserve(static_cast<std::size_t>(rows.n));
  work.levels.reserve(static_cast<std::size_t>(rows.n));
}

// Collects the repeated subject whose first record is `first`: that record and
// every later one with the same key that is not yet done, in record order,
// with their levels; each is marked done.  False when a level repeats.
bool collect(const SubjectRows& rows, int first, SubjectWork& work) {
  work.records.clear();
  work.levels.clear();
  const long key = rows.rsubject[first];
  bool distinct = true;
  for (int r = first; r < rows.n && distinct; ++r) {
    if (work.done[r] || rows.rsubject[r] != key) continue;
    const int level = rows.level[r];
    if (work.taken[level]) {
      distinct = false;
      continue;
    }
    work.taken[level] = 1;
    work.done[r] = 1;
    work.records.push_back(r);
    work.levels.push_back(level);
  }
  for (int level : work.levels) work.taken[level] = 0;
  return distinct;
}

// Walks the repeated subjects of the run; the size of the largest, or the
// duplicate-level status.
int group_run(const SubjectRows& rows, SubjectWork& work, int& largest) {
  reserve_marks(rows, work);
  largest = 0;
  for (int r = 0; r < rows.n; ++r) {
    if (work.done[r]) continue;
    if (!collect(rows, r, work)) return kStatusDuplicateLevel;
    largest = std::max(largest, static_cast<int>(work.records.size()));
  }
  return 0;
}

void clear_flagged(bool on, std::span<double> sums) {
  if (on) std::fill(sums.begin(), sums.end(), 0.0);
}

}  // namespace

void SubjectWork::reserve(int ni, int m, bool second) {
  const std::size_t sz = tri_size(static_cast<std::size_t>(ni));
  const std::size_t um = static_cast<std::size_t>(m);
  auto grow = [](std::vector<double>& v, std::size_t size) {
    if (v.size() < size) v.resize(size);
  };
  grow(sigma, sz);
  grow(a, sz);
  grow(sigma_k, sz);
  grow(sigma_kl, sz);
  grow(p, um * sz);
  if (second) grow(q, tri_size(um) * sz);
}

int mxcrsb(const SubjectRows& rows, std::span<const double> theta, int cvtype, SubjectWork& work,
           const TermFlags& flags, TermSums& sums) {
  int status = 0;
  try {
    int largest = 0;
    status = group_run(rows, work, largest);
    if (status == 0) work.reserve(largest, static_cast<int>(theta.size()), flags.ckl);
  } catch (const std::bad_alloc&) {
    return kStatusMemory;
  }
  clear_flagged(flags.c0, sums.c0);
  clear_flagged(flags.ck, sums.ck);
  clear_flagged(flags.ckl, sums.ckl);
  if (status != 0) return status;

  std::fill(work.done.begin(), work.done.end(), 0);
  for (int r = 0; r < rows.n; ++r) {
    if (work.done[r]) continue;
    collect(rows, r, work);
    mxcrtm(rows, work.records, work.levels, theta, cvtype, work, flags, sums);
  }
  return 0;
}

void mxcrtm(const SubjectRows& rows, std::span<const int> records, std::span<const int> lvlidx,
            std::span<const double> theta, int cvtype, SubjectWork& work, const TermFlags& flags,
            TermSums& sums) {
  const int ni = static_cast<int>(records.size());
  const int m = static_cast<int>(theta.size());
  const bool second = flags.hessian || flags.ckl;
  work.reserve(ni, m, flags.ckl);
  const std::size_t sz = tri_size(static_cast<std::size_t>(ni));
  const std::span<double> sigma(work.sigma.data(), sz), a(work.a.data(), sz);
  const std::span<double> sigma_k(work.sigma_k.data(), sz), sigma_kl(work.sigma_kl.data(), sz);
  auto p_block = [&](int k) { return std::span<double>(work.p.data() + k * sz, sz); };
  auto q_block = [&](int k, int l) { return std::span<double>(work.q.data() + tri(k, l) * sz, sz); };

  mxcmat(ni, theta, lvlidx, cvtype, sigma);
  const double logdet = mxcinv(ni, theta, sigma, lvlidx, cvtype, a, flags.logdet);
  if (flags.logdet) sums.logdet += logdet;

  for (int k = 0; k < m; ++k) {
    mxcdr1(ni, theta, k, lvlidx, cvtype, sigma_k);
    mxcdi1(ni, theta, k, a, sigma_k, lvlidx, cvtype, p_block(k));
    if (flags.gradient) sums.gradient[k] += trace_product(ni, a, sigma_k);
    if (!second) continue;
    for (int l = 0; l <= k; ++l) {
      mxcdr2(ni, theta, k, l, lvlidx, cvtype, sigma_kl);
      if (flags.ckl)
        mxcdi2(ni, theta, k, l, sigma, a, sigma_kl, p_block(k), p_block(l), lvlidx, cvtype,
               q_block(k, l));
      if (flags.hessian)
        sums.hessian[tri(k, l)] +=
            trace_product(ni, a, sigma_kl) - trace_product(ni, sigma_k, p_block(l));
    }
  }

  if (!flags.c0 && !flags.ck && !flags.ckl) return;
  const SubjectMatrices mats{a, std::span<const double>(work.p.data(), m * sz),
                             flags.ckl ? std::span<const double>(work.q.data(), tri_size(m) * sz)
                                       : std::span<const double>(),
                             sz, m};
  const std::size_t order = static_cast<std::size_t>(rows.p + rows.q + 1);
  for (int i = 0; i < ni; ++i)
    for (int j = 0; j < ni; ++j) {
      const std::size_t place = host::sym(i, j);
      for_each_product(rows, records[i], records[j],
                       [&](double s, int r, std::span<const int> cols, std::span<const double> vals,
                           int col_base) {
                         mxcacc(s, r, cols, vals, col_base, place, mats, flags, order, sums);
                       });
    }
}

void mxcacc(double s, int r, std::span<const int> cols, std::span<const double> vals, int col_base,
            std::size_t place, const SubjectMatrices& mats, const TermFlags& flags,
            std::size_t order, TermSums& sums) {
  const std::size_t stride = tri_size(order);
  const std::size_t npairs = tri_size(static_cast<std::size_t>(mats.m));
  for (std::size_t e = 0; e < cols.size(); ++e) {
    const int c = col_base + cols[e];
    if (c > r) continue;
    const double v = s * vals[e];
    const std::size_t at = tri(r, c);
    if (flags.c0) sums.c0[at] += mats.a[place] * v;
    if (flags.ck)
      for (int k = 0; k < mats.m; ++k) sums.ck[k * stride + at] += mats.p[k * mats.stride + place] * v;
    if (flags.ckl)
      for (std::size_t kl = 0; kl < npairs; ++kl)
        sums.ckl[kl * stride + at] += mats.q[kl * mats.stride + place] * v;
  }
}

void mxcacd(double s, std::size_t row_offset, std::span<const int> cols,
            std::span<const double> vals, int col_base, const DiagonalTargets& targets) {
  for (std::size_t e = 0; e < cols.size(); ++e) {
    const std::size_t at = row_offset + static_cast<std::size_t>(col_base + cols[e]);
    for (int t = 0; t < 3; ++t)
      if (targets.on[t]) targets.sums[t][at] += targets.weight[t] * s * vals[e];
  }
}

int mxcchk(const SubjectRows& rows, SubjectWork& work) {
  try {
    int largest = 0;
    return group_run(rows, work, largest);
  } catch (const std::bad_alloc&) {
    return kStatusMemory;
  }
}

void mxcwtw(const SubjectRows& rows, std::span<double> out) {
  std::fill_n(out.begin(), tri_size(static_cast<std::size_t>(rows.p + rows.q + 1)), 0.0);
  for (int i = 0; i < rows.n; ++i)
    for_each_product(rows, i, i,
                     [&](double s, int r, std::span<const int> cols, std::span<const double> vals,
                         int col_base) {
                       for (std::size_t e = 0; e < cols.size(); ++e) {
                         const int c = col_base + cols[e];
                         if (c <= r) out[tri(r, c)] += s * vals[e];
                       }
                     });
}

}  // namespace mixed::covstruct
