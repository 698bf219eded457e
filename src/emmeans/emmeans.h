// estimated_marginal_means: the estimated marginal means of the EMMEANS subcommands for the
// current split group: the cells of each requested table with their L vectors
// over the fixed design columns, their means, standard errors and
// Satterthwaite df, and with COMPARE the pairwise comparisons and univariate
// tests, all under the heading "Estimated Marginal Means".
#pragma once

#include "data/group.h"
#include "estimate/estimates.h"
#include "host/engine.h"
#include "model/command.h"

namespace mixed::emmeans {

void estimated_marginal_means(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
                              host::Engine& e);

}  // namespace mixed::emmeans
