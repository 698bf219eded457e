#include "inference/dense_model_util.h"

#include <cmath>
#include <functional>
#include <memory>

#include "estimate/fit.h"
#include "host/packed.h"

namespace mixed::inference::test {

using Eigen::MatrixXd;
using Eigen::VectorXd;

namespace {

std::vector<double> pack(const MatrixXd& m) {
  std::vector<double> out;
  for (int i = 0; i < m.rows(); ++i)
    for (int j = 0; j <= i; ++j) out.push_back(m(i, j));
  return out;
}

// A deterministic spread of values in (-1, 1).
double wobble(int k) { return std::sin(1.7 * k + 0.3 * k * k); }

}  // namespace

DenseModel::DenseModel() {
  const int records[] = {6, 4, 7};
  int k = 0;
  for (int i = 0; i < 3; ++i) {
    const int n = records[i];
    MatrixXd x(n, p), z = MatrixXd::Zero(n, q);
    VectorXd yi(n);
    std::vector<bool> pr(replicates, false);
    for (int r = 0; r < n; ++r, ++k) {
      const int rep = i == 1 ? 0 : r % replicates;
      pr[rep] = true;
      const double t = r + 1.0;
      x(r, 0) = 1.0;
      x(r, 1) = 2.0 * wobble(k) + 0.5 * t;
      z(r, rep * dim) = 1.0;
      z(r, rep * dim + 1) = t;
      yi(r) = 3.0 + 1.5 * x(r, 1) + 2.0 * wobble(k + 100) + 0.4 * (i - 1) * t;
    }
    X.push_back(x);
    Z.push_back(z);
    y.push_back(yi);
    present.push_back(pr);
  }
}

MatrixXd DenseModel::R(std::size_t i, const VectorXd& theta) const {
  const int n = static_cast<int>(X[i].rows());
  return theta(0) * MatrixXd::Identity(n, n) + theta(1) * MatrixXd::Ones(n, n);
}

MatrixXd DenseModel::Gblock(const VectorXd& theta) const {
  MatrixXd g(dim, dim);
  g << theta(2), theta(3), theta(3), theta(4);
  return g;
}

MatrixXd DenseModel::G(const VectorXd& theta) const {
  MatrixXd g = MatrixXd::Zero(q, q);
  for (int r = 0; r < replicates; ++r) g.block(r * dim, r * dim, dim, dim) = Gblock(theta);
  return g;
}

MatrixXd DenseModel::C(const VectorXd& theta) const {
  MatrixXd xvx = MatrixXd::Zero(p, p);
  for (std::size_t i = 0; i < X.size(); ++i) {
    const MatrixXd V = Z[i] * G(theta) * Z[i].transpose() + R(i, theta);
    xvx += X[i].transpose() * V.ldlt().solve(X[i]);
  }
  return xvx.inverse();
}

VectorXd DenseModel::beta(const VectorXd& theta) const {
  VectorXd xvy = VectorXd::Zero(p);
  for (std::size_t i = 0; i < X.size(); ++i) {
    const MatrixXd V = Z[i] * G(theta) * Z[i].transpose() + R(i, theta);
    xvy += X[i].transpose() * V.ldlt().solve(y[i]);
  }
  return C(theta) * xvy;
}

double DenseModel::pev(const VectorXd& theta, const VectorXd& lf, const VectorXd& lr) const {
  // Unknowns: β, then dim effects for every (subject, present replicate).
  int pairs = 0;
  for (const auto& pr : present)
    for (bool b : pr) pairs += b;
  int n = 0;
  for (const auto& x : X) n += static_cast<int>(x.rows());
  const int u = pairs * dim;
  MatrixXd XZ = MatrixXd::Zero(n, p + u), Rinv = MatrixXd::Zero(n, n), Ginv = MatrixXd::Zero(p + u, p + u);
  VectorXd l(p + u);
  l.head(p) = lf;
  int row = 0, col = p;
  const MatrixXd gi = Gblock(theta).inverse();
  for (std::size_t i = 0; i < X.size(); ++i) {
    const int ni = static_cast<int>(X[i].rows());
    XZ.block(row, 0, ni, p) = X[i];
    for (int r = 0; r < replicates; ++r) {
      if (!present[i][r]) continue;
      XZ.block(row, col, ni, dim) = Z[i].block(0, r * dim, ni, dim);
      Ginv.block(col, col, dim, dim) = gi;
      l.segment(col, dim) = lr;
      col += dim;
    }
    Rinv.block(row, row, ni, ni) = R(i, theta).inverse();
    row += ni;
  }
  const MatrixXd M = XZ.transpose() * Rinv * XZ + Ginv;
  return l.dot(M.ldlt().solve(l));
}

double DenseModel::predicted(const VectorXd& theta, const VectorXd& lf, const VectorXd& lr) const {
  const VectorXd b = beta(theta);
  double sum = lf.dot(b);
  for (std::size_t i = 0; i < X.size(); ++i) {
    const MatrixXd V = Z[i] * G(theta) * Z[i].transpose() + R(i, theta);
    const VectorXd u = G(theta) * Z[i].transpose() * V.ldlt().solve(y[i] - X[i] * b);
    for (int r = 0; r < replicates; ++r)
      if (present[i][r]) sum += lr.dot(u.segment(r * dim, dim));
  }
  return sum;
}

void DenseModel::fill(model::Command& /*cmd*/, data::GroupData& group, estimate::Estimates& est, const VectorXd& theta,
                      const MatrixXd& W) const {
  group.n_fixed_columns = p;
  group.n_random_columns = dim;
  group.rn_fcol = {0, 1};
  group.rn_ncol = {1, 1};
  group.blocks.assign(1, {});
  group.blocks[0].effects = {0, 1};
  group.blocks[0].dim = dim;
  group.blocks[0].cov_type = covstruct::UN;
  est.n_cov_params = ntheta;
  est.n_residual_cov_params = 2;
  est.cov_param_covariance = pack(W);
  MatrixXd fc = MatrixXd::Zero(p + 1, p + 1);
  fc.topLeftCorner(p, p) = C(theta);
  fc.row(p).head(p) = beta(theta).transpose();
  est.fixed_covariance = pack(fc);
  est.non_redundant.resize(p);
  for (int k = 0; k < p; ++k) est.non_redundant.set(k);

  auto fit = std::make_shared<estimate::Fit>();
  fit->p = p;
  fit->q = q;
  fit->n_cov_params = ntheta;
  fit->n_residual_cov_params = 2;
  estimate::RandomBlock blk;
  blk.cov_type = covstruct::UN;
  blk.dim = dim;
  blk.replicates = replicates;
  blk.col = 0;
  blk.first_param = 2;
  blk.npar = 3;
  blk.G = pack(Gblock(theta));
  blk.dG = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  fit->blocks.push_back(blk);
  const int m = p + 1 + q;
  fit->sub.m = m;
  fit->sub.tri = host::tri_size(m);
  fit->rows.first.assign(1, 0);
  const VectorXd b = beta(theta);
  const MatrixXd g = G(theta);
  for (std::size_t i = 0; i < X.size(); ++i) {
    const int ni = static_cast<int>(X[i].rows());
    fit->rows.first.push_back(fit->rows.first.back() + ni);
    host::BitSet bits(replicates);
    for (int r = 0; r < replicates; ++r) bits.set(r, present[i][r]);
    fit->sub.present.push_back(bits);
    MatrixXd Wi(ni, m);
    Wi << X[i], y[i], Z[i];
    const MatrixXd Ri = R(i, theta).inverse();
    const MatrixXd derivs[] = {MatrixXd::Identity(ni, ni), MatrixXd::Ones(ni, ni)};
    for (const MatrixXd& Rk : derivs) {
      const std::vector<double> ck = pack(Wi.transpose() * Ri * Rk * Ri * Wi);
      fit->sub.Ck.insert(fit->sub.Ck.end(), ck.begin(), ck.end());
    }
    const MatrixXd Vi = (Z[i] * g * Z[i].transpose() + R(i, theta)).inverse();
    const MatrixXd H = (g.inverse() + Z[i].transpose() * Ri * Z[i]).inverse();
    const MatrixXd Y = Z[i].transpose() * Vi * X[i];
    const MatrixXd tX = H * Z[i].transpose() * Ri * X[i];
    const MatrixXd S = Z[i].transpose() * Vi * Z[i];
    const VectorXd u = g * Z[i].transpose() * Vi * (y[i] - X[i] * b);
    for (int r = 0; r < q; ++r) {
      for (int c = 0; c < p; ++c) {
        fit->final.Y.push_back(Y(r, c));
        fit->final.tX.push_back(tX(r, c));
      }
      fit->final.u.push_back(u(r));
    }
    for (int r = 0; r < q; ++r)
      for (int c = 0; c < q; ++c) fit->final.S.push_back(S(r, c));
  }
  est.fit = fit;
}

VectorXd gradient(const VectorXd& theta, const std::function<double(const VectorXd&)>& f) {
  VectorXd g(theta.size());
  for (int k = 0; k < theta.size(); ++k) {
    const double h = 1e-5 * std::max(1.0, std::fabs(theta(k)));
    VectorXd up = theta, down = theta;
    up(k) += h;
    down(k) -= h;
    g(k) = (f(up) - f(down)) / (2.0 * h);
  }
  return g;
}

MatrixXd test_W() {
  MatrixXd a(DenseModel::ntheta, DenseModel::ntheta);
  for (int i = 0; i < a.rows(); ++i)
    for (int j = 0; j < a.cols(); ++j) a(i, j) = 0.1 * std::cos(i + 2.0 * j);
  return a * a.transpose() + 0.05 * MatrixXd::Identity(a.rows(), a.cols());
}

VectorXd test_theta() {
  VectorXd t(DenseModel::ntheta);
  t << 1.3, 0.4, 2.0, -0.3, 0.25;
  return t;
}

}  // namespace mixed::inference::test
