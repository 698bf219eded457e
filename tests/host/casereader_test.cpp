// Split groups of the case reader, and the interrupt check the case pass makes.
#include <csignal>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "host/engine.h"
#include "host/workfile.h"

namespace mixed::host {
namespace {

using Groups = std::vector<std::pair<std::size_t, std::size_t>>;

Groups groups_of(const Dataset& d) {
  CaseReader reader(d);
  Groups out;
  while (reader.next_group()) {
    out.emplace_back(reader.begin(), reader.end());
    if (out.size() > d.n_cases() + 1) break;  // a reader that never ends
  }
  EXPECT_FALSE(reader.next_group()) << "the end of the data is final";
  return out;
}

Dataset data_set() {
  std::string error;
  std::optional<Dataset> d = parse_csv(
      "g,s,x\n"
      "1,a,10\n"
      "1,a,11\n"
      "2,a,12\n"
      "2,b,13\n"
      "1,b,14\n"
      "1,b  ,15\n"
      ",b,16\n"
      ",b,17\n",
      "d.csv", error);
  EXPECT_TRUE(d) << error;
  return std::move(*d);
}

TEST(CaseReader, GroupsFollowChangesOfTheSplitValues) {
  Dataset d = data_set();
  // Without split variables all cases are one group.
  EXPECT_EQ(groups_of(d), (Groups{{0, 8}}));

  // g alone: 1 1 | 2 2 | 1 1 | . .  -- unsorted values make a new group each
  // time they change, and two system-missing values are the same value.
  d.set_split({0});
  EXPECT_EQ(groups_of(d), (Groups{{0, 2}, {2, 4}, {4, 6}, {6, 8}}));

  // s alone: trailing blanks do not make a new value.
  d.set_split({1});
  EXPECT_EQ(groups_of(d), (Groups{{0, 3}, {3, 8}}));

  // Both: a change of either starts a group.
  d.set_split({0, 1});
  EXPECT_EQ(groups_of(d), (Groups{{0, 2}, {2, 3}, {3, 4}, {4, 6}, {6, 8}}));

  // Every case its own group.
  d.set_split({2});
  EXPECT_EQ(groups_of(d).size(), 8u);
}

TEST(CaseReader, SplitValuesOfTheCurrentGroup) {
  Dataset d = data_set();
  d.var(0).format = PrintFormat{'F', 5, 1};
  d.var(0).value_labels = {ValueLabel{2.0, "", "two"}};
  d.var(1).value_labels = {ValueLabel{0.0, "b", "bee"}};
  d.set_split({0, 1});
  CaseReader reader(d);

  ASSERT_TRUE(reader.next_group());
  Split s = reader.split();
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[0].variable, "g");
  EXPECT_TRUE(s[0].numeric);
  EXPECT_EQ(s[0].number, 1.0);
  EXPECT_EQ(s[0].shown, Text::data_value("1.0", ""));
  EXPECT_EQ(s[1].variable, "s");
  EXPECT_FALSE(s[1].numeric);
  EXPECT_EQ(s[1].string, "a");
  EXPECT_EQ(s[1].shown, Text::data_value("a", ""));

  ASSERT_TRUE(reader.next_group());
  s = reader.split();
  EXPECT_EQ(s[0].shown, Text::data_value("2.0", "two"));

  ASSERT_TRUE(reader.next_group());
  ASSERT_TRUE(reader.next_group());  // cases 5 and 6: "b" and "b  "
  s = reader.split();
  EXPECT_EQ(s[1].string, "b");
  EXPECT_EQ(s[1].shown, Text::data_value("b", "bee"));

  ASSERT_TRUE(reader.next_group());
  s = reader.split();
  EXPECT_TRUE(is_sysmis(s[0].number));
  EXPECT_EQ(s[0].shown, Text::data_value(".", ""));
  EXPECT_FALSE(reader.next_group());
}

TEST(CaseReader, NoCasesIsOneEmptyGroup) {
  std::string error;
  std::optional<Dataset> d = parse_csv("g,x\n", "e.csv", error);
  ASSERT_TRUE(d) << error;
  d->set_split({0});
  CaseReader reader(*d);
  ASSERT_TRUE(reader.next_group());
  EXPECT_EQ(reader.begin(), 0u);
  EXPECT_EQ(reader.end(), 0u);
  EXPECT_TRUE(reader.split().empty());
  EXPECT_FALSE(reader.next_group());
  EXPECT_FALSE(reader.next_group());
}

TEST(Engine, InterruptFlagAndProgress) {
  set_interrupted(false);
  EXPECT_FALSE(interrupted());
  install_interrupt_handler();
  std::raise(SIGINT);  // the first Ctrl-C only sets the flag
  EXPECT_TRUE(interrupted());
  set_interrupted(false);
  EXPECT_FALSE(interrupted());
  std::raise(SIGINT);
  EXPECT_TRUE(interrupted());
  set_interrupted(false);
  std::signal(SIGINT, SIG_DFL);

  // stderr captured into a file is not a terminal: the display stays silent.
  testing::internal::CaptureStderr();
  Progress progress(true);
  progress.show("Iteration", 3);
  progress.reset();
  Progress off(false);
  off.show("Iteration", 4);
  off.reset();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace mixed::host
