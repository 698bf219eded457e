#include "syntax/effects.h"

#include <algorithm>
#include <cstdlib>

#include "model/messages.h"
#include "syntax/parse_support.h"

namespace mixed::syntax {

namespace {

using host::Sym;
using host::Token;
using host::TokenType;

// Token classes of the term reader.
enum Class { kFactor = 1, kCovariate, kProduct, kNesting, kEnd, kClose, kOther };
// Reader states: at the start, after a variable, after a product operator,
// after a nesting operator.
enum State { kStart = 1, kAfterVariable, kAfterProduct, kAfterNesting };

// Actions by class (rows) and state (columns); see read_effect_term.
constexpr char kActions[7][4] = {
    {'A', 'E', 'F', 'F'},  // factor
    {'B', 'E', 'G', 'G'},  // covariate
    {'X', 'P', 'X', 'X'},  // product
    {'X', 'N', 'X', 'X'},  // nesting
    {'X', 'E', 'X', 'X'},  // end
    {'X', 'C', 'X', 'X'},  // close
    {'X', 'E', 'X', 'X'},  // other
};

// The place of a variable name in the row (factor list, then covariate list),
// or -1.
int row_place(std::string_view name, const model::Command& cmd, const host::Dataset& data) {
  for (std::size_t i = 0; i < cmd.factors.size(); ++i)
    if (host::iequals(data.var(cmd.factors[i]).name, name)) return static_cast<int>(i);
  for (std::size_t j = 0; j < cmd.covariates.size(); ++j)
    if (host::iequals(data.var(cmd.covariates[j]).name, name)) return static_cast<int>(cmd.factors.size() + j);
  return -1;
}

// Classifies a token; `place` receives a variable's place in the row and
// `message` becomes SyntaxErrorInEffect for a name that cannot stand in an effect (not a valid
// variable name, or a variable in neither list).
Class classify(const Token& t, const model::Command& cmd, const host::Dataset& data, int& place, model::Msg& message) {
  if (t.type == TokenType::End || t.type == TokenType::Number) return kEnd;
  switch (t.sym) {
    case Sym::Slash:
    case Sym::Bar:
    case Sym::Comma:
    case Sym::Other: return kEnd;
    case Sym::RParen: return kClose;
    case Sym::LParen:
    case Sym::Within: return kNesting;
    case Sym::Asterisk:
    case Sym::By: return kProduct;
    default: break;
  }
  if (t.quoted) return kOther;
  if (t.sym == Sym::With || t.sym == Sym::All) {  // reserved words, never variable names
    message = model::Msg::SyntaxErrorInEffect;
    return kOther;
  }
  if (t.sym != Sym::None) return kOther;  // = ; and the like
  place = row_place(t.text, cmd, data);
  if (place >= 0) return place < cmd.n_factors() ? kFactor : kCovariate;
  if (!host::is_valid_variable_name(t.text) || data.find(t.text)) message = model::Msg::SyntaxErrorInEffect;
  return kOther;
}

}  // namespace

bool read_effect_term(host::TokenStream& ts, const model::Command& cmd, host::Engine& e, std::span<int> row) {
  std::fill(row.begin(), row.end(), 0);
  if (is_word(ts.cur(), "INTERCEPT")) {
    ts.next();
    return false;
  }
  const int n_factors = cmd.n_factors();
  int state = kStart;
  int nesting = 0;  // nesting operators of the term
  int open = 0;     // left parentheses of the term
  model::Msg message = model::Msg::None;
  bool done = false;
  while (true) {
    int place = -1;
    const Class cls = classify(ts.cur(), cmd, e.data, place, message);
    switch (kActions[cls - 1][state - 1]) {
      case 'A':
      case 'B':
        row[place] = 1;
        state = kAfterVariable;
        break;
      case 'P': state = kAfterProduct; break;
      case 'F':
        if (row[place] != 0)
          message = model::Msg::RepeatedFactorInEffect;
        else
          row[place] = 1;
        state = kAfterVariable;
        break;
      case 'G':
        if (nesting > 0)
          message = model::Msg::CovariateAfterWithinInEffect;
        else
          row[place] += 1;
        state = kAfterVariable;
        break;
      case 'N':
        if (ts.cur().sym == Sym::LParen) ++open;
        if (nesting++ == 0)
          for (std::size_t j = n_factors; j < row.size(); ++j) row[j] = -row[j];
        for (int i = 0; i < n_factors; ++i)
          if (row[i] > 0) ++row[i];
        state = kAfterNesting;
        break;
      case 'C': {
        int closed = 0;
        while (ts.cur().sym == Sym::RParen) {
          ++closed;
          ts.next();
        }
        if (closed != open) message = model::Msg::UnbalancedParenthesesInEffect;
        done = true;
        break;
      }
      case 'E':
        if (open > 0) message = model::Msg::UnbalancedParenthesesInEffect;
        done = true;
        break;
      default:
        if (message == model::Msg::None) message = model::Msg::SyntaxErrorInEffect;
        break;
    }
    if (message != model::Msg::None) return fail_here(ts, e, message);
    if (done) return false;
    ts.next();
  }
}

int compare_effects(std::span<const int> a, std::span<const int> b, int n_factors) {
  if (a.size() != b.size()) return 0;
  bool nested_differently = false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (static_cast<int>(i) < n_factors) {
      if ((a[i] == 0) != (b[i] == 0)) return 0;
      if (a[i] != b[i]) nested_differently = true;
    } else if (std::abs(a[i]) != std::abs(b[i])) {
      return 0;
    }
  }
  return nested_differently ? 2 : 1;
}

