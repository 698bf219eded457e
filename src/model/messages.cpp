#include "model/messages.h"

#include <algorithm>
#include <array>

#include "host/engine.h"

namespace mixed::model {

namespace {

struct Entry {
  int number;
  const char* text;
};

// The numbered messages, texts exactly as the catalogue holds them.
constexpr Entry kMessages[] = {
    {1, "Insufficient parse memory ..."},
    {2, "Insufficient data memory ..."},
    {3, "Insufficient estimate memory ..."},
    {4, "Insufficient output memory ..."},
    {5, "Insufficient save memory ..."},
    {6, "Unrecognized subcommand ^1 ..."},
    {7, "Empty subcommand ^1 ..."},
    {8, "Last repeated subcommand used ^1 ..."},
    {9, "A random subject not in repeated subject list ..."},
    {10, "Regression weight ^1 not numeric ..."},
    {11, "Regression weight not found ^1 ..."},
    {12, "Invalid REGWGT ^1 ..."},
    {13, "Invalid MISSING ^1 ..."},
    {14, "Invalid METHOD ^1 ..."},
    {15, "More than one dependent variables ..."},
    {16, "Incorrectly placed symbol ^1 ..."},
    {17, "Unrecognized keyword ^1 in CRITERIA ..."},
    {18, "Missing value in CRITERIA ^1 ..."},
    {19, "CRITERIA CIN value ^1 invalid ..."},
    {20, "CRITERIA LCONVERGE value ^1 invalid ..."},
    {21, "CRITERIA MXITER value ^1 invalid ..."},
    {22, "CRITERIA MXSTEP value ^1 invalid ..."},
    {23, "CRITERIA PCONVERGE value ^1 invalid ..."},
    {24, "CRITERIA SCORING value ^1 invalid ..."},
    {25, "CRITERIA SINGULAR value ^1 unvalid ..."},
    {26, "CRITERIA LCONVERGE type ^1 invalid ..."},
    {27, "CRITERIA PCONVERGE type ^1 invalid ..."},
    {28, "Unrecognized keyword ^1 in PRINT ..."},
    {29, "Invalid HISTORY in PRINT ^1 ..."},
    {30, "Unrecognized keyword ^1 in SAVE ..."},
    {31, "Missing name in SAVE ^1 ..."},
    {32, "Existing name in SAVE ^1 ..."},
    {33, "Invalid name in SAVE ^1 ..."},
    {34, "Duplicated keyword SAVE ^1 ..."},
    {35, "Name has been used in SAVE ^1 ..."},
    {36, "Syntax error in effect ^1 ..."},
    {37, "Unbalanced parentheses in effect ^1 ..."},
    {38, "Repeated factor in effect ^1 ..."},
    {39, "Covariate after WITHIN in effect ^1 ..."},
    {40, "Missing SSTYPE value in FIXED ^1 ..."},
    {41, "Unrecognized keyword ^1 in FIXED ..."},
    {42, "INTERCEPT and NOINT in FIXED ..."},
    {43, "Invalid RANDOM SUBJECT ^1 ..."},
    {44, "Invalid REPEATED SUBJECT ^1 ..."},
    {45, "Unrecognized RANDOM COVTYPE ^1 ..."},
    {46, "Unrecognized REPEATED COVTYPE ^1 ..."},
    {47, "Unrecognized RANDOM SUBCOV ^1 ..."},
    {48, "Unrecognized REPEATED SUBCOV ^1 ..."},
    {49, "No classification variables REPEATED ..."},
    {50, "Invalid classification variables REPEATED ^1 ..."},
    {51, "No effects in RANDOM ..."},
    {52, "Not positive denominator ^1 in fraction ..."},
    {53, "No values in parenthesized value list in TEST ..."},
    {54, "Invalid parenthesized value list ^1 in TEST ..."},
    {55, "Empty label in TEST ..."},
    {56, "No values found in TEST ^1 ..."},
    {57, "Different number of values in TEST ..."},
    {58, "ALL was expected in TEST ^1 ..."},
    {59, "Invalid syntax in TEST ^1 ..."},
    {60, "Effect ^1 in TEST not in FIXED ..."},
    {61, "Zero row in TEST ..."},
    {62, "N test row NE N optional value ..."},
    {63, "TEST GT 1 value Intercept covariate ..."},
    {64, "TEST ALL fixed no factors wrong N values ..."},
    {65, "TEST ALL random no factors wrong N values ..."},
    {66, "No cases remain in the analysis..."},
    {67, "Null model fitted ..."},
    {68, "DESCRIPTIVES too many dim exclude split ..."},
    {69, "DESCRIPTIVES too many dim include split ..."},
    {70, "Unexpected end of scratch file ..."},
    {71, "Effect ^1 in TEST not in RANDOM ..."},
    {72, "Repeated BY in variable list ..."},
    {73, "Repeated WITH in variable list ..."},
    {74, "No SUBJECT in REPEATED ..."},
    {75, "TEST ALL fixed factors wrong N values ..."},
    {76, "TEST ALL random factors wrong N values ..."},
    {77, "TEST empty specification ..."},
    {78, "CRITERIA HCONVERGE value ^1 invalid ..."},
    {79, "CRITERIA HCONVERGE type ^1 invalid ..."},
    {80, "COVTYPE changed for effect with 1 level ..."},
    {81, "Incomplete parenthesized value list ^1 in TEST ..."},
    {82, "TESTCOV specified but not SOLUTION ..."},
    {83, "Cannot create new variable name ..."},
    {84, "SAVE FIXPRED ignored ..."},
    {85, "SAVE PRED ignored ..."},
    {86, "SAVE RESID ignored ..."},
    {87, "Unrecognized symbol in EMMEANS ^1 ..."},
    {88, "Left parenthesis not found in EMMEANS ^1 ..."},
    {89, "No right parenthesis in EMMEANS ^1 ..."},
    {90, "EMMEAN TABLES not allowed without factors ..."},
    {91, "BY in wrong place in EMMEANS ^1 ..."},
    {92, "BY not found in EMMEANS ^1 ..."},
    {93, "Premature end in EMMEANS ..."},
    {94, "Repeated factor ^1 in EMMEANS ..."},
    {95, "Unrecognized factor ^1 in EMMEANS ..."},
    {96, "EMMEAN WITH not allowed without covariates ..."},
    {97, "EMMEAN WITH unrecognized symbol ^1 ..."},
    {98, "EMMEAN WITH invalid specification ^1 ..."},
    {99, "EMMEAN WITH contradict covariate spec ..."},
    {100, "No factor for COMPARE in EMMEANS ^1 ..."},
    {101, "EMMEAN ADJ unrecognized symbol ^1 ..."},
    {102, "Invalid COMPARE in EMMEANS ..."},
    {103, "EMMEAN COMPARE not TABLES factor ..."},
    {104, "EMMEAN COMPARE cannot be omitted ..."},
    {105, "EMMEAN ADJ ignored without COMPARE ..."},
    {106, "Redundant EMMEANS ..."},
    {107, "Insufficient emmeans memory ..."},
    {108, "EMMEAN REFCAT unrecognized symbol ^1 ..."},
    {109, "EMMEAN REFCAT ignored without COMPARE ..."},
    {110, "EMMEAN REFCAT is numeric but COMPARE factor is not ..."},
    {111, "EMMEAN REFCAT is string but COMPARE factor is not ..."},
    {112, "DIVISOR keyword must be specified at the end ..."},
    {113, "DIVISOR must not be zero ..."},
    {114, "Unrecognized keyword ^1 in OUTFILE ..."},
    {115, "Missing filename in OUTFILE ^1 ..."},
    {116, "Model filename has length 0..."},
    {117, "Filename too long ^1 ^2 ..."},
    {118, "OUTFILE cannot be asterisk ..."},
};

struct SplitEntry {
  int number;
  const char* plain;
  const char* split;
};

constexpr SplitEntry kSplitWarnings[] = {
    {1000, "Duplicate repeated measure ...", "Duplicate rep. meas. split [%1=%2:,^1=^2:]1 ..."},
    {1001, "Fractional case weight ...", "Fractional case weight split [%1=%2:,^1=^2:]1 ..."},
    {1002, "No valid cases ...", "No valid cases in split [%1=%2:,^1=^2:]1 ..."},
    {1003, "Eigenvalue failed ...", "Eigenvalue failed in split [%1=%2:,^1=^2:]1 ..."},
    {1004, "Model validity is uncertain ...", "Model validity is uncertain in split [%1=%2:,^1=^2:]1 ..."},
    {1005, "Converged singular Hessian ...", "Converged singular Hessian in split [%1=%2:,^1=^2:]1 ..."},
    {1006, "Converged during scoring ...", "Converged during scoring in split [%1=%2:,^1=^2:]1 ..."},
    {1007, "N less than no. of parameter ...", "N less than no. of parameter [%1=%2:,^1=^2:]1 ..."},
    {1008, "Perfect fit ...", "Perfect fit [%1=%2:,^1=^2:]1 ..."},
    {1009, "Case weight > 1 with REPEATED", "Case weight > 1 with REPEATED [%1=%2:,^1=^2:]1 ..."},
};

bool has_placeholder(std::string_view t, char digit) {
  for (std::size_t i = 0; i + 1 < t.size(); ++i)
    if (t[i] == '^' && t[i + 1] == digit) return true;
  return false;
}

}  // namespace

std::string_view message_text(Msg message) {
  const int number = static_cast<int>(message);
  for (const Entry& e : kMessages)
    if (e.number == number) return e.text;
  return {};
}

std::string_view split_warning_text(Msg warning, bool split) {
  const int number = static_cast<int>(warning);
  for (const SplitEntry& e : kSplitWarnings)
    if (e.number == number) return split ? e.split : e.plain;
  return {};
}

void issue_message(host::Output& out, Msg message, int msg_class, host::Severity severity, std::string_view token) {
  std::string_view text = message_text(message);
  if (text.empty()) return;
  host::Text t = host::Text::key(text);
  if (message == Msg::FilenameTooLong) {
    t.arg(host::Text::integer(255)).arg(host::Text::raw(token));
  } else if (has_placeholder(text, '1')) {
    t.arg(host::Text::raw(token));
  }
  out.message(severity, static_cast<int>(message), std::move(t), msg_class);
}

void issue_split_warning(host::Output& out, Msg warning, int msg_class, host::Severity severity) {
  const bool split = !out.split().empty();
  std::string_view text = split_warning_text(warning, split);
  if (text.empty()) return;
  host::Text t = host::Text::key(text);
  if (split) t.list(out.split_list());
  out.message(severity, static_cast<int>(warning), std::move(t), msg_class);
}

void issue(host::Output& out, host::Severity severity, host::Text text, int msg_class) {
  out.message(severity, std::nullopt, std::move(text), msg_class);
}

bool stop_if_interrupted(host::Output& out) {
  if (!host::interrupted()) return false;
  if (!out.error_flag())
    out.message(host::Severity::Error, std::nullopt, host::Text::key("Procedure interrupted by the user ..."),
                kOtherClass);
  return true;
}

bool check_invariant(host::Output& out, bool condition, std::string_view function, std::string_view text) {
  if (condition) return true;
  host::Text t = host::Text::key("Internal error in ^1: ^2 ...");
  t.arg(host::Text::raw(function)).arg(host::Text::raw(text));
  out.message(host::Severity::Error, std::nullopt, std::move(t), kOtherClass);
  return false;
}

std::vector<host::TextGroup> one_per_group(const std::vector<host::Text>& items) {
  std::vector<host::TextGroup> groups;
  groups.reserve(items.size());
  for (const host::Text& t : items) groups.push_back({t});
  return groups;
}

}  // namespace mixed::model
