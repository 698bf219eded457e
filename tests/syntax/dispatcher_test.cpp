// The command reader: the subcommand loop (abbreviations, empty and repeated
// subcommands, the stop at the first error), CRITERIA, METHOD, MISSING, PRINT,
// REGWGT and OUTFILE with their messages, and the settings derived once the
// command has been read.
#include "syntax/dispatcher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <string>

#include "syntax/parse_fixture.h"

namespace mixed::parse_fixture {
namespace {

TEST(Dispatcher, SubcommandLoop) {
  expect_error("y /FOO = 1", 6, "Unrecognized subcommand FOO ...");
  expect_error("y /ME = ML", 6, "Unrecognized subcommand ME ...");
  expect_error("y /METHOD = ML //PRINT = G", 6, "Unrecognized subcommand / ...");
  expect_error("y /METHOD = ML 'PRINT'", 14, "Invalid METHOD PRINT ...");

  const Parsed abbreviated("y /METH ML /CRIT = PCONV(1e-8) /PRI DESC /DESCRIPTIVES");
  EXPECT_EQ(abbreviated.cmd.method, 1);
  EXPECT_EQ(abbreviated.cmd.parameter_tolerance, 1e-8);
  EXPECT_TRUE(abbreviated.cmd.print_descriptives);
  ASSERT_FALSE(abbreviated.messages().empty());
  EXPECT_EQ(abbreviated.messages()[0].text, "Unrecognized subcommand DESCRIPTIVES ...");

  const Parsed empty("y /METHOD = /PRINT /TEST");
  const std::vector<Seen> m = empty.messages();
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[0].text, "Empty subcommand METHOD ...");
  EXPECT_EQ(m[1].text, "Empty subcommand PRINT ...");
  EXPECT_EQ(m[2].text, "Empty subcommand TEST ...");
  for (const auto& w : m) {
    EXPECT_EQ(w.number, 7);
    EXPECT_EQ(w.severity, Severity::Warning);
    EXPECT_EQ(w.msg_class, 3);
  }
  EXPECT_EQ(empty.cmd.method, 2);
  EXPECT_EQ(empty.cmd.n_tests(), 0);

  const Parsed repeated("y /METHOD = ML /METHOD REML");
  expect_only(repeated, 8, Severity::Warning, "Last repeated subcommand used METHOD ...", "second METHOD");
  EXPECT_EQ(repeated.cmd.method, 2);

