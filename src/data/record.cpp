#include "data/record.h"

#include <algorithm>
#include <cstring>

namespace mixed::data {

Radix mixed_radix(std::span<const std::int64_t> counts) {
  const std::size_t m = counts.size();
  Radix r;
  r.stride.assign(m, 1);
  r.real.assign(m, 0);
  if (m == 0) return r;
  // Runs are found from the last variable backwards: a variable whose stride
  // restarts at 1 ends its run.  They are then numbered forwards.
  std::vector<bool> run_end(m, false);
  run_end[m - 1] = true;
  for (std::size_t k = m - 1; k-- > 0;) {
    const std::int64_t next = r.stride[k + 1] * counts[k + 1];
    const double run_product = static_cast<double>(next) * static_cast<double>(counts[k]);
    if (run_product > kKeyComponentLimit) {
      r.stride[k] = 1;
      run_end[k] = true;
    } else {
      r.stride[k] = next;
    }
  }
  int real = 0;
  for (std::size_t k = 0; k < m; ++k) {
    r.real[k] = real;
    if (run_end[k] && k + 1 < m) ++real;
  }
  r.nkey = real + 1;
  return r;
}

void encode_key(const Radix& radix, std::span<const int> levels, std::span<double> key) {
  // Every partial sum is a whole number below 2^46, so double arithmetic is exact.
  for (int r = 0; r < radix.nkey; ++r) key[r] = 1.0;
  for (std::size_t v = 0; v < levels.size(); ++v)
    key[radix.real[v]] += static_cast<double>(levels[v] - 1) * static_cast<double>(radix.stride[v]);
}

void decode_key(const Radix& radix, std::span<const double> key, std::span<int> levels) {
  std::int64_t rest = 0;
  int current = -1;
  for (std::size_t v = 0; v < levels.size(); ++v) {
    if (radix.real[v] != current) {
      current = radix.real[v];
      rest = static_cast<std::int64_t>(key[current]) - 1;
    }
    const std::int64_t q = rest / radix.stride[v];
    levels[v] = static_cast<int>(q) + 1;
    rest -= q * radix.stride[v];
  }
}

int class_cells(int width) { return width <= 0 ? 1 : std::max(1, (width + 7) / 8); }

void pack_string(std::string_view value, std::span<double> cells) {
  const std::size_t bytes = cells.size() * sizeof(double);
  std::vector<char> buffer(bytes, ' ');
  std::memcpy(buffer.data(), value.data(), std::min(bytes, value.size()));
  std::memcpy(cells.data(), buffer.data(), bytes);
}

std::string unpack_string(std::span<const double> cells) {
  std::string s(cells.size() * sizeof(double), ' ');
  std::memcpy(s.data(), cells.data(), s.size());
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

int level_of(const data::Levels& levels, std::span<const double> cells) {
  if (levels.numeric) {
    const auto& v = levels.numbers;
    auto it = std::lower_bound(v.begin(), v.end(), cells[0]);
    return it != v.end() && *it == cells[0] ? static_cast<int>(it - v.begin()) + 1 : 0;
  }
  const std::string value = unpack_string(cells);
  const auto& v = levels.strings;
  auto it = std::lower_bound(v.begin(), v.end(), value);
  return it != v.end() && *it == value ? static_cast<int>(it - v.begin()) + 1 : 0;
}

namespace {

// The cells after the classification part, which both layouts share.
void tail_cells(RecordLayout& l, const model::Command& cmd, const host::Dataset& data, int first) {
  l.y = first;
  l.cov = first + 1;
  l.n_covariates = cmd.n_covariates();
  int next = l.cov + l.n_covariates;
  l.regwgt = cmd.regression_weight ? next++ : -1;
  l.case_weight = data.weight() ? next++ : -1;
  l.length = next;
  l.factor_classvar.assign(static_cast<std::size_t>(cmd.n_factors()), -1);
  for (int i = 0; i < cmd.n_class_vars(); ++i)
    if (cmd.classvars[i].factor > 0) l.factor_classvar[cmd.classvars[i].factor - 1] = i;
}

}  // namespace

RecordLayout case_layout(const model::Command& cmd, const host::Dataset& data) {
  RecordLayout l;
  l.n_class_vars = cmd.n_class_vars();
  int next = 0;
  for (const model::ClassVar& cv : cmd.classvars) {
    const int cells = class_cells(data.var(cv.var).width);
    l.class_offset.push_back(next);
    l.class_length.push_back(cells);
    next += cells;
  }
  tail_cells(l, cmd, data, next);
  return l;
}

RecordLayout ordered_layout(const model::Command& cmd, const data::GroupData& group, const host::Dataset& data) {
  RecordLayout l;
  l.ordered = true;
  l.n_class_vars = cmd.n_class_vars();
  std::vector<std::int64_t> counts;
  for (const data::Levels& lv : group.levels) counts.push_back(static_cast<std::int64_t>(lv.size()));
  l.class_radix = mixed_radix(counts);
  l.class_key_length = l.n_class_vars == 0 ? 0 : l.class_radix.nkey;
  tail_cells(l, cmd, data, l.class_key_length);
  if (cmd.n_repeated_vars() > 0 && l.n_class_vars > 0) {
    l.rep_subject = l.length;
    l.rep_level = l.length + 1;
    l.length += 2;
  }
  return l;
}

void decode_class_key(const RecordLayout& layout, std::span<const double> record, std::span<int> class_levels) {
  decode_key(layout.class_radix, record.first(static_cast<std::size_t>(layout.class_key_length)), class_levels);
}

void factor_levels_of(const RecordLayout& layout, std::span<const int> class_levels, std::span<int> factor_levels) {
  for (std::size_t f = 0; f < layout.factor_classvar.size(); ++f)
    factor_levels[f] = class_levels[layout.factor_classvar[f]];
}

}  // namespace mixed::data
