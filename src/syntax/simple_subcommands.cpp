#include "syntax/simple_subcommands.h"

#include "model/messages.h"
#include "host/fuzzy.h"
#include "syntax/parse_support.h"

namespace mixed::syntax {

namespace {

using host::Sym;
using host::TokenType;

// One of two exclusive keywords, each possibly repeated: returns 1 or 2 as the
// choice, after `message` for any other token or for the other keyword.
bool read_choice(host::TokenStream& ts, host::Engine& e, std::string_view first, std::string_view second,
                 int message, int& choice) {
  int chosen = 0;
  for (; !ts.at_subcommand_end(); ts.next()) {
    const host::Token& t = ts.cur();
    const bool word = t.type == TokenType::Name && !t.quoted;
    const int c = word && host::keyword_equals(t.text, first) ? 1 : word && host::keyword_equals(t.text, second) ? 2 : 0;
    if (c == 0 || (chosen != 0 && c != chosen)) return fail_here(ts, e, message);
    chosen = c;
    choice = c;
  }
  return false;
}

enum PrintKeyword { kCorb = 1, kCovb, kCps, kDescriptives, kG, kHistory, kLmatrix, kR, kSolution, kTestcov };

bool& print_flag(model::MixSettings& s, int keyword) {
  switch (keyword) {
    case kCorb: return s.print_fixed_correlations;
    case kCovb: return s.print_fixed_covariances;
    case kCps: return s.print_case_summary;
    case kDescriptives: return s.print_descriptives;
    case kG: return s.print_g;
    case kHistory: return s.print_history;
    case kLmatrix: return s.print_lmatrix;
    case kR: return s.print_r;
    case kSolution: return s.print_solution;
    default: return s.print_testcov;
  }
}

// The interval of HISTORY(n), from its left parenthesis.
bool read_history_interval(host::TokenStream& ts, model::MixSettings& s, host::Engine& e) {
  const host::Token& n = ts.next();
  const bool valid = n.type == TokenType::Number && host::is_fuzzy_whole(n.value) && n.value >= 1;
  if (!valid || ts.next().sym != Sym::RParen) {
    s.print_history = false;
    return fail_here(ts, e, 29);
  }
  s.history_interval = to_count(n.value);
  ts.next();
  return false;
}

}  // namespace

bool parse_method(host::TokenStream& ts, model::MixSettings& s, host::Engine& e) {
  s.method = 2;
  return read_choice(ts, e, "ML", "REML", 14, s.method);
}

bool parse_missing(host::TokenStream& ts, model::MixSettings& s, host::Engine& e) {
  int choice = 1;
  const bool failed = read_choice(ts, e, "EXCLUDE", "INCLUDE", 13, choice);
  s.include_user_missing = choice == 2;
  return failed;
}

bool parse_print(host::TokenStream& ts, model::MixSettings& s, host::Engine& e) {
  for (int k = kCorb; k <= kTestcov; ++k) print_flag(s, k) = false;
  s.history_interval = 1;
  while (!ts.at_subcommand_end()) {
    const host::Token& t = ts.cur();
    const int keyword = t.type == TokenType::Name && !t.quoted
                            ? host::keyword_index(t.text, {"CORB", "COVB", "CPS", "DESCRIPT", "G", "HISTORY", "LMATRIX",
                                                    "R", "SOLUTION", "TESTCOV"})
                            : 0;
    if (keyword == 0) return fail_here(ts, e, 28);
    print_flag(s, keyword) = true;
    ts.next();
    if (keyword == kHistory && ts.cur().sym == Sym::LParen && read_history_interval(ts, s, e)) return true;
  }
  if (s.print_testcov && !s.print_solution) return fail_here(ts, e, 82);
  return false;
}

bool parse_regwgt(host::TokenStream& ts, model::MixSettings& s, host::Engine& e) {
  s.regression_weight.reset();
  const host::Token& t = ts.cur();
  if (t.type != TokenType::Name || t.quoted || !host::is_valid_variable_name(t.text)) return fail_here(ts, e, 12);
  const auto var = e.data.find(t.text);
  if (!var) return fail_here(ts, e, 11);
  if (!e.data.var(*var).numeric()) return fail_here(ts, e, 10);
  s.regression_weight = *var;
  ts.next();
  if (!ts.at_subcommand_end()) return fail_here(ts, e, 12);
  return false;
}

}  // namespace mixed::syntax
