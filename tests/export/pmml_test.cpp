// The model file: the fitted fixed part written as PMML, read back with pugixml
// and compared with the fit itself, with the parameter table the procedure
// shows, with a dense least-squares solution, and with the PMML 4.1 schema.

#include <gtest/gtest.h>
#include <unistd.h>

#include <Eigen/Dense>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "model/command.h"
#include "export/pmml.h"
#include "host/packed.h"
#include "inference/post.h"
#include "support/session_util.h"

namespace mixed::pmml {
namespace {

namespace fs = std::filesystem;

std::string shared_dir() { return std::string(MIXED_SHARED_DIR); }
std::string schema() { return shared_dir() + "/pmml/pmml-4-1.xsd"; }

host::Dataset orthodont() { return test_support::reference_csv("Orthodont.csv"); }

// A directory of its own for each test, removed afterwards.
struct TempDir {
  fs::path path;
  TempDir() {
    static int counter = 0;
    path = fs::temp_directory_path() /
           ("pmml_test_" + std::to_string(::getpid()) + "_" + std::to_string(++counter));
    fs::create_directories(path);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  std::string file(const std::string& name) const { return (path / name).string(); }
};

// A data set and a MIXED command taken through parsing, the case pass, subject
// ordering, the design, estimation and the post-estimation tables, as the
// driver does for an unsplit file.
struct Model : test_support::Session {
  using Session::Session;

  bool fit(std::string_view command) {
    bool analysable = true;
    if (!test_support::fit(*this, command, analysable) || !analysable) return false;
    inference::post_estimation(cmd, group, est, engine);
    return !out.error_flag();
  }

  // Writes the model file to `path` as OUTFILE kind `kind`.
  void write(const std::string& path, int kind) {
    cmd.outfile_path = path;
    cmd.outfile_kind = kind;
    write_pmml(cmd, group, est, engine);
  }

