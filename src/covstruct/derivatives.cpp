#include "covstruct/derivatives.h"

#include <algorithm>
#include <utility>

#include "covstruct/level_map.h"
#include "covstruct/types.h"
#include "host/packed.h"
#include "host/packed_ops.h"

namespace mixed::covstruct {

using host::sym;
using host::tri;

namespace {

void clear(int n, std::span<double> out) { std::fill_n(out.begin(), host::tri_size(n), 0.0); }

// f(i, j) at every off-diagonal place (i > j).
template <class F>
void put_off(int n, std::span<double> out, F f) {
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < i; ++j) out[tri(i, j)] = f(i, j);
}

// The diagonal set to v.
void put_diag(int n, double v, std::span<double> out) {
  for (int i = 0; i < n; ++i) out[tri(i, i)] = v;
}

// Row and column of level m: diag at (m, m) and f(j) at (m, j) for the other
// rows j.  Nothing when no row carries level m.
template <class F>
void put_row(int n, const LevelMap& lv, int m, double diag, std::span<double> out, F f) {
  const int r = lv.row(m);
  if (r < 0) return;
  for (int j = 0; j < n; ++j) out[sym(r, j)] = j == r ? diag : f(j);
}

// v at the place of the rows that carry levels m and p, when both do.
void put_levels(const LevelMap& lv, int m, int p, double v, std::span<double> out) {
  const int i = lv.row(m), j = lv.row(p);
  if (i >= 0 && j >= 0) out[sym(i, j)] = v;
}

// The ante-dependence correlation of levels a < b without the factors ρ_q1
// and ρ_q2: the product of ρ_q = θ[2q+1] for q = a..b-1, q ≠ q1, q2.
double ad1_corr(const double* t, int a, int b, int q1 = -1, int q2 = -1) {
  if (a > b) std::swap(a, b);
  double v = 1.0;
  for (int q = a; q < b; ++q)
    if (q != q1 && q != q2) v *= t[2 * q + 1];
  return v;
}

// Levels a, b span ρ_q (a ≤ q < b in either order).
bool spans(int a, int b, int q) { return std::min(a, b) <= q && q < std::max(a, b); }

void dr1_arma11(int n, const double* t, int k, const LevelMap& lv, std::span<double> out) {
  if (k == 0) {
    put_diag(n, 1.0, out);
    put_off(n, out, [&](int i, int j) { return t[2] * ipow(t[1], lv.lag(i, j) - 1); });
  } else if (k == 1) {
    put_off(n, out, [&](int i, int j) {
      const int d = lv.lag(i, j);
      return d >= 2 ? (d - 1) * t[0] * t[2] * ipow(t[1], d - 2) : 0.0;
    });
  } else {
    put_off(n, out, [&](int i, int j) { return t[0] * ipow(t[1], lv.lag(i, j) - 1); });
  }
}

// AD1 and TPH share their standard deviations s_l = θ[2l]; their correlation
// factors differ.
void dr1_ad1_tph(int n, const double* t, int k, const LevelMap& lv, bool toeplitz,
                 std::span<double> out) {
  auto corr = [&](int a, int b) { return toeplitz ? t[2 * std::abs(a - b) - 1] : ad1_corr(t, a, b); };
  if (k % 2 == 0) {
    const int m = k / 2;
    put_row(n, lv, m, 2.0 * t[k], out, [&](int j) {
      const int lj = lv.level(j);
      return t[2 * lj] * corr(m, lj);
    });
  } else if (toeplitz) {
    const int lag = (k + 1) / 2;
    put_off(n, out, [&](int i, int j) {
      return lv.lag(i, j) == lag ? t[2 * lv.level(i)] * t[2 * lv.level(j)] : 0.0;
    });
  } else {
    const int q = (k - 1) / 2;
    put_off(n, out, [&](int i, int j) {
      const int li = lv.level(i), lj = lv.level(j);
      return spans(li, lj, q) ? t[2 * li] * t[2 * lj] * ad1_corr(t, li, lj, q) : 0.0;
    });
  }
}

void dr1_ar1(int n, const double* t, int k, const LevelMap& lv, std::span<double> out) {
  if (k == 0) {
    put_diag(n, 1.0, out);
    put_off(n, out, [&](int i, int j) { return ipow(t[1], lv.lag(i, j)); });
  } else {
    put_off(n, out, [&](int i, int j) {
      const int d = lv.lag(i, j);
      return d * t[0] * ipow(t[1], d - 1);
    });
  }
}

void dr1_arh1(int n, const double* t, int k, const LevelMap& lv, std::span<double> out) {
  auto s = [&](int row) { return t[lv.level(row) + 1]; };
  if (k == 0) {
    put_off(n, out, [&](int i, int j) {
      const int d = lv.lag(i, j);
      return d * s(i) * s(j) * ipow(t[0], d - 1);
    });
  } else {
    const int m = k - 1;
    put_row(n, lv, m, 2.0 * t[k], out, [&](int j) {
      return s(j) * ipow(t[0], std::abs(lv.level(j) - m));
    });
  }
}

void dr1_csh(int n, const double* t, int k, const LevelMap& lv, std::span<double> out) {
  auto s = [&](int row) { return t[lv.level(row) + 1]; };
  if (k == 0)
    put_off(n, out, [&](int i, int j) { return s(i) * s(j); });
  else
    put_row(n, lv, k - 1, 2.0 * t[k], out, [&](int j) { return t[0] * s(j); });
}

// Loadings λ_l (FA1: θ[l+1]; FAH1: θ[2l]) enter as λ_i·λ_j; the offsets
// (FA1: θ1 on every diagonal place; FAH1: θ[2l+1] at level l) additively.
void dr1_fa1(int n, const double* t, int k, const LevelMap& lv, bool heterogeneous,
             std::span<double> out) {
  auto loading = [&](int row) { return heterogeneous ? t[2 * lv.level(row)] : t[lv.level(row) + 1]; };
  if (!heterogeneous && k == 0) {
    put_diag(n, 1.0, out);
  } else if (heterogeneous && k % 2 == 1) {
    put_row(n, lv, k / 2, 1.0, out, [](int) { return 0.0; });
  } else {
    const int m = heterogeneous ? k / 2 : k - 1;
    put_row(n, lv, m, 2.0 * t[k], out, loading);
  }
}

void dr1_hf(int n, int k, const LevelMap& lv, std::span<double> out) {
  if (k == 0)
    put_off(n, out, [](int, int) { return -1.0; });
  else
    put_row(n, lv, k - 1, 1.0, out, [](int) { return 0.5; });
}

void dr1_tp(int n, const double* t, int k, const LevelMap& lv, std::span<double> out) {
  if (k == 0) {
    put_diag(n, 1.0, out);
    put_off(n, out, [&](int i, int j) { return t[lv.lag(i, j)]; });
  } else {
    put_off(n, out, [&](int i, int j) { return lv.lag(i, j) == k ? t[0] : 0.0; });
  }
}

void dr1_un(int k, const LevelMap& lv, std::span<double> out) {
  const auto [r, c] = host::packed_place_of(static_cast<std::size_t>(k));
  put_levels(lv, static_cast<int>(r), static_cast<int>(c), 1.0, out);
}

// UNR: s_l = U(l, l) on the diagonal places, correlations U(r, c) off them.
void dr1_unr(int n, const double* t, int k, const LevelMap& lv, std::span<double> out) {
  const auto [r, c] = host::packed_place_of(static_cast<std::size_t>(k));
  const int lr = static_cast<int>(r), lc = static_cast<int>(c);
  auto s = [&](int l) { return t[tri(l, l)]; };
  if (lr == lc) {
    put_row(n, lv, lr, 2.0 * t[k], out, [&](int j) {
      const int lj = lv.level(j);
      return s(lj) * t[sym(lr, lj)];
    });
  } else {
    put_levels(lv, lr, lc, s(lr) * s(lc), out);
  }
}

// ---- Second derivatives ----

void dr2_arma11(int n, const double* t, int k, int l, const LevelMap& lv, std::span<double> out) {
  if (k > l) std::swap(k, l);
  put_off(n, out, [&](int i, int j) {
    const int d = lv.lag(i, j);
    if (k == 0 && l == 1) return d >= 2 ? (d - 1) * t[2] * ipow(t[1], d - 2) : 0.0;
    if (k == 0 && l == 2) return ipow(t[1], d - 1);
    if (k == 1 && l == 1) return d >= 3 ? (d - 1) * (d - 2) * t[0] * t[2] * ipow(t[1], d - 3) : 0.0;
    if (k == 1 && l == 2) return d >= 2 ? (d - 1) * t[0] * ipow(t[1], d - 2) : 0.0;
    return 0.0;
  });
}

// AD1: s_m = θ[2m], ρ_q = θ[2q+1].
void dr2_ad1(int n, const double* t, int k, int l, const LevelMap& lv, std::span<double> out) {
  if (k % 2 == 1 && l % 2 == 0) std::swap(k, l);
  if (k % 2 == 0 && l % 2 == 0) {
    const int m = k / 2, p = l / 2;
    put_levels(lv, m, p, m == p ? 2.0 : ad1_corr(t, m, p), out);
  } else if (k % 2 == 0) {
    const int m = k / 2, q = (l - 1) / 2;
    put_row(n, lv, m, 0.0, out, [&](int j) {
      const int lj = lv.level(j);
      return spans(m, lj, q) ? t[2 * lj] * ad1_corr(t, m, lj, q) : 0.0;
    });
  } else if (k != l) {
    const int q = (k - 1) / 2, r = (l - 1) / 2;
    put_off(n, out, [&](int i, int j) {
      const int li = lv.level(i), lj = lv.level(j);
      return spans(li, lj, q) && spans(li, lj, r) ? t[2 * li] * t[2 * lj] * ad1_corr(t, li, lj, q, r)
                                                  : 0.0;
    });
  }
}

void dr2_ar1(int n, const double* t, int k, int l, const LevelMap& lv, std::span<double> out) {
  if (k + l == 1) {
    put_off(n, out, [&](int i, int j) {
      const int d = lv.lag(i, j);
      return d * ipow(t[1], d - 1);
    });
  } else if (k == 1 && l == 1) {
    put_off(n, out, [&](int i, int j) {
      const int d = lv.lag(i, j);
      return d >= 2 ? d * (d - 1) * t[0] * ipow(t[1], d - 2) : 0.0;
    });
  }
}

// ARH1 and CSH: ρ = θ1, s_l = θ[l+1].
void dr2_arh1_csh(int n, const double* t, int k, int l, const LevelMap& lv, bool autoregressive,
                  std::span<double> out) {
  if (k > l) std::swap(k, l);
  auto s = [&](int row) { return t[lv.level(row) + 1]; };
  if (k == 0 && l == 0) {
    if (!autoregressive) return;
    put_off(n, out, [&](int i, int j) {
      const int d = lv.lag(i, j);
      return d >= 2 ? d * (d - 1) * s(i) * s(j) * ipow(t[0], d - 2) : 0.0;
    });
  } else if (k == 0) {
    const int m = l - 1;
    put_row(n, lv, m, 0.0, out, [&](int j) {
      if (!autoregressive) return s(j);
      const int d = std::abs(lv.level(j) - m);
      return d * s(j) * ipow(t[0], d - 1);
    });
  } else {
    const int m = k - 1, p = l - 1;
    const double v = m == p ? 2.0 : autoregressive ? ipow(t[0], std::abs(m - p)) : t[0];
    put_levels(lv, m, p, v, out);
  }
}

// FA1 (λ_m = θ[m+1]) and FAH1 (λ_m = θ[2m]): only pairs of loadings.
void dr2_fa1(const int k, const int l, const LevelMap& lv, bool heterogeneous, std::span<double> out) {
  if (heterogeneous ? (k % 2 == 1 || l % 2 == 1) : (k == 0 || l == 0)) return;
  const int m = heterogeneous ? k / 2 : k - 1, p = heterogeneous ? l / 2 : l - 1;
  put_levels(lv, m, p, m == p ? 2.0 : 1.0, out);
}

void dr2_tp(int n, int k, int l, const LevelMap& lv, std::span<double> out) {
  if (k > l) std::swap(k, l);
  if (k != 0 || l == 0) return;
  put_off(n, out, [&](int i, int j) { return lv.lag(i, j) == l ? 1.0 : 0.0; });
}

// TPH: s_m = θ[2m], the correlation of lag t at θ[2t-1].
void dr2_tph(int n, const double* t, int k, int l, const LevelMap& lv, std::span<double> out) {
  if (k % 2 == 1) std::swap(k, l);
  if (k % 2 == 1) return;
  const int m = k / 2;
  if (l % 2 == 0) {
    const int p = l / 2;
    put_levels(lv, m, p, m == p ? 2.0 : t[2 * std::abs(m - p) - 1], out);
  } else {
    const int lag = (l + 1) / 2;
    put_row(n, lv, m, 0.0, out, [&](int j) {
      const int lj = lv.level(j);
      return std::abs(lj - m) == lag ? t[2 * lj] : 0.0;
    });
  }
}

// UNR: a pair of standard deviations, or a standard deviation with a
// correlation of its own level.
void dr2_unr(const double* t, int k, int l, const LevelMap& lv, std::span<double> out) {
  auto [kr, kc] = host::packed_place_of(static_cast<std::size_t>(k));
  auto [lr, lc] = host::packed_place_of(static_cast<std::size_t>(l));
  if (kr != kc) {
    std::swap(kr, lr);
    std::swap(kc, lc);
  }
  if (kr != kc) return;
  const int m = static_cast<int>(kr);
  const int r = static_cast<int>(lr), c = static_cast<int>(lc);
  if (r == c) {
    put_levels(lv, m, r, m == r ? 2.0 : t[sym(m, r)], out);
  } else if (m == r || m == c) {
    const int other = m == r ? c : r;
    put_levels(lv, r, c, t[tri(other, other)], out);
  }
}

}  // namespace

