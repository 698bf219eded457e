// Declarative end-to-end cases: every file tests/golden/cases/*.test holds
// cases of this form, each run through the program and checked against its
// JSON output and exit status.
//
//   case: <name>
//   data: <file in tests/golden/data, or ref:<file> for the shared reference data>
//   args: <further command-line arguments, blank-separated>        (optional)
//   command:
//   <command text, any number of lines>
//   end
//   exit: <status>                                                  (optional)
//   message: <number or -> <error|warning> <exact text>             (any number)
//   nomessage: <number>                                             (any number)
//   onlymessages                                                    (no other messages)
//   table: <title or internal name>                                 (the table must exist)
//   notable: <title or internal name>
//   cell: <table> | <dim>=<leaf>; <dim>=<leaf> | <value> [| <tolerance>]
//   cellnote: <table> | <dim>=<leaf>; ... | <exact footnote text>
//   tablenote: <table> | <exact footnote text>
//   stdout: <text that the text report must contain>
//   stderr: <text that standard error must contain>
//
// In args, {data} stands for the folder tests/golden/data.
//
// A cell value is a number (compared with the relative tolerance, default
// 1e-9), "missing" (null), or a text compared exactly with the cell's value.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "golden/golden_util.h"

namespace mixed::golden {
namespace {

namespace fs = std::filesystem;

struct Check {
  std::string kind;
  std::string arg;
};

struct Case {
  std::string file;
  int line = 0;
  std::string name;
  std::string data;
  std::vector<std::string> args;
  std::string command;
  std::vector<Check> checks;
};

std::string trim(std::string s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  const auto e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : s) {
    if (c == sep) {
      out.push_back(trim(cur));
      cur.clear();
    } else {
      cur += c;
    }
  }
  out.push_back(trim(cur));
  return out;
}

std::vector<Case> load_cases() {
  std::vector<Case> cases;
  const fs::path dir = fs::path(source_dir()) / "tests/golden/cases";
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().extension() == ".test") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  for (const fs::path& f : files) {
    std::ifstream in(f);
    std::string line;
    int n = 0;
    Case* c = nullptr;
    while (std::getline(in, line)) {
      ++n;
      if (line.empty() || line[0] == '#') continue;
      const auto colon = line.find(':');
      const std::string key = trim(line.substr(0, colon));
      const std::string value = colon == std::string::npos ? "" : trim(line.substr(colon + 1));
      if (key == "case") {
        cases.push_back({});
        c = &cases.back();
        c->file = f.filename().string();
        c->line = n;
        c->name = value;
        continue;
      }
      if (c == nullptr) continue;
      if (key == "data") {
        c->data = value;
      } else if (key == "args") {
        std::istringstream ss(value);
        for (std::string a; ss >> a;) c->args.push_back(a);
      } else if (key == "command") {
        while (std::getline(in, line) && trim(line) != "end") {
          ++n;
          c->command += line + "\n";
        }
        ++n;
      } else {
        c->checks.push_back({key, value});
      }
    }
  }
  return cases;
}

std::string message_line(const nlohmann::json& m) {
  std::string num = m["number"].is_null() ? "-" : std::to_string(m["number"].get<int>());
  return num + " " + m["severity"].get<std::string>() + " " + m["text"].get<std::string>();
}

std::vector<std::pair<std::string, std::string>> parse_at(const std::string& s) {
  std::vector<std::pair<std::string, std::string>> at;
  for (const std::string& part : split(s, ';')) {
    const auto eq = part.find('=');
    at.emplace_back(trim(part.substr(0, eq)), trim(part.substr(eq + 1)));
  }
  return at;
}