  double beta(int k) const { return est.fixed_covariance[host::tri(group.n_fixed_columns, k)]; }
  double cov(int k, int j) const { return est.fixed_covariance[host::sym(k, j)]; }
};

// The items of the output, depth first.
std::vector<const host::Item*> items(const host::Output& out) {
  std::vector<const host::Item*> all;
  std::function<void(const std::vector<host::Item>&)> walk = [&](const std::vector<host::Item>& list) {
    for (const host::Item& it : list) {
      all.push_back(&it);
      if (const auto* h = std::get_if<host::Heading>(&it)) walk(h->items);
    }
  };
  walk(out.items());
  return all;
}

std::vector<const host::Notes*> saved_notes(const host::Output& out) {
  std::vector<const host::Notes*> notes;
  for (const host::Item* it : items(out))
    if (const auto* n = std::get_if<host::Notes>(it); n && n->title.json() == "File Saved") notes.push_back(n);
  return notes;
}

// The "B0" column of the Fixed Parameter Estimates table, in parameter order.
std::vector<double> table_estimates(const host::Output& out) {
  for (const host::Item* it : items(out)) {
    const auto* t = std::get_if<host::PivotTable>(it);
    if (!t || t->name().json() != "Parameter Estimates") continue;
    int params = -1, stats = -1;
    for (std::size_t d = 0; d < t->dimensions().size(); ++d) {
      if (t->dimensions()[d].label.json() == "Parameter") params = static_cast<int>(d);
      if (t->dimensions()[d].label.json() == "Statistics") stats = static_cast<int>(d);
    }
    std::vector<double> b(t->dimensions()[params].categories.size(), NAN);
    for (const host::Cell& c : t->cells())
      if (t->dimensions()[stats].categories[c.at[stats]].label.json() == "B0") b[c.at[params]] = c.value.number;
    return b;
  }
  return {};
}

// A model file read back.
struct Document {
  pugi::xml_document doc;
  explicit Document(const std::string& path) {
    const pugi::xml_parse_result r = doc.load_file(path.c_str());
    EXPECT_TRUE(r) << path << ": " << r.description();
  }
  pugi::xml_node root() const { return doc.child("PMML"); }
  pugi::xml_node model() const { return root().child("GeneralRegressionModel"); }
  std::vector<pugi::xml_node> all(pugi::xml_node parent, const char* name) const {
    std::vector<pugi::xml_node> nodes;
    for (pugi::xml_node n : parent.children(name)) nodes.push_back(n);
    return nodes;
  }
  pugi::xml_node field(const std::string& name) const {
    return root().child("DataDictionary").find_child_by_attribute("DataField", "name", name.c_str());
  }
  std::string extension(pugi::xml_node parent, const char* name) const {
    return parent.find_child_by_attribute("Extension", "name", name).attribute("value").value();
  }
  double criterion(const char* name) const { return std::strtod(extension(model(), name).c_str(), nullptr); }
  // The PPCells of one parameter as "predictor=value" texts, in document order.
  std::vector<std::string> pp_cells(const std::string& parameter) const {
    std::vector<std::string> cells;
    for (pugi::xml_node c : model().child("PPMatrix").children("PPCell"))
      if (parameter == c.attribute("parameterName").value())
        cells.push_back(std::string(c.attribute("predictorName").value()) + "=" + c.attribute("value").value());
    return cells;
  }
  // The values of a DataField's Values with the given property.
  std::vector<std::string> values(const std::string& field_name, const char* property) const {
    std::vector<std::string> v;
    for (pugi::xml_node x : field(field_name).children("Value"))
      if (std::string(property) == x.attribute("property").value()) v.push_back(x.attribute("value").value());
    return v;
  }
};

double number(pugi::xml_attribute a) { return std::strtod(a.value(), nullptr); }

bool have_xmllint() { return std::system("command -v xmllint >/dev/null 2>&1") == 0; }

bool validates(const std::string& path) {
  const std::string cmd = "xmllint --noout --schema '" + schema() + "' '" + path + "' >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

const char* kRandomIntercept =
    "distance BY Sex WITH age /FIXED = Sex age Sex*age /RANDOM = INTERCEPT | SUBJECT(Subject) "
    "/PRINT = SOLUTION /OUTFILE = FXMODEL('/tmp/unused.xml').";

TEST(Pmml, FixedModelOfARandomInterceptFit) {
  Model m(orthodont());
  ASSERT_TRUE(m.fit(kRandomIntercept));
  const data::GroupData& group = m.group;
  const estimate::Estimates& est = m.est;
  ASSERT_EQ(group.n_fixed_columns, 6) << "Intercept, Female, Male, age, Female*age, Male*age";
  ASSERT_EQ(est.fixed_rank, 4);
  ASSERT_EQ(est.n_cov_params, 2);
  ASSERT_EQ(group.n_observations, 108.0);
  TempDir dir;
  const std::string path = dir.file("model.xml");
  m.write(path, 2);
  ASSERT_FALSE(m.out.error_flag());
  Document d(path);

  EXPECT_STREQ(d.root().attribute("version").value(), "4.1");
  EXPECT_STREQ(d.root().attribute("xmlns").value(), "http://www.dmg.org/PMML-4_1");
  EXPECT_STREQ(d.root().child("DataDictionary").attribute("numberOfFields").value(), "3");
  std::vector<std::string> fields;
  for (pugi::xml_node f : d.root().child("DataDictionary").children("DataField"))
    fields.push_back(std::string(f.attribute("name").value()) + ":" + f.attribute("optype").value() + ":" +
                     f.attribute("dataType").value());
  EXPECT_EQ(fields, (std::vector<std::string>{"distance:continuous:double", "Sex:categorical:string",
                                              "age:continuous:double"}));
  EXPECT_EQ(d.values("Sex", "valid"), (std::vector<std::string>{"Female", "Male"}));
  EXPECT_EQ(d.extension(d.field("distance"), "format"), "F");
  EXPECT_EQ(d.extension(d.field("distance"), "decimals"), "1") << "distance is written with one decimal";
  EXPECT_EQ(d.extension(d.field("Sex"), "format"), "A");
  EXPECT_EQ(d.extension(d.field("Sex"), "width"), "6");

  const pugi::xml_node model = d.model();
  EXPECT_STREQ(model.attribute("targetVariableName").value(), "distance");
  EXPECT_STREQ(model.attribute("modelType").value(), "generalLinear");
  std::vector<std::string> usage;
  for (pugi::xml_node f : model.child("MiningSchema").children("MiningField"))
    usage.push_back(std::string(f.attribute("name").value()) + ":" + f.attribute("usageType").value());
  EXPECT_EQ(usage, (std::vector<std::string>{"distance:predicted", "Sex:active", "age:active"}));

  std::vector<std::string> labels;
  for (pugi::xml_node p : model.child("ParameterList").children("Parameter"))
    labels.push_back(std::string(p.attribute("name").value()) + " " + p.attribute("label").value());
  EXPECT_EQ(labels, (std::vector<std::string>{"P1 Intercept", "P2 [Sex=Female]", "P3 [Sex=Male]", "P4 age",
                                              "P5 [Sex=Female] * age", "P6 [Sex=Male] * age"}));

  // The design of each column: the factor's level, the covariate's power.
  EXPECT_TRUE(d.pp_cells("P1").empty()) << "the intercept has no predictor";
  EXPECT_EQ(d.pp_cells("P3"), (std::vector<std::string>{"Sex=Male"}));
  EXPECT_EQ(d.pp_cells("P4"), (std::vector<std::string>{"age=1"}));
  EXPECT_EQ(d.pp_cells("P5"), (std::vector<std::string>{"Sex=Female", "age=1"}));

  // The estimates: the table's values to the last bit; the last level of Sex
  // is redundant in both terms that hold it.
  const std::vector<double> shown = table_estimates(m.out);
  ASSERT_EQ(shown.size(), 6u);
  const std::vector<pugi::xml_node> cells = d.all(model.child("ParamMatrix"), "PCell");
  ASSERT_EQ(cells.size(), 6u);
  for (int k = 0; k < 6; ++k) {
    const pugi::xml_node c = cells[k];
    EXPECT_EQ(c.attribute("parameterName").value(), "P" + std::to_string(k + 1));
    if (k == 2 || k == 5) {
      EXPECT_STREQ(c.attribute("beta").value(), "0") << "redundant P" << k + 1;
      EXPECT_STREQ(c.attribute("df").value(), "0") << "redundant P" << k + 1;
    } else {
      EXPECT_EQ(number(c.attribute("beta")), shown[k]) << "P" << k + 1;
      EXPECT_EQ(number(c.attribute("beta")), m.beta(k)) << "P" << k + 1;
      EXPECT_STREQ(c.attribute("df").value(), "1");
    }
  }

  // Cov(b): the lower triangle row by row, zero wherever P3 or P6 is involved.
  const std::vector<pugi::xml_node> cov = d.all(model.child("PCovMatrix"), "PCovCell");
  ASSERT_EQ(cov.size(), 21u) << "k(k+1)/2 cells for k = 6";
  std::size_t at = 0;
  for (int k = 0; k < 6; ++k)
    for (int j = 0; j <= k; ++j, ++at) {
      EXPECT_EQ(cov[at].attribute("pRow").value(), "P" + std::to_string(k + 1));
      EXPECT_EQ(cov[at].attribute("pCol").value(), "P" + std::to_string(j + 1));
      const bool redundant = k == 2 || k == 5 || j == 2 || j == 5;
      if (redundant)
        EXPECT_STREQ(cov[at].attribute("value").value(), "0") << k << "," << j;
      else
        EXPECT_EQ(number(cov[at].attribute("value")), m.cov(k, j)) << k << "," << j;
    }

  // REML counts the covariance parameters only, on n = 108 - rank 4 = 104.
  const double m2ll = est.m2ll;
  EXPECT_EQ(d.criterion("-2LogLikelihood"), m2ll);
  EXPECT_DOUBLE_EQ(d.criterion("AIC"), m2ll + 4.0);
  EXPECT_DOUBLE_EQ(d.criterion("AICC"), m2ll + 2.0 * (2.0 + 6.0 / 101.0));
  EXPECT_DOUBLE_EQ(d.criterion("CAIC"), m2ll + 2.0 * (1.0 + std::log(104.0)));
  EXPECT_DOUBLE_EQ(d.criterion("BIC"), m2ll + 2.0 * std::log(104.0));

  std::vector<const host::Notes*> notes = saved_notes(m.out);
  ASSERT_EQ(notes.size(), 1u);
  ASSERT_EQ(notes[0]->entries.size(), 1u);
  EXPECT_EQ(notes[0]->entries[0].label.json(), "Fixed Model Information");
  EXPECT_EQ(notes[0]->entries[0].value.json(), path);

  // FXPARAMETER: the same model without the covariance matrix.
  const std::string params = dir.file("params.xml");
  m.write(params, 1);
  Document p(params);
  EXPECT_TRUE(p.model().child("PCovMatrix").empty());
  ASSERT_EQ(p.all(p.model().child("ParamMatrix"), "PCell").size(), 6u);
  for (int k = 0; k < 6; ++k)
    EXPECT_STREQ(p.all(p.model().child("ParamMatrix"), "PCell")[k].attribute("beta").value(),
                 cells[k].attribute("beta").value());
  notes = saved_notes(m.out);
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[1]->entries[0].label.json(), "Fixed Parameter Information");
  EXPECT_EQ(notes[1]->entries[0].value.json(), params);
}

TEST(Pmml, MaximumLikelihoodCriteriaCountTheFixedParameters) {
  Model m(orthodont());
  ASSERT_TRUE(m.fit("distance BY Sex WITH age /FIXED = Sex age Sex*age /METHOD = ML "
                    "/RANDOM = INTERCEPT | SUBJECT(Subject) /OUTFILE = FXPARAMETER('/tmp/unused.xml')."));
  ASSERT_EQ(m.est.fixed_rank, 4);
  ASSERT_EQ(m.est.n_cov_params, 2);
  TempDir dir;
  m.write(dir.file("ml.xml"), 1);
  Document d(dir.file("ml.xml"));
  // d = 4 + 2 parameters on all n = 108 observations.
  const double m2ll = m.est.m2ll;
  EXPECT_EQ(d.criterion("-2LogLikelihood"), m2ll);
  EXPECT_DOUBLE_EQ(d.criterion("AIC"), m2ll + 12.0);
  EXPECT_DOUBLE_EQ(d.criterion("AICC"), m2ll + 2.0 * (6.0 + 42.0 / 101.0));
  EXPECT_DOUBLE_EQ(d.criterion("CAIC"), m2ll + 6.0 * (1.0 + std::log(108.0)));
  EXPECT_DOUBLE_EQ(d.criterion("BIC"), m2ll + 6.0 * std::log(108.0));
}

// Without random effects the estimates are least squares: b = (X'X)^-1 X'y
// over the non-redundant columns and Cov(b) = s^2 (X'X)^-1, s^2 = RSS/(n - r).
TEST(Pmml, LeastSquaresEstimatesAndCovarianceMatchADenseSolution) {
  Model m(orthodont());
  ASSERT_TRUE(m.fit("distance BY Sex WITH age /FIXED = Sex age /OUTFILE = FXMODEL('/tmp/unused.xml')."));
  ASSERT_EQ(m.group.n_fixed_columns, 4) << "Intercept, Female, Male, age";
  TempDir dir;
  m.write(dir.file("ols.xml"), 2);
  Document d(dir.file("ols.xml"));

  const host::Dataset& data = m.data;
  const std::size_t n = data.n_cases();
  const std::size_t y = *data.find("distance"), sex = *data.find("Sex"), age = *data.find("age");
  Eigen::MatrixXd X(n, 3);
  Eigen::VectorXd Y(n);
  for (std::size_t i = 0; i < n; ++i) {
    X.row(i) << 1.0, data.string(sex, i) == "Female" ? 1.0 : 0.0, data.number(age, i);
    Y(i) = data.number(y, i);
  }
  const Eigen::MatrixXd XtXi = (X.transpose() * X).inverse();
  const Eigen::VectorXd b = XtXi * X.transpose() * Y;
  const double s2 = (Y - X * b).squaredNorm() / static_cast<double>(n - 3);
  const Eigen::MatrixXd V = s2 * XtXi;

  // Design columns P1, P2, P4 are the dense columns 0, 1, 2; P3 is redundant.
  const int dense[] = {0, 1, -1, 2};
  const std::vector<pugi::xml_node> cells = d.all(d.model().child("ParamMatrix"), "PCell");
  ASSERT_EQ(cells.size(), 4u);
  for (int k = 0; k < 4; ++k) {
    if (dense[k] < 0) {
      EXPECT_STREQ(cells[k].attribute("beta").value(), "0");
      continue;
    }
    EXPECT_NEAR(number(cells[k].attribute("beta")), b(dense[k]), 1e-10 * std::abs(b(dense[k]))) << "P" << k + 1;
  }
  for (pugi::xml_node c : d.model().child("PCovMatrix").children("PCovCell")) {
    const int k = std::atoi(c.attribute("pRow").value() + 1) - 1;
    const int j = std::atoi(c.attribute("pCol").value() + 1) - 1;
    if (dense[k] < 0 || dense[j] < 0) {
      EXPECT_STREQ(c.attribute("value").value(), "0");
      continue;
    }
    // Relative to the scale of the entry: Cov(age, Female) is 0 in this balanced design.
    const double scale = std::sqrt(V(dense[k], dense[k]) * V(dense[j], dense[j]));
    EXPECT_NEAR(number(c.attribute("value")), V(dense[k], dense[j]), 1e-9 * scale) << "P" << k + 1 << ",P" << j + 1;
  }
}

// A data set with user-missing values, value labels, a variable label, a
// string factor (one of whose values is not UTF-8) and a covariate with a
// missing range: g = 9, h = "zz" and x in [LO, -1] or 99 are user-missing.
host::Dataset labelled_data() {
  std::ostringstream csv;
  csv << "y,g,h,x\n";
  const char* h[] = {"a", "b", "caf\xe9"};
  for (int i = 0; i < 36; ++i)
    csv << 10 + (i * 7) % 5 + 0.5 * (i % 3) << "," << 1 + i % 3 << "," << h[(i / 3) % 3] << "," << 0.25 * i + 1
        << "\n";
  csv << "50,9,a,1\n51,1,zz,2\n52,2,b,-3\n53,3,a,99\n";
  std::string error;
  auto d = host::parse_csv(csv.str(), "labelled.csv", error);
  EXPECT_TRUE(d.has_value()) << error;
  EXPECT_TRUE(host::apply_dictionary_text(*d, R"({"variables": {
      "y": {"label": "Yield <kg> & \u0001 more"},
      "g": {"value_labels": {"1": "low", "2": "mid", "3": "high", "9": "unknown"},
            "missing": {"values": [9]}},
      "h": {"value_labels": {"a": "Alpha"}, "missing": {"values": ["zz"]}},
      "x": {"format": "F8.2", "missing": {"range": ["LO", -1], "value": 99}}}})",
                                          "labelled.dict.json", error))
      << error;
  return d ? std::move(*d) : host::Dataset();
}

