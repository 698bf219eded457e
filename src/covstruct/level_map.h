// The rows of a covariance block and the levels they carry.
//
// A structure's parameters describe L levels; a matrix of the block has one row
// per level that a subject was observed at.  An empty level vector is the
// identity map (row i carries level i, as for a random block or a display of
// all levels); otherwise row i carries level lvlidx[i] (0-based, distinct
// within a subject, in any order).  The lag between two rows is the difference
// of their levels, not of the values of the repeated variables.
#pragma once

#include <cstdlib>
#include <span>

namespace mixed::covstruct {

class LevelMap {
 public:
  LevelMap(int n, std::span<const int> lvlidx) : n_(n), map_(lvlidx) {}

  bool identity() const { return map_.empty(); }
  // l_i: the level of row i.
  int level(int i) const { return map_.empty() ? i : map_[i]; }
  // The row that carries level m (the first one), or -1 when no row does.
  int row(int m) const {
    if (map_.empty()) return m >= 0 && m < n_ ? m : -1;
    for (int i = 0; i < n_; ++i)
      if (map_[i] == m) return i;
    return -1;
  }
  // d = |l_i - l_j|.
  int lag(int i, int j) const { return std::abs(level(i) - level(j)); }

 private:
  int n_;
  std::span<const int> map_;
};

// x^d for an integer d >= 0 as d repeated products, so that x^0 = 1 also for
// x = 0 and the powers of one base agree with a running product along a row.
inline double ipow(double x, int d) {
  double p = 1.0;
  for (int i = 0; i < d; ++i) p *= x;
  return p;
}

}  // namespace mixed::covstruct
