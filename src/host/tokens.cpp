#include "host/tokens.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace mixed::host {

namespace {

bool is_alpha(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
// Bytes of multi-byte UTF-8 sequences count as letters, so that names in any
// script are single tokens.
bool is_name_start(unsigned char c) { return is_alpha(c) || c == '@' || c == '#' || c == '$' || c == '_' || c >= 0x80; }
bool is_name_char(unsigned char c) { return is_name_start(c) || is_digit(c) || c == '.'; }
// Blanks, tabs, carriage returns and every other control byte except the newline.
bool is_blank(unsigned char c) { return c != '\n' && (c < 0x20 || c == ' '); }

char to_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

Sym symbol_of(char c) {
  switch (c) {
    case '=': return Sym::Equals;
    case '*': return Sym::Asterisk;
    case '/': return Sym::Slash;
    case '(': return Sym::LParen;
    case ')': return Sym::RParen;
    case '|': return Sym::Bar;
    case ';': return Sym::Semicolon;
    case ',': return Sym::Comma;
    default: return Sym::Other;
  }
}

Sym keyword_symbol(std::string_view word) {
  if (iequals(word, "BY")) return Sym::By;
  if (iequals(word, "WITH")) return Sym::With;
  if (iequals(word, "WITHIN")) return Sym::Within;
  if (iequals(word, "ALL")) return Sym::All;
  return Sym::None;
}

// The decimal exponent of the leading digit of a decimal numeral (its order of
// magnitude), used to tell overflow from underflow when a numeral is out of the
// range of a double.
long magnitude(std::string_view s) {
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
  long int_digits = 0, leading_frac_zeros = 0;
  bool nonzero_int = false, in_frac = false, seen_nonzero = false;
  long exp = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '.') {
      in_frac = true;
    } else if (is_digit(c)) {
      if (!in_frac) {
        if (c != '0' || nonzero_int) {
          nonzero_int = true;
          ++int_digits;
        }
      } else if (!nonzero_int && !seen_nonzero) {
        if (c == '0')
          ++leading_frac_zeros;
        else
          seen_nonzero = true;
      }
    } else if (c == 'e' || c == 'E') {
      long e = 0;
      bool neg = false;
      std::size_t j = i + 1;
      if (j < s.size() && (s[j] == '-' || s[j] == '+')) neg = s[j++] == '-';
      for (; j < s.size(); ++j) e = std::min(e * 10 + (s[j] - '0'), 100000L);
      exp = neg ? -e : e;
      break;
    }
  }
  return (nonzero_int ? int_digits - 1 : -leading_frac_zeros - 1) + exp;
}

// What the lexer found next.
enum class Lexeme { Token, Terminator, Eof };

// A scanner over the text of a command file.  It skips blanks and /* */
// comments, recognises the command terminator (a period that ends its line),
// and reads one token at a time with its line and column.
class Lexer {
 public:
  Lexer(std::string_view text, int first_line, std::vector<LexProblem>& problems)
      : s_(text), line_(first_line), problems_(problems) {}

  int line() const { return line_; }
  bool at_eof() const { return pos_ >= s_.size(); }
  char peek() const { return at_eof() ? '\0' : s_[pos_]; }
  int column() const { return static_cast<int>(pos_ - line_start_) + 1; }

  // Skips blanks, newlines and /* */ comments.
  void skip_space() {
    while (!at_eof()) {
      const unsigned char c = s_[pos_];
      if (c == '\n') {
        newline();
      } else if (is_blank(c)) {
        ++pos_;
      } else if (c == '/' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '*') {
        skip_block_comment();
      } else {
        return;
      }
    }
  }

  // Skips a comment command: the lines from here to the first line whose last
  // non-blank character is a period, or to the line before one that begins
  // with the word MIXED.
  void skip_comment_command() {
    while (!at_eof()) {
      const std::size_t eol = std::min(s_.find('\n', pos_), s_.size());
      std::size_t last = eol;
      while (last > pos_ && is_blank(static_cast<unsigned char>(s_[last - 1]))) --last;
      const bool ends = last > pos_ && s_[last - 1] == '.';
      pos_ = eol;
      if (at_eof()) return;
      newline();
      if (ends || mixed_line()) return;
    }
  }

  // True when the current position is the start of a line that begins with
  // the word MIXED in its first column.
  bool mixed_line() const {
    if (pos_ != line_start_ || s_.size() - pos_ < 5) return false;
    if (!iequals(s_.substr(pos_, 5), "MIXED")) return false;
    return pos_ + 5 >= s_.size() || !is_name_char(static_cast<unsigned char>(s_[pos_ + 5]));
  }

