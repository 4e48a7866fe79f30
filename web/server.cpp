#include "server.h"

#include <httplib.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <mutex>
#include <random>
#include <regex>
#include <semaphore>
#include <sstream>
#include <thread>

#include "page_files.h"
#include "picture_file.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

std::string Num(double v) {
  std::ostringstream s;
  s << std::setprecision(10) << v;
  return s.str();
}

double NumberField(const json& form, const char* key, const std::string& field, double low, double high) {
  if (!form.contains(key) || !form[key].is_number()) throw FieldError(field, field + ": a number is needed");
  const double v = form[key].get<double>();
  if (!std::isfinite(v) || v < low || v > high)
    throw FieldError(field, field + ": must be " + Num(low) + " to " + Num(high) + " (got " + Num(v) + ")");
  return v;
}

std::string ChoiceField(const json& form, const char* key, const std::vector<std::string>& allowed) {
  const std::string v = form.contains(key) && form[key].is_string() ? form[key].get<std::string>() : "";
  if (std::find(allowed.begin(), allowed.end(), v) == allowed.end())
    throw FieldError(key, std::string(key) + ": \"" + v.substr(0, 20) + "\" is not one of the choices");
  return v;
}

}  // namespace

std::vector<std::string> CommandArgs(const json& form, const JobFiles& files, const std::string& output) {
  const std::string mirror = ChoiceField(form, "mirror", {"cilindro", "cono", "specchio", "generico"});
  std::vector<std::string> a = {"anamorfosi", mirror};
  if (!files.Picture.empty()) {
    a.push_back(files.Picture);
  } else {
    const int cols = static_cast<int>(NumberField(form, "grid_columns", "grid", 1, 200));
    const int rows = static_cast<int>(NumberField(form, "grid_rows", "grid", 1, 200));
    a.insert(a.end(), {"--grid", std::to_string(cols) + "x" + std::to_string(rows)});
  }
  const double big = 1e6;
  if (mirror == "cilindro" || mirror == "cono") {
    a.insert(a.end(), {mirror == "cilindro" ? "--radius" : "--base-radius", Num(NumberField(form, "radius", "radius", 0, big))});
    if (mirror == "cono") a.insert(a.end(), {"--height", Num(NumberField(form, "height", "height", 0, big))});
    a.insert(a.end(), {"--axis", Num(NumberField(form, "axis_x", "axis", -big, big)) + "," +
                                     Num(NumberField(form, "axis_y", "axis", -big, big))});
  } else {
    if (files.Mirror.empty()) throw FieldError("mirror_file", "mirror file: choose the mirror's DXF file");
    a.insert(a.end(), {"--mirror", files.Mirror});
    if (mirror == "generico") {
      if (files.Face.empty()) throw FieldError("face_file", "picture face: choose the face's DXF file");
      a.insert(a.end(), {"--face", files.Face});
    }
  }
  // The eye: all three numbers, or none for the mirror's usual place.
  const bool eye = form.contains("eye_x") && !form["eye_x"].is_null();
  if (eye || mirror == "generico")
    a.insert(a.end(), {"--eye", Num(NumberField(form, "eye_x", "eye", -big, big)) + "," +
                                    Num(NumberField(form, "eye_y", "eye", -big, big)) + "," +
                                    Num(NumberField(form, "eye_z", "eye", -big, big))});
  a.insert(a.end(), {"--units", ChoiceField(form, "units", {"mm", "cm", "in"})});
  a.insert(a.end(), {"--dpi", Num(NumberField(form, "dpi", "dpi", 1, 2400))});
  a.insert(a.end(), {"--accuracy", std::to_string(static_cast<int>(NumberField(form, "accuracy", "accuracy", 1, 20)))});
  if (form.contains("antialias"))
    a.insert(a.end(), {"--antialias", std::to_string(static_cast<int>(NumberField(form, "antialias", "antialias", 1, 8)))});
  a.insert(a.end(), {"--paper", ChoiceField(form, "paper", {"A4", "A3", "A2", "Letter", "Legal", "Tabloid", "none"})});
  a.insert(a.end(), {"-o", output});
  return a;
}

