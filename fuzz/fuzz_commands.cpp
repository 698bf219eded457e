// libFuzzer target: any bytes as a command file, split into commands and each
// command read by the MIXED command reader against a small data set.  The
// reader must end every input in messages, never in a crash, a hang or a
// read out of bounds.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "host/catalogue.h"
#include "host/dataset.h"
#include "host/engine.h"
#include "host/output.h"
#include "host/scratch.h"
#include "host/tokens.h"
#include "model/command.h"
#include "syntax/dispatcher.h"

namespace {

using namespace mixed;

host::Dataset make_data() {
  host::Dataset d;
  auto var = [](const char* name) {
    host::Variable v;
    v.name = name;
    return v;
  };
  const std::vector<double> v = {1, 2, 3, 1, 2, 3};
  for (const char* name : {"y", "a", "b", "x", "z", "id", "t", "w"}) d.add_numeric(var(name), v);
  d.add_string(var("g"), {"F", "M", "F", "M", "F", "M"});
  return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static host::Dataset data = make_data();
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  std::vector<host::LexProblem> problems;
  std::vector<host::Command> commands = host::read_commands(text, problems);
  host::Output out;
  host::Scratch scratch(std::size_t{64} << 20);
  host::Progress progress(false);
  host::Engine engine{out, data, scratch, host::Catalogue::english(), progress};
  for (host::Command& c : commands) {
    host::TokenStream tokens(std::move(c.tokens));
    model::Command cmd;
    out.clear_error_flag();
    syntax::parse_command(tokens, cmd, engine);
    scratch.free_all();
  }
  return 0;
}
