#include "covstruct/matrices.h"

#include <algorithm>

#include "covstruct/level_map.h"
#include "covstruct/types.h"
#include "host/packed.h"

namespace mixed::covstruct {

using host::tri;

namespace {

void fill(int n, double v, std::span<double> out) {
  std::fill_n(out.begin(), host::tri_size(n), v);
}

// ARMA(1,1): σ² on the diagonal, σ²·φ·ρ^(d-1) off it.  With the identity map
// each row is filled leftwards from σ²·φ, one factor ρ per step.
void arma11(int n, const double* t, const LevelMap& lv, std::span<double> out) {
  const double c = t[0] * t[2];
  for (int i = 0; i < n; ++i) {
    out[tri(i, i)] = t[0];
    if (lv.identity()) {
      double e = c;
      for (int j = i - 1; j >= 0; --j) {
        out[tri(i, j)] = e;
        e *= t[1];
      }
    } else {
      for (int j = 0; j < i; ++j) out[tri(i, j)] = ipow(t[1], lv.lag(i, j) - 1) * c;
    }
  }
}

// Ante-dependence: s_a·s_b·ρ_a·...·ρ_(b-1) for levels a < b, s_l = θ[2l],
// ρ_q = θ[2q+1].  The identity map carries s_i·ρ_(i-1)·...·ρ_j leftwards.
void ad1(int n, const double* t, const LevelMap& lv, std::span<double> out) {
  for (int i = 0; i < n; ++i) {
    const int li = lv.level(i);
    const double si = t[2 * li];
    out[tri(i, i)] = si * si;
    if (lv.identity()) {
      double r = si;
      for (int j = i - 1; j >= 0; --j) {
        r *= t[2 * j + 1];
        out[tri(i, j)] = r * t[2 * j];
      }
    } else {
      for (int j = 0; j < i; ++j) {
        const int lj = lv.level(j);
        double v = si * t[2 * lj];
        for (int q = std::min(li, lj); q < std::max(li, lj); ++q) v *= t[2 * q + 1];
        out[tri(i, j)] = v;
      }
    }
  }
}

// AR(1): σ²·ρ^d, all places set to σ² first.  With the identity map the
// powers come from a running product leftwards along each row, the same
// products as ipow in the same order.
void ar1(int n, const double* t, const LevelMap& lv, std::span<double> out) {
  fill(n, t[0], out);
  for (int i = 0; i < n; ++i) {
    if (lv.identity()) {
      double power = 1.0;
      for (int j = i - 1; j >= 0; --j) {
        power *= t[1];
        out[tri(i, j)] *= power;
      }
    } else {
      for (int j = 0; j < i; ++j) out[tri(i, j)] *= ipow(t[1], lv.lag(i, j));
    }
  }
}

// Heterogeneous AR(1): s_i·s_j·ρ^d, s_l = θ[l+1]; the identity map carries
// s_i·ρ^(i-j) leftwards.
void arh1(int n, const double* t, const LevelMap& lv, std::span<double> out) {
  for (int i = 0; i < n; ++i) {
    const double si = t[lv.level(i) + 1];
    out[tri(i, i)] = si * si;
    if (lv.identity()) {
      double r = si;
      for (int j = i - 1; j >= 0; --j) {
        r *= t[0];
        out[tri(i, j)] = r * t[j + 1];
      }
    } else {
      for (int j = 0; j < i; ++j)
        out[tri(i, j)] = si * t[lv.level(j) + 1] * ipow(t[0], lv.lag(i, j));
    }
  }
}

// Compound symmetry: θ1 + θ2 on the diagonal, θ2 off it.
void cs(int n, const double* t, std::span<double> out) {
  fill(n, t[1], out);
  for (int i = 0; i < n; ++i) out[tri(i, i)] += t[0];
}

// Heterogeneous compound symmetry: s_i·s_j·ρ, s_l = θ[l+1].
void csh(int n, const double* t, const LevelMap& lv, std::span<double> out) {
  for (int i = 0; i < n; ++i) {
    const double si = t[lv.level(i) + 1];
    for (int j = 0; j < i; ++j) out[tri(i, j)] = si * t[lv.level(j) + 1] * t[0];
    out[tri(i, i)] = si * si;
  }
}

// Correlation compound symmetry: σ² on the diagonal, σ²·ρ off it.
void csr(int n, const double* t, std::span<double> out) {
  const double c = t[0] * t[1];
  fill(n, c, out);
  for (int i = 0; i < n; ++i) out[tri(i, i)] = t[0];
}

// Diagonal structures: θ[l_i] (DIAG) or θ1 (ID, VC) on the diagonal.
void diagonal(int n, const double* t, const LevelMap& lv, bool per_level, std::span<double> out) {
  fill(n, 0.0, out);
  for (int i = 0; i < n; ++i) out[tri(i, i)] = per_level ? t[lv.level(i)] : t[0];
}

// Factor analytic: λ_i·λ_j + δ_i on the diagonal, λ_i·λ_j off it.  FA1 has one
// offset θ1 and λ_l = θ[l+1]; FAH1 has λ_l = θ[2l], δ_l = θ[2l+1].
void fa1(int n, const double* t, const LevelMap& lv, bool heterogeneous, std::span<double> out) {
  auto loading = [&](int l) { return heterogeneous ? t[2 * l] : t[l + 1]; };
  auto offset = [&](int l) { return heterogeneous ? t[2 * l + 1] : t[0]; };
  for (int i = 0; i < n; ++i) {
    const int li = lv.level(i);
    const double lam = loading(li);
    for (int j = 0; j < i; ++j) out[tri(i, j)] = lam * loading(lv.level(j));
    out[tri(i, i)] = lam * lam + offset(li);
  }
}

// Huynh-Feldt: v_i on the diagonal, (v_i + v_j)/2 - λ off it, v_l = θ[l+1].
void hf(int n, const double* t, const LevelMap& lv, std::span<double> out) {
  for (int i = 0; i < n; ++i) {
    const double vi = t[lv.level(i) + 1];
    for (int j = 0; j < i; ++j) out[tri(i, j)] = (vi + t[lv.level(j) + 1]) / 2.0 - t[0];
    out[tri(i, i)] = vi;
  }
}

// Toeplitz: σ²·ρ_d off the diagonal, ρ_d = θ[d]; all places set to σ² first.
void tp(int n, const double* t, const LevelMap& lv, std::span<double> out) {
  fill(n, t[0], out);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < i; ++j) out[tri(i, j)] *= t[lv.lag(i, j)];
}

// Heterogeneous Toeplitz: s_i·s_j·ρ_d, s_l = θ[2l], ρ_d = θ[2d-1].
void tph(int n, const double* t, const LevelMap& lv, std::span<double> out) {
  for (int i = 0; i < n; ++i) {
    const double si = t[2 * lv.level(i)];
    for (int j = 0; j < i; ++j) out[tri(i, j)] = si * t[2 * lv.level(j)] * t[2 * lv.lag(i, j) - 1];
    out[tri(i, i)] = si * si;
  }
}

// Unstructured: U(b, a), the parameter at packed place (b, a) of the levels.
void un(int n, const double* t, const LevelMap& lv, std::span<double> out) {
  if (lv.identity()) {
    std::copy_n(t, host::tri_size(n), out.begin());
    return;
  }
  for (int i = 0; i < n; ++i)
    for (int j = 0; j <= i; ++j) out[tri(i, j)] = t[host::sym(lv.level(i), lv.level(j))];
}

// Unstructured correlations: s_i·s_j·U(b, a) off the diagonal, s_l = U(l, l).
void unr(int n, const double* t, const LevelMap& lv, std::span<double> out) {
  for (int i = 0; i < n; ++i) {
    const int li = lv.level(i);
    const double si = t[tri(li, li)];
    for (int j = 0; j < i; ++j) {
      const int lj = lv.level(j);
      out[tri(i, j)] = si * t[tri(lj, lj)] * t[host::sym(li, lj)];
    }
    out[tri(i, i)] = si * si;
  }
}

}  // namespace

