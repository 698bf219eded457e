#include "syntax/parse_support.h"

#include <climits>
#include <cmath>

#include "model/messages.h"

namespace mixed::syntax {

int subcommand_index(const host::Token& t) {
  if (t.type != host::TokenType::Name || t.quoted) return 0;
  return host::keyword_index(t.text, {"CRITERIA", "FIXED", "METHOD", "MISSING", "PRINT", "RANDOM", "REGWGT", "REPEATED",
                                      "SAVE", "TEST", "EMMEANS", "OUTFILE"});
}

void syntax_error(host::Engine& e, model::Msg message, const host::Token& at) {
  model::issue_message(e.out, message, model::kSyntaxClass, host::Severity::Error, at.text);
}

void syntax_warning(host::Engine& e, model::Msg message, const host::Token& at) {
  model::issue_message(e.out, message, model::kSyntaxClass, host::Severity::Warning, at.text);
}

bool fail_here(host::TokenStream& ts, host::Engine& e, model::Msg message) {
  syntax_error(e, message, ts.cur());
  ts.skip_subcommand();
  return true;
}

host::Text variable_text(const host::Dataset& data, std::size_t var) {
  return host::Text::variable(data.var(var).name);
}

std::vector<host::TextGroup> variable_groups(const host::Dataset& data, std::span<const std::size_t> vars) {
  std::vector<host::TextGroup> groups;
  groups.reserve(vars.size());
  for (std::size_t v : vars) groups.push_back({variable_text(data, v)});
  return groups;
}

int to_count(double v) {
  const double r = std::nearbyint(v);
  if (r >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (r <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(r);
}

bool is_word(const host::Token& t, std::string_view word) {
  return t.type == host::TokenType::Name && !t.quoted && host::iequals(t.text, word);
}

}  // namespace mixed::syntax
