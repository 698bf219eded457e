#include "syntax/fixed.h"

#include <optional>
#include <vector>

#include "host/fuzzy.h"
#include "model/messages.h"
#include "syntax/effects.h"
#include "syntax/parse_support.h"

namespace mixed::syntax {

namespace {

using host::Severity;
using host::Sym;
using host::Text;

// The options after the vertical bar: NOINT, SSTYPE and SSTYPE(1 | 3).
bool read_fixed_options(host::TokenStream& ts, model::Command& cmd, host::Engine& e) {
  while (!ts.at_subcommand_end()) {
    const host::Token& t = ts.cur();
    if (is_keyword(t, "NOINT")) {
      cmd.has_intercept = false;
      ts.next();
    } else if (is_keyword(t, "SSTYPE")) {
      cmd.sstype = model::SumOfSquares::TypeIII;
      if (ts.next().sym != Sym::LParen) continue;
      const host::Token& v = ts.next();
      const bool whole = v.type == host::TokenType::Number && host::is_fuzzy_whole(v.value);
      if (!whole || (to_count(v.value) != 1 && to_count(v.value) != 3))
        return fail_here(ts, e, model::Msg::MissingSstypeValueInFixed);
      cmd.sstype = to_count(v.value) == 1 ? model::SumOfSquares::TypeI : model::SumOfSquares::TypeIII;
      if (ts.next().sym != Sym::RParen) return fail_here(ts, e, model::Msg::MissingSstypeValueInFixed);
      ts.next();
    } else {
      return fail_here(ts, e, model::Msg::UnrecognizedKeywordInFixed);
    }
  }
  return false;
}

// Adds the written effects to the table after the intercept row, refusing an
// effect identical or functionally the same as an earlier one.
bool add_fixed_effects(const model::EffectTable& written, model::Command& cmd, host::Engine& e) {
  const int n_factors = cmd.n_factors();
  EffectIndex index(n_factors);
  for (std::size_t r = 0; r < cmd.fixed.rows(); ++r) index.add(cmd.fixed.row(r), r);
  const auto name = [&](std::span<const int> row) {
    return host::TextGroup{effect_name(row, cmd, e.data, e.catalogue)};
  };
  for (std::size_t r = 0; r < written.rows(); ++r) {
    const std::span<const int> row = written.row(r);
    if (const auto* earlier = index.matches(row)) {
      const std::span<const int> first = cmd.fixed.row(earlier->front());
      if (compare_effects(first, row, n_factors) == 1) {
        model::issue(e.out, Severity::Error, Text::key("Duplicated FIXED effect [:^1:]1 ...").list({name(row)}));
      } else {
        model::issue(e.out, Severity::Error,
                     Text::key("Func same FIXED effect [:^1:]1 [:^1:]2 ...").list({name(first)}).list({name(row)}));
      }
      return true;
    }
    index.add(row, cmd.fixed.rows());
    cmd.fixed.add_row(row);
  }
  return false;
}

// The content of one FIXED subcommand, from the first token after its name and
// equals sign.
bool parse_fixed_content(host::TokenStream& ts, model::Command& cmd, host::Engine& e) {
  const int width = cmd.n_factors() + cmd.n_covariates();
  cmd.fixed = model::EffectTable{width, {}};
  cmd.sstype = model::SumOfSquares::TypeIII;
  cmd.has_intercept = true;
  const bool intercept_written = is_word(ts.cur(), "INTERCEPT");
  if (intercept_written) ts.next();

  model::EffectTable written{width, {}};
  std::vector<int> row(width);
  while (!ts.at_subcommand_end() && ts.cur().sym != Sym::Bar) {
    if (read_effect_term(ts, cmd, e, row)) return true;
    written.add_row(row);
  }
  if (ts.cur().sym == Sym::Bar) {
    ts.next();
    if (read_fixed_options(ts, cmd, e)) return true;
  }
  if (intercept_written && !cmd.has_intercept)
    model::issue_message(e.out, model::Msg::InterceptAndNointInFixed, model::kOtherClass, Severity::Warning);

  if (cmd.has_intercept) cmd.fixed.add_row(std::vector<int>(width, 0));
  return add_fixed_effects(written, cmd, e);
}

}  // namespace

int parse_fixed(host::TokenStream& ts, model::Command& cmd, host::Engine& e) {
  const std::size_t start = ts.pos();
  std::optional<std::size_t> chosen;
  while (!ts.at_end()) {
    if (ts.cur().sym == Sym::Slash) ts.next();
    if (subcommand_index(ts.cur()) == kFixed) {
      const std::size_t name = ts.pos();
      ts.next();
      if (ts.cur().sym == Sym::Equals) ts.next();
      if (ts.cur().sym == Sym::Bar) ts.next();
      const bool empty = ts.at_subcommand_end();
      ts.seek(name);
      if (empty) {
        syntax_warning(e, model::Msg::EmptySubcommand, ts.cur());
      } else {
        if (chosen) syntax_warning(e, model::Msg::LastRepeatedSubcommandUsed, ts.cur());
        chosen = name;
      }
      ts.next();
    }
    ts.skip_subcommand();
  }

  const int width = cmd.n_factors() + cmd.n_covariates();
  int result = -1;
  if (!chosen) {
    cmd.fixed = model::EffectTable{width, {}};
    cmd.fixed.add_row(std::vector<int>(width, 0));
    cmd.has_intercept = true;
    cmd.sstype = model::SumOfSquares::TypeIII;
  } else {
    ts.seek(*chosen);
    ts.next();
    if (ts.cur().sym == Sym::Equals) ts.next();
    result = parse_fixed_content(ts, cmd, e) ? 1 : 0;
  }
  if (result != 1) cmd.fixed_kind = model_kind(cmd.fixed, cmd.n_factors());
  ts.seek(start);
  return result;
}

}  // namespace mixed::syntax
