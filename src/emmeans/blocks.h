// Scratch blocks of the marginal-means stage: typed blocks taken from one pool
// of the scratch arena and released together when the holder goes out of
// scope, so that every exit of a subcommand gives its memory back.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "host/scratch.h"

namespace mixed::emmeans {

// The pool of the marginal-means blocks (released per split group as well).
inline constexpr host::Pool kEmmeansPool = host::Pool::MarginalMeans;

class Blocks {
 public:
  explicit Blocks(host::Scratch& scratch, host::Pool pool = kEmmeansPool) : scratch_(scratch), pool_(pool) {}
  ~Blocks() {
    for (auto it = held_.rbegin(); it != held_.rend(); ++it) scratch_.free(pool_, *it);
  }
  Blocks(const Blocks&) = delete;
  Blocks& operator=(const Blocks&) = delete;

  // n zeroed elements, or nothing when the arena refuses them.
  template <class T>
  std::optional<std::span<T>> get(std::size_t n) {
    auto b = scratch_.get<T>(pool_, n);
    if (b) held_.push_back(std::as_writable_bytes(*b));
    return b;
  }

 private:
  host::Scratch& scratch_;
  host::Pool pool_;
  std::vector<std::span<std::byte>> held_;
};

}  // namespace mixed::emmeans
