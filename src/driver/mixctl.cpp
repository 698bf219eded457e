#include "driver/mixctl.h"

#include <new>

#include "data/case_pass.h"
#include "data/descriptives.h"
#include "data/design.h"
#include "data/subjects.h"
#include "driver/messages.h"
#include "driver/settings.h"
#include "estimate/estimate.h"
#include "host/workfile.h"
#include "syntax/dispatcher.h"

namespace mixed::driver {

namespace {

// Runs one stage; a memory shortage that escapes it is reported with the
// stage's own "Insufficient ... memory" message.
template <class F>
void run_stage(host::Engine& e, int memory_message, F&& stage) {
  try {
    stage();
  } catch (const std::bad_alloc&) {
    mxmess(e.out, memory_message, kOtherClass, host::Severity::Error);
  }
}

bool failed(host::Engine& e) { return e.out.error_flag() || ATNJMP(e.out); }

// End of a split group: the group's scratch pools are released.
void end_group(MixSettings& s, host::Engine& e) {
  for (int pool : {12, 11, 10, 3, 4, 5, 7}) e.scratch.free_pool(pool);
  s.workfile.reset();
}

// One split group after its case pass.  Returns false when the split loop must
// end (an error was issued).
bool analyse_group(MixSettings& s, host::Engine& e) {
  if (s.nclsvr() > 0) {
    run_stage(e, 2, [&] { data::order_subjects(s, e); });
    if (failed(e)) return false;
  }
  if (s.prdesc) {
    run_stage(e, 4, [&] { data::descriptives(s, e); });
    if (failed(e)) return false;
  }
  run_stage(e, 2, [&] { data::design_columns(s, e); });
  if (failed(e)) return false;
  bool fitted = true;
  run_stage(e, 3, [&] { estimate::estimate(s, e, fitted); });
  if (failed(e)) return false;
  if (!fitted) return true;
  return true;
}

}  // namespace

void MIXCTL(host::TokenStream& tokens, host::Engine& e) {
  const int depth = e.out.heading_depth();
  e.out.begin_heading(host::Text::key("Mixed"));
  MixSettings s;
  e.scratch.free_all();

  run_stage(e, 1, [&] { syntax::parse_command(tokens, s, e); });

  if (!failed(e)) {
    if (s.nsavtv() > 0) {
      s.mixcas = std::make_unique<host::WorkFile>(e.scratch, 1);
      s.mixprd = std::make_unique<host::WorkFile>(e.scratch, static_cast<std::size_t>(s.nsavtv()));
    }
    host::CaseReader reader(e.data);
    int group_counter = 0;
    while (reader.next_group()) {
      s.reset_group();
      bool analysable = true;
      run_stage(e, 2, [&] { data::case_pass(s, e, reader, group_counter, analysable); });
      if (failed(e)) break;
      if (!analysable) {
        end_group(s, e);
        continue;
      }
      const bool go_on = analyse_group(s, e);
      end_group(s, e);
      if (!go_on) break;
    }
  }

  s.mixcas.reset();
  s.mixprd.reset();
  e.scratch.free_all();
  e.progress.reset();
  e.out.set_split({});
  while (e.out.heading_depth() > depth) e.out.end_heading();
}

}  // namespace mixed::driver
