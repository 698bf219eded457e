#include "syntax/emmeans_syntax.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "model/messages.h"

namespace mixed::syntax {

namespace {

using host::Sym;
using host::Token;
using host::TokenType;

// What the subcommand asked for beyond the record itself: COMPARE, with the
// factor written in its parentheses (a place in the factor list), if any.
struct CompareRequest {
  bool given = false;
  std::optional<int> factor;
};

// A word (a name or a keyword), not a quoted string, a number or a symbol.
bool is_word(const Token& t) {
  if (t.type != TokenType::Name || t.quoted) return false;
  return t.sym == Sym::None || t.sym == Sym::By || t.sym == Sym::With || t.sym == Sym::Within || t.sym == Sym::All;
}
bool is_separator(const Token& t) { return t.sym == Sym::By || t.sym == Sym::Asterisk; }

// The place of the token's variable in `vars` (factor or covariate list), or -1.
int place_in(const Token& t, const std::vector<std::size_t>& vars, const host::Dataset& data) {
  if (!is_word(t)) return -1;
  for (std::size_t i = 0; i < vars.size(); ++i)
    if (host::iequals(data.var(vars[i]).name, t.text)) return static_cast<int>(i);
  return -1;
}

// ")" must close the keyword's parenthesis.
model::Msg close_paren(host::TokenStream& ts) {
  if (ts.cur().sym != Sym::RParen) return model::Msg::NoRightParenthesisInEmmeans;
  ts.next();
  return model::Msg::None;
}

// The syntax of a TABLES factor list "a BY b * c )": names joined by single
// separators.  On success the stream is left where it was, after an error at
// the token in error.
model::Msg check_factor_list(host::TokenStream& ts) {
  const std::size_t start = ts.pos();
  int names = 0;
  bool after_name = false, after_separator = false;
  model::Msg st = model::Msg::None;
  for (;; ts.next()) {
    const Token& t = ts.cur();
    if (t.sym == Sym::RParen) {
      if (after_separator)
        st = model::Msg::ByInWrongPlaceInEmmeans;
      else if (names == 0)
        st = model::Msg::UnrecognizedFactorInEmmeans;
      break;
    }
    if (ts.at_subcommand_end()) {
      st = model::Msg::PrematureEndInEmmeans;
      break;
    }
    if (is_separator(t)) {
      if (!after_name) {
        st = model::Msg::ByInWrongPlaceInEmmeans;
        break;
      }
      after_name = false;
      after_separator = true;
    } else if (is_word(t)) {
      if (after_name) {
        st = model::Msg::IncorrectlyPlacedSymbol;
        break;
      }
      ++names;
      after_name = true;
      after_separator = false;
    }
  }
  if (st == model::Msg::None) ts.seek(start);
  return st;
}

// TABLES(OVERALL) or TABLES(factor BY factor ...).
model::Msg read_tables(host::TokenStream& ts, const model::Command& cmd, const host::Dataset& data,
                       model::EmmeansRecord& rec) {
  if (ts.cur().sym != Sym::LParen) return model::Msg::LeftParenthesisNotFoundInEmmeans;
  ts.next();
  if (is_word(ts.cur()) && host::is_keyword(ts.cur(), "OVERALL")) {
    ts.next();
    if (model::Msg st = close_paren(ts); st != model::Msg::None) return st;
    rec.table_kind = 1;
    rec.factors.clear();
    return model::Msg::None;
  }
  if (cmd.n_factors() < 1) return model::Msg::EmmeanTablesNotAllowedWithoutFactors;
  if (model::Msg st = check_factor_list(ts); st != model::Msg::None) return st;

  std::vector<int> factors;
  while (ts.cur().sym != Sym::RParen) {
    if (is_separator(ts.cur())) {
      ts.next();
      continue;
    }
    const int f = place_in(ts.cur(), cmd.factors, data);
    if (f < 0) return model::Msg::UnrecognizedFactorInEmmeans;
    if (std::find(factors.begin(), factors.end(), f) != factors.end()) return model::Msg::RepeatedFactorInEmmeans;
    factors.push_back(f);
    ts.next();
    if (!is_separator(ts.cur()) && ts.cur().sym != Sym::RParen && !ts.at_subcommand_end())
      return model::Msg::ByNotFoundInEmmeans;
  }
  ts.next();
  rec.table_kind = 2;
  rec.factors = std::move(factors);
  return model::Msg::None;
}

// WITH(covariate [=] value|MEAN ...): the values at which covariates are held.
model::Msg read_with(host::TokenStream& ts, const model::Command& cmd, const host::Dataset& data,
                     model::EmmeansRecord& rec) {
  if (cmd.n_covariates() < 1) return model::Msg::EmmeanWithNotAllowedWithoutCovariates;
  if (ts.cur().sym != Sym::LParen) return model::Msg::LeftParenthesisNotFoundInEmmeans;
  ts.next();
  while (ts.cur().sym != Sym::RParen) {
    if (ts.at_subcommand_end()) return model::Msg::PrematureEndInEmmeans;
    const int c = place_in(ts.cur(), cmd.covariates, data);
    if (c < 0) return model::Msg::EmmeanWithUnrecognizedSymbol;
    ts.next();
    if (ts.cur().sym == Sym::Equals) ts.next();
    int mode = 0;
    double value = host::SYSMIS;
    if (ts.cur().type == TokenType::Number) {
      mode = -1;
      value = ts.cur().value;
    } else if (is_word(ts.cur()) && host::is_keyword(ts.cur(), "MEAN")) {
      mode = 1;
    } else {
      return model::Msg::EmmeanWithInvalidSpecification;
    }
    if (rec.cov_mode[c] != 0) {
      if (rec.cov_mode[c] != mode || (mode == -1 && rec.cov_value[c] != value))
        return model::Msg::EmmeanWithContradictCovariateSpec;
    }
    rec.cov_mode[c] = mode;
    rec.cov_value[c] = value;
    ts.next();
  }
  ts.next();
  return model::Msg::None;
}

// COMPARE, or COMPARE(factor).
model::Msg read_compare(host::TokenStream& ts, const model::Command& cmd, const host::Dataset& data,
                        CompareRequest& compare) {
  compare = {true, std::nullopt};
  if (ts.cur().sym != Sym::LParen) return model::Msg::None;
  ts.next();
  const int f = place_in(ts.cur(), cmd.factors, data);
  if (f < 0) return model::Msg::NoFactorForCompareInEmmeans;
  compare.factor = f;
  ts.next();
  return close_paren(ts);
}

// ADJ(NONE|LSD|BONFERRONI|SIDAK).
model::Msg read_adjust(host::TokenStream& ts, model::EmmeansRecord& rec) {
  if (ts.cur().sym != Sym::LParen) return model::Msg::LeftParenthesisNotFoundInEmmeans;
  ts.next();
  const int k = is_word(ts.cur()) ? host::keyword_index(ts.cur().text, {"NONE", "LSD", "BONFERRO", "SIDAK"}) : 0;
  if (k == 0) return model::Msg::EmmeanAdjUnrecognizedSymbol;
  rec.adjust = k == 1 ? 1 : k - 1;
  ts.next();
  return close_paren(ts);
}

// REFCAT(value|'string'|FIRST|LAST): the reference level of the comparisons.
model::Msg read_refcat(host::TokenStream& ts, model::EmmeansRecord& rec) {
  if (ts.cur().sym != Sym::LParen) return model::Msg::LeftParenthesisNotFoundInEmmeans;
  ts.next();
  const Token& t = ts.cur();
  rec.refcat_value = 0.0;
  rec.refcat_string.clear();
  if (t.type == TokenType::Number) {
    rec.refcat_kind = 1;
    rec.refcat_value = t.value;
  } else if (t.type == TokenType::Name && t.quoted) {
    rec.refcat_kind = 2;
    rec.refcat_string = t.text;
  } else if (is_word(t)) {
    const int k = host::keyword_index(t.text, {"FIRST", "LAST"});
    if (k == 0) return model::Msg::UnrecognizedSymbolInEmmeans;
    rec.refcat_kind = k + 2;
  } else {
    return model::Msg::EmmeanRefcatUnrecognizedSymbol;
  }
  ts.next();
  return close_paren(ts);
}

// A string REFCAT read as a value of a numeric factor, when it is one.
std::optional<double> refcat_as_number(const std::string& text) {
  std::optional<host::FieldNumber> n = host::parse_field_number(text);
  if (!n || host::is_sysmis(n->value)) return std::nullopt;
  return n->value;
}

// The rules that tie COMPARE, ADJ and REFCAT to the TABLES factors; warnings
// are issued here, an error is returned.
model::Msg reconcile(const CompareRequest& compare, const model::Command& cmd, host::Engine& eng,
                     model::EmmeansRecord& rec) {
  if (!compare.given) {
    if (rec.adjust != 0)
      model::issue_message(eng.out, model::Msg::EmmeanAdjIgnoredWithoutCompare, model::kSyntaxClass,
                           host::Severity::Warning);
    if (rec.refcat_kind != 0) {
      model::issue_message(eng.out, model::Msg::EmmeanRefcatIgnoredWithoutCompare, model::kSyntaxClass,
                           host::Severity::Warning);
      rec.refcat_kind = 0;
      rec.refcat_value = 0.0;
      rec.refcat_string.clear();
    }
    return model::Msg::None;
  }
  if (rec.table_kind != 2) return model::Msg::InvalidCompareInEmmeans;
  if (compare.factor) {
    auto at = std::find(rec.factors.begin(), rec.factors.end(), *compare.factor);
    if (at == rec.factors.end()) return model::Msg::EmmeanCompareNotTablesFactor;
    rec.compare = static_cast<int>(at - rec.factors.begin()) + 1;
  } else {
    if (rec.factors.size() != 1) return model::Msg::EmmeanCompareCannotBeOmitted;
    rec.compare = 1;
  }
  if (rec.adjust == 0) rec.adjust = 1;

  const bool numeric_factor =
      eng.data.var(cmd.factors[static_cast<std::size_t>(rec.factors[rec.compare - 1])]).numeric();
  if (rec.refcat_kind == 1 && !numeric_factor) return model::Msg::EmmeanRefcatIsNumericButCompareFactorIsNot;
  if (rec.refcat_kind == 2 && numeric_factor) {
    std::optional<double> v = refcat_as_number(rec.refcat_string);
    if (!v) return model::Msg::EmmeanRefcatIsStringButCompareFactorIsNot;
    rec.refcat_kind = 1;
    rec.refcat_value = *v;
    rec.refcat_string.clear();
  }
  return model::Msg::None;
}

bool same_request(const model::EmmeansRecord& a, const model::EmmeansRecord& b) {
  auto same_value = [](double u, double v) { return u == v || (host::is_sysmis(u) && host::is_sysmis(v)); };
  auto same_values = [&](const std::vector<double>& x, const std::vector<double>& y) {
    return std::equal(x.begin(), x.end(), y.begin(), y.end(), same_value);
  };
  return a.table_kind == b.table_kind && a.factors == b.factors && a.compare == b.compare && a.cov_mode == b.cov_mode &&
         same_values(a.cov_value, b.cov_value) && a.adjust == b.adjust && a.refcat_kind == b.refcat_kind &&
         a.refcat_value == b.refcat_value && a.refcat_string == b.refcat_string;
}

model::Msg read_emmeans(host::TokenStream& ts, const model::Command& cmd, host::Engine& eng,
                        model::EmmeansRecord& rec) {
  rec.cov_mode.assign(static_cast<std::size_t>(cmd.n_covariates()), 0);
  rec.cov_value.assign(static_cast<std::size_t>(cmd.n_covariates()), host::SYSMIS);
  CompareRequest compare;
  while (!ts.at_subcommand_end()) {
    const int k =
        is_word(ts.cur()) ? host::keyword_index(ts.cur().text, {"TABLES", "WITH", "COMPARE", "ADJ", "REFCAT"}) : 0;
    if (k == 0) return model::Msg::UnrecognizedSymbolInEmmeans;
    ts.next();
    model::Msg st = model::Msg::None;
    switch (k) {
      case 1: st = read_tables(ts, cmd, eng.data, rec); break;
      case 2: st = read_with(ts, cmd, eng.data, rec); break;
      case 3: st = read_compare(ts, cmd, eng.data, compare); break;
      case 4: st = read_adjust(ts, rec); break;
      case 5: st = read_refcat(ts, rec); break;
    }
    if (st != model::Msg::None) return st;
  }
  if (model::Msg st = reconcile(compare, cmd, eng, rec); st != model::Msg::None) return st;
  for (const model::EmmeansRecord& earlier : cmd.emmeans)
    if (same_request(earlier, rec)) return model::Msg::RedundantEmmeans;
  return model::Msg::None;
}

}  // namespace

void parse_emmeans(host::TokenStream& ts, model::Command& cmd, host::Engine& eng) {
  model::EmmeansRecord rec;
  const model::Msg status = read_emmeans(ts, cmd, eng, rec);
  if (status == model::Msg::None) {
    cmd.emmeans.push_back(std::move(rec));
    return;
  }
  model::issue_message(eng.out, status, model::kSyntaxClass, host::Severity::Error, ts.cur().text);
  ts.skip_subcommand();
}

}  // namespace mixed::syntax
