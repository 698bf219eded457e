// make_parameter_labels: the texts that the output tables of a split group share, made once
// per group before iterating: the dependent-variable and regression-weight
// footnotes, the labels of the fixed parameters and random columns, and the
// labels of the covariance parameters and of the random blocks.
#pragma once

#include "data/group.h"
#include "estimate/estimates.h"
#include "host/engine.h"
#include "model/command.h"

namespace mixed::estimate {

void make_parameter_labels(const model::Command& cmd, const data::GroupData& group, estimate::Estimates& est,
                           host::Engine& e);

// The label of a design column of an effect: "Intercept" for the intercept,
// otherwise the column label ("[A=1] * x"), followed by " | " and the subject
// variables when `subjects` is not empty.
host::Text column_label(const model::Command& cmd, const data::GroupData& group, const host::Dataset& data,
                        std::span<const int> effect, std::int64_t cell, std::span<const std::size_t> subjects);

}  // namespace mixed::estimate
