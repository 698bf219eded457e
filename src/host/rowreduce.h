// Row operations on blocks of rows, for building hypothesis matrices.
//
// Rows are held row-major, each of p reals; row r of a block R is
// R[r*p .. r*p+p-1].  The row sets are host::BitSet over the rows of the
// block they belong to.
#pragma once

#include <cstddef>
#include <span>

#include "host/bitset.h"

namespace mixed::host {

// residuals_off_span: reduces the k target rows T against the m containing rows C.
// Each target row t_i in the set is replaced by its residual
//     r_i = t_i - P_C t_i,  P_C the orthogonal projector onto span(C);
// r_i is removed from the set when it is dependent on span(C) together with
// the residuals of the earlier surviving target rows, i.e. when what is left
// of it after projection onto that span has norm <= tol_eff ||t_i||, with
// tol_eff = max(tol, 100 p eps) so that rounding is never taken for
// independence.  Surviving rows keep r_i (they are not made orthogonal to
// each other).  Rows of C dependent on earlier ones, in the same sense, are
// passed over.  Rows outside the set are left as they are.  Returns the
// number of target rows left in the set.
//
// The projections use modified Gram-Schmidt with one re-orthogonalisation
// ("twice is enough", Giraud, Langou and Rozloznik 2005).
std::size_t residuals_off_span(std::size_t m, std::size_t k, std::size_t p, std::span<const double> c,
                               std::span<double> t, BitSet& rows, double tol);

// eliminate_column: Gauss-Jordan elimination of column col from the active rows of R
// (k x p): the pivot is the active row r with the largest |R[r][col]|, which
// must exceed tol; every other active row s becomes R_s - (R_s,col / R_r,col) R_r
// with R_s,col set to exactly 0.  Returns r, or -1 when no active row
// qualifies (R unchanged).  The set is not changed; the caller removes r.
long eliminate_column(std::size_t k, std::size_t p, std::span<double> r, const BitSet& active, std::size_t col,
                      double tol);

}  // namespace mixed::host
