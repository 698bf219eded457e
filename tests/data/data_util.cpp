#include "data_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <variant>

#include "data/case_pass.h"
#include "data/descriptives.h"
#include "data/design.h"
#include "data/subjects.h"
#include "host/tokens.h"
#include "host/workfile.h"
#include "host/writers.h"
#include "syntax/dispatcher.h"

namespace mixed::data::testing {

host::Dataset permute_rows(const host::Dataset& d, const std::vector<std::size_t>& rows) {
  host::Dataset out;
  for (std::size_t v = 0; v < d.n_variables(); ++v) {
    if (d.var(v).numeric()) {
      std::vector<double> values;
      for (std::size_t r : rows) values.push_back(d.number(v, r));
      out.add_numeric(d.var(v), std::move(values));
    } else {
      std::vector<std::string> values;
      for (std::size_t r : rows) values.push_back(d.string(v, r));
      out.add_string(d.var(v), std::move(values));
    }
  }
  out.set_weight(d.weight());
  out.set_split(d.split());
  return out;
}

std::vector<std::map<std::string, std::string>> read_rows(const std::string& name) {
  std::ifstream in(std::string(MIXED_SHARED_DIR) + "/reference/data/" + name);
  EXPECT_TRUE(in.good()) << name;
  auto fields = [](const std::string& line) {
    std::vector<std::string> f;
    std::stringstream ss(line);
    std::string item;
    while (std::getline(ss, item, ',')) {
      if (item.size() >= 2 && item.front() == '"') item = item.substr(1, item.size() - 2);
      f.push_back(item);
    }
    if (!line.empty() && line.back() == ',') f.emplace_back();
    return f;
  };
  std::string line;
  std::getline(in, line);
  const std::vector<std::string> header = fields(line);
  std::vector<std::map<std::string, std::string>> rows;
  while (std::getline(in, line)) {
    const std::vector<std::string> f = fields(line);
    std::map<std::string, std::string> row;
    for (std::size_t k = 0; k < header.size(); ++k) row[header[k]] = k < f.size() ? f[k] : "";
    rows.push_back(row);
  }
  return rows;
}

bool Session::parse(std::string_view command) {
  std::vector<host::LexProblem> problems;
  host::TokenStream ts(host::tokenize(command, problems));
  EXPECT_TRUE(problems.empty());
  syntax::parse_command(ts, cmd, engine);
  return !out.error_flag();
}

namespace {

GroupResult snapshot(const data::GroupData& group, bool analysable) {
  GroupResult g;
  g.analysable = analysable;
  g.ncases = group.ncases;
  g.n_observations = group.n_observations;
  g.fractional_weights = group.fractional_weights;
  g.max_case_weight = group.max_case_weight;
  g.record_length = group.record_length;
  g.class_key_length = group.class_key_length;
  g.levels = group.levels;
  g.factor_levels = group.factor_levels;
  if (group.workfile) {
    std::vector<double> rec(group.workfile->record_length());
    group.workfile->rewind();
    while (group.workfile->read(rec)) g.records.insert(g.records.end(), rec.begin(), rec.end());
    EXPECT_EQ(static_cast<int>(group.workfile->record_length()), group.record_length);
  }
  g.subject_key_length = group.subject_key_length;
  g.n_subjects = group.n_subjects;
  g.subject_counts = group.subject_counts;
  g.n_repeated_levels = group.n_repeated_levels;
  g.n_repeated_subjects = group.n_repeated_subjects;
  g.repeated_level_table = group.repeated_level_table;
  g.repeated_level_map = group.repeated_level_map;
  g.n_fixed_columns = group.n_fixed_columns;
  g.n_random_columns = group.n_random_columns;
  g.fx_ncol = group.fx_ncol;
  g.fx_fcol = group.fx_fcol;
  g.fx_cell = group.fx_cell;
  g.rn_ncol = group.rn_ncol;
  g.rn_fcol = group.rn_fcol;
  g.rn_cell = group.rn_cell;
  g.blocks = group.blocks;
  return g;
}

void collect(const std::vector<host::Item>& items, std::string_view title,
             std::vector<const host::PivotTable*>& found) {
  for (const host::Item& item : items) {
    if (const auto* t = std::get_if<host::PivotTable>(&item)) {
      if (t->title().json() == title) found.push_back(t);
    } else if (const auto* h = std::get_if<host::Heading>(&item)) {
      collect(h->items, title, found);
    }
  }
}

void collect_messages(const std::vector<host::Item>& items, std::vector<const host::Message*>& found) {
  for (const host::Item& item : items) {
    if (const auto* m = std::get_if<host::Message>(&item))
      found.push_back(m);
    else if (const auto* h = std::get_if<host::Heading>(&item))
      collect_messages(h->items, found);
  }
}

}  // namespace

std::vector<GroupResult> run_groups(Session& session, Through through) {
  const model::Command& cmd = session.cmd;
  host::Engine& e = session.engine;
  std::vector<GroupResult> results;
  host::CaseReader reader(session.data);
  int counter = 0;
  while (reader.next_group()) {
    session.group = GroupData{};
    data::GroupData& group = session.group;
    bool analysable = true;
    case_pass(cmd, group, session.save_files, e, reader, counter, analysable);
    if (e.out.error_flag()) {
      results.push_back(snapshot(group, false));
      break;
    }
    if (analysable && through != Through::CasePass) {
      if (cmd.n_class_vars() > 0) order_subjects(cmd, group, e);
      if (!e.out.error_flag() && cmd.print_descriptives) descriptives(cmd, group, e);
      if (!e.out.error_flag() && through == Through::Design) design_columns(cmd, group, e);
    }
    results.push_back(snapshot(group, analysable));
    if (e.out.error_flag()) break;
  }
  EXPECT_EQ(counter, static_cast<int>(results.size()));
  return results;
}

std::vector<const host::PivotTable*> tables(const host::Output& out, std::string_view title) {
  std::vector<const host::PivotTable*> found;
  collect(out.items(), title, found);
  return found;
}

std::vector<const host::Message*> messages(const host::Output& out) {
  std::vector<const host::Message*> found;
  collect_messages(out.items(), found);
  return found;
}

std::vector<int> message_numbers(const host::Output& out) {
  std::vector<int> numbers;
  for (const host::Message* m : messages(out)) numbers.push_back(m->number.value_or(-1));
  return numbers;
}

const host::Cell* cell_at(const host::PivotTable& t, const std::vector<std::vector<std::string>>& paths) {
  const auto& dims = t.dimensions();
  if (paths.size() != dims.size()) return nullptr;
  for (const host::Cell& c : t.cells()) {
    bool match = true;
    for (std::size_t d = 0; d < dims.size() && match; ++d) {
      const std::vector<int> path = dims[d].path(c.at[d]);
      match = path.size() == paths[d].size();
      for (std::size_t k = 0; match && k < path.size(); ++k)
        match = dims[d].categories[path[k]].label.json() == paths[d][k];
    }
    if (match) return &c;
  }
  return nullptr;
}

double value_at(const host::PivotTable& t, const std::vector<std::vector<std::string>>& paths) {
  const host::Cell* c = cell_at(t, paths);
  if (c == nullptr || c->value.kind != host::CellValue::Kind::Number) return std::nan("");
  return c->value.number;
}

std::string dump(const host::Output& out) { return host::write_json(out, "test"); }

}  // namespace mixed::data::testing
