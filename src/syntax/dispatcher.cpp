#include "syntax/dispatcher.h"

#include <array>
#include <new>
#include <stdexcept>

#include "model/messages.h"
#include "syntax/criteria.h"
#include "syntax/emmeans_syntax.h"
#include "syntax/fixed.h"
#include "syntax/outfile.h"
#include "syntax/parse_support.h"
#include "syntax/postprocess.h"
#include "syntax/random.h"
#include "syntax/save_syntax.h"
#include "syntax/simple_subcommands.h"
#include "syntax/test_syntax.h"
#include "syntax/varlist.h"

namespace mixed::syntax {

namespace {

using host::Sym;

// Steps over the subcommand name at the current token and an equals sign.
void step_over_name(host::TokenStream& ts) {
  ts.next();
  if (ts.cur().sym == Sym::Equals) ts.next();
}

void call_parser(int index, host::TokenStream& ts, model::Command& cmd, host::Engine& e) {
  switch (index) {
    case kCriteria: parse_criteria(ts, cmd, e); break;
    case kMethod: parse_method(ts, cmd, e); break;
    case kMissing: parse_missing(ts, cmd, e); break;
    case kPrint: parse_print(ts, cmd, e); break;
    case kRegwgt: parse_regwgt(ts, cmd, e); break;
    case kRepeated: parse_repeated(ts, cmd, e); break;
    case kSave: parse_save(ts, cmd, e); break;
    case kTest: parse_test(ts, cmd, e); break;
    case kEmmeans: parse_emmeans(ts, cmd, e); break;
    case kOutfile: parse_outfile(ts, cmd, e); break;
    default: break;
  }
}

// The command from the first token of its variable list; returns after the
// first error, else after the post-processing.
void read_command(host::TokenStream& ts, model::Command& cmd, host::Engine& e) {
  const int errors = e.out.error_count();
  const auto failed = [&] { return e.out.error_count() > errors; };
  std::array<bool, kOutfile + 1> seen{};

  if (read_variable_list(ts, cmd, e) || failed()) return;
  const int fixed = parse_fixed(ts, cmd, e);
  if (fixed == 1 || failed()) return;
  seen[kFixed] = fixed == 0;
  if (parse_random(ts, cmd, e) == 1 || failed()) return;

  if (ts.cur().sym == Sym::Slash) ts.next();
  while (!ts.at_end()) {
    const int index = subcommand_index(ts.cur());
    if (index == 0) {
      syntax_error(e, model::Msg::UnrecognizedSubcommand, ts.cur());
      return;
    }
    const std::size_t name = ts.pos();
    if (index == kFixed || index == kRandom) {
      ts.skip_subcommand();
    } else {
      step_over_name(ts);
      if (ts.at_subcommand_end()) {
        ts.seek(name);
        syntax_warning(e, model::Msg::EmptySubcommand, ts.cur());
        step_over_name(ts);
      } else if (!seen[index]) {
        seen[index] = true;
        call_parser(index, ts, cmd, e);
      } else {
        if (index < kTest) {
          ts.seek(name);
          syntax_warning(e, model::Msg::LastRepeatedSubcommandUsed, ts.cur());
          step_over_name(ts);
        }
        call_parser(index, ts, cmd, e);
      }
    }
    if (failed()) return;
    ts.skip_subcommand();
    if (ts.cur().sym == Sym::Slash) ts.next();
  }
  postprocess_syntax(cmd, e);
}

}  // namespace

void parse_command(host::TokenStream& ts, model::Command& cmd, host::Engine& e) {
  try {
    read_command(ts, cmd, e);
  } catch (const std::bad_alloc&) {
    model::issue_message(e.out, model::Msg::InsufficientParseMemory, model::kOtherClass, host::Severity::Error);
  } catch (const std::length_error&) {
    model::issue_message(e.out, model::Msg::InsufficientParseMemory, model::kOtherClass, host::Severity::Error);
  }
}

}  // namespace mixed::syntax
