#include "estimate/covariance_labels.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string>

#include "covstruct/catalogue.h"
#include "data/group.h"
#include "host/dataset.h"
#include "model/command.h"

namespace mixed::estimate {

using host::Text;
using host::TextGroup;
using namespace model;
using namespace covstruct;

namespace {

// The classification variable that is factor f (0-based) or REPEATED variable
// r (0-based) of the model; -1 when there is none.
int classvar_of(const model::Command& cmd, int ClassVar::*place, int position) {
  for (std::size_t cv = 0; cv < cmd.classvars.size(); ++cv)
    if (cmd.classvars[cv].*place == position + 1) return static_cast<int>(cv);
  return -1;
}

// Level `lev` (0-based) of classification variable cv, as the dictionary
// formats it, with its value label.
Text level_value(const model::Command& cmd, const data::GroupData& group, const host::Dataset& data, int cv, int lev) {
  if (cv < 0 || static_cast<std::size_t>(cv) >= group.levels.size() || lev < 0 ||
      static_cast<std::size_t>(lev) >= group.levels[cv].size())
    return Text::integer(lev + 1);
  const std::size_t var = cmd.classvars[cv].var;
  const data::Levels& levels = group.levels[cv];
  if (levels.numeric) {
    const double v = levels.numbers[lev];
    return Text::data_value(data.format_number(var, v), data.var(var).value_label(v));
  }
  const std::string& v = levels.strings[lev];
  return Text::data_value(v, data.var(var).value_label(v));
}

void add(std::vector<TextGroup>& items, Text t) { items.push_back(TextGroup{std::move(t)}); }

// "[name=value]" for factor f at level lev.
void factor_item(const model::Command& cmd, const data::GroupData& group, const host::Dataset& data, int f, int lev,
                 std::vector<TextGroup>& items) {
  add(items, Text::raw("["));
  add(items, Text::variable(data.var(cmd.factors[f]).name));
  add(items, Text::raw("="));
  add(items, level_value(cmd, group, data, classvar_of(cmd, &ClassVar::factor, f), lev));
  add(items, Text::raw("]"));
}

// The label of level i of random block b: the design column of one of its
// effects, effect by effect and column by column.
std::vector<Text> random_level_labels(const model::Command& cmd, const data::GroupData& group,
                                      const host::Dataset& data, int b, int n) {
  std::vector<Text> out;
  for (int e : group.blocks[b].effects) {
    const std::span<const int> effect = cmd.random.row(e);
    const bool intercept = std::all_of(effect.begin(), effect.end(), [](int c) { return c == 0; });
    for (int c = 0; c < group.rn_ncol[e]; ++c) {
      if (intercept) {
        out.push_back(Text::key("Var: Intercept"));
        continue;
      }
      std::vector<TextGroup> items;
      design_column_label(cmd, group, data, effect, group.rn_cell[group.rn_fcol[e] + c], items);
      out.push_back(Text::key("Var\\: [:^1:]1").list(std::move(items)));
    }
  }
  out.resize(static_cast<std::size_t>(n));
  return out;
}

// The label of repeated level i: each REPEATED variable with its value there.
std::vector<Text> repeated_level_labels(const model::Command& cmd, const data::GroupData& group,
                                        const host::Dataset& data, int n) {
  std::vector<Text> out;
  for (int i = 0; i < n; ++i)
    out.push_back(Text::key("Var\\: [\\[%1=%2\\]:*\\[^1=^2\\]:]1").list(repeated_level_items(cmd, group, data, i)));
  return out;
}

Text numbered(const char* templ, int i) { return Text::key(templ).arg(Text::integer(i)); }
Text numbered(const char* templ, int i, int j) { return Text::key(templ).arg(Text::integer(i)).arg(Text::integer(j)); }

bool heterogeneous(covstruct::CovType cov_type) {
  return cov_type == AD1 || cov_type == ARH1 || cov_type == CSH || cov_type == DIAG || cov_type == HF ||
         cov_type == TPH || cov_type == VC_REPEATED;
}

// The labels of a block in stored order; `level` holds the level labels of
// the heterogeneous structures.
void block_labels(int n, covstruct::CovType cov_type, const std::vector<Text>& level, std::vector<Text>& out) {
  auto keys = [&](std::initializer_list<const char*> ts) {
    for (const char* t : ts) out.push_back(Text::key(t));
  };
  auto levels = [&] { out.insert(out.end(), level.begin(), level.end()); };
  switch (cov_type) {
    case ARMA11: keys({"ARMA11 diagonal", "ARMA11 rho", "ARMA11 phi"}); break;
    case AD1:
    case TPH:
      for (int i = 1; i <= n; ++i) {
        out.push_back(level[i - 1]);
        if (i < n) out.push_back(numbered(cov_type == AD1 ? "AD1 rho ^1" : "TPH rho ^1", i));
      }
      break;
    case AR1: keys({"AR1 diagonal", "AR1 rho"}); break;
    case ARH1:
      keys({"ARH1 rho"});
      levels();
      break;
    case CS: keys({"CS diagonal offset", "CS covariance"}); break;
    case CSH:
      keys({"CSH rho"});
      levels();
      break;
    case CSR: keys({"CSR diagonal", "CSR rho"}); break;
    case DIAG:
    case VC_REPEATED: levels(); break;
    case FA1:
      keys({"FA1 diagonal offset"});
      for (int i = 1; i <= n; ++i) out.push_back(numbered("FA1 lambda ^1", i));
      break;
    case FAH1:
      for (int i = 1; i <= n; ++i) {
        out.push_back(numbered("FAH1 lambda ^1", i));
        out.push_back(numbered("FAH1 diagonal offset ^1", i));
      }
      break;
    case HF:
      keys({"HF lambda"});
      levels();
      break;
    case ID: keys({"ID diagonal"}); break;
    case TP:
      keys({"TP diagonal"});
      for (int i = 1; i < n; ++i) out.push_back(numbered("TP rho ^1", i));
      break;
    case UN:
      for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= i; ++j) out.push_back(numbered("UN (^1,^2)", i, j));
      break;
    case UNR:
      for (int i = 1; i <= n; ++i) {
        for (int j = 1; j < i; ++j) out.push_back(numbered("Corr(^1,^2)", i, j));
        out.push_back(numbered("Var(^1)", i));
      }
      break;
    case VC: keys({"VC variance"}); break;
    default: break;
  }
}

}  // namespace

