// Subject ordering: replaces the raw classification values of the work file by
// level numbers, numbers the subjects and the repeated measurements, and
// rewrites the work file so that the records of one subject are consecutive.
//
// A subject is a distinct combination of the levels of the common subject
// variables (the first n_common_subjects classification variables), identified by its
// mixed-radix subject key (data/record.h).  Subjects are written in ascending
// key order, each subject's records in case order; under SUBJECTS(GROUPED)
// the file keeps case order.  Without common subject variables the whole group
// is one subject.  A repeated subject is a distinct combination of the levels
// of the REPEATED SUBJECT variables and a repeated level one of the REPEATED
// variables, both numbered 1, 2, ... in order of first appearance.
//
// Reads GroupData::workfile in the case layout and replaces it by the
// ordered layout (data/record.h); sets record_length, class_key_length, subject_key_length, n_subjects,
// subject_counts, n_repeated_subjects, n_repeated_levels, repeated_level_table and repeated_level_map.
// The case data are copied once into an ordering file (which moves to disk
// when the scratch budget is short); data already in key order, or kept in
// file order, become the new work file as they stand, and otherwise the
// ordering file is permuted into it.
#pragma once

#include "data/group.h"
#include "host/engine.h"
#include "model/command.h"

namespace mixed::data {

// Orders the group's work file by subject.  Errors: 2 (memory), 70 (the work
// file is shorter than ncases, or holds a value that is not among the levels).
void order_subjects(const model::Command& cmd, GroupData& group, host::Engine& e);

}  // namespace mixed::data