const char* kLabelledModel = "y BY g h WITH x /FIXED = g h(g) x*x";

TEST(Pmml, UserMissingValuesAreWrittenUnderExcludeOnly) {
  TempDir dir;
  Model exclude(labelled_data());
  ASSERT_TRUE(exclude.fit(std::string(kLabelledModel) + " /OUTFILE = FXMODEL('/tmp/unused.xml')."));
  ASSERT_EQ(exclude.group.n_observations, 36.0) << "the four cases with user-missing values are left out";
  exclude.write(dir.file("exclude.xml"), 2);
  Document d(dir.file("exclude.xml"));

  EXPECT_STREQ(d.root().child("DataDictionary").attribute("numberOfFields").value(), "4");
  EXPECT_STREQ(d.field("y").attribute("displayName").value(), "Yield <kg> & \xEF\xBF\xBD more");
  EXPECT_EQ(d.values("g", "valid"), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(d.values("g", "missing"), (std::vector<std::string>{"9"}));
  EXPECT_STREQ(d.field("g").find_child_by_attribute("Value", "value", "2").attribute("displayValue").value(), "mid");
  EXPECT_EQ(d.values("h", "valid"), (std::vector<std::string>{"a", "b", "caf\xEF\xBF\xBD"}));
  EXPECT_STREQ(d.field("h").find_child_by_attribute("Value", "value", "a").attribute("displayValue").value(),
               "Alpha");
  EXPECT_TRUE(d.field("h").find_child_by_attribute("Value", "value", "b").attribute("displayValue").empty());
  EXPECT_EQ(d.values("h", "missing"), (std::vector<std::string>{"zz"}));
  EXPECT_EQ(d.extension(d.field("x"), "invalidRangeLower"), "-INF");
  EXPECT_EQ(d.extension(d.field("x"), "invalidRangeUpper"), "-1");
  EXPECT_EQ(d.values("x", "missing"), (std::vector<std::string>{"99"}));
  EXPECT_EQ(d.extension(d.field("x"), "decimals"), "2");
  EXPECT_TRUE(d.values("y", "missing").empty());

  // The nested term names both factors in each column; x*x is x to the power 2.
  // Columns: Intercept, g 1..3, h(g) over the 9 observed (g, h) cells, x*x.
  const data::GroupData& group = exclude.group;
  ASSERT_EQ(group.n_fixed_columns, 1 + 3 + 9 + 1);
  EXPECT_EQ(d.pp_cells("P5"), (std::vector<std::string>{"g=1", "h=a"}));
  EXPECT_EQ(d.pp_cells("P13"), (std::vector<std::string>{"g=3", "h=caf\xEF\xBF\xBD"}));
  EXPECT_EQ(d.pp_cells("P14"), (std::vector<std::string>{"x=2"}));
  // Every factor value of the PPMatrix is one of the field's valid levels.
  for (pugi::xml_node c : d.model().child("PPMatrix").children("PPCell")) {
    const std::string pred = c.attribute("predictorName").value();
    if (pred == "x") continue;
    const std::vector<std::string> valid = d.values(pred, "valid");
    EXPECT_NE(std::find(valid.begin(), valid.end(), c.attribute("value").value()), valid.end())
        << pred << "=" << c.attribute("value").value();
  }

  Model include(labelled_data());
  ASSERT_TRUE(include.fit(std::string(kLabelledModel) + " /MISSING = INCLUDE /OUTFILE = FXMODEL('/tmp/unused.xml')."));
  ASSERT_EQ(include.group.n_observations, 40.0) << "user-missing values are valid under INCLUDE";
  include.write(dir.file("include.xml"), 2);
  Document i(dir.file("include.xml"));
  for (const char* field : {"y", "g", "h", "x"}) {
    EXPECT_TRUE(i.values(field, "missing").empty()) << field;
    EXPECT_TRUE(i.field(field).find_child_by_attribute("Extension", "name", "invalidRangeLower").empty()) << field;
    EXPECT_TRUE(i.field(field).find_child_by_attribute("Extension", "name", "invalidRangeUpper").empty()) << field;
  }
  EXPECT_EQ(i.values("g", "valid"), (std::vector<std::string>{"1", "2", "3", "9"}));
  EXPECT_EQ(i.values("h", "valid"), (std::vector<std::string>{"a", "b", "caf\xEF\xBF\xBD", "zz"}));
}

TEST(Pmml, AFileThatCannotBeWrittenIsAnError) {
  Model m(orthodont());
  ASSERT_TRUE(m.fit(kRandomIntercept));
  fs::path path;
  {
    TempDir dir;
    path = dir.file("model.xml");
  }
  ASSERT_FALSE(fs::exists(path.parent_path())) << "the directory is gone";
  m.write(path.string(), 2);
  EXPECT_TRUE(m.out.error_flag());
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(saved_notes(m.out).empty()) << "no notes item for a file that was not written";
  const host::Message* error = nullptr;
  for (const host::Item* it : items(m.out))
    if (const auto* msg = std::get_if<host::Message>(it); msg && msg->severity == host::Severity::Error) error = msg;
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->text.templ(), "Cannot write the model file ^1: ^2 ...");
  EXPECT_EQ(error->text.json().rfind("Cannot write the model file " + path.string() + ": ", 0), 0u)
      << error->text.json();
  EXPECT_NE(error->text.json().find("No such file or directory"), std::string::npos) << error->text.json();
}

