#include "web/jobs.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <regex>
#include <sstream>

namespace anamorfosi {

namespace fs = std::filesystem;
using nlohmann::json;

std::vector<std::string> UploadsToRemove(std::vector<UploadUse> uploads, long long maxBytes, double maxIdle,
                                         double now, const std::string& keep) {
  std::stable_sort(uploads.begin(), uploads.end(),
                   [](const UploadUse& a, const UploadUse& b) { return a.LastUsed < b.LastUsed; });
  long long total = 0;
  for (const UploadUse& u : uploads) total += u.Bytes;
  std::vector<std::string> gone;
  for (const UploadUse& u : uploads) {
    if (u.Id == keep || (total <= maxBytes && now - u.LastUsed <= maxIdle)) continue;
    gone.push_back(u.Id);
    total -= u.Bytes;
  }
  return gone;
}

std::string NewId(State& st) {
  std::lock_guard<std::mutex> g(st.Lock);
  std::ostringstream s;
  s << std::hex << std::setw(16) << std::setfill('0') << st.Random();
  return s.str();
}

std::string ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// An upload's id is only ever one the server made: 16 hex digits.
bool IsId(const std::string& id) { return std::regex_match(id, std::regex("[0-9a-f]{16}")); }

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The file an upload folder holds ("" when none or removed): the uploaded
// one, or for quick its reduced copy where there is one. Counts as a use of
// the upload. The caller holds UploadsLock.
std::string UploadedFile(State& st, const std::string& id, bool quick) {
  const auto known = st.Uploads.find(id);
  if (!IsId(id) || known == st.Uploads.end()) return "";
  known->second.LastUsed = SteadySeconds();
  std::error_code ec;
  std::string whole, reduced;
  for (const auto& e : fs::directory_iterator(fs::path(st.Root) / ("up-" + id), ec))
    (e.path().stem() == "quick" ? reduced : whole) = e.path().string();
  return quick && !reduced.empty() ? reduced : whole;
}

// Removes the uploads beyond the total and those long unused (never keep).
void PruneUploads(State& st, const std::string& keep) {
  std::lock_guard<std::mutex> g(st.UploadsLock);
  std::vector<UploadUse> all;
  for (const auto& [id, use] : st.Uploads) all.push_back(use);
  for (const std::string& id : UploadsToRemove(all, st.UploadsBytes, kUploadIdleSeconds, SteadySeconds(), keep)) {
    std::error_code ec;
    fs::remove_all(fs::path(st.Root) / ("up-" + id), ec);
    st.Uploads.erase(id);
  }
}

long long FolderBytes(const std::string& folder) {
  long long total = 0;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) {
    const auto size = e.file_size(ec);
    if (!ec) total += static_cast<long long>(size);
  }
  return total;
}

