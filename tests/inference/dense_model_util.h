// A small linear mixed model held in dense matrices, for checking the
// inference routines against direct computation.
//
// Three subjects, p = 2 fixed columns (intercept, x), residual R_i = a I + c J
// (two repeated-block parameters, derivatives I and J), and one RANDOM block
// of two columns (intercept, t) with an unstructured G_j = [g11 g21; g21 g22]
// over two replicates per subject; subject 1 has only the first replicate.
// θ = (a, c, g11, g21, g22).  fill() lays the model out as estimation leaves
// it (command, group, estimates and estimate::Fit at θ); the dense functions give C(θ) and
// the prediction-error variance of the full mixed-model equations, so that
// derivatives can be taken by central differences.
#pragma once

#include <Eigen/Dense>
#include <vector>

#include "data/group.h"
#include "estimate/estimates.h"
#include "model/command.h"

namespace mixed::inference::test {

struct DenseModel {
  DenseModel();

  static constexpr int p = 2;
  static constexpr int dim = 2;  // columns of the RANDOM block
  static constexpr int replicates = 2;
  static constexpr int q = dim * replicates;
  static constexpr int ntheta = 5;

  std::vector<Eigen::MatrixXd> X, Z;  // per subject: n_i x p, n_i x q
  std::vector<Eigen::VectorXd> y;
  std::vector<std::vector<bool>> present;  // per subject and replicate

  Eigen::MatrixXd R(std::size_t i, const Eigen::VectorXd& theta) const;
  Eigen::MatrixXd Gblock(const Eigen::VectorXd& theta) const;  // dim x dim
  Eigen::MatrixXd G(const Eigen::VectorXd& theta) const;       // q x q
  // C = (Σ X_i'V_i^-1 X_i)^-1 and β̂.
  Eigen::MatrixXd C(const Eigen::VectorXd& theta) const;
  Eigen::VectorXd beta(const Eigen::VectorXd& theta) const;
  // l' C_full l for l = (l_f, l_r on every present replicate), C_full the
  // inverse of the coefficient matrix of the full mixed-model equations.
  double pev(const Eigen::VectorXd& theta, const Eigen::VectorXd& lf, const Eigen::VectorXd& lr) const;
  // l_f'β̂ + l_r'Σ_i û_i.
  double predicted(const Eigen::VectorXd& theta, const Eigen::VectorXd& lf, const Eigen::VectorXd& lr) const;

  // The command, group and estimates with their Fit as estimation leaves them at θ, with W the
  // asymptotic covariance matrix of θ (dense, ntheta x ntheta).
  void fill(model::Command& cmd, data::GroupData& group, estimate::Estimates& est, const Eigen::VectorXd& theta,
            const Eigen::MatrixXd& W) const;
};

// Central difference of f at θ in direction k, h = 1e-5 max(1, |θ_k|).
Eigen::VectorXd gradient(const Eigen::VectorXd& theta, const std::function<double(const Eigen::VectorXd&)>& f);

// A positive definite W for the tests.
Eigen::MatrixXd test_W();
Eigen::VectorXd test_theta();

}  // namespace mixed::inference::test
