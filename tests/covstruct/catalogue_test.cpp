#include "covstruct/catalogue.h"

#include <gtest/gtest.h>

namespace mixed::covstruct {
namespace {

TEST(CovarianceCatalogue, ParameterCounts) {
  // n = 4, codes 1..19 in order.
  const int want4[] = {3, 7, 2, 5, 2, 5, 2, 4, 5, 8, 5, 1, 4, 7, 10, 10, 0, 1, 4};
  for (int cov_type = 1; cov_type <= 19; ++cov_type) EXPECT_EQ(parameter_count(4, cov_type), want4[cov_type - 1]) << cov_type;
  // One level: AD1 and TPH keep only the standard deviation, TP only the
  // variance, UN and UNR one parameter, FA1 and FAH1 two.
  for (int cov_type : {2, 13, 14, 15, 16}) EXPECT_EQ(parameter_count(1, cov_type), 1) << cov_type;
  EXPECT_EQ(parameter_count(1, 9), 2);
  EXPECT_EQ(parameter_count(1, 10), 2);
  EXPECT_EQ(parameter_count(3, 0), 0);
  EXPECT_EQ(parameter_count(3, 20), 0);
}

TEST(CovarianceCatalogue, ParameterKinds) {
  auto kinds = [](int npar, int cov_type) {
    std::vector<int> k;
    for (int i = 0; i < npar; ++i) k.push_back(parameter_kind(npar, cov_type, i));
    return k;
  };
  EXPECT_EQ(kinds(6, 15), (std::vector<int>{5, 2, 5, 2, 2, 5}));  // UN, n = 3
  EXPECT_EQ(kinds(6, 16), (std::vector<int>{4, 1, 4, 1, 1, 4}));  // UNR, n = 3
  EXPECT_EQ(kinds(3, 1), (std::vector<int>{5, 1, 1}));            // ARMA11
  EXPECT_EQ(kinds(5, 2), (std::vector<int>{4, 1, 4, 1, 4}));      // AD1, n = 3
  EXPECT_EQ(kinds(4, 4), (std::vector<int>{1, 4, 4, 4}));         // ARH1, n = 3
  EXPECT_EQ(kinds(2, 5), (std::vector<int>{5, 2}));               // CS
  EXPECT_EQ(kinds(4, 9), (std::vector<int>{5, 3, 3, 3}));         // FA1, n = 3
  EXPECT_EQ(kinds(6, 10), (std::vector<int>{3, 5, 3, 5, 3, 5}));  // FAH1, n = 3
  EXPECT_EQ(kinds(4, 11), (std::vector<int>{3, 5, 5, 5}));        // HF, n = 3
  // 8 and 19 alike, 12 and 18 alike.
  EXPECT_EQ(kinds(4, 8), kinds(4, 19));
  EXPECT_EQ(kinds(1, 12), kinds(1, 18));
  EXPECT_EQ(kinds(4, 8), (std::vector<int>{5, 5, 5, 5}));
  // Code 17 and codes out of range: unrestricted.
  for (int cov_type : {17, 0, 20, -3}) EXPECT_EQ(parameter_kind(3, cov_type, 0), Unrestricted) << cov_type;
}

TEST(CovarianceCatalogue, DisplayNames) {
  EXPECT_EQ(structure_name(1).json(), "ARMA(1,1)");
  EXPECT_EQ(structure_name(9).json(), "First-Order Factor Analytic, Const Diag");
  EXPECT_EQ(structure_name(16).json(), "Unstructured Correlations");
  EXPECT_EQ(structure_name(18).json(), "Variance Components");
  EXPECT_EQ(structure_name(19).json(), structure_name(8).json());
  EXPECT_EQ(structure_name(19).json(), "Diagonal");
  EXPECT_TRUE(structure_name(17).empty());
  EXPECT_TRUE(structure_name(20).empty());
  for (int cov_type = 1; cov_type <= 19; ++cov_type) EXPECT_EQ(is_block_type(cov_type), cov_type != 17);
}

}  // namespace
}  // namespace mixed::covstruct