namespace {

// Whether the client of a connection has closed it (or half-closed it: a
// client that sends no more is taken as gone; the page's never does).
bool ClientLeft(const pollfd& p) { return (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0; }

// The child's side of a job, between fork and exec: only calls safe in the
// child of a threaded process. The job gets SIGKILL when the thread that
// started it ends; that thread waits for the job, so this happens only when
// the whole server ends, however it ends (a SIGKILL included). A server that
// ended before the prctl took effect is caught by the parent's id.
[[noreturn]] void BecomeJob(const State& st, char* const* argv, int in, int out, int err) {
  if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != st.Server) _exit(127);
  // The soft bound only: the job's own mesh reader sets a tighter one for its child.
  rlimit memory{};
  if (st.JobBytes > 0 && getrlimit(RLIMIT_AS, &memory) == 0) {
    memory.rlim_cur = memory.rlim_max == RLIM_INFINITY ? st.JobBytes : std::min<rlim_t>(st.JobBytes, memory.rlim_max);
    if (setrlimit(RLIMIT_AS, &memory) != 0) _exit(127);
  }
  if (dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(127);
  // Not the server's sockets nor its other files.
  if (syscall(SYS_close_range, 3U, ~0U, 0U) != 0)
    for (int fd = 3; fd < 65536; ++fd) close(fd);
  // The server blocks SIGINT and SIGTERM to wait for them; the job must not.
  struct sigaction usual {};
  usual.sa_handler = SIG_DFL;
  sigaction(SIGINT, &usual, nullptr);
  sigaction(SIGTERM, &usual, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  execv(st.Self.c_str(), argv);
  _exit(127);
}

}  // namespace

// Runs this program with args in its own process, its output streams into
// files of the job's folder (removed once read). A job in a process of its own
// can be ended when its values are stale, gives all its memory back when done,
// and cannot take the server down with it. page, generation: the preview this
// run is for ("" for a download, which nothing ends). client: the request's
// socket (-1: unknown); the job is ended when its client leaves, and after
// the time a job may take.
CommandRun RunChild(State& st, const std::vector<std::string>& args, const std::string& folder,
                    const std::string& page, long generation, int client) {
  CommandRun r;
  std::vector<char*> argv;
  for (const auto& s : args) argv.push_back(const_cast<char*>(s.c_str()));
  argv.push_back(nullptr);
  const std::string outFile = folder + "/.out", errFile = folder + "/.err";
  const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  auto closeFiles = [&] {
    for (int fd : {in, out, err})
      if (fd >= 0) close(fd);
  };
  if (in < 0 || out < 0 || err < 0) {
    closeFiles();
    throw std::runtime_error("the job could not be started");
  }
  // fork and exec rather than posix_spawn: only a child of our own can ask,
  // before it runs the command, to end with the server (BecomeJob).
  std::list<Running>::iterator me;
  pid_t pid = 0;
  {
    std::lock_guard<std::mutex> g(st.Lock);
    const bool stale = !page.empty() && st.Latest[page] > generation;
    if (stale || st.Stopping) {
      r.Superseded = true;
    } else {
      pid = fork();
      if (pid == 0) BecomeJob(st, argv.data(), in, out, err);
      if (pid > 0) me = st.Runs.insert(st.Runs.end(), Running{page, generation, pid, false});
    }
  }
  closeFiles();
  if (r.Superseded) return r;
  if (pid < 0) throw std::runtime_error("the job could not be started");
  // Waited for without reaping it first, so that its id cannot be taken by
  // another process while it may still be ended. A pidfd tells when it ends
  // without a wake-up every moment; without one (an older kernel) it is
  // looked at ten times a second.
  const int ends = static_cast<int>(syscall(SYS_pidfd_open, pid, 0U));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(st.JobSeconds);
  auto end = [&](bool& why) {
    std::lock_guard<std::mutex> g(st.Lock);
    why = true;
    kill(pid, SIGKILL);
  };
  for (bool ended = false;;) {
    siginfo_t info{};
    const int flags = WEXITED | WNOWAIT | (ended ? 0 : WNOHANG);
    if (waitid(P_PID, static_cast<id_t>(pid), &info, flags) == 0 && info.si_pid == pid) break;
    if (ended) continue;  // EINTR
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      end(r.TimedOut);
      ended = true;
      continue;
    }
    pollfd watch[2] = {{ends, POLLIN, 0}, {client, POLLRDHUP, 0}};
    const int wait = static_cast<int>(std::min<long long>(left.count(), ends >= 0 ? 60000 : 100));
    if (poll(watch, 2, wait) > 0 && client >= 0 && ClientLeft(watch[1])) {
      end(r.ClientGone);
      ended = true;
    }
  }
  if (ends >= 0) close(ends);
  {
    std::lock_guard<std::mutex> g(st.Lock);
    r.Superseded = me->Superseded;
    st.Runs.erase(me);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  r.Out = ReadAll(outFile);
  r.Err = ReadAll(errFile);
  std::error_code ec;
  fs::remove(outFile, ec);
  fs::remove(errFile, ec);
  return r;
}

// A preview of generation for page has come: the page's older previews still
// running are ended, and those still waiting will not start.
void Supersede(State& st, const std::string& page, long generation) {
  std::lock_guard<std::mutex> g(st.Lock);
  if (st.Latest.size() > 1000 && !st.Latest.count(page)) st.Latest.clear();  // pages long closed
  long& latest = st.Latest[page];
  latest = std::max(latest, generation);
  for (Running& r : st.Runs)
    if (r.Page == page && r.Generation < latest && !r.Superseded) {
      r.Superseded = true;
      kill(r.Pid, SIGKILL);
    }
}

std::vector<std::string> Messages(const std::string& text, const std::string& folder, const std::string& root) {
  std::vector<std::string> v;
  std::istringstream in(text);
  std::string line;
  auto cut = [&line](const std::string& prefix, const std::string& by) {
    if (prefix.empty()) return;
    for (std::size_t p; (p = line.find(prefix)) != std::string::npos;) line.replace(p, prefix.size(), by);
  };
  while (std::getline(in, line)) {
    if (line.rfind("mapping ", 0) == 0) continue;
    cut(folder + "/", "");
    // Any other name under the private folder is the server's business alone.
    cut(root + "/", "");
    cut(root, "");
    if (line.rfind("anamorfosi: ", 0) == 0) line.erase(0, 12);
    v.push_back(line);
  }
  return v;
}

// A job's own folder with links to the uploads it reads; quick: the reduced
// copy of the picture where there is one.
JobFiles MakeJob(State& st, const json& form, bool quick) {
  JobFiles f;
  f.Folder = (fs::path(st.Root) / ("job-" + std::to_string(++st.Counter))).string();
  fs::create_directory(f.Folder);
  auto take = [&](const char* key, const std::string& field, bool reduced) -> std::string {
    if (!form.contains(key) || !form[key].is_string()) return "";
    const std::string from = form[key] == "card" ? (fs::path(st.Root) / "card" / "cartello.ppm").string()
                                                 : UploadedFile(st, form[key].get<std::string>(), reduced);
    if (from.empty()) throw FieldError(field, field + ": the file is no longer here; choose it again");
    const fs::path to = fs::path(f.Folder) / fs::path(from).filename();
    std::error_code ec;
    fs::create_hard_link(from, to, ec);
    if (ec) fs::copy_file(from, to);
    return to.string();
  };
  // A job that cannot be made leaves no folder behind.
  try {
    std::lock_guard<std::mutex> g(st.UploadsLock);
    f.Picture = take("picture", "picture", quick);
    f.Mirror = take("mirror_file", "mirror_file", false);
    f.Face = take("face_file", "face_file", false);
  } catch (...) {
    std::error_code ec;
    fs::remove_all(f.Folder, ec);
    throw;
  }
  return f;
}

void RemoveJob(const JobFiles& f) {
  std::error_code ec;
  if (!f.Folder.empty()) fs::remove_all(f.Folder, ec);
}

}  // namespace anamorfosi
