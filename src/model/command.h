// The parsed MIXED command: its settings (CRITERIA, METHOD, MISSING, PRINT,
// REGWGT, OUTFILE, SAVE, TEST, EMMEANS) and the model as written (dependent
// variable, factors, covariates, FIXED, RANDOM and REPEATED).
//
// The parser builds one Command per MIXED command; every later stage receives
// it read-only.  Each subcommand parser resets its own fields on entry, so the
// last occurrence of a subcommand wins.  What is computed per split group lives
// elsewhere (data::GroupData, estimate::Estimates), so nothing can carry over
// from one group to the next.
//
// Counts are plain integers; dictionary indices are 0-based; positions in the
// lists of the model (factor list, covariate list, effects, columns) are 0-based
// in code.  Effect rows keep the cell values the syntax defines: a factor cell
// is 0 (absent), 1, or k > 1 (nested within k-1 later parts); a covariate cell
// is 0, its power m, or -m when written before the first nesting operator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "covstruct/types.h"
#include "host/text.h"

namespace mixed::model {

// A table of effect rows, n_factors factor cells then n_covariates covariate cells each.
// A model without factors and covariates has rows of width 0 (the intercept);
// their number is counted apart, since they hold no cells.
struct EffectTable {
  int width = 0;               // n_factors + n_covariates
  std::vector<int> cells;      // rows one after another
  std::size_t empty_rows = 0;  // number of rows when width == 0

  std::size_t rows() const { return width == 0 ? empty_rows : cells.size() / width; }
  std::span<int> row(std::size_t r) { return {cells.data() + r * width, static_cast<std::size_t>(width)}; }
  std::span<const int> row(std::size_t r) const { return {cells.data() + r * width, static_cast<std::size_t>(width)}; }
  void add_row(std::span<const int> r) {
    cells.insert(cells.end(), r.begin(), r.end());
    if (width == 0) ++empty_rows;
  }
  void clear() {
    cells.clear();
    empty_rows = 0;
  }
};

// One RANDOM subcommand as read.
struct RandomSubcommand {
  EffectTable effects;
  std::vector<std::size_t> subjects;  // dictionary indices, as written, duplicates dropped
  covstruct::CovType cov_type = covstruct::VC;
  bool covtype_written = false;
};

// One classification variable (factors, REPEATED variables and subject
// variables, without duplicates): its dictionary index and its 1-based place in
// each list where it occurs (0 where it does not).
struct ClassVar {
  std::size_t var = 0;
  int width = 0;             // string width, 0 numeric
  int random_subject = 0;    // place in the RANDOM subject list
  int repeated_subject = 0;  // place in the REPEATED SUBJECT list
  int repeated = 0;          // place in the REPEATED variable list
  int factor = 0;            // place in the factor list
};

// One TEST subcommand as stored by its parser.
struct TestRecord {
  bool all_form = false;
  int rows = 0;                    // q
  int nfix = 0, nran = 0;          // ALL form: fixed and random values per row
  std::vector<int> fixed_counts;   // effect form: values given per FIXED term (0 = none)
  std::vector<int> random_counts;  // effect form: values given per random effect
  // The coefficients, one vector per row, each already divided by its DIVISOR.
  // ALL form: nfix fixed values then nran random values.  Effect form: for
  // every FIXED term in order its fixed_counts[t] values (zeros where the row
  // does not name it), then every random effect's random_counts[e] values.
  std::vector<std::vector<double>> values;
  std::string label;                 // empty: no label
  std::vector<double> hypothesised;  // empty: none
};

// One EMMEANS subcommand as stored by its parser.
struct EmmeansRecord {
  int table_kind = 0;             // 0 no TABLES, 1 OVERALL, 2 a list of factors
  std::vector<int> factors;       // TABLES factors: 0-based places in the factor list
  int compare = 0;                // 1-based place of the COMPARE factor in `factors`; 0 none
  std::vector<int> cov_mode;      // per covariate: 0 not given, 1 MEAN, -1 a value
  std::vector<double> cov_value;  // per covariate: the value (SYSMIS until given)
  int adjust = 0;                 // 1 LSD (and NONE), 2 BONFERRONI, 3 SIDAK; 0 not given
  int refcat_kind = 0;            // 0 none, 1 numeric, 2 string, 3 FIRST, 4 LAST
  double refcat_value = 0.0;      // kind 1
  std::string refcat_string;      // kind 2
};

// The estimation method: maximum likelihood or restricted (residual) maximum
// likelihood.
enum class Method { ML, REML };

// How a convergence criterion compares a change with its tolerance: as it is
// (ABSOLUTE) or relative to the size of what changed (RELATIVE).
enum class Tolerance { Absolute, Relative };

// What OUTFILE writes: nothing, the fixed parameters (FXPARAMETER), or the
// fixed model with the covariance of its estimates (FXMODEL).
enum class OutfileKind { None, FixedParameters, FixedModel };

// The sums of squares the tests of fixed effects use.
enum class SumOfSquares { TypeI, TypeIII };

// What the effects of FIXED or RANDOM are made of.
enum class TermKinds { CovariatesOnly, FactorsOnly, InterceptOnly, FactorsAndCovariates };

// Which parts the model has besides the residual.
enum class Composition { FixedOnly, RandomOnly, FixedAndRandom, Neither };

// The SAVE keywords, in the order of the keyword table.
// The values are the positions in the keyword table (1-based).
enum class SaveCode : int { FIXPRED = 1, PRED = 2, RESID = 3, SEFIXP = 4, SEPRED = 5, DFFIXP = 6, DFPRED = 7 };

struct Command {
  // Settings (CRITERIA, METHOD, MISSING, PRINT, REGWGT, OUTFILE).
  double confidence_level = 95.0;
  std::string confidence_text = "95";
  double hessian_tolerance = 0.0;
  Tolerance hessian_criterion = Tolerance::Absolute;
  double likelihood_tolerance = 0.0;
  Tolerance likelihood_criterion = Tolerance::Absolute;
  double parameter_tolerance = 1.0e-6;
  Tolerance parameter_criterion = Tolerance::Absolute;
  int max_iterations = 100;
  int max_step_halvings = 10;
  int scoring_steps = 1;
  double singularity_tolerance = 1.0e-12;
  bool subjects_grouped = false;  // SUBJECTS(GROUPED)
  Method method = Method::REML;
  bool include_user_missing = false;             // MISSING INCLUDE
  std::optional<std::size_t> regression_weight;  // REGWGT variable
  bool print_fixed_correlations = false, print_fixed_covariances = false, print_case_summary = false,
       print_descriptives = false, print_g = false, print_history = false, print_lmatrix = false, print_r = false,
       print_solution = false, print_testcov = false;
  int history_interval = 1;
  OutfileKind outfile_kind = OutfileKind::None;
  std::string outfile_path;  // OUTFILE file specification
  SumOfSquares sstype = SumOfSquares::TypeIII;
  bool has_intercept = true;

