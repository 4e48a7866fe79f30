#include "meshes/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <new>
#include <thread>

namespace anamorfosi {

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizerReservesMemory = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool kSanitizerReservesMemory = true;
#else
constexpr bool kSanitizerReservesMemory = false;
#endif
#else
constexpr bool kSanitizerReservesMemory = false;
#endif

// The child's exit status when an allocation fails, and when the work threw.
constexpr int kOutOfMemoryStatus = 121;
constexpr int kThrewStatus = 122;

[[noreturn]] void OutOfMemory() { ::_exit(kOutOfMemoryStatus); }

// The process's address space in bytes, from /proc/self/statm (its first
// number, in pages); 0 when it cannot be read. Read with open and read only,
// nothing allocated.
unsigned long long AddressSpaceInUse() {
  const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char text[128];
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (n <= 0) return 0;
  unsigned long long pages = 0;
  for (ssize_t i = 0; i < n && text[i] >= '0' && text[i] <= '9'; ++i) pages = pages * 10 + static_cast<unsigned>(text[i] - '0');
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  return pageSize > 0 ? pages * static_cast<unsigned long long>(pageSize) : 0;
}

// Lowers a limit to value (soft and hard), never raising it.
void Lower(int resource, unsigned long long value) {
  rlimit now{};
  if (::getrlimit(resource, &now) != 0) return;
  const rlim_t v = static_cast<rlim_t>(value);
  if (now.rlim_max != RLIM_INFINITY && now.rlim_max < v) return;
  const rlimit lowered{v, v};
  ::setrlimit(resource, &lowered);
}

// In the child, before the work: async-signal-safe calls only.
void PrepareChild(int readEnd, pid_t parent, unsigned long long addressSpace, unsigned long long cpuSeconds) {
  ::close(readEnd);
  // Gone with the parent; should the parent already be gone, at once.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(kThrewStatus);
  // A crash ends the child plainly: no core file, no handler of the parent's
  // (a sanitizer's, say) reporting on a library's fault.
  for (const int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGPIPE, SIGXCPU, SIGALRM}) ::signal(s, SIG_DFL);
  // Nothing of the child's on the parent's streams (a library's assertion
  // text, say): the pipe is its only way out.
  const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null >= 0) {
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    ::close(null);
  }
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  Lower(RLIMIT_CORE, 0);
  Lower(RLIMIT_FSIZE, 0);
  Lower(RLIMIT_CPU, cpuSeconds);
  if (addressSpace > 0) Lower(RLIMIT_AS, addressSpace);
  std::set_new_handler(OutOfMemory);
}

}  // namespace

bool ChildMemoryBoundApplies() { return !kSanitizerReservesMemory; }

bool ChildNearItsMemoryBound() {
  rlimit bound{};
  if (::getrlimit(RLIMIT_AS, &bound) != 0 || bound.rlim_cur == RLIM_INFINITY) return false;
  // The peak of the address space, "VmPeak: N kB" in /proc/self/status.
  const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char text[4096];
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (n <= 0) return false;
  text[n] = '\0';
  const char* at = std::strstr(text, "VmPeak:");
  if (!at) return false;
  at += 7;
  while (*at == ' ' || *at == '\t') ++at;
  unsigned long long kb = 0;
  for (; *at >= '0' && *at <= '9'; ++at) kb = kb * 10 + static_cast<unsigned>(*at - '0');
  return kb * 1024 + (8ULL << 20) >= static_cast<unsigned long long>(bound.rlim_cur);
}

ChildOutcome RunInChild(const ChildBudget& budget, const std::function<void(int fd)>& work,
                        const std::function<void(const char* data, std::size_t size)>& receive) {
  ChildOutcome outcome;
  // The bound counts from the address space the child inherits.
  unsigned long long addressSpace = 0;
  if (budget.Bytes > 0 && ChildMemoryBoundApplies()) {
    const unsigned long long inUse = AddressSpaceInUse();
    if (inUse > 0) addressSpace = inUse + budget.Bytes;
  }
  // Processor time only as a fence should the parent be gone: the wall clock
  // below is the one that counts.
  const auto cpuSeconds = static_cast<unsigned long long>(std::ceil(budget.Seconds)) + 1;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    outcome.Status = -1;
    return outcome;
  }
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    outcome.Status = -1;
    return outcome;
  }
  if (pid == 0) {
    PrepareChild(fds[0], parent, addressSpace, cpuSeconds);
    try {
      work(fds[1]);
    } catch (...) {
      ::_exit(kThrewStatus);
    }
    ::_exit(0);
  }
  ::close(fds[1]);

  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(budget.Seconds));
  auto msLeft = [&] {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(std::min<long long>(left, 1 << 30)) : 0;
  };
  bool killed = false;
  auto kill = [&] {
    if (!killed) ::kill(pid, SIGKILL);
    killed = true;
  };
  int status = 0;
  bool reaped = false;
  try {
    char buffer[1 << 16];
    for (;;) {
      const int wait = msLeft();
      if (wait == 0) {
        kill();
        break;
      }
      pollfd p{fds[0], POLLIN, 0};
      const int ready = ::poll(&p, 1, wait);
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) continue;  // the deadline, tested above
      const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      receive(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    fds[0] = -1;
    // The child closed its end; it may still be busy, up to the deadline.
    for (;;) {
      const pid_t done = ::waitpid(pid, &status, WNOHANG);
      if (done == pid) break;
      if (done < 0 && errno == ECHILD) {
        // Reaped already: a parent that ignores SIGCHLD never learns how its
        // children end. The pipe closed: finished, as far as can be told.
        reaped = true;
        break;
      }
      if (done < 0 && errno != EINTR) {
        outcome.Status = -1;
        return outcome;
      }
      if (done == 0 && msLeft() == 0) kill();
      if (done == 0 && !killed) std::this_thread::sleep_for(std::chrono::milliseconds(2));
      if (done == 0 && killed) {
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        break;
      }
    }
  } catch (...) {
    kill();
    if (fds[0] >= 0) ::close(fds[0]);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    throw;
  }
  if (killed) {
    outcome.End = ChildEnd::kTimedOut;
  } else if (reaped) {
    outcome.End = ChildEnd::kFinished;
  } else if (WIFEXITED(status)) {
    outcome.Status = WEXITSTATUS(status);
    outcome.End = outcome.Status == 0                    ? ChildEnd::kFinished
                  : outcome.Status == kOutOfMemoryStatus ? ChildEnd::kOutOfMemory
                                                         : ChildEnd::kFailed;
  } else if (WIFSIGNALED(status)) {
    outcome.Signal = WTERMSIG(status);
    // Killed by its processor time limit: out of time as well.
    outcome.End = outcome.Signal == SIGXCPU ? ChildEnd::kTimedOut : ChildEnd::kCrashed;
  }
  return outcome;
}

}  // namespace anamorfosi
