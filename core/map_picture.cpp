#include "core/map_picture.h"

#include <system_error>

namespace anamorfosi {

int DefaultThreads() {
  const unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : static_cast<int>(n);
}

StepThreads::StepThreads(int threads) : sync_(std::max(1, threads)) {
  for (int i = 1; i < threads; ++i) {
    try {
      workers_.emplace_back(&StepThreads::Work, this, i);
    } catch (const std::system_error&) {
      // Fewer threads than asked: the mapping goes on with those it has.
      for (int missing = i; missing < threads; ++missing) sync_.arrive_and_drop();
      break;
    }
  }
}

StepThreads::~StepThreads() {
  if (workers_.empty()) return;
  stop_ = true;
  sync_.arrive_and_wait();
  for (std::thread& t : workers_) t.join();
}

void StepThreads::Work(int thread) {
  for (;;) {
    sync_.arrive_and_wait();  // the step is set, or the end
    if (stop_) return;
    for (long t = next_++; t < tasks_; t = next_++) (*fn_)(t, thread);
    sync_.arrive_and_wait();  // the step is done
  }
}

void StepThreads::Run(long tasks, const std::function<void(long task, int thread)>& fn) {
  if (workers_.empty()) {
    for (long t = 0; t < tasks; ++t) fn(t, 0);
    return;
  }
  tasks_ = tasks;
  fn_ = &fn;
  next_ = 0;
  sync_.arrive_and_wait();
  for (long t = next_++; t < tasks_; t = next_++) fn(t, 0);
  sync_.arrive_and_wait();
}

}  // namespace anamorfosi
