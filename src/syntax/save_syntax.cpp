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
model::Msg read_name(host::TokenStream& ts, const model::Command& cmd, const host::Dataset& data, std::string& name) {
  ts.next();
  const Token& t = ts.cur();
  if (t.sym == Sym::RParen || ts.at_subcommand_end()) return model::Msg::MissingNameInSave;
  if (t.type != TokenType::Name || t.quoted || !host::is_valid_variable_name(t.text))
    return model::Msg::InvalidNameInSave;
  if (data.find(t.text)) return model::Msg::ExistingNameInSave;
  auto taken = [&t](const std::string& earlier) { return host::iequals(earlier, t.text); };
  if (std::any_of(cmd.save_names.begin(), cmd.save_names.end(), taken)) return model::Msg::NameHasBeenUsedInSave;
  name = t.text;
  ts.next();
  if (ts.cur().sym != Sym::RParen) return model::Msg::MissingNameInSave;
  ts.next();
  return model::Msg::None;
}

// The warning that drops a keyword whose value the model cannot give: FIXPRED
// without fixed effects, PRED and RESID without any effects.
model::Msg unavailable_warning(model::SaveCode code, const model::Command& cmd) {
  const bool fixed = cmd.n_fixed_effects() > 0;
  const bool any = fixed || cmd.n_random_effects() > 0;
  if (code == model::SaveCode::FIXPRED && !fixed) return model::Msg::SaveFixpredIgnored;
  if (code == model::SaveCode::PRED && !any) return model::Msg::SavePredIgnored;
  if (code == model::SaveCode::RESID && !any) return model::Msg::SaveResidIgnored;
  return model::Msg::None;
}

// Reads the keywords; on an error returns it, with `shown` set when its ^1 is
// not the current token (a repeated keyword is named by itself).
model::Msg read_save(host::TokenStream& ts, model::Command& cmd, host::Engine& eng, std::string& shown) {
  while (!ts.at_subcommand_end()) {
    const int position = save_code(ts.cur());
    if (position == 0) return model::Msg::UnrecognizedKeywordInSave;
    const auto code = static_cast<model::SaveCode>(position);
    const std::string keyword = ts.cur().text;
    std::string name;
    if (ts.next().sym == Sym::LParen) {
      if (model::Msg st = read_name(ts, cmd, eng.data, name); st != model::Msg::None) return st;
    }
    if (std::find(cmd.save_keywords.begin(), cmd.save_keywords.end(), code) != cmd.save_keywords.end()) {
      shown = keyword;
      return model::Msg::DuplicatedKeywordSave;
    }
    if (model::Msg w = unavailable_warning(code, cmd); w != model::Msg::None) {
      model::issue_message(eng.out, w, model::kOtherClass, host::Severity::Warning);
      continue;
    }
    cmd.save_keywords.push_back(code);
    cmd.save_names.push_back(std::move(name));
  }
  return model::Msg::None;
}

}  // namespace

void parse_save(host::TokenStream& ts, model::Command& cmd, host::Engine& eng) {
  cmd.save_keywords.clear();
  cmd.save_names.clear();
  std::string shown;
  const model::Msg status = read_save(ts, cmd, eng, shown);
  if (status != model::Msg::None) {
    model::issue_message(eng.out, status, model::kSyntaxClass, host::Severity::Error,
                         shown.empty() ? ts.cur().text : shown);
    cmd.save_keywords.clear();
    cmd.save_names.clear();
    ts.skip_subcommand();
  }
  MIXED_INVARIANT(eng.out, cmd.n_saved() <= nkwd);
}

}  // namespace mixed::syntax
