// The case records of the work file and the mixed-radix keys that encode level
// numbers in them.
//
// Every valid case of a split group is one fixed-length record of eight-byte
// reals.  The case pass writes it with the raw values of the classification
// variables (the case layout); subject ordering rewrites it with the level
// numbers folded into one classification key (the ordered layout), and every
// later pass over the work file (design columns, descriptives, estimation)
// reads the ordered layout:
//
//   case layout                          ordered layout
//   -----------                          --------------
//   per classification variable, in      the classification key: class_key_length reals
//   table order: 1 cell (numeric) or     encoding the level numbers of all
//   max(1, ceil(w/8)) cells holding      classification variables
//   the bytes of a string of width w,
//   blank-padded
//   y                                    y
//   the n_covariates covariates, list order    the n_covariates covariates
//   REGWGT value      (REGWGT only)      REGWGT value             (REGWGT only)
//   case weight  (weighted data only)    case weight         (weighted data only)
//                                        repeated subject number  (REPEATED only)
//                                        repeated level number    (REPEATED only)
//
// The case weight is the fuzzy-rounded weight, always > 0 in a valid record;
// the REGWGT value is always > 0.  The repeated subject and level numbers are
// 1-based numbers in order of first appearance in the case pass; the level
// number maps to its place in the sorted repeated level table through
// GroupData::repeated_level_map[number - 1].  Without classification
// variables the two layouts coincide (no key, no repeated cells) and subject
// ordering does not run.
//
// Mixed-radix key.  With L_1..L_m the level counts of a list of variables,
// the strides run from the last variable backwards, s_m = 1 and
// s_k = s_{k+1} L_{k+1}, except that the stride restarts at 1 (a new run
// begins at variable k) whenever the run's product s_{k+1} L_{k+1} L_k would
// exceed 2^46.  Each run is one real of the key, holding
// 1 + sum (level - 1) stride over its variables; so every component is a whole
// number of at most 2^46 (exact in a double), variables whose level counts
// multiply to at most 2^46 share one real, and comparing keys real by real
// orders them as the level numbers ordered lexicographically.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "data/group.h"
#include "host/dataset.h"
#include "model/command.h"

namespace mixed::data {

// 2^46: the largest component of a mixed-radix key.
inline constexpr double kKeyComponentLimit = 70368744177664.0;

// The strides of a mixed-radix key over variables with level counts L_1..L_m.
struct Radix {
  std::vector<std::int64_t> stride;  // per variable
  std::vector<int> real;             // per variable: the 0-based key real that holds it
  int nkey = 0;                      // number of key reals (runs)
};

// Strides of the key over the level counts `counts` (each >= 1).
Radix mixed_radix(std::span<const std::int64_t> counts);

// key_r = 1 + sum over the variables v of real r of (levels_v - 1) stride_v.
void encode_key(const Radix& radix, std::span<const int> levels, std::span<double> key);

// The inverse of encode_key: the 1-based level numbers encoded in `key`.
void decode_key(const Radix& radix, std::span<const double> key, std::span<int> levels);

// Number of record cells of a classification variable: 1 when numeric,
// max(1, ceil(width/8)) for a string of `width` bytes.
int class_cells(int width);

// A string value as its record cells hold it: its bytes, blank-padded to the
// cells' length (cells.size() * 8 bytes).
void pack_string(std::string_view value, std::span<double> cells);
// The string held by record cells, trailing blanks removed.
std::string unpack_string(std::span<const double> cells);

// The 1-based number of the level that a classification variable's record
// cells hold in its sorted level list, 0 when the value is not one of its
// levels (numeric: one cell; string: its cells, trailing blanks ignored).
int level_of(const data::Levels& levels, std::span<const double> cells);

struct RecordLayout {
  bool ordered = false;  // ordered layout (class key) or case layout (raw cells)
  int n_class_vars = 0;
  // Case layout: per classification variable its first cell and cell count.
  std::vector<int> class_offset;
  std::vector<int> class_length;
  // Ordered layout: the classification key occupies cells [0, class_key_length).
  int class_key_length = 0;
  Radix class_radix;  // strides of the classification key (ordered layout)
  int y = 0;          // dependent variable
  int cov = 0;        // first covariate; covariate c at cov + c
  int n_covariates = 0;
  int regwgt = -1;       // REGWGT value, -1 without REGWGT
  int case_weight = -1;  // case weight, -1 for unweighted data
  int rep_subject = -1;  // repeated subject number (ordered layout with REPEATED)
  int rep_level = -1;    // repeated level number (ordered layout with REPEATED)
  int length = 0;        // cells per record (record_length)
  // Per factor (factor-list order): its classification variable (0-based).
  std::vector<int> factor_classvar;

  // The case weight of a record (1 for unweighted data).
  double weight(std::span<const double> record) const { return case_weight < 0 ? 1.0 : record[case_weight]; }
  // The REGWGT value of a record (1 without REGWGT).
  double regression_weight(std::span<const double> record) const { return regwgt < 0 ? 1.0 : record[regwgt]; }
};

// The layout written by the case pass for the command's variables and data set.
RecordLayout case_layout(const model::Command& cmd, const host::Dataset& data);

// The layout after subject ordering; the classification key strides come from
// the level counts of the group (GroupData::levels), so call it once the
// case pass has run.
RecordLayout ordered_layout(const model::Command& cmd, const data::GroupData& group, const host::Dataset& data);

// The 1-based level numbers of every classification variable (table order)
// encoded in the classification key of an ordered record.
void decode_class_key(const RecordLayout& layout, std::span<const double> record, std::span<int> class_levels);

// The 1-based level numbers of the factors (factor-list order), picked from the
// classification variables' level numbers.
void factor_levels_of(const RecordLayout& layout, std::span<const int> class_levels, std::span<int> factor_levels);

}  // namespace mixed::data
