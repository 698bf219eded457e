// What the family files of the covariance structures share: the descriptors
// they define, which structure() in structure.cpp gathers, and the writers of
// the places of a packed matrix from which the structures build Σ and its
// derivatives.  Used inside this folder only.
#pragma once

#include <algorithm>
#include <span>

#include "covstruct/structure.h"
#include "host/packed.h"

namespace mixed::covstruct {

extern const CovarianceStructure arma11_structure, ad1_structure, ar1_structure, arh1_structure;
extern const CovarianceStructure cs_structure, csh_structure, csr_structure, hf_structure;
extern const CovarianceStructure tp_structure, tph_structure;
extern const CovarianceStructure fa1_structure, fah1_structure;
extern const CovarianceStructure un_structure, unr_structure;
extern const CovarianceStructure diag_structure, id_structure, vc_structure;

// Every place of a matrix of order n set to v.
inline void set_all(int n, double v, std::span<double> out) { std::fill_n(out.begin(), host::tri_size(n), v); }

// f(i, j) at every off-diagonal place (i > j).
template <class F>
void put_off(int n, std::span<double> out, F f) {
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < i; ++j) out[host::tri(i, j)] = f(i, j);
}

// The diagonal set to v.
inline void put_diag(int n, double v, std::span<double> out) {
  for (int i = 0; i < n; ++i) out[host::tri(i, i)] = v;
}

// Row and column of level m: diag at (m, m) and f(j) at (m, j) for the other
// rows j.  Nothing when no row carries level m.
template <class F>
void put_row(int n, const LevelMap& lv, int m, double diag, std::span<double> out, F f) {
  const int r = lv.row(m);
  if (r < 0) return;
  for (int j = 0; j < n; ++j) out[host::sym(r, j)] = j == r ? diag : f(j);
}

// v at the place of the rows that carry levels m and p, when both do.
inline void put_levels(const LevelMap& lv, int m, int p, double v, std::span<double> out) {
  const int i = lv.row(m), j = lv.row(p);
  if (i >= 0 && j >= 0) out[host::sym(i, j)] = v;
}

// The admissibility of a block that is positive definite when `definite`,
// else semidefinite when `semidefinite`, else neither.
inline Admissibility grade(bool definite, bool semidefinite) {
  return definite       ? Admissibility::PositiveDefinite
         : semidefinite ? Admissibility::Semidefinite
                        : Admissibility::Inadmissible;
}

}  // namespace mixed::covstruct
