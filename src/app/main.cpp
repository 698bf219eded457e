// mixed: runs the MIXED commands of a command file against a data set and
// writes the report as plain text (stdout), HTML and JSON.
//
// Exit status: 0 when no error-severity message was issued, 1 when one was,
// 2 for a problem with the command line or with a file.

#include <unistd.h>

#include <optional>

#include "app/exit_status.h"
#include "app/inputs.h"
#include "app/options.h"
#include "app/reports.h"
#include "app/run.h"
#include "host/catalogue.h"
#include "host/engine.h"
#include "host/output.h"
#include "host/scratch.h"

int main(int argc, char** argv) {
  using namespace mixed;
  app::Options options;
  if (std::optional<int> status = app::parse_command_line(argc, argv, options)) return *status;
  std::optional<app::Inputs> inputs = app::load_inputs(options);
  if (!inputs) return app::kExitFileProblem;

  host::install_interrupt_handler();
  host::Output out;
  host::Scratch scratch(options.workspace_bytes);
  host::Progress progress(isatty(STDERR_FILENO) != 0);
  const host::Catalogue& catalogue = host::Catalogue::english();
  host::Engine engine{out, inputs->data, scratch, catalogue, progress, options.timing};
  app::run_command_file(inputs->command_text, engine);
  return app::write_reports(out, catalogue, inputs->data, options);
}