EffectCounts effect_counts(std::span<const int> row, int n_factors) {
  EffectCounts c;
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (static_cast<int>(i) < n_factors) {
      if (row[i] >= 1) ++c.factors;
    } else if (row[i] != 0) {
      ++c.covariates;
    }
  }
  return c;
}

model::TermKinds model_kind(const model::EffectTable& table, int n_factors) {
  bool factors = false, covariates = false;
  for (std::size_t r = 0; r < table.rows(); ++r) {
    const EffectCounts c = effect_counts(table.row(r), n_factors);
    factors = factors || c.factors > 0;
    covariates = covariates || c.covariates > 0;
  }
  if (factors && covariates) return model::TermKinds::FactorsAndCovariates;
  if (factors) return model::TermKinds::FactorsOnly;
  if (covariates) return model::TermKinds::CovariatesOnly;
  return model::TermKinds::InterceptOnly;
}

host::Text effect_name(std::span<const int> row, const model::Command& cmd, const host::Dataset& data,
                       const host::Catalogue& catalogue) {
  const int n_factors = cmd.n_factors();
  std::vector<host::TextGroup> items;
  const auto variable = [&](std::size_t cell) {
    const std::size_t var = static_cast<int>(cell) < n_factors ? cmd.factors[cell] : cmd.covariates[cell - n_factors];
    items.push_back({host::Text::variable(data.var(var).name)});
  };
  const auto symbol = [&](std::string_view text) { items.push_back({host::Text::raw(text)}); };

  const bool intercept = std::all_of(row.begin(), row.end(), [](int c) { return c == 0; });
  if (intercept) {
    if (auto text = catalogue.numbered(15901))
      items.push_back({host::Text::raw(*text)});
    else
      items.push_back({host::Text::key("Intercept")});
    return host::Text::key("[:^1:]1").list(std::move(items));
  }

  int d = 0;
  bool nested_covariate = false;
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (static_cast<int>(i) < n_factors)
      d = std::max(d, row[i]);
    else if (row[i] < 0)
      nested_covariate = true;
  }
  const int depth = nested_covariate ? d : std::max(d - 1, 0);

  if (!nested_covariate) {
    for (int i = 0; i < n_factors && d > 0; ++i) {
      if (row[i] != d) continue;
      if (!items.empty()) symbol(" * ");
      variable(i);
    }
  }
  for (std::size_t j = n_factors; j < row.size(); ++j) {
    for (int m = 0; m < std::abs(row[j]); ++m) {
      if (!items.empty()) symbol(" * ");
      variable(j);
    }
  }
  for (int k = depth; k >= 1; --k) {
    symbol("(");
    bool first = true;
    for (int i = 0; i < n_factors; ++i) {
      if (row[i] != k) continue;
      if (!first) symbol(" * ");
      variable(i);
      first = false;
    }
  }
  for (int k = 0; k < depth; ++k) symbol(")");
  return host::Text::key("[:^1:]1").list(std::move(items));
}

std::vector<int> EffectIndex::key(std::span<const int> row) const {
  std::vector<int> k(row.size());
  for (std::size_t i = 0; i < row.size(); ++i) k[i] = static_cast<int>(i) < nfactr_ ? (row[i] != 0) : std::abs(row[i]);
  return k;
}

std::size_t EffectIndex::Hash::operator()(const std::vector<int>& key) const {
  std::size_t h = 1469598103934665603ull;
  for (int c : key) h = (h ^ static_cast<std::size_t>(c)) * 1099511628211ull;
  return h;
}

const std::vector<std::size_t>* EffectIndex::matches(std::span<const int> row) const {
  const auto it = rows_.find(key(row));
  return it == rows_.end() ? nullptr : &it->second;
}

void EffectIndex::add(std::span<const int> row, std::size_t index) { rows_[key(row)].push_back(index); }

}  // namespace mixed::syntax
