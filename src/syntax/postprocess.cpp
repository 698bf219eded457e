#include "syntax/postprocess.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "model/messages.h"
#include "host/fuzzy.h"
#include "syntax/effects.h"
#include "syntax/parse_support.h"

namespace mixed::syntax {

namespace {

using host::Severity;
using host::Text;

// A descriptive statistics table has at most this many dimensions.
constexpr int kMaxDescriptiveDims = 20;

int place_in(const std::vector<std::size_t>& list, std::size_t v) {
  const auto it = std::find(list.begin(), list.end(), v);
  return it == list.end() ? 0 : static_cast<int>(it - list.begin()) + 1;
}

void add_notes(const model::MixSettings& s, host::Engine& e) {
  host::Notes notes;
  notes.title = Text::key("Missing Value Handling");
  notes.entries.push_back({Text::key("Definition of Missing"),
                           Text::key(s.include_user_missing ? "MISSING is INCLUDE ..." : "MISSING is EXCLUDE ...")});
  notes.entries.push_back({Text::key("Cases Used"), Text::key("Cases used ...")});
  e.out.notes(std::move(notes));
}

void set_formats(model::MixSettings& s) {
  const double h = s.hessian_tolerance, l = s.likelihood_tolerance;
  if (h > 0 && l > 0) s.likelihood_format = host::Format::fixed(host::decimals_needed(std::min(h, l)));
  else if (h > 0 || l > 0) s.likelihood_format = host::Format::fixed(host::decimals_needed(std::max(h, l)));
  else s.likelihood_format = host::Format::genstat();
  s.parameter_format = s.parameter_tolerance > 0 ? host::Format::fixed(host::decimals_needed(s.parameter_tolerance)) : host::Format::coefficient();
}

void collect_classvars(model::MixSettings& s, const host::Dataset& data) {
  s.classvars.clear();
  std::vector<char> listed(data.n_variables(), 0);
  const auto add = [&](const std::vector<std::size_t>& vars) {
    for (std::size_t v : vars) {
      if (listed[v]) continue;
      listed[v] = 1;
      model::ClassVar c;
      c.var = v;
      c.width = data.var(v).width;
      c.random_subject = place_in(s.subject_vars, v);
      c.repeated_subject = place_in(s.repeated_subjects, v);
      c.repeated = place_in(s.repeated_vars, v);
      c.factor = place_in(s.factors, v);
      s.classvars.push_back(c);
    }
  };
  add(s.subject_vars);
  add(s.repeated_subjects);
  add(s.repeated_vars);
  add(s.factors);
}

bool has_user_missing(const host::Dataset& data, std::size_t v) { return !data.var(v).missing.empty(); }

void derive_qinclu(model::MixSettings& s, const host::Dataset& data) {
  if (s.include_user_missing) return;
  bool any = has_user_missing(data, s.dependent) || (s.regression_weight && has_user_missing(data, *s.regression_weight));
  for (const model::ClassVar& c : s.classvars) any = any || has_user_missing(data, c.var);
  for (std::size_t v : s.covariates) any = any || has_user_missing(data, v);
  if (!any) s.include_user_missing = true;
}

void check_descriptives(model::MixSettings& s, host::Engine& e) {
  if (!s.print_descriptives) return;
  const std::vector<std::size_t>& split = e.data.split();
  std::vector<std::size_t> shared;  // split variables that are classification variables
  for (std::size_t v : split) {
    const bool classvar = std::any_of(s.classvars.begin(), s.classvars.end(),
                                      [&](const model::ClassVar& c) { return c.var == v; });
    if (classvar) shared.push_back(v);
  }
  const int dims = s.n_class_vars() + 2 + static_cast<int>(split.size() - shared.size());
  if (dims > kMaxDescriptiveDims) {
    s.print_descriptives = false;
    model::issue_message(e.out, split.empty() ? 68 : 69, model::kOtherClass, Severity::Warning);
  } else if (!shared.empty()) {
    model::issue(e.out, Severity::Warning,
                  Text::key("Cat var same as split var [%1:, ^1:]1 ...").list(variable_groups(e.data, shared)));
  }
}

void make_labels(model::MixSettings& s, const host::Engine& e) {
  s.fixed_effect_names.clear();
  for (std::size_t r = 0; r < s.fixed.rows(); ++r)
    s.fixed_effect_names.push_back(effect_name(s.fixed.row(r), s, e.data, e.catalogue));
  // The effects of each block, joined by " + ", and the block's subjects.
  std::vector<std::vector<host::TextGroup>> block_effects(s.n_random_blocks);
  std::vector<const std::vector<std::size_t>*> block_subjects(s.n_random_blocks, nullptr);
  for (std::size_t r = 0; r < s.random.rows(); ++r) {
    std::vector<host::TextGroup>& effects = block_effects[s.random_effect_block[r]];
    if (!effects.empty()) effects.push_back({Text::raw(" + ")});
    effects.push_back({effect_name(s.random.row(r), s, e.data, e.catalogue)});
    block_subjects[s.random_effect_block[r]] = &s.random_subject_lists[r];
  }
  s.random_block_names.clear();
  for (int b = 0; b < s.n_random_blocks; ++b) {
    std::vector<host::TextGroup>& effects = block_effects[b];
    const std::vector<std::size_t>* subjects = block_subjects[b];
    if (subjects == nullptr || subjects->empty()) {
      s.random_block_names.push_back(Text::key("[:^1:]1").list(std::move(effects)));
    } else {
      s.random_block_names.push_back(Text::key("[:^1:]1 subject [%1:*^1:]2")
                                         .list(std::move(effects))
                                         .list(variable_groups(e.data, *subjects)));
    }
  }
}

void set_composition(model::MixSettings& s, host::Engine& e) {
  const bool fixed = s.n_fixed_effects() > 0, random = s.n_random_effects() > 0;
  s.composition = fixed ? (random ? 3 : 1) : (random ? 2 : 4);
  if (s.composition == 4 && s.n_repeated_vars() == 0) model::issue_message(e.out, 67, model::kOtherClass, Severity::Warning);
}

}  // namespace

void postprocess_syntax(model::MixSettings& s, host::Engine& e) {
  add_notes(s, e);
  set_formats(s);
  if (s.n_random_effects() == 0 && s.repeated_type == covstruct::ID) s.scoring_steps = 0;
  collect_classvars(s, e.data);
  derive_qinclu(s, e.data);
  check_descriptives(s, e);
  make_labels(s, e);
  set_composition(s, e);
}

}  // namespace mixed::syntax
