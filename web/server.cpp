#include "web/server.h"

#include <httplib.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "web/page_files.h"

namespace anamorfosi {

bool HostAllowed(const std::string& host, const std::vector<std::string>& names, int port) {
  std::string h;
  for (char c : host) h += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const std::string& n : names) {
    const std::string name = n.find(':') != std::string::npos ? "[" + n + "]" : n;
    if (h == name + ":" + std::to_string(port) || (port == 80 && h == name)) return true;
  }
  return false;
}

bool OriginAllowed(const std::string& origin, const std::vector<std::string>& names, int port) {
  const std::string scheme = "http://";
  if (origin.size() <= scheme.size()) return false;
  for (std::size_t i = 0; i < scheme.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(origin[i])) != scheme[i]) return false;
  return HostAllowed(origin.substr(scheme.size()), names, port);
}

namespace {

// The connections served at once, each by a thread of its own, so that slow
// or silent clients hold only their own; beyond it the next ones wait.
constexpr std::size_t kMostConnections = 512;
// A connection's reads and writes each wait at most this long, and a kept-alive
// one this long for its next request.
constexpr int kReadSeconds = 10, kWriteSeconds = 10, kKeepAliveSeconds = 5;

void Refuse(httplib::Response& res, int status, const std::string& message) {
  res.status = status;
  res.set_content(message + "\n", "text/plain; charset=utf-8");
}

// The embedded file a request's path names ("/" the index.html), or none:
// only a path equal to one of their names, so nothing else of the machine
// (no "..", no other file) can be reached.
const PageFile* FileAt(const std::string& path) {
  const std::string name = path == "/" ? "index.html" : path.rfind('/', 0) == 0 ? path.substr(1) : "";
  for (const PageFile& f : PageFiles())
    if (name == f.Name) return &f;
  return nullptr;
}

}  // namespace

void SiteRoutes(httplib::Server& srv, const std::vector<std::string>& names, const int& port, long maxBytes) {
  srv.set_payload_max_length(static_cast<std::size_t>(maxBytes));
  srv.set_read_timeout(kReadSeconds);
  srv.set_write_timeout(kWriteSeconds);
  srv.set_keep_alive_timeout(kKeepAliveSeconds);
  srv.set_keep_alive_max_count(20);
  srv.set_pre_routing_handler([&names, &port, maxBytes](const httplib::Request& req, httplib::Response& res) {
    if (!HostAllowed(req.get_header_value("Host"), names, port)) {
      Refuse(res, 421, "This server answers only at its own address (http://127.0.0.1:" + std::to_string(port) + "/).");
      return httplib::Server::HandlerResponse::Handled;
    }
    // A browser names the page that sent a request; another site's page
    // must not read this one's.
    if (req.has_header("Origin") && !OriginAllowed(req.get_header_value("Origin"), names, port)) {
      Refuse(res, 403, "Requests from other sites are refused: use the page at http://127.0.0.1:" +
                           std::to_string(port) + "/");
      return httplib::Server::HandlerResponse::Handled;
    }
    // A body announced beyond the largest request is refused before it is
    // read, whatever the method (the library bounds only the bodies it reads).
    if (req.has_header("Transfer-Encoding") ||
        std::strtoull(req.get_header_value("Content-Length").c_str(), nullptr, 10) > static_cast<unsigned long long>(maxBytes)) {
      Refuse(res, 413, "The request is too large.");
      res.set_header("Connection", "close");
      return httplib::Server::HandlerResponse::Handled;
    }
    // Only files to read: anything else is refused before its body is read.
    if (req.method != "GET" && req.method != "HEAD") {
      Refuse(res, 405, "Only GET and HEAD are answered here.");
      res.set_header("Allow", "GET, HEAD");
      res.set_header("Connection", "close");
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  srv.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (!res.body.empty()) return;
    Refuse(res, res.status,
           res.status == 413   ? "The request is too large."
           : res.status == 414 ? "The address is too long."
           : res.status == 400 ? "The request cannot be read."
           : res.status == 404 ? "No such page."
                               : "The request failed.");
  });
  srv.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
    Refuse(res, 500, "The server could not do this request.");
  });
  // HEAD is answered by the same handler, without the body.
  srv.Get(".*", [](const httplib::Request& req, httplib::Response& res) {
    const PageFile* f = FileAt(req.path);
    if (!f) {
      res.status = 404;  // worded by the error handler
      return;
    }
    // Asked again each time (no-cache), answered "not modified" while the
    // program is the same, so that a new build's page is never an old one's.
    res.set_header("Cache-Control", "no-cache");
    res.set_header("ETag", f->Tag);
    res.set_header("X-Content-Type-Options", "nosniff");
    if (req.get_header_value("If-None-Match") == f->Tag) {
      res.status = 304;
      return;
    }
    res.set_content(reinterpret_cast<const char*>(f->Data), f->Size, f->Type);
  });
}

namespace {

// The connections' threads: one each, up to a number at once, so that clients
// that send slowly or not at all hold up only themselves; beyond that number a
// connection waits for one to end. A thread left idle for a while ends.
class ConnectionThreads : public httplib::TaskQueue {
 public:
  struct Shared {
    std::mutex Lock;
    std::condition_variable Wake, Done;
    std::deque<std::function<void()>> Waiting;
    std::size_t Live = 0, Idle = 0, Most = 0;
    bool Stopping = false;
  };
  explicit ConnectionThreads(std::shared_ptr<Shared> shared) : S(std::move(shared)) {}

