#include "syntax/outfile.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "model/messages.h"
#include "syntax/parse_support.h"

namespace mixed::syntax {

namespace {

using host::Sym;

constexpr std::size_t kMaxSpec = 255;

// The file specification token of FXMODEL(...) or FXPARAMETER(...).
bool read_file_spec(host::TokenStream& ts, model::Command& cmd, host::Engine& e) {
  const host::Token& t = ts.cur();
  const bool symbol = !t.quoted && (t.type == host::TokenType::End || t.sym == Sym::Slash || t.sym == Sym::RParen);
  if (symbol || t.text.empty()) return fail_here(ts, e, model::Msg::ModelFilenameHasLength0);
  if (!t.quoted && t.sym == Sym::Asterisk) return fail_here(ts, e, model::Msg::OutfileCannotBeAsterisk);
  if (t.text.size() > kMaxSpec) return fail_here(ts, e, model::Msg::FilenameTooLong);
  bool valid = false;
  cmd.outfile_path = expand_file_name(t.text, valid);
  if (!valid) {
    std::string shown = cmd.outfile_path;
    while (!shown.empty() && shown.back() == ' ') shown.pop_back();
    model::issue(e.out, host::Severity::Error,
                 host::Text::key("Invalid file specification ^1 ...").arg(host::Text::raw(shown)));
    ts.skip_subcommand();
    return true;
  }
  ts.next();
  return false;
}

}  // namespace

std::string expand_file_name(std::string_view name, bool& valid) {
  std::string path(name);
  if (path.rfind("~/", 0) == 0) {
    if (const char* home = std::getenv("HOME")) path = std::string(home) + path.substr(1);
  }
  valid = false;
  if (path.empty() || path.find('\0') != std::string::npos || path.back() == '/') return path;
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path p(path);
  if (fs::is_directory(p, ec)) return path;
  const fs::path dir = p.parent_path().empty() ? fs::path(".") : p.parent_path();
  valid = fs::is_directory(dir, ec) && !ec;
  return path;
}

bool parse_outfile(host::TokenStream& ts, model::Command& cmd, host::Engine& e) {
  cmd.outfile_kind = model::OutfileKind::None;
  cmd.outfile_path.clear();
  while (!ts.at_subcommand_end()) {
    const host::Token& t = ts.cur();
    const int keyword =
        t.type == host::TokenType::Name && !t.quoted ? host::keyword_index(t.text, {"FXMODEL", "FXPARAME"}) : 0;
    if (keyword == 0) return fail_here(ts, e, model::Msg::UnrecognizedKeywordInOutfile);
    if (ts.next().sym != Sym::LParen) return fail_here(ts, e, model::Msg::MissingFilenameInOutfile);
    ts.next();
    if (read_file_spec(ts, cmd, e)) return true;
    if (ts.cur().sym != Sym::RParen) return fail_here(ts, e, model::Msg::MissingFilenameInOutfile);
    ts.next();
    cmd.outfile_kind = keyword == 1 ? model::OutfileKind::FixedModel : model::OutfileKind::FixedParameters;
  }
  return false;
}

}  // namespace mixed::syntax
