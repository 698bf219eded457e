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

#include "export/pmml.h"
#include "inference/post.h"
#include "model/command.h"
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
    path = fs::temp_directory_path() / ("pmml_test_" + std::to_string(::getpid()) + "_" + std::to_string(++counter));
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
  void write(const std::string& path, model::OutfileKind kind) {
    cmd.outfile_path = path;
    cmd.outfile_kind = kind;
    write_pmml(cmd, group, est, engine);
  }
};

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
  std::string extension(pugi::xml_node parent, const char* name) const {
    return parent.find_child_by_attribute("Extension", "name", name).attribute("value").value();
  }
  double criterion(const char* name) const { return std::strtod(extension(model(), name).c_str(), nullptr); }
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

TEST(Pmml, MaximumLikelihoodCriteriaCountTheFixedParameters) {
  Model m(orthodont());
  ASSERT_TRUE(
      m.fit("distance BY Sex WITH age /FIXED = Sex age Sex*age /METHOD = ML "
            "/RANDOM = INTERCEPT | SUBJECT(Subject) /OUTFILE = FXPARAMETER('/tmp/unused.xml')."));
  ASSERT_EQ(m.est.fixed_rank, 4);
  ASSERT_EQ(m.est.n_cov_params, 2);
  TempDir dir;
  m.write(dir.file("ml.xml"), model::OutfileKind::FixedParameters);
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
  m.write(dir.file("ols.xml"), model::OutfileKind::FixedModel);
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
    csv << 10 + (i * 7) % 5 + 0.5 * (i % 3) << "," << 1 + i % 3 << "," << h[(i / 3) % 3] << "," << 0.25 * i + 1 << "\n";
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

TEST(Pmml, DocumentsValidateAgainstTheSchema) {
  if (!have_xmllint()) GTEST_SKIP() << "xmllint is not installed";
  TempDir dir;
  Model ri(orthodont());
  ASSERT_TRUE(ri.fit(kRandomIntercept));
  ri.write(dir.file("model.xml"), model::OutfileKind::FixedModel);
  ri.write(dir.file("params.xml"), model::OutfileKind::FixedParameters);
  EXPECT_TRUE(validates(dir.file("model.xml")));
  EXPECT_TRUE(validates(dir.file("params.xml")));

  Model labelled(labelled_data());
  ASSERT_TRUE(labelled.fit(std::string(kLabelledModel) + " /OUTFILE = FXMODEL('/tmp/unused.xml')."));
  labelled.write(dir.file("labelled.xml"), model::OutfileKind::FixedModel);
  EXPECT_TRUE(validates(dir.file("labelled.xml"))) << "missing values, ranges, labels and a non-UTF-8 level";

  // Without fixed columns the model has no parameters and no PCovMatrix,
  // which the schema requires to hold at least one cell.
  Model empty(orthodont());
  ASSERT_TRUE(
      empty.fit("distance /FIXED = | NOINT /RANDOM = INTERCEPT | SUBJECT(Subject) "
                "/OUTFILE = FXMODEL('/tmp/unused.xml')."));
  ASSERT_EQ(empty.group.n_fixed_columns, 0);
  empty.write(dir.file("empty.xml"), model::OutfileKind::FixedModel);
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
                          "/reference/data/Orthodont.csv' --split Sex '" + dir.file("split.cmd") + "' --json '" + json +
                          "' >/dev/null 2>&1";
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
