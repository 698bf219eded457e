#include "syntax/varlist.h"

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/messages.h"
#include "syntax/parse_support.h"

namespace mixed::syntax {

namespace {

using host::Severity;
using host::Sym;
using host::Text;

enum ListKind { kDependent = 1, kFactors, kCovariates };

// DICSCH over the whole dictionary, built once per variable list so that a long
// list costs its length, not its length times the dictionary's.
class NameIndex {
 public:
  explicit NameIndex(const host::Dataset& data) {
    for (std::size_t i = 0; i < data.n_variables(); ++i) index_.emplace(host::upper(data.var(i).name), i);
  }
  std::optional<std::size_t> find(std::string_view name) const {
    const auto it = index_.find(host::upper(name));
    if (it == index_.end()) return std::nullopt;
    return it->second;
  }

 private:
  std::unordered_map<std::string, std::size_t> index_;
};

// The token ends a list of variables.
bool ends_list(const host::Token& t) {
  return t.type == host::TokenType::End || t.sym == Sym::Slash || t.sym == Sym::By || t.sym == Sym::With;
}

// PRVRLT: the variables named from the current token up to BY, WITH, a slash or
// the end.  An empty list or a token that is not a variable name gives message
// 16, an undefined name the engine's undefined-variable error.
bool expand_list(host::TokenStream& ts, host::Engine& e, const NameIndex& names, std::vector<std::size_t>& vars) {
  if (ends_list(ts.cur())) {
    syntax_error(e, model::Msg::IncorrectlyPlacedSymbol, ts.cur());
    return true;
  }
  for (; !ends_list(ts.cur()); ts.next()) {
    const host::Token& t = ts.cur();
    if (t.type != host::TokenType::Name || t.quoted || !host::is_valid_variable_name(t.text)) {
      syntax_error(e, model::Msg::IncorrectlyPlacedSymbol, t);
      return true;
    }
    const auto var = names.find(t.text);
    if (!var) {
      model::issue(e.out, Severity::Error, Text::key("Undefined variable ^1 ...").arg(Text::raw(t.text)),
                   model::kSyntaxClass);
      return true;
    }
    vars.push_back(*var);
  }
  return false;
}

// Reads one list of the given kind into `vars` (duplicates dropped, with the
// warning) and checks its roles; returns true after an error.
bool read_list(host::TokenStream& ts, host::Engine& e, const NameIndex& names, ListKind kind,
               std::vector<std::size_t>& vars) {
  std::vector<std::size_t> written;
  if (expand_list(ts, e, names, written)) return true;

  // LEVUNQ: keep the first occurrence of each variable.
  std::vector<char> seen(e.data.n_variables(), 0);
  std::vector<std::size_t> repeated;
  vars.clear();
  for (std::size_t v : written) {
    if (seen[v] == 0)
      vars.push_back(v);
    else if (seen[v] == 1)
      repeated.push_back(v);
    seen[v] = static_cast<char>(std::min(seen[v] + 1, 2));
  }
  if (!repeated.empty()) {
    static constexpr std::string_view kTexts[] = {"Duplicated dependent [%1:, ^1:]1 ...",
                                                  "Duplicated factor [%1:, ^1:]1 ...",
                                                  "Duplicated covariate [%1:, ^1:]1 ..."};
    model::issue(e.out, Severity::Warning, Text::key(kTexts[kind - 1]).list(variable_groups(e.data, repeated)));
  }

  if (kind == kDependent) {
    if (vars.size() > 1) {
      syntax_error(e, model::Msg::MoreThanOneDependentVariable, ts.cur());
      return true;
    }
    if (!e.data.var(vars[0]).numeric()) {
      model::issue(e.out, Severity::Error,
                   Text::key("non-numeric name dependent variable ^1 ...").arg(variable_text(e.data, vars[0])));
      return true;
    }
  }
  if (kind == kCovariates) {
    std::vector<std::size_t> strings;
    for (std::size_t v : vars)
      if (!e.data.var(v).numeric()) strings.push_back(v);
    if (!strings.empty()) {
      model::issue(
          e.out, Severity::Error,
          Text::key("non-numeric names covariate list [%1:, ^1:]1 ...").list(variable_groups(e.data, strings)));
      return true;
    }
  }
  return false;
}

bool contains(const std::vector<std::size_t>& list, std::size_t v) {
  return std::find(list.begin(), list.end(), v) != list.end();
}

// The three role checks; returns true when one failed.
bool check_roles(const model::Command& cmd, host::Engine& e) {
  bool failed = false;
  const std::vector<host::TextGroup> dependent = {{variable_text(e.data, cmd.dependent)}};
  if (contains(cmd.factors, cmd.dependent)) {
    model::issue(e.out, Severity::Error, Text::key("Same dependent and factor [:^1:]1 ...").list(dependent));
    failed = true;
  }
  if (contains(cmd.covariates, cmd.dependent)) {
    model::issue(e.out, Severity::Error, Text::key("Same dependent and covariate [:^1:]1 ...").list(dependent));
    failed = true;
  }
  std::vector<std::size_t> both;
  for (std::size_t f : cmd.factors)
    if (contains(cmd.covariates, f)) both.push_back(f);
  if (!both.empty()) {
    model::issue(e.out, Severity::Error,
                 Text::key("Same factor and covariate [%1:, ^1:]1 ...").list(variable_groups(e.data, both)));
    failed = true;
  }
  return failed;
}

bool read_lists(host::TokenStream& ts, model::Command& cmd, host::Engine& e) {
  const NameIndex names(e.data);
  std::vector<std::size_t> dependent;
  if (read_list(ts, e, names, kDependent, dependent)) return true;
  cmd.dependent = dependent[0];
  cmd.factors.clear();
  cmd.covariates.clear();
  bool by = false, with = false;
  while (!ts.at_subcommand_end()) {
    const host::Token& t = ts.cur();
    if (t.sym == Sym::By) {
      if (by) return syntax_error(e, model::Msg::RepeatedByInVariableList, t), true;
      by = true;
      ts.next();
      if (read_list(ts, e, names, kFactors, cmd.factors)) return true;
    } else if (t.sym == Sym::With) {
      if (with) return syntax_error(e, model::Msg::RepeatedWithInVariableList, t), true;
      with = true;
      ts.next();
      if (read_list(ts, e, names, kCovariates, cmd.covariates)) return true;
    } else {
      syntax_error(e, model::Msg::IncorrectlyPlacedSymbol, t);
      return true;
    }
  }
  return check_roles(cmd, e);
}

}  // namespace

bool read_variable_list(host::TokenStream& ts, model::Command& cmd, host::Engine& e) {
  const bool failed = read_lists(ts, cmd, e);
  while (!ts.at_end() && ts.cur().sym != Sym::Slash) ts.next();
  return failed;
}

}  // namespace mixed::syntax
