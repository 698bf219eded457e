// The multiplicity adjustment of pairwise comparisons: LSD, Bonferroni and
// Sidak in both directions, the cap at 1, the exact ends of Sidak, the
// underflow rule, and the assertions on its arguments.
#include "emmeans/adjust.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <variant>

namespace mixed::emmeans {
namespace {

int errors(const host::Output& out, const std::string& condition) {
  int n = 0;
  for (const host::Item& item : out.items())
    if (const auto* m = std::get_if<host::Message>(&item))
      if (m->severity == host::Severity::Error && m->text.json().find(condition) != std::string::npos) ++n;
  return n;
}

TEST(AdjustedSignificance, LsdLeavesProbabilitiesAlone) {
  host::Output out;
  EXPECT_EQ(adjusted_significance(out, 6, kLsd, true, 0.0123), 0.0123);
  EXPECT_EQ(adjusted_significance(out, 6, kLsd, false, 0.05), 0.05);
  EXPECT_EQ(out.error_count(), 0);
}

TEST(AdjustedSignificance, BonferroniMultipliesByTheNumberOfComparisonsAndCapsAtOne) {
  host::Output out;
  // Four levels: 6 pairs without REFCAT, 3 comparisons with the reference.
  EXPECT_DOUBLE_EQ(adjusted_significance(out, 6, kBonferroni, true, 0.01), 0.06);
  EXPECT_DOUBLE_EQ(adjusted_significance(out, 3, kBonferroni, true, 0.01), 0.03);
  EXPECT_EQ(adjusted_significance(out, 6, kBonferroni, true, 0.2), 1.0) << "6 x 0.2 is capped at 1";
  EXPECT_EQ(adjusted_significance(out, 6, kBonferroni, true, 1.0), 1.0);
  EXPECT_DOUBLE_EQ(adjusted_significance(out, 6, kBonferroni, false, 0.05), 0.05 / 6.0) << "per-comparison level";
  EXPECT_EQ(out.error_count(), 0);
}

TEST(AdjustedSignificance, SidakInBothDirections) {
  host::Output out;
  EXPECT_NEAR(adjusted_significance(out, 6, kSidak, true, 0.01), 1.0 - std::pow(0.99, 6), 1e-15);
  EXPECT_NEAR(adjusted_significance(out, 6, kSidak, true, 0.01), 0.058519850599, 1e-12);
  EXPECT_NEAR(adjusted_significance(out, 6, kSidak, false, 0.05), 0.008512444610847103, 1e-15);
  EXPECT_NEAR(adjusted_significance(out, 1, kSidak, true, 0.3), 0.3, 1e-15) << "one comparison needs no adjustment";
  EXPECT_NEAR(adjusted_significance(out, 1e6, kSidak, true, 1e-12), 1e-6, 1e-12)
      << "small p: about k p, without cancellation";
  for (bool direction : {true, false}) {
    EXPECT_EQ(adjusted_significance(out, 6, kSidak, direction, 0.0), 0.0);
    EXPECT_EQ(adjusted_significance(out, 6, kSidak, direction, 1.0), 1.0);
  }
  EXPECT_EQ(out.error_count(), 0);
}

TEST(AdjustedSignificance, SidakUnderflowGivesExactlyOne) {
  host::Output out;
  // 1023 ln(1/2) = -709.09 lies below -708.39: e^x would underflow.
  EXPECT_EQ(adjusted_significance(out, 1023, kSidak, true, 0.5), 1.0);
  EXPECT_EQ(adjusted_significance(out, 100000, kSidak, true, 0.5), 1.0);
  EXPECT_EQ(adjusted_significance(out, 3, kSidak, true, 1.0 - 1e-15), 1.0)
      << "k ln(1 - p) = -103.6: 1 - e^x rounds to 1";
  EXPECT_EQ(out.error_count(), 0);
}

TEST(AdjustedSignificance, AssertsItsArguments) {
  host::Output out;
  adjusted_significance(out, 0, kBonferroni, true, 0.5);
  EXPECT_EQ(errors(out, "ncomp > 0"), 1);
  adjusted_significance(out, 3, 4, true, 0.5);
  EXPECT_EQ(errors(out, "adjustment >= kLsd && adjustment <= kSidak"), 1);
  adjusted_significance(out, 3, kBonferroni, true, 1.5);
  EXPECT_EQ(errors(out, "prob >= 0.0 && prob <= 1.0"), 1);
  adjusted_significance(out, 3, kBonferroni, true, -0.1);
  EXPECT_EQ(errors(out, "prob >= 0.0 && prob <= 1.0"), 2);
  EXPECT_EQ(errors(out, "adjusted_significance"), 4) << "every check names its function";
}

}  // namespace
}  // namespace mixed::emmeans
