#include "inference/saved_values.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <optional>
#include <vector>

#include "data/record.h"
#include "data/saved.h"
#include "estimate/design_row.h"
#include "estimate/fit.h"
#include "host/fuzzy.h"
#include "host/packed.h"
#include "host/packed_ops.h"
#include "host/vectors.h"
#include "host/workfile.h"
#include "inference/random_part.h"
#include "inference/satterthwaite.h"
#include "model/messages.h"

namespace mixed::inference {

using data::case_layout;
using data::level_of;
using data::ordered_layout;
using data::RecordLayout;
using enum model::SaveCode;

namespace {

using host::SYSMIS;

// The seven values of one case, by SAVE keyword.
struct Values {
  std::array<double, 8> by_code;  // entry 0 unused
  double& operator[](model::SaveCode c) { return by_code[static_cast<std::size_t>(c)]; }
  double operator[](model::SaveCode c) const { return by_code[static_cast<std::size_t>(c)]; }
};

Values all_missing() {
  Values v;
  v.by_code.fill(SYSMIS);
  return v;
}

double missing_if_nan(double v) { return std::isnan(v) ? SYSMIS : v; }

// Satterthwaite's df of a variance v with gradient g: 2v²/(g'Wg) when g'Wg > 0.
double satterthwaite(double v, std::span<const double> g, std::span<const double> W) {
  if (g.empty() || W.size() < host::tri_size(g.size())) return SYSMIS;
  const double gwg = host::packed_quadratic_form(g.size(), g, W);
  return gwg > 0.0 ? 2.0 * v * v / gwg : SYSMIS;
}

// One case's design: the dense fixed row x (p) and random row z (q) and
// whether each could be formed.
struct CaseDesign {
  std::vector<double> x, z;
  bool fixed_ok = false, random_ok = false;
};

// The fitted model of a split group as the saved values read it.
class GroupModel {
 public:
  GroupModel(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
             std::span<const model::SaveCode> keywords)
      : cmd_(cmd), group_(group), est_(est), fit_(*est.fit), p_(static_cast<std::size_t>(fit_.p)),
        q_(static_cast<std::size_t>(fit_.q)), ntheta_(static_cast<std::size_t>(est.n_cov_params)) {
    const std::size_t T = host::tri_size(p_);
    C_ = std::span<const double>(est.fixed_covariance).first(T);
    beta_ = std::span<const double>(est.fixed_covariance).subspan(T, p_);
    for (model::SaveCode code : keywords) {
      fixed_var_ = fixed_var_ || code == SEFIXP || code == DFFIXP;
      pred_var_ = pred_var_ || code == SEPRED || code == DFPRED;
      fixed_df_ = fixed_df_ || code == DFFIXP;
      pred_df_ = pred_df_ || code == DFPRED;
    }
    // Without random effects PRED is FIXPRED, and so are their variances.
    if (q_ == 0) {
      fixed_var_ = fixed_var_ || pred_var_;
      fixed_df_ = fixed_df_ || pred_df_;
    }
    if (fixed_df_ || pred_df_) {
      products_.assign(inference::derivative_products_size(group, est), 0.0);
      if (!inference::derivative_products(group, est, products_)) products_.clear();
    }
  }

  std::size_t p() const { return p_; }
  std::size_t q() const { return q_; }

  // The saved values of a case of subject `subject` (nothing: a subject with
  // no valid case) with dependent value y (NaN when missing).
  Values values(const CaseDesign& d, std::optional<std::size_t> subject, double y) const {
    Values out = all_missing();
    if (!d.fixed_ok) return out;
    const double fixpred = host::dot_product(d.x, beta_);
    out[FIXPRED] = fixpred;
    if (fixed_var_) {
      const double v = host::packed_quadratic_form(p_, d.x, C_);
      out[SEFIXP] = v >= 0.0 ? std::sqrt(v) : SYSMIS;
      if (fixed_df_) out[DFFIXP] = satterthwaite(v, fixed_gradient(d.x), est_.cov_param_covariance);
    }
    if (q_ == 0) {
      out[PRED] = fixpred;
      out[SEPRED] = out[SEFIXP];
      out[DFPRED] = out[DFFIXP];
    } else if (d.random_ok) {
      const std::span<const double> u = subject ? inference::subject_u(fit_, *subject) : std::span<const double>();
      out[PRED] = fixpred + (subject ? host::dot_product(d.z, u) : 0.0);
      if (pred_var_) prediction_error(d, subject, out);
    }
    out[RESID] = std::isnan(y) ? SYSMIS : y - out[PRED];
    for (double& v : out.by_code) v = missing_if_nan(v);
    return out;
  }

