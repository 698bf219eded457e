// The engine services one MIXED command runs against: the output document, the
// active data set, the scratch arena, the display catalogue, and the progress
// display with its interrupt check.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "host/catalogue.h"
#include "host/dataset.h"
#include "host/output.h"
#include "host/scratch.h"

namespace mixed::host {

// Progress and interrupt: a labelled counter on stderr when it is a terminal, and
// the check for Ctrl-C.
class Progress {
 public:
  explicit Progress(bool enabled);
  void show(std::string_view label, long count);
  void reset();

 private:
  bool enabled_;
  bool shown_ = false;
};

// Installs the SIGINT handler that sets the interrupt flag.
void install_interrupt_handler();
// stop_if_interrupted: true once the user has pressed Ctrl-C.
bool interrupted();
// For tests: sets or clears the flag.
void set_interrupted(bool on);

struct Engine {
  Output& out;
  Dataset& data;
  Scratch& scratch;
  const Catalogue& catalogue;
  Progress& progress;
  // --timing: the driver reports stage times, iterations, likelihood
  // evaluations and peak memory of every split group on stderr.
  bool timing = false;
};

}  // namespace mixed::host
