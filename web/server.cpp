#include "web/server.h"

#include <dirent.h>
#include <httplib.h>
#include <netdb.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <regex>
#include <sstream>
#include <thread>

#include "meshes/child_process.h"
#include "pipeline/mirror_kinds.h"
#include "web/form.h"
#include "web/jobs.h"
#include "web/page_files.h"
#include "picture/picture_file.h"

namespace anamorfosi {

namespace fs = std::filesystem;
using nlohmann::json;

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

// The files the page takes for a mirror (every ending a kind accepts: a DXF
// of 3DFACEs, a mesh) and for a picture face (a DXF), by the name's ending;
// the command reads each by its bytes where they tell.
const std::vector<std::string>& MirrorExtensions() {
  static const std::vector<std::string> endings = [] {
    std::vector<std::string> all;
    for (const MirrorKindEntry& k : MirrorKinds()) {
      std::istringstream list(k.Page.Accept);
      for (std::string e; std::getline(list, e, ',');)
        if (!e.empty() && std::find(all.begin(), all.end(), e) == all.end()) all.push_back(e);
    }
    return all;
  }();
  return endings;
}
const std::vector<std::string> kFaceExtensions = {".dxf"};

// The longer side of the reduced copy of an uploaded picture that the quick
// preview maps: a few hundred pixels give a correct picture in a fraction of
// the time.
constexpr int kQuickSide = 250;

// The connections served at once, each by a thread of its own, so that slow
// or silent clients hold only their own; beyond it the next ones wait.
constexpr std::size_t kMostConnections = 512;
// A connection's reads and writes each wait at most this long, and a kept-alive
// one this long for its next request.
constexpr int kReadSeconds = 10, kWriteSeconds = 10, kKeepAliveSeconds = 5;

void Reply(httplib::Response& res, int status, const json& body) {
  res.status = status;
  res.set_content(body.dump(), "application/json");
}

std::string Base64(const std::string& in) {
  static const char* t = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((in.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < in.size(); i += 3) {
    const unsigned v = (static_cast<unsigned char>(in[i]) << 16) | (static_cast<unsigned char>(in[i + 1]) << 8) |
                       static_cast<unsigned char>(in[i + 2]);
    out += {t[v >> 18], t[(v >> 12) & 63], t[(v >> 6) & 63], t[v & 63]};
  }
  if (i + 1 == in.size()) {
    const unsigned v = static_cast<unsigned char>(in[i]) << 16;
    out += {t[v >> 18], t[(v >> 12) & 63], '=', '='};
  } else if (i + 2 == in.size()) {
    const unsigned v = (static_cast<unsigned char>(in[i]) << 16) | (static_cast<unsigned char>(in[i + 1]) << 8);
    out += {t[v >> 18], t[(v >> 12) & 63], t[(v >> 6) & 63], '='};
  }
  return out;
}

// The socket a request came on, to notice its client leave while its job
// runs. cpp-httplib does not hand it to the handler, so it is found among the
// process's open files by the connection's two ends, which no other socket
// shares; it stays open until the handler returns. -1 when not found.
int RequestSocket(const httplib::Request& req) {
  auto endpoint = [](const sockaddr_storage& a, socklen_t size, std::string& host) {
    char h[NI_MAXHOST], port[NI_MAXSERV];
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&a), size, h, sizeof h, port, sizeof port,
                    NI_NUMERICHOST | NI_NUMERICSERV) != 0)
      return -1;
    host = h;
    return std::atoi(port);
  };
  DIR* dir = opendir("/proc/self/fd");
  if (!dir) return -1;
  int found = -1;
  while (const dirent* e = readdir(dir)) {
    char* end = nullptr;
    const long fd = std::strtol(e->d_name, &end, 10);
    if (end == e->d_name || *end != '\0') continue;
    sockaddr_storage peer{}, self{};
    socklen_t peerSize = sizeof peer, selfSize = sizeof self;
    if (getpeername(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0 ||
        getsockname(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&self), &selfSize) != 0)
      continue;
    std::string peerHost, selfHost;
    if (endpoint(peer, peerSize, peerHost) == req.remote_port && peerHost == req.remote_addr &&
        endpoint(self, selfSize, selfHost) == req.local_port) {
      found = static_cast<int>(fd);
      break;
    }
  }
  closedir(dir);
  return found;
}

