// MixSettings: the procedure's one record of settings, the model as parsed,
// per-group counts and results for one MIXED command.
//
// The driver owns one MixSettings per command and passes it by reference to
// every stage.  The command settings take their defaults on construction; each
// subcommand parser resets its own fields on entry, so the last occurrence of a
// subcommand wins.  Fields marked "per group" are reset by reset_group() before
// every split group; the model as parsed is never touched by it.
//
// Counts are plain integers; dictionary indices are 0-based; positions in the
// lists of the model (factor list, covariate list, effects, columns) are 0-based
// in code.  Effect rows keep the cell values the syntax defines: a factor cell
// is 0 (absent), 1, or k > 1 (nested within k-1 later parts); a covariate cell
// is 0, its power m, or -m when written before the first nesting operator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "covstruct/types.h"
#include "host/bitset.h"
#include "host/text.h"

namespace mixed::host {
class WorkFile;
}
namespace mixed::estimate {
struct Fit;  // estimation's per-group blocks (per-subject cross products, G blocks)
}

namespace mixed::model {

// A table of effect rows, n_factors factor cells then n_covariates covariate cells each.
// A model without factors and covariates has rows of width 0 (the intercept);
// their number is counted apart, since they hold no cells.
struct EffectTable {
  int width = 0;            // n_factors + n_covariates
  std::vector<int> cells;   // rows one after another
  std::size_t empty_rows = 0;  // number of rows when width == 0

  std::size_t rows() const { return width == 0 ? empty_rows : cells.size() / width; }
  std::span<int> row(std::size_t r) { return {cells.data() + r * width, static_cast<std::size_t>(width)}; }
  std::span<const int> row(std::size_t r) const {
    return {cells.data() + r * width, static_cast<std::size_t>(width)};
  }
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
  int cov_type = covstruct::VC;
  bool covtype_written = false;
};

// One classification variable (factors, REPEATED variables and subject
// variables, without duplicates): its dictionary index and its 1-based place in
// each list where it occurs (0 where it does not).
struct ClassVar {
  std::size_t var = 0;
  int width = 0;           // string width, 0 numeric
  int random_subject = 0;  // place in the RANDOM subject list (ptsubv)
  int repeated_subject = 0;// place in the REPEATED SUBJECT list
  int repeated = 0;        // place in the REPEATED variable list
  int factor = 0;          // place in the factor list
};

// The sorted levels of one classification variable in a split group, with the
// summed case weights of the valid cases that have them.
struct Levels {
  bool numeric = true;
  std::vector<double> numbers;
  std::vector<std::string> strings;  // trailing blanks removed
  std::vector<double> weights;
  std::size_t size() const { return numeric ? numbers.size() : strings.size(); }
};

// One TEST subcommand as stored by its parser.
struct TestRecord {
  bool all_form = false;
  int rows = 0;                        // q
  int nfix = 0, nran = 0;              // ALL form: fixed and random values per row
  std::vector<int> fixed_counts;       // effect form: values given per FIXED term (0 = none)
  std::vector<int> random_counts;      // effect form: values given per random effect
  // The coefficients, one vector per row, each already divided by its DIVISOR.
  // ALL form: nfix fixed values then nran random values.  Effect form: for
  // every FIXED term in order its fixed_counts[t] values (zeros where the row
  // does not name it), then every random effect's random_counts[e] values.
  std::vector<std::vector<double>> values;
  std::string label;                   // empty: no label
  std::vector<double> hypothesised;    // empty: none
};

// One EMMEANS subcommand as stored by its parser.
struct EmmeansRecord {
  int table_kind = 0;                 // 0 no TABLES, 1 OVERALL, 2 a list of factors
  std::vector<int> factors;           // TABLES factors: 0-based places in the factor list
  int compare = 0;                    // 1-based place of the COMPARE factor in `factors`; 0 none
  std::vector<int> cov_mode;          // per covariate: 0 not given, 1 MEAN, -1 a value
  std::vector<double> cov_value;      // per covariate: the value (SYSMIS until given)
  int adjust = 0;                     // 1 LSD (and NONE), 2 BONFERRONI, 3 SIDAK; 0 not given
  int refcat_kind = 0;                // 0 none, 1 numeric, 2 string, 3 FIRST, 4 LAST
  double refcat_value = 0.0;          // kind 1
  std::string refcat_string;          // kind 2
};

// The hypothesis matrix of one fixed term (Type I or Type III).
struct TermHypothesis {
  int df = 0;                          // numerator df: rows of L
  std::vector<double> L;               // df rows of n_fixed_columns reals
};

// The SAVE keywords, in the order of the keyword table.
enum SaveCode : int { FIXPRED = 1, PRED = 2, RESID = 3, SEFIXP = 4, SEPRED = 5, DFFIXP = 6, DFPRED = 7 };

struct MixSettings {
  MixSettings();
  ~MixSettings();
  MixSettings(const MixSettings&) = delete;
  MixSettings& operator=(const MixSettings&) = delete;

