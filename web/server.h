// `anamorfosi serve`: the local web page that makes a print with a live
// preview, through the same command runs as the console.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "command.h"

// Serves until SIGINT or SIGTERM; the uploads' folder is removed on the way out.
int ServePage(const ServeOptions& options, std::ostream& out, std::ostream& err);

// The files of one job, in its own folder: the names the command is given.
struct JobFiles {
  std::string Folder;   // absolute, ends without '/'
  std::string Picture;  // empty for a grid
  std::string Mirror;   // plane or mesh mirror's file
  std::string Face;     // mesh mirror's picture face
};

// The command line of the page's form for one job, every value checked and
// written by the server itself. output: the file to make (its kind by its
// extension). Throws FieldError naming the form's field.
struct FieldError : std::runtime_error {
  FieldError(std::string field, const std::string& what) : std::runtime_error(what), Field(std::move(field)) {}
  std::string Field;
};
std::vector<std::string> CommandArgs(const nlohmann::json& form, const JobFiles& files, const std::string& output);

// The form field an error line of the command is about ("" when none).
std::string FieldOfMessage(const std::string& message);

// The lines of a job's output for the page: without the progress lines and
// the "anamorfosi: " of each, and with no name of the machine's folders: the
// job's folder (folder) and the server's private one (root) are cut out.
std::vector<std::string> Messages(const std::string& text, const std::string& folder, const std::string& root);

// Whether a request's Host header names this server (DNS rebinding guard).
bool HostAllowed(const std::string& host, const std::vector<std::string>& names, int port);

// Whether a request's Origin header is the page's own (http:// and a Host
// that HostAllowed accepts): another site's page must not make prints here.
bool OriginAllowed(const std::string& origin, const std::vector<std::string>& names, int port);

// An upload kept between requests: how much it takes on disk and when it was
// last made or used (in seconds on a steady clock).
struct UploadUse {
  std::string Id;
  long long Bytes = 0;
  double LastUsed = 0;
};
// The uploads to remove so that those kept take at most maxBytes and none
// has gone unused for longer than maxIdle seconds: the least recently used
// first. keep (the upload just made) is never among them.
std::vector<std::string> UploadsToRemove(std::vector<UploadUse> uploads, long long maxBytes, double maxIdle,
                                         double now, const std::string& keep);
