// A hash table from numbers to numbers with open addressing (linear probing
// over a power-of-two table, splitmix64 finalizer as the hash), used where a
// pass looks up one value per case among many distinct values: the level
// tallies of the case pass and the level numbers of subject ordering.  One
// probe is usually one cache line, where a node-based table costs several.
// Keys are compared as numbers, so 0 and -0 are one key; NaN is never a key.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace mixed::data {

class NumberTable {
 public:
  NumberTable() { rehash(16); }

  // The value held for `key`, inserted as 0 when absent.
  double& operator[](double key) {
    if (2 * (size_ + 1) > keys_.size()) rehash(2 * keys_.size());
    std::size_t i = slot(key);
    if (!used_[i]) {
      used_[i] = 1;
      keys_[i] = key == 0.0 ? 0.0 : key;
      values_[i] = 0.0;
      ++size_;
    }
    return values_[i];
  }
  // The value held for `key`, or nullptr when absent.
  const double* find(double key) const {
    const std::size_t i = slot(key);
    return used_[i] ? &values_[i] : nullptr;
  }
  std::size_t size() const { return size_; }

  // Calls f(key, value) for every entry, in no particular order.
  template <class F>
  void for_each(F&& f) const {
    for (std::size_t i = 0; i < keys_.size(); ++i)
      if (used_[i]) f(keys_[i], values_[i]);
  }

 private:
  static std::uint64_t hash(double key) {
    std::uint64_t x = std::bit_cast<std::uint64_t>(key == 0.0 ? 0.0 : key);
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
  }
  // The slot of `key`, or the empty slot where it would go.
  std::size_t slot(double key) const {
    const std::size_t mask = keys_.size() - 1;
    std::size_t i = static_cast<std::size_t>(hash(key)) & mask;
    while (used_[i] && keys_[i] != key) i = (i + 1) & mask;
    return i;
  }
  void rehash(std::size_t capacity) {
    std::vector<double> keys(capacity), values(capacity);
    std::vector<std::uint8_t> used(capacity, 0);
    keys.swap(keys_);
    values.swap(values_);
    used.swap(used_);
    size_ = 0;
    for (std::size_t i = 0; i < keys.size(); ++i)
      if (used[i]) (*this)[keys[i]] = values[i];
  }

  std::vector<double> keys_;
  std::vector<double> values_;
  std::vector<std::uint8_t> used_;
  std::size_t size_ = 0;
};

}  // namespace mixed::data
