// Bit sets over 0-based members (NEW_XSET, SET_XSET, XSET_INRANGE, XSET_SIZE).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace mixed::host {

class BitSet {
 public:
  BitSet() = default;
  explicit BitSet(std::size_t size) : size_(size), words_((size + 63) / 64, 0) {}

  std::size_t size() const { return size_; }
  void resize(std::size_t size) {
    size_ = size;
    words_.assign((size + 63) / 64, 0);
  }
  void clear() { std::fill(words_.begin(), words_.end(), 0); }

  bool test(std::size_t i) const { return (words_[i >> 6] >> (i & 63)) & 1u; }
  void set(std::size_t i, bool on = true) {
    const std::uint64_t bit = std::uint64_t{1} << (i & 63);
    if (on)
      words_[i >> 6] |= bit;
    else
      words_[i >> 6] &= ~bit;
  }
  void reset(std::size_t i) { set(i, false); }

  // Number of members.
  std::size_t count() const {
    std::size_t n = 0;
    for (auto w : words_) n += static_cast<std::size_t>(std::popcount(w));
    return n;
  }
  // Number of members in [first, last).
  std::size_t count(std::size_t first, std::size_t last) const {
    std::size_t n = 0;
    for (std::size_t i = first; i < last; ++i) n += test(i);
    return n;
  }
  bool operator==(const BitSet&) const = default;

 private:
  std::size_t size_ = 0;
  std::vector<std::uint64_t> words_;
};

}  // namespace mixed::host