TEST(Pmml, DocumentsValidateAgainstTheSchema) {
  if (!have_xmllint()) GTEST_SKIP() << "xmllint is not installed";
  TempDir dir;
  Model ri(orthodont());
  ASSERT_TRUE(ri.fit(kRandomIntercept));
  ri.write(dir.file("model.xml"), 2);
  ri.write(dir.file("params.xml"), 1);
  EXPECT_TRUE(validates(dir.file("model.xml")));
  EXPECT_TRUE(validates(dir.file("params.xml")));

  Model labelled(labelled_data());
  ASSERT_TRUE(labelled.fit(std::string(kLabelledModel) + " /OUTFILE = FXMODEL('/tmp/unused.xml')."));
  labelled.write(dir.file("labelled.xml"), 2);
  EXPECT_TRUE(validates(dir.file("labelled.xml"))) << "missing values, ranges, labels and a non-UTF-8 level";

  // Without fixed columns the model has no parameters and no PCovMatrix,
  // which the schema requires to hold at least one cell.
  Model empty(orthodont());
  ASSERT_TRUE(empty.fit("distance /FIXED = | NOINT /RANDOM = INTERCEPT | SUBJECT(Subject) "
                        "/OUTFILE = FXMODEL('/tmp/unused.xml')."));
  ASSERT_EQ(empty.group.n_fixed_columns, 0);
  empty.write(dir.file("empty.xml"), 2);
  EXPECT_TRUE(Document(dir.file("empty.xml")).model().child("PCovMatrix").empty());
  EXPECT_TRUE(validates(dir.file("empty.xml")));
}

