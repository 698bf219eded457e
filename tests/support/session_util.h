// Test support for the test folders that run the procedure's stages
// themselves (each folder is an executable of its own, so this header is
// all inline): data sets from CSV text or from the shared reference files,
// and a session holding a data set, the engine services and one settings
// record, as the procedure driver holds them for one command.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/case_pass.h"
#include "data/design.h"
#include "data/subjects.h"
#include "estimate/estimate.h"
#include "host/engine.h"
#include "host/tokens.h"
#include "host/workfile.h"
#include "model/command.h"
#include "syntax/dispatcher.h"

namespace mixed::test_support {

// A data set from CSV text (fails the test when it does not parse).
inline host::Dataset csv(std::string_view text) {
  std::string error;
  std::optional<host::Dataset> d = host::parse_csv(text, "test.csv", error);
  EXPECT_TRUE(d.has_value()) << error;
  return d ? std::move(*d) : host::Dataset{};
}

// A data set from one of the shared reference files.
inline host::Dataset reference_csv(const std::string& name) {
  std::string error;
  std::optional<host::Dataset> d = host::read_csv(std::string(MIXED_SHARED_DIR) + "/reference/data/" + name, error);
  EXPECT_TRUE(d.has_value()) << error;
  return d ? std::move(*d) : host::Dataset{};
}

struct Session {
  explicit Session(host::Dataset d, std::size_t budget = host::Scratch::default_budget())
      : data(std::move(d)), scratch(budget) {}
  host::Dataset data;
  host::Output out;
  host::Scratch scratch;
  host::Progress progress{false};
  host::Engine engine{out, data, scratch, host::Catalogue::english(), progress};
  model::Command cmd;          // the parsed command
  data::GroupData group;       // the split group the stages work on
  estimate::Estimates est;     // its fit
  data::SaveFiles save_files;  // SAVE's scratch files, when a test opens them
};

// Reads the command text after the name MIXED, then takes the first split
// group through the case pass, subject ordering, the design and estimation,
// as the procedure driver does for an unsplit file.  False when a stage issued
// an error or the case pass found the group not analysable; `analysable` is
// what the stages left.
inline bool fit(Session& session, std::string_view command, bool& analysable) {
  model::Command& cmd = session.cmd;
  std::vector<host::LexProblem> problems;
  host::TokenStream tokens(host::tokenize(command, problems));
  syntax::parse_command(tokens, cmd, session.engine);
  if (session.out.error_flag()) return false;
  host::CaseReader reader(session.data);
  reader.next_group();
  int group_number = 0;
  analysable = true;
  session.group = data::GroupData{};
  session.est = estimate::Estimates{};
  data::GroupData& group = session.group;
  data::case_pass(cmd, group, session.save_files, session.engine, reader, group_number, analysable);
  if (session.out.error_flag() || !analysable) return false;
  if (cmd.n_class_vars() > 0) data::order_subjects(cmd, group, session.engine);
  data::design_columns(cmd, group, session.engine);
  if (session.out.error_flag()) return false;
  estimate::estimate(cmd, group, session.est, session.engine, analysable);
  return !session.out.error_flag();
}

}  // namespace mixed::test_support