int covariance_parameter_labels(const model::Command& cmd, const data::GroupData& group, const host::Dataset& data,
                                int n, bool random_block, int block, covstruct::CovType cov_type,
                                std::vector<Text>& labels) {
  if (!is_block_type(cov_type)) return 0;
  const std::size_t before = labels.size();
  try {
    std::vector<Text> level;
    if (heterogeneous(cov_type))
      level =
          random_block ? random_level_labels(cmd, group, data, block, n) : repeated_level_labels(cmd, group, data, n);
    block_labels(n, cov_type, level, labels);
  } catch (const std::bad_alloc&) {
    labels.resize(before);
    return kStatusLabelMemory;
  }
  return 0;
}

std::vector<int> cell_levels(const model::Command& cmd, const data::GroupData& group, std::span<const int> effect,
                             std::int64_t cell) {
  const int nf = cmd.n_factors();
  std::vector<int> order;
  for (int f = 0; f < nf; ++f)
    if (effect[f] >= 1) order.push_back(f);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return effect[a] < effect[b]; });
  std::vector<int> level(static_cast<std::size_t>(nf), 0);
  std::int64_t rest = cell - 1;
  for (auto f = order.rbegin(); f != order.rend(); ++f) {
    const std::int64_t count = std::max(1, group.factor_levels[*f]);
    level[*f] = static_cast<int>(rest % count);
    rest /= count;
  }
  return level;
}

std::vector<TextGroup> repeated_level_items(const model::Command& cmd, const data::GroupData& group,
                                            const host::Dataset& data, int level) {
  const int nrep = cmd.n_repeated_vars();
  std::vector<TextGroup> items;
  for (int r = 0; r < nrep; ++r) {
    const std::size_t at = static_cast<std::size_t>(level) * nrep + r;
    if (at >= group.repeated_level_table.size() || group.repeated_level_table[at] <= 0) continue;
    const int cv = classvar_of(cmd, &ClassVar::repeated, r);
    items.push_back({Text::variable(data.var(cmd.repeated_vars[r]).name),
                     level_value(cmd, group, data, cv, group.repeated_level_table[at] - 1)});
  }
  return items;
}

void design_column_label(const model::Command& cmd, const data::GroupData& group, const host::Dataset& data,
                         std::span<const int> effect, std::int64_t cell, std::vector<TextGroup>& items) {
  const int nf = cmd.n_factors();
  const std::vector<int> level = cell_levels(cmd, group, effect, cell);
  int top = 0;
  for (int f = 0; f < nf; ++f) top = std::max(top, effect[f]);
  bool nested_covariate = false;
  for (int c = 0; c < cmd.n_covariates(); ++c) nested_covariate = nested_covariate || effect[nf + c] < 0;
  const int depth = top == 0 ? 0 : nested_covariate ? top : top - 1;

  // The factors outside every nesting, then the covariates, " * " between all.
  bool any = false;
  auto separate = [&] {
    if (any) add(items, Text::raw(" * "));
    any = true;
  };
  if (!nested_covariate && top >= 1)
    for (int f = 0; f < nf; ++f)
      if (effect[f] == top) {
        separate();
        factor_item(cmd, group, data, f, level[f], items);
      }
  for (int c = 0; c < cmd.n_covariates(); ++c)
    for (int k = 0; k < std::abs(effect[nf + c]); ++k) {
      separate();
      add(items, Text::variable(data.var(cmd.covariates[c]).name));
    }
  // Each nesting level, outermost last: "(" and its factors.
  for (int k = depth; k >= 1; --k) {
    add(items, Text::raw("("));
    bool first = true;
    for (int f = 0; f < nf; ++f)
      if (effect[f] == k) {
        if (!first) add(items, Text::raw(" * "));
        first = false;
        factor_item(cmd, group, data, f, level[f], items);
      }
  }
  for (int k = 0; k < depth; ++k) add(items, Text::raw(")"));
}

}  // namespace mixed::estimate
