#include "syntax/postprocess.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "host/fuzzy.h"
#include "model/messages.h"
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

void add_notes(const model::Command& cmd, host::Engine& e) {
  host::Notes notes;
  notes.title = Text::key("Missing Value Handling");
  notes.entries.push_back({Text::key("Definition of Missing"),
                           Text::key(cmd.include_user_missing ? "MISSING is INCLUDE ..." : "MISSING is EXCLUDE ...")});
  notes.entries.push_back({Text::key("Cases Used"), Text::key("Cases used ...")});
  e.out.notes(std::move(notes));
}

void set_formats(model::Command& cmd) {
  const double h = cmd.hessian_tolerance, l = cmd.likelihood_tolerance;
  if (h > 0 && l > 0)
    cmd.likelihood_format = host::Format::fixed(host::decimals_needed(std::min(h, l)));
  else if (h > 0 || l > 0)
    cmd.likelihood_format = host::Format::fixed(host::decimals_needed(std::max(h, l)));
  else
    cmd.likelihood_format = host::Format::genstat();
  cmd.parameter_format = cmd.parameter_tolerance > 0
                             ? host::Format::fixed(host::decimals_needed(cmd.parameter_tolerance))
                             : host::Format::coefficient();
}

void collect_classvars(model::Command& cmd, const host::Dataset& data) {
  cmd.classvars.clear();
  std::vector<char> listed(data.n_variables(), 0);
  const auto add = [&](const std::vector<std::size_t>& vars) {
    for (std::size_t v : vars) {
      if (listed[v]) continue;
      listed[v] = 1;
      model::ClassVar c;
      c.var = v;
      c.width = data.var(v).width;
      c.random_subject = place_in(cmd.subject_vars, v);
      c.repeated_subject = place_in(cmd.repeated_subjects, v);
      c.repeated = place_in(cmd.repeated_vars, v);
      c.factor = place_in(cmd.factors, v);
      cmd.classvars.push_back(c);
    }
  };
  add(cmd.subject_vars);
  add(cmd.repeated_subjects);
  add(cmd.repeated_vars);
  add(cmd.factors);
}

bool has_user_missing(const host::Dataset& data, std::size_t v) { return !data.var(v).missing.empty(); }

void derive_qinclu(model::Command& cmd, const host::Dataset& data) {
  if (cmd.include_user_missing) return;
  bool any = has_user_missing(data, cmd.dependent) ||
             (cmd.regression_weight && has_user_missing(data, *cmd.regression_weight));
  for (const model::ClassVar& c : cmd.classvars) any = any || has_user_missing(data, c.var);
  for (std::size_t v : cmd.covariates) any = any || has_user_missing(data, v);
  if (!any) cmd.include_user_missing = true;
}

void check_descriptives(model::Command& cmd, host::Engine& e) {
  if (!cmd.print_descriptives) return;
  const std::vector<std::size_t>& split = e.data.split();
  std::vector<std::size_t> shared;  // split variables that are classification variables
  for (std::size_t v : split) {
    const bool classvar =
        std::any_of(cmd.classvars.begin(), cmd.classvars.end(), [&](const model::ClassVar& c) { return c.var == v; });
    if (classvar) shared.push_back(v);
  }
  const int dims = cmd.n_class_vars() + 2 + static_cast<int>(split.size() - shared.size());
  if (dims > kMaxDescriptiveDims) {
    cmd.print_descriptives = false;
    model::issue_message(
        e.out,
        split.empty() ? model::Msg::DescriptivesTooManyDimExcludeSplit : model::Msg::DescriptivesTooManyDimIncludeSplit,
        model::kOtherClass, Severity::Warning);
  } else if (!shared.empty()) {
    model::issue(e.out, Severity::Warning,
                 Text::key("Cat var same as split var [%1:, ^1:]1 ...").list(variable_groups(e.data, shared)));
  }
}

void make_labels(model::Command& cmd, const host::Engine& e) {
  cmd.fixed_effect_names.clear();
  for (std::size_t r = 0; r < cmd.fixed.rows(); ++r)
    cmd.fixed_effect_names.push_back(effect_name(cmd.fixed.row(r), cmd, e.data, e.catalogue));
  // The effects of each block, joined by " + ", and the block's subjects.
  std::vector<std::vector<host::TextGroup>> block_effects(cmd.n_random_blocks);
  std::vector<const std::vector<std::size_t>*> block_subjects(cmd.n_random_blocks, nullptr);
  for (std::size_t r = 0; r < cmd.random.rows(); ++r) {
    std::vector<host::TextGroup>& effects = block_effects[cmd.random_effect_block[r]];
    if (!effects.empty()) effects.push_back({Text::raw(" + ")});
    effects.push_back({effect_name(cmd.random.row(r), cmd, e.data, e.catalogue)});
    block_subjects[cmd.random_effect_block[r]] = &cmd.random_subject_lists[r];
  }
  cmd.random_block_names.clear();
  for (int b = 0; b < cmd.n_random_blocks; ++b) {
    std::vector<host::TextGroup>& effects = block_effects[b];
    const std::vector<std::size_t>* subjects = block_subjects[b];
    if (subjects == nullptr || subjects->empty()) {
      cmd.random_block_names.push_back(Text::key("[:^1:]1").list(std::move(effects)));
    } else {
      cmd.random_block_names.push_back(
          Text::key("[:^1:]1 subject [%1:*^1:]2").list(std::move(effects)).list(variable_groups(e.data, *subjects)));
    }
  }
}

void set_composition(model::Command& cmd, host::Engine& e) {
  const bool fixed = cmd.n_fixed_effects() > 0, random = cmd.n_random_effects() > 0;
  cmd.composition = fixed ? (random ? model::Composition::FixedAndRandom : model::Composition::FixedOnly)
                          : (random ? model::Composition::RandomOnly : model::Composition::Neither);
  if (cmd.composition == model::Composition::Neither && cmd.n_repeated_vars() == 0)
    model::issue_message(e.out, model::Msg::NullModelFitted, model::kOtherClass, Severity::Warning);
}

}  // namespace

void postprocess_syntax(model::Command& cmd, host::Engine& e) {
  add_notes(cmd, e);
  set_formats(cmd);
  if (cmd.n_random_effects() == 0 && cmd.repeated_type == covstruct::ID) cmd.scoring_steps = 0;
  collect_classvars(cmd, e.data);
  derive_qinclu(cmd, e.data);
  check_descriptives(cmd, e);
  make_labels(cmd, e);
  set_composition(cmd, e);
}

}  // namespace mixed::syntax
