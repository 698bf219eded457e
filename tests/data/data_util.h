// Test support for the data stages: a session holding a data set, the engine
// services and a parsed MIXED command; a runner that takes every split group
// through the case pass, subject ordering, descriptives and design columns as
// the procedure driver does; and look-ups into the output.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "host/engine.h"
#include "model/command.h"
#include "support/session_util.h"

namespace mixed::data::testing {

using test_support::csv;
using test_support::reference_csv;

// The data set with its rows in the order `rows` (row k of the result is row
// rows[k] of `d`); dictionary, weight and split variables kept.
host::Dataset permute_rows(const host::Dataset& d, const std::vector<std::size_t>& rows);

// The rows of a reference data file as text fields by column name (a reader
// independent of the engine's; the reference files quote no commas).
std::vector<std::map<std::string, std::string>> read_rows(const std::string& name);

struct Session : test_support::Session {
  using test_support::Session::Session;

  // Parses the command text after the name MIXED, which must lex cleanly;
  // false after a parse error.
  bool parse(std::string_view command);
};

// What the data stages left for one split group.
struct GroupResult {
  bool analysable = false;
  std::size_t ncases = 0;
  double n_observations = 0.0;
  bool fractional_weights = false;
  double max_case_weight = 0.0;
  int record_length = 0;
  int class_key_length = 0;
  std::vector<data::Levels> levels;
  std::vector<int> factor_levels;
  std::vector<double> records;  // the work file after the last stage run
  std::size_t subject_key_length = 0, n_subjects = 0;
  std::vector<std::size_t> subject_counts;
  int n_repeated_levels = 0, n_repeated_subjects = 0;
  std::vector<int> repeated_level_table, repeated_level_map;
  int n_fixed_columns = 0, n_random_columns = 0;
  std::vector<int> fx_ncol, fx_fcol, rn_ncol, rn_fcol;
  std::vector<std::int64_t> fx_cell, rn_cell;
  std::vector<data::CovBlock> blocks;

  // Record r of the work file.
  std::vector<double> record(std::size_t r) const {
    return {records.begin() + static_cast<std::ptrdiff_t>(r * record_length),
            records.begin() + static_cast<std::ptrdiff_t>((r + 1) * record_length)};
  }
};

enum class Through { CasePass, Ordering, Design };

// Runs the data stages over every split group; stops at the first error.
std::vector<GroupResult> run_groups(Session& session, Through through = Through::Design);

// Every table with this title, in output order (headings searched too).
std::vector<const host::PivotTable*> tables(const host::Output& out, std::string_view title);
// Every message, in output order.
std::vector<const host::Message*> messages(const host::Output& out);
// The numbers of the messages (-1 for those built outside the catalogues).
std::vector<int> message_numbers(const host::Output& out);

// The cell at the categories named, per dimension in declared order, by the
// labels (machine form) of the path from the outermost group to the leaf;
// nullptr when there is none.
const host::Cell* cell_at(const host::PivotTable& t, const std::vector<std::vector<std::string>>& paths);
// Its number (NaN for a missing or absent cell).
double value_at(const host::PivotTable& t, const std::vector<std::vector<std::string>>& paths);

// The whole output in its machine form, for comparisons.
std::string dump(const host::Output& out);

}  // namespace mixed::data::testing
