// The display catalogue: the English text shown for each key of the output.
//
// The texts the procedure hands to the output are keys (for example "B0", or
// "Dep variable is ^1"); JSON carries the keys, the text and HTML reports show
// the catalogue's English for them, with the same placeholders.  A key the
// catalogue does not hold is shown as it stands.  The engine's numbered texts
// (15901 to 15908) live here too.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace mixed::host {

class Catalogue {
 public:
  // The built-in English catalogue.
  static const Catalogue& english();

  // The display template for `key`, or `key` itself when the catalogue has none.
  std::string_view lookup(std::string_view key) const;
  bool contains(std::string_view key) const;

  // The engine's numbered text, or nothing when it has none.
  std::optional<std::string> numbered(int number) const;

  // Every key with its display template (for checks over the whole catalogue).
  const std::unordered_map<std::string, std::string>& entries() const { return texts_; }

  void add(std::string key, std::string display);
  void add_numbered(int number, std::string text);

 private:
  std::unordered_map<std::string, std::string> texts_;
  std::unordered_map<int, std::string> numbered_;
};

}  // namespace mixed::host
