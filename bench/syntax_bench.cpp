// The command reader on a command of 10 000 fixed and 10 000 random effects:
// the two-factor crossings of 150 factors.  Reading must stay close to linear
// in the number of effects (the duplicate index, not a pairwise comparison).
#include <benchmark/benchmark.h>

#include <string>
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

void BM_ReadTenThousandEffects(benchmark::State& state) {
  constexpr int kFactors = 150, kTerms = 10000;
  host::Dataset data;
  auto factor = [](int i) {
    std::string name(1, 'f');
    name += std::to_string(i);
    return name;
  };
  auto variable = [](std::string name) {
    host::Variable v;
    v.name = std::move(name);
    return v;
  };
  data.add_numeric(variable("y"), {1, 2});
  std::string command = "y BY";
  for (int i = 0; i < kFactors; ++i) {
    data.add_numeric(variable(factor(i)), {1, 2});
    command += ' ' + factor(i);
  }
  std::string effects;
  int terms = 0;
  for (int i = 0; i < kFactors && terms < kTerms; ++i)
    for (int j = i + 1; j < kFactors && terms < kTerms; ++j, ++terms) effects += ' ' + factor(i) + '*' + factor(j);
  command += " /FIXED =" + effects + " /RANDOM =" + effects;

  for (auto _ : state) {
    host::Output out;
    host::Scratch scratch(std::size_t{1} << 28);
    host::Progress progress(false);
    host::Engine engine{out, data, scratch, host::Catalogue::english(), progress};
    model::Command cmd;
    std::vector<host::LexProblem> problems;
    host::TokenStream ts(host::tokenize(command, problems));
    syntax::parse_command(ts, cmd, engine);
    if (out.error_flag() || cmd.n_fixed_effects() != kTerms + 1 || cmd.n_random_effects() != kTerms) {
      state.SkipWithError("the command was not read as 10 000 fixed and random effects");
      break;
    }
  }
}
BENCHMARK(BM_ReadTenThousandEffects)->Unit(benchmark::kMillisecond);

}  // namespace
