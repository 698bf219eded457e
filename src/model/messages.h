// The message catalogues: issue_message issues the numbered messages 1 to 118,
// issue_split_warning the split-aware warnings 1000 to 1009 (both named by
// model::Msg, message_ids.h), and issue() the list-valued
// messages that stages build themselves.  Every message reaches the output as
// a Text whose template is the catalogue text, exactly as written there; an
// error-severity message sets the engine error flag.
#pragma once

#include <string_view>
#include <vector>

#include "host/output.h"
#include "host/text.h"
#include "model/message_ids.h"

namespace mixed::model {

// Message class: 3 for the catalogue messages the subcommand parsers raise, 2
// for every other message.
inline constexpr int kSyntaxClass = 3;
inline constexpr int kOtherClass = 2;

// The catalogue text of a numbered message (1..118), or "" when there is none.
std::string_view message_text(Msg message);

// The plain (split == false) or split text of a split-aware warning
// (1000..1009), or "" when there is none.
std::string_view split_warning_text(Msg warning, bool split);

// Issues a numbered message; `token` fills ^1 when the text has one (the
// too-long file name takes 255 as ^1 and the token as ^2).  A message outside
// the catalogue issues nothing.
void issue_message(host::Output& out, Msg message, int msg_class, host::Severity severity, std::string_view token = {});

// Issues a split-aware warning, with the split list when the data are split.
void issue_split_warning(host::Output& out, Msg warning, int msg_class = kOtherClass,
                         host::Severity severity = host::Severity::Warning);

// A message built outside the catalogues (list-valued texts and the like).
void issue(host::Output& out, host::Severity severity, host::Text text, int msg_class = kOtherClass);

// stop_if_interrupted: true once the user has pressed Ctrl-C.  The first call that finds it
// issues the error "Procedure interrupted by the user ..." (which sets the
// engine error flag), so that the stage in hand stops and the driver skips the
// rest; later calls only answer true.
bool stop_if_interrupted(host::Output& out);

// An internal consistency check: when `condition` is false, reports the function
// and the condition, as written in C++, as an error (the program's own logic is
// at fault, never the user's data); the caller goes on.  Returns `condition`.
// Use it through MIXED_INVARIANT, which supplies the function and the text.
bool check_invariant(host::Output& out, bool condition, std::string_view function, std::string_view text);
#define MIXED_INVARIANT(out, condition) \
  ::mixed::model::check_invariant((out), static_cast<bool>(condition), __func__, #condition)

// A one-item list "[:^1:]1" parameter holding `items` (for effect names) or a
// "[%1:, ^1:]1" list of variable names: each item is one group of one text.
std::vector<host::TextGroup> one_per_group(const std::vector<host::Text>& items);

}  // namespace mixed::model
