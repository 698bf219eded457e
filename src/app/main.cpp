// mixed: runs the MIXED commands of a command file against a data set and
// writes the report as plain text (stdout), HTML and JSON.
//
// Exit status: 0 when no error-severity message was issued, 1 when one was,
// 2 for a problem with the command line or with a file.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "model/messages.h"
#include "driver/mixctl.h"
#include "host/catalogue.h"
#include "host/dataset.h"
#include "host/engine.h"
#include "host/files.h"
#include "host/output.h"
#include "host/scratch.h"
#include "host/tokens.h"
#include "host/writers.h"

namespace {

constexpr const char* kVersion = "0.1.0";

using namespace mixed;

int file_problem(const std::string& what) {
  std::cerr << "mixed: " << what << "\n";
  return 2;
}

// Parses a memory size such as 512M, 2G, 64k or a plain number of bytes.
std::optional<std::size_t> parse_size(const std::string& text) {
  if (text.empty()) return std::nullopt;
  std::size_t used = 0;
  double v = 0;
  try {
    v = std::stod(text, &used);
  } catch (...) {
    return std::nullopt;
  }
  std::string unit = text.substr(used);
  double scale = 1;
  if (unit == "k" || unit == "K" || unit == "KB") scale = 1024.0;
  else if (unit == "m" || unit == "M" || unit == "MB") scale = 1024.0 * 1024;
  else if (unit == "g" || unit == "G" || unit == "GB") scale = 1024.0 * 1024 * 1024;
  else if (!unit.empty()) return std::nullopt;
  if (!(v > 0) || v * scale > 1e18) return std::nullopt;
  return static_cast<std::size_t>(v * scale);
}

std::vector<std::string> split_names(const std::string& list) {
  std::vector<std::string> names;
  std::string cur;
  for (char c : list) {
    if (c == ',' || c == ' ') {
      if (!cur.empty()) names.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) names.push_back(cur);
  return names;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "mixed fits linear mixed models: it runs the MIXED commands of COMMANDS against a data\n"
      "set and reports the model dimension, information criteria, tests of fixed effects with\n"
      "Satterthwaite degrees of freedom and covariance parameter estimates (and, as PRINT asks,\n"
      "much more) as a text report on standard output and, on request, HTML and JSON.\n\n"
      "Exit status: 0 no error, 1 an error message was issued, 2 a problem with the command\n"
      "line or a file.",
      "mixed"};
  std::string data_path, dict_path, weight, split, json_path, html_path, text_path, save_path,
      workspace, commands_path;
  bool quiet = false, timing = false;
  app.add_option("commands", commands_path, "File of MIXED commands, each ending with a period")
      ->required();
  app.add_option("--data", data_path, "Data set: a CSV file with a header row")->required();
  app.add_option("--dict", dict_path,
                 "Dictionary file (JSON) with formats, labels, value labels, missing values, the\n"
                 "weight and split variables; default: NAME.dict.json beside NAME.csv when present");
  app.add_option("--weight", weight, "Case (frequency) weight variable");
  app.add_option("--split", split, "Split variables, comma-separated; the file should be sorted by them");
  app.add_option("--json", json_path, "Write the output document as JSON to this file");
  app.add_option("--html", html_path, "Write the report as a self-contained HTML page to this file");
  app.add_option("--text", text_path, "Write the text report to this file instead of standard output");
  app.add_option("--save-data", save_path, "Write the data set, with the variables SAVE adds, as CSV");
  app.add_option("--workspace", workspace, "Memory budget of the procedure, e.g. 512M or 4G\n"
                                           "(default: three quarters of the machine's memory)");
  app.add_flag("-q,--quiet", quiet, "Do not write the text report to standard output");
  app.add_flag("--timing", timing,
               "Report, per split group, stage times, iterations, likelihood evaluations and\n"
               "peak memory as JSON lines on standard error (for benchmarks)");
  app.set_version_flag("--version", kVersion);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& err) {
    int rc = app.exit(err);
    return rc == 0 ? 0 : 2;
  }