void structure_first_derivative(int n, std::span<const double> theta, int k, std::span<const int> lvlidx,
            int cov_type, std::span<double> out) {
  if (cov_type < covstruct::ARMA11 || cov_type > covstruct::VC_REPEATED || cov_type == covstruct::VC_PARSE)
    return;
  const double* t = theta.data();
  const LevelMap lv(n, lvlidx);
  clear(n, out);
  switch (cov_type) {
    case covstruct::ARMA11: dr1_arma11(n, t, k, lv, out); break;
    case covstruct::AD1: dr1_ad1_tph(n, t, k, lv, false, out); break;
    case covstruct::AR1: dr1_ar1(n, t, k, lv, out); break;
    case covstruct::ARH1: dr1_arh1(n, t, k, lv, out); break;
    case covstruct::CS:
      if (k == 0)
        put_diag(n, 1.0, out);
      else
        std::fill_n(out.begin(), host::tri_size(n), 1.0);
      break;
    case covstruct::CSH: dr1_csh(n, t, k, lv, out); break;
    case covstruct::CSR:
      if (k == 0) put_diag(n, 1.0, out);
      put_off(n, out, [&](int, int) { return k == 0 ? t[1] : t[0]; });
      break;
    case covstruct::DIAG: case covstruct::VC_REPEATED:
      put_levels(lv, k, k, 1.0, out);
      break;
    case covstruct::FA1: dr1_fa1(n, t, k, lv, false, out); break;
    case covstruct::FAH1: dr1_fa1(n, t, k, lv, true, out); break;
    case covstruct::HF: dr1_hf(n, k, lv, out); break;
    case covstruct::ID: case covstruct::VC: put_diag(n, 1.0, out); break;
    case covstruct::TP: dr1_tp(n, t, k, lv, out); break;
    case covstruct::TPH: dr1_ad1_tph(n, t, k, lv, true, out); break;
    case covstruct::UN: dr1_un(k, lv, out); break;
    case covstruct::UNR: dr1_unr(n, t, k, lv, out); break;
    default: break;
  }
}