 private:
  // g_k = w'P_k w, w = C a, P_k = -∂(X'V⁻¹X)/∂θ_k summed over the subjects.
  std::vector<double> fixed_gradient(std::span<const double> a) const {
    if (products_.empty()) return {};
    std::vector<double> w(p_);
    host::packed_multiply(p_, C_, a, w);
    return fixed_gradient_at(w);
  }
  std::vector<double> fixed_gradient_at(std::span<const double> w) const {
    const std::size_t T = host::tri_size(p_);
    std::vector<double> g(ntheta_);
    for (std::size_t k = 0; k < ntheta_; ++k)
      g[k] = host::packed_quadratic_form(p_, w, std::span<const double>(products_).subspan(k * T, T));
    return g;
  }

  // v_p = z'(G - G S_i G) z + a'C a with a = x - Y_i'G z, and its
  // Satterthwaite df.
  void prediction_error(const CaseDesign& d, std::optional<std::size_t> subject, Values& out) const {
    std::vector<double> Gz(q_), SGz(q_, 0.0), a(d.x), YGz(p_, 0.0);
    inference::apply_G(fit_, d.z, Gz);
    if (subject) {
      inference::multiply(q_, q_, inference::subject_S(fit_, *subject), Gz, SGz);
      inference::multiply_transposed(q_, p_, inference::subject_Y(fit_, *subject), Gz, YGz);
    }
    for (std::size_t c = 0; c < p_; ++c) a[c] -= YGz[c];
    const double v = host::dot_product(d.z, Gz) - host::dot_product(Gz, SGz) + host::packed_quadratic_form(p_, a, C_);
    out[SEPRED] = v >= 0.0 ? std::sqrt(v) : SYSMIS;
    if (pred_df_) out[DFPRED] = satterthwaite(v, prediction_gradient(a, d.z, subject), est_.cov_param_covariance);
  }

  // The gradient of v_p.  The variance is l'M⁻¹l for l = (x, z on subject i)
  // and M the coefficient matrix of the mixed-model equations; with
  // (w, t_j) = M⁻¹l, w = C a, its derivative is the sum over the subjects j of
  // their shares (inference/satterthwaite.h).  Every subject but i shares as
  // for the purely fixed direction w, which the summed products P_k give at
  // once: g = w'P w - share_i(w, 0) + share_i(w, z).
  std::vector<double> prediction_gradient(std::span<const double> a, std::span<const double> z,
                                          std::optional<std::size_t> subject) const {
    if (products_.empty()) return {};
    std::vector<double> w(p_);
    host::packed_multiply(p_, C_, a, w);
    std::vector<double> g = fixed_gradient_at(w);
    const std::vector<double> none(q_, 0.0);
    subject_share(w, none, subject, -1.0, g);
    subject_share(w, z, subject, 1.0, g);
    return g;
  }

