// Design columns: which columns every fixed and random effect has in a split
// group, and the covariance blocks of the random part.
//
// A column of an effect is one combination of levels of the effect's factors
// that occurs in at least one valid case (an effect without factors has one
// column).  Combinations are numbered by the effect's cell index: with the
// effect's factors ordered by their nesting value, lowest first (ties in
// factor-list order), f_1 .. f_k with level counts L_1 .. L_k,
//
//   cell = 1 + sum_j (level(f_j) - 1) prod_{i > j} L_i,
//
// so the last factor varies fastest; the effect has prod_j L_j potential cells.
// Columns are numbered effect by effect in effect-table order and, within an
// effect, by ascending cell index.
//
// Reads the ordered work file (data/record.h) and GroupData::factor_levels;
// sets n_fixed_columns, fx_ncol, fx_fcol (0-based), fx_cell (1-based cell indices),
// n_random_columns, rn_ncol, rn_fcol, rn_cell and blocks.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "data/group.h"
#include "host/engine.h"
#include "model/command.h"

namespace mixed::data {

// The largest number of potential cells over all fixed (or all random)
// effects: the largest n with n^2 below 2^63.
inline constexpr std::int64_t kMaxPotentialCells = 3037000499LL;

// The cell index (1-based) of a case in an effect: `effect_row` is the
// effect's row (n_factors factor cells, then covariate cells), `levels` the
// case's 1-based level numbers of the factors in factor-list order and
// `level_counts` the factors' numbers of levels (GroupData::factor_levels).
std::int64_t cell_index(std::span<const int> effect_row, std::span<const int> levels,
                        std::span<const int> level_counts);

// The factors of an effect (0-based places in the factor list) in cell-index
// order, for passes that index many cases: then
// ordered_cell_index(order, levels, level_counts) == cell_index(row, levels, level_counts).
std::vector<int> cell_order(std::span<const int> effect_row, std::size_t n_factors);
std::int64_t ordered_cell_index(std::span<const int> order, std::span<const int> levels,
                                std::span<const int> level_counts);

// The design column (0-based, over all fixed or all random columns) of cell
// `cell` of fixed effect (random effect) `effect`, -1 when the cell is not
// one of the effect's columns (a combination not observed in the group).
int fixed_column(const data::GroupData& group, int effect, std::int64_t cell);
int random_column(const data::GroupData& group, int effect, std::int64_t cell);

// prod_j L_j over the effect's factors, as a real (1 for an effect without factors).
double potential_cells(std::span<const int> effect_row, std::span<const int> level_counts);

// Fixes the design columns and the covariance blocks of the group.  Errors:
// 2 (memory), 70 (work file shorter than ncases), "Too many fixed col ..." and
// "Too many random col ..." (more than kMaxPotentialCells potential cells);
// warning 80 when a block of dimension 1 has its covariance type changed to ID.
void design_columns(const model::Command& cmd, data::GroupData& group, host::Engine& e);

}  // namespace mixed::data
