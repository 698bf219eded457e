// The variable list: roles, order, duplicates, and every message of its
// reader.
#include "syntax/varlist.h"

#include <gtest/gtest.h>

#include "syntax/parse_fixture.h"

namespace mixed::parse_fixture {
namespace {

constexpr std::size_t kY = 0, kA = 1, kB = 2, kG = 4, kX = 5, kZ = 6;

TEST(VariableList, RolesInEitherOrder) {
  const Parsed p("y BY a b WITH x z");
  expect_clean(p, "BY then WITH");
  EXPECT_EQ(p.cmd.dependent, kY);
  EXPECT_EQ(p.cmd.factors, (std::vector<std::size_t>{kA, kB}));
  EXPECT_EQ(p.cmd.covariates, (std::vector<std::size_t>{kX, kZ}));

  const Parsed q("Y with Z X by G A");
  expect_clean(q, "WITH before BY, names in any case");
  EXPECT_EQ(q.cmd.factors, (std::vector<std::size_t>{kG, kA})) << "in the order written; a string factor";
  EXPECT_EQ(q.cmd.covariates, (std::vector<std::size_t>{kZ, kX}));
}

TEST(VariableList, DuplicatesWarnAndCountOnce) {
  const Parsed dep("y y BY a");
  expect_only(dep, 0, Severity::Warning, "Duplicated dependent y ...", "dependent twice");
  EXPECT_EQ(dep.cmd.dependent, kY);
  EXPECT_EQ(dep.messages()[0].msg_class, 2);

  const Parsed factors("y BY a b a b a");
  expect_only(factors, 0, Severity::Warning, "Duplicated factor a, b ...", "factors repeated");
  EXPECT_EQ(factors.cmd.factors, (std::vector<std::size_t>{kA, kB}));

  const Parsed covariates("y WITH x z x");
  expect_only(covariates, 0, Severity::Warning, "Duplicated covariate x ...", "covariate repeated");
  EXPECT_EQ(covariates.cmd.covariates, (std::vector<std::size_t>{kX, kZ}));
}

TEST(VariableList, Messages) {
  expect_error("y z BY a", 15, "More than one dependent variables ...");
  expect_error("y z /FOO", 15, "More than one dependent variables ...");
  expect_error("s BY a", 0, "non-numeric name dependent variable s ...");
  expect_error("y WITH x s g", 0, "non-numeric names covariate list s, g ...");
  expect_error("y BY y", 0, "Same dependent and factor y ...");
  expect_error("y WITH y", 0, "Same dependent and covariate y ...");
  expect_error("y BY a b WITH b a", 0, "Same factor and covariate a, b ...");
  expect_error("y BY a BY b", 72, "Repeated BY in variable list ...");
  expect_error("y WITH x BY a WITH z", 73, "Repeated WITH in variable list ...");
  expect_error("y BY a = b", 16, "Incorrectly placed symbol = ...");
  expect_error("y BY a 1", 16, "Incorrectly placed symbol 1 ...");
  expect_error("y BY /FIXED = a", 16, "Incorrectly placed symbol / ...");
  expect_error("BY a", 16, "Incorrectly placed symbol BY ...");
  expect_error("y BY 'a'", 16, "Incorrectly placed symbol a ...");
  expect_error("y BY nosuch", 0, "Undefined variable nosuch ...");

  const Parsed both("y BY y WITH y");
  ASSERT_EQ(both.messages().size(), 3u) << "each role check reports";
  EXPECT_EQ(both.messages()[1].text, "Same dependent and covariate y ...");
  EXPECT_EQ(both.messages()[2].text, "Same factor and covariate y ...");
  const Parsed classes("s BY a");
  EXPECT_EQ(classes.messages()[0].msg_class, 2);
  EXPECT_EQ(Parsed("y BY nosuch").messages()[0].msg_class, 3);
}

}  // namespace
}  // namespace mixed::parse_fixture
