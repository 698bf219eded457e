// The autoregressive family: correlations that decay with the lag d = |l_i - l_j|
// between two levels as a product of one factor per step.
//
// Σ is written in an order that fixes the last bits of the result: with the
// identity map each row is filled leftwards by a running product, which gives
// the same products in the same order as ipow.
#include <algorithm>
#include <cmath>
#include <utility>

#include "covstruct/families.h"

namespace mixed::covstruct {

using host::tri;

// ---- ARMA(1,1): σ² on the diagonal, σ²·φ·ρ^(d-1) off it; θ = (σ², ρ, φ) ----

namespace {

void arma11_matrix(int n, std::span<const double> t, const LevelMap& lv, std::span<double> out) {
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

void arma11_first_derivative(int n, std::span<const double> t, int k, const LevelMap& lv, std::span<double> out) {
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

void arma11_second_derivative(int n, std::span<const double> t, int k, int l, const LevelMap& lv,
                              std::span<double> out) {
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

}  // namespace

const CovarianceStructure arma11_structure{
    .name = "ARMA(1,1)",
    .parameter_count = [](int) { return 3; },
    .parameter_kind = [](int, int k) { return k == 0 ? Variance : Correlation; },
    .matrix = arma11_matrix,
    .first_derivative = arma11_first_derivative,
    .second_derivative = arma11_second_derivative,
    .start = [](int, double, std::span<double> t) { t[1] = t[2] = 0.5; },
};

// ---- AD(1), first-order ante-dependence: s_a·s_b·ρ_a·...·ρ_(b-1) for levels
// a ≤ b; θ = (s_0, ρ_0, s_1, ρ_1, ..., s_(L-1)), s_l = θ[2l], ρ_q = θ[2q+1] ----

namespace {

// The correlation of levels a, b without the factors ρ_q1 and ρ_q2: the
// product of ρ_q for q = min(a, b) .. max(a, b) - 1, q ≠ q1, q2.
double ad1_corr(std::span<const double> t, int a, int b, int q1 = -1, int q2 = -1) {
  if (a > b) std::swap(a, b);
  double v = 1.0;
  for (int q = a; q < b; ++q)
    if (q != q1 && q != q2) v *= t[2 * q + 1];
  return v;
}

// Levels a, b span ρ_q (a ≤ q < b in either order).
bool spans(int a, int b, int q) { return std::min(a, b) <= q && q < std::max(a, b); }

// The identity map carries s_i·ρ_(i-1)·...·ρ_j leftwards.
void ad1_matrix(int n, std::span<const double> t, const LevelMap& lv, std::span<double> out) {
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

void ad1_first_derivative(int n, std::span<const double> t, int k, const LevelMap& lv, std::span<double> out) {
  if (k % 2 == 0) {
    const int m = k / 2;
    put_row(n, lv, m, 2.0 * t[k], out, [&](int j) {
      const int lj = lv.level(j);
      return t[2 * lj] * ad1_corr(t, m, lj);
    });
  } else {
    const int q = (k - 1) / 2;
    put_off(n, out, [&](int i, int j) {
      const int li = lv.level(i), lj = lv.level(j);
      return spans(li, lj, q) ? t[2 * li] * t[2 * lj] * ad1_corr(t, li, lj, q) : 0.0;
    });
  }
}

void ad1_second_derivative(int n, std::span<const double> t, int k, int l, const LevelMap& lv, std::span<double> out) {
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
      return spans(li, lj, q) && spans(li, lj, r) ? t[2 * li] * t[2 * lj] * ad1_corr(t, li, lj, q, r) : 0.0;
    });
  }
}

}  // namespace

const CovarianceStructure ad1_structure{
    .name = "First-Order Ante-Dependence",
    .parameter_count = [](int n) { return 2 * n - 1; },
    .parameter_kind = [](int, int k) { return k % 2 == 0 ? StdDev : Correlation; },
    .matrix = ad1_matrix,
    .first_derivative = ad1_first_derivative,
    .second_derivative = ad1_second_derivative,
};

// ---- AR(1): σ²·ρ^d; θ = (σ², ρ) ----

namespace {

// All places set to σ² first, then scaled by ρ^d.
void ar1_matrix(int n, std::span<const double> t, const LevelMap& lv, std::span<double> out) {
  set_all(n, t[0], out);
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

void ar1_first_derivative(int n, std::span<const double> t, int k, const LevelMap& lv, std::span<double> out) {
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

void ar1_second_derivative(int n, std::span<const double> t, int k, int l, const LevelMap& lv, std::span<double> out) {
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

}  // namespace

const CovarianceStructure ar1_structure{
    .name = "First-Order Autoregressive",
    .parameter_count = [](int) { return 2; },
    .parameter_kind = [](int, int k) { return k == 0 ? Variance : Correlation; },
    .matrix = ar1_matrix,
    .first_derivative = ar1_first_derivative,
    .second_derivative = ar1_second_derivative,
    // Positive definite for σ² > 0 and |ρ| < 1; on the boundary at σ² = 0 or |ρ| = 1.
    .admissibility =
        [](int, std::span<const double> t) {
          return grade(t[0] > 0.0 && std::fabs(t[1]) < 1.0, t[0] >= 0.0 && std::fabs(t[1]) <= 1.0);
        },
};

// ---- ARH(1), heterogeneous AR(1): s_i·s_j·ρ^d; θ = (ρ, s_0, ..., s_(L-1)),
// s_l = θ[l+1] ----

namespace {

// The identity map carries s_i·ρ^(i-j) leftwards.
void arh1_matrix(int n, std::span<const double> t, const LevelMap& lv, std::span<double> out) {
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
      for (int j = 0; j < i; ++j) out[tri(i, j)] = si * t[lv.level(j) + 1] * ipow(t[0], lv.lag(i, j));
    }
  }
}

void arh1_first_derivative(int n, std::span<const double> t, int k, const LevelMap& lv, std::span<double> out) {
  auto s = [&](int row) { return t[lv.level(row) + 1]; };
  if (k == 0) {
    put_off(n, out, [&](int i, int j) {
      const int d = lv.lag(i, j);
      return d * s(i) * s(j) * ipow(t[0], d - 1);
    });
  } else {
    const int m = k - 1;
    put_row(n, lv, m, 2.0 * t[k], out, [&](int j) { return s(j) * ipow(t[0], std::abs(lv.level(j) - m)); });
  }
}

void arh1_second_derivative(int n, std::span<const double> t, int k, int l, const LevelMap& lv, std::span<double> out) {
  if (k > l) std::swap(k, l);
  auto s = [&](int row) { return t[lv.level(row) + 1]; };
  if (k == 0 && l == 0) {
    put_off(n, out, [&](int i, int j) {
      const int d = lv.lag(i, j);
      return d >= 2 ? d * (d - 1) * s(i) * s(j) * ipow(t[0], d - 2) : 0.0;
    });
  } else if (k == 0) {
    const int m = l - 1;
    put_row(n, lv, m, 0.0, out, [&](int j) {
      const int d = std::abs(lv.level(j) - m);
      return d * s(j) * ipow(t[0], d - 1);
    });
  } else {
    const int m = k - 1, p = l - 1;
    put_levels(lv, m, p, m == p ? 2.0 : ipow(t[0], std::abs(m - p)), out);
  }
}

}  // namespace

const CovarianceStructure arh1_structure{
    .name = "Heterogeneous First-Order Autoregressive",
    .parameter_count = [](int n) { return n + 1; },
    .parameter_kind = [](int, int k) { return k == 0 ? Correlation : StdDev; },
    .matrix = arh1_matrix,
    .first_derivative = arh1_first_derivative,
    .second_derivative = arh1_second_derivative,
};

}  // namespace mixed::covstruct
