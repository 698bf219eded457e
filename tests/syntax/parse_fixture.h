// A small data set and the reading of one MIXED command against it, shared by
// the tests of the command reader.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "host/catalogue.h"
#include "host/dataset.h"
#include "host/engine.h"
#include "host/output.h"
#include "host/scratch.h"
#include "host/tokens.h"
#include "model/command.h"
#include "syntax/dispatcher.h"

// The tests of the command reader open this namespace, so that they name the
// fixture and the severities unqualified.
namespace mixed::parse_fixture {

using host::Severity;

inline host::Variable named(std::string name) {
  host::Variable v;
  v.name = std::move(name);
  return v;
}

// y dependent; a, b, c numeric factors and g a string factor; x, z covariates;
// id, id2 subject variables; t a repeated-measures variable; s a string
// variable; w a weight; um a numeric variable with a user-missing value.
inline host::Dataset sample_data() {
  host::Dataset d;
  const std::vector<double> v = {1, 2, 3, 4};
  for (const char* name : {"y", "a", "b", "c"}) d.add_numeric(named(name), v);
  d.add_string(named("g"), {"F", "M", "F", "M"});
  for (const char* name : {"x", "z", "id", "id2", "t"}) d.add_numeric(named(name), v);
  d.add_string(named("s"), {"p", "q", "r", "s"});
  d.add_numeric(named("w"), v);
  host::Variable um = named("um");
  um.missing.values = {9};
  d.add_numeric(um, v);
  return d;
}

struct Seen {
  int number;  // 0 for a message built outside the catalogue
  host::Severity severity;
  int msg_class;
  std::string text;
};

// One command read by the dispatcher.
struct Parsed {
  host::Dataset data;
  host::Output out;
  host::Scratch scratch{std::size_t{1} << 28};
  host::Progress progress{false};
  host::Engine eng{out, data, scratch, host::Catalogue::english(), progress};
  model::Command cmd;

  explicit Parsed(std::string_view command, host::Dataset d = sample_data()) : data(std::move(d)) {
    std::vector<host::LexProblem> problems;
    host::TokenStream ts(host::tokenize(command, problems));
    syntax::parse_command(ts, cmd, eng);
  }

  std::vector<Seen> messages() const {
    std::vector<Seen> seen;
    for (const host::Item& item : out.items())
      if (const auto* m = std::get_if<host::Message>(&item))
        seen.push_back({m->number.value_or(0), m->severity, m->msg_class, m->text.json()});
    return seen;
  }
  bool failed() const { return out.error_flag(); }
};

// The command produced exactly one message, of this number, severity and text.
inline void expect_only(const Parsed& p, int number, host::Severity severity, std::string_view text,
                        std::string_view what) {
  const std::vector<Seen> m = p.messages();
  ASSERT_EQ(m.size(), 1u) << what << (m.empty() ? "" : ": first " + m[0].text);
  EXPECT_EQ(m[0].number, number) << what;
  EXPECT_EQ(m[0].severity, severity) << what;
  EXPECT_EQ(m[0].text, text) << what;
}

inline void expect_error(std::string_view command, int number, std::string_view text) {
  const Parsed p(command);
  expect_only(p, number, host::Severity::Error, text, command);
  EXPECT_TRUE(p.failed()) << command;
}

inline void expect_clean(const Parsed& p, std::string_view what) {
  const std::vector<Seen> m = p.messages();
  EXPECT_TRUE(m.empty()) << what << ": " << (m.empty() ? "" : m[0].text);
}

}  // namespace mixed::parse_fixture
