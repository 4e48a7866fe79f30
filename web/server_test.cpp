// The server: the Host and Origin checks, then its answers on a loopback
// socket, as a browser or a hostile client meets them.
#include "web/server.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "web/page_files.h"

namespace anamorfosi {

TEST(Host, OnlyTheServersOwnNamesAndPort) {
  const std::vector<std::string> names = {"127.0.0.1", "localhost", "::1"};
  EXPECT_TRUE(HostAllowed("127.0.0.1:8765", names, 8765));
  EXPECT_TRUE(HostAllowed("LocalHost:8765", names, 8765));
  EXPECT_TRUE(HostAllowed("[::1]:8765", names, 8765));
  EXPECT_FALSE(HostAllowed("::1:8765", names, 8765));
  EXPECT_FALSE(HostAllowed("127.0.0.1:8766", names, 8765));
  EXPECT_FALSE(HostAllowed("127.0.0.1", names, 8765));
  EXPECT_TRUE(HostAllowed("localhost", names, 80));
  EXPECT_FALSE(HostAllowed("attacker.example:8765", names, 8765));
  EXPECT_FALSE(HostAllowed("127.0.0.1:8765.attacker.example", names, 8765));
  EXPECT_FALSE(HostAllowed("localhost.attacker.example:8765", names, 8765));
  EXPECT_FALSE(HostAllowed("", names, 8765));
  EXPECT_TRUE(HostAllowed("192.168.1.20:8765", {"127.0.0.1", "192.168.1.20"}, 8765));
}

TEST(Host, OriginOnlyThePagesOwn) {
  const std::vector<std::string> names = {"127.0.0.1", "localhost", "::1"};
  EXPECT_TRUE(OriginAllowed("http://127.0.0.1:8765", names, 8765));
  EXPECT_TRUE(OriginAllowed("HTTP://LocalHost:8765", names, 8765));
  EXPECT_TRUE(OriginAllowed("http://[::1]:8765", names, 8765));
  EXPECT_FALSE(OriginAllowed("http://attacker.example", names, 8765));
  EXPECT_FALSE(OriginAllowed("null", names, 8765));  // a sandboxed frame or a file
  EXPECT_FALSE(OriginAllowed("", names, 8765));
  EXPECT_FALSE(OriginAllowed("http://", names, 8765));
  EXPECT_FALSE(OriginAllowed("https://127.0.0.1:8765", names, 8765));
  EXPECT_FALSE(OriginAllowed("http://127.0.0.1:8766", names, 8765));
  EXPECT_FALSE(OriginAllowed("http://127.0.0.1:8765.attacker.example", names, 8765));
  EXPECT_FALSE(OriginAllowed("http://127.0.0.1:8765/", names, 8765));
  EXPECT_FALSE(OriginAllowed("ws://127.0.0.1:8765", names, 8765));
}

namespace {

// The routes on a server of their own at 127.0.0.1, on a free port.
class Running {
 public:
  explicit Running(long maxBytes = 1 << 20) {
    SiteRoutes(Srv, Names, Port, maxBytes);
    Port = Srv.bind_to_any_port("127.0.0.1");
    Thread = std::thread([this] { Srv.listen_after_bind(); });
  }
  ~Running() {
    Srv.stop();
    Thread.join();
  }
  httplib::Server Srv;
  std::vector<std::string> Names = {"127.0.0.1", "localhost", "::1"};
  int Port = 0;
  std::thread Thread;
};

struct Answer {
  int Status = 0;
  std::map<std::string, std::string> Headers;  // names in lower case
  std::string Body;
};

// Sends the request's bytes as they stand and reads the answer to the end
// (the request asks the server to close).
Answer Ask(int port, const std::string& request) {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  Answer r;
  if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(s);
    return r;
  }
  for (std::size_t sent = 0; sent < request.size();) {
    const ssize_t n = send(s, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;  // the server may answer and close before it has read all
    sent += static_cast<std::size_t>(n);
  }
  // Read to the end of the body its length announces, or to the close: after
  // a refusal the library keeps the connection a while whatever was asked.
  std::string all;
  char buffer[65536];
  std::size_t end = std::string::npos, length = std::string::npos;
  for (ssize_t n; (n = recv(s, buffer, sizeof buffer, 0)) > 0;) {
    all.append(buffer, static_cast<std::size_t>(n));
    if (end == std::string::npos && (end = all.find("\r\n\r\n")) != std::string::npos) {
      std::smatch m;
      const std::string head = all.substr(0, end);
      if (std::regex_search(head, m, std::regex("\r\nContent-Length: *([0-9]+)", std::regex::icase)) &&
          request.rfind("HEAD ", 0) != 0)
        length = std::stoul(m[1]);
    }
    if (length != std::string::npos && all.size() >= end + 4 + length) break;
  }
  close(s);
  if (end == std::string::npos) return r;
  std::istringstream head(all.substr(0, end));
  std::string line, version;
  std::getline(head, line);
  std::istringstream(line) >> version >> r.Status;
  while (std::getline(head, line)) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string name = line.substr(0, colon);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string value = line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(' '));
    if (!value.empty() && value.back() == '\r') value.pop_back();
    r.Headers[name] = value;
  }
  r.Body = all.substr(end + 4);
  return r;
}