// Through the program: the model file is written after every split group to
// the same file, so it holds the last group's model, and each group has its
// notes item.
TEST(Pmml, EverySplitGroupRewritesTheSameFile) {
  TempDir dir;
  const std::string model = dir.file("split.xml");
  {
    std::ofstream cmd(dir.file("split.cmd"));
    cmd << "MIXED distance WITH age /FIXED = age /RANDOM = INTERCEPT | SUBJECT(Subject)\n"
           " /PRINT = SOLUTION /OUTFILE = FXPARAMETER('"
        << model << "').\n";
  }
  const std::string json = dir.file("out.json");
  const std::string run = std::string("'") + MIXED_BINARY + "' --data '" + shared_dir() +
                          "/reference/data/Orthodont.csv' --split Sex '" + dir.file("split.cmd") + "' --json '" +
                          json + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(run.c_str()), 0);
  std::ifstream in(json);
  const nlohmann::json doc = nlohmann::json::parse(in);

  std::vector<const nlohmann::json*> notes, estimates;
  std::function<void(const nlohmann::json&)> walk = [&](const nlohmann::json& list) {
    for (const nlohmann::json& it : list) {
      if (it["kind"] == "heading") walk(it["items"]);
      if (it["kind"] == "notes" && it["title"] == "File Saved") notes.push_back(&it);
      if (it["kind"] == "table" && it["name"] == "Parameter Estimates") estimates.push_back(&it);
    }
  };
  walk(doc["items"]);
  ASSERT_EQ(notes.size(), 2u) << "one per split group";
  for (const nlohmann::json* n : notes) {
    EXPECT_EQ((*n)["entries"][0]["label"], "Fixed Parameter Information");
    EXPECT_EQ((*n)["entries"][0]["value"], model);
  }
  ASSERT_EQ(estimates.size(), 2u);
  const nlohmann::json& last = *estimates.back();
  EXPECT_EQ(last["split"][0]["value"], "Female") << "the file is sorted Male, then Female";
  std::vector<double> b;
  for (const nlohmann::json& c : last["cells"])
    if (c["at"]["Statistics"].back() == "B0") b.push_back(c["value"].get<double>());
  ASSERT_EQ(b.size(), 2u);

  Document d(model);
  const std::vector<pugi::xml_node> cells = d.all(d.model().child("ParamMatrix"), "PCell");
  ASSERT_EQ(cells.size(), 2u);
  EXPECT_EQ(number(cells[0].attribute("beta")), b[0]) << "intercept of the last group";
  EXPECT_EQ(number(cells[1].attribute("beta")), b[1]) << "slope of the last group";
}

}  // namespace
}  // namespace mixed::pmml
