#include "data/subjects.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <numeric>
#include <optional>
#include <unordered_map>
#include <vector>

#include "data/number_table.h"
#include "data/record.h"
#include "data/scratch_block.h"
#include "host/workfile.h"
#include "model/messages.h"

namespace mixed::data {

namespace {

struct VectorHash {
  template <class T>
  std::size_t operator()(const std::vector<T>& v) const {
    std::size_t h = v.size();
    for (const T& x : v) h ^= std::hash<T>{}(x) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    return h;
  }
};

// Numbers distinct keys 0, 1, 2, ... in order of first appearance.
template <class T>
class FirstAppearance {
 public:
  // The number of `key`, a new one when it has not been seen.
  std::size_t number(const std::vector<T>& key) {
    auto it = numbers_.find(key);
    if (it != numbers_.end()) return it->second;
    const std::size_t n = keys_.size();
    numbers_.emplace(key, n);
    keys_.push_back(key);
    return n;
  }
  std::size_t size() const { return keys_.size(); }
  const std::vector<T>& key(std::size_t n) const { return keys_[n]; }
  // The numbers in ascending key order.
  std::vector<std::size_t> sorted() const {
    std::vector<std::size_t> order(keys_.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return keys_[a] < keys_[b]; });
    return order;
  }

 private:
  std::unordered_map<std::vector<T>, std::size_t, VectorHash> numbers_;
  std::vector<std::vector<T>> keys_;
};

// The classification variables (0-based) at the places 1, 2, ... of a list, as
// recorded in the classification variable table by `place`.
std::vector<int> classvars_of(const model::Command& cmd, int model::ClassVar::*place, int count) {
  std::vector<int> index(static_cast<std::size_t>(count), -1);
  for (int i = 0; i < cmd.n_class_vars(); ++i)
    if (cmd.classvars[i].*place > 0) index[cmd.classvars[i].*place - 1] = i;
  return index;
}

// Everything the first pass learns besides the ordering file.
struct Numbering {
  FirstAppearance<double> subjects;        // by subject key
  FirstAppearance<int> repeated_subjects;  // by REPEATED SUBJECT level numbers
  FirstAppearance<int> repeated_levels;    // by REPEATED level numbers
  std::vector<std::size_t> runs;           // record counts of runs of equal subject key
};

class Ordering {
 public:
  Ordering(const model::Command& cmd, data::GroupData& group, host::Engine& e);
  // Error number (0 on success, -1 after an interrupt).
  model::Msg run();

 private:
  static constexpr std::size_t kNone = SIZE_MAX;

  model::Msg first_pass(host::WorkFile& ordering, std::span<std::size_t> subject_of);
  model::Msg rewrite(host::WorkFile& ordering, std::span<const std::size_t> subject_of,
                     const std::vector<std::size_t>& rank);
  void repeated_tables();
  std::size_t subject_number(const std::vector<double>& key);
  int level_number(int classvar, std::span<const double> cells);
  bool interrupted() { return model::stop_if_interrupted(e_.out); }