// Which page and which of its previews a request is, from ?page=&generation=
// ("" and 0 when it does not say).
std::pair<std::string, long> PreviewOf(const httplib::Request& req) {
  const std::string page = req.get_param_value("page");
  if (!std::regex_match(page, std::regex("[0-9a-z]{1,32}"))) return {"", 0};
  return {page, std::atol(req.get_param_value("generation").c_str())};
}

// Runs the form's command into a job folder; answers false (and the reply)
// when it cannot be made.
// Extra arguments starting "@/" name files in the job's folder.
bool RunJob(State& st, const httplib::Request& req, httplib::Response& res, const std::string& output,
            const std::vector<std::string>& extra, bool quick, JobFiles& files, CommandRun& run) {
  json form;
  try {
    form = json::parse(req.body);
    if (!form.is_object()) throw std::runtime_error("");
  } catch (const std::exception&) {
    Reply(res, 400, {{"error", "the request is not a JSON form"}});
    return false;
  }
  const auto [page, generation] = PreviewOf(req);
  if (!page.empty()) Supersede(st, page, generation);
  JobSlot slot(*st.Jobs);
  if (!slot.Held) {
    Reply(res, 503, {{"error", "busy making other prints: try again in a moment"}});
    return false;
  }
  try {
    files = MakeJob(st, form, quick);
    std::vector<std::string> args = JobArgs(CommandArgs(form, files, files.Folder + "/" + output));
    for (const std::string& e : extra) args.push_back(e.rfind("@/", 0) == 0 ? files.Folder + e.substr(1) : e);
    run = RunChild(st, args, files.Folder, page, generation, RequestSocket(req));
  } catch (const FieldError& e) {
    Reply(res, 422, {{"error", e.what()}, {"field", e.Field}});
    return false;
  } catch (const std::exception&) {
    RemoveJob(files);
    files = {};
    Reply(res, 500, {{"error", "the server could not start the print"}});
    return false;
  }
  if (run.Superseded) {
    Reply(res, 409, {{"error", "newer values came: this preview was left"}, {"superseded", true}});
    return false;
  }
  if (run.ClientGone) {
    Reply(res, 400, {{"error", "the page left before the print was made"}});
    return false;
  }
  if (run.TimedOut) {
    Reply(res, 503, {{"error", "the print took longer than " + std::to_string(st.JobSeconds) +
                                   " s, the most one print may take here: lower the dpi or the accuracy"},
                     {"field", "dpi"}});
    return false;
  }
  const auto messages = Messages(run.Err, files.Folder, st.Root);
  // 3: the print was made but its fidelity check failed; the warning goes to the page.
  if (run.Status != 0 && run.Status != 3) {
    const CommandFailure f = run.Status > 128 || messages.empty() ? CommandFailure{"the print cannot be made", ""}
                                                                  : FailureOfLine(messages.back());
    Reply(res, run.Status > 128 ? 500 : 422, {{"error", f.Message}, {"field", f.Field}});
    return false;
  }
  return true;
}

