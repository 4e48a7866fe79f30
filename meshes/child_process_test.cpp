#include "meshes/child_process.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace anamorfosi {

namespace {

std::string Received(const ChildBudget& budget, const std::function<void(int)>& work, ChildOutcome& outcome) {
  std::string got;
  outcome = RunInChild(budget, work, [&](const char* data, std::size_t size) { got.append(data, size); });
  return got;
}

void WriteAll(int fd, const std::string& text) {
  for (std::size_t at = 0; at < text.size();) {
    const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
    if (n <= 0) std::_Exit(9);
    at += static_cast<std::size_t>(n);
  }
}

TEST(RunInChild, EverythingTheChildWritesArrivesInOrder) {
  // More than a pipe holds, so that the parent must read while the child writes.
  std::string text;
  for (int i = 0; text.size() < (3 << 20); ++i) text += std::to_string(i) + ",";
  ChildOutcome outcome;
  EXPECT_EQ(Received({64ULL << 20, 20}, [&](int fd) { WriteAll(fd, text); }, outcome), text);
  EXPECT_EQ(outcome.End, ChildEnd::kFinished);
}

TEST(RunInChild, EachWayOfDyingIsToldApart) {
  ChildOutcome outcome;
  Received({0, 20}, [](int fd) {
    WriteAll(fd, "part");
    ::raise(SIGSEGV);
  }, outcome);
  EXPECT_EQ(outcome.End, ChildEnd::kCrashed);
  EXPECT_EQ(outcome.Signal, SIGSEGV);

  Received({0, 20}, [](int) { std::abort(); }, outcome);
  EXPECT_EQ(outcome.End, ChildEnd::kCrashed);
  EXPECT_EQ(outcome.Signal, SIGABRT);

  Received({0, 20}, [](int) { ::_exit(7); }, outcome);
  EXPECT_EQ(outcome.End, ChildEnd::kFailed);
  EXPECT_EQ(outcome.Status, 7);

  // An exception out of the work does not go on in the child as the parent.
  Received({0, 20}, [](int) { throw std::runtime_error("no"); }, outcome);
  EXPECT_EQ(outcome.End, ChildEnd::kFailed);
}

TEST(RunInChild, AChildThatNeverEndsIsKilledAtItsTime) {
  ChildOutcome outcome;
  // Asleep with its end of the pipe open, then busy after closing it: both are killed.
  Received({0, 0.3}, [](int) {
    for (;;) ::pause();
  }, outcome);
  EXPECT_EQ(outcome.End, ChildEnd::kTimedOut);
  Received({0, 0.3}, [](int fd) {
    ::close(fd);
    volatile unsigned long spins = 0;
    for (;;) {
      spins = spins + 1;
    }
  }, outcome);
  EXPECT_EQ(outcome.End, ChildEnd::kTimedOut);
}

TEST(RunInChild, AChildThatAllocatesWithoutEndRunsOutOfItsMemory) {
  if (!ChildMemoryBoundApplies()) GTEST_SKIP() << "a sanitizer reserves the address space: no bound applies";
  ChildOutcome outcome;
  const std::string got = Received({64ULL << 20, 20}, [](int fd) {
    std::vector<std::vector<char>> held;
    for (int i = 0; i < 4096; ++i) held.emplace_back(1 << 20, 'x');  // 4 GiB, if it could
    WriteAll(fd, "all of it");
  }, outcome);
  EXPECT_EQ(outcome.End, ChildEnd::kOutOfMemory);
  EXPECT_EQ(got, "");
}

TEST(RunInChild, AParentThatIgnoresSIGCHLDStillGetsEverything) {
  struct sigaction ignore{}, before{};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGCHLD, &ignore, &before);
  ChildOutcome outcome;
  const std::string got = Received({0, 20}, [](int fd) { WriteAll(fd, "all"); }, outcome);
  ::sigaction(SIGCHLD, &before, nullptr);
  EXPECT_EQ(got, "all");
  EXPECT_EQ(outcome.End, ChildEnd::kFinished);
}

TEST(RunInChild, AParentWithThreadsForksSafely) {
  // Threads busy with the allocator while children are forked and allocate.
  std::atomic<bool> stop{false};
  std::vector<std::thread> busy;
  for (int t = 0; t < 3; ++t) {
    busy.emplace_back([&] {
      while (!stop) std::vector<std::string> v(100, std::string(200, 'y'));
    });
  }
  for (int i = 0; i < 20; ++i) {
    ChildOutcome outcome;
    const std::string got = Received({256ULL << 20, 20}, [](int fd) {
      std::vector<std::string> v(1000, std::string(100, 'z'));
      WriteAll(fd, std::to_string(v.size()));
    }, outcome);
    EXPECT_EQ(outcome.End, ChildEnd::kFinished);
    EXPECT_EQ(got, "1000");
  }
  stop = true;
  for (std::thread& t : busy) t.join();
}

}  // namespace

}  // namespace anamorfosi
