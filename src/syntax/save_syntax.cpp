#include "syntax/save_syntax.h"

#include <algorithm>
#include <string>

#include "model/messages.h"

namespace mixed::syntax {

namespace {

using host::Sym;
using host::Token;
using host::TokenType;

// The number of SAVE keywords (nkwd): a SAVE holds each at most once.
constexpr int nkwd = 7;

// Codes 1..7 in table order.
int save_code(const Token& t) {
  if (t.type != TokenType::Name || t.quoted) return 0;
  return host::keyword_index(t.text, {"FIXPRED", "PRED", "RESID", "SEFIXP", "SEPRED", "DFFIXP", "DFPRED"});
}

// "(name)" after a keyword: a valid name of a new variable that no earlier
// keyword of this SAVE has taken.
int read_name(host::TokenStream& ts, const model::Command& cmd, const host::Dataset& data,
              std::string& name) {
  ts.next();
  const Token& t = ts.cur();
  if (t.sym == Sym::RParen || ts.at_subcommand_end()) return 31;
  if (t.type != TokenType::Name || t.quoted || !host::is_valid_variable_name(t.text)) return 33;
  if (data.find(t.text)) return 32;
  auto taken = [&t](const std::string& earlier) { return host::iequals(earlier, t.text); };
  if (std::any_of(cmd.save_names.begin(), cmd.save_names.end(), taken)) return 35;
  name = t.text;
  ts.next();
  if (ts.cur().sym != Sym::RParen) return 31;
  ts.next();
  return 0;
}

// The warning that drops a keyword whose value the model cannot give: FIXPRED
// without fixed effects, PRED and RESID without any effects.
int unavailable_warning(int code, const model::Command& cmd) {
  const bool fixed = cmd.n_fixed_effects() > 0;
  const bool any = fixed || cmd.n_random_effects() > 0;
  if (code == 1 && !fixed) return 84;
  if (code == 2 && !any) return 85;
  if (code == 3 && !any) return 86;
  return 0;
}

// Reads the keywords; on an error returns its number, with `shown` set when
// its ^1 is not the current token (34 names the repeated keyword).
int read_save(host::TokenStream& ts, model::Command& cmd, host::Engine& eng, std::string& shown) {
  while (!ts.at_subcommand_end()) {
    const int code = save_code(ts.cur());
    if (code == 0) return 30;
    const std::string keyword = ts.cur().text;
    std::string name;
    if (ts.next().sym == Sym::LParen) {
      if (int st = read_name(ts, cmd, eng.data, name)) return st;
    }
    if (std::find(cmd.save_keywords.begin(), cmd.save_keywords.end(), code) != cmd.save_keywords.end()) {
      shown = keyword;
      return 34;
    }
    if (int w = unavailable_warning(code, cmd)) {
      model::issue_message(eng.out, w, model::kOtherClass, host::Severity::Warning);
      continue;
    }
    cmd.save_keywords.push_back(code);
    cmd.save_names.push_back(std::move(name));
  }
  return 0;
}

}  // namespace

void parse_save(host::TokenStream& ts, model::Command& cmd, host::Engine& eng) {
  cmd.save_keywords.clear();
  cmd.save_names.clear();
  std::string shown;
  const int status = read_save(ts, cmd, eng, shown);
  if (status != 0) {
    model::issue_message(eng.out, status, model::kSyntaxClass, host::Severity::Error,
                   shown.empty() ? ts.cur().text : shown);
    cmd.save_keywords.clear();
    cmd.save_names.clear();
    ts.skip_subcommand();
  }
  MIXED_INVARIANT(eng.out, cmd.n_saved() <= nkwd);
}

}  // namespace mixed::syntax
