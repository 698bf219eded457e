// The token stream of a command file.
//
// A command file holds one or more commands.  A command ends with a period at
// the end of a line, or at the end of the file; a line that begins with the
// word MIXED also begins a new command.  A line whose first non-blank character
// is `*` outside a command begins a comment, which runs to its terminating
// period (or to the next MIXED line); `/* ... */` is a comment anywhere.
//
// Tokens are names, numbers, quoted strings (single or double quotes, a doubled
// quote standing for itself) and symbols.  Keywords are matched without regard
// to case and may be abbreviated to their first three or more letters; a word
// longer than eight letters is compared on its first eight (the tables hold
// eight-character entries).
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace mixed::host {

// Token types of the engine's symbol block.
enum class TokenType { End = 1, Name = 2, Number = 3 };

// Symbol codes.  The numbers are the engine's; the parsers compare symbols, not
// numbers.  Comma and Other end an effect term (the engine's codes 8 and 9).
enum class Sym : int {
  None = 0,
  Equals = 3,
  Comma = 8,
  Other = 9,  // any other punctuation: + - & < > ! ? ...
  Asterisk = 10,
  Slash = 11,
  LParen = 13,
  RParen = 14,
  Semicolon = 17,  // the TEST row separator
  Bar = 22,
  With = 33,
  By = 34,
  All = 35,
  Within = 36,
};

struct Token {
  TokenType type = TokenType::End;
  Sym sym = Sym::None;
  std::string text;     // as written (a string without its quotes)
  double value = 0.0;   // numbers
  bool quoted = false;  // a quoted string (type Name)
  int line = 0;         // 1-based line in the command file
  int column = 0;       // 1-based column
};

// One command of the file: its name and the tokens after it, ending with an
// End token.
struct Command {
  std::string name;
  int line = 0;
  std::vector<Token> tokens;
};

// A problem found while splitting the file into commands.
struct LexProblem {
  bool error = true;  // false: a warning
  int line = 0;
  std::string text;
};

// Splits a command file into commands and tokenises each one.
std::vector<Command> read_commands(std::string_view file_text, std::vector<LexProblem>& problems);

// Tokenises the text of one command (after its name).  Used by tests.
std::vector<Token> tokenize(std::string_view command_text, std::vector<LexProblem>& problems, int first_line = 1);

// The replayable stream of one command's tokens (SSNXT1, SSTACK, SSETPT).
class TokenStream {
 public:
  explicit TokenStream(std::vector<Token> tokens);

  const Token& cur() const { return tokens_[pos_]; }
  // Advances to the next token (never past the End token) and returns it.
  const Token& next();
  const Token& peek(std::size_t ahead = 1) const;
  std::size_t pos() const { return pos_; }
  void seek(std::size_t pos);
  bool at_end() const { return cur().type == TokenType::End; }
  // True at the end of the command or at a slash: the end of a subcommand.
  bool at_subcommand_end() const { return at_end() || cur().sym == Sym::Slash; }
  // Skips to the slash that ends the current subcommand (or the end).
  void skip_subcommand();

 private:
  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
};

// keyword_matches: `word` matches the eight-character table entry `keyword` exactly or
// as an abbreviation of at least three letters.
bool keyword_matches(std::string_view word, std::string_view keyword);
// keyword_equals: `word`, cut to eight characters, equals `keyword` (case-insensitive).
bool keyword_equals(std::string_view word, std::string_view keyword);
// keyword_index: the 1-based position of the first entry of `table` that `word`
// matches by keyword_matches, 0 when none does.
int keyword_index(std::string_view word, std::span<const std::string_view> table);
int keyword_index(std::string_view word, std::initializer_list<std::string_view> table);

// The token is a name (not a quoted string) matched by keyword_matches.
bool is_keyword(const Token& t, std::string_view keyword);

// is_valid_variable_name: `name` is a valid variable name (a letter or @ # $ first, then
// letters, digits and . _ @ # $, not ending in a period, at most 64 bytes, and
// not a reserved word).
bool is_valid_variable_name(std::string_view name);

// Upper-case copy (ASCII letters only).
std::string upper(std::string_view s);
// Case-insensitive equality (ASCII letters).
bool iequals(std::string_view a, std::string_view b);

}  // namespace mixed::host
