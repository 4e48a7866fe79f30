// `anamorfosi serve`: the local web page that makes a print with a live
// preview, through the same command runs as the console.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "anamorfosi/command.h"
#include "web/form.h"
#include "web/jobs.h"

// Serves until SIGINT or SIGTERM; the uploads' folder is removed on the way out.

namespace anamorfosi {
int ServePage(const ServeOptions& options, std::ostream& out, std::ostream& err);

// Whether a request's Host header names this server (DNS rebinding guard).
bool HostAllowed(const std::string& host, const std::vector<std::string>& names, int port);

// Whether a request's Origin header is the page's own (http:// and a Host
// that HostAllowed accepts): another site's page must not make prints here.
bool OriginAllowed(const std::string& origin, const std::vector<std::string>& names, int port);

}  // namespace anamorfosi