std::string Request(int port, const std::string& method, const std::string& path, const std::string& extra = "") {
  return method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
         "\r\nConnection: close\r\n" + extra + "\r\n";
}

Answer Get(int port, const std::string& path, const std::string& extra = "") {
  return Ask(port, Request(port, "GET", path, extra));
}

}  // namespace

// The files this build compiled in: the site's when it was built, else the
// page that says it was not; each at its path, with its type, its tag and the
// headers that keep a browser from caching an old build's or guessing a type.
TEST(Serve, EveryFileAtItsPathWithItsTypeAndCaching) {
  std::set<std::string> names;
  for (const PageFile& f : PageFiles()) names.insert(f.Name);
#if ANAMORFOSI_SITE_BUILT
  EXPECT_EQ(names, (std::set<std::string>{"index.html", "style.css", "app.js", "pdf_fonts.js", "mesh.js"}));
#else
  EXPECT_EQ(names, std::set<std::string>{"index.html"});
#endif
  Running server;
  for (const PageFile& f : PageFiles()) {
    SCOPED_TRACE(f.Name);
    const std::string name = f.Name;
    const std::string type = name.ends_with(".html") ? "text/html; charset=utf-8"
                             : name.ends_with(".css") ? "text/css; charset=utf-8"
                                                      : "application/javascript; charset=utf-8";
    std::vector<std::string> paths = {"/" + name};
    if (name == "index.html") paths.push_back("/");
    for (const std::string& path : paths) {
      Answer a = Get(server.Port, path);
      EXPECT_EQ(a.Status, 200) << path;
      EXPECT_EQ(a.Headers["content-type"], type) << path;
      EXPECT_EQ(a.Headers["cache-control"], "no-cache") << path;
      EXPECT_EQ(a.Headers["x-content-type-options"], "nosniff") << path;
      EXPECT_EQ(a.Headers["etag"], f.Tag) << path;
      ASSERT_EQ(a.Body.size(), f.Size) << path;
      EXPECT_TRUE(a.Body == std::string(reinterpret_cast<const char*>(f.Data), f.Size)) << path;
    }
    // A browser takes every compression: the scripts, megabytes, come as
    // they are, not compressed again at each load (which took the server
    // seconds for each).
    if (name.ends_with(".js")) {
      const Answer taken = Get(server.Port, "/" + name, "Accept-Encoding: gzip, deflate, br\r\n");
      EXPECT_EQ(taken.Headers.count("content-encoding"), 0u);
      EXPECT_TRUE(taken.Body == std::string(reinterpret_cast<const char*>(f.Data), f.Size));
    }
    // The same file again while the program is the same: not sent again.
    const Answer same = Get(server.Port, "/" + name, std::string("If-None-Match: ") + f.Tag + "\r\n");
    EXPECT_EQ(same.Status, 304);
    EXPECT_EQ(same.Body, "");
    EXPECT_EQ(Get(server.Port, "/" + name, "If-None-Match: \"0000\"\r\n").Status, 200);
  }
  // Every file the page names is among them (a script or sheet left out
  // would leave the page half loaded).
  const Answer index = Get(server.Port, "/");
  const std::regex named(R"((?:src|href)="([a-z_]+\.(?:js|css))\")");
  int seen = 0;
  for (auto m = std::sregex_iterator(index.Body.begin(), index.Body.end(), named); m != std::sregex_iterator(); ++m) {
    EXPECT_TRUE(names.count((*m)[1])) << (*m)[1];
    ++seen;
  }
#if ANAMORFOSI_SITE_BUILT
  EXPECT_GE(seen, 2);
#else
  EXPECT_EQ(seen, 0);  // a page of its own, with nothing else to load
  EXPECT_NE(index.Body.find("was not built"), std::string::npos);
  EXPECT_NE(index.Body.find("ANAMORFOSI_SITE=OFF"), std::string::npos);
#endif
  // HEAD: the headers a GET has, with the length, and no body.
  Answer head = Ask(server.Port, Request(server.Port, "HEAD", "/"));
  EXPECT_EQ(head.Status, 200);
  EXPECT_EQ(head.Headers["content-type"], "text/html; charset=utf-8");
  EXPECT_EQ(head.Headers["content-length"], std::to_string(index.Body.size()));
  EXPECT_EQ(head.Body, "");
}

