#include "driver/mixctl.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <new>

#include "data/case_pass.h"
#include "data/descriptives.h"
#include "data/design.h"
#include "data/group.h"
#include "data/saved.h"
#include "data/subjects.h"
#include "emmeans/emmeans.h"
#include "estimate/estimate.h"
#include "estimate/estimates.h"
#include "export/pmml.h"
#include "host/workfile.h"
#include "inference/custom_tests.h"
#include "inference/post.h"
#include "inference/saved_values.h"
#include "model/command.h"
#include "model/messages.h"
#include "syntax/dispatcher.h"

namespace mixed::driver {

namespace {

// Runs one stage; a memory shortage that escapes it is reported with the
// stage's own "Insufficient ... memory" message.
template <class F>
double run_stage(host::Engine& e, model::Msg memory_message, F&& stage) {
  const auto start = std::chrono::steady_clock::now();
  try {
    stage();
  } catch (const std::bad_alloc&) {
    model::issue_message(e.out, memory_message, model::kOtherClass, host::Severity::Error);
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The --timing report of one split group, one JSON line on stderr.
void report_timing(const data::GroupData& group, const estimate::Estimates& est, int group_number, double case_pass,
                   double design, double fit) {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::fprintf(stderr,
               "{\"group\":%d,\"cases\":%zu,\"case_pass_seconds\":%.6f,\"design_seconds\":%.6f,"
               "\"estimate_seconds\":%.6f,\"iterations\":%d,\"evaluations\":%ld,\"peak_rss_mb\":%.1f}\n",
               group_number, group.ncases, case_pass, design, fit, est.iterations, est.evaluations,
               static_cast<double>(usage.ru_maxrss) / 1024.0);
}

bool failed(host::Engine& e) { return e.out.error_flag() || model::stop_if_interrupted(e.out); }

// End of a split group: the group's scratch pools are released.
void end_group(data::GroupData& group, host::Engine& e) {
  for (host::Pool pool : {host::Pool::PostEstimation, host::Pool::MarginalMeans, host::Pool::GroupWork})
    e.scratch.free_pool(pool);
  group.workfile.reset();
}

struct GroupTimes {
  double case_pass = 0, design = 0, fit = 0;
};

// One split group after its case pass: the stages from the subject ordering to
// the model file, each reading what the earlier ones produced.  Returns false
// when the split loop must end (an error was issued).
bool analyse_group(const model::Command& cmd, data::GroupData& group, data::SaveFiles& save_files, host::Engine& e,
                   int group_counter, GroupTimes& times, estimate::Estimates& est) {
  if (cmd.n_class_vars() > 0) {
    times.design += run_stage(e, model::Msg::InsufficientDataMemory, [&] { data::order_subjects(cmd, group, e); });
    if (failed(e)) return false;
  }
  if (cmd.print_descriptives) {
    run_stage(e, model::Msg::InsufficientOutputMemory, [&] { data::descriptives(cmd, group, e); });
    if (failed(e)) return false;
  }
  times.design += run_stage(e, model::Msg::InsufficientDataMemory, [&] { data::design_columns(cmd, group, e); });
  if (failed(e)) return false;
  bool fitted = true;
  times.fit =
      run_stage(e, model::Msg::InsufficientEstimateMemory, [&] { estimate::estimate(cmd, group, est, e, fitted); });
  if (failed(e)) return false;
  if (!fitted) return true;
  run_stage(e, model::Msg::InsufficientOutputMemory, [&] { inference::post_estimation(cmd, group, est, e); });
  if (failed(e)) return false;
  if (cmd.n_tests() > 0) {
    run_stage(e, model::Msg::InsufficientOutputMemory, [&] { inference::custom_hypothesis_tests(cmd, group, est, e); });
    if (failed(e)) return false;
  }
  if (cmd.n_emmeans() > 0) {
    run_stage(e, model::Msg::InsufficientEmmeansMemory, [&] { emmeans::estimated_marginal_means(cmd, group, est, e); });
    if (failed(e)) return false;
  }
  if (cmd.n_saved() > 0) {
    run_stage(e, model::Msg::InsufficientSaveMemory,
              [&] { inference::compute_saved_values(cmd, group, est, save_files, e, group_counter); });
    if (failed(e)) return false;
  }
  if (cmd.outfile_kind != model::OutfileKind::None)
    run_stage(e, model::Msg::InsufficientOutputMemory, [&] { pmml::write_pmml(cmd, group, est, e); });
  return !failed(e);
}

}  // namespace

void run_mixed_command(host::TokenStream& tokens, host::Engine& e) {
  const int depth = e.out.heading_depth();
  e.out.begin_heading(host::Text::key("Mixed"));
  model::Command cmd;
  data::SaveFiles save_files;
  e.scratch.free_all();

  run_stage(e, model::Msg::InsufficientParseMemory, [&] { syntax::parse_command(tokens, cmd, e); });

  if (!failed(e)) {
    if (cmd.n_saved() > 0) {
      save_files.cases = std::make_unique<host::WorkFile>(e.scratch, 1);
      save_files.values = std::make_unique<host::WorkFile>(e.scratch, static_cast<std::size_t>(cmd.n_saved()));
    }
    host::CaseReader reader(e.data);
    int group_counter = 0;
    while (reader.next_group()) {
      data::GroupData group;
      estimate::Estimates est;
      bool analysable = true;
      GroupTimes times;
      times.case_pass = run_stage(e, model::Msg::InsufficientDataMemory, [&] {
        data::case_pass(cmd, group, save_files, e, reader, group_counter, analysable);
      });
      if (failed(e)) break;
      if (!analysable) {
        end_group(group, e);
        continue;
      }
      const bool go_on = analyse_group(cmd, group, save_files, e, group_counter, times, est);
      if (e.timing) report_timing(group, est, group_counter, times.case_pass, times.design, times.fit);
      end_group(group, e);
      if (!go_on) break;
    }
  }

  if (!failed(e) && cmd.n_saved() > 0)
    run_stage(e, model::Msg::InsufficientSaveMemory, [&] { data::write_saved_variables(cmd, save_files, e); });
  save_files.cases.reset();
  save_files.values.reset();
  e.scratch.free_all();
  e.progress.reset();
  e.out.set_split({});
  while (e.out.heading_depth() > depth) e.out.end_heading();
}

}  // namespace mixed::driver