void check_case(const Case& c) {
  SCOPED_TRACE(c.file + ":" + std::to_string(c.line) + " " + c.name);
  std::vector<std::string> args;
  if (!c.data.empty()) {
    const std::string path = c.data.rfind("ref:", 0) == 0 ? shared_dir() + "/reference/data/" + c.data.substr(4)
                                                          : source_dir() + "/tests/golden/data/" + c.data;
    args = {"--data", path};
  }
  for (std::string a : c.args) {
    const auto at = a.find("{data}");
    if (at != std::string::npos) a.replace(at, 6, source_dir() + "/tests/golden/data");
    args.push_back(a);
  }
  const Run run = run_mixed(c.command, args);
  std::vector<std::string> got;
  for (const auto* m : messages(run.doc)) got.push_back(message_line(*m));
  std::string all;
  for (const auto& g : got) all += "\n  " + g;
  SCOPED_TRACE("messages issued:" + all + "\nstderr: " + run.stderr_text);

  std::vector<std::string> expected;
  for (const Check& k : c.checks) {
    if (k.kind == "exit") {
      EXPECT_EQ(run.exit_code, std::stoi(k.arg)) << "exit status";
    } else if (k.kind == "message") {
      expected.push_back(k.arg);
      EXPECT_NE(std::find(got.begin(), got.end(), k.arg), got.end()) << "message: " << k.arg;
    } else if (k.kind == "nomessage") {
      for (const auto& g : got) EXPECT_NE(g.rfind(k.arg + " ", 0), 0u) << "unexpected message " << g;
    } else if (k.kind == "onlymessages") {
      for (const auto& g : got)
        EXPECT_NE(std::find(expected.begin(), expected.end(), g), expected.end()) << "unexpected message " << g;
    } else if (k.kind == "table") {
      EXPECT_FALSE(tables(run.doc, k.arg).empty()) << "table " << k.arg;
    } else if (k.kind == "notable") {
      EXPECT_TRUE(tables(run.doc, k.arg).empty()) << "no table " << k.arg;
    } else if (k.kind == "stderr") {
      EXPECT_NE(run.stderr_text.find(k.arg), std::string::npos) << "stderr contains: " << k.arg;
    } else if (k.kind == "stdout") {
      EXPECT_NE(run.stdout_text.find(k.arg), std::string::npos) << "report contains: " << k.arg;
    } else if (k.kind == "cell" || k.kind == "cellnote" || k.kind == "tablenote") {
      const auto parts = split(k.arg, '|');
      const auto found = tables(run.doc, parts.at(0));
      ASSERT_FALSE(found.empty()) << "table " << parts[0];
      const nlohmann::json& table = *found.front();
      if (k.kind == "tablenote") {
        bool has = false;
        for (const auto& note : table["notes"]) has = has || note == parts.at(1);
        EXPECT_TRUE(has) << "table note " << k.arg;
        continue;
      }
      const nlohmann::json* cl = cell(table, parse_at(parts.at(1)));
      ASSERT_NE(cl, nullptr) << "cell " << k.arg;
      const std::string want = parts.at(2);
      if (k.kind == "cellnote") {
        bool has = false;
        for (const auto& note : (*cl)["notes"]) has = has || note == want;
        EXPECT_TRUE(has) << "cell note " << k.arg << " got " << (*cl)["notes"].dump();
      } else if (want == "missing") {
        EXPECT_TRUE((*cl)["value"].is_null()) << "missing cell " << k.arg << " got " << (*cl)["value"].dump();
      } else if ((*cl)["value"].is_number()) {
        const double tol = parts.size() > 3 ? std::stod(parts[3]) : 1e-9;
        const double w = std::stod(want), v = (*cl)["value"].get<double>();
        EXPECT_LE(std::fabs(v - w), tol * std::max(1.0, std::fabs(w))) << "cell " << k.arg << " got " << v;
      } else {
        EXPECT_EQ((*cl)["value"].is_string() ? (*cl)["value"].get<std::string>() : (*cl)["value"].dump(), want)
            << "cell " << k.arg;
      }
    } else {
      ADD_FAILURE() << "unknown check '" << k.kind << "'";
    }
  }
}

// Names a case in test reports by its file, line and name.
void PrintTo(const Case& c, std::ostream* os) { *os << c.file << ":" << c.line << " " << c.name; }

class Golden : public ::testing::TestWithParam<Case> {};

TEST_P(Golden, Case) { check_case(GetParam()); }

std::string case_name(const ::testing::TestParamInfo<Case>& info) {
  std::string n = info.param.file.substr(0, info.param.file.find('.')) + "_" + std::to_string(info.param.line);
  for (char& ch : n)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return n;
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, ::testing::ValuesIn(load_cases()), case_name);

}  // namespace
}  // namespace mixed::golden
