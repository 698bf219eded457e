// Design columns: the observed cells of every effect, their order, the
// covariance blocks and the limit on potential cells.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <set>
#include <sstream>

#include "data/design.h"
#include "data_util.h"

namespace mixed::data {
namespace {

using testing::GroupResult;
using testing::Session;

// A of 3 and B of 4 levels with every combination but (A=2, B=3); x a covariate.
std::string crossed_data() {
  std::ostringstream text;
  text << "a,b,x,y\n";
  for (int a = 1; a <= 3; ++a)
    for (int b = 1; b <= 4; ++b)
      if (!(a == 2 && b == 3)) text << a << "," << b << "," << a * b << "," << a + b << "\n";
  return text.str();
}

std::vector<std::int64_t> cells_of(const GroupResult& g, int effect) {
  return {g.fx_cell.begin() + g.fx_fcol[effect], g.fx_cell.begin() + g.fx_fcol[effect] + g.fx_ncol[effect]};
}

// The cells of the one effect of FIXED=<effect> | NOINT on the crossed data.
std::vector<std::int64_t> cells_without_intercept(const std::string& effect) {
  Session session(testing::csv(crossed_data()));
  EXPECT_TRUE(session.parse("y BY a b /FIXED=" + effect + " | NOINT"));
  std::vector<GroupResult> g = testing::run_groups(session);
  return cells_of(g.at(0), 0);
}

TEST(DesignColumns, OnlyObservedCombinationsBecomeColumns) {
  Session session(testing::csv(crossed_data()));
  ASSERT_TRUE(session.parse("y BY a b WITH x /FIXED=a*b x a*x"));
  std::vector<GroupResult> g = testing::run_groups(session);
  ASSERT_EQ(g.size(), 1u);
  EXPECT_EQ(g[0].fx_ncol, (std::vector<int>{1, 11, 1, 3}));
  EXPECT_EQ(g[0].fx_fcol, (std::vector<int>{0, 1, 12, 13}));
  EXPECT_EQ(g[0].n_fixed_columns, 16);

  // a*b: cell (a-1) 4 + b, B fastest; the empty (2, 3) is cell 7.
  std::vector<std::int64_t> crossed, nested;
  for (int a = 1; a <= 3; ++a)
    for (int b = 1; b <= 4; ++b)
      if (!(a == 2 && b == 3)) crossed.push_back((a - 1) * 4 + b);
  EXPECT_EQ(cells_of(g[0], 1), crossed);
  // Cell to column: the unobserved cell 7 has none, cell 8 follows cell 6.
  EXPECT_EQ(fixed_column(session.group, 0, 1), 0);
  EXPECT_EQ(fixed_column(session.group, 1, 6), 6);
  EXPECT_EQ(fixed_column(session.group, 1, 7), -1);
  EXPECT_EQ(fixed_column(session.group, 1, 8), 7);
  EXPECT_EQ(fixed_column(session.group, 3, 3), 15);
  // b(a): A nests B, so A comes first and B varies fastest: the same cells.
  EXPECT_EQ(cells_without_intercept("b(a)"), crossed);
  // a(b) orders B first: cell (b-1) 3 + a; the empty (2, 3) is cell 8.
  for (int b = 1; b <= 4; ++b)
    for (int a = 1; a <= 3; ++a)
      if (!(a == 2 && b == 3)) nested.push_back((b - 1) * 3 + a);
  std::sort(nested.begin(), nested.end());
  EXPECT_EQ(cells_without_intercept("a(b)"), nested);
  EXPECT_EQ(cells_without_intercept("b*a"), crossed) << "crossing follows the factor list, not the term";

  // The public cell index agrees: a(b) has the row {2, 1}.
  const std::vector<int> counts{3, 4};
  EXPECT_EQ(cell_index(std::vector<int>{2, 1}, std::vector<int>{2, 3}, counts), 8);
  EXPECT_EQ(cell_index(std::vector<int>{1, 1}, std::vector<int>{2, 3}, counts), 7);
  EXPECT_EQ(cell_index(std::vector<int>{0, 0}, std::vector<int>{2, 3}, counts), 1);
  const std::vector<int> order = cell_order(std::vector<int>{2, 1}, 2);
  EXPECT_EQ(order, (std::vector<int>{1, 0}));
  EXPECT_EQ(ordered_cell_index(order, std::vector<int>{2, 3}, counts), 8);
  EXPECT_EQ(potential_cells(std::vector<int>{2, 1}, counts), 12);
}

TEST(DesignColumns, ModelsWithoutFactorsHaveOneColumnPerEffect) {
  Session session(testing::csv("x,z,y\n1,2,3\n2,1,4\n3,3,1\n"));
  ASSERT_TRUE(session.parse("y WITH x z /FIXED=x z x*z /RANDOM=x | COVTYPE(UN)"));
  std::vector<GroupResult> g = testing::run_groups(session);
  ASSERT_EQ(g.size(), 1u);
  EXPECT_EQ(g[0].n_fixed_columns, 4);
  EXPECT_EQ(g[0].fx_cell, (std::vector<std::int64_t>{1, 1, 1, 1}));
  EXPECT_EQ(g[0].fx_fcol, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(g[0].n_random_columns, 1);
  ASSERT_EQ(g[0].blocks.size(), 1u);
  EXPECT_EQ(g[0].blocks[0].cov_type, covstruct::ID) << "a one-column UN block";
  EXPECT_EQ(testing::message_numbers(session.out), (std::vector<int>{80}));
}

TEST(DesignColumns, OneColumnBlocksBecomeIdentityUnlessVarianceComponents) {
  const char* data = "id,c,d,y\n1,1,1,1\n1,1,2,2\n2,1,1,3\n2,1,2,4\n";
  Session un(testing::csv(data));
  ASSERT_TRUE(
      un.parse("y BY c d /FIXED=d /RANDOM=c | SUBJECT(id) COVTYPE(UN) /RANDOM=INTERCEPT d | SUBJECT(id) COVTYPE(CS)"));
  std::vector<GroupResult> g = testing::run_groups(un);
  ASSERT_EQ(g.size(), 1u);
  ASSERT_EQ(g[0].blocks.size(), 2u);
  EXPECT_EQ(g[0].blocks[0].cov_type, covstruct::ID);
  EXPECT_EQ(g[0].blocks[0].dim, 1);
  EXPECT_EQ(g[0].blocks[0].effects, (std::vector<int>{0}));
  EXPECT_EQ(g[0].blocks[0].subjects, (std::vector<std::size_t>{0}));
  EXPECT_EQ(g[0].blocks[1].cov_type, covstruct::CS);
  EXPECT_EQ(g[0].blocks[1].dim, 3) << "intercept and the two levels of d";
  EXPECT_EQ(g[0].blocks[1].effects, (std::vector<int>{1, 2}));
  EXPECT_EQ(g[0].rn_fcol, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(g[0].n_random_columns, 4);
  EXPECT_EQ(testing::message_numbers(un.out), (std::vector<int>{80}));

  Session vc(testing::csv(data));
  ASSERT_TRUE(vc.parse("y BY c d /FIXED=d /RANDOM=c d | SUBJECT(id)"));
  g = testing::run_groups(vc);
  ASSERT_EQ(g[0].blocks.size(), 2u) << "VC: one block per effect";
  EXPECT_EQ(g[0].blocks[0].cov_type, covstruct::VC);
  EXPECT_EQ(g[0].blocks[1].dim, 2);
  EXPECT_TRUE(testing::message_numbers(vc.out).empty());
}

// n cases with a = b = c = 1..n in shuffled orders.
std::string diagonal(int n, bool split) {
  std::vector<int> r(n);
  std::iota(r.begin(), r.end(), 1);
  std::shuffle(r.begin(), r.end(), std::mt19937(2));
  std::ostringstream text;
  text << "s,a,b,c,y\n";
  for (int k = 0; k < n; ++k) text << (split ? 1 : 0) << "," << r[k] << "," << r[k] << "," << r[k] << "," << k << "\n";
  return text.str();
}

TEST(DesignColumns, HugePotentialCellsCostOnlyWhatIsObserved) {
  // 1000^3 = 1e9 potential cells, 1000 observed: held as a sparse set.
  const int n = 1000;
  Session session(testing::csv(diagonal(n, false)));
  ASSERT_TRUE(session.parse("y BY a b c /FIXED=a*b*c | NOINT /RANDOM=a*b*c"));
  std::vector<GroupResult> g = testing::run_groups(session);
  ASSERT_EQ(g.size(), 1u);
  ASSERT_EQ(g[0].n_fixed_columns, n);
  ASSERT_EQ(g[0].n_random_columns, n);
  for (int k = 0; k < n; ++k) {
    const std::int64_t cell = std::int64_t{k} * 1000000 + std::int64_t{k} * 1000 + k + 1;
    ASSERT_EQ(g[0].fx_cell[k], cell);
    ASSERT_EQ(g[0].rn_cell[k], cell);
    ASSERT_EQ(random_column(session.group, 0, cell), k);
  }
  EXPECT_LT(session.scratch.peak(), std::size_t{16} << 20);
}

TEST(DesignColumns, MoreThanTheLimitOfPotentialCellsIsAnError) {
  // 1500^3 = 3375000000 > 3037000499.
  for (bool split : {false, true}) {
    Session fixed(testing::csv(diagonal(1500, split)));
    if (split) fixed.data.set_split({0});
    ASSERT_TRUE(fixed.parse("y BY a b c /FIXED=a*b*c"));
    testing::run_groups(fixed);
    EXPECT_TRUE(fixed.out.error_flag());
    auto m = testing::messages(fixed.out);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0]->text.json(), split ? "Too many fixed col split s=1 3375000001 3037000499 ..."
                                       : "Too many fixed col 3375000001 3037000499 ...");
  }
  Session random(testing::csv(diagonal(1500, false)));
  ASSERT_TRUE(random.parse("y BY a b c /RANDOM=a*b*c"));
  testing::run_groups(random);
  auto m = testing::messages(random.out);
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0]->text.json(), "Too many random col 3375000000 3037000499 ...");
}

}  // namespace
}  // namespace mixed::data