std::string FieldOfMessage(const std::string& m) {
  static const std::vector<std::pair<std::string, std::string>> prefixes = {
      {"--radius", "radius"}, {"--base-radius", "radius"}, {"--height", "height"}, {"--axis", "axis"},
      {"--eye", "eye"},       {"no picture face", "eye"},  {"--dpi", "dpi"},       {"--paper", "paper"},
      {"--accuracy", "accuracy"}, {"--grid", "grid"},      {"--face", "face_file"}, {"--mirror", "mirror_file"},
      {"mirror", "mirror_file"},  {"picture face", "face_file"}};
  for (const auto& [prefix, field] : prefixes)
    if (m.rfind(prefix, 0) == 0) return field;
  return "";
}

bool HostAllowed(const std::string& host, const std::vector<std::string>& names, int port) {
  std::string h;
  for (char c : host) h += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const std::string& n : names) {
    const std::string name = n.find(':') != std::string::npos ? "[" + n + "]" : n;
    if (h == name + ":" + std::to_string(port) || (port == 80 && h == name)) return true;
  }
  return false;
}

namespace {

// Mirror and face files the page takes, by the name's ending; the mesh
// readers coming add theirs here.
const std::vector<std::string> kMeshExtensions = {".dxf"};

struct State {
  std::string Root;  // the private folder of uploads and jobs
  std::counting_semaphore<64>* Jobs = nullptr;
  std::mutex Lock;
  std::atomic<long> Counter{0};
  std::mt19937_64 Random{std::random_device{}()};
};

std::string NewId(State& st) {
  std::lock_guard<std::mutex> g(st.Lock);
  std::ostringstream s;
  s << std::hex << std::setw(16) << std::setfill('0') << st.Random();
  return s.str();
}

void Reply(httplib::Response& res, int status, const json& body) {
  res.status = status;
  res.set_content(body.dump(), "application/json");
}

std::string ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
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

// An upload's id is only ever one the server made: 16 hex digits.
bool IsId(const std::string& id) { return std::regex_match(id, std::regex("[0-9a-f]{16}")); }

// The one file an upload folder holds, or "".
std::string UploadedFile(const State& st, const std::string& id) {
  if (!IsId(id)) return "";
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(fs::path(st.Root) / ("up-" + id), ec)) return e.path().string();
  return "";
}

struct CommandRun {
  int Status = 0;
  std::string Out, Err;
};

CommandRun RunArgs(const std::vector<std::string>& args) {
  std::vector<const char*> argv;
  for (const auto& s : args) argv.push_back(s.c_str());
  std::ostringstream out, err;
  CommandRun r;
  r.Status = RunCommand(static_cast<int>(argv.size()), argv.data(), out, err, false);
  r.Out = out.str();
  r.Err = err.str();
  return r;
}

// Lines of the command's error stream without its progress, and without the
// private folder's name.
std::vector<std::string> Messages(const std::string& text, const std::string& folder) {
  std::vector<std::string> v;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("mapping ", 0) == 0) continue;
    for (std::size_t p; (p = line.find(folder + "/")) != std::string::npos;) line.erase(p, folder.size() + 1);
    if (line.rfind("anamorfosi: ", 0) == 0) line.erase(0, 12);
    v.push_back(line);
  }
  return v;
}

