#include "emmeans/emmeans.h"

#include "emmeans/blocks.h"
#include "emmeans/cells.h"
#include "emmeans/comparisons.h"
#include "emmeans/tables.h"
#include "inference/ltest.h"
#include "inference/satterthwaite.h"
#include "model/messages.h"

namespace mixed::emmeans {

namespace {

using host::Text;
using model::EmmeansRecord;

// A subcommand that is skipped after its own warning; nothing more to report.
constexpr int kSkipped = -1;
constexpr int kMemory = 107;

// A warning about subcommand k, in its split form when the data are split.
void subcommand_warning(host::Engine& e, const char* plain, const char* split, int k) {
  const bool is_split = !e.out.split().empty();
  Text t = Text::key(is_split ? split : plain);
  t.arg(Text::integer(k));
  if (is_split) t.list(e.out.split_list());
  model::issue(e.out, host::Severity::Warning, std::move(t));
}

// Each cell's mean L b, standard error sqrt(L C L') and Satterthwaite df.
int cell_means(const data::GroupData& group, const estimate::Estimates& est, host::Engine& e, CellTable& cells,
               std::span<const double> products) {
  inference::LTestOptions options;
  options.per_row = true;
  options.derivative_products = products;
  const inference::LTestResult r =
      inference::l_matrix_test(group, est, e.scratch, static_cast<int>(cells.ncell), cells.L, options);
  if (r.status != 0) return r.status;
  for (std::size_t c = 0; c < cells.ncell; ++c) {
    cells.mean[c] = r.estimate[c];
    cells.se[c] = r.se[c];
    cells.df[c] = r.df[c];
  }
  return 0;
}

void add_coefficients(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
                      host::Engine& e, const CellTable& cells) {
  const bool split = !e.out.split().empty();
  if (split) e.out.begin_heading(Text::key("Contrast Coefficients"));
  e.out.add(coefficient_table(cmd, group, est, e.data, e.out, cells));
  if (split) e.out.end_heading();
}

// The pairwise comparisons and the univariate tests of the COMPARE factor.
int comparisons(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
                host::Engine& e, const EmmeansRecord& rec, const CellTable& cells, int refcat,
                std::span<const double> products) {
  const Slices slices = slices_of(cells, static_cast<std::size_t>(rec.compare - 1));
  std::vector<Comparison> pairs;
  if (const int status = build_comparisons(group, est, e.scratch, cells, slices, refcat, products, pairs); status != 0)
    return status;
  const int k = comparison_count(slices.nc, refcat > 0);
  e.out.add(pairwise_comparisons_table(cmd, group, est, e.data, e.out, cells, slices, pairs, rec.adjust, k));

  std::vector<SliceTest> tests;
  if (const int status = slice_tests(group, est, e.scratch, cells, slices, products, tests); status != 0) return status;
  bool all_estimable = true;
  for (std::size_t c = 0; c < cells.ncell; ++c) all_estimable = all_estimable && cells.shown(c);
  e.out.add(univariate_table(cmd, group, est, e.data, e.out, cells, slices, tests, all_estimable));
  return 0;
}

// EMMEANS subcommand k (1-based): returns 0, kSkipped, or a status to report.
int run_subcommand(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
                   host::Engine& e, const EmmeansRecord& rec, int k, std::span<const double> products) {
  int refcat = 0;
  if (rec.compare > 0 && rec.refcat_kind != 0) {
    refcat = reference_category_level(cmd, group, e.out, rec);
    if (refcat == 0) {
      subcommand_warning(e, "EMMEANS ^1 REFCAT invalid ...", "EMMEANS ^1 REFCAT invalid, split [%1 = %2:, ^1 = ^2:]2",
                         k);
      return kSkipped;
    }
  }

  Blocks blocks(e.scratch);
  CellTable cells;
  if (!allocate_cells(blocks, group, rec, cells)) return kMemory;
  const Text name = table_name(cmd, e.data, rec, k);
  const std::vector<double> v = covariate_values(cmd, est, rec);
  const Text covnote = covariate_note(cmd, e.data, rec, v);

  const int filled = fill_cells(cmd, group, v, e.out, cells);
  if (filled == kTooManyCombinations) {
    subcommand_warning(e, "Too many cells in emmean ^1", "Too many cells in emmean ^1 split [%1 = %2:, ^1 = ^2:]2", k);
    return kSkipped;
  }
  if (filled == kInterrupted) return kSkipped;
  cell_states(est, cells);

  const bool heading = rec.compare > 0 || cmd.print_lmatrix;
  if (heading) e.out.begin_heading(name);
  if (cmd.print_lmatrix) add_coefficients(cmd, group, est, e, cells);
  int status = cell_means(group, est, e, cells, products);
  if (status == 0) {
    e.out.add(means_table(cmd, group, est, e.data, e.out, cells, heading ? Text::key("Estimates") : name, covnote));
    if (rec.compare > 0) status = comparisons(cmd, group, est, e, rec, cells, refcat, products);
  }
  if (heading) e.out.end_heading();
  return status;
}

}  // namespace

void estimated_marginal_means(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
                              host::Engine& e) {
  e.out.begin_heading(Text::key("Estimated Marginal Means"));
  // The derivative products make the df of every mean and difference cheap;
  // without them (the arena refused the block) each df takes its own pass.
  Blocks shared(e.scratch);
  std::span<double> products;
  if (est.fit) {
    if (auto block = shared.get<double>(inference::derivative_products_size(group, est));
        block && inference::derivative_products(group, est, *block))
      products = *block;
  }
  for (int k = 1; k <= cmd.n_emmeans(); ++k) {
    if (model::stop_if_interrupted(e.out)) break;
    const int status = run_subcommand(cmd, group, est, e, cmd.emmeans[static_cast<std::size_t>(k - 1)], k, products);
    inference::report_status(e.out, status, host::Severity::Warning);
    if (e.out.error_flag()) break;
  }
  e.out.end_heading();
}

}  // namespace mixed::emmeans
