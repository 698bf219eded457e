// The scratch arena: blocks from numbered pools, freed with their pool, under a
// budget that refuses what does not fit.

#include <gtest/gtest.h>

#include "host/scratch.h"

namespace mixed::host {
namespace {

TEST(Scratch, BlocksAreZeroedAndFreedWithTheirPool) {
  Scratch s(1 << 20);
  auto a = s.get<double>(host::Pool::GroupWork, 100);
  auto b = s.get<std::int64_t>(host::Pool::GroupWork, 50);
  auto c = s.get<double>(host::Pool::PostEstimation, 10);
  ASSERT_TRUE(a && b && c);
  for (double v : *a) EXPECT_EQ(v, 0.0);
  for (auto v : *b) EXPECT_EQ(v, 0);
  (*a)[99] = 1.5;
  EXPECT_EQ(s.in_use(), 100 * 8 + 50 * 8 + 10 * 8u);
  s.free_pool(host::Pool::GroupWork);
  EXPECT_EQ(s.in_use(), 10 * 8u) << "only the post-estimation pool's block is left";
  s.free(host::Pool::PostEstimation, *c);
  EXPECT_EQ(s.in_use(), 0u);
  EXPECT_EQ(s.peak(), 100 * 8 + 50 * 8 + 10 * 8u);
}

TEST(Scratch, TheBudgetRefusesWhatDoesNotFit) {
  Scratch s(1000);
  auto a = s.get<double>(host::Pool::GroupWork, 100);  // 800 bytes
  ASSERT_TRUE(a);
  EXPECT_FALSE(s.get<double>(host::Pool::MarginalMeans, 26)) << "208 more bytes pass the budget";
  auto b = s.get<double>(host::Pool::MarginalMeans, 25);  // exactly the 200 left
  EXPECT_TRUE(b);
  EXPECT_FALSE(s.get<double>(host::Pool::MarginalMeans, 1));
  EXPECT_FALSE(s.reserve(1)) << "engine objects are held to the same budget";
  s.free_pool(host::Pool::GroupWork);
  EXPECT_TRUE(s.reserve(800));
  s.release(800);
  EXPECT_EQ(s.in_use(), 200u);
  EXPECT_FALSE(s.get<double>(host::Pool::PostEstimation, std::size_t{1} << 61))
      << "a size beyond any budget is refused, not wrapped";
}

TEST(Scratch, AnEmptyBlockIsNotARefusal) {
  Scratch s(0);
  auto a = s.get<double>(host::Pool::GroupWork, 0);
  EXPECT_FALSE(a) << "with no budget at all even an empty block is refused";
  Scratch t(64);
  auto b = t.get<double>(host::Pool::GroupWork, 0);
  ASSERT_TRUE(b);
  EXPECT_TRUE(b->empty());
}

}  // namespace
}  // namespace mixed::host
