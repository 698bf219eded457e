#include "host/engine.h"

#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

namespace mixed::host {

namespace {

// Written by the signal handler, so a lock-free atomic (async-signal-safe).
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// The first Ctrl-C asks the procedure to stop at its next check, so that the
// output so far is still written; a second one ends the program at once.
void on_sigint(int) {
  if (g_interrupted.exchange(true)) {
    std::signal(SIGINT, SIG_DFL);
    std::raise(SIGINT);
  }
}

}  // namespace

Progress::Progress(bool enabled) : enabled_(enabled && ::isatty(STDERR_FILENO) == 1) {}

void Progress::show(std::string_view label, long count) {
  if (!enabled_) return;
  // Back to the start of the line, the counter, then clear what a longer
  // earlier text left to its right.
  const std::string line = "\r" + std::string(label) + " " + std::to_string(count) + "\033[K";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  shown_ = true;
}

void Progress::reset() {
  if (!enabled_ || !shown_) return;
  std::fputs("\r\033[K", stderr);  // back to the start of the line and clear it
  std::fflush(stderr);
  shown_ = false;
}

void install_interrupt_handler() {
  struct sigaction sa = {};
  sa.sa_handler = on_sigint;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &sa, nullptr);
}

bool interrupted() { return g_interrupted.load(std::memory_order_relaxed); }

void set_interrupted(bool on) { g_interrupted.store(on, std::memory_order_relaxed); }

}  // namespace mixed::host
