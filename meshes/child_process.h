// A piece of work run in a child process of its own (fork), with a bound on
// the memory it may add and on its time, that sends its result back through a
// pipe. Whatever the work does (crash, hang, exhaust memory) the caller goes
// on, told how it ended. The mesh reader runs so: Assimp, given a hostile
// file, may crash, recurse without end or allocate gigabytes.
#pragma once

#include <cstddef>
#include <functional>

namespace anamorfosi {

struct ChildBudget {
  // Bytes of address space the child may take beyond what it inherits; 0
  // sets no bound (a build with AddressSanitizer, which reserves terabytes,
  // gets none either).
  unsigned long long Bytes = 0;
  // Wall-clock seconds before the child is killed (and as many of processor
  // time, plus one, should the parent be gone).
  double Seconds = 10;
};

enum class ChildEnd {
  kFinished,     // the work returned and the child exited with status 0 (or, in a
                 // parent that ignores SIGCHLD, closed its pipe: its caller's own
                 // record of completion decides)
  kOutOfMemory,  // an allocation failed within the bound
  kTimedOut,     // killed at the end of its time
  kCrashed,      // ended by a signal (Signal)
  kFailed,       // exited with another status (Status), or could not be started
};

struct ChildOutcome {
  ChildEnd End = ChildEnd::kFailed;
  int Signal = 0;
  int Status = 0;
};

// Whether ChildBudget::Bytes is applied in this build.
bool ChildMemoryBoundApplies();

// In the work of RunInChild: whether the child's address space came within
// 8 MiB of its bound. A library may take an allocation refused there for a
// fault of its input and go on (a parser's "out of memory" as a bad file): the
// work tells its caller it ran out of memory instead.
bool ChildNearItsMemoryBound();

// Runs work(fd) in a child process; everything it writes to fd reaches
// receive(data, size) in the parent, in order, while the child runs. The
// child's standard output and error go to /dev/null. The child does only
// async-signal-safe work (setrlimit, prctl, open, dup2, close) between the
// fork and the call of work, so a parent with threads may use it; the child
// ends with _exit, never running the parent's exit handlers or flushing its
// streams. An exception from receive kills the child and goes on to the
// caller.
ChildOutcome RunInChild(const ChildBudget& budget, const std::function<void(int fd)>& work,
                        const std::function<void(const char* data, std::size_t size)>& receive);

}  // namespace anamorfosi
