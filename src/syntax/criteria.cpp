#include "syntax/criteria.h"

#include <cmath>

#include "host/fuzzy.h"
#include "syntax/parse_support.h"

namespace mixed::syntax {

namespace {

using host::Sym;
using host::TokenType;

enum Keyword { kCin = 1, kHconverge, kLconverge, kMxiter, kMxstep, kPconverge, kScoring, kSingular, kSubjects };

void reset_criteria(model::MixSettings& s) {
  const model::MixSettings defaults;
  s.confidence_level = defaults.confidence_level;
  s.confidence_text = defaults.confidence_text;
  s.hessian_tolerance = defaults.hessian_tolerance;
  s.hessian_criterion = defaults.hessian_criterion;
  s.likelihood_tolerance = defaults.likelihood_tolerance;
  s.likelihood_criterion = defaults.likelihood_criterion;
  s.parameter_tolerance = defaults.parameter_tolerance;
  s.parameter_criterion = defaults.parameter_criterion;
  s.max_iterations = defaults.max_iterations;
  s.max_step_halvings = defaults.max_step_halvings;
  s.scoring_steps = defaults.scoring_steps;
  s.singularity_tolerance = defaults.singularity_tolerance;
  s.subjects_grouped = defaults.subjects_grouped;
}

// The value list of a convergence criterion, up to its right parenthesis: at
// most one number (>= 0, else `value_message`) and at most one of ABSOLUTE (1)
// and RELATIVE (2) (else `type_message`), in either order.
bool read_convergence(host::TokenStream& ts, host::Engine& e, double initial, double& value, int& type,
                      int value_message, int type_message) {
  value = initial;
  type = 1;
  bool have_value = false, have_type = false;
  for (; !ts.at_subcommand_end() && ts.cur().sym != Sym::RParen; ts.next()) {
    const host::Token& t = ts.cur();
    if (t.type == TokenType::Number) {
      if (have_value || !std::isfinite(t.value) || t.value < 0) return fail_here(ts, e, value_message);
      value = t.value;
      have_value = true;
    } else if (!have_type && (is_keyword(t, "ABSOLUTE") || is_keyword(t, "RELATIVE"))) {
      type = is_keyword(t, "ABSOLUTE") ? 1 : 2;
      have_type = true;
    } else {
      return fail_here(ts, e, type_message);
    }
  }
  return false;
}

// The single number of CIN, MXITER, MXSTEP, SCORING and SINGULAR, checked.
bool read_value(host::TokenStream& ts, model::MixSettings& s, host::Engine& e, int keyword) {
  const host::Token& t = ts.cur();
  if (t.type != TokenType::Number) return fail_here(ts, e, 18);
  const double v = t.value;
  switch (keyword) {
    case kCin:
      if (!(v >= 0 && v < 100)) return fail_here(ts, e, 19);
      s.confidence_level = v;
      s.confidence_text = t.text.substr(0, 40);
      break;
    case kMxiter:
      if (!host::is_fuzzy_whole(v) || v < 0) return fail_here(ts, e, 21);
      s.max_iterations = to_count(v);
      break;
    case kMxstep:
      if (!host::is_fuzzy_whole(v) || v < 1) return fail_here(ts, e, 22);
      s.max_step_halvings = to_count(v);
      break;
    case kScoring:
      if (!host::is_fuzzy_whole(v) || v < 0) return fail_here(ts, e, 24);
      s.scoring_steps = to_count(v);
      break;
    default:
      if (!std::isfinite(v) || v <= 0) return fail_here(ts, e, 25);
      s.singularity_tolerance = v;
      break;
  }
  ts.next();
  return false;
}

}  // namespace

bool parse_criteria(host::TokenStream& ts, model::MixSettings& s, host::Engine& e) {
  reset_criteria(s);
  while (!ts.at_subcommand_end()) {
    const host::Token& t = ts.cur();
    const int keyword = t.type == TokenType::Name && !t.quoted
                            ? host::keyword_index(t.text, {"CIN", "HCONVERG", "LCONVERG", "MXITER", "MXSTEP", "PCONVERG",
                                                    "SCORING", "SINGULAR", "SUBJECTS"})
                            : 0;
    if (keyword == 0) return fail_here(ts, e, 17);
    if (ts.next().sym != Sym::LParen) return fail_here(ts, e, 18);
    ts.next();
    bool failed = false;
    switch (keyword) {
      case kHconverge:
        failed = read_convergence(ts, e, 0.0, s.hessian_tolerance, s.hessian_criterion, 78, 79);
        break;
      case kLconverge:
        failed = read_convergence(ts, e, 0.0, s.likelihood_tolerance, s.likelihood_criterion, 20, 26);
        break;
      case kPconverge:
        failed = read_convergence(ts, e, 1.0e-6, s.parameter_tolerance, s.parameter_criterion, 23, 27);
        break;
      case kSubjects:
        s.subjects_grouped = is_keyword(ts.cur(), "GROUPED");
        ts.next();
        break;
      default:
        failed = read_value(ts, s, e, keyword);
        break;
    }
    if (failed) return true;
    if (ts.cur().sym != Sym::RParen) return fail_here(ts, e, 18);
    ts.next();
  }
  return false;
}

}  // namespace mixed::syntax
