#include "estimate/estimate_util.h"

#include <gtest/gtest.h>

#include "data/case_pass.h"
#include "data/design.h"
#include "data/subjects.h"
#include "estimate/estimate.h"
#include "host/tokens.h"
#include "host/workfile.h"
#include "syntax/dispatcher.h"

namespace mixed::estimate::testing {

host::Dataset reference_data(const std::string& file) {
  std::string error;
  auto d = host::read_csv(std::string(MIXED_SOURCE_DIR) + "/../shared/reference/data/" + file, error);
  EXPECT_TRUE(d.has_value()) << error;
  return d ? std::move(*d) : host::Dataset();
}

host::Dataset csv_data(std::string_view text) {
  std::string error;
  auto d = host::parse_csv(text, "test.csv", error);
  EXPECT_TRUE(d.has_value()) << error;
  return d ? std::move(*d) : host::Dataset();
}

Fitted::Fitted(host::Dataset d) : data(std::move(d)) {}

bool Fitted::run(std::string_view command) {
  if (command.substr(0, 6) == "MIXED ") command.remove_prefix(6);
  std::vector<host::LexProblem> problems;
  host::TokenStream tokens(host::tokenize(command, problems));
  syntax::parse_command(tokens, s(), engine);
  if (out.error_flag()) return false;
  host::CaseReader reader(data);
  reader.next_group();
  int group = 0;
  analysable = true;
  s().reset_group();
  data::case_pass(s(), engine, reader, group, analysable);
  if (out.error_flag() || !analysable) return false;
  if (s().nclsvr() > 0) data::order_subjects(s(), engine);
  data::design_columns(s(), engine);
  if (out.error_flag()) return false;
  estimate::estimate(s(), engine, analysable);
  return !out.error_flag();
}

}  // namespace mixed::estimate::testing
