#include "app/options.h"

#include <CLI/CLI.hpp>

#include "app/exit_status.h"
#include "host/scratch.h"

namespace mixed::app {
namespace {

constexpr const char* kDescription =
    "mixed fits linear mixed models: it runs the MIXED commands of COMMANDS against a data\n"
    "set and reports the model dimension, information criteria, tests of fixed effects with\n"
    "Satterthwaite degrees of freedom and covariance parameter estimates (and, as PRINT asks,\n"
    "much more) as a text report on standard output and, on request, HTML and JSON.\n\n"
    "Exit status: 0 no error, 1 an error message was issued, 2 a problem with the command\n"
    "line or a file.";

// The order of the options here is the order --help lists them in.
void add_options(CLI::App& app, Options& options, std::string& workspace) {
  app.add_option("commands", options.commands_path, "File of MIXED commands, each ending with a period")->required();
  app.add_option("--data", options.data_path, "Data set: a CSV file with a header row")->required();
  app.add_option("--dict", options.dict_path,
                 "Dictionary file (JSON) with formats, labels, value labels, missing values, the\n"
                 "weight and split variables; default: NAME.dict.json beside NAME.csv when present");
  app.add_option("--weight", options.weight, "Case (frequency) weight variable");
  app.add_option("--split", options.split, "Split variables, comma-separated; the file should be sorted by them");
  app.add_option("--json", options.json_path, "Write the output document as JSON to this file");
  app.add_option("--html", options.html_path, "Write the report as a self-contained HTML page to this file");
  app.add_option("--text", options.text_path, "Write the text report to this file instead of standard output");
  app.add_option("--save-data", options.save_path, "Write the data set, with the variables SAVE adds, as CSV");
  app.add_option("--workspace", workspace,
                 "Memory budget of the procedure, e.g. 512M or 4G\n"
                 "(default: three quarters of the machine's memory)");
  app.add_flag("-q,--quiet", options.quiet, "Do not write the text report to standard output");
  app.add_flag("--timing", options.timing,
               "Report, per split group, stage times, iterations, likelihood evaluations and\n"
               "peak memory as JSON lines on standard error (for benchmarks)");
  app.set_version_flag("--version", kVersion);
}

// The bytes one unit of a size suffix stands for; nothing for an unknown suffix.
std::optional<double> unit_scale(const std::string& unit) {
  if (unit.empty()) return 1.0;
  if (unit == "k" || unit == "K" || unit == "KB") return 1024.0;
  if (unit == "m" || unit == "M" || unit == "MB") return 1024.0 * 1024;
  if (unit == "g" || unit == "G" || unit == "GB") return 1024.0 * 1024 * 1024;
  return std::nullopt;
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
  std::optional<double> scale = unit_scale(text.substr(used));
  if (!scale || !(v > 0) || v * *scale > 1e18) return std::nullopt;
  return static_cast<std::size_t>(v * *scale);
}

}  // namespace

std::optional<int> parse_command_line(int argc, char** argv, Options& options) {
  CLI::App app{kDescription, "mixed"};
  std::string workspace;
  add_options(app, options, workspace);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& err) {
    int rc = app.exit(err);
    return rc == 0 ? kExitSuccess : kExitFileProblem;
  }
  options.workspace_bytes = host::Scratch::default_budget();
  if (!workspace.empty()) {
    std::optional<std::size_t> bytes = parse_size(workspace);
    if (!bytes) return file_problem("--workspace: '" + workspace + "' is not a memory size (e.g. 512M, 2G)");
    options.workspace_bytes = *bytes;
  }
  return std::nullopt;
}

}  // namespace mixed::app