  // g += sign · share_i(w, e): with s = -Y_i w + e - S_i G e and t = G s,
  // (w, t)'K_ik(w, t) for repeated-block parameter k (K_ik the stored
  // derivative block, y's row left out) and s_r' dG_k s_r over the replicates
  // r of every RANDOM block for its parameters.  A new subject has no
  // records: Y = S = K = 0.
  void subject_share(std::span<const double> w, std::span<const double> e, std::optional<std::size_t> subject,
                     double sign, std::span<double> g) const {
    std::vector<double> sv(e.begin(), e.end()), Ge(q_), SGe(q_), Yw(q_);
    if (subject) {
      inference::apply_G(fit_, e, Ge);
      inference::multiply(q_, q_, inference::subject_S(fit_, *subject), Ge, SGe);
      inference::multiply(q_, p_, inference::subject_Y(fit_, *subject), w, Yw);
      for (std::size_t r = 0; r < q_; ++r) sv[r] += -Yw[r] - SGe[r];
      std::vector<double> stacked(p_ + 1 + q_, 0.0);
      std::copy(w.begin(), w.end(), stacked.begin());
      inference::apply_G(fit_, sv, std::span<double>(stacked).subspan(p_ + 1, q_));
      const std::size_t n2 = static_cast<std::size_t>(fit_.n_residual_cov_params), T = fit_.sub.tri;
      for (std::size_t k = 0; k < n2; ++k)
        g[k] += sign *
                host::packed_quadratic_form(stacked.size(), stacked,
                                            std::span<const double>(fit_.sub.Ck).subspan((*subject * n2 + k) * T, T));
    }
    for (const estimate::RandomBlock& blk : fit_.blocks) {
      const std::size_t dim = static_cast<std::size_t>(blk.dim), t = host::tri_size(dim);
      for (int r = 0; r < blk.replicates; ++r) {
        const auto seg = std::span<const double>(sv).subspan(static_cast<std::size_t>(blk.col + r * blk.dim), dim);
        for (int k = 0; k < blk.npar; ++k)
          g[static_cast<std::size_t>(blk.first_param + k)] +=
              sign * host::packed_quadratic_form(dim, seg, std::span<const double>(blk.dG).subspan(k * t, t));
      }
    }
  }

  const model::Command& cmd_;
  const data::GroupData& group_;
  const estimate::Estimates& est_;
  const estimate::Fit& fit_;
  std::size_t p_, q_, ntheta_;
  std::span<const double> C_, beta_;
  std::vector<double> products_;
  bool fixed_var_ = false, pred_var_ = false, fixed_df_ = false, pred_df_ = false;
};

// The case enters the fit: the case pass's rule (a positive case weight, a
// positive REGWGT value, no missing classification value, dependent variable
// or covariate).
bool enters_fit(const model::Command& cmd, const host::Dataset& data, std::size_t row) {
  if (const auto wv = data.weight())
    if (data.is_missing(*wv, row, false) || !(host::fuzzy_round(data.number(*wv, row)) > 0.0)) return false;
  if (cmd.regression_weight && (data.is_missing(*cmd.regression_weight, row, cmd.include_user_missing) ||
                                !(data.number(*cmd.regression_weight, row) > 0.0)))
    return false;
  for (const model::ClassVar& cv : cmd.classvars)
    if (data.is_missing(cv.var, row, cmd.include_user_missing)) return false;
  if (data.is_missing(cmd.dependent, row, cmd.include_user_missing)) return false;
  for (std::size_t c : cmd.covariates)
    if (data.is_missing(c, row, cmd.include_user_missing)) return false;
  return true;
}

// The fit's subject of a case: the subjects are the runs of the ordered work
// file (estimate::DesignRows::first), each identified by the levels of the
// common subject variables.  Under SUBJECTS(GROUPED) a subject whose records
// are not consecutive is several runs; a case then belongs to the run of the
// latest valid case of its subject (the first run before any), which makes
// every valid case's subject its own run.
class SubjectLookup {
 public:
  SubjectLookup(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
                const estimate::Fit& fit)
      : cmd_(cmd), group_(group), est_(est), fit_(fit) {}

  // Reads the work file for the subjects' levels; false when it is short.
  bool build(host::Engine& e) {
    if (cmd_.n_common_subjects == 0) return true;
    const RecordLayout layout = ordered_layout(cmd_, group_, e.data);
    std::vector<double> record(static_cast<std::size_t>(layout.length));
    std::vector<int> levels(static_cast<std::size_t>(cmd_.n_class_vars()));
    const std::vector<std::size_t>& first = fit_.rows.first;
    group_.workfile->rewind();
    std::size_t subject = 0;
    for (std::size_t r = 0; r < fit_.rows.records(); ++r) {
      if (!group_.workfile->read(record)) return false;
      while (r >= first[subject + 1]) ++subject;
      decode_class_key(layout, record, levels);
      subjects_.try_emplace(std::vector<int>(levels.begin(), levels.begin() + cmd_.n_common_subjects), subject);
    }
    return true;
  }