  const model::Command& cmd_;
  data::GroupData& group_;
  host::Engine& e_;
  const RecordLayout in_;
  const RecordLayout out_;
  Radix subject_radix_;
  std::vector<std::size_t> subject_by_key_;      // one-real keys: key - 1 -> subject number
  std::vector<NumberTable> level_tables_;        // per numeric classification variable: value -> level
  std::vector<std::vector<double>> last_cells_;  // per string classification variable: the last value met
  std::vector<int> last_level_;                  // and its level number (0: none yet)
  std::vector<int> rep_subject_vars_;            // classification variables of the REPEATED subjects
  std::vector<int> rep_vars_;                    // and of the REPEATED variables
  Numbering num_;
};

Ordering::Ordering(const model::Command& cmd, data::GroupData& group, host::Engine& e)
    : cmd_(cmd), group_(group), e_(e), in_(case_layout(cmd, e.data)), out_(ordered_layout(cmd, group, e.data)) {
  const std::size_t n_class_vars = static_cast<std::size_t>(cmd.n_class_vars());
  std::vector<std::int64_t> counts;
  double product = 1.0;
  for (int i = 0; i < cmd.n_common_subjects; ++i) {
    counts.push_back(static_cast<std::int64_t>(group.levels[i].size()));
    product *= static_cast<double>(group.levels[i].size());
  }
  subject_radix_ = mixed_radix(counts);
  // A one-real key no larger than the group indexes subjects directly, so
  // that only a subject's first record goes through the hash table.
  if (!counts.empty() && subject_radix_.nkey == 1 && product <= std::max(static_cast<double>(group.ncases), 65536.0))
    subject_by_key_.assign(static_cast<std::size_t>(product), kNone);

  level_tables_.resize(n_class_vars);
  for (std::size_t i = 0; i < n_class_vars; ++i)
    for (std::size_t k = 0; k < group.levels[i].numbers.size(); ++k)
      level_tables_[i][group.levels[i].numbers[k]] = static_cast<double>(k + 1);
  last_cells_.resize(n_class_vars);
  last_level_.assign(n_class_vars, 0);

  if (cmd.n_repeated_vars() > 0) {
    rep_subject_vars_ =
        classvars_of(cmd, &model::ClassVar::repeated_subject, static_cast<int>(cmd.repeated_subjects.size()));
    rep_vars_ = classvars_of(cmd, &model::ClassVar::repeated, cmd.n_repeated_vars());
  }
}

std::size_t Ordering::subject_number(const std::vector<double>& key) {
  if (subject_by_key_.empty()) return num_.subjects.number(key);
  std::size_t& number = subject_by_key_[static_cast<std::size_t>(key[0]) - 1];
  if (number == kNone) number = num_.subjects.number(key);
  return number;
}

// The level number of a classification variable's cells: numbers through a
// hash table of the levels; strings by search in the sorted list, skipped
// when the record repeats the last string met (the records of a subject).
int Ordering::level_number(int classvar, std::span<const double> cells) {
  if (group_.levels[classvar].numeric) {
    const double* level = level_tables_[classvar].find(cells[0]);
    return level == nullptr ? 0 : static_cast<int>(*level);
  }
  std::vector<double>& last = last_cells_[classvar];
  if (last_level_[classvar] > 0 && std::memcmp(last.data(), cells.data(), cells.size_bytes()) == 0)
    return last_level_[classvar];
  last.assign(cells.begin(), cells.end());
  return last_level_[classvar] = level_of(group_.levels[classvar], cells);
}

// Reads every case record, writes its ordering record (the ordered layout) and
// numbers its subject and repeated measurement.
model::Msg Ordering::first_pass(host::WorkFile& ordering, std::span<std::size_t> subject_of) {
  std::vector<double> rec(static_cast<std::size_t>(in_.length));
  std::vector<double> out(static_cast<std::size_t>(out_.length));
  std::vector<int> levels(static_cast<std::size_t>(cmd_.n_class_vars()));
  std::vector<double> subject_key(static_cast<std::size_t>(cmd_.n_common_subjects > 0 ? subject_radix_.nkey : 0));
  std::vector<int> rep_subject(rep_subject_vars_.size()), rep_level(rep_vars_.size());
  const std::size_t tail = static_cast<std::size_t>(in_.length - in_.y);
  std::size_t previous = SIZE_MAX;

  group_.workfile->rewind();
  for (std::size_t r = 0; r < group_.ncases; ++r) {
    if (interrupted()) return model::Msg::Reported;
    if (!group_.workfile->read(rec)) return model::Msg::UnexpectedEndOfScratchFile;
    for (int i = 0; i < cmd_.n_class_vars(); ++i) {
      levels[i] = level_number(i, std::span<const double>(rec).subspan(in_.class_offset[i], in_.class_length[i]));
      if (levels[i] == 0) return model::Msg::UnexpectedEndOfScratchFile;
    }
    encode_key(subject_radix_, std::span<const int>(levels).first(static_cast<std::size_t>(cmd_.n_common_subjects)),
               subject_key);
    const std::size_t subject = subject_number(subject_key);
    if (!subject_of.empty()) subject_of[r] = subject;
    if (subject == previous)
      ++num_.runs.back();
    else
      num_.runs.push_back(1);
    previous = subject;

    encode_key(out_.class_radix, levels, out);
    std::copy_n(rec.begin() + in_.y, tail, out.begin() + out_.y);
    if (out_.rep_subject >= 0) {
      for (std::size_t j = 0; j < rep_subject.size(); ++j) rep_subject[j] = levels[rep_subject_vars_[j]];
      for (std::size_t j = 0; j < rep_level.size(); ++j) rep_level[j] = levels[rep_vars_[j]];
      out[out_.rep_subject] = static_cast<double>(num_.repeated_subjects.number(rep_subject) + 1);
      out[out_.rep_level] = static_cast<double>(num_.repeated_levels.number(rep_level) + 1);
    }
    if (!ordering.write(out)) return model::Msg::InsufficientDataMemory;
  }
  return model::Msg::None;
}

// Writes the ordering file into the work file subject by subject in key order
// (a counting sort on the subjects' ranks, stable within a subject).  In
// memory the records are picked in place; on disk the file is swept once per
// chunk of output positions that fits in the scratch budget.
model::Msg Ordering::rewrite(host::WorkFile& ordering, std::span<const std::size_t> subject_of,
                             const std::vector<std::size_t>& rank) {
  const std::size_t len = static_cast<std::size_t>(out_.length);
  const std::size_t n = group_.ncases;
  std::vector<std::size_t> start(rank.size() + 1, 0);
  for (std::size_t r = 0; r < n; ++r) ++start[rank[subject_of[r]] + 1];
  std::partial_sum(start.begin(), start.end(), start.begin());

  host::WorkFile& target = *group_.workfile;
  target.reset(len);
  const std::span<const double> memory = ordering.in_memory();
  if (!memory.empty()) {
    ScratchBlock<std::size_t> order(e_.scratch, host::Pool::GroupWork, n);
    if (!order) return model::Msg::InsufficientDataMemory;
    std::vector<std::size_t> next(start.begin(), start.end() - 1);
    for (std::size_t r = 0; r < n; ++r) order[next[rank[subject_of[r]]]++] = r;
    for (std::size_t p = 0; p < n; ++p) {
      if ((p & 0xfff) == 0 && interrupted()) return model::Msg::Reported;
      if (!target.write(memory.subspan(order[p] * len, len))) return model::Msg::InsufficientDataMemory;
    }
    return model::Msg::None;
  }

  std::size_t chunk = n;
  std::optional<ScratchBlock<double>> buffer;
  for (;;) {
    buffer.emplace(e_.scratch, host::Pool::GroupWork, chunk * len);
    if (*buffer) break;
    if (chunk == 1) return model::Msg::InsufficientDataMemory;
    chunk = (chunk + 1) / 2;
  }
  std::vector<double> rec(len);
  for (std::size_t first = 0; first < n; first += chunk) {
    const std::size_t last = std::min(n, first + chunk);
    std::vector<std::size_t> next(start.begin(), start.end() - 1);
    ordering.rewind();
    for (std::size_t r = 0; r < n; ++r) {
      if ((r & 0xfff) == 0 && interrupted()) return model::Msg::Reported;
      if (!ordering.read(rec)) return model::Msg::UnexpectedEndOfScratchFile;
      const std::size_t p = next[rank[subject_of[r]]]++;
      if (p >= first && p < last) std::copy(rec.begin(), rec.end(), buffer->span().begin() + (p - first) * len);
    }
    for (std::size_t p = first; p < last; ++p)
      if (!target.write(buffer->span().subspan((p - first) * len, len))) return model::Msg::InsufficientDataMemory;
  }
  return model::Msg::None;
}

// The repeated level table (rows in ascending order of the REPEATED variables'
// level numbers) and the map from first-appearance number to sorted row.
void Ordering::repeated_tables() {
  group_.n_repeated_subjects = static_cast<int>(num_.repeated_subjects.size());
  group_.n_repeated_levels = static_cast<int>(num_.repeated_levels.size());
  const std::vector<std::size_t> sorted = num_.repeated_levels.sorted();
  group_.repeated_level_table.clear();
  group_.repeated_level_map.assign(sorted.size(), 0);
  for (std::size_t row = 0; row < sorted.size(); ++row) {
    const std::vector<int>& key = num_.repeated_levels.key(sorted[row]);
    group_.repeated_level_table.insert(group_.repeated_level_table.end(), key.begin(), key.end());
    group_.repeated_level_map[sorted[row]] = static_cast<int>(row);
  }
}

model::Msg Ordering::run() {
  // The per-record subject numbers are needed only to permute the file.
  const bool reorder = cmd_.n_common_subjects > 0 && !cmd_.subjects_grouped;
  ScratchBlock<std::size_t> subject_of(e_.scratch, host::Pool::GroupWork, reorder ? group_.ncases : 0);
  if (!subject_of) return model::Msg::InsufficientDataMemory;
  auto ordering = std::make_unique<host::WorkFile>(e_.scratch, static_cast<std::size_t>(out_.length));
  if (const model::Msg status = first_pass(*ordering, subject_of.span()); status != model::Msg::None) return status;

  const std::vector<std::size_t> sorted = num_.subjects.sorted();
  std::vector<std::size_t> rank(sorted.size());
  for (std::size_t k = 0; k < sorted.size(); ++k) rank[sorted[k]] = k;
  const bool in_order = std::is_sorted(subject_of.span().begin(), subject_of.span().end(),
                                       [&](std::size_t a, std::size_t b) { return rank[a] < rank[b]; });

  group_.class_key_length = out_.class_key_length;
  group_.record_length = out_.length;
  group_.subject_key_length = cmd_.n_common_subjects > 0 ? num_.subjects.size() : 0;
  group_.n_subjects = cmd_.n_common_subjects > 0 ? group_.subject_key_length : 1;
  if (reorder) {
    group_.subject_counts.assign(sorted.size(), 0);
    for (std::size_t subject : subject_of.span()) ++group_.subject_counts[rank[subject]];
  } else {
    group_.subject_counts = num_.runs;
  }
  if (cmd_.n_repeated_vars() > 0) repeated_tables();

  if (!reorder || in_order) {
    group_.workfile = std::move(ordering);
    return model::Msg::None;
  }
  return rewrite(*ordering, subject_of.span(), rank);
}

}  // namespace

void order_subjects(const model::Command& cmd, data::GroupData& group, host::Engine& e) {
  model::Msg status = model::Msg::None;
  try {
    Ordering ordering(cmd, group, e);
    status = ordering.run();
  } catch (const std::bad_alloc&) {
    status = model::Msg::InsufficientDataMemory;
  }
  if (status != model::Msg::None) model::issue_message(e.out, status, model::kOtherClass, host::Severity::Error);
}

}  // namespace mixed::data
