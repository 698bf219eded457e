// Eigen decomposition of a packed symmetric matrix: A = Z diag(d) Z'.
//
// This is the work of TRED3, TQLI2 and TRBAK3 in one call: Householder
// reduction of A to tridiagonal form with the transformations accumulated,
// then the QL method with implicit shifts on the tridiagonal matrix, rotating
// the accumulated transformations into the eigenvectors (EISPACK tred2/tql2;
// Golub and Van Loan, sections 8.3.1 and 8.3.5).
//
// Storage: A is a packed lower triangle of order n, 0-based, row by row
// (host/packed.h), and is only read.  d (n reals) receives the eigenvalues in
// ascending order; Z (n x n, row-major) receives the orthonormal eigenvectors,
// column m (Z[i*n + m], i = 0..n-1) belonging to d[m].  When the routine
// fails, d and Z are undefined.
#pragma once

#include <cstddef>
#include <span>

namespace mixed::host {

// A = Z diag(d) Z', d ascending.  An off-diagonal element e_m of the
// tridiagonal form is taken as zero once |e_m| <= tol * max_l (|d_l| + |e_l|)
// over the part already processed; each eigenvalue may take at most
// max_iterations QL steps.  Returns 0, or a positive error code: l + 1 when
// eigenvalue l did not converge within the limit, n + 1 when A holds a value
// that is not finite.
int symmetric_eigen(std::size_t n, std::span<const double> a, std::span<double> d, std::span<double> z,
                    double tol = 1e-12, int max_iterations = 100);

}  // namespace mixed::host
