// Probabilities and quantiles of the normal, t and F distributions, and the
// correlation of a covariance element.
//
// Every function returns host::SYSMIS (a quiet NaN) instead of failing: when
// an argument is system-missing, when degrees of freedom are not positive,
// or when a probability lies outside (0, 1).  Degrees of freedom need not be
// whole numbers; an infinite df gives the limiting distribution (normal,
// chi-square over its df).
#pragma once

namespace mixed::host {

// SIGF: P(F(df1, df2) > f); 1 for f <= 0.
double SIGF(double f, double df1, double df2);

// DSIGT: two-sided significance P(|T(df)| > |t|).
double DSIGT(double t, double df);

// SIGNRM: upper tail Q(z) = P(Z > z) of the standard normal.
double SIGNRM(double z);

// IDFT: the t quantile t_df(p), P(T(df) <= t_df(p)) = p.
double IDFT(double p, double df);

// PROBIT: the standard normal quantile Phi^{-1}(p).
double PROBIT(double p);

// CORREL: cov / sqrt(var1 var2); SYSMIS when a variance is not positive.
double CORREL(double cov, double var1, double var2);

}  // namespace mixed::host
