// One descriptor per covariance structure: the structure's display name, the
// number and kinds of its parameters, the structure matrix Σ(θ) and its first
// and second derivatives, its starting values and its admissibility rule, and
// the closed forms of Σ⁻¹ and of its derivatives where the structure has them,
// all in one place.
//
// The descriptors are written family by family: autoregressive.cpp (ARMA(1,1),
// AD(1), AR(1), ARH(1)), compound_symmetry.cpp (CS, CSH, CSR, HF), toeplitz.cpp
// (TP, TPH), factor_analytic.cpp (FA1, FAH1), unstructured.cpp (UN, UNR) and
// diagonal.cpp (DIAG, ID, VC).  structure() finds the descriptor of a type
// code; the free functions of catalogue.h, matrices.h, derivatives.h, start.h,
// admissible.h and inverse.h answer through it, and hold the general methods
// that a structure without a rule or closed form of its own follows.
//
// Storage and notation: Σ and its derivatives are packed lower triangles of
// order n (host/packed.h); θ is the block's parameter run, 0-based, in the
// order of parameter_kind; lv maps the n rows to the levels the parameters
// describe (covstruct/level_map.h); A = Σ⁻¹, Σ_k = ∂Σ/∂θ_k, and P_k, Q_kl the
// derivatives of A of covstruct/inverse.h.
#pragma once

#include <span>

#include "covstruct/level_map.h"
#include "covstruct/types.h"

namespace mixed::covstruct {

// The kind of a covariance parameter: its admissible domain and how it is
// reported (a standard deviation is reported as its square).
enum class ParamKind {
  Correlation,   // -1 .. 1
  Covariance,    // unrestricted
  Unrestricted,  // loadings, the HF lambda
  StdDev,        // >= 0, reported squared
  Variance,      // >= 0
};
using enum ParamKind;  // covstruct::Variance names ParamKind::Variance

// Whether θ gives an admissible Σ.
enum class Admissibility : int {
  PositiveDefinite = 0,
  Semidefinite = 1,  // on the boundary
  Inadmissible = 2,
};

struct CovarianceStructure {
  // The display name, a key of the output catalogue.
  const char* name;
  // The number of parameters of a block of dimension n.
  int (*parameter_count)(int n);
  // The kind of parameter k of a block with npar parameters.
  ParamKind (*parameter_kind)(int npar, int k);
  // out = Σ(θ) for the rows of lv, every place written.
  void (*matrix)(int n, std::span<const double> theta, const LevelMap& lv, std::span<double> out);
  // ∂Σ/∂θ_k written into an out that the caller has cleared: only the places
  // that depend on θ_k are set.
  void (*first_derivative)(int n, std::span<const double> theta, int k, const LevelMap& lv, std::span<double> out);
  // ∂²Σ/∂θ_k∂θ_l (k, l in either order), likewise into a cleared out; nullptr
  // when Σ is linear in θ.
  void (*second_derivative)(int n, std::span<const double> theta, int k, int l, const LevelMap& lv,
                            std::span<double> out) = nullptr;
  // Starting values of a block of dimension n from the residual variance s0,
  // applied after every parameter has started from its kind (a variance at s0,
  // a standard deviation at √s0, anything else at 0); nullptr when those stand.
  void (*start)(int n, double s0, std::span<double> theta) = nullptr;
  // The admissibility of θ decided from θ alone; nullptr: the variances and
  // standard deviations must be ≥ 0 and the correlations within [-1, 1], and
  // then a Cholesky factorisation of Σ(θ) decides.
  Admissibility (*admissibility)(int n, std::span<const double> theta) = nullptr;

  // Closed forms, each writing every place of out; nullptr: the general path
  // through the packed Cholesky factor of Σ and the products of A, Σ_k, Σ_kl.
  // out = L with Σ = L·Lᵀ, for the identity map.
  void (*factor)(int n, std::span<const double> theta, std::span<double> out) = nullptr;
  // out = A; returns log det Σ when want_logdet, else 0.
  double (*inverse)(int n, std::span<const double> theta, const LevelMap& lv, std::span<double> out,
                    bool want_logdet) = nullptr;
  // out = P_k = A·Σ_k·A.
  void (*inverse_first_derivative)(int n, std::span<const double> theta, int k, std::span<const double> a,
                                   const LevelMap& lv, std::span<double> out) = nullptr;
  // out = Q_kl = -∂²A/∂θ_k∂θ_l.
  void (*inverse_second_derivative)(int n, std::span<const double> theta, int k, int l, const LevelMap& lv,
                                    std::span<double> out) = nullptr;
};

// The descriptor of a block's type code (covstruct::CovType); nullptr for code
// 17 (VC as parsed) and codes outside 1..19.  VC on REPEATED (19) is DIAG.
const CovarianceStructure* structure(CovType cov_type);

}  // namespace mixed::covstruct
