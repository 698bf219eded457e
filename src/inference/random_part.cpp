#include "inference/random_part.h"

#include <algorithm>

#include "host/packed.h"

namespace mixed::inference {

std::vector<RandomColumn> random_column_places(const data::GroupData& group) {
  std::vector<RandomColumn> places(static_cast<std::size_t>(std::max(0, group.n_random_columns)));
  for (std::size_t b = 0; b < group.blocks.size(); ++b) {
    const auto& effects = group.blocks[b].effects;
    if (effects.empty()) continue;
    const int first = group.rn_fcol[effects.front()];
    for (int e : effects)
      for (int c = 0; c < group.rn_ncol[e]; ++c) {
        const int col = group.rn_fcol[e] + c;
        places[col] = {static_cast<int>(b), col - first};
      }
  }
  return places;
}

void spread_random(const estimate::Fit& fit, std::span<const RandomColumn> places, std::span<const double> lr,
                   std::size_t subject, std::span<double> out) {
  std::fill(out.begin(), out.end(), 0.0);
  std::vector<std::size_t> base(fit.blocks.size(), 0);
  for (std::size_t b = 1; b < fit.blocks.size(); ++b)
    base[b] = base[b - 1] + static_cast<std::size_t>(fit.blocks[b - 1].replicates);
  const host::BitSet* present = subject < fit.sub.present.size() ? &fit.sub.present[subject] : nullptr;
  for (std::size_t u = 0; u < lr.size() && u < places.size(); ++u) {
    if (lr[u] == 0.0) continue;
    const estimate::RandomBlock& blk = fit.blocks[places[u].block];
    for (int r = 0; r < blk.replicates; ++r) {
      if (present != nullptr && !present->test(base[places[u].block] + static_cast<std::size_t>(r))) continue;
      out[static_cast<std::size_t>(blk.col + r * blk.dim + places[u].offset)] = lr[u];
    }
  }
}

void apply_G(const estimate::Fit& fit, std::span<const double> x, std::span<double> out) {
  std::fill(out.begin(), out.end(), 0.0);
  for (const estimate::RandomBlock& blk : fit.blocks)
    for (int r = 0; r < blk.replicates; ++r) {
      const std::size_t o = static_cast<std::size_t>(blk.col + r * blk.dim);
      for (int a = 0; a < blk.dim; ++a)
        for (int c = 0; c < blk.dim; ++c) out[o + a] += blk.G[host::sym(a, c)] * x[o + c];
    }
}

namespace {

std::span<const double> slice(const std::vector<double>& v, std::size_t i, std::size_t n) {
  return std::span<const double>(v).subspan(i * n, n);
}

}  // namespace

std::span<const double> subject_Y(const estimate::Fit& fit, std::size_t i) {
  return slice(fit.final.Y, i, static_cast<std::size_t>(fit.q) * fit.p);
}
std::span<const double> subject_tX(const estimate::Fit& fit, std::size_t i) {
  return slice(fit.final.tX, i, static_cast<std::size_t>(fit.q) * fit.p);
}
std::span<const double> subject_S(const estimate::Fit& fit, std::size_t i) {
  return slice(fit.final.S, i, static_cast<std::size_t>(fit.q) * fit.q);
}
std::span<const double> subject_u(const estimate::Fit& fit, std::size_t i) {
  return slice(fit.final.u, i, static_cast<std::size_t>(fit.q));
}

void multiply(std::size_t rows, std::size_t cols, std::span<const double> m, std::span<const double> x,
              std::span<double> y) {
  for (std::size_t r = 0; r < rows; ++r) {
    double sum = 0.0;
    for (std::size_t c = 0; c < cols; ++c) sum += m[r * cols + c] * x[c];
    y[r] = sum;
  }
}

void multiply_transposed(std::size_t rows, std::size_t cols, std::span<const double> m, std::span<const double> x,
                         std::span<double> y) {
  std::fill(y.begin(), y.begin() + static_cast<std::ptrdiff_t>(cols), 0.0);
  for (std::size_t r = 0; r < rows; ++r)
    for (std::size_t c = 0; c < cols; ++c) y[c] += m[r * cols + c] * x[r];
}

}  // namespace mixed::inference