  // ---- Command settings (CRITERIA, METHOD, MISSING, PRINT, REGWGT, OUTFILE) ----
  double confidence_level = 95.0;
  std::string confidence_text = "95";
  double hessian_tolerance = 0.0;
  int hessian_criterion = 1;              // 1 ABSOLUTE, 2 RELATIVE
  double likelihood_tolerance = 0.0;
  int likelihood_criterion = 1;
  double parameter_tolerance = 1.0e-6;
  int parameter_criterion = 1;
  int max_iterations = 100;
  int max_step_halvings = 10;
  int scoring_steps = 1;
  double singularity_tolerance = 1.0e-12;
  bool subjects_grouped = false;         // SUBJECTS(GROUPED)
  int method = 2;              // 1 ML, 2 REML
  bool include_user_missing = false;         // MISSING INCLUDE
  std::optional<std::size_t> regression_weight;  // REGWGT variable
  bool print_fixed_correlations = false, print_fixed_covariances = false, print_case_summary = false, print_descriptives = false, print_g = false,
       print_history = false, print_lmatrix = false, print_r = false, print_solution = false, print_testcov = false;
  int history_interval = 1;
  int outfile_kind = 0;              // 0 none, 1 FXPARAMETER, 2 FXMODEL
  std::string outfile_path;          // OUTFILE file specification
  int sstype = 3;
  bool has_intercept = true;

  // SAVE: keyword codes (1 FIXPRED .. 7 DFPRED) in written order, and the
  // written names ("" when none).
  std::vector<int> save_keywords;
  std::vector<std::string> save_names;
  int n_saved() const { return static_cast<int>(save_keywords.size()); }

  std::vector<TestRecord> tests;      // n_tests = tests.size()
  std::vector<EmmeansRecord> emmeans; // n_emmeans = emmeans.size()
  int n_tests() const { return static_cast<int>(tests.size()); }
  int n_emmeans() const { return static_cast<int>(emmeans.size()); }

  // ---- The model as parsed ----
  std::size_t dependent = 0;
  std::vector<std::size_t> factors;     // ptfact: dictionary indices, n_factors = size
  std::vector<std::size_t> covariates;  // ptcovl: n_covariates = size
  int n_factors() const { return static_cast<int>(factors.size()); }
  int n_covariates() const { return static_cast<int>(covariates.size()); }

  EffectTable fixed;                    // ptefds; n_fixed_effects = fixed.rows()
  int n_fixed_effects() const { return static_cast<int>(fixed.rows()); }
  int fixed_kind = 4;                      // 1 covariates only, 2 factors only, 3 intercept only, 4 both

  std::vector<RandomSubcommand> random_subcommands;  // nrndsc
  EffectTable random;                   // ptrnef; n_random_effects = random.rows()
  int n_random_effects() const { return static_cast<int>(random.rows()); }
  std::vector<int> random_subject_counts;           // ptrnsn: per random effect, its subcommand's subject count
  std::vector<std::vector<std::size_t>> random_subject_lists;  // ptrnsl: per random effect, that list
  std::vector<int> random_types;          // ptrnct
  std::vector<int> random_effect_block;           // ptrnbk: 0-based covariance block of each random effect
  std::vector<int> random_effect_subcommand;      // the RANDOM subcommand (0-based) of each random effect
  std::vector<int> rnd_signed_count;    // ptrnne: per subcommand, + when COVTYPE written, - otherwise
  int n_random_blocks = 0;                       // covariance blocks of the random part
  int random_kind = 4;
  std::vector<std::size_t> subject_vars;   // ptsubv: union of RANDOM subjects, common ones first
  int n_common_subjects = 0;                          // the first n_common_subjects of subject_vars are common
  int n_subject_vars() const { return static_cast<int>(subject_vars.size()); }

  bool repeated_given = false;
  std::vector<std::size_t> repeated_vars;  // ptrepv; n_repeated_vars = size
  std::vector<std::size_t> repeated_subjects; // ptrsbv; nrsbvr = size
  int n_repeated_vars() const { return static_cast<int>(repeated_vars.size()); }
  int repeated_type = covstruct::ID;

  std::vector<ClassVar> classvars;      // ptclsv; n_class_vars = size
  int n_class_vars() const { return static_cast<int>(classvars.size()); }
  int composition = 4;                       // 1 fixed only, 2 random only, 3 both, 4 neither

