#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

#include "host/catalogue.h"

namespace mixed::host {
namespace {

// The placeholders of a template: the scalar ^n outside repeat lists, and for
// each repeat list its parameter with the item placeholders its patterns use.
struct Placeholders {
  std::set<int> scalars;
  std::multiset<std::pair<int, std::set<int>>> lists;
  bool operator==(const Placeholders&) const = default;
};

int number_after(std::string_view s, std::size_t& i) {
  int n = 0;
  std::size_t j = i + 1;
  while (j < s.size() && s[j] >= '0' && s[j] <= '9') n = n * 10 + (s[j++] - '0');
  if (j == i + 1) return 0;
  i = j;
  return n;
}

// Reads a repeat list "[first:rest:]N" at s[open]; returns false when there is none.
bool read_list(std::string_view s, std::size_t& i, std::pair<int, std::set<int>>& list) {
  std::size_t sep = std::string_view::npos;
  std::set<int> items;
  for (std::size_t j = i + 1; j < s.size(); ++j) {
    if (s[j] == '\\') {
      ++j;
    } else if ((s[j] == '%' || s[j] == '^') && j + 1 < s.size() && s[j + 1] >= '0' && s[j + 1] <= '9') {
      std::size_t k = j;
      items.insert(number_after(s, k));
      j = k - 1;
    } else if (s[j] == ':' && sep == std::string_view::npos) {
      sep = j;
    } else if (s[j] == ':' && j + 1 < s.size() && s[j + 1] == ']') {
      std::size_t k = j + 1;
      int n = number_after(s, k);
      if (n == 0) return false;
      list = {n, items};
      i = k;
      return true;
    }
  }
  return false;
}

Placeholders placeholders(std::string_view s) {
  Placeholders p;
  for (std::size_t i = 0; i < s.size();) {
    if (s[i] == '\\') {
      i += 2;
    } else if (s[i] == '^') {
      std::size_t j = i;
      int n = number_after(s, j);
      if (n > 0) p.scalars.insert(n);
      i = n > 0 ? j : i + 1;
    } else if (s[i] == '[') {
      std::pair<int, std::set<int>> list;
      if (read_list(s, i, list))
        p.lists.insert(list);
      else
        ++i;
    } else {
      ++i;
    }
  }
  return p;
}

TEST(Catalogue, PlaceholderReaderSeesListsAndScalars) {
  Placeholders p = placeholders("Too many fixed col split [%1=%2:,^1=^2:]1 ^2 ^3 ...");
  EXPECT_EQ(p.scalars, (std::set<int>{2, 3}));
  ASSERT_EQ(p.lists.size(), 1u);
  EXPECT_EQ(p.lists.begin()->first, 1);
  EXPECT_EQ(p.lists.begin()->second, (std::set<int>{1, 2}));
  EXPECT_TRUE(placeholders("Var\\: [:^1:]1").scalars.empty());
  EXPECT_FALSE(placeholders("x ^1") == placeholders("x ^2"));
  EXPECT_FALSE(placeholders("[:^1:]1") == placeholders("^1"));
}

TEST(Catalogue, EveryDisplayKeepsThePlaceholdersOfItsKey) {
  const Catalogue& en = Catalogue::english();
  ASSERT_GT(en.entries().size(), 200u);
  for (const auto& [key, display] : en.entries()) {
    EXPECT_TRUE(placeholders(key) == placeholders(display)) << "key: " << key << "\ndisplay: " << display;
    EXPECT_EQ(display.find("..."), std::string::npos) << "unfinished display text for " << key;
    EXPECT_FALSE(display.empty()) << key;
  }
}

}  // namespace
}  // namespace mixed::host
