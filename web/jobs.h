// The jobs of `anamorfosi serve`: each print, and each check of an uploaded
// picture, is a run of this program in a process of its own, in a folder of
// its own, bounded in time and memory and ended when its page goes away; the
// uploads they read are kept, the least recently used removed first.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <list>
#include <map>
#include <mutex>
#include <random>
#include <semaphore>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "web/form.h"

// An upload not used for this long is removed: its page has long been closed.

namespace anamorfosi {
constexpr double kUploadIdleSeconds = 6 * 3600;

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
// The uploads to remove so that those kept take at most maxBytes and none
// has gone unused for longer than maxIdle seconds: the least recently used
// first. keep (the upload just made) is never among them.
std::vector<std::string> UploadsToRemove(std::vector<UploadUse> uploads, long long maxBytes, double maxIdle,
                                         double now, const std::string& keep);

// The lines of a job's output for the page: without the progress lines and
// the "anamorfosi: " of each, and with no name of the machine's folders: the
// job's folder (folder) and the server's private one (root) are cut out.
std::vector<std::string> Messages(const std::string& text, const std::string& folder, const std::string& root);

// A command running for a page's preview: a newer preview of the same page
// ends it, so that only the latest values are worked on.
struct Running {
  std::string Page;
  long Generation = 0;
  pid_t Pid = 0;
  bool Superseded = false;
};

struct State {
  std::string Root;  // the private folder of uploads and jobs
  std::string Self;  // this program, run once per job
  pid_t Server = 0;  // this process, which the jobs end with
  std::counting_semaphore<64>* Jobs = nullptr;
  int JobSeconds = 300;
  // The address space a job may take (0: no bound, as in a build with
  // AddressSanitizer, which reserves terabytes of it).
  unsigned long long JobBytes = 0;
  long long UploadsBytes = 0;  // the most the uploads may take together
  std::mutex UploadsLock;      // guards Uploads and their folders
  std::map<std::string, UploadUse> Uploads;
  std::mutex Lock;  // guards Random, Latest, Runs
  std::atomic<long> Counter{0};
  std::mt19937_64 Random{std::random_device{}()};
  std::map<std::string, long> Latest;  // each page's newest preview
  std::list<Running> Runs;
  bool Stopping = false;
};

// A new upload's id: 16 hex digits.
std::string NewId(State& st);
std::string ReadAll(const std::string& path);
// An upload's id is only ever one the server made: 16 hex digits.
bool IsId(const std::string& id);
double SteadySeconds();

// The file an upload folder holds ("" when none or removed): the uploaded
// one, or for quick its reduced copy where there is one. Counts as a use of
// the upload. The caller holds UploadsLock.
std::string UploadedFile(State& st, const std::string& id, bool quick);
// Removes the uploads beyond the total and those long unused (never keep).
void PruneUploads(State& st, const std::string& keep);
long long FolderBytes(const std::string& folder);

struct CommandRun {
  int Status = 0;
  bool Superseded = false;  // ended by a newer preview of its page
  bool TimedOut = false;    // ended after the time a job may take
  bool ClientGone = false;  // ended because its client left
  std::string Out, Err;
};

// Runs this program with args in its own process, its output streams into
// files of the job's folder (removed once read). A job in a process of its own
// can be ended when its values are stale, gives all its memory back when done,
// and cannot take the server down with it. page, generation: the preview this
// run is for ("" for a download, which nothing ends). client: the request's
// socket (-1: unknown); the job is ended when its client leaves, and after
// the time a job may take.
CommandRun RunChild(State& st, const std::vector<std::string>& args, const std::string& folder,
                    const std::string& page, long generation, int client);

// A preview of generation for page has come: the page's older previews still
// running are ended, and those still waiting will not start.
void Supersede(State& st, const std::string& page, long generation);

// A job's own folder with links to the uploads it reads; quick: the reduced
// copy of the picture where there is one. Throws FieldError for an upload
// that is gone.
JobFiles MakeJob(State& st, const nlohmann::json& form, bool quick);
void RemoveJob(const JobFiles& f);

// One of the prints made at once, waited for at most 20 s.
struct JobSlot {
  std::counting_semaphore<64>& S;
  bool Held;
  explicit JobSlot(std::counting_semaphore<64>& s) : S(s), Held(s.try_acquire_for(std::chrono::seconds(20))) {}
  ~JobSlot() {
    if (Held) S.release();
  }
};

}  // namespace anamorfosi