  // Reads the next token (after skip_space()).
  Lexeme next(Token& t) {
    skip_space();
    if (at_eof()) return Lexeme::Eof;
    t = Token{};
    t.line = line_;
    t.column = column();
    const unsigned char c = s_[pos_];
    if (c == '.' && period_ends_line(pos_)) {
      ++pos_;
      return Lexeme::Terminator;
    }
    if (c == '\'' || c == '"') {
      read_string(t);
    } else if (is_digit(c) || (c == '.' && next_is_digit(pos_ + 1)) ||
               (c == '-' && (next_is_digit(pos_ + 1) ||
                             (pos_ + 2 < s_.size() && s_[pos_ + 1] == '.' && next_is_digit(pos_ + 2))))) {
      read_number(t);
    } else if (is_name_start(c)) {
      read_name(t);
    } else {
      t.type = TokenType::Name;
      t.sym = symbol_of(static_cast<char>(c));
      t.text = std::string(1, static_cast<char>(c));
      ++pos_;
    }
    return Lexeme::Token;
  }

 private:
  void newline() {
    ++pos_;
    ++line_;
    line_start_ = pos_;
  }

  void skip_block_comment() {
    const int start = line_;
    pos_ += 2;
    while (!at_eof()) {
      if (s_[pos_] == '*' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '/') {
        pos_ += 2;
        return;
      }
      if (s_[pos_] == '\n')
        newline();
      else
        ++pos_;
    }
    problems_.push_back({false, start, "Comment opened with /* is not closed before the end of the file"});
  }

  bool next_is_digit(std::size_t i) const { return i < s_.size() && is_digit(s_[i]); }

  // A period at `i` is the command terminator when only blanks (or a comment
  // closed on the same line) follow it up to the end of its line.
  bool period_ends_line(std::size_t i) const {
    ++i;
    while (i < s_.size()) {
      const unsigned char c = s_[i];
      if (c == '\n') return true;
      if (is_blank(c)) {
        ++i;
      } else if (c == '/' && i + 1 < s_.size() && s_[i + 1] == '*') {
        const std::size_t close = s_.find("*/", i + 2);
        const std::size_t eol = s_.find('\n', i);
        if (close == std::string_view::npos || (eol != std::string_view::npos && close > eol)) return false;
        i = close + 2;
      } else {
        return false;
      }
    }
    return true;
  }

  void read_string(Token& t) {
    const char quote = s_[pos_++];
    t.type = TokenType::Name;
    t.quoted = true;
    while (true) {
      if (at_eof() || s_[pos_] == '\n') {
        problems_.push_back({true, t.line, "Unterminated quoted string"});
        return;
      }
      if (s_[pos_] == quote) {
        if (pos_ + 1 < s_.size() && s_[pos_ + 1] == quote) {
          t.text += quote;
          pos_ += 2;
          continue;
        }
        ++pos_;
        return;
      }
      t.text += s_[pos_++];
    }
  }

  void read_number(Token& t) {
    const std::size_t start = pos_;
    if (s_[pos_] == '-') ++pos_;
    while (next_is_digit(pos_)) ++pos_;
    // A period belongs to the number unless it ends the line (then it ends the command).
    if (pos_ < s_.size() && s_[pos_] == '.' && !period_ends_line(pos_)) {
      ++pos_;
      while (next_is_digit(pos_)) ++pos_;
    }
    if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
      std::size_t j = pos_ + 1;
      if (j < s_.size() && (s_[j] == '+' || s_[j] == '-')) ++j;
      if (next_is_digit(j)) {
        pos_ = j;
        while (next_is_digit(pos_)) ++pos_;
      }
    }
    t.type = TokenType::Number;
    t.text = std::string(s_.substr(start, pos_ - start));
    std::string numeral = t.text;
    if (numeral.back() == '.') numeral.pop_back();
    double v = 0.0;
    const char* first = numeral.data();
    if (*first == '-') ++first;
    const auto r = std::from_chars(first, numeral.data() + numeral.size(), v);
    if (r.ec == std::errc::result_out_of_range) {
      if (magnitude(numeral) > 0) {
        v = HUGE_VAL;
        problems_.push_back({true, t.line, "Number out of range: " + t.text});
      } else {
        v = 0.0;
      }
    }
    t.value = numeral[0] == '-' ? -v : v;
  }

  void read_name(Token& t) {
    const std::size_t start = pos_;
    while (pos_ < s_.size() && is_name_char(s_[pos_])) {
      if (s_[pos_] == '.' && period_ends_line(pos_)) break;
      ++pos_;
    }
    t.type = TokenType::Name;
    t.text = std::string(s_.substr(start, pos_ - start));
    t.sym = keyword_symbol(t.text);
  }

  std::string_view s_;
  std::size_t pos_ = 0;
  std::size_t line_start_ = 0;
  int line_;
  std::vector<LexProblem>& problems_;
};

Token end_token(int line) {
  Token t;
  t.type = TokenType::End;
  t.line = line;
  return t;
}

}  // namespace

