// `anamorfosi serve`: the site (site/, the page that computes everything in
// the browser) served read-only from the files compiled into the program.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "anamorfosi/command.h"

namespace httplib {
class Server;
}

// Serves until SIGINT or SIGTERM.

namespace anamorfosi {
int ServePage(const ServeOptions& options, std::ostream& out, std::ostream& err);

// Whether a request's Host header names this server (DNS rebinding guard).
bool HostAllowed(const std::string& host, const std::vector<std::string>& names, int port);

// Whether a request's Origin header is the page's own (http:// and a Host
// that HostAllowed accepts): another site's page must not use this one.
bool OriginAllowed(const std::string& origin, const std::vector<std::string>& names, int port);

// The server's answers: the embedded files at their paths ("/" the
// index.html), GET and HEAD only, for the Host names (names) and port given,
// requests of at most maxBytes; its timeouts and error pages. port is read
// at each request (it is known once the server is bound).
void SiteRoutes(httplib::Server& srv, const std::vector<std::string>& names, const int& port, long maxBytes);

}  // namespace anamorfosi
