// Descriptive statistics of the dependent variable and the covariates in
// every combination of the levels of the classification variables, with
// totals (PRINT DESCRIPTIVES).
//
// A cell is a combination of positions, one per classification variable: one
// of its levels, or its total.  Totals are formed only when every
// classification variable has at least two levels; a total cell that holds
// exactly the cases of a cell it is formed from adds nothing and is left out
// ("Redundant totals are omitted ...").  In each cell the dependent variable
// is accumulated with the weight case weight x REGWGT value and every
// covariate with the case weight, giving the weight W, the weighted mean m and
// the sum of squared deviations S (provisional means, West 1979); the cell's
// count is its summed case weight.  The standard deviation is
// sqrt(S / (W - 1)) when W > 1 (0 when S <= 0) and system-missing when
// W <= 1; the coefficient of variation is 100 sd / m, system-missing when
// W <= 1 or m = 0, and 0 when S <= 0.
//
// Reads the ordered work file (data/record.h) and draws the table
// "Descriptive Statistics".  Changes nothing in the group's data.
#pragma once

#include <cstddef>

#include "data/group.h"
#include "host/engine.h"
#include "model/command.h"

namespace mixed::data {

// The most cells a table may have: above it the table is shown empty with the
// footnote "Desc too many cells ^1 ...".
inline constexpr std::size_t kMaxTableCells = 1000000;

// Draws the table for the group.  Errors: 4 (memory), 70 (work file shorter
// than ncases).
void descriptives(const model::Command& cmd, data::GroupData& group, host::Engine& e);

}  // namespace mixed::data