void structure_second_derivative(int n, std::span<const double> theta, int k, int l, std::span<const int> lvlidx,
            int cov_type, std::span<double> out) {
  const double* t = theta.data();
  const LevelMap lv(n, lvlidx);
  clear(n, out);
  switch (cov_type) {
    case covstruct::ARMA11: dr2_arma11(n, t, k, l, lv, out); break;
    case covstruct::AD1: dr2_ad1(n, t, k, l, lv, out); break;
    case covstruct::AR1: dr2_ar1(n, t, k, l, lv, out); break;
    case covstruct::ARH1: dr2_arh1_csh(n, t, k, l, lv, true, out); break;
    case covstruct::CSH: dr2_arh1_csh(n, t, k, l, lv, false, out); break;
    case covstruct::CSR:
      if (k + l == 1) put_off(n, out, [](int, int) { return 1.0; });
      break;
    case covstruct::FA1: dr2_fa1(k, l, lv, false, out); break;
    case covstruct::FAH1: dr2_fa1(k, l, lv, true, out); break;
    case covstruct::TP: dr2_tp(n, k, l, lv, out); break;
    case covstruct::TPH: dr2_tph(n, t, k, l, lv, out); break;
    case covstruct::UNR: dr2_unr(t, k, l, lv, out); break;
    default: break;
  }
}

}  // namespace mixed::covstruct
