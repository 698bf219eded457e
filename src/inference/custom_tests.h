// custom_hypothesis_tests: the custom hypothesis tests of the TEST subcommands, evaluated for
// the current split group: each stored TEST record becomes an L matrix over
// the fixed design columns and the random-effect columns, is checked for
// estimability, tested with l_matrix_test, and drawn as "Contrast Coefficients"
// (PRINT LMATRIX), "Contrast Estimates" and, for several rows, "Test of
// Contrasts", under a heading of its own.
//
// A random coefficient applies to its column in every replicate and subject
// and is divided by the number of subject-replicates of its block here
// (estimate::RandomBlock::present_subjects), so that it weighs the average
// predicted effect.  Reads the command's tests, the design columns and the estimates ( fixed_covariance,
// non_redundant, estimable_basis and the fit) and writes only to the output; the
// work blocks come from scratch pool kPool and are released per test.
#pragma once

#include "data/group.h"
#include "estimate/estimates.h"
#include "host/engine.h"
#include "model/command.h"

namespace mixed::inference {

// For every TEST record k = 1 .. n_tests: the count warnings, L, the
// estimability warning, and the tables of the test of L·(β, Σ_i u_i) = h.  A
// status of 4 (memory) or 1003 (eigen decomposition) ends the loop and is
// reported after it.
void custom_hypothesis_tests(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
                             host::Engine& e);

}  // namespace mixed::inference
