#include "syntax/test_syntax.h"

#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "model/messages.h"
#include "syntax/effects.h"

namespace mixed::syntax {

namespace {

using host::Sym;
using host::Token;
using host::TokenType;

// Statuses besides 0 and the catalogue numbers.  kReported: the problem has
// already been reported (by the effect term reader, or as the warning on a
// duplicated effect, which drops the TEST).  kNothingToTest: a model without
// effects and a TEST without rows or values.  Either way nothing is stored.
constexpr int kReported = -1;
constexpr int kNothingToTest = -2;

// The state of one TEST subcommand being read.
struct TestParse {
  host::TokenStream& ts;
  const model::Command& cmd;
  host::Engine& eng;
  std::string shown;  // the ^1 of the status when it is not the current token
};

bool row_end(const host::TokenStream& ts) { return ts.cur().sym == Sym::Semicolon || ts.at_subcommand_end(); }

bool is_number(const Token& t) { return t.type == TokenType::Number; }

// One value at the current number token: n, or n/d when a "/" and a number
// follow it (a "/" followed by anything else ends the subcommand and stays).
int read_value(host::TokenStream& ts, double& v) {
  v = ts.cur().value;
  if (ts.peek().sym == Sym::Slash && is_number(ts.peek(2))) {
    ts.next();
    ts.next();
    if (!(ts.cur().value > 0.0)) return 52;
    v /= ts.cur().value;
  }
  ts.next();
  return 0;
}

// The consecutive numbers (and fractions) at the current token.
int read_number_list(host::TokenStream& ts, std::vector<double>& values) {
  while (is_number(ts.cur())) {
    double v = 0.0;
    if (int st = read_value(ts, v)) return st;
    values.push_back(v);
  }
  return 0;
}

bool names_model_variable(const Token& t, const model::Command& cmd, const host::Dataset& data) {
  auto named = [&](std::size_t var) { return host::iequals(data.var(var).name, t.text); };
  return std::any_of(cmd.factors.begin(), cmd.factors.end(), named) ||
         std::any_of(cmd.covariates.begin(), cmd.covariates.end(), named);
}

// The word DIVISOR (not a variable of the model that happens to share its
// first letters).
bool at_divisor(const TestParse& p) {
  const Token& t = p.ts.cur();
  return t.type == TokenType::Name && !t.quoted && host::is_keyword(t, "DIVISOR") &&
         !names_model_variable(t, p.cmd, p.eng.data);
}

// DIVISOR [=] d, which must close its row; the row is then multiplied by 1/d.
int read_divisor(host::TokenStream& ts, double& divisor) {
  ts.next();
  if (ts.cur().sym == Sym::Equals) ts.next();
  if (!is_number(ts.cur())) return 59;
  if (int st = read_value(ts, divisor)) return st;
  if (divisor == 0.0) return 113;
  if (!row_end(ts)) return 112;
  return 0;
}

void scale(std::vector<double>& values, double divisor) {
  const double r = 1.0 / divisor;
  for (double& v : values) v *= r;
}

bool all_zero(const std::vector<double>& values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return v == 0.0; });
}

bool has_factor(std::span<const int> row, int n_factors) {
  return std::any_of(row.begin(), row.begin() + n_factors, [](int c) { return c >= 1; });
}

bool any_factor(const model::EffectTable& table, int n_factors) {
  for (std::size_t r = 0; r < table.rows(); ++r)
    if (has_factor(table.row(r), n_factors)) return true;
  return false;
}

// The first row of `table` that is the same effect as `row`, or -1.
int find_effect(const model::EffectTable& table, std::span<const int> row, int n_factors) {
  for (std::size_t r = 0; r < table.rows(); ++r)
    if (compare_effects(table.row(r), row, n_factors) == 1) return static_cast<int>(r);
  return -1;
}

// One row of the effect form: the values given for each FIXED term and for
// each random effect (empty where the row does not name it).
struct EffectRow {
  std::vector<std::vector<double>> fixed, random;
  bool named_any = false;
  std::vector<double> all_values() const {
    std::vector<double> v;
    for (const auto& part : {&fixed, &random})
      for (const auto& e : *part) v.insert(v.end(), e.begin(), e.end());
    return v;
  }
};