  std::size_t budget = host::Scratch::default_budget();
  if (!workspace.empty()) {
    auto b = parse_size(workspace);
    if (!b) return file_problem("--workspace: '" + workspace + "' is not a memory size (e.g. 512M, 2G)");
    budget = *b;
  }

  std::string error;
  std::optional<host::Dataset> data = host::read_csv(data_path, error);
  if (!data) return file_problem(error);
  if (dict_path.empty()) {
    std::filesystem::path p(data_path);
    if (p.extension() == ".csv") {
      std::filesystem::path guess = p;
      guess.replace_extension(".dict.json");
      if (std::filesystem::exists(guess)) dict_path = guess.string();
    }
  }
  if (!dict_path.empty() && !host::apply_dictionary(*data, dict_path, error)) return file_problem(error);
  if (!weight.empty()) {
    auto w = data->find(weight);
    if (!w) return file_problem("--weight: the data set has no variable '" + weight + "'");
    if (!data->var(*w).numeric()) return file_problem("--weight: '" + weight + "' is not numeric");
    data->set_weight(w);
  }
  if (!split.empty()) {
    std::vector<std::size_t> vars;
    for (const std::string& name : split_names(split)) {
      auto v = data->find(name);
      if (!v) return file_problem("--split: the data set has no variable '" + name + "'");
      vars.push_back(*v);
    }
    data->set_split(std::move(vars));
  }

  std::optional<std::string> command_text = host::read_file(commands_path, error);
  if (!command_text) return file_problem(error);

  host::install_interrupt_handler();
  host::Output out;
  host::Scratch scratch(budget);
  host::Progress progress(isatty(STDERR_FILENO) != 0);
  const host::Catalogue& catalogue = host::Catalogue::english();
  host::Engine engine{out, *data, scratch, catalogue, progress, timing};

  std::vector<host::LexProblem> problems;
  std::vector<host::Command> commands = host::read_commands(*command_text, problems);
  for (const host::LexProblem& p : problems) {
    host::Text t = host::Text::key("Command file line ^1: ^2");
    t.arg(host::Text::integer(p.line)).arg(host::Text::raw(p.text));
    out.message(p.error ? host::Severity::Error : host::Severity::Warning, std::nullopt, std::move(t),
                mixed::model::kSyntaxClass);
  }
  bool lex_errors = false;
  for (const host::LexProblem& p : problems) lex_errors = lex_errors || p.error;
  if (commands.empty() && problems.empty()) {
    out.message(host::Severity::Error, std::nullopt, host::Text::key("The command file holds no command ..."),
                mixed::model::kSyntaxClass);
  }
  if (!lex_errors) {
    for (host::Command& c : commands) {
      if (!host::keyword_matches(c.name, "MIXED")) {
        host::Text t = host::Text::key("Unrecognized command ^1 at line ^2 ...");
        t.arg(host::Text::raw(c.name)).arg(host::Text::integer(c.line));
        out.message(host::Severity::Error, std::nullopt, std::move(t), mixed::model::kSyntaxClass);
        continue;
      }
      host::TokenStream tokens(std::move(c.tokens));
      out.clear_error_flag();
      mixed::driver::run_mixed_command(tokens, engine);
      if (host::interrupted()) break;
    }
  }

  int status = out.error_count() > 0 ? 1 : 0;
  std::string text = host::write_text(out, catalogue);
  if (!text_path.empty()) {
    if (!host::write_file_atomic(text_path, text, error)) status = file_problem(error);
  } else if (!quiet) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }
  if (!json_path.empty() && !host::write_file_atomic(json_path, host::write_json(out, kVersion), error))
    status = file_problem(error);
  if (!html_path.empty() &&
      !host::write_file_atomic(html_path, host::write_html(out, catalogue, commands_path), error))
    status = file_problem(error);
  if (!save_path.empty() && !host::write_csv(*data, save_path, error)) status = file_problem(error);
  return status;
}
