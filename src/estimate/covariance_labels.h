// The labels of covariance parameters and of design columns, as texts for the
// output system (host/text.h).
//
// A parameter label is a translatable template filled with integers ("UN
// (^1,^2)"), or, for the heterogeneous structures, the label of the level a
// parameter belongs to: for a random block the design column of one of its
// effects ("Var\: [:^1:]1"), for the repeated block one combination of values of
// the REPEATED variables.  Values are shown as the dictionary formats them,
// with their value labels.  Inputs are read from the settings record (model,
// levels and design columns of the current split group) and the data set.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "host/text.h"

#include "data/group.h"
#include "model/command.h"

namespace mixed::host {
class Dataset;
}

namespace mixed::estimate {

// Status of covariance_parameter_labels when the level labels cannot be had.
inline constexpr int kStatusLabelMemory = 4;

// covariance_parameter_labels: appends one label per parameter of a block of dimension n, in stored
// order, to `labels`.  With random_block the level labels come from random
// block `block` (0-based, GroupData::blocks) and its effects' design
// columns; otherwise from the REPEATED levels.  Returns 0, or
// kStatusLabelMemory with nothing appended.  Code 17 and codes outside 1..19
// append nothing.
int covariance_parameter_labels(const model::Command& cmd, const data::GroupData& group, const host::Dataset& data,
                                int n, bool random_block, int block, covstruct::CovType cov_type,
                                std::vector<host::Text>& labels);

// design_column_label: appends to `items` (the groups of a "[:^1:]1" list) the label of the
// design column with 1-based cell index `cell` of the effect `effect` (a row of
// an EffectTable): "[name=value]" per factor, the covariates' names, and the
// nesting factors in parentheses, in the order of the effect's name.
void design_column_label(const model::Command& cmd, const data::GroupData& group, const host::Dataset& data,
                         std::span<const int> effect, std::int64_t cell, std::vector<host::TextGroup>& items);

// The level (0-based) of every factor, in factor-list order, in the design
// column of `effect` with 1-based cell index `cell`: the cell index is a
// mixed-radix number over the effect's factors ordered by nesting value (ties
// in factor-list order), the last varying fastest.  Factors outside the
// effect get 0.
std::vector<int> cell_levels(const model::Command& cmd, const data::GroupData& group, std::span<const int> effect,
                             std::int64_t cell);

// The groups of a "[%1=%2:...]" list for repeated level `level` (0-based): per
// REPEATED variable present there, its name and its value.
std::vector<host::TextGroup> repeated_level_items(const model::Command& cmd, const data::GroupData& group,
                                                  const host::Dataset& data, int level);

}  // namespace mixed::estimate