// One effect of the effect form with its values, at the current token.
int read_effect_values(TestParse& p, bool random_mode, EffectRow& row, model::TestRecord& rec) {
  const model::EffectTable& table = random_mode ? p.cmd.random : p.cmd.fixed;
  const int not_in_model = random_mode ? 71 : 60;
  if (table.rows() == 0) return not_in_model;

  std::vector<int> term(static_cast<std::size_t>(p.cmd.n_factors() + p.cmd.n_covariates()), 0);
  if (read_effect_term(p.ts, p.cmd, p.eng, term)) return kReported;
  const int k = find_effect(table, term, p.cmd.n_factors());
  if (k < 0) {
    p.shown = effect_name(term, p.cmd, p.eng.data, p.eng.catalogue).json();
    return not_in_model;
  }
  auto& slot = (random_mode ? row.random : row.fixed)[k];
  if (!slot.empty()) {
    host::Text warning = host::Text::key(random_mode ? "Duplicated TEST random effect [:^1:]1 ..."
                                                     : "Duplicated TEST fixed effect [:^1:]1 ...");
    warning.list(model::one_per_group({effect_name(term, p.cmd, p.eng.data, p.eng.catalogue)}));
    model::issue(p.eng.out, host::Severity::Warning, std::move(warning));
    return kReported;
  }

  std::vector<double> values;
  if (int st = read_number_list(p.ts, values)) return st;
  if (values.empty()) return 56;
  int& count = (random_mode ? rec.random_counts : rec.fixed_counts)[k];
  if (count != 0 && count != static_cast<int>(values.size())) return 57;
  count = static_cast<int>(values.size());
  if (values.size() > 1 && !has_factor(term, p.cmd.n_factors())) return 63;
  slot = std::move(values);
  row.named_any = true;
  return 0;
}

// parse_effect_rows: rows of effects with their values; "|" turns to the random
// effects, ";" starts the next row.
int parse_effect_rows(TestParse& p, model::TestRecord& rec) {
  host::TokenStream& ts = p.ts;
  rec.fixed_counts.assign(static_cast<std::size_t>(p.cmd.n_fixed_effects()), 0);
  rec.random_counts.assign(static_cast<std::size_t>(p.cmd.n_random_effects()), 0);
  auto new_row = [&] {
    EffectRow r;
    r.fixed.resize(rec.fixed_counts.size());
    r.random.resize(rec.random_counts.size());
    return r;
  };
  std::vector<EffectRow> rows{new_row()};
  std::vector<double> divisors{1.0};
  bool random_mode = false;

  for (;;) {
    EffectRow& row = rows.back();
    if (ts.cur().sym == Sym::Bar) {
      random_mode = true;
      ts.next();
      continue;
    }
    if (at_divisor(p)) {
      if (int st = read_divisor(ts, divisors.back())) return st;
    }
    if (row_end(ts)) {
      if (!row.named_any) return 77;
      if (all_zero(row.all_values())) return 61;
      if (ts.cur().sym != Sym::Semicolon) break;
      ts.next();
      if (row_end(ts)) return 77;
      rows.push_back(new_row());
      divisors.push_back(1.0);
      random_mode = false;
      continue;
    }
    if (int st = read_effect_values(p, random_mode, row, rec)) return st;
  }

  if (!rec.hypothesised.empty() && rec.hypothesised.size() != rows.size()) return 62;

  rec.rows = static_cast<int>(rows.size());
  for (std::size_t r = 0; r < rows.size(); ++r) {
    std::vector<double> values;
    auto lay_out = [&values](const std::vector<std::vector<double>>& given, const std::vector<int>& counts) {
      for (std::size_t e = 0; e < counts.size(); ++e) {
        if (given[e].empty())
          values.insert(values.end(), static_cast<std::size_t>(counts[e]), 0.0);
        else
          values.insert(values.end(), given[e].begin(), given[e].end());
      }
    };
    lay_out(rows[r].fixed, rec.fixed_counts);
    lay_out(rows[r].random, rec.random_counts);
    scale(values, divisors[r]);
    rec.values.push_back(std::move(values));
  }
  return 0;
}

// The numbers of one part of an ALL row; the first row fixes the count of
// every later row's part of the same kind (a part left out counts 0).
int read_all_part(host::TokenStream& ts, std::vector<double>& values, bool first_row, int& count) {
  if (int st = read_number_list(ts, values)) return st;
  if (values.empty()) return 56;
  if (first_row)
    count = static_cast<int>(values.size());
  else if (static_cast<int>(values.size()) != count)
    return 57;
  return 0;
}

// The number of values per row of an ALL part: exactly one per effect when
// no effect has a factor, otherwise at least one per effect (a factor effect
// has a column per level).
int check_all_count(int count, const model::EffectTable& table, int n_factors, int exact_status, int at_least_status) {
  if (count <= 0) return 0;
  const int neff = static_cast<int>(table.rows());
  if (!any_factor(table, n_factors)) return count == neff ? 0 : exact_status;
  return count >= neff ? 0 : at_least_status;
}

