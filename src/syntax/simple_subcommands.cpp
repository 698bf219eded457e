#include "syntax/simple_subcommands.h"

#include "driver/messages.h"
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
    const int c = word && host::QABEQL(t.text, first) ? 1 : word && host::QABEQL(t.text, second) ? 2 : 0;
    if (c == 0 || (chosen != 0 && c != chosen)) return fail_here(ts, e, message);
    chosen = c;
    choice = c;
  }
  return false;
}

enum PrintKeyword { kCorb = 1, kCovb, kCps, kDescriptives, kG, kHistory, kLmatrix, kR, kSolution, kTestcov };

bool& print_flag(driver::MixSettings& s, int keyword) {
  switch (keyword) {
    case kCorb: return s.prcorb;
    case kCovb: return s.prcovb;
    case kCps: return s.prcps;
    case kDescriptives: return s.prdesc;
    case kG: return s.prg;
    case kHistory: return s.prhist;
    case kLmatrix: return s.prlmat;
    case kR: return s.prr;
    case kSolution: return s.prsolu;
    default: return s.prtcov;
  }
}

// The interval of HISTORY(n), from its left parenthesis.
bool read_history_interval(host::TokenStream& ts, driver::MixSettings& s, host::Engine& e) {
  const host::Token& n = ts.next();
  const bool valid = n.type == TokenType::Number && host::FUZZYINTEGER(n.value) && n.value >= 1;
  if (!valid || ts.next().sym != Sym::RParen) {
    s.prhist = false;
    return fail_here(ts, e, 29);
  }
  s.histn = to_count(n.value);
  ts.next();
  return false;
}

}  // namespace

bool parse_method(host::TokenStream& ts, driver::MixSettings& s, host::Engine& e) {
  s.method = 2;
  return read_choice(ts, e, "ML", "REML", 14, s.method);
}

bool parse_missing(host::TokenStream& ts, driver::MixSettings& s, host::Engine& e) {
  int choice = 1;
  const bool failed = read_choice(ts, e, "EXCLUDE", "INCLUDE", 13, choice);
  s.qinclu = choice == 2;
  return failed;
}

bool parse_print(host::TokenStream& ts, driver::MixSettings& s, host::Engine& e) {
  for (int k = kCorb; k <= kTestcov; ++k) print_flag(s, k) = false;
  s.histn = 1;
  while (!ts.at_subcommand_end()) {
    const host::Token& t = ts.cur();
    const int keyword = t.type == TokenType::Name && !t.quoted
                            ? host::IABNDX(t.text, {"CORB", "COVB", "CPS", "DESCRIPT", "G", "HISTORY", "LMATRIX",
                                                    "R", "SOLUTION", "TESTCOV"})
                            : 0;
    if (keyword == 0) return fail_here(ts, e, 28);
    print_flag(s, keyword) = true;
    ts.next();
    if (keyword == kHistory && ts.cur().sym == Sym::LParen && read_history_interval(ts, s, e)) return true;
  }
  if (s.prtcov && !s.prsolu) return fail_here(ts, e, 82);
  return false;
}

bool parse_regwgt(host::TokenStream& ts, driver::MixSettings& s, host::Engine& e) {
  s.wgtvar.reset();
  const host::Token& t = ts.cur();
  if (t.type != TokenType::Name || t.quoted || !host::DIVART(t.text)) return fail_here(ts, e, 12);
  const auto var = e.data.find(t.text);
  if (!var) return fail_here(ts, e, 11);
  if (!e.data.var(*var).numeric()) return fail_here(ts, e, 10);
  s.wgtvar = *var;
  ts.next();
  if (!ts.at_subcommand_end()) return fail_here(ts, e, 12);
  return false;
}

}  // namespace mixed::syntax