// The uploaded picture, received into its folder, checked by the readers
// the command uses in a job of the command (`take-picture`), which also makes
// the reduced copy the quick preview maps: a picture made to take all the
// memory or time there is ends that job, not the server. Answers the
// picture's size, or the reply for the page (false).
bool TakePicture(State& st, const httplib::Request& req, httplib::Response& res, const fs::path& received,
                 const fs::path& folder, json& info) {
  const PictureFormat format = SniffPictureFile(received.string());
  const char* name = format == PictureFormat::kPpm   ? "picture.ppm"
                     : format == PictureFormat::kPng  ? "picture.png"
                     : format == PictureFormat::kJpeg ? "picture.jpg"
                                                      : nullptr;
  if (!name) {
    Reply(res, 400, {{"error", "the picture must be PNG, JPEG or PPM"}, {"field", "picture"}});
    return false;
  }
  JobSlot slot(*st.Jobs);
  if (!slot.Held) {
    Reply(res, 503, {{"error", "busy making other prints: try again in a moment"}, {"field", "picture"}});
    return false;
  }
  fs::rename(received, folder / name);
  CommandRun run;
  try {
    run = RunChild(st,
                   JobArgs({"anamorfosi", "take-picture", (folder / name).string(), (folder / "quick.png").string(), "--side",
                    std::to_string(kQuickSide)}),
                   folder.string(), "", 0, RequestSocket(req));
  } catch (const std::exception&) {
    Reply(res, 500, {{"error", "the server could not start the picture's check"}, {"field", "picture"}});
    return false;
  }
  int width = 0, height = 0;
  if (run.Status == 0 && std::sscanf(run.Out.c_str(), "picture: %d x %d", &width, &height) == 2) {
    info["width"] = width;
    info["height"] = height;
    return true;
  }
  const auto messages = Messages(run.Err, folder.string(), st.Root);
  std::string m = messages.empty() ? "the picture cannot be read" : FailureOfLine(messages.back()).Message;
  if (run.TimedOut)
    m = "the picture cannot be read: it took longer than " + std::to_string(st.JobSeconds) + " s";
  else if (run.Status > 128)
    m = "the picture cannot be read: it takes more than this computer can give one picture";
  Reply(res, 400, {{"error", m}, {"field", "picture"}});
  return false;
}

// "a DXF file (.dxf)", or "a DXF, STL, ... or GLB file" for several.
std::string KindsText(const std::vector<std::string>& extensions) {
  std::string t;
  for (std::size_t i = 0; i < extensions.size(); ++i) {
    std::string e = extensions[i].substr(1);
    for (char& c : e) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    t += (i == 0 ? "" : i + 1 == extensions.size() ? " or " : ", ") + e;
  }
  return "a " + t + " file" + (extensions.size() == 1 ? " (" + extensions.front() + ")" : "");
}

