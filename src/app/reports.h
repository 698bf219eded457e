// What a run writes: the text report (standard output or --text), the JSON
// document, the HTML page and the saved data set.
#pragma once

#include "app/options.h"
#include "host/catalogue.h"
#include "host/dataset.h"
#include "host/output.h"

namespace mixed::app {

// Writes every output the options ask for, each file complete or not at all.
// Returns the exit status: 2 when a file could not be written (each such
// problem printed on standard error), else 1 when the output holds an error
// message, else 0.
int write_reports(const host::Output& out, const host::Catalogue& catalogue, const host::Dataset& data,
                  const Options& options);

}  // namespace mixed::app