  void enqueue(std::function<void()> fn) override {
    std::lock_guard<std::mutex> g(S->Lock);
    S->Waiting.push_back(std::move(fn));
    // A new thread when the idle ones are fewer than the connections waiting.
    if (S->Waiting.size() > S->Idle && S->Live < S->Most) {
      ++S->Live;
      std::thread(Work, S).detach();
    }
    S->Wake.notify_one();
  }

  // Waits for the connections still open, but not for ever: one whose client
  // keeps it open past this is left to end with the process.
  void shutdown() override {
    std::unique_lock<std::mutex> l(S->Lock);
    S->Stopping = true;
    S->Wake.notify_all();
    S->Done.wait_for(l, std::chrono::seconds(kReadSeconds), [this] { return S->Live == 0; });
  }

 private:
  static void Work(std::shared_ptr<Shared> s) {
    std::unique_lock<std::mutex> l(s->Lock);
    for (;;) {
      ++s->Idle;
      s->Wake.wait_for(l, std::chrono::seconds(30), [&s] { return !s->Waiting.empty() || s->Stopping; });
      --s->Idle;
      if (s->Waiting.empty()) break;  // long idle, or the server stops
      std::function<void()> fn = std::move(s->Waiting.front());
      s->Waiting.pop_front();
      l.unlock();
      fn();
      l.lock();
    }
    --s->Live;
    s->Done.notify_all();
  }
  std::shared_ptr<Shared> S;
};

// Opens the page in the desktop's browser, without a shell.
void OpenBrowser(const std::string& url, std::ostream& err) {
  pid_t pid = 0;
  const char* argv[] = {"xdg-open", url.c_str(), nullptr};
  if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) {
    err << "anamorfosi: could not open a browser: open " << url << " yourself" << std::endl;
    return;
  }
  // Reaped when it ends; a desktop without a browser is told once more, plainly
  // (err is the program's own error stream, which outlives this thread).
  std::thread([pid, url, &err] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
      err << "anamorfosi: no browser could be opened here: open " << url << " yourself" << std::endl;
  }).detach();
}

}  // namespace

int ServePage(const ServeOptions& o, std::ostream& out, std::ostream& err) {
  // Ctrl-C and SIGTERM are waited for here, not taken by a server thread.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  // Each connection takes a file; the usual soft limit (often 1024) would
  // let a few hundred idle ones stop the server accepting.
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = std::min<rlim_t>(files.rlim_max, 65536);
    setrlimit(RLIMIT_NOFILE, &files);
  }

  std::vector<std::string> binds = o.Host.empty() ? std::vector<std::string>{"127.0.0.1", "::1"}
                                                  : std::vector<std::string>{o.Host};
  std::vector<std::string> names = {"127.0.0.1", "localhost", "::1"};
  if (!o.Host.empty()) names.push_back(o.Host);
  int port = o.Port;
  const long maxBytes = o.MaxRequestMb * 1024 * 1024;
  std::vector<std::unique_ptr<httplib::Server>> servers;
  std::vector<std::shared_ptr<ConnectionThreads::Shared>> connections;
  for (const std::string& host : binds) {
    auto srv = std::make_unique<httplib::Server>();
    SiteRoutes(*srv, names, port, maxBytes);
    auto shared = std::make_shared<ConnectionThreads::Shared>();
    shared->Most = kMostConnections;
    srv->new_task_queue = [shared] { return new ConnectionThreads(shared); };
    connections.push_back(shared);
    bool bound = false;
    if (port == 0) {
      port = srv->bind_to_any_port(host);
      bound = port > 0;
    } else {
      bound = srv->bind_to_port(host, port);
    }
    if (!bound) {
      if (servers.empty() && (host == binds.front())) {
        err << "anamorfosi: serve: cannot listen on " << host << " port " << o.Port << " (in use? try --port)\n";
        return 1;
      }
      continue;  // no IPv6 loopback here
    }
    servers.push_back(std::move(srv));
  }
  if (!o.Host.empty())
    err << "anamorfosi: WARNING: listening on " << o.Host << ": anyone who can reach this machine there can use the page\n";
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
  out << "anamorfosi: the page is at " << url << " (Ctrl-C to stop)" << std::endl;
  std::vector<std::thread> threads;
  for (auto& s : servers) threads.emplace_back([&s] { s->listen_after_bind(); });
  if (o.Open) OpenBrowser(url, err);
  while (sigwaitinfo(&stop, nullptr) < 0) {
  }
  for (auto& s : servers) s->stop();
  for (auto& t : threads) t.join();
  bool lingering = false;
  for (const auto& c : connections) {
    std::lock_guard<std::mutex> g(c->Lock);
    lingering = lingering || c->Live > 0;
  }
  out << "anamorfosi: stopped" << std::endl;
  // Their threads still use the servers, the names and the port: the process
  // ends here, without undoing what they use.
  if (lingering) std::quick_exit(0);
  return 0;
}

}  // namespace anamorfosi
