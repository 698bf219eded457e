#include "estimate/likelihood.h"

#include <Eigen/Dense>
#include <cmath>

#include "covstruct/derivatives.h"
#include "covstruct/inverse.h"
#include "covstruct/matrices.h"
#include "estimate/fixed_sweep.h"
#include "estimate/rows.h"
#include "host/packed.h"
#include "model/messages.h"

namespace mixed::estimate {

using Eigen::MatrixXd;
using Eigen::VectorXd;
// A dense row-major block of the project's storage (SubjectFinal).
using RowMajorMap = Eigen::Map<Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>>;
using host::tri;
using host::tri_size;

namespace {

// The dense symmetric matrix of a packed lower triangle of order n.
void unpack(std::span<const double> packed, int n, MatrixXd& out) {
  out.resize(n, n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j <= i; ++j) out(i, j) = out(j, i) = packed[tri(i, j)];
}

// K := J' K J for the J that turns the y column of [X y Z] into the residual
// r = y - X beta (column p).
void residualize(MatrixXd& k, const VectorXd& beta, int p) {
  if (p == 0) return;
  const int m = static_cast<int>(k.rows());
  VectorXd col = k.col(p) - k.leftCols(p) * beta;
  k.col(p) = col;
  k.row(p) = col.transpose();
  k(p, p) = col(p) - beta.dot(col.head(p));
  (void)m;
}

// The index of the pair (k, l), k >= l, in packed order.
std::size_t pair_index(int k, int l) { return k >= l ? tri(k, l) : tri(l, k); }

// Adds the cross products of one record's sparse row, times `weight`, to the
// packed lower triangle `out` of order p + 1 + q.
void add_record_products(const covstruct::SubjectRows& rows, int j, double weight, std::span<double> out,
                         PassBuffers& buffers) {
  const int p = rows.p;
  // The record's entries in increasing column order: fixed, y, random.
  std::vector<int>& col = buffers.entry_cols;
  std::vector<double>& val = buffers.entry_vals;
  col.clear();
  val.clear();
  for (int t = 0; t < rows.nfix; ++t) {
    col.push_back(rows.fcol[j * rows.nfix + t]);
    val.push_back(rows.fval[j * rows.nfix + t]);
  }
  col.push_back(p);
  val.push_back(rows.y[j]);
  for (int u = 0; u < rows.nran; ++u) {
    col.push_back(p + 1 + rows.rcol[j * rows.nran + u]);
    val.push_back(rows.rval[j * rows.nran + u]);
  }
  for (std::size_t a = 0; a < col.size(); ++a) {
    const double wa = weight * val[a];
    if (wa == 0.0) continue;
    for (std::size_t b = 0; b <= a; ++b) out[host::sym(col[a], col[b])] += wa * val[b];
  }
}

}  // namespace

struct Likelihood::RandomCovariance {
  MatrixXd L, G;
};

Likelihood::Likelihood(const model::Command& cmd, const data::GroupData& group, estimate::Estimates& est,
                       host::Engine& e, Fit& fit)
    : cmd_(cmd), group_(group), est_(est), e_(e), fit_(fit), buffers_(e.scratch),
      random_(std::make_unique<RandomCovariance>()) {}

Likelihood::~Likelihood() = default;

int Likelihood::setup() {
  SubjectBlocks& sub = fit_.sub;
  const std::size_t n_subjects = fit_.rows.subjects();
  sub.m = static_cast<std::size_t>(fit_.p + 1 + fit_.q);
  sub.tri = tri_size(sub.m);
  const std::size_t n2 = static_cast<std::size_t>(fit_.n_residual_cov_params);
  sub.pairs = tri_size(n2);
  const double reals = static_cast<double>(n_subjects) * static_cast<double>(sub.tri) *
                       (1.0 + static_cast<double>(n2 + sub.pairs) + (fit_.repeated_type == covstruct::ID ? 1.0 : 0.0));
  if (reals * 8.0 > 9.223372036854776e18) return 3;
  const std::size_t entries = static_cast<std::size_t>(fit_.rows.nfix + 1 + fit_.rows.nran);
  const std::size_t bytes = static_cast<std::size_t>(reals) * sizeof(double) + n_subjects * sizeof(double) +
                            entries * (sizeof(int) + sizeof(double));
  if (!fit_.account(e_.scratch, bytes)) return 3;
  try {
    buffers_.entry_cols.reserve(entries);
    buffers_.entry_vals.reserve(entries);
    sub.C.assign(n_subjects * sub.tri, 0.0);
    sub.Ck.assign(n_subjects * sub.tri * n2, 0.0);
    sub.Ckl.assign(n_subjects * sub.tri * sub.pairs, 0.0);
    sub.logdetM.assign(n_subjects, 0.0);
    if (fit_.repeated_type == covstruct::ID) wtw_.assign(n_subjects * sub.tri, 0.0);
  } catch (const std::bad_alloc&) {
    return 3;
  }
  fit_.rep_grad.assign(n2, 0.0);
  fit_.rep_hess.assign(sub.pairs, 0.0);
  return 0;
}

void Likelihood::random_blocks(std::span<const double> theta, bool derivatives) {
  const int q = fit_.q;
  MatrixXd& Lq = random_->L;
  MatrixXd& Gq = random_->G;
  Lq.setZero(q, q);
  Gq.setZero(q, q);
  for (RandomBlock& b : fit_.blocks) {
    const int d = b.dim;
    const std::size_t t = tri_size(static_cast<std::size_t>(d));
    std::span<const double> th =
        theta.subspan(static_cast<std::size_t>(b.first_param), static_cast<std::size_t>(b.npar));
    b.G.assign(t, 0.0);
    b.L.assign(t, 0.0);
    covstruct::structure_matrix(d, th, {}, b.cov_type, b.G);
    covstruct::structure_factor(d, th, b.G, b.cov_type, b.L);
    if (derivatives) {
      b.dG.assign(t * static_cast<std::size_t>(b.npar), 0.0);
      b.d2G.assign(t * tri_size(static_cast<std::size_t>(b.npar)), 0.0);
      for (int k = 0; k < b.npar; ++k) {
        covstruct::structure_first_derivative(d, th, k, {}, b.cov_type, std::span<double>(b.dG).subspan(k * t, t));
        for (int l = 0; l <= k; ++l)
          covstruct::structure_second_derivative(d, th, k, l, {}, b.cov_type,
                                                 std::span<double>(b.d2G).subspan(pair_index(k, l) * t, t));
      }
    }
    for (int r = 0; r < b.replicates; ++r) {
      const int o = b.col + r * d;
      for (int i = 0; i < d; ++i)
        for (int j = 0; j <= i; ++j) {
          Lq(o + i, o + j) = b.L[tri(i, j)];
          Gq(o + i, o + j) = Gq(o + j, o + i) = b.G[tri(i, j)];
        }
    }
  }
}

int Likelihood::repeated_pass(std::span<const double> theta) {
  SubjectBlocks& sub = fit_.sub;
  const int n2 = fit_.n_residual_cov_params;
  std::span<const double> thr = theta.first(static_cast<std::size_t>(n2));
  std::fill(fit_.rep_grad.begin(), fit_.rep_grad.end(), 0.0);
  std::fill(fit_.rep_hess.begin(), fit_.rep_hess.end(), 0.0);
  fit_.ldetr = 0.0;
  const std::size_t T = sub.tri;
  for (std::size_t i = 0; i < fit_.rows.subjects(); ++i) {
    if (model::stop_if_interrupted(e_.out)) return -1;
    const covstruct::SubjectRows rows = subject_rows(fit_, i);
    std::span<double> c0(sub.C.data() + i * T, T);
    std::span<double> ck(sub.Ck.data() + i * T * n2, T * n2);
    std::span<double> ckl(sub.Ckl.data() + i * T * sub.pairs, T * sub.pairs);
    const covstruct::CovType cov_type = fit_.repeated_type;
    if (cov_type == covstruct::ID) {
      std::span<double> wtw(wtw_.data() + i * T, T);
      if (!wtw_ready_) covstruct::design_cross_products(rows, wtw);
      const double v = thr[0];
      if (!MIXED_INVARIANT(e_.out, v > 0.0)) return -1;
      double ni = 0.0;
      for (std::size_t r = fit_.rows.first[i]; r < fit_.rows.first[i + 1]; ++r) ni += fit_.rows.case_weight[r];
      const double a = 1.0 / v, b = a / v, c = -2.0 * b / v;
      for (std::size_t k = 0; k < T; ++k) {
        c0[k] = a * wtw[k];
        ck[k] = b * wtw[k];
        ckl[k] = c * wtw[k];
      }
      fit_.ldetr += ni * std::log(v);
      fit_.rep_grad[0] += ni * a;
      fit_.rep_hess[0] -= ni * b;
    } else if (cov_type == covstruct::DIAG || cov_type == covstruct::VC_REPEATED) {
      if (!wtw_ready_) {
        const int status = covstruct::check_repeated_levels(rows, buffers_.subject);
        if (status != 0) return status;
      }
      std::fill(c0.begin(), c0.end(), 0.0);
      std::fill(ck.begin(), ck.end(), 0.0);
      std::fill(ckl.begin(), ckl.end(), 0.0);
      for (int j = 0; j < rows.n; ++j) {
        const int l = rows.level[j];
        const double v = thr[l];
        if (!MIXED_INVARIANT(e_.out, v > 0.0)) return -1;
        const double a = 1.0 / v, b = a / v, c = -2.0 * b / v;
        add_record_products(rows, j, a, c0, buffers_);
        add_record_products(rows, j, b, ck.subspan(static_cast<std::size_t>(l) * T, T), buffers_);
        add_record_products(rows, j, c, ckl.subspan(pair_index(l, l) * T, T), buffers_);
        fit_.rep_grad[l] += a;
        fit_.rep_hess[pair_index(l, l)] -= b;
        fit_.ldetr += std::log(v);
      }
    } else {
      covstruct::TermFlags flags;
      flags.logdet = flags.gradient = flags.hessian = true;
      flags.c0 = flags.ck = flags.ckl = true;
      covstruct::TermSums sums;
      sums.gradient = fit_.rep_grad;
      sums.hessian = fit_.rep_hess;
      sums.c0 = c0;
      sums.ck = ck;
      sums.ckl = ckl;
      const int status = covstruct::add_repeated_subject_terms(rows, thr, cov_type, buffers_.subject, flags, sums);
      if (status != 0) return status;
      fit_.ldetr += sums.logdet;
    }
  }
  wtw_ready_ = true;
  return 0;
}

void Likelihood::combine() {
  SubjectBlocks& sub = fit_.sub;
  const int p = fit_.p, q = fit_.q;
  const std::size_t T = sub.tri;
  const std::size_t F = tri_size(static_cast<std::size_t>(p + 1));
  est_.fixed_covariance.assign(F, 0.0);
  fit_.sum_logdetM = 0.0;
  MatrixXd czz(q, q), cz(q, p + 1), m(q, q), e(q, p + 1);
  Eigen::LLT<MatrixXd> llt;
  const MatrixXd& Lq = random_->L;
  for (std::size_t i = 0; i < fit_.rows.subjects(); ++i) {
    const double* c = sub.C.data() + i * T;
    for (std::size_t k = 0; k < F; ++k) est_.fixed_covariance[k] += c[k];
    if (q == 0) continue;
    for (int u = 0; u < q; ++u) {
      for (int v = 0; v <= u; ++v) czz(u, v) = czz(v, u) = c[tri(p + 1 + u, p + 1 + v)];
      for (int a = 0; a <= p; ++a) cz(u, a) = c[tri(p + 1 + u, a)];
    }
    m.noalias() = Lq.transpose() * czz * Lq;
    m.diagonal().array() += 1.0;
    llt.compute(m);
    const MatrixXd& k = llt.matrixLLT();
    double logdet = 0.0;
    for (int u = 0; u < q; ++u) logdet += 2.0 * std::log(k(u, u));
    sub.logdetM[i] = logdet;
    fit_.sum_logdetM += logdet;
    e.noalias() = Lq.transpose() * cz;
    llt.matrixL().solveInPlace(e);
    for (int a = 0; a <= p; ++a)
      for (int b = 0; b <= a; ++b) est_.fixed_covariance[tri(a, b)] -= e.col(a).dot(e.col(b));
  }
}

int Likelihood::evaluate(std::span<const double> theta, Evaluation& ev) {
  ev = Evaluation();
  ++est_.evaluations;
  if (fit_.has_random) random_blocks(theta, false);
  const int status = repeated_pass(theta);
  if (status != 0) return status;
  combine();
  const std::size_t p = static_cast<std::size_t>(fit_.p);
  if (p > 0) {
    SweepResult r = sweep_fixed(p, est_.fixed_covariance, cmd_.singularity_tolerance);
    clean_fixed(p, est_.fixed_covariance, est_.non_redundant);
    ev.ldetx = r.logdet;
    ev.rank = r.rank;
  }
  ev.ldetv = fit_.sum_logdetM + fit_.ldetr - fit_.lwsum;
  ev.rquad = est_.fixed_covariance.back();
  return 0;
}

double Likelihood::m2ll(const Evaluation& ev) const {
  const double n = group_.n_observations;
  if (cmd_.method == model::Method::ML) return ev.ldetv + ev.rquad + n * kLog2Pi;
  return ev.ldetv + ev.rquad + ev.ldetx + (n - est_.fixed_rank) * kLog2Pi;
}

namespace {

// The per-subject quantities of the random part at the current parameters,
// with y turned into the residual r.
struct SubjectState {
  MatrixXd C;        // J' C_i J, order m
  MatrixXd H, T, S;  // q x q
  MatrixXd tX, Y;    // q x p
  VectorXd tr, sr;   // q
};

void subject_state(const MatrixXd& lq, int p, int q, SubjectState& st) {
  const MatrixXd& c = st.C;
  if (q == 0) {
    st.H.resize(0, 0);
    st.T.resize(0, 0);
    st.S.resize(0, 0);
    st.tX.resize(0, p);
    st.Y.resize(0, p);
    st.tr.resize(0);
    st.sr.resize(0);
    return;
  }
  const auto czz = c.bottomRightCorner(q, q);
  const auto czx = c.block(p + 1, 0, q, p);
  const auto czr = c.col(p).segment(p + 1, q);
  MatrixXd m = lq.transpose() * czz * lq;
  m.diagonal().array() += 1.0;
  Eigen::LLT<MatrixXd> llt(m);
  MatrixXd lt = lq.transpose();
  llt.solveInPlace(lt);      // M^-1 L'
  st.H.noalias() = lq * lt;  // L M^-1 L'
  st.T = MatrixXd::Identity(q, q) - st.H * czz;
  st.S.noalias() = czz * st.T;
  st.S = 0.5 * (st.S + st.S.transpose());
  st.tX.noalias() = st.H * czx;
  st.Y = czx - czz * st.tX;
  st.tr = st.H * czr;
  st.sr = czr - czz * st.tr;
}

// The dense q x q matrix of a random-block parameter's derivative block
// (copies over the block's replicates), from a packed block of order d.
void expand(const RandomBlock& b, std::span<const double> packed, int q, MatrixXd& out) {
  out.setZero(q, q);
  for (int r = 0; r < b.replicates; ++r) {
    const int o = b.col + r * b.dim;
    for (int i = 0; i < b.dim; ++i)
      for (int j = 0; j <= i; ++j) out(o + i, o + j) = out(o + j, o + i) = packed[tri(i, j)];
  }
}

// The per-subject quantities of each parameter's first derivative that its
// second derivatives reuse, with t_r = H C_zr and tX = H C_zx (SubjectState).
// Residual parameter k: K_k = J' C_i,k J, z_k = K_k,zr - K_k,zz t_r and
// B_k = K_k,xz - tX' K_k,zz; random parameter k: G_k s_r and G_k Y.
struct FirstOrder {
  std::vector<MatrixXd> kr;   // K_k
  std::vector<VectorXd> akz;  // z_k
  std::vector<MatrixXd> bx;   // B_k
  std::vector<VectorXd> gsr;  // G_k s_r
  std::vector<MatrixXd> gy;   // G_k Y
};

// The sums over subjects behind the fixed-effect parts of the derivatives,
// with V_k = dV/dtheta_k: a_k = X' V^-1 V_k V^-1 r and W_k = X' V^-1 V_k V^-1 X.
struct FixedSums {
  std::vector<VectorXd> a;
  std::vector<MatrixXd> w;
};

// What the terms of one subject read besides the parameter indices.
struct SubjectInputs {
  const SubjectState& st;
  const FirstOrder& f;
  const std::vector<MatrixXd>& gk;  // dense G_k over the q random columns
  const MatrixXd& cb;               // (X' V^-1 X)^-, order p
  int p, q;
  bool newton, reml;
};

// The contributions of one subject and one pair (k, l) to the parts of H:
// D from log|V|, N from r' V^-1 r, Q from log|X' V^-1 X|.
struct PairTerms {
  double D = 0.0, N = 0.0, Q = 0.0;
};

// Residual parameter k, from K_k = f.kr[k]: z_k and B_k, its part -tr(H K_zz)
// of gD (the rest, tr(R^-1 R_k), comes from the repeated pass), its part
// -(r - Z t_r)' K_k (r - Z t_r) of gN, and its pieces of a_k and W_k.
void residual_first_order(const SubjectInputs& in, int k, FirstOrder& f, FixedSums& s, Derivatives& d) {
  const SubjectState& st = in.st;
  const int p = in.p, q = in.q;
  const MatrixXd& K = f.kr[k];
  const auto kzz = K.bottomRightCorner(q, q);
  const auto kzx = K.block(p + 1, 0, q, p);
  const auto kzr = K.col(p).segment(p + 1, q);
  f.akz[k] = kzr - kzz * st.tr;
  f.bx[k] = kzx.transpose() - st.tX.transpose() * kzz;
  const double quad = K(p, p) - 2.0 * st.tr.dot(kzr) + st.tr.dot(kzz * st.tr);
  s.a[k] += K.col(p).head(p) - st.tX.transpose() * kzr - f.bx[k] * st.tr;
  s.w[k] += K.topLeftCorner(p, p) - st.tX.transpose() * kzx - f.bx[k] * st.tX;
  if (q > 0) d.gD[k] -= (st.H * kzz).trace();
  d.gN[k] -= quad;
}

// Random parameter k: G_k s_r and G_k Y, its parts tr(S G_k) of gD and
// -s_r' G_k s_r of gN, and its pieces Y' G_k s_r of a_k and Y' G_k Y of W_k.
void random_first_order(const SubjectInputs& in, int k, FirstOrder& f, FixedSums& s, Derivatives& d) {
  const SubjectState& st = in.st;
  f.gsr[k] = in.gk[k] * st.sr;
  f.gy[k] = in.gk[k] * st.Y;
  d.gD[k] += (st.S * in.gk[k]).trace();
  d.gN[k] -= st.sr.dot(f.gsr[k]);
  s.a[k] += st.Y.transpose() * f.gsr[k];
  s.w[k] += st.Y.transpose() * f.gy[k];
}

// Two residual parameters, from Q_kl = J' C_i,kl J and X~ = X - Z tX:
//   D = -tr(H Q_zz) - tr(H K_k,zz H K_l,zz),
//   N = -(r - Z t_r)' Q_kl (r - Z t_r) - 2 z_k' H z_l,
//   Q = -sum(C_b .* (X~' Q_kl X~ + B_k H B_l' + (B_k H B_l')')).
PairTerms residual_pair(const SubjectInputs& in, const MatrixXd& kkl, int k, int l) {
  const SubjectState& st = in.st;
  const int p = in.p, q = in.q;
  PairTerms t;
  const auto qzz = kkl.bottomRightCorner(q, q);
  const auto qzx = kkl.block(p + 1, 0, q, p);
  const auto qzr = kkl.col(p).segment(p + 1, q);
  if (q > 0) {
    const auto kzz = in.f.kr[k].bottomRightCorner(q, q);
    const auto lzz = in.f.kr[l].bottomRightCorner(q, q);
    t.D = -(st.H * qzz).trace() - (st.H * kzz * st.H * lzz).trace();
  }
  if (in.newton)
    t.N = -(kkl(p, p) - 2.0 * st.tr.dot(qzr) + st.tr.dot(qzz * st.tr)) - 2.0 * in.f.akz[k].dot(st.H * in.f.akz[l]);
  if (in.reml) {
    MatrixXd xqx =
        kkl.topLeftCorner(p, p) - st.tX.transpose() * qzx - qzx.transpose() * st.tX + st.tX.transpose() * qzz * st.tX;
    MatrixXd cross = in.f.bx[k] * st.H * in.f.bx[l].transpose();
    t.Q = -(in.cb.cwiseProduct(xqx + cross + cross.transpose())).sum();
  }
  return t;
}

// Random parameter k with residual parameter l:
//   D = -tr(T' K_l,zz T G_k),  N = 2 z_l' T G_k s_r,
//   Q = sum(C_b .* (B_l T G_k Y + (B_l T G_k Y)')).
PairTerms random_residual_pair(const SubjectInputs& in, int k, int l) {
  const SubjectState& st = in.st;
  const int q = in.q;
  PairTerms t;
  if (q > 0) {
    const auto lzz = in.f.kr[l].bottomRightCorner(q, q);
    t.D = -(st.T.transpose() * lzz * st.T * in.gk[k]).trace();
  }
  if (in.newton) t.N = 2.0 * in.f.akz[l].dot(st.T * in.f.gsr[k]);
  if (in.reml) {
    MatrixXd cross = in.f.bx[l] * st.T * in.f.gy[k];
    t.Q = (in.cb.cwiseProduct(cross + cross.transpose())).sum();
  }
  return t;
}

// Two random parameters; gkl is d2G_kl over the q columns when both belong to
// the same block, else null (G_kl = 0):
//   D = -tr(S G_k S G_l) + tr(S G_kl),  N = 2 s_r' G_k S G_l s_r - s_r' G_kl s_r,
//   Q = sum(C_b .* ((G_k Y)' S G_l Y + ((G_k Y)' S G_l Y)' - Y' G_kl Y)).
PairTerms random_pair(const SubjectInputs& in, const MatrixXd* gkl, int k, int l) {
  const SubjectState& st = in.st;
  PairTerms t;
  t.D = -(st.S * in.gk[k] * st.S * in.gk[l]).trace();
  if (gkl) t.D += (st.S * *gkl).trace();
  if (in.newton) {
    t.N = 2.0 * in.f.gsr[k].dot(st.S * in.f.gsr[l]);
    if (gkl) t.N -= st.sr.dot(*gkl * st.sr);
  }
  if (in.reml) {
    MatrixXd cross = in.f.gy[k].transpose() * st.S * in.f.gy[l];
    MatrixXd sumq = cross + cross.transpose();
    if (gkl) sumq -= st.Y.transpose() * *gkl * st.Y;
    t.Q = (in.cb.cwiseProduct(sumq)).sum();
  }
  return t;
}

}  // namespace

void Likelihood::derivatives(std::span<const double> theta, bool newton, bool reml, Derivatives& d) {
  const int p = fit_.p, q = fit_.q, nt = fit_.n_cov_params, n2 = fit_.n_residual_cov_params;
  const int m = p + 1 + q;
  const std::size_t npairs = tri_size(static_cast<std::size_t>(nt));
  d.g.assign(nt, 0.0);
  d.gD.assign(nt, 0.0);
  d.gN.assign(nt, 0.0);
  d.gQ.assign(nt, 0.0);
  d.D.assign(npairs, 0.0);
  d.N.assign(npairs, 0.0);
  d.Q.assign(npairs, 0.0);
  d.H.assign(npairs, 0.0);
  if (fit_.has_random) random_blocks(theta, true);

  const VectorXd beta = Eigen::Map<const VectorXd>(est_.fixed_covariance.data() + tri(p, 0), p);
  MatrixXd cb;
  unpack(std::span<const double>(est_.fixed_covariance).first(tri_size(p)), p, cb);

  // Which random block and which of its parameters each G parameter is.
  std::vector<int> block_of(nt, -1), local(nt, -1);
  for (std::size_t b = 0; b < fit_.blocks.size(); ++b)
    for (int k = 0; k < fit_.blocks[b].npar; ++k) {
      block_of[fit_.blocks[b].first_param + k] = static_cast<int>(b);
      local[fit_.blocks[b].first_param + k] = k;
    }
  std::vector<MatrixXd> gk(nt);  // dense G_k over q (G parameters)
  for (int k = n2; k < nt; ++k) {
    const RandomBlock& b = fit_.blocks[block_of[k]];
    const std::size_t t = tri_size(static_cast<std::size_t>(b.dim));
    expand(b, std::span<const double>(b.dG).subspan(local[k] * t, t), q, gk[k]);
  }

  FixedSums sums{std::vector<VectorXd>(nt, VectorXd::Zero(p)), std::vector<MatrixXd>(nt, MatrixXd::Zero(p, p))};
  SubjectState st;
  FirstOrder f{std::vector<MatrixXd>(n2), std::vector<VectorXd>(n2), std::vector<MatrixXd>(n2),
               std::vector<VectorXd>(nt), std::vector<MatrixXd>(nt)};
  const SubjectInputs in{st, f, gk, cb, p, q, newton, reml};
  MatrixXd kkl, gkl;
  const SubjectBlocks& sub = fit_.sub;
  const std::size_t T = sub.tri;

  for (std::size_t i = 0; i < fit_.rows.subjects(); ++i) {
    if (model::stop_if_interrupted(e_.out)) return;
    unpack(std::span<const double>(sub.C).subspan(i * T, T), m, st.C);
    residualize(st.C, beta, p);
    subject_state(random_->L, p, q, st);
    for (int k = 0; k < n2; ++k) {
      unpack(std::span<const double>(sub.Ck).subspan((i * n2 + k) * T, T), m, f.kr[k]);
      residualize(f.kr[k], beta, p);
      residual_first_order(in, k, f, sums, d);
    }
    for (int k = n2; k < nt; ++k) random_first_order(in, k, f, sums, d);
    for (int k = 0; k < nt; ++k) {
      for (int l = 0; l <= k; ++l) {
        const std::size_t kl = pair_index(k, l);
        PairTerms t;
        if (k < n2) {
          unpack(std::span<const double>(sub.Ckl).subspan((i * sub.pairs + kl) * T, T), m, kkl);
          residualize(kkl, beta, p);
          t = residual_pair(in, kkl, k, l);
        } else if (l < n2) {
          t = random_residual_pair(in, k, l);
        } else {
          const bool same = block_of[k] == block_of[l];
          if (same) {
            const RandomBlock& b = fit_.blocks[block_of[k]];
            const std::size_t tb = tri_size(static_cast<std::size_t>(b.dim));
            expand(b, std::span<const double>(b.d2G).subspan(pair_index(local[k], local[l]) * tb, tb), q, gkl);
          }
          t = random_pair(in, same ? &gkl : nullptr, k, l);
        }
        d.D[kl] += t.D;
        d.N[kl] += t.N;
        d.Q[kl] += t.Q;
      }
    }
  }

  for (int k = 0; k < n2; ++k) d.gD[k] += fit_.rep_grad[k];
  for (int k = 0; k < n2; ++k)
    for (int l = 0; l <= k; ++l) d.D[pair_index(k, l)] += fit_.rep_hess[pair_index(k, l)];
  const std::vector<VectorXd>& a = sums.a;
  const std::vector<MatrixXd>& w = sums.w;
  for (int k = 0; k < nt; ++k) {
    if (reml) d.gQ[k] = -(cb.cwiseProduct(w[k])).sum();
    for (int l = 0; l <= k; ++l) {
      const std::size_t kl = pair_index(k, l);
      if (newton) d.N[kl] -= 2.0 * a[k].dot(cb * a[l]);
      if (reml) d.Q[kl] -= (cb * w[k] * cb * w[l]).trace();
    }
  }
  for (int k = 0; k < nt; ++k) d.g[k] = d.gD[k] + d.gN[k] + (reml ? d.gQ[k] : 0.0);
  for (std::size_t kl = 0; kl < npairs; ++kl) d.H[kl] = d.D[kl] + (newton ? d.N[kl] : 0.0) + (reml ? d.Q[kl] : 0.0);
}

void Likelihood::final_pass(std::span<const double> theta) {
  const int p = fit_.p, q = fit_.q;
  const int m = p + 1 + q;
  if (fit_.has_random) random_blocks(theta, true);
  const VectorXd beta = Eigen::Map<const VectorXd>(est_.fixed_covariance.data() + tri(p, 0), p);
  const std::size_t n_subjects = fit_.rows.subjects();
  SubjectFinal& f = fit_.final;
  f.Y.assign(n_subjects * q * p, 0.0);
  f.tX.assign(n_subjects * q * p, 0.0);
  f.S.assign(n_subjects * q * q, 0.0);
  f.u.assign(n_subjects * q, 0.0);
  SubjectState st;
  const std::size_t T = fit_.sub.tri;
  for (std::size_t i = 0; i < n_subjects && q > 0; ++i) {
    unpack(std::span<const double>(fit_.sub.C).subspan(i * T, T), m, st.C);
    residualize(st.C, beta, p);
    subject_state(random_->L, p, q, st);
    const VectorXd u = random_->G * st.sr;
    RowMajorMap(f.Y.data() + i * q * p, q, p) = st.Y;
    RowMajorMap(f.tX.data() + i * q * p, q, p) = st.tX;
    RowMajorMap(f.S.data() + i * q * q, q, q) = st.S;
    Eigen::Map<VectorXd>(f.u.data() + i * q, q) = u;
  }
  const int n = fit_.rep_dim;
  fit_.R_matrix.assign(tri_size(static_cast<std::size_t>(n)), 0.0);
  covstruct::structure_matrix(n, theta.first(static_cast<std::size_t>(fit_.n_residual_cov_params)), {},
                              fit_.repeated_type, fit_.R_matrix);
}

}  // namespace mixed::estimate
