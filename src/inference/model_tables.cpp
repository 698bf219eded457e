#include "inference/model_tables.h"

#include <cmath>

#include "covstruct/catalogue.h"
#include "inference/table_support.h"
#include "syntax/effects.h"

namespace mixed::inference {

using host::CellValue;
using host::Format;
using host::Text;
using host::TextGroup;

namespace {

std::vector<TextGroup> variable_names(const host::Dataset& data, const std::vector<std::size_t>& vars) {
  std::vector<TextGroup> groups;
  for (std::size_t v : vars) groups.push_back({Text::variable(data.var(v).name)});
  return groups;
}

// The effects of random block b joined by " + ".
Text block_name(const model::Command& cmd, const data::GroupData& group, const host::Engine& e, std::size_t b) {
  std::vector<TextGroup> items;
  for (int eff : group.blocks[b].effects) {
    if (!items.empty()) items.push_back({Text::raw(" + ")});
    items.push_back({syntax::effect_name(cmd.random.row(static_cast<std::size_t>(eff)), cmd, e.data, e.catalogue)});
  }
  return Text::key("[:^1:]1").list(std::move(items));
}

// Whether the note on the changed RANDOM rules hangs on block b, given the
// flag carried from the previous block.
bool random_rule_note(const model::Command& cmd, const data::GroupData& group, std::size_t b, bool flag) {
  const data::CovBlock& blk = group.blocks[b];
  switch (blk.cov_type) {
    case covstruct::AR1:
    case covstruct::CS:
    case covstruct::HF:
    case covstruct::ID:
    case covstruct::UN: return flag || blk.effects.size() > 1;
    case covstruct::VC: {
      const int sub = cmd.random_effect_subcommand[blk.effects.front()];
      return cmd.rnd_signed_count[sub] > 0;
    }
    default: return flag;
  }
}

}  // namespace

host::PivotTable model_dimension_table(const model::Command& cmd, const data::GroupData& group,
                                       const estimate::Estimates& est, const host::Engine& e) {
  host::PivotTable t = new_table("Model Dimension", "Model Dimension");
  annotate(t, est);
  const int rows = t.add_dimension(Text::key("Name"), host::Axis::Row);
  const int cols = t.add_dimension(Text::key("Specification"), host::Axis::Column);
  const bool random = cmd.n_random_blocks > 0, repeated = cmd.repeated_given;
  bool random_subjects = false;
  for (const auto& b : group.blocks) random_subjects = random_subjects || !b.subjects.empty();
  const bool repeated_subjects = repeated && !cmd.repeated_subjects.empty();
  const int c_levels =
      cmd.n_fixed_effects() > 0 || random || repeated ? t.add_category(cols, Text::key("N Levels")) : -1;
  const int c_struct = random || repeated ? t.add_category(cols, Text::key("Covariance Structure")) : -1;
  const int c_params = t.add_category(cols, Text::key("N Parameters"));
  const int c_subvars =
      random_subjects || repeated_subjects ? t.add_category(cols, Text::key("Subject Variables")) : -1;
  const int c_nsubj = repeated_subjects ? t.add_category(cols, Text::key("N Subjects")) : -1;

  long long total_levels = 0, total_params = 0;
  auto count = [](long long v) { return CellValue::num(static_cast<double>(v), Format::count()); };

  if (cmd.n_fixed_effects() > 0) {
    const int g = t.add_category(rows, Text::key("Fixed Effects"));
    for (int term = 0; term < cmd.n_fixed_effects(); ++term) {
      const int r = t.add_category(rows, cmd.fixed_effect_names[term], g);
      const int ncol = group.fx_ncol[term];
      const long long npar =
          static_cast<long long>(est.non_redundant.count(group.fx_fcol[term], group.fx_fcol[term] + ncol));
      t.put({r, c_levels}, count(ncol));
      t.put({r, c_params}, count(npar));
      total_levels += ncol;
      total_params += npar;
    }
  }

  if (random) {
    const int g = t.add_category(rows, Text::key("Random Effects"));
    bool flag = false;
    for (std::size_t b = 0; b < group.blocks.size(); ++b) {
      const auto& blk = group.blocks[b];
      const int r = t.add_category(rows, block_name(cmd, group, e, b), g);
      const long long npar = blk.cov_type == covstruct::VC ? static_cast<long long>(blk.effects.size())
                                                           : covstruct::parameter_count(blk.dim, blk.cov_type);
      flag = random_rule_note(cmd, group, b, flag);
      const std::size_t first = t.put({r, c_levels}, count(blk.dim));
      if (flag) t.note_cell(first, Text::key("RANDOM syntax changed in TAVO 11.5 ..."));
      t.put({r, c_struct}, CellValue::str(covstruct::structure_name(blk.cov_type)));
      t.put({r, c_params}, count(npar));
      if (!blk.subjects.empty())
        t.put({r, c_subvars}, CellValue::str(Text::key("[%1: * ^1:]1").list(variable_names(e.data, blk.subjects))));
      total_levels += blk.dim;
      total_params += npar;
    }
  }

  if (!repeated) {
    const int r = t.add_category(rows, Text::key("Residual"));
    t.put({r, c_params}, count(1));
    total_params += 1;
  } else {
    const int g = t.add_category(rows, Text::key("Repeated Effects"));
    const int r = t.add_category(rows, Text::key("[%1: * ^1:]1").list(variable_names(e.data, cmd.repeated_vars)), g);
    const long long npar = covstruct::parameter_count(group.n_repeated_levels, cmd.repeated_type);
    t.put({r, c_levels}, count(group.n_repeated_levels));
    const std::size_t cs = t.put({r, c_struct}, CellValue::str(covstruct::structure_name(cmd.repeated_type)));
    if (cmd.repeated_type == covstruct::VC_REPEATED)
      t.note_cell(cs, Text::key("VC is replaced by DIAG since TAVO11.5 ..."));
    t.put({r, c_params}, count(npar));
    if (repeated_subjects) {
      t.put({r, c_subvars},
            CellValue::str(Text::key("[%1: * ^1:]1").list(variable_names(e.data, cmd.repeated_subjects))));
      t.put({r, c_nsubj}, count(group.n_repeated_subjects));
    }
    total_levels += group.n_repeated_levels;
    total_params += npar;
  }

  const int r = t.add_category(rows, Text::key("Total"));
  if (total_levels > 0 && c_levels >= 0) t.put({r, c_levels}, count(total_levels));
  t.put({r, c_params}, count(total_params));
  return t;
}

InformationCriteria information_criteria(model::Method method, int fixed_rank, int n_cov_params, double n_observations,
                                         double m2ll) {
  double n = n_observations;
  double d = n_cov_params;
  if (method == model::Method::REML)
    n -= fixed_rank;
  else
    d += fixed_rank;
  InformationCriteria ic{m2ll, m2ll + 2.0 * d, host::SYSMIS, host::SYSMIS, host::SYSMIS};
  if (n - 1.0 - d > 0.0) ic.aicc = m2ll + 2.0 * (d + d * (d + 1.0) / (n - d - 1.0));
  if (n > 0.0) {
    ic.bic = m2ll + d * std::log(n);
    ic.caic = m2ll + d * (std::log(n) + 1.0);
  }
  return ic;
}

host::PivotTable information_criteria_table(const model::Command& cmd, const data::GroupData& group,
                                            const estimate::Estimates& est) {
  host::PivotTable t = new_table("Information Criteria", "Information Criteria");
  annotate(t, est);
  t.note(Text::key("Smaller is better ..."));
  const int dim = t.add_dimension(Text::key("Statistics"), host::Axis::Row);
  const InformationCriteria ic =
      information_criteria(cmd.method, est.fixed_rank, est.n_cov_params, group.n_observations, est.m2ll);
  const std::pair<const char*, double> rows[] = {
      {cmd.method == model::Method::REML ? "-2 Restricted Log Likelihood" : "-2 Log Likelihood", ic.m2ll},
      {"Akaike IC", ic.aic},
      {"Hurvich Tsai IC", ic.aicc},
      {"Bozdogan IC", ic.caic},
      {"Bayesian IC", ic.bic},
  };
  for (const auto& [label, value] : rows)
    t.put({t.add_category(dim, Text::key(label))}, CellValue::num(value, cmd.likelihood_format));
  return t;
}

}  // namespace mixed::inference