// parse_all_rows: rows "ALL fixed values | random values", either part optional but
// in that order.
int parse_all_rows(TestParse& p, model::TestRecord& rec) {
  host::TokenStream& ts = p.ts;
  std::vector<std::vector<double>> fixed_rows, random_rows;
  std::vector<double> divisors;

  for (bool first_row = true;; first_row = false) {
    std::vector<double> fx, rn;
    bool fixed_part = false, random_part = false;
    double divisor = 1.0;
    if (ts.cur().sym == Sym::All) {
      ts.next();
      if (ts.cur().sym != Sym::Bar) {
        if (int st = read_all_part(ts, fx, first_row, rec.nfix)) return st;
        fixed_part = true;
      }
    } else if (ts.cur().sym != Sym::Bar) {
      return 58;
    }
    if (ts.cur().sym == Sym::Bar) {
      ts.next();
      if (int st = read_all_part(ts, rn, first_row, rec.nran)) return st;
      random_part = true;
    }
    if (at_divisor(p)) {
      if (int st = read_divisor(ts, divisor)) return st;
    }
    if (!row_end(ts)) return 59;
    if ((!fixed_part && rec.nfix != 0) || (!random_part && rec.nran != 0)) return 57;
    if (all_zero(fx) && all_zero(rn)) return 61;

    fixed_rows.push_back(std::move(fx));
    random_rows.push_back(std::move(rn));
    divisors.push_back(divisor);
    if (ts.cur().sym != Sym::Semicolon) break;
    ts.next();
    if (row_end(ts)) return 77;
  }

  const std::size_t q = fixed_rows.size();
  if (!rec.hypothesised.empty() && rec.hypothesised.size() != q) return 62;
  if (int st = check_all_count(rec.nfix, p.cmd.fixed, p.cmd.n_factors(), 64, 75)) return st;
  if (int st = check_all_count(rec.nran, p.cmd.random, p.cmd.n_factors(), 65, 76)) return st;

  rec.all_form = true;
  rec.rows = static_cast<int>(q);
  for (std::size_t r = 0; r < q; ++r) {
    std::vector<double> values(static_cast<std::size_t>(rec.nfix + rec.nran), 0.0);
    std::copy(fixed_rows[r].begin(), fixed_rows[r].end(), values.begin());
    std::copy(random_rows[r].begin(), random_rows[r].end(), values.begin() + rec.nfix);
    scale(values, divisors[r]);
    rec.values.push_back(std::move(values));
  }
  return 0;
}

// The hypothesised values "(h1 h2 ...)" and the label that may open a TEST.
int read_prologue(host::TokenStream& ts, host::Output& out, model::TestRecord& rec) {
  if (ts.cur().sym == Sym::LParen) {
    ts.next();
    if (int st = read_number_list(ts, rec.hypothesised)) return st;
    if (rec.hypothesised.empty()) return 53;
    if (ts.cur().sym != Sym::RParen) return 54;
    ts.next();
    if (ts.cur().sym == Sym::Equals) ts.next();
  } else if (is_number(ts.cur()) || ts.cur().sym == Sym::RParen) {
    return 81;
  }
  if (ts.cur().type == TokenType::Name && ts.cur().quoted) {
    rec.label = ts.cur().text;
    if (rec.label.empty())
      model::issue_message(out, model::Msg::EmptyLabelInTest, model::kSyntaxClass, host::Severity::Warning);
    ts.next();
  }
  return 0;
}

// Reads the whole TEST; returns 0 with a complete record, else a catalogue
// number, kReported or kNothingToTest.
int read_test(TestParse& p, model::TestRecord& rec) {
  host::TokenStream& ts = p.ts;
  if (int st = read_prologue(ts, p.eng.out, rec)) return st;
  while (ts.cur().sym == Sym::Semicolon) ts.next();
  if (ts.at_subcommand_end()) {
    if (p.cmd.n_fixed_effects() > 0 || p.cmd.n_random_effects() > 0) return 77;
    return rec.hypothesised.empty() ? kNothingToTest : 62;
  }
  return ts.cur().sym == Sym::All ? parse_all_rows(p, rec) : parse_effect_rows(p, rec);
}

}  // namespace

void parse_test(host::TokenStream& ts, model::Command& cmd, host::Engine& eng) {
  TestParse p{ts, cmd, eng, {}};
  model::TestRecord rec;
  const int status = read_test(p, rec);
  if (status == 0) {
    cmd.tests.push_back(std::move(rec));
    return;
  }
  if (status > 0) {
    const std::string token = p.shown.empty() ? ts.cur().text : p.shown;
    model::issue_message(eng.out, static_cast<model::Msg>(status), model::kSyntaxClass, host::Severity::Error, token);
  }
  ts.skip_subcommand();
}

}  // namespace mixed::syntax
