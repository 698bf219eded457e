#include "data/design.h"

#include <algorithm>
#include <bit>
#include <new>
#include <vector>

#include "data/record.h"
#include "data/scratch_block.h"
#include "host/workfile.h"
#include "model/messages.h"

namespace mixed::data {

namespace {

using host::Text;

// The members of a set over potential cells: a bit per cell when the cells
// are few enough, otherwise the sorted list of the cells met, so that an
// effect with billions of potential cells costs only what its cases fill.
class CellSet {
 public:
  CellSet(std::uint64_t size, bool dense) : dense_(dense) {
    if (dense_) words_.assign((size + 63) / 64, 0);
  }
  static std::size_t dense_bytes(std::uint64_t size) { return (size + 63) / 64 * sizeof(std::uint64_t); }

  void insert(std::uint64_t cell) {
    if (dense_) {
      words_[cell >> 6] |= std::uint64_t{1} << (cell & 63);
      return;
    }
    if (!members_.empty() && members_.back() == cell) return;
    members_.push_back(cell);
    if (members_.size() >= 2 * compacted_ + 1024) compact();
  }
  void compact() {
    if (dense_) return;
    std::sort(members_.begin(), members_.end());
    members_.erase(std::unique(members_.begin(), members_.end()), members_.end());
    compacted_ = members_.size();
  }
  // Calls f(cell) for every member in [first, last), ascending (after compact()).
  template <class F>
  void for_each(std::uint64_t first, std::uint64_t last, F&& f) const {
    if (!dense_) {
      for (auto it = std::lower_bound(members_.begin(), members_.end(), first); it != members_.end() && *it < last;
           ++it)
        f(*it);
      return;
    }
    for (std::uint64_t w = first >> 6; w < words_.size() && (w << 6) < last; ++w) {
      std::uint64_t bits = words_[w];
      while (bits != 0) {
        const std::uint64_t cell = (w << 6) + static_cast<std::uint64_t>(std::countr_zero(bits));
        bits &= bits - 1;
        if (cell >= first && cell < last) f(cell);
      }
    }
  }

