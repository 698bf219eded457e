#include "estimate/rows.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "covstruct/catalogue.h"
#include "data/record.h"
#include "estimate/design_row.h"
#include "host/vectors.h"
#include "host/workfile.h"

namespace mixed::estimate {

void layout_blocks(const model::Command& cmd, const data::GroupData& group, estimate::Estimates& est, Fit& fit) {
  fit.p = group.n_fixed_columns;
  fit.repeated = cmd.repeated_given;
  fit.repeated_type = cmd.repeated_type;
  fit.rep_dim = std::max(1, group.n_repeated_levels);
  fit.n_residual_cov_params = covstruct::parameter_count(fit.rep_dim, cmd.repeated_type);
  fit.has_random = cmd.n_random_effects() > 0;
  fit.blocks.clear();
  int col = 0;
  int param = fit.n_residual_cov_params;
  for (const data::CovBlock& b : group.blocks) {
    RandomBlock rb;
    rb.cov_type = b.cov_type;
    rb.dim = b.dim;
    rb.npar = covstruct::parameter_count(b.dim, b.cov_type);
    rb.first_param = param;
    param += rb.npar;
    for (std::size_t v : b.subjects) {
      const bool common = std::find(cmd.subject_vars.begin(), cmd.subject_vars.begin() + cmd.n_common_subjects, v) !=
                          cmd.subject_vars.begin() + cmd.n_common_subjects;
      if (common) continue;
      for (int cv = 0; cv < cmd.n_class_vars(); ++cv)
        if (cmd.classvars[cv].var == v) rb.extra_subject_classvars.push_back(cv);
    }
    rb.replicates = 1;
    for (int cv : rb.extra_subject_classvars) rb.replicates *= static_cast<int>(group.levels[cv].size());
    rb.col = col;
    col += rb.replicates * rb.dim;
    fit.blocks.push_back(std::move(rb));
  }
  fit.q = col;
  fit.n_cov_params = param;
  est.n_random_design_columns = fit.q;
  est.n_residual_cov_params = fit.n_residual_cov_params;
  est.n_random_cov_params = param - fit.n_residual_cov_params;
  est.n_cov_params = param;
}

int build_rows(const model::Command& cmd, const data::GroupData& group, host::Engine& e, Fit& fit,
               FirstPassStats& stats) {
  const data::RecordLayout layout =
      cmd.n_class_vars() > 0 ? data::ordered_layout(cmd, group, e.data) : data::case_layout(cmd, e.data);
  const int n_factors = cmd.n_factors();
  const int n_covariates = cmd.n_covariates();
  const std::size_t n = group.ncases;
  DesignRows& rows = fit.rows;
  rows.nfix = cmd.n_fixed_effects();
  rows.nran = cmd.n_random_effects();

  const std::size_t bytes =
      n * (sizeof(double) * (3 + rows.nfix + rows.nran) + sizeof(int) * (1 + rows.nfix + rows.nran) + sizeof(long));
  if (!fit.account(e.scratch, bytes)) return 3;
  try {
    rows.y.resize(n);
    rows.level.assign(n, 0);
    rows.rsubject.assign(n, 0);
    rows.fcol.resize(n * rows.nfix);
    rows.fval.resize(n * rows.nfix);
    rows.rcol.resize(n * rows.nran);
    rows.rval.resize(n * rows.nran);
    rows.weight.resize(n);
    rows.case_weight.resize(n);
  } catch (const std::bad_alloc&) {
    return 3;
  }

  // Subjects: consecutive runs of the ordered file.
  rows.first.assign(1, 0);
  if (group.subject_counts.empty()) {
    rows.first.push_back(n);
  } else {
    for (std::size_t c : group.subject_counts) rows.first.push_back(rows.first.back() + c);
  }
  std::size_t nrep_bits = 0;
  std::vector<std::size_t> rep_base;
  for (const RandomBlock& b : fit.blocks) {
    rep_base.push_back(nrep_bits);
    nrep_bits += static_cast<std::size_t>(b.replicates);
  }
  fit.sub.present.assign(rows.subjects(), host::BitSet(nrep_bits));

  std::vector<int> class_level(static_cast<std::size_t>(cmd.n_class_vars()));
  std::vector<int> factor_level(static_cast<std::size_t>(n_factors));
  std::vector<double> record(static_cast<std::size_t>(layout.length));
  std::vector<double> cov(static_cast<std::size_t>(n_covariates)), cov_sq(static_cast<std::size_t>(n_covariates));
  stats.cov_mean.assign(static_cast<std::size_t>(n_covariates), 0.0);
  stats.cov_sq_mean.assign(static_cast<std::size_t>(n_covariates), 0.0);
  stats.weight_sum = 0.0;
  double sq_weight = 0.0;
  fit.lwsum = 0.0;

  const DesignRowBuilder design(cmd, group, fit);

  group.workfile->rewind();
  std::size_t subject = 0;
  for (std::size_t r = 0; r < n; ++r) {
    if (!group.workfile->read(record)) return 70;
    while (r >= rows.first[subject + 1]) ++subject;
    if (layout.ordered) {
      data::decode_class_key(layout, record, class_level);
      data::factor_levels_of(layout, class_level, factor_level);
    }
    const double f = layout.weight(record);
    const double w = layout.regression_weight(record);
    const double sc = std::sqrt(w * f);
    rows.weight[r] = w * f;
    rows.case_weight[r] = f;
    rows.y[r] = record[layout.y] * sc;
    fit.lwsum += f * std::log(w);

    const auto covariates = std::span<const double>(record).subspan(static_cast<std::size_t>(layout.cov),
                                                                    static_cast<std::size_t>(n_covariates));
    const auto fcol = std::span<int>(rows.fcol).subspan(r * rows.nfix, static_cast<std::size_t>(rows.nfix));
    const auto fval = std::span<double>(rows.fval).subspan(r * rows.nfix, static_cast<std::size_t>(rows.nfix));
    if (!design.fixed(factor_level, covariates, fcol, fval)) return 70;
    for (double& v : fval) v *= sc;
    const auto rcol = std::span<int>(rows.rcol).subspan(r * rows.nran, static_cast<std::size_t>(rows.nran));
    const auto rval = std::span<double>(rows.rval).subspan(r * rows.nran, static_cast<std::size_t>(rows.nran));
    if (!design.random(class_level, factor_level, covariates, rcol, rval)) return 70;
    for (int u = 0; u < rows.nran; ++u) {
      const int b = design.block_of(u);
      const RandomBlock& blk = fit.blocks[b];
      fit.sub.present[subject].set(rep_base[b] + static_cast<std::size_t>((rcol[u] - blk.col) / blk.dim));
      rval[u] *= sc;
    }
    if (layout.rep_level >= 0) {
      const int number = static_cast<int>(record[layout.rep_level]);
      rows.level[r] = group.repeated_level_map[number - 1];
      rows.rsubject[r] = static_cast<long>(record[layout.rep_subject]);
    }
    if (n_covariates > 0 && w * f > 0.0) {
      for (int c = 0; c < n_covariates; ++c) {
        cov[c] = record[layout.cov + c];
        cov_sq[c] = cov[c] * cov[c];
      }
      host::accumulate_mean(cov, w * f, stats.weight_sum, stats.cov_mean);
      host::accumulate_mean(cov_sq, w * f, sq_weight, stats.cov_sq_mean);
    }
  }
  for (std::size_t i = 0; i < rows.subjects(); ++i)
    for (std::size_t b = 0; b < fit.blocks.size(); ++b)
      for (int k = 0; k < fit.blocks[b].replicates; ++k)
        if (fit.sub.present[i].test(rep_base[b] + static_cast<std::size_t>(k))) fit.blocks[b].present_subjects += 1.0;
  return 0;
}

covstruct::SubjectRows subject_rows(const Fit& fit, std::size_t i) {
  const DesignRows& r = fit.rows;
  const std::size_t a = r.first[i];
  covstruct::SubjectRows sr;
  sr.n = static_cast<int>(r.first[i + 1] - a);
  sr.nfix = r.nfix;
  sr.nran = r.nran;
  sr.p = fit.p;
  sr.q = fit.q;
  sr.y = r.y.data() + a;
  sr.level = r.level.data() + a;
  sr.rsubject = r.rsubject.data() + a;
  sr.fcol = r.fcol.data() + a * r.nfix;
  sr.fval = r.fval.data() + a * r.nfix;
  sr.rcol = r.rcol.data() + a * r.nran;
  sr.rval = r.rval.data() + a * r.nran;
  return sr;
}

}  // namespace mixed::estimate