std::vector<Command> read_commands(std::string_view file_text, std::vector<LexProblem>& problems) {
  std::vector<Command> commands;
  Lexer lx(file_text, 1, problems);
  bool open = false;  // a command has begun and not yet ended
  int last_line = 0;  // line of the last token of the open command
  Token t;
  while (true) {
    if (!open) {
      lx.skip_space();
      if (lx.at_eof()) break;
      if (lx.peek() == '*') {
        lx.skip_comment_command();
        continue;
      }
    }
    if (open) {
      lx.skip_space();
      if (!lx.at_eof() && lx.line() > last_line && lx.mixed_line()) {
        problems.push_back(
            {false, last_line,
             "Command without a terminating period: a new MIXED command begins on line " + std::to_string(lx.line())});
        commands.back().tokens.push_back(end_token(last_line));
        open = false;
      }
    }
    const Lexeme k = lx.next(t);
    if (k == Lexeme::Eof) {
      if (open) commands.back().tokens.push_back(end_token(lx.line()));
      break;
    }
    if (k == Lexeme::Terminator) {
      if (open) commands.back().tokens.push_back(end_token(lx.line()));
      open = false;
      continue;
    }
    last_line = t.line;
    if (!open) {
      Command c;
      c.line = t.line;
      if (t.type == TokenType::Name && !t.quoted)
        c.name = t.text;
      else
        c.tokens.push_back(t);
      commands.push_back(std::move(c));
      open = true;
      continue;
    }
    commands.back().tokens.push_back(t);
  }
  return commands;
}

std::vector<Token> tokenize(std::string_view command_text, std::vector<LexProblem>& problems, int first_line) {
  std::vector<Token> tokens;
  Lexer lx(command_text, first_line, problems);
  Token t;
  while (lx.next(t) == Lexeme::Token) tokens.push_back(t);
  tokens.push_back(end_token(lx.line()));
  return tokens;
}

TokenStream::TokenStream(std::vector<Token> tokens) : tokens_(std::move(tokens)) {
  if (tokens_.empty() || tokens_.back().type != TokenType::End) {
    const int line = tokens_.empty() ? 0 : tokens_.back().line;
    tokens_.push_back(end_token(line));
  }
}

const Token& TokenStream::next() {
  if (pos_ + 1 < tokens_.size()) ++pos_;
  return tokens_[pos_];
}

const Token& TokenStream::peek(std::size_t ahead) const {
  const std::size_t last = tokens_.size() - 1;
  return tokens_[ahead > last - pos_ ? last : pos_ + ahead];
}

void TokenStream::seek(std::size_t pos) { pos_ = std::min(pos, tokens_.size() - 1); }

void TokenStream::skip_subcommand() {
  while (!at_subcommand_end()) next();
}

bool keyword_matches(std::string_view word, std::string_view keyword) {
  if (word.size() > 8) word = word.substr(0, 8);
  while (!keyword.empty() && keyword.back() == ' ') keyword.remove_suffix(1);
  if (keyword.size() > 8) keyword = keyword.substr(0, 8);
  if (iequals(word, keyword)) return true;
  return word.size() >= 3 && word.size() < keyword.size() && iequals(word, keyword.substr(0, word.size()));
}

bool keyword_equals(std::string_view word, std::string_view keyword) {
  if (word.size() > 8) word = word.substr(0, 8);
  while (!keyword.empty() && keyword.back() == ' ') keyword.remove_suffix(1);
  return iequals(word, keyword);
}

int keyword_index(std::string_view word, std::span<const std::string_view> table) {
  for (std::size_t i = 0; i < table.size(); ++i)
    if (keyword_matches(word, table[i])) return static_cast<int>(i) + 1;
  return 0;
}

int keyword_index(std::string_view word, std::initializer_list<std::string_view> table) {
  return keyword_index(word, std::span<const std::string_view>(table.begin(), table.size()));
}

bool is_keyword(const Token& t, std::string_view keyword) {
  return t.type == TokenType::Name && !t.quoted && keyword_matches(t.text, keyword);
}

bool is_valid_variable_name(std::string_view name) {
  if (name.empty() || name.size() > 64) return false;
  const unsigned char first = name.front();
  if (!(is_alpha(first) || first == '@' || first == '#' || first == '$' || first >= 0x80)) return false;
  for (unsigned char c : name)
    if (!is_name_char(c)) return false;
  if (name.back() == '.') return false;
  static constexpr std::string_view kReserved[] = {"ALL", "AND", "BY",  "EQ", "GE", "GT",  "LE",
                                                   "LT",  "NE",  "NOT", "OR", "TO", "WITH"};
  for (std::string_view r : kReserved)
    if (iequals(name, r)) return false;
  return true;
}

std::string upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = to_upper(c);
  return u;
}

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (to_upper(a[i]) != to_upper(b[i])) return false;
  return true;
}

}  // namespace mixed::host
