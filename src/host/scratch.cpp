#include "host/scratch.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace mixed::host {

std::size_t Scratch::default_budget() {
  long pages = sysconf(_SC_PHYS_PAGES);
  long page = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page <= 0) return std::size_t{4} << 30;
  return static_cast<std::size_t>(pages) / 4 * 3 * static_cast<std::size_t>(page);
}

Scratch::Scratch(std::size_t budget_bytes) : budget_(budget_bytes) {}

std::byte* Scratch::allocate(Pool pool, std::size_t bytes, std::size_t align) {
  // Zero-length blocks are valid and cost nothing; give them a real address so
  // that callers can tell them from a refusal.
  const std::size_t want = std::max<std::size_t>(bytes, 1);
  if (want > budget_ || in_use_ > budget_ - want) return nullptr;
  Block b;
  try {
    b.data.reset(new std::byte[want]);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  std::memset(b.data.get(), 0, want);
  b.bytes = want;
  in_use_ += want;
  peak_ = std::max(peak_, in_use_);
  std::byte* p = b.data.get();
  pools_[pool].push_back(std::move(b));
  (void)align;  // new[] alignment covers every element type the procedure uses
  return p;
}

void Scratch::release_block(Pool pool, std::byte* p) {
  auto it = pools_.find(pool);
  if (it == pools_.end()) return;
  auto& blocks = it->second;
  for (auto b = blocks.begin(); b != blocks.end(); ++b) {
    if (b->data.get() == p) {
      in_use_ -= b->bytes;
      blocks.erase(b);
      return;
    }
  }
}

void Scratch::free_pool(Pool pool) {
  auto it = pools_.find(pool);
  if (it == pools_.end()) return;
  for (const Block& b : it->second) in_use_ -= b.bytes;
  pools_.erase(it);
}

void Scratch::free_all() {
  while (!pools_.empty()) free_pool(pools_.begin()->first);
}

bool Scratch::reserve(std::size_t bytes) {
  if (bytes > budget_ || in_use_ > budget_ - bytes) return false;
  in_use_ += bytes;
  peak_ = std::max(peak_, in_use_);
  return true;
}

void Scratch::release(std::size_t bytes) { in_use_ -= std::min(bytes, in_use_); }

}  // namespace mixed::host