// A job's own folder with links to the uploads it reads.
JobFiles MakeJob(State& st, const json& form) {
  JobFiles f;
  f.Folder = (fs::path(st.Root) / ("job-" + std::to_string(++st.Counter))).string();
  fs::create_directory(f.Folder);
  auto take = [&](const char* key, const std::string& field) -> std::string {
    if (!form.contains(key) || !form[key].is_string()) return "";
    const std::string from = form[key] == "card" ? (fs::path(st.Root) / "card" / "cartello.ppm").string()
                                                 : UploadedFile(st, form[key].get<std::string>());
    if (from.empty()) throw FieldError(field, field + ": the file is no longer here; choose it again");
    const fs::path to = fs::path(f.Folder) / fs::path(from).filename();
    std::error_code ec;
    fs::create_hard_link(from, to, ec);
    if (ec) fs::copy_file(from, to);
    return to.string();
  };
  f.Picture = take("picture", "picture");
  f.Mirror = take("mirror_file", "mirror_file");
  f.Face = take("face_file", "face_file");
  return f;
}

struct JobSlot {
  std::counting_semaphore<64>& S;
  bool Held;
  explicit JobSlot(std::counting_semaphore<64>& s) : S(s), Held(s.try_acquire_for(std::chrono::seconds(20))) {}
  ~JobSlot() {
    if (Held) S.release();
  }
};

// Runs the form's command into a job folder; answers false (and the reply)
// when it cannot be made.
// Extra arguments starting "@/" name files in the job's folder.
bool RunJob(State& st, const httplib::Request& req, httplib::Response& res, const std::string& output,
            const std::vector<std::string>& extra, JobFiles& files, CommandRun& run) {
  json form;
  try {
    form = json::parse(req.body);
    if (!form.is_object()) throw std::runtime_error("");
  } catch (const std::exception&) {
    Reply(res, 400, {{"error", "the request is not a JSON form"}});
    return false;
  }
  JobSlot slot(*st.Jobs);
  if (!slot.Held) {
    Reply(res, 503, {{"error", "busy making other prints: try again in a moment"}});
    return false;
  }
  try {
    files = MakeJob(st, form);
    std::vector<std::string> args = CommandArgs(form, files, files.Folder + "/" + output);
    for (const std::string& e : extra) args.push_back(e.rfind("@/", 0) == 0 ? files.Folder + e.substr(1) : e);
    run = RunArgs(args);
  } catch (const FieldError& e) {
    Reply(res, 422, {{"error", e.what()}, {"field", e.Field}});
    return false;
  }
  const auto messages = Messages(run.Err, files.Folder);
  if (run.Status != 0) {
    const std::string m = messages.empty() ? "the print cannot be made" : messages.back();
    Reply(res, 422, {{"error", m}, {"field", FieldOfMessage(m)}});
    return false;
  }
  return true;
}

void RemoveJob(const JobFiles& f) {
  std::error_code ec;
  if (!f.Folder.empty()) fs::remove_all(f.Folder, ec);
}

