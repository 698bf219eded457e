// The text report of a table of 40 000 rows and two statistics.  The layout
// must stay linear in the number of rows; a quadratic one takes minutes here.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "host/catalogue.h"
#include "host/output.h"
#include "host/writers.h"

namespace {

using namespace mixed::host;

void BM_TextReportOfALargeTable(benchmark::State& state) {
  const int n_rows = static_cast<int>(state.range(0));
  Output out;
  PivotTable t(Text::key("Descriptive Statistics"), Text::key("Descriptive Statistics"));
  const int r = t.add_dimension(Text::key("Case"), Axis::Row);
  const int c = t.add_dimension(Text::key("Statistics"), Axis::Column);
  std::vector<int> rows;
  for (int i = 0; i < n_rows; ++i) rows.push_back(t.add_category(r, Text::integer(i)));
  const int m = t.add_category(c, Text::key("Mean"));
  const int s = t.add_category(c, Text::key("Standard Deviation"));
  for (int i = 0; i < n_rows; ++i) {
    t.put({rows[i], m}, CellValue::num(i * 0.5, Format::mean()));
    t.put({rows[i], s}, CellValue::num(1.0, Format::stddev()));
  }
  out.add(std::move(t));
  for (auto _ : state) {
    const std::string text = write_text(out, Catalogue::english());
    benchmark::DoNotOptimize(text.data());
  }
  state.SetComplexityN(n_rows);
}
BENCHMARK(BM_TextReportOfALargeTable)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond)->Complexity();

}  // namespace
