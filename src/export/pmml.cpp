#include "export/pmml.h"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <span>
#include <sstream>
#include <string_view>
#include <vector>

#include "estimate/covariance_labels.h"
#include "host/files.h"
#include "host/packed.h"
#include "inference/model_tables.h"
#include "model/messages.h"

#ifndef MIXED_VERSION
#define MIXED_VERSION "0.1.0"
#endif

namespace mixed::pmml {

namespace {

using host::Text;
using Node = pugi::xml_node;

constexpr const char* kNamespace = "http://www.dmg.org/PMML-4_1";
constexpr const char* kSchemaInstance = "http://www.w3.org/2001/XMLSchema-instance";
constexpr std::size_t kMaxLabel = 255;

// A real in the lexical form of xs:double: the shortest decimal that reads
// back to the same value; NaN, INF and -INF for the values that have no digits.
std::string real(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "INF" : "-INF";
  char buf[32];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

// The length of the well-formed UTF-8 sequence at s[i], 0 when there is none.
std::size_t utf8_length(std::string_view s, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = byte(i);
  const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k)
    if ((byte(i + k) >> 6) != 0x2) return 0;
  if (n == 2 && c < 0xC2) return 0;
  return n;
}

// Text from the data made fit for an XML attribute: bytes that are not UTF-8
// and the control characters XML 1.0 forbids become U+FFFD; at most `limit`
// characters are kept.
std::string xml_text(std::string_view s, std::size_t limit = std::string::npos) {
  std::string out;
  std::size_t chars = 0;
  for (std::size_t i = 0; i < s.size() && chars < limit; ++chars) {
    const std::size_t n = utf8_length(s, i);
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const bool control = n == 1 && c < 0x20 && c != '\t' && c != '\n' && c != '\r';
    if (n == 0 || control) {
      out += "\xEF\xBF\xBD";
      i += n == 0 ? 1 : n;
    } else {
      out.append(s.substr(i, n));
      i += n;
    }
  }
  return out;
}

// A string value as the document writes it: trailing blanks removed, but at
// least one character.
std::string string_value(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s.empty() ? std::string(" ") : xml_text(s);
}

void set(Node n, const char* attribute, const std::string& value) {
  n.append_attribute(attribute).set_value(value.c_str());
}

void extension(Node parent, const char* name, const std::string& value) {
  Node x = parent.append_child("Extension");
  set(x, "extender", kExtender);
  set(x, "name", name);
  set(x, "value", value);
}

// The classification variable (index into classvars and levels) of factor f.
std::size_t factor_classvar(const model::Command& cmd, int f) {
  for (std::size_t cv = 0; cv < cmd.classvars.size(); ++cv)
    if (cmd.classvars[cv].factor == f + 1) return cv;
  return cmd.classvars.size();
}

bool has_level(const data::GroupData& group, std::size_t cv, std::size_t lev) {
  return cv < group.levels.size() && lev < group.levels[cv].size();
}

// Level `lev` (0-based, sorted order) of classification variable cv; its
// number from 1 when the group has no such level.
std::string level_value(const data::GroupData& group, std::size_t cv, std::size_t lev) {
  if (!has_level(group, cv, lev)) return std::to_string(lev + 1);
  const data::Levels& levels = group.levels[cv];
  return levels.numeric ? real(levels.numbers[lev]) : string_value(levels.strings[lev]);
}

std::string level_label(const model::Command& cmd, const data::GroupData& group, const host::Dataset& data,
                        std::size_t cv, std::size_t lev) {
  const data::Levels& levels = group.levels[cv];
  const host::Variable& v = data.var(cmd.classvars[cv].var);
  return xml_text(levels.numeric ? v.value_label(levels.numbers[lev]) : v.value_label(levels.strings[lev]));
}

void add_header(Node root) {
  Node header = root.append_child("Header");
  set(header, "description", "Linear mixed model: fixed effects");
  Node app = header.append_child("Application");
  set(app, "name", "mixed");
  set(app, "version", MIXED_VERSION);
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
  header.append_child("Timestamp").text().set(stamp);
}

// The user-missing values of a variable: a range as the two invalid-range
// Extensions, discrete values as Values with property "missing".
void add_missing_range(Node field, const host::MissingValues& m) {
  if (!m.has_range) return;
  extension(field, "invalidRangeLower", real(m.low));
  extension(field, "invalidRangeUpper", real(m.high));
}

void add_missing_values(Node field, const host::Variable& v) {
  const auto add = [&](const std::string& value, std::string_view label) {
    Node x = field.append_child("Value");
    set(x, "value", value);
    if (!label.empty()) set(x, "displayValue", xml_text(label));
    set(x, "property", "missing");
  };
  for (double d : v.missing.values) add(real(d), v.value_label(d));
  for (const std::string& str : v.missing.strings) add(string_value(str), v.value_label(str));
}

// One DataField; `classvar` is the factor's classification variable, or
// nothing for the dependent variable and the covariates.
void add_data_field(Node dict, const model::Command& cmd, const data::GroupData& group, const host::Dataset& data,
                    std::size_t var, const std::size_t* classvar) {
  const host::Variable& v = data.var(var);
  Node field = dict.append_child("DataField");
  set(field, "name", xml_text(v.name));
  if (!v.label.empty()) set(field, "displayName", xml_text(v.label));
  set(field, "optype", classvar ? "categorical" : "continuous");
  set(field, "dataType", v.numeric() ? "double" : "string");
  extension(field, "format", std::string(1, v.format.type));
  extension(field, "width", std::to_string(v.format.width));
  extension(field, "decimals", std::to_string(v.format.decimals));
  if (!cmd.include_user_missing) add_missing_range(field, v.missing);
  if (classvar) {
    for (std::size_t lev = 0; has_level(group, *classvar, lev); ++lev) {
      Node x = field.append_child("Value");
      set(x, "value", level_value(group, *classvar, lev));
      const std::string label = level_label(cmd, group, data, *classvar, lev);
      if (!label.empty()) set(x, "displayValue", label);
      set(x, "property", "valid");
    }
  }
  if (!cmd.include_user_missing) add_missing_values(field, v);
}

void add_data_dictionary(Node root, const model::Command& cmd, const data::GroupData& group,
                         const host::Dataset& data) {
  Node dict = root.append_child("DataDictionary");
  set(dict, "numberOfFields", std::to_string(1 + cmd.n_factors() + cmd.n_covariates()));
  add_data_field(dict, cmd, group, data, cmd.dependent, nullptr);
  for (std::size_t cv = 0; cv < cmd.classvars.size(); ++cv)
    if (cmd.classvars[cv].factor > 0) add_data_field(dict, cmd, group, data, cmd.classvars[cv].var, &cv);
  for (std::size_t c : cmd.covariates) add_data_field(dict, cmd, group, data, c, nullptr);
}

void add_information_criteria(Node model, const model::Command& cmd, const data::GroupData& group,
                              const estimate::Estimates& est) {
  const inference::InformationCriteria ic =
      inference::information_criteria(cmd.method, est.fixed_rank, est.n_cov_params, group.n_observations, est.m2ll);
  extension(model, "-2LogLikelihood", real(ic.m2ll));
  extension(model, "AIC", real(ic.aic));
  extension(model, "AICC", real(ic.aicc));
  extension(model, "CAIC", real(ic.caic));
  extension(model, "BIC", real(ic.bic));
}

// Which factors and covariates occur in a fixed effect that has columns.
struct Predictors {
  std::vector<int> factors;     // places in the factor list
  std::vector<int> covariates;  // places in the covariate list
};

Predictors predictors(const model::Command& cmd, const data::GroupData& group) {
  const int nf = cmd.n_factors();
  Predictors p;
  const auto met = [&](int place) {
    for (int t = 0; t < cmd.n_fixed_effects(); ++t)
      if (group.fx_ncol[t] > 0 && cmd.fixed.row(t)[place] != 0) return true;
    return false;
  };
  for (int f = 0; f < nf; ++f)
    if (met(f)) p.factors.push_back(f);
  for (int c = 0; c < cmd.n_covariates(); ++c)
    if (met(nf + c)) p.covariates.push_back(c);
  return p;
}

void add_mining_schema(Node model, const model::Command& cmd, const host::Dataset& data, const Predictors& p) {
  Node schema = model.append_child("MiningSchema");
  const auto field = [&](std::size_t var, const char* usage) {
    Node x = schema.append_child("MiningField");
    set(x, "name", xml_text(data.var(var).name));
    set(x, "usageType", usage);
    set(x, "missingValueTreatment", "asIs");
  };
  field(cmd.dependent, "predicted");
  for (int f : p.factors) field(cmd.factors[f], "active");
  for (int c : p.covariates) field(cmd.covariates[c], "active");
}

std::string parameter_name(int k) { return "P" + std::to_string(k + 1); }

void add_parameter_list(Node model, const data::GroupData& group, const estimate::Estimates& est,
                        const host::Engine& e) {
  Node list = model.append_child("ParameterList");
  for (int k = 0; k < group.n_fixed_columns; ++k) {
    Node x = list.append_child("Parameter");
    set(x, "name", parameter_name(k));
    const std::string label =
        static_cast<std::size_t>(k) < est.param_labels.size() ? est.param_labels[k].display(e.catalogue) : "";
    set(x, "label", xml_text(label, kMaxLabel));
  }
}

void add_predictor_lists(Node model, const model::Command& cmd, const host::Dataset& data, const Predictors& p) {
  Node factors = model.append_child("FactorList");
  for (int f : p.factors) set(factors.append_child("Predictor"), "name", xml_text(data.var(cmd.factors[f]).name));
  Node covariates = model.append_child("CovariateList");
  for (int c : p.covariates)
    set(covariates.append_child("Predictor"), "name", xml_text(data.var(cmd.covariates[c]).name));
}

void add_pp_matrix(Node model, const model::Command& cmd, const data::GroupData& group, const host::Dataset& data) {
  Node matrix = model.append_child("PPMatrix");
  const int nf = cmd.n_factors();
  const auto cell = [&](const std::string& value, std::size_t var, const std::string& parameter) {
    Node x = matrix.append_child("PPCell");
    set(x, "value", value);
    set(x, "predictorName", xml_text(data.var(var).name));
    set(x, "parameterName", parameter);
  };
  for (int t = 0; t < cmd.n_fixed_effects(); ++t) {
    const std::span<const int> effect = cmd.fixed.row(t);
    for (int c = 0; c < group.fx_ncol[t]; ++c) {
      const int k = group.fx_fcol[t] + c;
      const std::vector<int> level = estimate::cell_levels(cmd, group, effect, group.fx_cell[k]);
      for (int f = 0; f < nf; ++f)
        if (effect[f] != 0)
          cell(level_value(group, factor_classvar(cmd, f), level[f]), cmd.factors[f], parameter_name(k));
      for (int v = 0; v < cmd.n_covariates(); ++v)
        if (effect[nf + v] != 0) cell(std::to_string(std::abs(effect[nf + v])), cmd.covariates[v], parameter_name(k));
    }
  }
}

bool non_redundant(const estimate::Estimates& est, int k) {
  return static_cast<std::size_t>(k) < est.non_redundant.size() && est.non_redundant.test(static_cast<std::size_t>(k));
}

// The lower triangle of Cov(b), 0 wherever a redundant parameter is involved.
// A model without fixed columns has no cells, and the schema wants at least one.
void add_pcov_matrix(Node model, const data::GroupData& group, const estimate::Estimates& est) {
  if (group.n_fixed_columns == 0) return;
  Node matrix = model.append_child("PCovMatrix");
  for (int k = 0; k < group.n_fixed_columns; ++k)
    for (int j = 0; j <= k; ++j) {
      Node x = matrix.append_child("PCovCell");
      set(x, "pRow", parameter_name(k));
      set(x, "pCol", parameter_name(j));
      const bool both = non_redundant(est, k) && non_redundant(est, j);
      set(x, "value", both ? real(est.fixed_covariance[host::tri(k, j)]) : "0");
    }
}

// b_k with df 1 for a non-redundant column; 0 with df 0 for a redundant one.
void add_param_matrix(Node model, const data::GroupData& group, const estimate::Estimates& est) {
  Node matrix = model.append_child("ParamMatrix");
  const std::size_t p = static_cast<std::size_t>(group.n_fixed_columns);
  for (int k = 0; k < group.n_fixed_columns; ++k) {
    Node x = matrix.append_child("PCell");
    set(x, "parameterName", parameter_name(k));
    const bool kept = non_redundant(est, k);
    set(x, "beta", kept ? real(est.fixed_covariance[host::tri(p, static_cast<std::size_t>(k))]) : "0");
    set(x, "df", kept ? "1" : "0");
  }
}

void add_model(Node root, const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
               const host::Engine& e, model::OutfileKind kind) {
  const host::Dataset& data = e.data;
  Node model = root.append_child("GeneralRegressionModel");
  set(model, "targetVariableName", xml_text(data.var(cmd.dependent).name));
  set(model, "modelType", "generalLinear");
  set(model, "algorithmName", "mixedLinear");
  set(model, "functionName", "regression");
  add_information_criteria(model, cmd, group, est);
  const Predictors p = predictors(cmd, group);
  add_mining_schema(model, cmd, data, p);
  add_parameter_list(model, group, est, e);
  add_predictor_lists(model, cmd, data, p);
  add_pp_matrix(model, cmd, group, data);
  if (kind == model::OutfileKind::FixedModel) add_pcov_matrix(model, group, est);
  add_param_matrix(model, group, est);
}

std::string trimmed(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return std::string(text);
}

// The reason in a write error "cannot write PATH: REASON".
std::string write_reason(const std::string& error, const std::string& path) {
  const std::string prefix = "cannot write " + path + ": ";
  return error.rfind(prefix, 0) == 0 ? error.substr(prefix.size()) : error;
}

}  // namespace

std::string pmml_document(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
                          const host::Engine& e, model::OutfileKind kind) {
  pugi::xml_document doc;
  Node decl = doc.append_child(pugi::node_declaration);
  set(decl, "version", "1.0");
  set(decl, "encoding", "UTF-8");
  Node root = doc.append_child("PMML");
  set(root, "xmlns", kNamespace);
  set(root, "xmlns:xsi", kSchemaInstance);
  set(root, "version", "4.1");
  set(root, "xsi:schemaLocation", std::string(kNamespace) + " pmml-4-1.xsd");
  add_header(root);
  add_data_dictionary(root, cmd, group, e.data);
  add_model(root, cmd, group, est, e, kind);
  std::ostringstream text;
  doc.save(text, "  ", pugi::format_indent, pugi::encoding_utf8);
  std::string xml = text.str();
  if (xml.empty() || xml.back() != '\n') xml += '\n';
  return xml;
}

void write_pmml(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
                host::Engine& e) {
  const std::string path = trimmed(cmd.outfile_path);
  std::string error;
  if (!host::write_file_atomic(path, pmml_document(cmd, group, est, e, cmd.outfile_kind), error)) {
    model::issue(e.out, host::Severity::Error,
                 Text::key("Cannot write the model file ^1: ^2 ...").arg(path).arg(write_reason(error, path)));
    return;
  }
  host::Notes notes;
  notes.title = Text::key("File Saved");
  notes.entries.push_back(
      {Text::key(cmd.outfile_kind == model::OutfileKind::FixedModel ? "Fixed Model Information"
                                                                    : "Fixed Parameter Information"),
       Text::raw(path)});
  e.out.notes(std::move(notes));
}

}  // namespace mixed::pmml
