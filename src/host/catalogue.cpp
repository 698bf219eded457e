#include "host/catalogue.h"

#include <utility>

namespace mixed::host {

namespace {

struct Entry {
  const char* key;
  const char* display;
};

// The English display text of every key that does not read well as it stands.
// A display text keeps exactly the placeholders of its key: the same ^n and the
// same repeat lists over the same parameters.
constexpr Entry kEnglish[] = {
    // Procedure and progress.
    {"Mixed", "Mixed Model Analysis"},

    // Numbered messages.
    {"Insufficient parse memory ...",
     "There is not enough memory to read the command. Allow a larger workspace and run it again."},
    {"Insufficient data memory ...",
     "There is not enough memory to process the data. Allow a larger workspace and run it again."},
    {"Insufficient estimate memory ...",
     "There is not enough memory to estimate the model. Allow a larger workspace and run it again."},
    {"Insufficient output memory ...",
     "There is not enough memory to produce the output; the tables concerned are not shown."},
    {"Insufficient save memory ...", "There is not enough memory to compute the saved variables."},
    {"Unrecognized subcommand ^1 ...", "Unrecognized subcommand: ^1."},
    {"Empty subcommand ^1 ...", "The subcommand ^1 is empty and is ignored."},
    {"Last repeated subcommand used ^1 ...", "The subcommand ^1 is given more than once; only the last one is used."},
    {"A random subject not in repeated subject list ...",
     "Every RANDOM subject variable must also be a REPEATED subject variable."},
    {"Regression weight ^1 not numeric ...", "The regression weight variable ^1 is not numeric."},
    {"Regression weight not found ^1 ...", "The regression weight variable ^1 does not exist."},
    {"Invalid REGWGT ^1 ...", "Invalid REGWGT at ^1: name one numeric variable."},
    {"Invalid MISSING ^1 ...", "Invalid MISSING at ^1: use EXCLUDE or INCLUDE."},
    {"Invalid METHOD ^1 ...", "Invalid METHOD at ^1: use ML or REML."},
    {"More than one dependent variables ...", "Only one dependent variable may be named."},
    {"Incorrectly placed symbol ^1 ...", "The symbol ^1 is out of place."},
    {"Unrecognized keyword ^1 in CRITERIA ...", "Unrecognized keyword in CRITERIA: ^1."},
    {"Missing value in CRITERIA ^1 ...", "A value in parentheses is expected in CRITERIA at ^1."},
    {"CRITERIA CIN value ^1 invalid ...",
     "The CRITERIA CIN value ^1 is invalid: it must be at least 0 and less than 100."},
    {"CRITERIA LCONVERGE value ^1 invalid ...",
     "The CRITERIA LCONVERGE value ^1 is invalid: give one number that is not negative."},
    {"CRITERIA MXITER value ^1 invalid ...",
     "The CRITERIA MXITER value ^1 is invalid: it must be a whole number, 0 or more."},
    {"CRITERIA MXSTEP value ^1 invalid ...",
     "The CRITERIA MXSTEP value ^1 is invalid: it must be a whole number, 1 or more."},
    {"CRITERIA PCONVERGE value ^1 invalid ...",
     "The CRITERIA PCONVERGE value ^1 is invalid: give one number that is not negative."},
    {"CRITERIA SCORING value ^1 invalid ...",
     "The CRITERIA SCORING value ^1 is invalid: it must be a whole number, 0 or more."},
    {"CRITERIA SINGULAR value ^1 unvalid ...", "The CRITERIA SINGULAR value ^1 is invalid: it must be greater than 0."},
    {"CRITERIA LCONVERGE type ^1 invalid ...",
     "The CRITERIA LCONVERGE type ^1 is invalid: give ABSOLUTE or RELATIVE once."},
    {"CRITERIA PCONVERGE type ^1 invalid ...",
     "The CRITERIA PCONVERGE type ^1 is invalid: give ABSOLUTE or RELATIVE once."},
    {"Unrecognized keyword ^1 in PRINT ...", "Unrecognized keyword in PRINT: ^1."},
    {"Invalid HISTORY in PRINT ^1 ...",
     "Invalid HISTORY interval in PRINT at ^1: give a whole number of at least 1 in parentheses."},
    {"Unrecognized keyword ^1 in SAVE ...", "Unrecognized keyword in SAVE: ^1."},
    {"Missing name in SAVE ^1 ...", "A new variable name in parentheses is expected in SAVE at ^1."},
    {"Existing name in SAVE ^1 ...", "The SAVE name ^1 is already a variable of the data set."},
    {"Invalid name in SAVE ^1 ...", "The SAVE name ^1 is not a valid variable name."},
    {"Duplicated keyword SAVE ^1 ...", "The SAVE keyword ^1 is given more than once."},
    {"Name has been used in SAVE ^1 ...", "The SAVE name ^1 is given to more than one keyword."},
    {"Syntax error in effect ^1 ...", "Syntax error in an effect at ^1."},
    {"Unbalanced parentheses in effect ^1 ...", "Unbalanced parentheses in an effect at ^1."},
    {"Repeated factor in effect ^1 ...", "A factor occurs more than once in an effect at ^1."},
    {"Covariate after WITHIN in effect ^1 ...",
     "A covariate cannot follow WITHIN or a nesting parenthesis in an effect at ^1."},
    {"Missing SSTYPE value in FIXED ^1 ...", "Invalid SSTYPE value in FIXED at ^1: use SSTYPE(1) or SSTYPE(3)."},
    {"Unrecognized keyword ^1 in FIXED ...", "Unrecognized keyword in FIXED: ^1."},
    {"INTERCEPT and NOINT in FIXED ...",
     "INTERCEPT and NOINT are both given in FIXED; the model is fitted without an intercept."},
    {"Invalid RANDOM SUBJECT ^1 ...", "Invalid SUBJECT in RANDOM at ^1."},
    {"Invalid REPEATED SUBJECT ^1 ...", "Invalid SUBJECT in REPEATED at ^1."},
    {"Unrecognized RANDOM COVTYPE ^1 ...", "Unrecognized covariance type in RANDOM COVTYPE: ^1."},
    {"Unrecognized REPEATED COVTYPE ^1 ...", "Unrecognized covariance type in REPEATED COVTYPE: ^1."},
    {"Unrecognized RANDOM SUBCOV ^1 ...",
     "Unrecognized keyword in RANDOM: ^1. Only SUBJECT and COVTYPE may follow the vertical bar."},
    {"Unrecognized REPEATED SUBCOV ^1 ...",
     "Unrecognized keyword in REPEATED: ^1. Only SUBJECT and COVTYPE may follow the vertical bar."},
    {"No classification variables REPEATED ...", "REPEATED names no repeated-measures variables."},
    {"Invalid classification variables REPEATED ^1 ...", "Invalid repeated-measures variable in REPEATED: ^1."},
    {"No effects in RANDOM ...", "RANDOM names no effects."},
    {"Not positive denominator ^1 in fraction ...", "The denominator of a fraction must be positive: ^1."},
    {"No values in parenthesized value list in TEST ...", "The parenthesized list of test values in TEST is empty."},
    {"Invalid parenthesized value list ^1 in TEST ...", "Invalid parenthesized list of test values in TEST at ^1."},
    {"Empty label in TEST ...", "The label in TEST is empty."},
    {"No values found in TEST ^1 ...", "No coefficients are given in TEST at ^1."},
    {"Different number of values in TEST ...",
     "An effect is given different numbers of coefficients in different rows of TEST."},
    {"ALL was expected in TEST ^1 ...", "ALL was expected in TEST at ^1."},
    {"Invalid syntax in TEST ^1 ...", "Invalid syntax in TEST at ^1."},
    {"Effect ^1 in TEST not in FIXED ...", "The effect ^1 in TEST is not a FIXED effect."},
    {"Zero row in TEST ...", "A row of TEST has only zero coefficients."},
    {"N test row NE N optional value ...", "The number of test values differs from the number of rows in TEST."},
    {"TEST GT 1 value Intercept covariate ...",
     "In TEST the intercept and effects without factors take a single coefficient."},
    {"TEST ALL fixed no factors wrong N values ...",
     "TEST ALL: the number of fixed coefficients must equal the number of fixed effects."},
    {"TEST ALL random no factors wrong N values ...",
     "TEST ALL: the number of random coefficients must equal the number of random effects."},
    {"No cases remain in the analysis...", "No cases remain in the analysis."},
    {"Null model fitted ...",
     "The model has neither fixed nor random effects; only the residual variance is estimated."},
    {"DESCRIPTIVES too many dim exclude split ...",
     "Descriptive statistics are not shown: the table would have more than 20 dimensions."},
    {"DESCRIPTIVES too many dim include split ...",
     "Descriptive statistics are not shown: with the split variables the table would have more "
     "than 20 dimensions."},
    {"Unexpected end of scratch file ...", "Unexpected end of the case work file."},
    {"Effect ^1 in TEST not in RANDOM ...", "The effect ^1 in TEST is not a RANDOM effect."},
    {"Repeated BY in variable list ...", "BY is given more than once in the variable list."},
    {"Repeated WITH in variable list ...", "WITH is given more than once in the variable list."},
    {"No SUBJECT in REPEATED ...", "REPEATED requires SUBJECT."},
    {"TEST ALL fixed factors wrong N values ...", "TEST ALL: there are fewer fixed coefficients than fixed effects."},
    {"TEST ALL random factors wrong N values ...",
     "TEST ALL: there are fewer random coefficients than random effects."},
    {"TEST empty specification ...", "TEST has nothing to test."},
    {"CRITERIA HCONVERGE value ^1 invalid ...",
     "The CRITERIA HCONVERGE value ^1 is invalid: give one number that is not negative."},
    {"CRITERIA HCONVERGE type ^1 invalid ...",
     "The CRITERIA HCONVERGE type ^1 is invalid: give ABSOLUTE or RELATIVE once."},
    {"COVTYPE changed for effect with 1 level ...",
     "A random effect with a single level has its covariance type changed to Identity."},
    {"Incomplete parenthesized value list ^1 in TEST ...",
     "Incomplete parenthesized list of test values in TEST at ^1."},
    {"TESTCOV specified but not SOLUTION ...", "PRINT TESTCOV is given without SOLUTION."},
    {"Cannot create new variable name ...", "No name can be found for a new variable."},
    {"SAVE FIXPRED ignored ...", "SAVE FIXPRED is ignored: the model has no fixed effects."},
    {"SAVE PRED ignored ...", "SAVE PRED is ignored: the model has neither fixed nor random effects."},
    {"SAVE RESID ignored ...", "SAVE RESID is ignored: the model has neither fixed nor random effects."},
    {"Unrecognized symbol in EMMEANS ^1 ...", "Unrecognized keyword in EMMEANS: ^1."},
    {"Left parenthesis not found in EMMEANS ^1 ...", "A left parenthesis is expected in EMMEANS at ^1."},
    {"No right parenthesis in EMMEANS ^1 ...", "A right parenthesis is expected in EMMEANS at ^1."},
    {"EMMEAN TABLES not allowed without factors ...", "EMMEANS TABLES requires factors in the model."},
    {"BY in wrong place in EMMEANS ^1 ...", "BY or * is out of place in EMMEANS at ^1."},
    {"BY not found in EMMEANS ^1 ...", "BY or * is expected in EMMEANS at ^1."},
    {"Premature end in EMMEANS ...", "The EMMEANS subcommand ends too early."},
    {"Repeated factor ^1 in EMMEANS ...", "The factor ^1 is named more than once in EMMEANS."},
    {"Unrecognized factor ^1 in EMMEANS ...", "Unrecognized factor in EMMEANS: ^1."},
    {"EMMEAN WITH not allowed without covariates ...", "EMMEANS WITH requires covariates in the model."},
    {"EMMEAN WITH unrecognized symbol ^1 ...", "Unrecognized covariate in EMMEANS WITH: ^1."},
    {"EMMEAN WITH invalid specification ^1 ...", "Invalid value in EMMEANS WITH at ^1: give a number or MEAN."},
    {"EMMEAN WITH contradict covariate spec ...", "A covariate is given contradictory values in EMMEANS WITH."},
    {"No factor for COMPARE in EMMEANS ^1 ...", "COMPARE in EMMEANS must name a factor of the model: ^1."},
    {"EMMEAN ADJ unrecognized symbol ^1 ...",
     "Unrecognized adjustment in EMMEANS ADJ: ^1. Use LSD, BONFERRONI or SIDAK."},
    {"Invalid COMPARE in EMMEANS ...", "COMPARE in EMMEANS requires TABLES with factors."},
    {"EMMEAN COMPARE not TABLES factor ...", "The COMPARE factor in EMMEANS must be one of the TABLES factors."},
    {"EMMEAN COMPARE cannot be omitted ...", "COMPARE must name a factor when TABLES has more than one factor."},
    {"EMMEAN ADJ ignored without COMPARE ...", "ADJ is ignored in EMMEANS without COMPARE."},
    {"Redundant EMMEANS ...", "This EMMEANS subcommand is redundant."},
    {"Insufficient emmeans memory ...", "There is not enough memory for the estimated marginal means."},
    {"EMMEAN REFCAT unrecognized symbol ^1 ...", "Unrecognized REFCAT value in EMMEANS: ^1."},
    {"EMMEAN REFCAT ignored without COMPARE ...", "REFCAT is ignored in EMMEANS without COMPARE."},
    {"EMMEAN REFCAT is numeric but COMPARE factor is not ...",
     "REFCAT is a number but the COMPARE factor is a string variable."},
    {"EMMEAN REFCAT is string but COMPARE factor is not ...",
     "REFCAT is a string that is not a value of the numeric COMPARE factor."},
    {"DIVISOR keyword must be specified at the end ...", "DIVISOR must come at the end of a row of TEST."},
    {"DIVISOR must not be zero ...", "DIVISOR must not be zero."},
    {"Unrecognized keyword ^1 in OUTFILE ...", "Unrecognized keyword in OUTFILE: ^1. Use FXMODEL or FXPARAMETER."},
    {"Missing filename in OUTFILE ^1 ...", "A file name in parentheses is expected in OUTFILE at ^1."},
    {"Model filename has length 0...", "The model file name is empty."},
    {"Filename too long ^1 ^2 ...", "The file name is longer than ^1 characters: ^2."},
    {"OUTFILE cannot be asterisk ...", "OUTFILE needs a file name; an asterisk cannot be used."},

    // Split-aware warnings, plain and split variants.
    {"Duplicate repeated measure ...", "A level of the REPEATED variables occurs more than once within a subject."},
    {"Duplicate rep. meas. split [%1=%2:,^1=^2:]1 ...",
     "Split [%1=%2:,^1=^2:]1: a level of the REPEATED variables occurs more than once within a "
     "subject."},
    {"Fractional case weight ...", "Some case weights are not whole numbers; they are rounded to whole numbers."},
    {"Fractional case weight split [%1=%2:,^1=^2:]1 ...",
     "Split [%1=%2:,^1=^2:]1: some case weights are not whole numbers; they are rounded to whole "
     "numbers."},
    {"No valid cases ...", "There are no valid cases; nothing is analysed."},
    {"No valid cases in split [%1=%2:,^1=^2:]1 ...", "Split [%1=%2:,^1=^2:]1 has no valid cases and is not analysed."},
    {"Eigenvalue failed ...", "The eigenvalue decomposition failed; some statistics are not computed."},
    {"Eigenvalue failed in split [%1=%2:,^1=^2:]1 ...",
     "Split [%1=%2:,^1=^2:]1: the eigenvalue decomposition failed; some statistics are not "
     "computed."},
    {"Model validity is uncertain ...",
     "The iterations stopped before all convergence criteria were met. The results are those of "
     "the last iteration; the validity of the model fit is uncertain."},
    {"Model validity is uncertain in split [%1=%2:,^1=^2:]1 ...",
     "Split [%1=%2:,^1=^2:]1: the iterations stopped before all convergence criteria were met. "
     "The results are those of the last iteration; the validity of the model fit is uncertain."},
    {"Converged singular Hessian ...",
     "The convergence criteria are met, but the Hessian matrix is singular; the validity of the "
     "model fit is uncertain."},
    {"Converged singular Hessian in split [%1=%2:,^1=^2:]1 ...",
     "Split [%1=%2:,^1=^2:]1: the convergence criteria are met, but the Hessian matrix is "
     "singular; the validity of the model fit is uncertain."},
    {"Converged during scoring ...",
     "The convergence criteria were met during the Fisher scoring iterations; Newton-Raphson "
     "iterations followed."},
    {"Converged during scoring in split [%1=%2:,^1=^2:]1 ...",
     "Split [%1=%2:,^1=^2:]1: the convergence criteria were met during the Fisher scoring "
     "iterations; Newton-Raphson iterations followed."},
    {"N less than no. of parameter ...",
     "The number of observations is not larger than the number of parameters; the model is not "
     "fitted."},
    {"N less than no. of parameter [%1=%2:,^1=^2:]1 ...",
     "Split [%1=%2:,^1=^2:]1: the number of observations is not larger than the number of "
     "parameters; the model is not fitted."},
    {"Perfect fit ...", "The model fits the data perfectly: the residual sum of squares is 0."},
    {"Perfect fit [%1=%2:,^1=^2:]1 ...",
     "Split [%1=%2:,^1=^2:]1: the model fits the data perfectly: the residual sum of squares is "
     "0."},
    {"Case weight > 1 with REPEATED",
     "Case weights greater than 1 cannot be used with REPEATED; the data are not analysed."},
    {"Case weight > 1 with REPEATED [%1=%2:,^1=^2:]1 ...",
     "Split [%1=%2:,^1=^2:]1: case weights greater than 1 cannot be used with REPEATED; the "
     "split group is not analysed."},

    // Messages built outside the catalogues.
    {"Same dependent and factor [:^1:]1 ...", "The dependent variable is also a factor: [:^1:]1."},
    {"Same dependent and covariate [:^1:]1 ...", "The dependent variable is also a covariate: [:^1:]1."},
    {"Same factor and covariate [%1:, ^1:]1 ...", "Variables named both as factors and as covariates: [%1:, ^1:]1."},
    {"Duplicated dependent [%1:, ^1:]1 ...",
     "The dependent variable is named more than once: [%1:, ^1:]1. It is used once."},
    {"Duplicated factor [%1:, ^1:]1 ...", "Factors named more than once: [%1:, ^1:]1. Each is used once."},
    {"Duplicated covariate [%1:, ^1:]1 ...", "Covariates named more than once: [%1:, ^1:]1. Each is used once."},
    {"non-numeric name dependent variable ^1 ...", "The dependent variable ^1 is not numeric."},
    {"non-numeric names covariate list [%1:, ^1:]1 ...", "Covariates must be numeric variables: [%1:, ^1:]1."},
    {"Duplicated FIXED effect [:^1:]1 ...", "The effect [:^1:]1 is named more than once in FIXED."},
    {"Func same FIXED effect [:^1:]1 [:^1:]2 ...", "The FIXED effects [:^1:]1 and [:^1:]2 are functionally the same."},
    {"Duplicated RANDOM effect [:^1:]1 ...",
     "The effect [:^1:]1 is named more than once in RANDOM with the same subjects."},
    {"Func same RANDOM effect [:^1:]1 [:^1:]2 ...",
     "The RANDOM effects [:^1:]1 and [:^1:]2 are functionally the same."},
    {"Same ran sub and dependent [:^1:]1 ...", "The dependent variable [:^1:]1 is also a RANDOM subject variable."},
    {"Same rep var and dependent [:^1:]1 ...", "The dependent variable [:^1:]1 is also a REPEATED variable."},
    {"Same rep sub and dependent [:^1:]1 ...", "The dependent variable [:^1:]1 is also a REPEATED subject variable."},
    {"Same rep sub and rep var [%1:, ^1:]1 ...",
     "Variables named both as REPEATED variables and as REPEATED subject variables: [%1:, ^1:]1."},
    {"Same ran sub and rep var [%1:, ^1:]1 ...",
     "Variables named both as RANDOM subject variables and as REPEATED variables: [%1:, ^1:]1."},
    {"Invalid file specification ^1 ...", "Invalid file specification: ^1."},
    {"Cannot write the model file ^1: ^2 ...", "The model file ^1 cannot be written: ^2."},
    {"Cat var same as split var [%1:, ^1:]1 ...",
     "Classification variables that are also split variables: [%1:, ^1:]1."},
    {"Too many fixed col ^1 ^2 ...", "The fixed effects have ^1 potential design columns, more than the limit of ^2."},
    {"Too many fixed col split [%1=%2:,^1=^2:]1 ^2 ^3 ...",
     "Split [%1=%2:,^1=^2:]1: the fixed effects have ^2 potential design columns, more than the "
     "limit of ^3."},
    {"Too many random col ^1 ^2 ...",
     "The random effects have ^1 potential design columns, more than the limit of ^2."},
    {"Too many random col split [%1=%2:,^1=^2:]1 ^2 ^3 ...",
     "Split [%1=%2:,^1=^2:]1: the random effects have ^2 potential design columns, more than the "
     "limit of ^3."},
    {"Duplicated TEST fixed effect [:^1:]1 ...",
     "The fixed effect [:^1:]1 is named more than once in a row of TEST; the test is dropped."},
    {"Duplicated TEST random effect [:^1:]1 ...",
     "The random effect [:^1:]1 is named more than once in a row of TEST; the test is dropped."},
    {"Test [:^1:]1 eff [:^1:]2 N wrong ...",
     "Test [:^1:]1: the number of coefficients of the effect [:^1:]2 differs from its number of "
     "levels; the test is skipped."},
    {"Split [%1=%2:,^1=^2:]1 test [:^1:]2 eff [:^1:]3 N wrong ...",
     "Split [%1=%2:,^1=^2:]1, test [:^1:]2: the number of coefficients of the effect [:^1:]3 "
     "differs from its number of levels; the test is skipped."},
    {"Test [:^1:]1 ALL fixed N wrong ...",
     "Test [:^1:]1: the number of fixed coefficients after ALL differs from the number of fixed "
     "parameters; the test is skipped."},
    {"Test [:^1:]1 ALL random N wrong ...",
     "Test [:^1:]1: the number of random coefficients after ALL differs from the number of random "
     "parameters; the test is skipped."},
    {"Split [%1=%2:,^1=^2:]1 test [:^1:]2 ALL fixed N wrong ...",
     "Split [%1=%2:,^1=^2:]1, test [:^1:]2: the number of fixed coefficients after ALL differs "
     "from the number of fixed parameters; the test is skipped."},
    {"Split [%1=%2:,^1=^2:]1 test [:^1:]2 ALL random N wrong ...",
     "Split [%1=%2:,^1=^2:]1, test [:^1:]2: the number of random coefficients after ALL differs "
     "from the number of random parameters; the test is skipped."},
    {"Test [:^1:]1 Not estimable ...", "Test [:^1:]1: the contrast is not estimable."},
    {"Split [%1=%2:,^1=^2:]1 test [:^1:]2 Not estimable...",
     "Split [%1=%2:,^1=^2:]1, test [:^1:]2: the contrast is not estimable."},
    {"EMMEANS ^1 REFCAT invalid ...",
     "EMMEANS ^1: REFCAT is not a level of the COMPARE factor; the subcommand is skipped."},
    {"EMMEANS ^1 REFCAT invalid, split [%1 = %2:, ^1 = ^2:]2",
     "EMMEANS ^1, split [%1 = %2:, ^1 = ^2:]2: REFCAT is not a level of the COMPARE factor; the "
     "subcommand is skipped."},
    {"Too many cells in emmean ^1",
     "EMMEANS ^1: there are too many level combinations to average over; the subcommand is "
     "skipped."},
    {"Too many cells in emmean ^1 split [%1 = %2:, ^1 = ^2:]2",
     "EMMEANS ^1, split [%1 = %2:, ^1 = ^2:]2: there are too many level combinations to average "
     "over; the subcommand is skipped."},

    // Texts of the program around the procedure.
    {"Procedure interrupted by the user ...", "The procedure was interrupted by the user; the output so far is kept."},
    {"Command file line ^1: ^2", "Command file, line ^1: ^2"},
    {"The command file holds no command ...", "The command file holds no command."},
    {"Unrecognized command ^1 at line ^2 ...", "Unrecognized command ^1 at line ^2: only MIXED commands can be run."},
    {"Undefined variable ^1 ...", "The variable ^1 does not exist in the data set."},

    // Notes.
    {"MISSING is INCLUDE ...", "User-missing values are treated as valid."},
    {"MISSING is EXCLUDE ...", "User-missing values are treated as missing."},
    {"Cases used ...", "Statistics are based on all cases with valid data for all variables in the model."},

    // Case processing summary and descriptive statistics.
    {"N Cases", "Number of Cases"},
    {"Replication frequency ^1 ...", "Cases are weighted by the replication frequency ^1."},
    {"Desc too many cells ^1 ...", "The table has more than ^1 cells and is not shown."},
    {"Desc split [%1=%2:,^1=^2:]1 too many cells ^2 ...",
     "Split [%1=%2:,^1=^2:]1: the table has more than ^2 cells and is not shown."},
    {"Regression weight ^1 applied to dependent ^2 ...",
     "The regression weight ^1 is applied to the dependent variable ^2 only."},
    {"Redundant totals are omitted ...", "Totals identical to one of their cells are omitted."},

    // Covariance structures and their parameters.
    {"VC is replaced by DIAG since TAVO11.5 ...", "The covariance type VC on REPEATED is replaced by DIAG (Diagonal)."},
    {"First-Order Factor Analytic, Const Diag", "First-Order Factor Analytic, Constant Diagonal"},
    {"First-Order Factor Analytic, Heter Diag", "First-Order Factor Analytic, Heterogeneous Diagonal"},
    {"[:^1:]1 subject [%1:*^1:]2", "[:^1:]1 \\[subject = [%1:*^1:]2\\]"},
    {"Covpar Estimate", "Estimate"},
    {"Covpar Standard Error", "Std. Error"},
    {"Covpar Wald Statistic", "Wald Z"},
    {"Covpar Wald Significance", "Sig."},
    {"Covpar out of range", "This estimate lies outside the admissible range of its parameter."},
    {"Redundant Covpar", "This covariance parameter is redundant."},
    {"Redundant Covpar, no testcov",
     "This covariance parameter is redundant. The test statistic and the confidence interval "
     "cannot be computed."},
    {"^1 Confidence Interval", "^1% Confidence Interval"},
    {"Parameter2", "Parameter"},
    {"Covpar 0 variance no correlation ...",
     "The variance of this estimate is zero; its correlations cannot be computed."},
    {"Random Effect Covariance Matrices ...", "Random Effect Covariance Matrices"},
    {"Random Effect Covariance Matrix ...", "Random Effect Covariance Matrix (G)"},
    {"R Matrix", "Residual Covariance Matrix (R)"},

    // Iteration history and estimation status.
    {"Solution converged", "All convergence criteria are satisfied."},
    {"Max iteration reached", "The maximum number of iterations is reached before convergence."},
    {"Max step-halving reached",
     "The maximum number of step-halvings is reached without improving the log likelihood."},
    {"Max step-halving reached, G problem",
     "The maximum number of step-halvings is reached; the problem lies in the random-effect "
     "covariance matrix (G)."},
    {"Max step-halving reached, R problem",
     "The maximum number of step-halvings is reached; the problem lies in the residual "
     "covariance matrix (R)."},
    {"Solution converged, Hess singular",
     "All convergence criteria are satisfied, but the Hessian matrix is singular."},
    {"Max iteration reached, Hess singular",
     "The maximum number of iterations is reached; the Hessian matrix is singular."},
    {"Max step-halving reached, Hess singular",
     "The maximum number of step-halvings is reached; the Hessian matrix is singular."},
    {"Converge during scoring", "The convergence criteria are met during Fisher scoring."},
    {"Perfect fit", "The model fits the data perfectly."},
    {"Closed form solution", "The solution is found in closed form; no iterations are needed."},
    {"Newton", "Newton-Raphson"},
    {"N step-halving", "Number of Step-halvings"},
    {"Redundant parameters not displayed ...", "Redundant parameters are not displayed."},

    // Model and fixed-effect tables.
    {"Dep variable is ^1", "Dependent Variable: ^1."},
    {"Reg weight is ^1", "Regression Weight: ^1."},
    {"N Levels", "Number of Levels"},
    {"N Parameters", "Number of Parameters"},
    {"N Subjects", "Number of Subjects"},
    {"RANDOM syntax changed in TAVO 11.5 ...",
     "The rules of RANDOM have changed: the effects of one RANDOM subcommand with a covariance "
     "type other than VC share one covariance matrix. Results may differ from those of earlier "
     "versions."},
    {"Smaller is better ...", "The information criteria are shown in smaller-is-better form."},
    {"Akaike IC", "Akaike's Information Criterion (AIC)"},
    {"Hurvich Tsai IC", "Hurvich and Tsai's Criterion (AICC)"},
    {"Bozdogan IC", "Bozdogan's Criterion (CAIC)"},
    {"Bayesian IC", "Schwarz's Bayesian Criterion (BIC)"},
    {"Numerator DF", "Numerator df"},
    {"Denominator DF", "Denominator df"},
    {"F Value", "F"},
    {"Significance", "Sig."},
    {"Fixed Parameter Estimates", "Estimates of Fixed Effects"},
    {"B0", "Estimate"},
    {"Standard Error", "Std. Error"},
    {"Degrees of Freedom", "df"},
    {"t Statistic", "t"},
    {"Redundant parameter ...", "This parameter is set to zero because it is redundant."},
    {"Fixed Correlation Matrix", "Correlation Matrix for Estimates of Fixed Effects"},
    {"Fixed Covariance Matrix", "Covariance Matrix for Estimates of Fixed Effects"},
    {"Redundant correlation ...", "This correlation is not computed because one of its parameters is redundant."},
    {"Redundant covariance ...", "This covariance is set to zero because one of its parameters is redundant."},
    {"Zero degrees of freedom ...", "The hypothesis has zero degrees of freedom; no contrast is shown."},
    {"L matrix not estimable ...", "The contrast coefficients (L matrix) are not estimable."},

    // Custom hypothesis tests.
    {"^1 Confidence Interval of Difference", "^1% Confidence Interval of the Difference"},
    {"Contrast minus Tests", "Difference (Estimate - Test Value)"},

    // Estimated marginal means and pairwise comparisons.
    {"Evaluated at [%1 = %2:, ^1 = ^2:]1", "Covariates in the model are evaluated at: [%1 = %2:, ^1 = ^2:]1."},
    {"Means modified ...", "This mean averages only the observed level combinations of the factors outside the table."},
    {"Means nonestimable ...", "This mean is not estimable."},
    {"Subject level unobserved ...", "No level combination of this cell was observed; its mean cannot be computed."},
    {"Unobserved factor level not shown ...", "Cells whose level combinations were never observed are not shown."},
    {"Based on estimated marginal means", "Based on estimated marginal means."},
    {"EMMEAN LSD ...", "Adjustment for multiple comparisons: least significant difference (no adjustment)."},
    {"EMMEAN Bonferroni ...", "Adjustment for multiple comparisons: Bonferroni."},
    {"EMMEAN Sidak ...", "Adjustment for multiple comparisons: Sidak."},
    {"Mean (I) not exist ...", "The mean of level (I) does not exist: none of its cells was observed."},
    {"Mean (J) not exist ...", "The mean of level (J) does not exist: none of its cells was observed."},
    {"Means (I) modified ...", "The mean of level (I) averages only its observed level combinations."},
    {"Means (J) modified ...", "The mean of level (J) averages only its observed level combinations."},
    {"Means (I) nonestim ...", "The mean of level (I) is not estimable."},
    {"Means (J) nonestim ...", "The mean of level (J) is not estimable."},
    {"Means (IJ) nonestim but ...", "The means of levels (I) and (J) are not estimable, but their difference is."},
    {"Comparison nonestimable ...", "This comparison is not estimable."},
    {"Empty comparison table on ^1 ...", "No pairwise comparison of ^1 can be shown."},
    {"Emmeans UNV annotation 1 for ^1 ...",
     "The F tests the effect of ^1. It is based on the linearly independent pairwise "
     "comparisons among the estimated marginal means."},
    {"Emmeans UNV annotation 2 for ^1 ...",
     "The F tests the effect of ^1. It is based on the linearly independent pairwise "
     "comparisons among the estimable marginal means."},
    {"Emmeans UNV annotation 3 for ^1 ...",
     "Each F tests the simple effects of ^1 within each level combination of the other effects "
     "shown. These tests are based on the linearly independent pairwise comparisons among the "
     "estimated marginal means."},
    {"Emmeans UNV annotation 4 for ^1 ...",
     "Each F tests the simple effects of ^1 within each level combination of the other effects "
     "shown. These tests are based on the linearly independent pairwise comparisons among the "
     "estimable marginal means."},
};

// The engine's numbered texts.
constexpr std::pair<int, const char*> kNumbered[] = {
    {15901, "Intercept"},
    {15902, "Residuals"},
    {15903, "Predicted Values"},
    {15904, "Fixed Predicted Values"},
    {15905, "Standard Errors of Fixed Predicted Values"},
    {15906, "Standard Errors of Predicted Values"},
    {15907, "Degrees of Freedom of Fixed Predicted Values"},
    {15908, "Degrees of Freedom of Predicted Values"},
};

Catalogue make_english() {
  Catalogue c;
  for (const Entry& e : kEnglish) c.add(e.key, e.display);
  for (const auto& [number, text] : kNumbered) c.add_numbered(number, text);
  return c;
}

}  // namespace

const Catalogue& Catalogue::english() {
  static const Catalogue catalogue = make_english();
  return catalogue;
}

std::string_view Catalogue::lookup(std::string_view key) const {
  auto it = texts_.find(std::string(key));
  return it == texts_.end() ? key : std::string_view(it->second);
}

bool Catalogue::contains(std::string_view key) const { return texts_.count(std::string(key)) > 0; }

std::optional<std::string> Catalogue::numbered(int number) const {
  auto it = numbered_.find(number);
  if (it == numbered_.end()) return std::nullopt;
  return it->second;
}

void Catalogue::add(std::string key, std::string display) { texts_[std::move(key)] = std::move(display); }

void Catalogue::add_numbered(int number, std::string text) { numbered_[number] = std::move(text); }

}  // namespace mixed::host