  // SAVE: keyword codes (1 FIXPRED .. 7 DFPRED) in written order, and the
  // written names ("" when none).
  std::vector<SaveCode> save_keywords;
  std::vector<std::string> save_names;
  int n_saved() const { return static_cast<int>(save_keywords.size()); }

  std::vector<TestRecord> tests;       // n_tests = tests.size()
  std::vector<EmmeansRecord> emmeans;  // n_emmeans = emmeans.size()
  int n_tests() const { return static_cast<int>(tests.size()); }
  int n_emmeans() const { return static_cast<int>(emmeans.size()); }

  // The model as parsed.
  std::size_t dependent = 0;
  std::vector<std::size_t> factors;     // dictionary indices
  std::vector<std::size_t> covariates;  // dictionary indices
  int n_factors() const { return static_cast<int>(factors.size()); }
  int n_covariates() const { return static_cast<int>(covariates.size()); }

  EffectTable fixed;  // the fixed effects, the intercept first when there is one
  int n_fixed_effects() const { return static_cast<int>(fixed.rows()); }
  TermKinds fixed_kind = TermKinds::FactorsAndCovariates;

  std::vector<RandomSubcommand> random_subcommands;
  EffectTable random;  // the random effects of every RANDOM subcommand in order
  int n_random_effects() const { return static_cast<int>(random.rows()); }
  std::vector<int> random_subject_counts;                      // per random effect, its subcommand's subject count
  std::vector<std::vector<std::size_t>> random_subject_lists;  // per random effect, that list
  std::vector<covstruct::CovType> random_types;                // per random effect, its structure
  std::vector<int> random_effect_block;                        // 0-based covariance block of each random effect
  std::vector<int> random_effect_subcommand;                   // the RANDOM subcommand (0-based) of each random effect
  std::vector<int> rnd_signed_count;                           // per subcommand, + when COVTYPE written, - otherwise
  int n_random_blocks = 0;                                     // covariance blocks of the random part
  TermKinds random_kind = TermKinds::FactorsAndCovariates;
  std::vector<std::size_t> subject_vars;  // union of RANDOM subjects, common ones first
  int n_common_subjects = 0;              // the first n_common_subjects of subject_vars are common
  int n_subject_vars() const { return static_cast<int>(subject_vars.size()); }

  bool repeated_given = false;
  std::vector<std::size_t> repeated_vars;      // dictionary indices
  std::vector<std::size_t> repeated_subjects;  // dictionary indices
  int n_repeated_vars() const { return static_cast<int>(repeated_vars.size()); }
  covstruct::CovType repeated_type = covstruct::ID;

  std::vector<ClassVar> classvars;  // factors, REPEATED and subject variables
  int n_class_vars() const { return static_cast<int>(classvars.size()); }
  Composition composition = Composition::Neither;

  // Display formats and texts made after parsing.
  host::Format likelihood_format = host::Format::genstat();
  host::Format parameter_format = host::Format::coefficient();
  // Effect-label texts: one per fixed effect, then one per random block.
  std::vector<host::Text> fixed_effect_names;
  std::vector<host::Text> random_block_names;
};

}  // namespace mixed::model