void Routes(httplib::Server& srv, State& st, const std::vector<std::string>& names, const int& port, long maxBytes) {
  srv.set_payload_max_length(static_cast<std::size_t>(maxBytes));
  srv.set_read_timeout(kReadSeconds);
  srv.set_write_timeout(kWriteSeconds);
  srv.set_keep_alive_timeout(kKeepAliveSeconds);
  srv.set_keep_alive_max_count(20);
  srv.set_pre_routing_handler([&names, &port](const httplib::Request& req, httplib::Response& res) {
    if (!HostAllowed(req.get_header_value("Host"), names, port)) {
      res.status = 421;
      res.set_content("This server answers only at its own address (http://127.0.0.1:" + std::to_string(port) + "/).\n",
                      "text/plain");
      return httplib::Server::HandlerResponse::Handled;
    }
    // A browser names the page that sent a request; another site's page
    // must not use this one's uploads and jobs.
    if (req.has_header("Origin") && !OriginAllowed(req.get_header_value("Origin"), names, port)) {
      Reply(res, 403, {{"error", "requests from other sites are refused: use the page at http://127.0.0.1:" +
                                     std::to_string(port) + "/"}});
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  srv.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (!res.body.empty()) return;
    std::string m = res.status == 413   ? "the request is too large"
                    : res.status == 400 ? "the request cannot be read"
                    : res.status == 404 ? "no such page"
                                        : "the request failed";
    res.set_content(json{{"error", m}}.dump(), "application/json");
  });
  srv.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
    Reply(res, 500, {{"error", "the server could not do this request"}});
  });
  for (const PageFile& p : PageFiles()) {
    std::string path = "/";
    if (std::string_view(p.Name) != "index.html") path.append(p.Name);
    srv.Get(path, [p](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string(reinterpret_cast<const char*>(p.Data), p.Size), p.Type);
      res.set_header("Cache-Control", "no-store");
    });
  }
  // The mirror kinds the page builds its choice and fields from, as a script
  // it loads before its own.
  srv.Get("/kinds.js", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("const KINDS = " + KindsJson().dump() + ";\n", "text/javascript; charset=utf-8");
    res.set_header("Cache-Control", "no-store");
  });
  // An upload goes straight to its folder as it comes, a few kB at a time:
  // the server never holds a whole file, however many arrive at once.
  srv.Post("/api/upload", [&st](const httplib::Request& req, httplib::Response& res,
                                const httplib::ContentReader& content) {
    if (!req.is_multipart_form_data()) {
      Reply(res, 400, {{"error", "the upload must be a form with one file"}});
      return;
    }
    const std::string id = NewId(st);
    const fs::path folder = fs::path(st.Root) / ("up-" + id);
    const fs::path received = folder / ".received";
    auto refuse = [&](int status, const std::string& error) {
      std::error_code ec;
      fs::remove_all(folder, ec);
      if (status > 0) Reply(res, status, {{"error", error}});
    };
    fs::create_directory(folder);
    std::ofstream into;
    std::string part, role, filename;
    int files = 0;
    const bool read = content(
        [&](const httplib::MultipartFormData& header) {
          part = header.name;
          if (part != "file") return true;
          filename = header.filename;
          into.open(received, std::ios::binary);
          return ++files == 1 && into.is_open();
        },
        [&](const char* data, std::size_t size) {
          if (part == "file") into.write(data, static_cast<std::streamsize>(size));
          else if (part == "role") role.append(data, std::min<std::size_t>(size, 16 - std::min<std::size_t>(role.size(), 16)));
          return part != "file" || into.good();
        });
    into.close();
    if (!read || files != 1 || into.fail()) {
      // A status the library set (413: beyond --max-request-mb) is worded by the error handler.
      if (res.status >= 400) refuse(0, "");
      else refuse(400, files == 1 ? "the upload cannot be read" : "the upload must be a form with one file");
      return;
    }
    if (role.empty()) role = "picture";
    json info = {{"id", id}};
    if (role == "picture") {
      if (!TakePicture(st, req, res, received, folder, info)) {
        refuse(0, "");
        return;
      }
    } else if (role == "mirror_file" || role == "face_file") {
      const auto& kinds = role == "mirror_file" ? MirrorExtensions() : kFaceExtensions;
      std::string ext = fs::path(filename).extension().string();
      for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      const auto known = std::find(kinds.begin(), kinds.end(), ext);
      if (known == kinds.end()) {
        refuse(0, "");
        Reply(res, 400, {{"error", (role == "mirror_file" ? "the mirror file must be " : "the picture face must be ") +
                                       KindsText(kinds)},
                         {"field", role}});
        return;
      }
      fs::rename(received, folder / ((role == "mirror_file" ? "mirror" : "face") + *known));
    } else {
      refuse(400, "unknown kind of upload");
      return;
    }
    // Kept until the uploads are too many or it is long unused: the least
    // recently used go first.
    {
      std::lock_guard<std::mutex> g(st.UploadsLock);
      st.Uploads[id] = UploadUse{id, FolderBytes(folder), SteadySeconds()};
    }
    PruneUploads(st, id);
    Reply(res, 200, info);
  });
  // The print, the view from the eye and its close-up of the mirror, as PNG,
  // with the fidelity line; ?quick=1 from the reduced copy of the picture.
  srv.Post("/api/preview", [&st](const httplib::Request& req, httplib::Response& res) {
    const int size = req.has_param("size") ? std::clamp(std::atoi(req.get_param_value("size").c_str()), 100, 1600) : 900;
    const bool quick = req.get_param_value("quick") == "1";
    JobFiles files;
    CommandRun run;
    if (RunJob(st, req, res, "print.png",
               {"--preview", "@/view.png", "--preview-closeup", "@/closeup.png", "--size", std::to_string(size)},
               quick, files, run)) {
      json body = {{"print", Base64(ReadAll(files.Folder + "/print.png"))},
                   {"view", Base64(ReadAll(files.Folder + "/view.png"))},
                   {"closeup", Base64(ReadAll(files.Folder + "/closeup.png"))},
                   {"warnings", Messages(run.Err, files.Folder, st.Root)}};
      body["faithful"] = run.Status == 0;
      for (const std::string line : body["warnings"])
        if (line.rfind("warning: the print is not faithful", 0) == 0) body["fidelity_warning"] = line;
      std::vector<std::string> lines;
      for (const std::string& line : Messages(run.Out, files.Folder, st.Root)) {
        if (line.rfind("written:", 0) == 0 || line.rfind("view:", 0) == 0 ||
            line.rfind("close-up:", 0) == 0)
          continue;
        if (line.rfind("fidelity:", 0) == 0) body["fidelity"] = line;
        else lines.push_back(line);
      }
      body["report"] = lines;
      Reply(res, 200, body);
    }
    RemoveJob(files);
  });
  // The files to keep: the PDF, the PNG, the scene; the command's own bytes.
  srv.Post("/api/download", [&st](const httplib::Request& req, httplib::Response& res) {
    const std::string kind = req.get_param_value("kind");
    JobFiles files;
    CommandRun run;
    bool made = false;
    if (kind == "pdf") made = RunJob(st, req, res, "anamorfosi.pdf", {"--quiet"}, false, files, run);
    else if (kind == "png") made = RunJob(st, req, res, "anamorfosi.png", {"--quiet"}, false, files, run);
    else if (kind == "scene")
      made = RunJob(st, req, res, "anamorfosi.png", {"--quiet", "--save-scene", "@/anamorfosi.json"}, false, files, run);
    else Reply(res, 400, {{"error", "kind must be pdf, png or scene"}});
    if (made) {
      const std::string name = kind == "scene" ? "anamorfosi.json" : "anamorfosi." + kind;
      const char* type = kind == "pdf" ? "application/pdf" : kind == "png" ? "image/png" : "application/json";
      res.set_content(ReadAll(files.Folder + "/" + name), type);
      res.set_header("Content-Disposition", "attachment; filename=\"" + name + "\"");
    }
    RemoveJob(files);
  });
}

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

  std::string tmpl = (fs::temp_directory_path() / "anamorfosi-serve-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) {
    err << "anamorfosi: serve: cannot make a private temporary folder\n";
    return 1;
  }
  // Kept past this function's end when a connection's thread outlives the
  // server's stop (ConnectionThreads::shutdown).
  auto owned = std::make_unique<State>();
  State& st = *owned;
  st.Root = tmpl;
  st.Server = getpid();
  st.JobSeconds = o.JobSeconds;
  if (ChildMemoryBoundApplies()) st.JobBytes = static_cast<unsigned long long>(o.JobMb) * 1024 * 1024;
  st.UploadsBytes = static_cast<long long>(o.UploadsMb) * 1024 * 1024;
  std::error_code self;
  st.Self = fs::read_symlink("/proc/self/exe", self).string();
  if (self) {
    err << "anamorfosi: serve: cannot find this program's own file to run the jobs\n";
    fs::remove_all(st.Root, self);
    return 1;
  }
  auto jobs = std::make_unique<std::counting_semaphore<64>>(std::min(o.Jobs, 64));
  st.Jobs = jobs.get();
  // Each connection takes a file; the usual soft limit (often 1024) would
  // let a few hundred idle ones stop the server accepting.
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = std::min<rlim_t>(files.rlim_max, 65536);
    setrlimit(RLIMIT_NOFILE, &files);
  }
  fs::create_directory(st.Root + "/card");
  {
    const PageFile card = TestCard();
    std::ofstream(st.Root + "/card/cartello.ppm", std::ios::binary)
        .write(reinterpret_cast<const char*>(card.Data), static_cast<std::streamsize>(card.Size));
  }
  auto cleanup = [&] {
    std::error_code ec;
    fs::remove_all(st.Root, ec);
  };

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
    Routes(*srv, st, names, port, maxBytes);
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
        cleanup();
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
  // The uploads long unused are removed while the server waits for its stop.
  const timespec minute{60, 0};
  while (sigtimedwait(&stop, nullptr, &minute) < 0) PruneUploads(st, "");
  {
    // Jobs still running are ended; none starts after this.
    std::lock_guard<std::mutex> g(st.Lock);
    st.Stopping = true;
    for (const Running& r : st.Runs) kill(r.Pid, SIGKILL);
  }
  for (auto& s : servers) s->stop();
  for (auto& t : threads) t.join();
  bool lingering = false;
  for (const auto& c : connections) {
    std::lock_guard<std::mutex> g(c->Lock);
    lingering = lingering || c->Live > 0;
  }
  if (lingering) {
    // Their threads still use these; the process's end takes them.
    for (auto& s : servers) static_cast<void>(s.release());
    static_cast<void>(owned.release());
    static_cast<void>(jobs.release());
  }
  cleanup();
  out << "anamorfosi: stopped" << std::endl;
  return 0;
}

}  // namespace anamorfosi
