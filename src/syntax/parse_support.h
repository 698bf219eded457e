// Helpers shared by the subcommand parsers: the subcommand table, the report of
// a syntax message at the current token, variable names as output texts, and
// the whole-number test of numeric keyword values.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "host/dataset.h"
#include "host/engine.h"
#include "host/text.h"
#include "host/tokens.h"
#include "model/message_ids.h"

namespace mixed::syntax {

// Subcommands by their 1-based place in the dispatcher's table.
enum Subcommand : int {
  kCriteria = 1,
  kFixed,
  kMethod,
  kMissing,
  kPrint,
  kRandom,
  kRegwgt,
  kRepeated,
  kSave,
  kTest,
  kEmmeans,
  kOutfile,
};

// The place of the token in the subcommand table (CRITERIA ... OUTFILE, names
// abbreviated to three or more letters allowed), 0 when it names none.
int subcommand_index(const host::Token& t);

// Catalogue message `number` as a syntax error (class 3, severity 3) whose ^1
// is the text of `at`.
void syntax_error(host::Engine& e, model::Msg message, const host::Token& at);
// The same as a warning (class 3, severity 2).
void syntax_warning(host::Engine& e, model::Msg message, const host::Token& at);

// Syntax error at the current token, then the stream skipped to the end of the
// subcommand.  Returns true, the parsers' error result.
bool fail_here(host::TokenStream& ts, host::Engine& e, model::Msg message);

// A variable of the dictionary as an output text (its name).
host::Text variable_text(const host::Dataset& data, std::size_t var);
// A "[%1:, ^1:]1" list: one group per variable.
std::vector<host::TextGroup> variable_groups(const host::Dataset& data, std::span<const std::size_t> vars);

// A whole number (is_fuzzy_whole) as an int, larger values held at the largest int.
int to_count(double v);

// The token is a name as the user wrote it (not a quoted string) equal to
// `word` without regard to case.
bool is_word(const host::Token& t, std::string_view word);

}  // namespace mixed::syntax