void structure_matrix(int n, std::span<const double> theta, std::span<const int> lvlidx, int cov_type,
            std::span<double> out) {
  const double* t = theta.data();
  const LevelMap lv(n, lvlidx);
  switch (cov_type) {
    case covstruct::ARMA11: arma11(n, t, lv, out); break;
    case covstruct::AD1: ad1(n, t, lv, out); break;
    case covstruct::AR1: ar1(n, t, lv, out); break;
    case covstruct::ARH1: arh1(n, t, lv, out); break;
    case covstruct::CS: cs(n, t, out); break;
    case covstruct::CSH: csh(n, t, lv, out); break;
    case covstruct::CSR: csr(n, t, out); break;
    case covstruct::DIAG: case covstruct::VC_REPEATED: diagonal(n, t, lv, true, out); break;
    case covstruct::FA1: fa1(n, t, lv, false, out); break;
    case covstruct::FAH1: fa1(n, t, lv, true, out); break;
    case covstruct::HF: hf(n, t, lv, out); break;
    case covstruct::ID: case covstruct::VC: diagonal(n, t, lv, false, out); break;
    case covstruct::TP: tp(n, t, lv, out); break;
    case covstruct::TPH: tph(n, t, lv, out); break;
    case covstruct::UN: un(n, t, lv, out); break;
    case covstruct::UNR: unr(n, t, lv, out); break;
    default: break;
  }
}

}  // namespace mixed::covstruct
