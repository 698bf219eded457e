// The diagonal family: uncorrelated levels.  DIAG has one variance per level
// (VC on REPEATED is stored as DIAG), ID and VC one variance for the whole
// block.  Σ is linear in θ.
#include "covstruct/families.h"

namespace mixed::covstruct {

using host::tri;

namespace {

// θ[l_i] (per level) or θ[0] on the diagonal, 0 off it.
template <bool per_level>
void diagonal_matrix(int n, std::span<const double> t, const LevelMap& lv, std::span<double> out) {
  set_all(n, 0.0, out);
  for (int i = 0; i < n; ++i) out[tri(i, i)] = per_level ? t[lv.level(i)] : t[0];
}

}  // namespace

// ---- DIAG: θ = (σ²_0, ..., σ²_(L-1)) ----
const CovarianceStructure diag_structure{
    .name = "Diagonal",
    .parameter_count = [](int n) { return n; },
    .parameter_kind = [](int, int) { return Variance; },
    .matrix = diagonal_matrix<true>,
    .first_derivative = [](int, std::span<const double>, int k, const LevelMap& lv, std::span<double> out) {
      put_levels(lv, k, k, 1.0, out);
    },
    // Positive definite when every variance is positive, semidefinite when none is negative.
    .admissibility = [](int, std::span<const double> t) {
      bool positive = true, negative = false;
      for (double v : t) {
        positive = positive && v > 0.0;
        negative = negative || !(v >= 0.0);
      }
      return grade(positive, !negative);
    },
};

// ---- ID and VC: θ = (σ²), Σ = σ²·I ----

namespace {

void scalar_first_derivative(int n, std::span<const double>, int, const LevelMap&, std::span<double> out) {
  put_diag(n, 1.0, out);
}

// Positive definite for σ² > 0; semidefinite, Σ = 0, at σ² = 0.
Admissibility scalar_admissibility(int, std::span<const double> t) { return grade(t[0] > 0.0, t[0] == 0.0); }

}  // namespace

const CovarianceStructure id_structure{
    .name = "Identity",
    .parameter_count = [](int) { return 1; },
    .parameter_kind = [](int, int) { return Variance; },
    .matrix = diagonal_matrix<false>,
    .first_derivative = scalar_first_derivative,
    .admissibility = scalar_admissibility,
};

const CovarianceStructure vc_structure{
    .name = "Variance Components",
    .parameter_count = [](int) { return 1; },
    .parameter_kind = [](int, int) { return Variance; },
    .matrix = diagonal_matrix<false>,
    .first_derivative = scalar_first_derivative,
    .admissibility = scalar_admissibility,
};

}  // namespace mixed::covstruct