 private:
  bool dense_;
  std::vector<std::uint64_t> words_;
  std::vector<std::uint64_t> members_;
  std::size_t compacted_ = 0;
};

// The effects of one table (fixed or random) with their potential cells.
struct EffectCells {
  std::vector<std::vector<int>> order;   // per effect: its factors in cell-index order
  std::vector<std::uint64_t> potential;  // per effect: its number of potential cells
  std::vector<std::uint64_t> start;      // per effect: its first potential cell
  double total = 0.0;                    // sum of the potential counts
};

EffectCells effect_cells(const model::EffectTable& table, const model::Command& cmd, const data::GroupData& group) {
  EffectCells c;
  const std::size_t n_factors = static_cast<std::size_t>(cmd.n_factors());
  for (std::size_t k = 0; k < table.rows(); ++k) {
    const double p = potential_cells(table.row(k), group.factor_levels);
    c.order.push_back(cell_order(table.row(k), n_factors));
    c.start.push_back(static_cast<std::uint64_t>(std::min(c.total, static_cast<double>(kMaxPotentialCells))));
    c.potential.push_back(static_cast<std::uint64_t>(std::min(p, static_cast<double>(kMaxPotentialCells))));
    c.total += p;
  }
  return c;
}

// "Too many fixed col ..." or "Too many random col ...", with the split list
// when the data are split.
void too_many_columns(host::Engine& e, bool fixed, double total) {
  const bool split = !e.out.split().empty();
  Text t;
  if (split) {
    t = Text::key(fixed ? "Too many fixed col split [%1=%2:,^1=^2:]1 ^2 ^3 ..."
                        : "Too many random col split [%1=%2:,^1=^2:]1 ^2 ^3 ...");
    t.list(e.out.split_list());
  } else {
    t = Text::key(fixed ? "Too many fixed col ^1 ^2 ..." : "Too many random col ^1 ^2 ...");
  }
  // A whole count while it is exactly representable; beyond, a general number.
  const host::Format format = total < 1e15 ? host::Format::count() : host::Format::genstat();
  t.arg(Text::number(total, format)).arg(Text::integer(kMaxPotentialCells));
  model::issue(e.out, host::Severity::Error, std::move(t));
}

// The columns of every effect: the members of its potential range.
void columns(const EffectCells& c, const CellSet& set, std::vector<int>& ncol, std::vector<int>& fcol,
             std::vector<std::int64_t>& cell) {
  ncol.clear();
  fcol.clear();
  cell.clear();
  for (std::size_t k = 0; k < c.potential.size(); ++k) {
    fcol.push_back(static_cast<int>(cell.size()));
    const std::uint64_t start = c.start[k];
    set.for_each(start, start + c.potential[k],
                 [&](std::uint64_t m) { cell.push_back(static_cast<std::int64_t>(m - start) + 1); });
    ncol.push_back(static_cast<int>(cell.size()) - fcol.back());
  }
}

// One column per effect (models without factors).
void single_columns(std::size_t effects, std::vector<int>& ncol, std::vector<int>& fcol,
                    std::vector<std::int64_t>& cell) {
  ncol.assign(effects, 1);
  fcol.resize(effects);
  for (std::size_t k = 0; k < effects; ++k) fcol[k] = static_cast<int>(k);
  cell.assign(effects, 1);
}

bool dense_sets(const data::GroupData& group, const EffectCells& c) {
  const double members = static_cast<double>(group.ncases) * static_cast<double>(c.potential.size());
  return c.total <= std::max(double{1 << 20}, 64.0 * members);
}

// Reads the work file and marks the cells that occur, fixed and random.
model::Msg fill_sets(const model::Command& cmd, data::GroupData& group, host::Engine& e, const EffectCells& fx,
                     const EffectCells& rn, CellSet& fx_set, CellSet& rn_set) {
  const RecordLayout layout = ordered_layout(cmd, group, e.data);
  std::vector<double> rec(static_cast<std::size_t>(layout.length));
  std::vector<int> class_levels(static_cast<std::size_t>(cmd.n_class_vars()));
  std::vector<int> levels(static_cast<std::size_t>(cmd.n_factors()));
  group.workfile->rewind();
  for (std::size_t r = 0; r < group.ncases; ++r) {
    if (model::stop_if_interrupted(e.out)) return model::Msg::Reported;
    if (!group.workfile->read(rec)) return model::Msg::UnexpectedEndOfScratchFile;
    decode_class_key(layout, rec, class_levels);
    factor_levels_of(layout, class_levels, levels);
    for (std::size_t k = 0; k < fx.order.size(); ++k)
      fx_set.insert(fx.start[k] +
                    static_cast<std::uint64_t>(ordered_cell_index(fx.order[k], levels, group.factor_levels)) - 1);
    for (std::size_t k = 0; k < rn.order.size(); ++k)
      rn_set.insert(rn.start[k] +
                    static_cast<std::uint64_t>(ordered_cell_index(rn.order[k], levels, group.factor_levels)) - 1);
  }
  fx_set.compact();
  rn_set.compact();
  return model::Msg::None;
}

// The covariance blocks of the random part; a block of one column keeps VC or
// ID and otherwise becomes ID.
void covariance_blocks(const model::Command& cmd, data::GroupData& group, host::Engine& e) {
  group.blocks.assign(static_cast<std::size_t>(cmd.n_random_blocks), data::CovBlock{});
  for (int k = 0; k < cmd.n_random_effects(); ++k) {
    data::CovBlock& b = group.blocks[cmd.random_effect_block[k]];
    if (b.effects.empty()) {
      b.cov_type = cmd.random_types[k];
      b.subjects = cmd.random_subject_lists[k];
    }
    b.effects.push_back(k);
    b.dim += group.rn_ncol[k];
  }
  for (data::CovBlock& b : group.blocks) {
    if (b.dim == 1 && b.cov_type != covstruct::VC && b.cov_type != covstruct::ID) {
      b.cov_type = covstruct::ID;
      model::issue_message(e.out, model::Msg::CovtypeChangedForEffectWith1Level, model::kOtherClass,
                           host::Severity::Warning);
    }
  }
}

model::Msg run_design(const model::Command& cmd, data::GroupData& group, host::Engine& e) {
  const EffectCells fx = effect_cells(cmd.fixed, cmd, group);
  if (fx.total > static_cast<double>(kMaxPotentialCells)) {
    too_many_columns(e, true, fx.total);
    return model::Msg::Reported;
  }
  const EffectCells rn = effect_cells(cmd.random, cmd, group);
  if (rn.total > static_cast<double>(kMaxPotentialCells)) {
    too_many_columns(e, false, rn.total);
    return model::Msg::Reported;
  }

  if (cmd.n_factors() == 0) {
    single_columns(fx.potential.size(), group.fx_ncol, group.fx_fcol, group.fx_cell);
    single_columns(rn.potential.size(), group.rn_ncol, group.rn_fcol, group.rn_cell);
  } else {
    const bool fx_dense = dense_sets(group, fx), rn_dense = dense_sets(group, rn);
    BudgetReservation memory(e.scratch,
                             (fx_dense ? CellSet::dense_bytes(static_cast<std::uint64_t>(fx.total)) : 0) +
                                 (rn_dense ? CellSet::dense_bytes(static_cast<std::uint64_t>(rn.total)) : 0));
    if (!memory) return model::Msg::InsufficientDataMemory;
    CellSet fx_set(static_cast<std::uint64_t>(fx.total), fx_dense);
    CellSet rn_set(static_cast<std::uint64_t>(rn.total), rn_dense);
    if (const model::Msg status = fill_sets(cmd, group, e, fx, rn, fx_set, rn_set); status != model::Msg::None)
      return status;
    columns(fx, fx_set, group.fx_ncol, group.fx_fcol, group.fx_cell);
    columns(rn, rn_set, group.rn_ncol, group.rn_fcol, group.rn_cell);
  }
  group.n_fixed_columns = static_cast<int>(group.fx_cell.size());
  group.n_random_columns = static_cast<int>(group.rn_cell.size());
  covariance_blocks(cmd, group, e);
  return model::Msg::None;
}

// The place of `cell` among the ascending cells of one effect's columns.
int column_in(const std::vector<int>& ncol, const std::vector<int>& fcol, const std::vector<std::int64_t>& cells,
              int effect, std::int64_t cell) {
  const auto first = cells.begin() + fcol[effect];
  const auto last = first + ncol[effect];
  const auto it = std::lower_bound(first, last, cell);
  return it != last && *it == cell ? static_cast<int>(it - cells.begin()) : -1;
}

}  // namespace

std::vector<int> cell_order(std::span<const int> effect_row, std::size_t n_factors) {
  std::vector<int> order;
  for (std::size_t f = 0; f < n_factors; ++f)
    if (effect_row[f] >= 1) order.push_back(static_cast<int>(f));
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return effect_row[a] < effect_row[b]; });
  return order;
}

