#include "golden/golden_util.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace mixed::golden {

namespace fs = std::filesystem;

std::string source_dir() { return MIXED_SOURCE_DIR; }
std::string shared_dir() { return std::string(MIXED_SHARED_DIR); }

namespace {

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace

Run run_mixed(const std::string& command_text, const std::vector<std::string>& args) {
  static std::atomic<int> counter{0};
  const fs::path dir =
      fs::temp_directory_path() / ("mixed-golden-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
  fs::create_directories(dir);
  const fs::path cmd = dir / "commands.sps";
  const fs::path json = dir / "out.json";
  { std::ofstream(cmd) << command_text; }
  std::string line = quote(MIXED_BINARY);
  for (const std::string& a : args) line += " " + quote(a);
  line += " " + quote(cmd.string()) + " --json " + quote(json.string());
  line += " > " + quote((dir / "stdout").string()) + " 2> " + quote((dir / "stderr").string());
  Run r;
  const int status = std::system(line.c_str());
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.stdout_text = slurp(dir / "stdout");
  r.stderr_text = slurp(dir / "stderr");
  if (fs::exists(json)) r.doc = nlohmann::json::parse(slurp(json), nullptr, false);
  fs::remove_all(dir);
  return r;
}

namespace {

void walk(const nlohmann::json& list, std::vector<const nlohmann::json*>& out) {
  for (const auto& it : list) {
    out.push_back(&it);
    if (it.value("kind", "") == "heading") walk(it["items"], out);
  }
}

}  // namespace

std::vector<const nlohmann::json*> items(const nlohmann::json& doc) {
  std::vector<const nlohmann::json*> out;
  if (doc.is_object() && doc.contains("items")) walk(doc["items"], out);
  return out;
}

std::vector<const nlohmann::json*> tables(const nlohmann::json& doc, const std::string& name) {
  std::vector<const nlohmann::json*> out;
  for (const auto* it : items(doc))
    if ((*it)["kind"] == "table" && ((*it)["name"] == name || (*it)["title"] == name)) out.push_back(it);
  return out;
}

std::vector<const nlohmann::json*> messages(const nlohmann::json& doc) {
  std::vector<const nlohmann::json*> out;
  for (const auto* it : items(doc))
    if ((*it)["kind"] == "message") out.push_back(it);
  return out;
}

const nlohmann::json* cell(const nlohmann::json& table, const std::vector<std::pair<std::string, std::string>>& at) {
  for (const auto& c : table["cells"]) {
    bool match = true;
    for (const auto& [dim, leaf] : at) {
      if (!c["at"].contains(dim) || c["at"][dim].empty() || c["at"][dim].back() != leaf) {
        match = false;
        break;
      }
    }
    if (match) return &c;
  }
  return nullptr;
}

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  path = fs::temp_directory_path() / ("mixed-golden-dir-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
  fs::create_directories(path);
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path, ignored);
}

std::string unquote(const std::string& field) {
  if (field.size() >= 2 && field.front() == '"' && field.back() == '"') return field.substr(1, field.size() - 2);
  return field;
}

int Csv::column(const std::string& name) const {
  for (std::size_t k = 0; k < header.size(); ++k)
    if (unquote(header[k]) == name) return static_cast<int>(k);
  return -1;
}

Csv read_csv(const fs::path& file) {
  std::ifstream in(file);
  Csv csv;
  std::string line;
  auto fields = [](const std::string& l) {
    std::vector<std::string> out(1);
    for (char c : l) {
      if (c == ',')
        out.emplace_back();
      else if (c != '\r')
        out.back() += c;
    }
    return out;
  };
  if (std::getline(in, line)) csv.header = fields(line);
  while (std::getline(in, line))
    if (!line.empty() && line != "\r") csv.rows.push_back(fields(line));
  return csv;
}

void write_csv(const fs::path& file, const Csv& csv) {
  std::ofstream out(file);
  auto put = [&](const std::vector<std::string>& fields) {
    for (std::size_t k = 0; k < fields.size(); ++k) out << (k ? "," : "") << fields[k];
    out << '\n';
  };
  put(csv.header);
  for (const auto& row : csv.rows) put(row);
}

}  // namespace mixed::golden