void Routes(httplib::Server& srv, State& st, const std::vector<std::string>& names, const int& port, long maxBytes) {
  srv.set_payload_max_length(static_cast<std::size_t>(maxBytes));
  srv.set_pre_routing_handler([&names, &port](const httplib::Request& req, httplib::Response& res) {
    if (HostAllowed(req.get_header_value("Host"), names, port)) return httplib::Server::HandlerResponse::Unhandled;
    res.status = 421;
    res.set_content("This server answers only at its own address (http://127.0.0.1:" + std::to_string(port) + "/).\n",
                    "text/plain");
    return httplib::Server::HandlerResponse::Handled;
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
  srv.Post("/api/upload", [&st](const httplib::Request& req, httplib::Response& res) {
    if (!req.is_multipart_form_data() || !req.has_file("file")) {
      Reply(res, 400, {{"error", "the upload must be a form with one file"}});
      return;
    }
    const auto file = req.get_file_value("file");
    const std::string role = req.has_file("role") ? req.get_file_value("role").content : "picture";
    const std::string id = NewId(st);
    const fs::path folder = fs::path(st.Root) / ("up-" + id);
    std::string name;
    json info = {{"id", id}};
    if (role == "picture") {
      const auto* data = reinterpret_cast<const std::uint8_t*>(file.content.data());
      const PictureFormat format = SniffPictureFormat(data, file.content.size());
      if (format == PictureFormat::kPpm) {
        name = "picture.ppm";
      } else if (format == PictureFormat::kPng || format == PictureFormat::kJpeg) {
        try {
          const Picture p = DecodePicture(data, file.content.size(), "picture", PictureLimits{});
          info["width"] = p.Width;
          info["height"] = p.Height;
        } catch (const std::exception& e) {
          Reply(res, 400, {{"error", std::string("the picture cannot be read: ") + e.what()}, {"field", "picture"}});
          return;
        }
        name = format == PictureFormat::kPng ? "picture.png" : "picture.jpg";
      } else {
        Reply(res, 400, {{"error", "the picture must be PNG, JPEG or PPM"}, {"field", "picture"}});
        return;
      }
    } else if (role == "mirror_file" || role == "face_file") {
      std::string ext = fs::path(file.filename).extension().string();
      for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      const auto known = std::find(kMeshExtensions.begin(), kMeshExtensions.end(), ext);
      if (known == kMeshExtensions.end()) {
        Reply(res, 400, {{"error", "the file must be a DXF file (.dxf)"}, {"field", role}});
        return;
      }
      name = (role == "mirror_file" ? "mirror" : "face") + *known;
    } else {
      Reply(res, 400, {{"error", "unknown kind of upload"}});
      return;
    }
    fs::create_directory(folder);
    std::ofstream((folder / name).string(), std::ios::binary) << file.content;
    Reply(res, 200, info);
  });
  // The print and the view from the eye, as PNG, with the fidelity line.
  srv.Post("/api/preview", [&st](const httplib::Request& req, httplib::Response& res) {
    const int size = req.has_param("size") ? std::clamp(std::atoi(req.get_param_value("size").c_str()), 100, 1600) : 900;
    JobFiles files;
    CommandRun run;
    if (RunJob(st, req, res, "print.png", {"--preview", "@/view.png", "--size", std::to_string(size)}, files, run)) {
      json body = {{"print", Base64(ReadAll(files.Folder + "/print.png"))},
                   {"view", Base64(ReadAll(files.Folder + "/view.png"))},
                   {"warnings", Messages(run.Err, files.Folder)}};
      std::istringstream out(run.Out);
      std::vector<std::string> lines;
      for (std::string line; std::getline(out, line);) {
        if (line.rfind("written:", 0) == 0 || line.rfind("view:", 0) == 0) continue;
        if (line.rfind("fidelity:", 0) == 0) body["fidelity"] = line;
        else lines.push_back(Messages(line, files.Folder).front());
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
    if (kind == "pdf") made = RunJob(st, req, res, "anamorfosi.pdf", {"--quiet"}, files, run);
    else if (kind == "png") made = RunJob(st, req, res, "anamorfosi.png", {"--quiet"}, files, run);
    else if (kind == "scene")
      made = RunJob(st, req, res, "anamorfosi.png", {"--quiet", "--save-scene", "@/anamorfosi.json"}, files, run);
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

// Opens the page in the desktop's browser, without a shell.
void OpenBrowser(const std::string& url, std::ostream& err) {
  pid_t pid = 0;
  const char* argv[] = {"xdg-open", url.c_str(), nullptr};
  if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
    err << "anamorfosi: could not open a browser: open " << url << " yourself\n";
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
  State st;
  st.Root = tmpl;
  std::counting_semaphore<64> jobs(std::min(o.Jobs, 64));
  st.Jobs = &jobs;
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
  for (const std::string& host : binds) {
    auto srv = std::make_unique<httplib::Server>();
    Routes(*srv, st, names, port, maxBytes);
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
  int sig = 0;
  sigwait(&stop, &sig);
  for (auto& s : servers) s->stop();
  for (auto& t : threads) t.join();
  cleanup();
  out << "anamorfosi: stopped" << std::endl;
  return 0;
}
