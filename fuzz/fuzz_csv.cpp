// Fuzzes the CSV reader: any bytes either read as a data set or give an error
// naming the file, never a crash or a hang; and a data set that was read
// survives being written as CSV and read again, value for value.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "host/dataset.h"
#include "host/workfile.h"

namespace {

using mixed::host::Dataset;

bool same_number(double a, double b) { return a == b || (mixed::host::is_sysmis(a) && mixed::host::is_sysmis(b)); }

void check_round_trip(const Dataset& d) {
  std::string error;
  const std::optional<Dataset> back = mixed::host::parse_csv(mixed::host::csv_text(d), "written", error);
  if (!back || back->n_variables() != d.n_variables() || back->n_cases() != d.n_cases()) __builtin_trap();
  for (std::size_t v = 0; v < d.n_variables(); ++v) {
    if (back->var(v).name != d.var(v).name || back->var(v).numeric() != d.var(v).numeric()) __builtin_trap();
    for (std::size_t r = 0; r < d.n_cases(); ++r) {
      if (d.var(v).numeric() ? !same_number(back->number(v, r), d.number(v, r)) : back->string(v, r) != d.string(v, r))
        __builtin_trap();
    }
  }
}

// Splitting on the first variable covers every case exactly once.
void check_groups(Dataset& d) {
  d.set_split({0});
  mixed::host::CaseReader reader(d);
  std::size_t next = 0;
  while (reader.next_group()) {
    if (reader.begin() != next || reader.end() < reader.begin()) __builtin_trap();
    next = reader.end();
    (void)reader.split();
  }
  if (next != d.n_cases()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  std::string error;
  std::optional<Dataset> d = mixed::host::parse_csv(text, "fuzz.csv", error);
  if (!d) {
    if (error.rfind("fuzz.csv: ", 0) != 0) __builtin_trap();
    return 0;
  }
  check_round_trip(*d);
  check_groups(*d);
  return 0;
}
