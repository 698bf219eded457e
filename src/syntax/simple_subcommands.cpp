#include "syntax/simple_subcommands.h"

#include "host/fuzzy.h"
#include "model/messages.h"
#include "syntax/parse_support.h"

namespace mixed::syntax {

namespace {

using host::Sym;
using host::TokenType;

// One of two exclusive keywords, each possibly repeated: returns 1 or 2 as the
// choice, after `message` for any other token or for the other keyword.
bool read_choice(host::TokenStream& ts, host::Engine& e, std::string_view first, std::string_view second,
                 model::Msg message, int& choice) {
  int chosen = 0;
  for (; !ts.at_subcommand_end(); ts.next()) {
    const host::Token& t = ts.cur();
    const bool word = t.type == TokenType::Name && !t.quoted;
    const int c = word && host::keyword_equals(t.text, first)    ? 1
                  : word && host::keyword_equals(t.text, second) ? 2
                                                                 : 0;
    if (c == 0 || (chosen != 0 && c != chosen)) return fail_here(ts, e, message);
    chosen = c;
    choice = c;
  }
  return false;
}

enum PrintKeyword { kCorb = 1, kCovb, kCps, kDescriptives, kG, kHistory, kLmatrix, kR, kSolution, kTestcov };

bool& print_flag(model::Command& cmd, int keyword) {
  switch (keyword) {
    case kCorb: return cmd.print_fixed_correlations;
    case kCovb: return cmd.print_fixed_covariances;
    case kCps: return cmd.print_case_summary;
    case kDescriptives: return cmd.print_descriptives;
    case kG: return cmd.print_g;
    case kHistory: return cmd.print_history;
    case kLmatrix: return cmd.print_lmatrix;
    case kR: return cmd.print_r;
    case kSolution: return cmd.print_solution;
    default: return cmd.print_testcov;
  }
}

// The interval of HISTORY(n), from its left parenthesis.
bool read_history_interval(host::TokenStream& ts, model::Command& cmd, host::Engine& e) {
  const host::Token& n = ts.next();
  const bool valid = n.type == TokenType::Number && host::is_fuzzy_whole(n.value) && n.value >= 1;
  if (!valid || ts.next().sym != Sym::RParen) {
    cmd.print_history = false;
    return fail_here(ts, e, model::Msg::InvalidHistoryInPrint);
  }
  cmd.history_interval = to_count(n.value);
  ts.next();
  return false;
}

}  // namespace

bool parse_method(host::TokenStream& ts, model::Command& cmd, host::Engine& e) {
  int choice = 2;
  const bool failed = read_choice(ts, e, "ML", "REML", model::Msg::InvalidMethod, choice);
  cmd.method = choice == 1 ? model::Method::ML : model::Method::REML;
  return failed;
}

bool parse_missing(host::TokenStream& ts, model::Command& cmd, host::Engine& e) {
  int choice = 1;
  const bool failed = read_choice(ts, e, "EXCLUDE", "INCLUDE", model::Msg::InvalidMissing, choice);
  cmd.include_user_missing = choice == 2;
  return failed;
}

bool parse_print(host::TokenStream& ts, model::Command& cmd, host::Engine& e) {
  for (int k = kCorb; k <= kTestcov; ++k) print_flag(cmd, k) = false;
  cmd.history_interval = 1;
  while (!ts.at_subcommand_end()) {
    const host::Token& t = ts.cur();
    const int keyword = t.type == TokenType::Name && !t.quoted
                            ? host::keyword_index(t.text, {"CORB", "COVB", "CPS", "DESCRIPT", "G", "HISTORY", "LMATRIX",
                                                           "R", "SOLUTION", "TESTCOV"})
                            : 0;
    if (keyword == 0) return fail_here(ts, e, model::Msg::UnrecognizedKeywordInPrint);
    print_flag(cmd, keyword) = true;
    ts.next();
    if (keyword == kHistory && ts.cur().sym == Sym::LParen && read_history_interval(ts, cmd, e)) return true;
  }
  if (cmd.print_testcov && !cmd.print_solution) return fail_here(ts, e, model::Msg::TestcovSpecifiedButNotSolution);
  return false;
}

bool parse_regwgt(host::TokenStream& ts, model::Command& cmd, host::Engine& e) {
  cmd.regression_weight.reset();
  const host::Token& t = ts.cur();
  if (t.type != TokenType::Name || t.quoted || !host::is_valid_variable_name(t.text))
    return fail_here(ts, e, model::Msg::InvalidRegwgt);
  const auto var = e.data.find(t.text);
  if (!var) return fail_here(ts, e, model::Msg::RegressionWeightNotFound);
  if (!e.data.var(*var).numeric()) return fail_here(ts, e, model::Msg::RegressionWeightNotNumeric);
  cmd.regression_weight = *var;
  ts.next();
  if (!ts.at_subcommand_end()) return fail_here(ts, e, model::Msg::InvalidRegwgt);
  return false;
}

}  // namespace mixed::syntax
