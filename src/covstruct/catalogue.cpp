#include "covstruct/catalogue.h"

#include "covstruct/types.h"

namespace mixed::covstruct {


namespace {

// Place k (0-based) of a packed lower triangle with npar places is diagonal
// when k + 1 = i(i+1)/2 for some i >= 1; the walk stops once the running sum
// reaches npar.
bool diagonal_place(int npar, int k) {
  const int target = k + 1;
  int s = 0;
  for (int i = 1;; ++i) {
    s += i;
    if (s == target) return true;
    if (s >= npar || s > target) return false;
  }
}

}  // namespace

bool is_block_type(int cov_type) {
  return cov_type >= ARMA11 && cov_type <= VC_REPEATED && cov_type != VC_PARSE;
}

int parameter_count(int n, int cov_type) {
  switch (cov_type) {
    case ARMA11: return 3;
    case AD1: case TPH: return 2 * n - 1;
    case AR1: case CS: case CSR: return 2;
    case ARH1: case CSH: case FA1: case HF: return n + 1;
    case DIAG: case TP: case VC_REPEATED: return n;
    case FAH1: return 2 * n;
    case ID: case VC: return 1;
    case UN: case UNR: return n * (n + 1) / 2;
    default: return 0;
  }
}

ParamKind parameter_kind(int npar, int cov_type, int k) {
  const bool first = k == 0;
  const bool odd_place = k % 2 == 0;  // 1-based odd: sd of AD1/TPH, loading of FAH1
  switch (cov_type) {
    case ARMA11: case AR1: case CSR: case TP: return first ? Variance : Correlation;
    case AD1: case TPH: return odd_place ? StdDev : Correlation;
    case ARH1: case CSH: return first ? Correlation : StdDev;
    case CS: return first ? Variance : Covariance;
    case DIAG: case ID: case VC: case VC_REPEATED: return Variance;
    case FA1: return first ? Variance : Unrestricted;
    case FAH1: return odd_place ? Unrestricted : Variance;
    case HF: return first ? Unrestricted : Variance;
    case UN: return diagonal_place(npar, k) ? Variance : Covariance;
    case UNR: return diagonal_place(npar, k) ? StdDev : Correlation;
    default: return Unrestricted;
  }
}

host::Text structure_name(int cov_type) {
  switch (cov_type) {
    case ARMA11: return host::Text::key("ARMA(1,1)");
    case AD1: return host::Text::key("First-Order Ante-Dependence");
    case AR1: return host::Text::key("First-Order Autoregressive");
    case ARH1: return host::Text::key("Heterogeneous First-Order Autoregressive");
    case CS: return host::Text::key("Compound Symmetry");
    case CSH: return host::Text::key("Heterogeneous Compound Symmetry");
    case CSR: return host::Text::key("Correlation Compound Symmetry");
    case DIAG: case VC_REPEATED: return host::Text::key("Diagonal");
    case FA1: return host::Text::key("First-Order Factor Analytic, Const Diag");
    case FAH1: return host::Text::key("First-Order Factor Analytic, Heter Diag");
    case HF: return host::Text::key("Huynh-Feldt");
    case ID: return host::Text::key("Identity");
    case TP: return host::Text::key("Toeplitz");
    case TPH: return host::Text::key("Heterogeneous Toeplitz");
    case UN: return host::Text::key("Unstructured");
    case UNR: return host::Text::key("Unstructured Correlations");
    case VC: return host::Text::key("Variance Components");
    default: return {};
  }
}

}  // namespace mixed::covstruct
