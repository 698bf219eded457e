// The cells of one EMMEANS table and their L vectors over the fixed design
// columns.
//
// A cell is one combination of levels of the TABLES factors, the first TABLES
// factor varying slowest and the last fastest; TABLES(OVERALL) has one cell.
// With c running over the level combinations of the factors outside the table
// (F of them) and x(cell, c) the full-coding design row of the model at the
// cell's levels and c, covariates held at fixed values (each term's columns
// multiplied by prod_k v_k^power_k), the cell's L vector is the average
//
//     L(cell) = (1/n) sum_{c kept} x(cell, c),    n = the number of kept c.
//
// Full coding gives every term one potential column per combination of its
// factors' levels, indexed as the design indexes its cells; a potential
// column that was never observed is a missing column.  A combination c is
// dropped when some term needs a missing column at (cell, c); only the factors
// outside the table that belong to terms with missing columns (the set O) can
// decide that, so the average runs over the combinations of O and each term
// with factors outside the table and O spreads 1/P_t over its P_t columns that
// agree with the cell and the O levels.  Without missing columns every c is
// kept (n = F), and each column of a term that agrees with the cell gets
// 1/P_t, P_t the number of combinations of the term's factors outside the
// table.  Missing columns themselves are dropped, leaving p = n_fixed_columns columns.
//
// State of a cell: 0 estimable; 1 estimable but averaged over fewer than F
// combinations ("modified"); -1 not estimable; -2 no combination observed
// (its L vector is zero).
//
// Blocks come from the caller's Blocks holder; nothing else is written.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "data/group.h"
#include "emmeans/blocks.h"
#include "estimate/estimates.h"
#include "host/output.h"
#include "model/command.h"

namespace mixed::emmeans {

enum CellState : int { kEstimable = 0, kModified = 1, kNotEstimable = -1, kUnobserved = -2 };

// A number of level combinations above which the averaging over missing
// columns is refused: far beyond anything that could be visited.
inline constexpr double kMaxCombinations = 1e50;

struct CellTable {
  std::vector<int> factors;  // TABLES factors: 0-based places in the factor list, as written
  std::vector<int> nlevels;  // their numbers of levels
  std::size_t ncell = 1;
  std::size_t p = 0;        // n_fixed_columns
  double full = 1.0;        // F: combinations of the factors outside the table
  std::span<double> L;      // ncell rows of p
  std::span<double> count;  // per cell: the combinations it averages (F when none dropped)
  std::span<int> state;
  std::span<double> mean, se, df;

  // The 0-based level of TABLES factor j in `cell`.
  int level(std::size_t cell, std::size_t j) const;
  // The cell at these 0-based levels of the TABLES factors.
  std::size_t cell_at(std::span<const int> levels) const;
  std::span<const double> row(std::size_t cell) const { return L.subspan(cell * p, p); }
  bool shown(std::size_t cell) const { return state[cell] >= kEstimable; }
};

// prod_j (levels of TABLES factor j): the number of cells, as a real (1 for
// OVERALL).
double cell_total(const data::GroupData& group, const model::EmmeansRecord& rec);

// Takes the cell blocks (L, counts, states, means, standard errors, df) from
// `blocks`; false when the arena refuses one.
bool allocate_cells(Blocks& blocks, const data::GroupData& group, const model::EmmeansRecord& rec, CellTable& cells);

// v_k: the WITH value of covariate k when the record gives one, else its mean.
std::vector<double> covariate_values(const model::Command& cmd, const estimate::Estimates& est,
                                     const model::EmmeansRecord& rec);

enum FillStatus : int { kFilled = 0, kTooManyCombinations = 1, kInterrupted = -1 };

// The L vectors and counts of every cell for covariate values v (one per
// covariate).  kTooManyCombinations when the design has missing columns and F
// exceeds kMaxCombinations; kInterrupted when the user interrupts (the
// interrupt check runs once per combination visited).
int fill_cells(const model::Command& cmd, const data::GroupData& group, std::span<const double> v, host::Output& out,
               CellTable& cells);

// The states of the cells from their counts and the estimability of their L
// vectors; each cell's mean, standard error and df are set to system-missing.
void cell_states(const estimate::Estimates& est, CellTable& cells);

}  // namespace mixed::emmeans
