// What the post-estimation tables share: the footnotes every table carries,
// the formats of estimates and degrees of freedom, and the grouping of the
// covariance parameters by block.
#pragma once

#include <string_view>
#include <vector>

#include "data/group.h"
#include "estimate/estimates.h"
#include "host/output.h"
#include "model/command.h"

namespace mixed::inference {

// The display format of estimates, standard errors, bounds and covariances.
inline host::Format estimate_format() { return host::Format::coefficient(); }

// A pivot table with its visible title and internal name (both keys).
host::PivotTable new_table(std::string_view title, std::string_view name);

// Adds the dependent-variable footnote and, under REGWGT, the weight footnote.
void annotate(host::PivotTable& table, const estimate::Estimates& est);

// A degrees-of-freedom cell: an integer when it is at least 1 and whole by
// is_fuzzy_whole, otherwise the statistics format; system-missing stays missing.
host::CellValue df_value(double df);

// The interval group label `key` ("^1 Confidence Interval", or "^1
// Confidence Interval of Difference") with ^1 the CIN value as the user wrote
// it (at most 40 characters, trailing blanks removed).
host::Text interval_label(const model::Command& cmd, std::string_view key = "^1 Confidence Interval");

// One covariance block as the covariance tables show it: its parameters
// [first, first + count) of cov_params, its type code and its group label (empty
// for the plain residual, which stands as a single row).
struct ParameterGroup {
  int first = 0;
  int count = 0;
  covstruct::CovType cov_type{};
  host::Text label;
};

// The residual or repeated block, then every RANDOM block in order.
std::vector<ParameterGroup> parameter_groups(const model::Command& cmd, const data::GroupData& group,
                                             const estimate::Estimates& est);

// The categories of the covariance parameters in dimension `dim` of `table`,
// grouped as parameter_groups() says; one category per parameter, in order.
std::vector<int> parameter_categories(host::PivotTable& table, int dim, const model::Command& cmd,
                                      const data::GroupData& group, const estimate::Estimates& est);

// The label of covariance parameter k (its number when no label was made).
host::Text covpar_label(const estimate::Estimates& est, int k);

// The label of fixed parameter k, or of random column u (after the p fixed ones).
host::Text param_label(const estimate::Estimates& est, int k);

}  // namespace mixed::inference
