// The token stream: splitting a command file into commands, the tokens of a
// command, the keyword matchers and the variable-name rule.
#include "host/tokens.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace mixed::host {
namespace {

std::vector<Token> lex(std::string_view text, std::vector<LexProblem>* problems = nullptr) {
  std::vector<LexProblem> local;
  std::vector<Token> t = tokenize(text, problems ? *problems : local);
  return t;
}

TEST(Tokens, NamesTakePunctuationAndUtf8) {
  const std::vector<Token> t = lex("v_1.x @a #b $c Größe a.\n");
  ASSERT_EQ(t.size(), 7u);
  EXPECT_EQ(t[0].text, "v_1.x");
  EXPECT_EQ(t[1].text, "@a");
  EXPECT_EQ(t[2].text, "#b");
  EXPECT_EQ(t[3].text, "$c");
  EXPECT_EQ(t[4].text, "Größe");
  EXPECT_EQ(t[5].text, "a") << "a period ending the line ends the command, not the name";
  EXPECT_EQ(t[6].type, TokenType::End);
}

TEST(Tokens, Numbers) {
  const std::vector<Token> t = lex("1 2.5 .5 -3 -.25 1e3 2.5E-2 1.e2 7. x-1 1e 3a");
  std::vector<double> values;
  for (const Token& k : t)
    if (k.type == TokenType::Number) values.push_back(k.value);
  const std::vector<double> want = {1, 2.5, 0.5, -3, -0.25, 1000, 0.025, 100, 7, -1, 1, 3};
  ASSERT_EQ(values.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) EXPECT_DOUBLE_EQ(values[i], want[i]) << i;
  EXPECT_EQ(t[8].text, "7.") << "a period inside a line belongs to the number";
  EXPECT_EQ(t[10].text, "-1");
  EXPECT_EQ(t[12].text, "e") << "an exponent needs digits";
  EXPECT_EQ(t[14].text, "a");

  const std::vector<Token> u = lex("- 1 -x");
  EXPECT_EQ(u[0].sym, Sym::Other) << "a minus sign apart from the digits";
  EXPECT_EQ(u[1].value, 1);
  EXPECT_EQ(u[2].sym, Sym::Other);
}

TEST(Tokens, NumberOutOfRangeAndUnderflow) {
  std::vector<LexProblem> problems;
  const std::vector<Token> t = lex("CIN(1e400)\n-1e400 1e-400", &problems);
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_TRUE(problems[0].error);
  EXPECT_EQ(problems[0].line, 1);
  EXPECT_NE(problems[0].text.find("1e400"), std::string::npos);
  EXPECT_EQ(problems[1].line, 2);
  EXPECT_EQ(t[2].type, TokenType::Number);
  EXPECT_TRUE(std::isinf(t[2].value) && t[2].value > 0);
  EXPECT_TRUE(std::isinf(t[4].value) && t[4].value < 0);
  EXPECT_EQ(t[5].value, 0.0) << "underflow is zero, not an error";
}

TEST(Tokens, StringsAndComments) {
  std::vector<LexProblem> problems;
  const std::vector<Token> t =
      lex("'it''s' \"say \"\"x\"\"\" /* a 'comment' \n over lines */ a /**/ b 'open\nc", &problems);
  ASSERT_EQ(t.size(), 7u);
  EXPECT_EQ(t[0].text, "it's");
  EXPECT_TRUE(t[0].quoted);
  EXPECT_EQ(t[0].type, TokenType::Name);
  EXPECT_EQ(t[1].text, "say \"x\"");
  EXPECT_EQ(t[2].text, "a");
  EXPECT_EQ(t[2].line, 2);
  EXPECT_EQ(t[3].text, "b");
  EXPECT_EQ(t[4].text, "open");
  EXPECT_EQ(t[5].text, "c");
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_TRUE(problems[0].error);
  EXPECT_EQ(problems[0].line, 2) << "the unterminated string is named by its line";

  const std::vector<Token> all = lex("'BY' 'all'");
  EXPECT_EQ(all[0].sym, Sym::None) << "a quoted word is never a keyword";
  EXPECT_EQ(all[1].sym, Sym::None);
}

TEST(Tokens, CommandsOfAFile) {
  std::vector<LexProblem> problems;
  const std::string file =
      "* A comment command, with a quote ' that\n"
      "  runs over lines.\n"
      "MIXED y BY a\n"
      "  /FIXED = a /* note. */\n"
      "  /CRITERIA = MXITER(1.5).\n"
      "mixed y WITH x /PRINT = SOLUTION.  \n"
      "\n"
      "MIXED y\n"
      "  /METHOD = ML\n"
      "MIXED z /* ends at the end of the file */";
  const std::vector<Command> c = read_commands(file, problems);
  ASSERT_EQ(c.size(), 4u);
  EXPECT_EQ(c[0].name, "MIXED");
  EXPECT_EQ(c[0].line, 3);
  ASSERT_EQ(c[0].tokens.size(), 15u) << "the period inside the comment ends nothing";
  EXPECT_EQ(c[0].tokens[12].value, 1.5);
  EXPECT_EQ(c[0].tokens.back().type, TokenType::End);
  EXPECT_EQ(c[1].name, "mixed");
  EXPECT_EQ(c[1].tokens.size(), 8u);
  EXPECT_EQ(c[2].line, 8);
  EXPECT_EQ(c[2].tokens.size(), 6u) << "y / METHOD = ML, ended by the next MIXED line";
  EXPECT_EQ(c[3].tokens.size(), 2u);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_FALSE(problems[0].error) << "a missing period is a warning";
  EXPECT_EQ(problems[0].line, 9);
}

TEST(Tokens, CommandTerminatorEdgeCases) {
  std::vector<LexProblem> problems;
  // "1." at the very end; a period alone on a line; a name ending in a period
  // followed by a comment; a line starting with MIXED but indented is not a
  // new command.
  const std::vector<Command> c =
      read_commands("MIXED y /CRITERIA=MXITER(1.\n.\nMIXED a.  /* c */\nMIXED b\n MIXED c.", problems);
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(c[0].tokens.size(), 8u);
  EXPECT_EQ(c[0].tokens[6].value, 1);
  EXPECT_EQ(c[1].tokens.size(), 2u);
  EXPECT_EQ(c[1].tokens[0].text, "a");
  EXPECT_EQ(c[2].tokens.size(), 4u) << "b MIXED c End";
  EXPECT_TRUE(problems.empty());

  problems.clear();
  EXPECT_TRUE(read_commands("", problems).empty());
  EXPECT_TRUE(read_commands("  \n* only a comment\n", problems).empty());
  const std::vector<Command> odd = read_commands("123 x.\n'q' y.", problems);
  ASSERT_EQ(odd.size(), 2u);
  EXPECT_EQ(odd[0].name, "") << "a command must begin with its name";
  EXPECT_EQ(odd[0].tokens.size(), 3u);
  EXPECT_EQ(odd[1].name, "");
}

TEST(Tokens, StreamStaysOnItsEnd) {
  TokenStream ts(lex("a / b"));
  EXPECT_EQ(ts.cur().text, "a");
  ts.skip_subcommand();
  EXPECT_EQ(ts.cur().sym, Sym::Slash);
  EXPECT_EQ(ts.peek(5).type, TokenType::End);
  ts.next();
  ts.next();
  ts.next();
  ts.next();
  EXPECT_TRUE(ts.at_end());
  ts.seek(100);
  EXPECT_TRUE(ts.at_end());
  ts.seek(0);
  EXPECT_EQ(ts.cur().text, "a");

  TokenStream empty({});
  EXPECT_TRUE(empty.at_end());
  EXPECT_TRUE(empty.next().type == TokenType::End);
}

TEST(Tokens, KeywordMatching) {
  EXPECT_TRUE(keyword_matches("crit", "CRITERIA"));
  EXPECT_TRUE(keyword_matches("CRI", "CRITERIA"));
  EXPECT_FALSE(keyword_matches("CR", "CRITERIA")) << "abbreviations need three letters";
  EXPECT_TRUE(keyword_matches("PCONVERGE", "PCONVERG")) << "long words compare on eight letters";
  EXPECT_TRUE(keyword_matches("DESCRIPTIVES", "DESCRIPT"));
  EXPECT_TRUE(keyword_matches("CRITERIAX", "CRITERIA")) << "a ninth letter is not compared";
  EXPECT_TRUE(keyword_matches("g", "G"));
  EXPECT_FALSE(keyword_matches("ge", "G"));
  EXPECT_FALSE(keyword_matches("CRITERIAS", "CIN"));
  EXPECT_TRUE(keyword_equals("reml", "REML"));
  EXPECT_FALSE(keyword_equals("REM", "REML")) << "keyword_equals takes no abbreviation";
  EXPECT_EQ(keyword_index("CS", {"CS", "CSH"}), 1);
  EXPECT_EQ(keyword_index("csh", {"CS", "CSH"}), 2);
  EXPECT_EQ(keyword_index("COV", {"CORB", "COVB", "CPS"}), 2);
  EXPECT_EQ(keyword_index("XYZ", {"CORB", "COVB"}), 0);
  Token quoted;
  quoted.type = TokenType::Name;
  quoted.quoted = true;
  quoted.text = "FIXED";
  EXPECT_FALSE(is_keyword(quoted, "FIXED"));
  EXPECT_EQ(upper("aBc.1"), "ABC.1");
  EXPECT_TRUE(iequals("Größe", "GRößE"));
}

TEST(Tokens, VariableNames) {
  for (const char* ok : {"a", "A1", "@x", "#t", "$s", "a.b", "a_b", "Größe", "WITHIN"})
    EXPECT_TRUE(is_valid_variable_name(ok)) << ok;
  for (const char* bad : {"", "1a", "_a", ".a", "a.", "a-b", "BY", "with", "ALL", "to", "and"})
    EXPECT_FALSE(is_valid_variable_name(bad)) << bad;
  EXPECT_TRUE(is_valid_variable_name(std::string(64, 'v')));
  EXPECT_FALSE(is_valid_variable_name(std::string(65, 'v')));
}

}  // namespace
}  // namespace mixed::host