  // Reading stops at the first error: the unknown subcommand after it is not reported.
  expect_error("y /METHOD = FOO /FOO", 14, "Invalid METHOD FOO ...");
}

TEST(Dispatcher, RepeatedCriteriaReturnsToDefaults) {
  const Parsed p("y /CRITERIA = MXITER(5) CIN(90) SUBJECTS(GROUPED) /CRITERIA = MXSTEP(3)");
  expect_only(p, 8, Severity::Warning, "Last repeated subcommand used CRITERIA ...", "second CRITERIA");
  EXPECT_EQ(p.cmd.max_iterations, 100);
  EXPECT_EQ(p.cmd.confidence_level, 95);
  EXPECT_EQ(p.cmd.confidence_text, "95");
  EXPECT_FALSE(p.cmd.subjects_grouped);
  EXPECT_EQ(p.cmd.max_step_halvings, 3);
}

TEST(Criteria, EveryKeyword) {
  const Parsed p(
      "y /CRITERIA = CIN(90.5) MXITER(0) MXSTEP(3) SCORING(2) SINGULAR(1e-10) HCONVERGE(0.001 RELATIVE) "
      "LCONVERGE(ABSOLUTE 1e-4) PCONVERGE(RELATIVE 1e-8) SUBJECTS(GROUPED) /RANDOM = INTERCEPT | SUBJECT(id)");
  expect_clean(p, "all CRITERIA keywords");
  EXPECT_EQ(p.cmd.confidence_level, 90.5);
  EXPECT_EQ(p.cmd.confidence_text, "90.5");
  EXPECT_EQ(p.cmd.max_iterations, 0);
  EXPECT_EQ(p.cmd.max_step_halvings, 3);
  EXPECT_EQ(p.cmd.scoring_steps, 2);
  EXPECT_EQ(p.cmd.singularity_tolerance, 1e-10);
  EXPECT_EQ(p.cmd.hessian_tolerance, 0.001);
  EXPECT_EQ(p.cmd.hessian_criterion, 2);
  EXPECT_EQ(p.cmd.likelihood_tolerance, 1e-4);
  EXPECT_EQ(p.cmd.likelihood_criterion, 1);
  EXPECT_EQ(p.cmd.parameter_tolerance, 1e-8);
  EXPECT_EQ(p.cmd.parameter_criterion, 2);
  EXPECT_TRUE(p.cmd.subjects_grouped);

  const Parsed before("y /CRIT = PCONV(RELATIVE 1e-8)");
  const Parsed after("y /CRIT = PCONV(1e-8 RELATIVE)");
  EXPECT_EQ(before.cmd.parameter_tolerance, after.cmd.parameter_tolerance);
  EXPECT_EQ(before.cmd.parameter_criterion, 2);
  EXPECT_EQ(after.cmd.parameter_criterion, 2);
  const Parsed type_only("y /CRITERIA = PCONVERGE(REL) HCONVERGE()");
  EXPECT_EQ(type_only.cmd.parameter_tolerance, 1e-6) << "the value keeps its default";
  EXPECT_EQ(type_only.cmd.hessian_tolerance, 0);
  EXPECT_EQ(type_only.cmd.hessian_criterion, 1);
  EXPECT_EQ(Parsed("y /CRITERIA = CIN(0)").cmd.confidence_level, 0);
  EXPECT_EQ(Parsed("y /CRITERIA = SUBJECTS(OTHER)").cmd.subjects_grouped, false);
  EXPECT_EQ(Parsed("y /CRITERIA = MXITER(1e12)").cmd.max_iterations, INT_MAX) << "held at the largest count";
}

TEST(Criteria, Messages) {
  expect_error("y /CRITERIA = CIN(100)", 19, "CRITERIA CIN value 100 invalid ...");
  expect_error("y /CRITERIA = CIN(-1)", 19, "CRITERIA CIN value -1 invalid ...");
  expect_error("y /CRITERIA = MXSTEP(0)", 22, "CRITERIA MXSTEP value 0 invalid ...");
  expect_error("y /CRITERIA = MXITER(1.5)", 21, "CRITERIA MXITER value 1.5 invalid ...");
  expect_error("y /CRITERIA = MXITER(-1)", 21, "CRITERIA MXITER value -1 invalid ...");
  expect_error("y /CRITERIA = SCORING(-1)", 24, "CRITERIA SCORING value -1 invalid ...");
  expect_error("y /CRITERIA = SINGULAR(0)", 25, "CRITERIA SINGULAR value 0 unvalid ...");
  expect_error("y /CRITERIA = PCONVERGE(1e-8 2e-8)", 23, "CRITERIA PCONVERGE value 2e-8 invalid ...");
  expect_error("y /CRITERIA = PCONVERGE(-1)", 23, "CRITERIA PCONVERGE value -1 invalid ...");
  expect_error("y /CRITERIA = LCONVERGE(-1)", 20, "CRITERIA LCONVERGE value -1 invalid ...");
  expect_error("y /CRITERIA = HCONVERGE(-1)", 78, "CRITERIA HCONVERGE value -1 invalid ...");
  expect_error("y /CRITERIA = PCONVERGE(ABS REL)", 27, "CRITERIA PCONVERGE type REL invalid ...");
  expect_error("y /CRITERIA = LCONVERGE(FOO)", 26, "CRITERIA LCONVERGE type FOO invalid ...");
  expect_error("y /CRITERIA = HCONVERGE(1 ABSOLUTE ABSOLUTE)", 79, "CRITERIA HCONVERGE type ABSOLUTE invalid ...");
  expect_error("y /CRITERIA = CIN 95", 18, "Missing value in CRITERIA 95 ...");
  expect_error("y /CRITERIA = CIN(x)", 18, "Missing value in CRITERIA x ...");
  expect_error("y /CRITERIA = CIN(95", 18, "Missing value in CRITERIA  ...");
  expect_error("y /CRITERIA = PCONVERGE(1e-8 /METHOD=ML", 18, "Missing value in CRITERIA / ...");
  expect_error("y /CRITERIA = FOO(1)", 17, "Unrecognized keyword FOO in CRITERIA ...");
  expect_error("y /CRITERIA = CI(95)", 17, "Unrecognized keyword CI in CRITERIA ...");
  // Values that are not numbers, or not finite, end in the same messages.
  expect_error("y /CRITERIA = CIN(NaN)", 18, "Missing value in CRITERIA NaN ...");
  expect_error("y /CRITERIA = MXITER(1e400)", 21, "CRITERIA MXITER value 1e400 invalid ...");
  expect_error("y /CRITERIA = SINGULAR(1e400)", 25, "CRITERIA SINGULAR value 1e400 unvalid ...");
  expect_error("y /CRITERIA = PCONVERGE(1e400)", 23, "CRITERIA PCONVERGE value 1e400 invalid ...");
  expect_error("y /CRITERIA = CIN(-1e400)", 19, "CRITERIA CIN value -1e400 invalid ...");
}

TEST(SimpleSubcommands, MethodAndMissing) {
  EXPECT_EQ(Parsed("y /METHOD = ML ML").cmd.method, 1);
  EXPECT_EQ(Parsed("y /METHOD = reml").cmd.method, 2);
  expect_error("y /METHOD = ML REML", 14, "Invalid METHOD REML ...");
  expect_error("y /METHOD = MLE", 14, "Invalid METHOD MLE ...");
  expect_error("y /METHOD = 1", 14, "Invalid METHOD 1 ...");
  EXPECT_TRUE(Parsed("y /MISSING = INCLUDE INCLUDE").cmd.include_user_missing);
  expect_error("y /MISSING = INCLUDE EXCLUDE", 13, "Invalid MISSING EXCLUDE ...");
  expect_error("y /MISSING = LISTWISE", 13, "Invalid MISSING LISTWISE ...");
}

TEST(SimpleSubcommands, Print) {
  const Parsed all("y /PRINT = CORB COVB CPS DESCRIPTIVES G HISTORY(5) LMATRIX R SOLUTION TESTCOV");
  expect_clean(all, "every PRINT keyword");
  const model::Command& cmd = all.cmd;
  EXPECT_TRUE(cmd.print_fixed_correlations && cmd.print_fixed_covariances && cmd.print_case_summary && cmd.print_descriptives && cmd.print_g && cmd.print_history && cmd.print_lmatrix && cmd.print_r &&
              cmd.print_solution && cmd.print_testcov);
  EXPECT_EQ(cmd.history_interval, 5);
  const Parsed history("y /PRINT = HISTORY /PRINT = G");
  EXPECT_FALSE(history.cmd.print_history) << "the last PRINT starts from its defaults";
  EXPECT_EQ(history.cmd.history_interval, 1);
  expect_error("y /PRINT = HISTORY(0)", 29, "Invalid HISTORY in PRINT 0 ...");
  expect_error("y /PRINT = HISTORY(2", 29, "Invalid HISTORY in PRINT  ...");
  expect_error("y /PRINT = HISTORY(x)", 29, "Invalid HISTORY in PRINT x ...");
  expect_error("y /PRINT = SOLUTION FOO", 28, "Unrecognized keyword FOO in PRINT ...");
  expect_error("y /PRINT = G(1)", 28, "Unrecognized keyword ( in PRINT ...");
  expect_error("y /PRINT = TESTCOV G", 82, "TESTCOV specified but not SOLUTION ...");
  const Parsed history_failed("y /PRINT = HISTORY(0)");
  EXPECT_FALSE(history_failed.cmd.print_history);
}

TEST(SimpleSubcommands, Regwgt) {
  const Parsed p("y /REGWGT = w");
  expect_clean(p, "REGWGT");
  ASSERT_TRUE(p.cmd.regression_weight.has_value());
  EXPECT_EQ(*p.cmd.regression_weight, 11u);
  expect_error("y /REGWGT = s", 10, "Regression weight s not numeric ...");
  expect_error("y /REGWGT = nosuch", 11, "Regression weight not found nosuch ...");
  expect_error("y /REGWGT = 1", 12, "Invalid REGWGT 1 ...");
  expect_error("y /REGWGT = w x", 12, "Invalid REGWGT x ...");
  expect_error("y /REGWGT = 'w'", 12, "Invalid REGWGT w ...");
}

TEST(Outfile, FileSpecification) {
  const std::string dir = ::testing::TempDir();
  const std::string file = dir + "model.xml";
  const Parsed model("y /OUTFILE = FXMODEL('" + file + "')");
  expect_clean(model, "FXMODEL");
  EXPECT_EQ(model.cmd.outfile_kind, 2);
  EXPECT_EQ(model.cmd.outfile_path, file);
  const Parsed two("y /OUTFILE = FXMODEL('" + file + "') /OUTFILE = FXPARAMETER('" + dir + "p.xml')");
  expect_clean(two, "OUTFILE may repeat without a warning");
  EXPECT_EQ(two.cmd.outfile_kind, 1);
  EXPECT_EQ(two.cmd.outfile_path, dir + "p.xml");

  expect_error("y /OUTFILE = FXMODEL('" + file + "'", 115, "Missing filename in OUTFILE  ...");
  expect_error("y /OUTFILE = FXMODEL '" + file + "'", 115, "Missing filename in OUTFILE " + file + " ...");
  expect_error("y /OUTFILE = FOO('" + file + "')", 114, "Unrecognized keyword FOO in OUTFILE ...");
  expect_error("y /OUTFILE = FXMODEL('')", 116, "Model filename has length 0...");
  expect_error("y /OUTFILE = FXMODEL()", 116, "Model filename has length 0...");
  expect_error("y /OUTFILE = FXMODEL(*)", 118, "OUTFILE cannot be asterisk ...");
  const std::string long_name(256, 'f');
  expect_error("y /OUTFILE = FXMODEL('" + long_name + "')", 117, "Filename too long 255 " + long_name + " ...");
  expect_error("y /OUTFILE = FXMODEL('/no/such/dir/m.xml')", 0, "Invalid file specification /no/such/dir/m.xml ...");
  expect_error("y /OUTFILE = FXMODEL('" + dir + "')", 0, "Invalid file specification " + dir + " ...");
  const Parsed failed("y /OUTFILE = FXMODEL('/no/such/dir/m.xml')");
  EXPECT_EQ(failed.messages()[0].msg_class, 2);
  EXPECT_EQ(failed.cmd.outfile_kind, 0);
}

TEST(Postprocess, NotesAndFormats) {
  const Parsed p("y /MISSING = INCLUDE");
  const host::Notes* notes = nullptr;
  for (const host::Item& item : p.out.items())
    if (const auto* n = std::get_if<host::Notes>(&item)) notes = n;
  ASSERT_NE(notes, nullptr);
  EXPECT_EQ(notes->title.json(), "Missing Value Handling");
  ASSERT_EQ(notes->entries.size(), 2u);
  EXPECT_EQ(notes->entries[0].label.json(), "Definition of Missing");
  EXPECT_EQ(notes->entries[0].value.json(), "MISSING is INCLUDE ...");
  EXPECT_EQ(notes->entries[1].label.json(), "Cases Used");
  EXPECT_EQ(notes->entries[1].value.json(), "Cases used ...");

  const Parsed defaults("y");
  EXPECT_EQ(defaults.cmd.likelihood_format.kind, host::Format::Kind::GenStat);
  EXPECT_EQ(defaults.cmd.parameter_format.kind, host::Format::Kind::Fixed);
  EXPECT_EQ(defaults.cmd.parameter_format.decimals, 6) << "PCONVERGE 1e-6";
  const Parsed both("y /CRITERIA = HCONVERGE(0.001) LCONVERGE(0.00005) PCONVERGE(0)");
  EXPECT_EQ(both.cmd.likelihood_format.kind, host::Format::Kind::Fixed);
  EXPECT_EQ(both.cmd.likelihood_format.decimals, 5) << "the smaller of HCONVERGE and LCONVERGE";
  EXPECT_EQ(both.cmd.parameter_format.kind, host::Format::Kind::Coefficient);
  EXPECT_EQ(Parsed("y /CRITERIA = LCONVERGE(0.01)").cmd.likelihood_format.decimals, 2);
}

TEST(Postprocess, ScoringStepsAndMissingValues) {
  EXPECT_EQ(Parsed("y /CRITERIA = SCORING(3)").cmd.scoring_steps, 0) << "identity residual, no random effect";
  EXPECT_EQ(Parsed("y /REPEATED = t | SUBJECT(id) /CRITERIA = SCORING(3)").cmd.scoring_steps, 3);
  EXPECT_EQ(Parsed("y /RANDOM = INTERCEPT | SUBJECT(id)").cmd.scoring_steps, 1);

  EXPECT_TRUE(Parsed("y BY a WITH x").cmd.include_user_missing) << "nothing has user-missing values";
  EXPECT_FALSE(Parsed("y WITH um").cmd.include_user_missing);
  EXPECT_FALSE(Parsed("y /REGWGT = um").cmd.include_user_missing);
  EXPECT_FALSE(Parsed("um").cmd.include_user_missing);
  EXPECT_FALSE(Parsed("y /RANDOM = INTERCEPT | SUBJECT(um)").cmd.include_user_missing);
  const Parsed exclude("y");
  for (const host::Item& item : exclude.out.items()) {
    if (const auto* n = std::get_if<host::Notes>(&item)) {
      EXPECT_EQ(n->entries[0].value.json(), "MISSING is EXCLUDE ...") << "the notes show what was written";
    }
  }
}

TEST(Postprocess, ClassificationVariables) {
  const Parsed p("y BY a g WITH x /RANDOM = INTERCEPT | SUBJECT(id) /REPEATED = t | SUBJECT(id*id2)");
  expect_clean(p, "classification variables");
  ASSERT_EQ(p.cmd.n_class_vars(), 5);
  const std::size_t vars[] = {7, 8, 9, 1, 4};  // id, id2, t, a, g
  for (int i = 0; i < 5; ++i) EXPECT_EQ(p.cmd.classvars[i].var, vars[i]) << i;
  EXPECT_EQ(p.cmd.classvars[0].random_subject, 1);
  EXPECT_EQ(p.cmd.classvars[0].repeated_subject, 1);
  EXPECT_EQ(p.cmd.classvars[1].random_subject, 0);
  EXPECT_EQ(p.cmd.classvars[1].repeated_subject, 2);
  EXPECT_EQ(p.cmd.classvars[2].repeated, 1);
  EXPECT_EQ(p.cmd.classvars[3].factor, 1);
  EXPECT_EQ(p.cmd.classvars[4].factor, 2);
  EXPECT_EQ(p.cmd.classvars[4].width, 1) << "g is a string variable";
  EXPECT_EQ(p.cmd.classvars[3].width, 0);

  const Parsed shared("y BY a /RANDOM = INTERCEPT | SUBJECT(a)");
  ASSERT_EQ(shared.cmd.n_class_vars(), 1) << "a factor that is also a subject variable counts once";
  EXPECT_EQ(shared.cmd.classvars[0].random_subject, 1);
  EXPECT_EQ(shared.cmd.classvars[0].factor, 1);
  EXPECT_EQ(Parsed("y WITH x").cmd.n_class_vars(), 0);
}

host::Dataset wide_data(int factors, std::vector<std::size_t> split) {
  host::Dataset d;
  d.add_numeric(parse_fixture::named("y"), {1, 2});
  for (int i = 0; i < factors; ++i) d.add_numeric(parse_fixture::named("f" + std::to_string(i)), {1, 2});
  d.add_numeric(parse_fixture::named("sp"), {1, 1});
  d.set_split(std::move(split));
  return d;
}

std::string factor_list(int n) {
  std::string s = "y BY";
  for (int i = 0; i < n; ++i) s += " f" + std::to_string(i);
  return s + " /PRINT = DESCRIPTIVES";
}

TEST(Postprocess, DescriptivesDimensions) {
  const Parsed fits(factor_list(18), wide_data(18, {}));
  expect_clean(fits, "18 + 2 dimensions");
  EXPECT_TRUE(fits.cmd.print_descriptives);

  const Parsed too_many(factor_list(19), wide_data(19, {}));
  expect_only(too_many, 68, Severity::Warning, "DESCRIPTIVES too many dim exclude split ...", "21 dimensions");
  EXPECT_FALSE(too_many.cmd.print_descriptives);
  EXPECT_EQ(too_many.messages()[0].msg_class, 2);

  const Parsed split(factor_list(18), wide_data(18, {19}));
  expect_only(split, 69, Severity::Warning, "DESCRIPTIVES too many dim include split ...", "a split variable");
  EXPECT_FALSE(split.cmd.print_descriptives);

  const Parsed same(factor_list(3), wide_data(18, {1, 2}));
  expect_only(same, 0, Severity::Warning, "Cat var same as split var f0, f1 ...", "split factors");
  EXPECT_TRUE(same.cmd.print_descriptives);

  const Parsed not_asked("y BY f0 f1", wide_data(18, {1}));
  expect_clean(not_asked, "without DESCRIPTIVES nothing is said");
}

TEST(Postprocess, LabelsAndComposition) {
  const Parsed p("y BY a WITH x /FIXED = a x a*x /RANDOM = INTERCEPT x | SUBJECT(id*id2) COVTYPE(UN) /RANDOM = a");
  ASSERT_EQ(p.cmd.fixed_effect_names.size(), 4u);
  EXPECT_EQ(p.cmd.fixed_effect_names[3].json(), "a * x");
  ASSERT_EQ(p.cmd.random_block_names.size(), 2u);
  EXPECT_EQ(p.cmd.random_block_names[0].json(), "Intercept + x subject id*id2");
  EXPECT_EQ(p.cmd.random_block_names[1].json(), "a");
  EXPECT_EQ(p.cmd.composition, 3);

  EXPECT_EQ(Parsed("y").cmd.composition, 1);
  EXPECT_EQ(Parsed("y /FIXED = | NOINT /RANDOM = INTERCEPT | SUBJECT(id)").cmd.composition, 2);
  const Parsed null_model("y /FIXED = | NOINT");
  expect_only(null_model, 67, Severity::Warning, "Null model fitted ...", "nothing but the residual");
  EXPECT_EQ(null_model.cmd.composition, 4);
  const Parsed repeated("y /FIXED = | NOINT /REPEATED = t | SUBJECT(id)");
  expect_clean(repeated, "a residual structure is a model");
  EXPECT_EQ(repeated.cmd.composition, 4);
}

TEST(Robustness, TenThousandEffects) {
  // 150 factors give 11175 distinct two-factor crossings; FIXED takes 10 000.
  constexpr int kFactors = 150;
  host::Dataset d;
  d.add_numeric(parse_fixture::named("y"), {1, 2});
  std::string command = "y BY";
  for (int i = 0; i < kFactors; ++i) {
    d.add_numeric(parse_fixture::named("f" + std::to_string(i)), {1, 2});
    command += " f" + std::to_string(i);
  }
  command += " /FIXED =";
  int terms = 0;
  for (int i = 0; i < kFactors && terms < 10000; ++i)
    for (int j = i + 1; j < kFactors && terms < 10000; ++j, ++terms)
      command += " f" + std::to_string(i) + "*f" + std::to_string(j);

  const auto start = std::chrono::steady_clock::now();
  const Parsed p(command + " /RANDOM =" + command.substr(command.find('=') + 1), d);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  expect_clean(p, "10 000 fixed and 10 000 random effects");
  EXPECT_EQ(p.cmd.n_fixed_effects(), 10001);
  EXPECT_EQ(p.cmd.n_random_effects(), 10000);
  EXPECT_LT(seconds, 1.0);

  const Parsed dup(command + " f0*f1", d);
  expect_only(dup, 0, Severity::Error, "Duplicated FIXED effect f0 * f1 ...", "the last effect repeats the first");
}

TEST(Robustness, RandomTokenSequences) {
  const char* words[] = {"/",    "FIXED", "RANDOM", "REPEATED", "CRITERIA", "PRINT",   "METHOD", "TEST",
                         "EMMEANS", "SAVE", "OUTFILE", "REGWGT",  "MISSING",  "=",      "(",      ")",
                         "|",    "*",     "a",      "b",        "x",        "y",       "id",     "t",
                         "s",    "WITHIN", "BY",    "WITH",     "ALL",      "1",       "-1",     "0",
                         "1e400", "SUBJECT", "COVTYPE", "UN",   "INTERCEPT", "NOINT",  "CIN",    "TABLES",
                         "COMPARE", "PRED", ";",    ",",        "'q'",      "HISTORY", "SSTYPE", "ML"};
  const int n = static_cast<int>(std::size(words));
  std::uint32_t state = 2024;
  for (int round = 0; round < 3000; ++round) {
    std::string command = "y BY a b WITH x";
    const int length = 1 + round % 25;
    for (int i = 0; i < length; ++i) {
      state = state * 1664525u + 1013904223u;
      command += ' ';
      command += words[(state >> 8) % n];
    }
    const Parsed p(command);
    (void)p;
  }
}

}  // namespace
}  // namespace mixed::parse_fixture
