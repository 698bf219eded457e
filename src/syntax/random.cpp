#include "syntax/random.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "model/messages.h"
#include "syntax/effects.h"
#include "syntax/parse_support.h"

namespace mixed::syntax {

namespace {

using host::Severity;
using host::Sym;
using host::Text;

constexpr std::string_view kCovTypes[] = {"ARMA11", "AD1", "AR1", "ARH1", "CS",  "CSH", "CSR", "DIAG", "FA1",
                                          "FAH1",   "HF",  "ID",  "TP",   "TPH", "UN",  "UNR", "VC"};

// The option messages of RANDOM and of REPEATED.
struct OptionMessages {
  model::Msg subject, covtype, other;
};
constexpr OptionMessages kRandomMessages{model::Msg::InvalidRandomSubject, model::Msg::UnrecognizedRandomCovtype,
                                         model::Msg::UnrecognizedRandomSubcov};
constexpr OptionMessages kRepeatedMessages{model::Msg::InvalidRepeatedSubject, model::Msg::UnrecognizedRepeatedCovtype,
                                           model::Msg::UnrecognizedRepeatedSubcov};

bool contains(const std::vector<std::size_t>& list, std::size_t v) {
  return std::find(list.begin(), list.end(), v) != list.end();
}

// The variables of `list` that are also in `other`, in the order of `list`.
std::vector<std::size_t> common(const std::vector<std::size_t>& list, const std::vector<std::size_t>& other) {
  std::vector<std::size_t> both;
  for (std::size_t v : list)
    if (contains(other, v)) both.push_back(v);
  return both;
}

// Subject list reader: variable names separated by blanks or asterisks up to a
// right parenthesis, a slash, the vertical bar or the end, a repeated name
// dropped.  Returns 0, or 1 for a token that is not a valid variable name, 2
// for a name that is not in the dictionary (the stream is left at that token).
int read_subject_list(host::TokenStream& ts, const host::Dataset& data, std::vector<std::size_t>& list) {
  list.clear();
  for (; !ts.at_subcommand_end() && ts.cur().sym != Sym::RParen && ts.cur().sym != Sym::Bar; ts.next()) {
    const host::Token& t = ts.cur();
    if (t.sym == Sym::Asterisk) continue;
    if (t.type != host::TokenType::Name || t.quoted || !host::is_valid_variable_name(t.text)) return 1;
    const auto var = data.find(t.text);
    if (!var) return 2;
    if (!contains(list, *var)) list.push_back(*var);
  }
  return 0;
}

// The options after the vertical bar of RANDOM or REPEATED.
struct Options {
  bool subject_given = false;
  std::vector<std::size_t> subjects;
  std::optional<covstruct::CovType> covtype;  // none when COVTYPE was not written
};

bool read_options(host::TokenStream& ts, host::Engine& e, const OptionMessages& m, Options& o) {
  while (!ts.at_subcommand_end()) {
    const host::Token& t = ts.cur();
    if (is_keyword(t, "SUBJECT")) {
      if (ts.next().sym != Sym::LParen) return fail_here(ts, e, m.subject);
      ts.next();
      std::vector<std::size_t> list;
      if (read_subject_list(ts, e.data, list) != 0 || list.empty() || ts.cur().sym != Sym::RParen)
        return fail_here(ts, e, m.subject);
      o.subject_given = true;
      o.subjects = std::move(list);
      ts.next();
    } else if (is_keyword(t, "COVTYPE")) {
      if (ts.next().sym != Sym::LParen) return fail_here(ts, e, m.covtype);
      const host::Token& k = ts.next();
      const int code = k.type == host::TokenType::Name && !k.quoted ? host::keyword_index(k.text, kCovTypes) : 0;
      if (code == 0) return fail_here(ts, e, m.covtype);
      if (ts.next().sym != Sym::RParen) return fail_here(ts, e, m.covtype);
      o.covtype = static_cast<covstruct::CovType>(code);
      ts.next();
    } else {
      return fail_here(ts, e, m.other);
    }
  }
  return false;
}

// One RANDOM subcommand, from its first effect: the effects up to the vertical
// bar, then the options.
bool read_random(host::TokenStream& ts, const model::Command& cmd, host::Engine& e, model::RandomSubcommand& r) {
  const int width = cmd.n_factors() + cmd.n_covariates();
  r = model::RandomSubcommand{};
  r.effects.width = width;
  r.cov_type = covstruct::VC;
  std::vector<int> row(width);
  while (!ts.at_subcommand_end() && ts.cur().sym != Sym::Bar) {
    if (read_effect_term(ts, cmd, e, row)) return true;
    r.effects.add_row(row);
  }
  if (ts.cur().sym != Sym::Bar) return false;
  ts.next();
  Options o;
  if (read_options(ts, e, kRandomMessages, o)) return true;
  if (o.covtype) {
    r.cov_type = *o.covtype == covstruct::VC_PARSE ? covstruct::VC : *o.covtype;
    r.covtype_written = true;
  }
  r.subjects = std::move(o.subjects);
  return false;
}

void reset_random(model::Command& cmd) {
  cmd.random_subcommands.clear();
  cmd.random = model::EffectTable{cmd.n_factors() + cmd.n_covariates(), {}};
  cmd.random_subject_counts.clear();
  cmd.random_subject_lists.clear();
  cmd.random_types.clear();
  cmd.random_effect_block.clear();
  cmd.random_effect_subcommand.clear();
  cmd.rnd_signed_count.clear();
  cmd.n_random_blocks = 0;
  cmd.random_kind = model::TermKinds::FactorsAndCovariates;
  cmd.subject_vars.clear();
  cmd.n_common_subjects = 0;
}

// Lays the subcommands out per random effect, refusing an effect identical or
// functionally the same as an earlier one with the same set of subjects.
bool lay_out_effects(model::Command& cmd, host::Engine& e) {
  const int n_factors = cmd.n_factors();
  EffectIndex index(n_factors);
  std::vector<std::vector<std::size_t>> subject_sets;
  const auto name = [&](std::span<const int> row) {
    return host::TextGroup{effect_name(row, cmd, e.data, e.catalogue)};
  };
  for (std::size_t k = 0; k < cmd.random_subcommands.size(); ++k) {
    const model::RandomSubcommand& sub = cmd.random_subcommands[k];
    subject_sets.push_back(sub.subjects);
    std::sort(subject_sets.back().begin(), subject_sets.back().end());
    const std::size_t n = sub.effects.rows();
    for (std::size_t i = 0; i < n; ++i) {
      const std::span<const int> row = sub.effects.row(i);
      if (const auto* earlier = index.matches(row)) {
        for (std::size_t j : *earlier) {
          if (subject_sets[cmd.random_effect_subcommand[j]] != subject_sets[k]) continue;
          const std::span<const int> first = cmd.random.row(j);
          if (compare_effects(first, row, n_factors) == 1)
            model::issue(e.out, Severity::Error, Text::key("Duplicated RANDOM effect [:^1:]1 ...").list({name(row)}));
          else
            model::issue(
                e.out, Severity::Error,
                Text::key("Func same RANDOM effect [:^1:]1 [:^1:]2 ...").list({name(first)}).list({name(row)}));
          return true;
        }
      }
      index.add(row, cmd.random.rows());
      cmd.random.add_row(row);
      cmd.random_subject_counts.push_back(static_cast<int>(sub.subjects.size()));
      cmd.random_subject_lists.push_back(sub.subjects);
      cmd.random_types.push_back(sub.cov_type);
      cmd.random_effect_block.push_back(sub.cov_type == covstruct::VC ? cmd.n_random_blocks + static_cast<int>(i)
                                                                      : cmd.n_random_blocks);
      cmd.random_effect_subcommand.push_back(static_cast<int>(k));
    }
    cmd.rnd_signed_count.push_back(sub.covtype_written ? static_cast<int>(n) : -static_cast<int>(n));
    cmd.n_random_blocks += sub.cov_type == covstruct::VC ? static_cast<int>(n) : 1;
  }
  return false;
}

// The union of the subject variables of all random effects, those common to
// every random effect first.
void collect_subjects(model::Command& cmd) {
  std::vector<std::size_t> all;
  for (const model::RandomSubcommand& sub : cmd.random_subcommands)
    for (std::size_t v : sub.subjects)
      if (!contains(all, v)) all.push_back(v);
  std::vector<std::size_t> shared;
  if (!cmd.random_subcommands.empty()) {
    for (std::size_t v : cmd.random_subcommands.front().subjects) {
      const bool everywhere =
          std::all_of(cmd.random_subcommands.begin(), cmd.random_subcommands.end(),
                      [&](const model::RandomSubcommand& sub) { return contains(sub.subjects, v); });
      if (everywhere) shared.push_back(v);
    }
  }
  cmd.n_common_subjects = static_cast<int>(shared.size());
  cmd.subject_vars = shared;
  for (std::size_t v : all)
    if (!contains(shared, v)) cmd.subject_vars.push_back(v);
}

}  // namespace

int parse_random(host::TokenStream& ts, model::Command& cmd, host::Engine& e) {
  const std::size_t start = ts.pos();
  reset_random(cmd);
  std::vector<std::size_t> contents;  // first token of each non-empty RANDOM
  while (!ts.at_end()) {
    if (ts.cur().sym == Sym::Slash) ts.next();
    if (subcommand_index(ts.cur()) == kRandom) {
      const std::size_t name = ts.pos();
      ts.next();
      if (ts.cur().sym == Sym::Equals) ts.next();
      if (ts.at_subcommand_end()) {
        ts.seek(name);
        syntax_warning(e, model::Msg::EmptySubcommand, ts.cur());
        ts.next();
      } else {
        contents.push_back(ts.pos());
      }
    }
    ts.skip_subcommand();
  }

  int result = -1;
  const std::vector<host::TextGroup> dependent = {{variable_text(e.data, cmd.dependent)}};
  for (std::size_t pos : contents) {
    ts.seek(pos);
    if (ts.cur().sym == Sym::Bar) {
      fail_here(ts, e, model::Msg::NoEffectsInRandom);
      result = 1;
      break;
    }
    model::RandomSubcommand r;
    if (read_random(ts, cmd, e, r)) {
      result = 1;
      break;
    }
    if (contains(r.subjects, cmd.dependent)) {
      model::issue(e.out, Severity::Error, Text::key("Same ran sub and dependent [:^1:]1 ...").list(dependent));
      result = 1;
      break;
    }
    cmd.random_subcommands.push_back(std::move(r));
  }
  if (result == -1) {
    if (lay_out_effects(cmd, e)) result = 1;
    if (cmd.n_random_effects() > 0) cmd.random_kind = model_kind(cmd.random, cmd.n_factors());
    collect_subjects(cmd);
  }
  ts.seek(start);
  return result;
}

bool parse_repeated(host::TokenStream& ts, model::Command& cmd, host::Engine& e) {
  cmd.repeated_given = true;
  cmd.repeated_type = covstruct::DIAG;
  cmd.repeated_vars.clear();
  cmd.repeated_subjects.clear();

  if (read_subject_list(ts, e.data, cmd.repeated_vars) != 0)
    return fail_here(ts, e, model::Msg::InvalidClassificationVariablesRepeated);
  if (cmd.repeated_vars.empty()) return fail_here(ts, e, model::Msg::NoClassificationVariablesRepeated);
  if (!ts.at_subcommand_end() && ts.cur().sym != Sym::Bar)
    return fail_here(ts, e, model::Msg::InvalidClassificationVariablesRepeated);
  if (contains(cmd.repeated_vars, cmd.dependent)) {
    model::issue(e.out, Severity::Error,
                 Text::key("Same rep var and dependent [:^1:]1 ...").list({{variable_text(e.data, cmd.dependent)}}));
    ts.skip_subcommand();
    return true;
  }

  Options o;
  if (ts.cur().sym == Sym::Bar) {
    ts.next();
    if (read_options(ts, e, kRepeatedMessages, o)) return true;
  }
  if (o.covtype) cmd.repeated_type = *o.covtype == covstruct::VC_PARSE ? covstruct::VC_REPEATED : *o.covtype;
  if (!o.subject_given) return fail_here(ts, e, model::Msg::NoSubjectInRepeated);
  cmd.repeated_subjects = std::move(o.subjects);

  bool failed = false;
  const auto report = [&](std::string_view text, const std::vector<std::size_t>& vars) {
    if (vars.empty()) return;
    model::issue(e.out, Severity::Error, Text::key(text).list(variable_groups(e.data, vars)));
    failed = true;
  };
  report("Same rep sub and rep var [%1:, ^1:]1 ...", common(cmd.repeated_subjects, cmd.repeated_vars));
  report("Same rep sub and dependent [:^1:]1 ...", common({cmd.dependent}, cmd.repeated_subjects));
  report("Same ran sub and rep var [%1:, ^1:]1 ...", common(cmd.subject_vars, cmd.repeated_vars));
  if (failed) return true;

  for (std::size_t v : cmd.subject_vars)
    if (!contains(cmd.repeated_subjects, v)) return fail_here(ts, e, model::Msg::RandomSubjectNotInRepeatedSubjects);
  return false;
}

}  // namespace mixed::syntax
