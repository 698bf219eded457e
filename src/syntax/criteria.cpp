#include "syntax/criteria.h"

#include <cmath>

#include "host/fuzzy.h"
#include "syntax/parse_support.h"

namespace mixed::syntax {

namespace {

using host::Sym;
using host::TokenType;

enum Keyword { kCin = 1, kHconverge, kLconverge, kMxiter, kMxstep, kPconverge, kScoring, kSingular, kSubjects };

void reset_criteria(model::Command& cmd) {
  const model::Command defaults;
  cmd.confidence_level = defaults.confidence_level;
  cmd.confidence_text = defaults.confidence_text;
  cmd.hessian_tolerance = defaults.hessian_tolerance;
  cmd.hessian_criterion = defaults.hessian_criterion;
  cmd.likelihood_tolerance = defaults.likelihood_tolerance;
  cmd.likelihood_criterion = defaults.likelihood_criterion;
  cmd.parameter_tolerance = defaults.parameter_tolerance;
  cmd.parameter_criterion = defaults.parameter_criterion;
  cmd.max_iterations = defaults.max_iterations;
  cmd.max_step_halvings = defaults.max_step_halvings;
  cmd.scoring_steps = defaults.scoring_steps;
  cmd.singularity_tolerance = defaults.singularity_tolerance;
  cmd.subjects_grouped = defaults.subjects_grouped;
}

// The value list of a convergence criterion, up to its right parenthesis: at
// most one number (>= 0, else `value_message`) and at most one of ABSOLUTE (1)
// and RELATIVE (2) (else `type_message`), in either order.
bool read_convergence(host::TokenStream& ts, host::Engine& e, double initial, double& value, model::Tolerance& type,
                      model::Msg value_message, model::Msg type_message) {
  value = initial;
  type = model::Tolerance::Absolute;
  bool have_value = false, have_type = false;
  for (; !ts.at_subcommand_end() && ts.cur().sym != Sym::RParen; ts.next()) {
    const host::Token& t = ts.cur();
    if (t.type == TokenType::Number) {
      if (have_value || !std::isfinite(t.value) || t.value < 0) return fail_here(ts, e, value_message);
      value = t.value;
      have_value = true;
    } else if (!have_type && (is_keyword(t, "ABSOLUTE") || is_keyword(t, "RELATIVE"))) {
      type = is_keyword(t, "ABSOLUTE") ? model::Tolerance::Absolute : model::Tolerance::Relative;
      have_type = true;
    } else {
      return fail_here(ts, e, type_message);
    }
  }
  return false;
}

// The single number of CIN, MXITER, MXSTEP, SCORING and SINGULAR, checked.
bool read_value(host::TokenStream& ts, model::Command& cmd, host::Engine& e, int keyword) {
  const host::Token& t = ts.cur();
  if (t.type != TokenType::Number) return fail_here(ts, e, model::Msg::MissingValueInCriteria);
  const double v = t.value;
  switch (keyword) {
    case kCin:
      if (!(v >= 0 && v < 100)) return fail_here(ts, e, model::Msg::CriteriaCinValueInvalid);
      cmd.confidence_level = v;
      cmd.confidence_text = t.text.substr(0, 40);
      break;
    case kMxiter:
      if (!host::is_fuzzy_whole(v) || v < 0) return fail_here(ts, e, model::Msg::CriteriaMxiterValueInvalid);
      cmd.max_iterations = to_count(v);
      break;
    case kMxstep:
      if (!host::is_fuzzy_whole(v) || v < 1) return fail_here(ts, e, model::Msg::CriteriaMxstepValueInvalid);
      cmd.max_step_halvings = to_count(v);
      break;
    case kScoring:
      if (!host::is_fuzzy_whole(v) || v < 0) return fail_here(ts, e, model::Msg::CriteriaScoringValueInvalid);
      cmd.scoring_steps = to_count(v);
      break;
    default:
      if (!std::isfinite(v) || v <= 0) return fail_here(ts, e, model::Msg::CriteriaSingularValueInvalid);
      cmd.singularity_tolerance = v;
      break;
  }
  ts.next();
  return false;
}

}  // namespace

bool parse_criteria(host::TokenStream& ts, model::Command& cmd, host::Engine& e) {
  reset_criteria(cmd);
  while (!ts.at_subcommand_end()) {
    const host::Token& t = ts.cur();
    const int keyword = t.type == TokenType::Name && !t.quoted
                            ? host::keyword_index(t.text, {"CIN", "HCONVERG", "LCONVERG", "MXITER", "MXSTEP",
                                                           "PCONVERG", "SCORING", "SINGULAR", "SUBJECTS"})
                            : 0;
    if (keyword == 0) return fail_here(ts, e, model::Msg::UnrecognizedKeywordInCriteria);
    if (ts.next().sym != Sym::LParen) return fail_here(ts, e, model::Msg::MissingValueInCriteria);
    ts.next();
    bool failed = false;
    switch (keyword) {
      case kHconverge:
        failed = read_convergence(ts, e, 0.0, cmd.hessian_tolerance, cmd.hessian_criterion,
                                  model::Msg::CriteriaHconvergeValueInvalid, model::Msg::CriteriaHconvergeTypeInvalid);
        break;
      case kLconverge:
        failed = read_convergence(ts, e, 0.0, cmd.likelihood_tolerance, cmd.likelihood_criterion,
                                  model::Msg::CriteriaLconvergeValueInvalid, model::Msg::CriteriaLconvergeTypeInvalid);
        break;
      case kPconverge:
        failed = read_convergence(ts, e, 1.0e-6, cmd.parameter_tolerance, cmd.parameter_criterion,
                                  model::Msg::CriteriaPconvergeValueInvalid, model::Msg::CriteriaPconvergeTypeInvalid);
        break;
      case kSubjects:
        cmd.subjects_grouped = is_keyword(ts.cur(), "GROUPED");
        ts.next();
        break;
      default: failed = read_value(ts, cmd, e, keyword); break;
    }
    if (failed) return true;
    if (ts.cur().sym != Sym::RParen) return fail_here(ts, e, model::Msg::MissingValueInCriteria);
    ts.next();
  }
  return false;
}

}  // namespace mixed::syntax