  // Display formats and texts made after parsing.
  host::Format likelihood_format = host::Format::genstat();
  host::Format parameter_format = host::Format::coefficient();
  // Effect-label texts: one per fixed effect, then one per random block (pttnam).
  std::vector<host::Text> fixed_effect_names;
  std::vector<host::Text> random_block_names;

  // Scratch files of SAVE, open for the whole command when SAVE is given:
  // "mixcas__" holds every case's classification cells, dependent variable and
  // covariates; "mixprd__" the saved values of every analysed case.
  std::unique_ptr<host::WorkFile> case_scratch;
  std::unique_ptr<host::WorkFile> saved_scratch;

  // ---- Per split group (reset_group) ----
  std::unique_ptr<host::WorkFile> workfile;  // the case work file of the group
  int record_length = 0;
  std::size_t ncases = 0;
  double n_observations = 0.0;
  bool fractional_weights = false;
  double max_case_weight = 0.0;
  std::vector<Levels> levels;           // per classification variable (ptclnl, ptcllv)
  std::vector<int> factor_levels;       // ptflev: per factor its number of levels
  int class_key_length = 0;
  int n_repeated_subjects = 0;
  int n_repeated_levels = 0;
  std::size_t subject_key_length = 0;
  std::size_t n_subjects = 0;
  // Record counts of the consecutive subjects of the ordered work file: the
  // subjects in ascending key order; under SUBJECTS(GROUPED) the runs of equal
  // subject key in file order (more entries than n_subjects when a subject's records
  // are not in fact consecutive); without common subject variables one run of
  // ncases.  Estimation walks the work file subject by subject with these.
  std::vector<std::size_t> subject_counts;
  // REPEATED levels: rows in ascending order of the REPEATED variables' level
  // numbers (n_repeated_levels rows of n_repeated_vars 1-based level numbers) and the map from
  // first-appearance number to sorted position (both 0-based).
  std::vector<int> repeated_level_table;
  std::vector<int> repeated_level_map;

  // Design columns.
  int n_fixed_columns = 0;
  int n_random_columns = 0;
  std::vector<int> fx_ncol, fx_fcol;    // ptncol, ptfcol: per fixed effect (fcol 0-based)
  std::vector<std::int64_t> fx_cell;    // ptfcmp: per fixed column its 1-based cell index
  std::vector<int> rn_ncol, rn_fcol;    // ptrncn, ptrnfc: per random effect
  std::vector<std::int64_t> rn_cell;    // ptrcmp
  struct CovBlock {
    std::vector<int> effects;           // its random effects (0-based)
    int dim = 0;
    int cov_type = covstruct::VC;
    std::vector<std::size_t> subjects;  // dictionary indices
  };
  std::vector<CovBlock> blocks;         // ptbkne, ptbkef, ptbkdm, ptbkct, ptbksn, ptbksl
  long long n_random_design_columns = 0;

  // Estimation results.
  int iterations = 0;        // iterations of the last fit
  long evaluations = 0;      // likelihood evaluations of the last fit
  int n_cov_params = 0, n_random_cov_params = 0, n_residual_cov_params = 0;
  int fixed_rank = 0;
  double m2ll = 0.0;
  int iteration_status = 0;
  double ldetv = 0.0, rquad = 0.0, ldetx = 0.0, lwsum = 0.0;
  std::vector<double> cov_params, cov_params_reported;
  std::vector<double> cov_param_covariance, cov_param_covariance_reported;  // packed lower triangles of order n_cov_params
  host::BitSet cov_params_kept;
  std::vector<double> fixed_covariance;        // packed, order n_fixed_columns + 1
  host::BitSet non_redundant;
  host::BitSet l_row_columns;
  std::vector<double> estimable_basis; // fixed_rank rows of n_fixed_columns reals
  std::vector<TermHypothesis> hypotheses;  // per fixed term
  std::vector<double> covariate_means;     // per covariate (first pass)
  std::shared_ptr<estimate::Fit> fit;      // per-subject blocks for the later stages

  // Labels made before estimation (make_parameter_labels).
  host::Text dependent_note;
  host::Text weight_note;                   // empty when no REGWGT
  std::vector<host::Text> param_labels;    // ptplab: fixed columns, then random columns
  std::vector<host::Text> covpar_labels;   // ptclab
  std::vector<host::Text> block_labels;    // per random block

  // Tests of fixed effects (post_estimation).
  std::vector<int> term_numdf;
  std::vector<double> term_dendf;
  std::vector<double> term_f;
  std::vector<double> param_df;        // per non-redundant parameter

  // Resets every per-group field (before each split group).
  void reset_group();
};

}  // namespace mixed::model
