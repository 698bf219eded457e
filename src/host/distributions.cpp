#include "host/distributions.h"

#include <cmath>

#include <boost/math/distributions/fisher_f.hpp>
#include <boost/math/distributions/normal.hpp>
#include <boost/math/distributions/students_t.hpp>
#include <boost/math/policies/policy.hpp>
#include <boost/math/special_functions/gamma.hpp>

#include "host/dataset.h"

namespace mixed::host {
namespace {

// Errors become NaN (our SYSMIS) or an infinity instead of exceptions; the
// arguments are checked first, so these only guard against the unforeseen.
namespace policies = boost::math::policies;
using Quiet =
    policies::policy<policies::domain_error<policies::ignore_error>, policies::pole_error<policies::ignore_error>,
                     policies::overflow_error<policies::ignore_error>,
                     policies::evaluation_error<policies::ignore_error>>;

using Normal = boost::math::normal_distribution<double, Quiet>;
using StudentT = boost::math::students_t_distribution<double, Quiet>;
using FisherF = boost::math::fisher_f_distribution<double, Quiet>;

bool valid_df(double df) { return !is_sysmis(df) && df > 0.0; }
bool valid_probability(double p) { return !is_sysmis(p) && p > 0.0 && p < 1.0; }

}  // namespace

double f_significance(double f, double df1, double df2) {
  if (is_sysmis(f) || !valid_df(df1) || !valid_df(df2)) return SYSMIS;
  if (f <= 0.0) return 1.0;
  if (std::isinf(f)) return 0.0;
  // An infinite df turns its chi-square over df into the constant 1:
  // F(df1, inf) = chi2(df1)/df1 and F(inf, df2) = df2/chi2(df2).
  const bool inf1 = std::isinf(df1);
  const bool inf2 = std::isinf(df2);
  if (inf1 && inf2) return f < 1.0 ? 1.0 : 0.0;
  if (inf2) return boost::math::gamma_q(df1 / 2.0, df1 * f / 2.0, Quiet());
  if (inf1) return boost::math::gamma_p(df2 / 2.0, df2 / (2.0 * f), Quiet());
  return cdf(complement(FisherF(df1, df2), f));
}

double t_significance(double t, double df) {
  if (is_sysmis(t) || !valid_df(df)) return SYSMIS;
  if (std::isinf(t)) return 0.0;
  return 2.0 * cdf(complement(StudentT(df), std::fabs(t)));
}

double normal_upper_tail(double z) {
  if (is_sysmis(z)) return SYSMIS;
  return cdf(complement(Normal(), z));
}

double t_quantile(double p, double df) {
  if (!valid_probability(p) || !valid_df(df)) return SYSMIS;
  return quantile(StudentT(df), p);
}

double normal_quantile(double p) {
  if (!valid_probability(p)) return SYSMIS;
  return quantile(Normal(), p);
}

double correlation_of(double cov, double var1, double var2) {
  if (is_sysmis(cov) || is_sysmis(var1) || is_sysmis(var2)) return SYSMIS;
  if (var1 <= 0.0 || var2 <= 0.0) return SYSMIS;
  return cov / std::sqrt(var1 * var2);
}

}  // namespace mixed::host
