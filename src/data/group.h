// What the data stages learn about one split group: its case work file, the
// levels of the classification variables, the subjects, the REPEATED levels
// and the design columns.  The case pass creates a fresh GroupData for every
// group, the subject ordering and the design stage complete it, and the later
// stages read it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "covstruct/types.h"
#include "host/workfile.h"

namespace mixed::data {

// The sorted levels of one classification variable in a split group, with the
// summed case weights of the valid cases that have them.
struct Levels {
  bool numeric = true;
  std::vector<double> numbers;
  std::vector<std::string> strings;  // trailing blanks removed
  std::vector<double> weights;
  std::size_t size() const { return numeric ? numbers.size() : strings.size(); }
};

// One covariance block of the random part: its random effects, dimension,
// structure and subject variables.
struct CovBlock {
  std::vector<int> effects;  // its random effects (0-based)
  int dim = 0;
  covstruct::CovType cov_type = covstruct::VC;
  std::vector<std::size_t> subjects;  // dictionary indices
};

struct GroupData {
  std::unique_ptr<host::WorkFile> workfile;  // the case work file of the group
  int record_length = 0;
  std::size_t ncases = 0;
  double n_observations = 0.0;  // the sum of the case weights of the valid cases
  bool fractional_weights = false;
  double max_case_weight = 0.0;
  std::vector<Levels> levels;      // per classification variable
  std::vector<int> factor_levels;  // per factor its number of levels

  // Subjects and REPEATED levels (subject ordering).
  int class_key_length = 0;
  int n_repeated_subjects = 0;
  int n_repeated_levels = 0;
  std::size_t subject_key_length = 0;
  std::size_t n_subjects = 0;
  // Record counts of the consecutive subjects of the ordered work file: the
  // subjects in ascending key order; under SUBJECTS(GROUPED) the runs of equal
  // subject key in file order (more entries than n_subjects when a subject's
  // records are not in fact consecutive); without common subject variables one
  // run of ncases.  Estimation walks the work file subject by subject with these.
  std::vector<std::size_t> subject_counts;
  // REPEATED levels: rows in ascending order of the REPEATED variables' level
  // numbers (n_repeated_levels rows of n_repeated_vars 1-based level numbers)
  // and the map from first-appearance number to sorted position (both 0-based).
  std::vector<int> repeated_level_table;
  std::vector<int> repeated_level_map;

  // Design columns.
  int n_fixed_columns = 0;
  int n_random_columns = 0;
  std::vector<int> fx_ncol, fx_fcol;  // per fixed effect: its columns and its first (0-based)
  std::vector<std::int64_t> fx_cell;  // per fixed column its 1-based cell index
  std::vector<int> rn_ncol, rn_fcol;  // per random effect
  std::vector<std::int64_t> rn_cell;
  std::vector<CovBlock> blocks;  // the covariance blocks of the random part
};

}  // namespace mixed::data