TEST(Serve, NoPathLeavesTheEmbeddedFiles) {
  Running server;
  for (const std::string path : {"/nothing", "/../../../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd",
                                 "/..%2f..%2fetc%2fpasswd", "/index.html/..", "//etc/passwd", "/indexXhtml",
                                 "/index.html/", "/index.html%00.txt", "/./index.html", "/INDEX.HTML", "/appXjs", "/styleXcss",
                                 "/web/server.cpp", "/kinds.js", "/api/preview"}) {
    const Answer a = Get(server.Port, path);
    EXPECT_EQ(a.Status, 404) << path;
    EXPECT_EQ(a.Body, "No such page.\n") << path;
  }
  // A query is not part of the path.
  EXPECT_EQ(Get(server.Port, "/index.html?x=../../etc/passwd").Status, 200);
}

TEST(Serve, OnlyGetAndHeadAreAnswered) {
  Running server;
  for (const std::string method : {"POST", "PUT", "DELETE", "PATCH", "OPTIONS"}) {
    Answer a = Ask(server.Port, Request(server.Port, method, "/", "Content-Length: 5\r\n") + "hello");
    EXPECT_EQ(a.Status, 405) << method;
    EXPECT_EQ(a.Headers["allow"], "GET, HEAD") << method;
  }
  EXPECT_EQ(Get(server.Port, "/").Status, 200);
}

TEST(Serve, OtherHostsAndSitesAreRefused) {
  Running server;
  const std::string port = std::to_string(server.Port);
  for (const std::string& host : std::vector<std::string>{"attacker.example:" + port, "127.0.0.1:" + port + ".attacker.example",
                                  "127.0.0.1:" + std::to_string(server.Port + 1), ""}) {
    const Answer a = Ask(server.Port, "GET / HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(a.Status, 421) << host;
    EXPECT_EQ(a.Body.find("<html"), std::string::npos) << host;
  }
  EXPECT_EQ(Ask(server.Port, "GET / HTTP/1.0\r\n\r\n").Status, 421);  // no Host at all
  for (const std::string& origin : std::vector<std::string>{"http://attacker.example", "null", "https://127.0.0.1:" + port,
                                   "http://127.0.0.1:" + std::to_string(server.Port + 1)}) {
    const Answer a = Get(server.Port, "/app.js", "Origin: " + origin + "\r\n");
    EXPECT_EQ(a.Status, 403) << origin;
    EXPECT_NE(a.Body.find("other sites"), std::string::npos) << origin;
  }
  // The page's own, at each name the server answers to.
  for (const std::string& host : std::vector<std::string>{"127.0.0.1:" + port, "localhost:" + port, "[::1]:" + port}) {
    const Answer a = Ask(server.Port, "GET / HTTP/1.1\r\nHost: " + host + "\r\nOrigin: http://" + host +
                                          "\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(a.Status, 200) << host;
  }
}

TEST(Serve, RequestsBeyondTheirBoundsAreRefused) {
  Running server(1000);
  // A body beyond the largest request, on a GET that the routes take.
  const Answer big = Ask(server.Port, Request(server.Port, "GET", "/", "Content-Length: 5000\r\n") +
                                          std::string(5000, 'x'));
  EXPECT_EQ(big.Status, 413);
  EXPECT_EQ(big.Body, "The request is too large.\n");
  std::string longPath(9001, 'a');
  longPath[0] = '/';
  EXPECT_EQ(Get(server.Port, longPath).Status, 414);
  const Answer header = Get(server.Port, "/", "X-Long: " + std::string(10000, 'h') + "\r\n");
  EXPECT_GE(header.Status, 400);
  EXPECT_EQ(Get(server.Port, "/").Status, 200);
}

}  // namespace anamorfosi
