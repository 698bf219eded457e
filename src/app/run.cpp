#include "app/run.h"

#include <optional>
#include <utility>
#include <vector>

#include "driver/mixctl.h"
#include "host/tokens.h"
#include "model/messages.h"

namespace mixed::app {
namespace {

void report_syntax_problem(host::Output& out, host::Severity severity, host::Text text) {
  out.message(severity, std::nullopt, std::move(text), model::kSyntaxClass);
}

// Reports the problems found while splitting the file; true when one is an error.
bool report_lex_problems(const std::vector<host::LexProblem>& problems, host::Output& out) {
  bool any_error = false;
  for (const host::LexProblem& p : problems) {
    host::Text t = host::Text::key("Command file line ^1: ^2");
    t.arg(host::Text::integer(p.line)).arg(host::Text::raw(p.text));
    report_syntax_problem(out, p.error ? host::Severity::Error : host::Severity::Warning, std::move(t));
    any_error = any_error || p.error;
  }
  return any_error;
}

void run_commands(std::vector<host::Command>& commands, host::Engine& engine) {
  for (host::Command& c : commands) {
    if (!host::keyword_matches(c.name, "MIXED")) {
      host::Text t = host::Text::key("Unrecognized command ^1 at line ^2 ...");
      t.arg(host::Text::raw(c.name)).arg(host::Text::integer(c.line));
      report_syntax_problem(engine.out, host::Severity::Error, std::move(t));
      continue;
    }
    host::TokenStream tokens(std::move(c.tokens));
    engine.out.clear_error_flag();
    driver::run_mixed_command(tokens, engine);
    if (host::interrupted()) break;
  }
}

}  // namespace

void run_command_file(std::string_view command_text, host::Engine& engine) {
  std::vector<host::LexProblem> problems;
  std::vector<host::Command> commands = host::read_commands(command_text, problems);
  bool lex_errors = report_lex_problems(problems, engine.out);
  if (commands.empty() && problems.empty()) {
    report_syntax_problem(engine.out, host::Severity::Error, host::Text::key("The command file holds no command ..."));
  }
  if (!lex_errors) run_commands(commands, engine);
}

}  // namespace mixed::app
