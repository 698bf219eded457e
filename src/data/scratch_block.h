// A block of the scratch arena held for the duration of a stage: taken from a
// numbered pool on construction and given back on destruction, so that a
// stage's temporary blocks are released on every path out of it.
#pragma once

#include <cstddef>
#include <optional>
#include <span>

#include "host/scratch.h"

namespace mixed::data {

template <class T>
class ScratchBlock {
 public:
  ScratchBlock(host::Scratch& scratch, host::Pool pool, std::size_t n)
      : scratch_(scratch), pool_(pool), block_(scratch.get<T>(pool, n)) {}
  ~ScratchBlock() {
    if (block_) scratch_.free(pool_, *block_);
  }
  ScratchBlock(const ScratchBlock&) = delete;
  ScratchBlock& operator=(const ScratchBlock&) = delete;

  // False when the arena refused the block.
  explicit operator bool() const { return block_.has_value(); }
  std::span<T> span() const { return *block_; }
  T& operator[](std::size_t i) const { return (*block_)[i]; }
  std::size_t size() const { return block_->size(); }

 private:
  host::Scratch& scratch_;
  host::Pool pool_;
  std::optional<std::span<T>> block_;
};

// Memory that an object holds itself, counted against the scratch budget for
// as long as it is held.
class BudgetReservation {
 public:
  BudgetReservation(host::Scratch& scratch, std::size_t bytes)
      : scratch_(scratch), bytes_(scratch.reserve(bytes) ? bytes : 0), ok_(bytes_ == bytes) {}
  ~BudgetReservation() { scratch_.release(bytes_); }
  BudgetReservation(const BudgetReservation&) = delete;
  BudgetReservation& operator=(const BudgetReservation&) = delete;
  explicit operator bool() const { return ok_; }

 private:
  host::Scratch& scratch_;
  std::size_t bytes_;
  bool ok_;
};

}  // namespace mixed::data