std::int64_t ordered_cell_index(std::span<const int> order, std::span<const int> levels,
                                std::span<const int> level_counts) {
  std::int64_t index = 0;
  for (int f : order) index = index * level_counts[f] + (levels[f] - 1);
  return index + 1;
}

int fixed_column(const data::GroupData& group, int effect, std::int64_t cell) {
  return column_in(group.fx_ncol, group.fx_fcol, group.fx_cell, effect, cell);
}

int random_column(const data::GroupData& group, int effect, std::int64_t cell) {
  return column_in(group.rn_ncol, group.rn_fcol, group.rn_cell, effect, cell);
}

std::int64_t cell_index(std::span<const int> effect_row, std::span<const int> levels,
                        std::span<const int> level_counts) {
  return ordered_cell_index(cell_order(effect_row, level_counts.size()), levels, level_counts);
}

double potential_cells(std::span<const int> effect_row, std::span<const int> level_counts) {
  double p = 1.0;
  for (std::size_t f = 0; f < level_counts.size(); ++f)
    if (effect_row[f] >= 1) p *= static_cast<double>(level_counts[f]);
  return p;
}

void design_columns(const model::Command& cmd, data::GroupData& group, host::Engine& e) {
  model::Msg status = model::Msg::None;
  try {
    status = run_design(cmd, group, e);
  } catch (const std::bad_alloc&) {
    status = model::Msg::InsufficientDataMemory;
  }
  if (status != model::Msg::None) model::issue_message(e.out, status, model::kOtherClass, host::Severity::Error);
}

}  // namespace mixed::data
