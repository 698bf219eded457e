// Running the program end to end from the tests: the command file, the data,
// the exit status and the JSON document it writes.
#pragma once

#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>
#include <vector>

namespace mixed::golden {

struct Run {
  int exit_code = -1;
  std::string stdout_text;
  std::string stderr_text;
  nlohmann::json doc;  // the JSON output (null when none was written)
};

// The repository root and the shared reference folder.
std::string source_dir();
std::string shared_dir();

// Runs `mixed` with `args` (data, weight, ...) on the command text, asking for
// the JSON output; extra_files are written beside the command file first.
Run run_mixed(const std::string& command_text, const std::vector<std::string>& args);

// Every item of the document, depth first (headings and their items).
std::vector<const nlohmann::json*> items(const nlohmann::json& doc);
std::vector<const nlohmann::json*> tables(const nlohmann::json& doc, const std::string& name);
std::vector<const nlohmann::json*> messages(const nlohmann::json& doc);

// The cell of a table whose category leaves, per dimension, are `at`
// (dimension name -> leaf label); nullptr when there is none.
const nlohmann::json* cell(const nlohmann::json& table, const std::vector<std::pair<std::string, std::string>>& at);

// A folder of its own under the system's temporary folder, removed with the object.
struct TempDir {
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::filesystem::path path;
};

// A CSV file as its fields, kept as written (quotes included), so that a data
// set can be transformed and written back without changing how the program
// reads the columns left alone. No field holds a comma or a line break.
struct Csv {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
  // The index of the column named `name` (quoted or not); -1 when none.
  int column(const std::string& name) const;
};
Csv read_csv(const std::filesystem::path& file);
void write_csv(const std::filesystem::path& file, const Csv& csv);
// A field without its enclosing quotes.
std::string unquote(const std::string& field);

}  // namespace mixed::golden
