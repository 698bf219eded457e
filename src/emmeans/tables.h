// The tables of one EMMEANS subcommand: its name, the covariate note, the
// means table, the coefficient table of the cells' L vectors (PRINT
// LMATRIX), the "Pairwise Comparisons" table (pairwise_comparisons_table) and the "Univariate
// Tests" table of the COMPARE factor within each slice.
//
// The tables only read the cells, comparisons and tests computed before them
// and return a PivotTable for the caller to add to the output.
#pragma once

#include <span>
#include <vector>

#include "data/group.h"
#include "emmeans/cells.h"
#include "emmeans/comparisons.h"
#include "estimate/estimates.h"
#include "host/dataset.h"
#include "host/output.h"
#include "model/command.h"

namespace mixed::emmeans {

// The name of the table of EMMEANS subcommand k (1-based): "Grand Mean" (or
// "k. Grand Mean" with several subcommands) for OVERALL, else the TABLES
// factor names joined by " * " (preceded by "k. " with several subcommands).
host::Text table_name(const model::Command& cmd, const host::Dataset& data, const model::EmmeansRecord& rec, int k);

// "Evaluated at x = v, ...": every covariate of a FIXED effect with the value
// v_k its terms carry (a WITH value in the variable's print format, else its
// mean); empty when no covariate enters a FIXED effect.
host::Text covariate_note(const model::Command& cmd, const host::Dataset& data, const model::EmmeansRecord& rec,
                          std::span<const double> v);

// factor_level_text: the shown value (with its value label) of level `level` (0-based)
// of factor `factor` (0-based place in the factor list).
host::Text factor_level_text(const model::Command& cmd, const data::GroupData& group, const host::Dataset& data,
                             host::Output& out, int factor, int level);

// The means table titled `title`: per cell the mean, standard error, df and
// the confidence bounds mean -/+ t_df(confidence_level/200 + 1/2) se.
host::PivotTable means_table(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
                             const host::Dataset& data, host::Output& out, const CellTable& cells,
                             const host::Text& title, const host::Text& covnote);

// "Contrast Coefficients": one column per cell that has an observed
// combination, one row per fixed parameter.
host::PivotTable coefficient_table(const model::Command& cmd, const data::GroupData& group,
                                   const estimate::Estimates& est, const host::Dataset& data, host::Output& out,
                                   const CellTable& cells);

// pairwise_comparisons_table: "Pairwise Comparisons" of the COMPARE factor with adjustment adjustment
// over k comparisons per slice.
host::PivotTable pairwise_comparisons_table(const model::Command& cmd, const data::GroupData& group,
                                            const estimate::Estimates& est, const host::Dataset& data,
                                            host::Output& out, const CellTable& cells, const Slices& slices,
                                            std::span<const Comparison> comparisons, int adjustment, int k);

// "Univariate Tests": the joint test of each slice; `all_estimable` selects
// the annotation that speaks of estimated (rather than estimable) means.
host::PivotTable univariate_table(const model::Command& cmd, const data::GroupData& group,
                                  const estimate::Estimates& est, const host::Dataset& data, host::Output& out,
                                  const CellTable& cells, const Slices& slices, std::span<const SliceTest> tests,
                                  bool all_estimable);

}  // namespace mixed::emmeans
