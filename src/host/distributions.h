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

// f_significance: P(F(df1, df2) > f); 1 for f <= 0.
double f_significance(double f, double df1, double df2);

// t_significance: two-sided significance P(|T(df)| > |t|).
double t_significance(double t, double df);

// normal_upper_tail: upper tail Q(z) = P(Z > z) of the standard normal.
double normal_upper_tail(double z);

// t_quantile: the t quantile t_df(p), P(T(df) <= t_df(p)) = p.
double t_quantile(double p, double df);

// normal_quantile: the standard normal quantile Phi^{-1}(p).
double normal_quantile(double p);

// correlation_of: cov / sqrt(var1 var2); SYSMIS when a variance is not positive.
double correlation_of(double cov, double var1, double var2);

}  // namespace mixed::host