  // The subject of a case with classification levels `levels`; `valid` says
  // that the case is the next record of the fit (needed under GROUPED only).
  std::optional<std::size_t> find(std::span<const int> levels, bool valid) {
    const std::size_t valid_record = valid_seen_;
    if (valid) ++valid_seen_;
    if (fit_.rows.subjects() == 0) return std::nullopt;
    if (cmd_.n_common_subjects == 0) return 0;
    key_.assign(levels.begin(), levels.begin() + cmd_.n_common_subjects);
    const auto it = subjects_.find(key_);
    if (it == subjects_.end()) return std::nullopt;
    if (valid && cmd_.subjects_grouped) {
      const auto& first = fit_.rows.first;
      it->second =
          static_cast<std::size_t>(std::upper_bound(first.begin(), first.end(), valid_record) - first.begin()) - 1;
    }
    return it->second;
  }

  // Whether find() must be told which cases are valid.
  bool needs_validity() const { return cmd_.subjects_grouped && cmd_.n_common_subjects > 0; }

 private:
  const model::Command& cmd_;
  const data::GroupData& group_;
  const estimate::Estimates& est_;
  const estimate::Fit& fit_;
  std::map<std::vector<int>, std::size_t> subjects_;
  std::vector<int> key_;
  std::size_t valid_seen_ = 0;
};

// The rows of the data that "mixcas__" holds (those after the last one that
// has a "mixprd__" record) and, among them, the rows of the current group:
// the last run of rows with equal split values.
struct PendingRows {
  std::size_t first = 0, begin = 0, end = 0;
};

PendingRows pending_rows(const data::SaveFiles& save_files, const host::Dataset& data) {
  PendingRows r;
  r.first = save_files.values->records();
  r.end = r.first + save_files.cases->records();
  r.begin = r.end;
  const host::CaseReader splits(data);
  while (r.begin > r.first && splits.same_split(r.begin - 1, r.end - 1)) --r.begin;
  return r;
}

// The design rows of the "mixcas__" records of a group.
class CaseRows {
 public:
  CaseRows(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
           const host::Dataset& data, const RecordLayout& layout, std::size_t p, std::size_t q)
      : cmd_(cmd), group_(group), est_(est), data_(data), layout_(layout), builder_(cmd, group, *est.fit), q_(q),
        class_level_(static_cast<std::size_t>(cmd.n_class_vars())),
        factor_level_(static_cast<std::size_t>(cmd.n_factors())),
        fcol_(static_cast<std::size_t>(cmd.n_fixed_effects())), rcol_(static_cast<std::size_t>(cmd.n_random_effects())),
        covariates_(static_cast<std::size_t>(cmd.n_covariates())), fval_(fcol_.size()), rval_(rcol_.size()) {
    design_.x.assign(p, 0.0);
    design_.z.assign(q, 0.0);
  }

  // Forms x and z of the record of data row `row`.  False when a
  // classification value is not among the group's levels.
  bool form(std::span<const double> record, std::size_t row) {
    for (int cv = 0; cv < cmd_.n_class_vars(); ++cv) {
      class_level_[cv] =
          level_of(group_.levels[cv], record.subspan(layout_.class_offset[cv], layout_.class_length[cv]));
      if (class_level_[cv] == 0) return false;
    }
    factor_levels_of(layout_, class_level_, factor_level_);
    for (int c = 0; c < cmd_.n_covariates(); ++c)
      covariates_[c] =
          data_.is_missing(cmd_.covariates[c], row, cmd_.include_user_missing) ? SYSMIS : record[layout_.cov + c];
    CaseDesign& d = design_;
    d.fixed_ok = builder_.fixed(factor_level_, covariates_, fcol_, fval_);
    std::fill(d.x.begin(), d.x.end(), 0.0);
    if (d.fixed_ok)
      for (std::size_t t = 0; t < fcol_.size(); ++t) d.x[fcol_[t]] += fval_[t];
    d.random_ok = q_ > 0 && builder_.random(class_level_, factor_level_, covariates_, rcol_, rval_);
    std::fill(d.z.begin(), d.z.end(), 0.0);
    if (d.random_ok)
      for (std::size_t u = 0; u < rcol_.size(); ++u) d.z[rcol_[u]] += rval_[u];
    return true;
  }

