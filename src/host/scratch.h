// The scratch arena: typed blocks from numbered pools under one memory budget.
//
// A block is a zero-initialised span of n elements taken from pool k; freeing a
// pool frees every block in it.  The arena refuses a block that would take the
// memory in use beyond the budget (`--workspace`), exactly as the procedure
// expects of its scratch memory: the caller then issues its "Insufficient ...
// memory" message.  Engine objects that hold memory of their own (the work file
// held in memory) account for it with reserve() and release().
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

namespace mixed::host {

// The pools of scratch blocks.  The stages take their work blocks from the pool
// of their kind; the procedure releases every pool at the end of a split group.
enum class Pool : int {
  GroupWork,       // subject ordering and estimation
  MarginalMeans,   // the marginal-means stage
  PostEstimation,  // tests of fixed effects, custom tests, Satterthwaite blocks
};

class Scratch {
 public:
  // The default budget: three quarters of the machine's physical memory.
  static std::size_t default_budget();

  explicit Scratch(std::size_t budget_bytes = default_budget());
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  // n zeroed elements from `pool`, or nothing when refused.
  template <class T>
  std::optional<std::span<T>> get(Pool pool, std::size_t n) {
    static_assert(std::is_trivially_copyable_v<T>);
    if (n > std::numeric_limits<std::size_t>::max() / sizeof(T)) return std::nullopt;  // bytes would wrap
    std::byte* p = allocate(pool, n * sizeof(T), alignof(T));
    if (p == nullptr) return std::nullopt;
    return std::span<T>(reinterpret_cast<T*>(p), n);
  }
  // Releases one block obtained from `pool`.
  template <class T>
  void free(Pool pool, std::span<T> block) {
    release_block(pool, reinterpret_cast<std::byte*>(block.data()));
  }
  // Releases every block of a pool.
  void free_pool(Pool pool);
  void free_all();

  // Accounting for memory that engine objects hold themselves.
  bool reserve(std::size_t bytes);
  void release(std::size_t bytes);

  std::size_t budget() const { return budget_; }
  std::size_t in_use() const { return in_use_; }
  std::size_t peak() const { return peak_; }

 private:
  struct Block {
    std::unique_ptr<std::byte[]> data;
    std::size_t bytes = 0;
  };
  std::byte* allocate(Pool pool, std::size_t bytes, std::size_t align);
  void release_block(Pool pool, std::byte* p);

  std::size_t budget_;
  std::size_t in_use_ = 0;
  std::size_t peak_ = 0;
  std::map<Pool, std::vector<Block>> pools_;
};

}  // namespace mixed::host
