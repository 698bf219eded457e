#include "inference/custom_tests.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "estimate/fit.h"
#include "inference/estimability.h"
#include "inference/fixed_tables.h"
#include "inference/ltest.h"
#include "inference/table_support.h"
#include "model/messages.h"
#include "syntax/effects.h"

namespace mixed::inference {

using host::CellValue;
using host::Format;
using host::Text;
using host::TextGroup;
using model::TestRecord;

namespace {

// The width of a row of L: the p fixed columns, then every random column.
std::size_t row_width(const data::GroupData& group) {
  return static_cast<std::size_t>(group.n_fixed_columns) +
         static_cast<std::size_t>(std::max(0, group.n_random_columns));
}

// The test as messages and headings name it: its number (when wanted), then
// " (", the label and ")" when it has one; one group per piece of a "[:^1:]"
// list.
std::vector<TextGroup> test_name(const TestRecord& rec, int number, bool with_number) {
  std::vector<TextGroup> groups;
  if (with_number) groups.push_back({Text::integer(number)});
  if (!rec.label.empty()) {
    groups.push_back({Text::raw(" (")});
    groups.push_back({Text::raw(rec.label)});
    groups.push_back({Text::raw(")")});
  }
  return groups;
}

// A warning about test `number` in its plain or split form: the split form
// takes the split list first, then the same lists as the plain form.
void warn(host::Engine& e, std::string_view plain, std::string_view split, const TestRecord& rec, int number,
          std::optional<Text> effect = std::nullopt) {
  const bool is_split = !e.out.split().empty();
  Text t = Text::key(is_split ? split : plain);
  if (is_split) t.list(e.out.split_list());
  t.list(test_name(rec, number, true));
  if (effect) t.list({{*effect}});
  model::issue(e.out, host::Severity::Warning, std::move(t));
}

// The counts of values given must match the design columns of this split
// group: per named effect (effect form) or over all columns (ALL form).
bool counts_match(const model::Command& cmd, const data::GroupData& group, host::Engine& e, const TestRecord& rec,
                  int number) {
  if (rec.all_form) {
    if (rec.nfix > 0 && rec.nfix != group.n_fixed_columns) {
      warn(e, "Test [:^1:]1 ALL fixed N wrong ...", "Split [%1=%2:,^1=^2:]1 test [:^1:]2 ALL fixed N wrong ...", rec,
           number);
      return false;
    }
    if (rec.nran > 0 && rec.nran != group.n_random_columns) {
      warn(e, "Test [:^1:]1 ALL random N wrong ...", "Split [%1=%2:,^1=^2:]1 test [:^1:]2 ALL random N wrong ...", rec,
           number);
      return false;
    }
    return true;
  }
  constexpr std::string_view plain = "Test [:^1:]1 eff [:^1:]2 N wrong ...";
  constexpr std::string_view split = "Split [%1=%2:,^1=^2:]1 test [:^1:]2 eff [:^1:]3 N wrong ...";
  for (std::size_t t = 0; t < rec.fixed_counts.size(); ++t)
    if (rec.fixed_counts[t] > 0 && rec.fixed_counts[t] != group.fx_ncol[t]) {
      warn(e, plain, split, rec, number, cmd.fixed_effect_names[t]);
      return false;
    }
  for (std::size_t r = 0; r < rec.random_counts.size(); ++r)
    if (rec.random_counts[r] > 0 && rec.random_counts[r] != group.rn_ncol[r]) {
      warn(e, plain, split, rec, number, syntax::effect_name(cmd.random.row(r), cmd, e.data, e.catalogue));
      return false;
    }
  return true;
}

// L (cleared by the caller): each row's values at the design columns they
// belong to; random columns follow the p fixed ones.
void build_L(const data::GroupData& group, const TestRecord& rec, std::span<double> L) {
  const std::size_t p = static_cast<std::size_t>(group.n_fixed_columns), width = row_width(group);
  const std::size_t q = std::min(rec.values.size(), L.size() / std::max<std::size_t>(width, 1));
  for (std::size_t i = 0; i < q; ++i) {
    const std::vector<double>& v = rec.values[i];
    std::span<double> row = L.subspan(i * width, width);
    std::size_t next = 0;
    auto place = [&](std::size_t first, int count) {
      for (int c = 0; c < count && next < v.size(); ++c) row[first + static_cast<std::size_t>(c)] = v[next++];
    };
    if (rec.all_form) {
      place(0, rec.nfix);
      place(p, rec.nran);
      continue;
    }
    for (std::size_t t = 0; t < rec.fixed_counts.size(); ++t)
      place(static_cast<std::size_t>(group.fx_fcol[t]), rec.fixed_counts[t]);
    for (std::size_t r = 0; r < rec.random_counts.size(); ++r)
      place(p + static_cast<std::size_t>(group.rn_fcol[r]), rec.random_counts[r]);
  }
}

// Every random column of a block is divided by the number of subjects (and
// replicates) the block has here, so that with the sum over subjects of the
// L-matrix test a random coefficient weights the average predicted effect.
// False when a block has no subject.
bool average_random(const data::GroupData& group, const estimate::Estimates& est, host::Engine& e, int q,
                    std::span<double> L) {
  if (group.n_random_columns <= 0 || !est.fit) return true;
  const std::size_t p = static_cast<std::size_t>(group.n_fixed_columns), width = row_width(group);
  for (std::size_t b = 0; b < group.blocks.size() && b < est.fit->blocks.size(); ++b) {
    const double n = est.fit->blocks[b].present_subjects;
    if (!MIXED_INVARIANT(e.out, n > 0.0)) return false;
    for (int eff : group.blocks[b].effects)
      for (int c = 0; c < group.rn_ncol[eff]; ++c)
        for (int i = 0; i < q; ++i) L[i * width + p + static_cast<std::size_t>(group.rn_fcol[eff] + c)] /= n;
  }
  return true;
}

// The test is estimable when the fixed part of every row is.
bool estimable(const data::GroupData& group, const estimate::Estimates& est, int q, std::span<const double> L) {
  const std::size_t p = static_cast<std::size_t>(group.n_fixed_columns), width = row_width(group);
  for (int i = 0; i < q; ++i)
    if (!is_estimable(est, L.subspan(static_cast<std::size_t>(i) * width, p))) return false;
  return true;
}

Text heading(const model::Command& cmd, const TestRecord& rec, int number) {
  const bool several = cmd.n_tests() > 1;
  if (!several && rec.label.empty()) return Text::key("Custom Hypothesis Test");
  return Text::key("Custom Hypothesis Test [:^1:]1").list(test_name(rec, number, several));
}

Text label_note(const TestRecord& rec) { return rec.label.empty() ? Text() : Text::raw(rec.label); }

// "Contrast Estimates": per row of L its estimate, standard error, df, and
// the t test and interval of d_i = L_i·b − h_i.
host::PivotTable contrast_estimates(const model::Command& cmd, const estimate::Estimates& est, const TestRecord& rec,
                                    const LTestResult& r) {
  const bool hypothesised = !rec.hypothesised.empty();
  host::PivotTable t = new_table("Contrast Estimates", "Contrast Estimates");
  if (!rec.label.empty()) t.note(label_note(rec));
  annotate(t, est);
  const int rows = t.add_dimension(Text::key("Contrast"), host::Axis::Row);
  const int cols = t.add_dimension(Text::key("Statistics"), host::Axis::Column);
  const int c_b = t.add_category(cols, Text::key("B0"));
  const int c_se = t.add_category(cols, Text::key("Standard Error"));
  const int c_df = t.add_category(cols, Text::key("Degrees of Freedom"));
  const int c_h = t.add_category(cols, Text::key("Test Value"));
  const int c_d = hypothesised ? t.add_category(cols, Text::key("Contrast minus Tests")) : -1;
  const char* interval = hypothesised ? "^1 Confidence Interval of Difference" : "^1 Confidence Interval";
  const TTestColumns c_test = add_t_test_columns(t, cols, interval_label(cmd, interval));
  const Format estimate_fmt = estimate_format();
  for (std::size_t i = 0; i < r.estimate.size(); ++i) {
    const int row = t.add_category(rows, Text::key("L^1").arg(Text::integer(static_cast<long long>(i + 1))));
    const double h = hypothesised && i < rec.hypothesised.size() ? rec.hypothesised[i] : 0.0;
    const double b = r.estimate[i], se = r.se[i], df = r.df[i];
    const double d = b - h;
    TTest test = t_test(d, se, df, cmd.confidence_level);
    // Without a standard error (zero or missing) the interval shrinks to d.
    if (!host::is_sysmis(df) && df > 0.0 && !(se > 0.0)) test.lower = test.upper = d;
    t.put({row, c_b}, CellValue::num(b, estimate_fmt));
    t.put({row, c_se}, CellValue::num(se, estimate_fmt));
    t.put({row, c_df}, df_value(df));
    t.put({row, c_h}, hypothesised ? CellValue::num(h, Format::genstat()) : CellValue::num(0.0, Format::count()));
    if (hypothesised) t.put({row, c_d}, CellValue::num(d, Format::genstat()));
    put_t_test(t, row, c_test, test);
  }
  return t;
}

// "Test of Contrasts": the joint F test of the rows on the rank of L C L'.
host::PivotTable test_of_contrasts(const estimate::Estimates& est, const TestRecord& rec, const LTestResult& r) {
  host::PivotTable t = new_table("Test of Contrasts", "Tests of Fixed Effects");
  annotate(t, est);
  const FTestLayout layout = add_f_test_layout(t);
  put_f_test(t, layout, t.add_category(layout.rows, label_note(rec)), r.rank, r.dendf, r.F);
  return t;
}

// One test on L (q rows): its coefficient table, and when estimable its
// estimates and, for several rows, its joint test, under its own heading.
// Returns the status of the L-matrix test (0 when it was not made).
int draw_test(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est, host::Engine& e,
              const TestRecord& rec, int number, int q, std::span<const double> L, std::span<const double> products) {
  const bool ok = estimable(group, est, q, L);
  if (!ok)
    warn(e, "Test [:^1:]1 Not estimable ...", "Split [%1=%2:,^1=^2:]1 test [:^1:]2 Not estimable...", rec, number);
  e.out.begin_heading(heading(cmd, rec, number));
  if (cmd.print_lmatrix) {
    host::BitSet all(static_cast<std::size_t>(q));
    for (int i = 0; i < q; ++i) all.set(static_cast<std::size_t>(i));
    e.out.add(contrast_coefficients_table(group, est, q, std::max(0, group.n_random_columns), L, 1, all,
                                          Text::key("Contrast Coefficients"), label_note(rec), ok));
  }
  int status = 0;
  if (ok) {
    LTestOptions options;
    options.f_test = options.per_row = options.random_columns = true;
    options.hypothesised = !rec.hypothesised.empty();
    options.derivative_products = products;
    const LTestResult r = l_matrix_test(group, est, e.scratch, q, L, options, rec.hypothesised);
    status = r.status;
    if (status == 0) {
      e.out.add(contrast_estimates(cmd, est, rec, r));
      if (q > 1) e.out.add(test_of_contrasts(est, rec, r));
    }
  }
  e.out.end_heading();
  return status;
}

// Test `number` (1-based) of the command; kNoRows when it is skipped.
int run_test(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est, host::Engine& e,
             int number, std::span<const double> products) {
  const TestRecord& rec = cmd.tests[static_cast<std::size_t>(number - 1)];
  if (!counts_match(cmd, group, e, rec, number)) return kNoRows;
  const int q = rec.rows;
  const std::size_t n = static_cast<std::size_t>(std::max(0, q)) * row_width(group);
  auto L = e.scratch.get<double>(kPool, n);
  if (!L) return kOutOfMemory;
  build_L(group, rec, *L);
  int status = kNoRows;
  if (average_random(group, est, e, q, *L)) status = draw_test(cmd, group, est, e, rec, number, q, *L, products);
  e.scratch.free(kPool, *L);
  return status;
}

}  // namespace

void custom_hypothesis_tests(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
                             host::Engine& e) {
  const std::span<double> products = derivative_products_block(group, est, e.scratch);
  int status = 0;
  for (int k = 1; k <= cmd.n_tests() && status <= 0; ++k) {
    if (model::stop_if_interrupted(e.out) || e.out.error_flag()) break;
    status = run_test(cmd, group, est, e, k, products);
    if (status < 0) status = 0;
  }
  if (!products.empty()) e.scratch.free(kPool, products);
  report_status(e.out, status, host::Severity::Error);
}

}  // namespace mixed::inference
