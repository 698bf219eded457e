#include "app/reports.h"

#include <cstdio>
#include <string>

#include "app/exit_status.h"
#include "host/files.h"
#include "host/writers.h"

namespace mixed::app {
namespace {

// The text report goes to the --text file, else to standard output unless --quiet.
bool write_text_report(const std::string& text, const Options& options, std::string& error) {
  if (!options.text_path.empty()) return host::write_file_atomic(options.text_path, text, error);
  if (!options.quiet) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }
  return true;
}

}  // namespace

int write_reports(const host::Output& out, const host::Catalogue& catalogue, const host::Dataset& data,
                  const Options& options) {
  int status = out.error_count() > 0 ? kExitErrorMessage : kExitSuccess;
  std::string error;
  if (!write_text_report(host::write_text(out, catalogue), options, error)) status = file_problem(error);
  if (!options.json_path.empty() && !host::write_file_atomic(options.json_path, host::write_json(out, kVersion), error))
    status = file_problem(error);
  if (!options.html_path.empty() &&
      !host::write_file_atomic(options.html_path, host::write_html(out, catalogue, options.commands_path), error))
    status = file_problem(error);
  if (!options.save_path.empty() && !host::write_csv(data, options.save_path, error)) status = file_problem(error);
  return status;
}

}  // namespace mixed::app
