// Effect terms: how an effect is written in FIXED, RANDOM and TEST, how it is
// stored as an EffectTerm row, how two effects compare, and how an effect is
// named in the output.
//
// An EffectTerm row has n_factors factor cells then n_covariates covariate cells, in the
// order of the factor and covariate lists.  A factor cell is 0 (absent), 1, or
// k > 1 when the factor was written before k - 1 nesting operators (WITHIN or a
// left parenthesis) of the term; a covariate cell is 0, its power m, or -m when
// it was written before the first nesting operator.  The all-zero row is the
// intercept.  So with factors A, B, C and a covariate X: A*B and A BY B give
// A = B = 1; A(B) and A WITHIN B give A = 2, B = 1; A(B(C)) gives 3, 2, 1;
// X*X gives X = 2; X WITHIN A gives X = -1, A = 1.
#pragma once

#include <cstddef>
#include <span>
#include <unordered_map>
#include <vector>

#include "host/catalogue.h"
#include "host/dataset.h"
#include "host/engine.h"
#include "host/text.h"
#include "host/tokens.h"
#include "model/command.h"

namespace mixed::syntax {

// Reads one effect term at the current token into `row` (n_factors + n_covariates
// cells, overwritten) and leaves the stream at the first token after it.  The
// word INTERCEPT is the all-zero row.  On a malformed term issues message 36,
// 37, 38 or 39 (class 3, severity 3) at the offending token, skips to the end
// of the subcommand and returns true; returns false otherwise.  A term ends
// before the end of the command, a slash, the vertical bar, a number, a comma
// or any other punctuation, and before a second variable written without an
// operator.
bool read_effect_term(host::TokenStream& ts, const model::Command& cmd, host::Engine& e, std::span<int> row);

// Comparison of two effects whose first `n_factors` cells are factor cells:
// 0 different (a covariate's power differs, or a factor is in one and not the
// other), 1 identical (equal factor cells, covariate cells equal in absolute
// value), 2 functionally the same (the same variables, some factor nested
// differently).
int compare_effects(std::span<const int> a, std::span<const int> b, int n_factors);

// Number of factors (cells >= 1) and of covariates (cells != 0) of one effect.
struct EffectCounts {
  int factors = 0;
  int covariates = 0;
};
EffectCounts effect_counts(std::span<const int> row, int n_factors);

// fixed_kind and random_kind over the rows of a table: FactorsAndCovariates when some effect has a factor
// and some effect a covariate, 2 factors only, 1 covariates only, 3 neither.
model::TermKinds model_kind(const model::EffectTable& table, int n_factors);

// The name of an effect, as every message, table row and label shows it: a
// Text::key("[:^1:]1") whose list holds one group per item.  The intercept is
// the engine's text 15901 (else "Intercept").  Otherwise, with d the largest
// factor cell and the nesting depth d (some covariate cell negative) or d - 1:
// the factors with cell d (unless a covariate is nested), each covariate as
// often as its power, then for k = depth ... 1 "(" and the factors with cell k,
// then depth times ")", variables joined by " * ".  So A WITHIN B is A(B), the
// crossing A * B, the square of X is X * X and X WITHIN A is X(A).
host::Text effect_name(std::span<const int> row, const model::Command& cmd, const host::Dataset& data,
                       const host::Catalogue& catalogue);

// The duplicate search over a growing table of effects.  Effects that are
// identical or functionally the same share their factors and the absolute
// values of their covariate cells, which key a hash table, so that each
// search costs the length of a row rather than the size of the table.
class EffectIndex {
 public:
  explicit EffectIndex(int n_factors) : nfactr_(n_factors) {}
  // The indices of the rows added so far that are identical to `row` or
  // functionally the same, in the order they were added (nullptr when none).
  const std::vector<std::size_t>* matches(std::span<const int> row) const;
  void add(std::span<const int> row, std::size_t index);

 private:
  struct Hash {
    std::size_t operator()(const std::vector<int>& key) const;
  };
  std::vector<int> key(std::span<const int> row) const;

  int nfactr_;
  std::unordered_map<std::vector<int>, std::vector<std::size_t>, Hash> rows_;
};

}  // namespace mixed::syntax