  const CaseDesign& design() const { return design_; }
  std::span<const int> class_levels() const { return class_level_; }

 private:
  const model::Command& cmd_;
  const data::GroupData& group_;
  const estimate::Estimates& est_;
  const host::Dataset& data_;
  const RecordLayout& layout_;
  const estimate::DesignRowBuilder builder_;
  std::size_t q_;
  std::vector<int> class_level_, factor_level_, fcol_, rcol_;
  std::vector<double> covariates_, fval_, rval_;
  CaseDesign design_;
};

// Computes and writes the saved values of the group's rows; returns the
// error to issue (writing or reading a scratch file) or Msg::None.
model::Msg save_group(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
                      data::SaveFiles& save_files, host::Engine& e) {
  const host::Dataset& data = e.data;
  const RecordLayout layout = case_layout(cmd, data);
  const std::size_t length = static_cast<std::size_t>(layout.cov + layout.n_covariates);
  if (save_files.cases->records() > 0 && save_files.cases->record_length() != length)
    return model::Msg::UnexpectedEndOfScratchFile;
  const PendingRows rows = pending_rows(save_files, data);
  const std::size_t nsav = static_cast<std::size_t>(cmd.n_saved());

  // The rows of groups that were not analysed get system-missing values.
  std::vector<double> out(nsav, SYSMIS), record(length);
  save_files.cases->rewind();
  for (std::size_t row = rows.first; row < rows.begin; ++row) {
    if (!save_files.cases->read(record)) return model::Msg::UnexpectedEndOfScratchFile;
    if (!save_files.values->write(out)) return model::Msg::InsufficientSaveMemory;
  }

  const GroupModel model(cmd, group, est, cmd.save_keywords);
  SubjectLookup subjects(cmd, group, est, *est.fit);
  if (model.q() > 0 && !subjects.build(e)) return model::Msg::UnexpectedEndOfScratchFile;
  CaseRows cases(cmd, group, est, data, layout, model.p(), model.q());
  for (std::size_t row = rows.begin; row < rows.end; ++row) {
    if (model::stop_if_interrupted(e.out)) return model::Msg::None;
    if (!save_files.cases->read(record)) return model::Msg::UnexpectedEndOfScratchFile;
    Values v = all_missing();
    if (cases.form(record, row)) {
      std::optional<std::size_t> subject;
      if (model.q() > 0)
        subject = subjects.find(cases.class_levels(), subjects.needs_validity() && enters_fit(cmd, data, row));
      const double y = data.is_missing(cmd.dependent, row, cmd.include_user_missing) ? SYSMIS : record[layout.y];
      v = model.values(cases.design(), subject, y);
    }
    for (std::size_t k = 0; k < nsav; ++k) out[k] = v[cmd.save_keywords[k]];
    if (!save_files.values->write(out)) return model::Msg::InsufficientSaveMemory;
  }
  save_files.cases->reset(length);
  return model::Msg::None;
}

}  // namespace

// The group is found by position (saved.h), so its number is not needed.
void compute_saved_values(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
                          data::SaveFiles& save_files, host::Engine& e, int) {
  if (!MIXED_INVARIANT(e.out, save_files.cases && save_files.values)) return;
  if (!MIXED_INVARIANT(e.out, est.fit != nullptr)) return;
  const model::Msg status = save_group(cmd, group, est, save_files, e);
  if (status != model::Msg::None) model::issue_message(e.out, status, model::kOtherClass, host::Severity::Error);
}

}  // namespace mixed::inference
