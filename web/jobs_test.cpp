// The uploads kept between requests: which go, and when; a job's failure
// read back from its process.
#include "web/jobs.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "testing/test_support.h"

namespace anamorfosi {

namespace fs = std::filesystem;

TEST(Uploads, LeastRecentlyUsedGoFirstBeyondTheTotal) {
  // Used at 10, 30, 20 and 40 s; 100 bytes each.
  const std::vector<UploadUse> four = {{"a", 100, 10}, {"b", 100, 30}, {"c", 100, 20}, {"d", 100, 40}};
  EXPECT_TRUE(UploadsToRemove(four, 400, 1000, 50, "d").empty());
  EXPECT_EQ(UploadsToRemove(four, 399, 1000, 50, "d"), std::vector<std::string>{"a"});
  EXPECT_EQ(UploadsToRemove(four, 200, 1000, 50, "d"), (std::vector<std::string>{"a", "c"}));
  // The one just made stays even when it alone is beyond the total.
  EXPECT_EQ(UploadsToRemove(four, 50, 1000, 50, "d"), (std::vector<std::string>{"a", "c", "b"}));
  EXPECT_EQ(UploadsToRemove(four, 50, 1000, 50, "a"), (std::vector<std::string>{"c", "b", "d"}));
  // Sizes count, not numbers: the oldest go until the rest fit.
  const std::vector<UploadUse> sizes = {{"small", 10, 1}, {"large", 500, 2}, {"new", 10, 3}};
  EXPECT_EQ(UploadsToRemove(sizes, 400, 1000, 5, "new"), (std::vector<std::string>{"small", "large"}));
  EXPECT_EQ(UploadsToRemove(sizes, 520, 1000, 5, "new"), std::vector<std::string>{});
  EXPECT_EQ(UploadsToRemove(sizes, 519, 1000, 5, "new"), std::vector<std::string>{"small"});
}

TEST(Uploads, LongUnusedGoWhateverTheTotal) {
  const std::vector<UploadUse> three = {{"old", 1, 0}, {"recent", 1, 900}, {"older", 1, 50}};
  EXPECT_EQ(UploadsToRemove(three, 1'000'000, 600, 1000, ""), (std::vector<std::string>{"old", "older"}));
  EXPECT_EQ(UploadsToRemove(three, 1'000'000, 950, 1000, ""), std::vector<std::string>{"old"});
  EXPECT_EQ(UploadsToRemove(three, 1'000'000, 1000, 1000, ""), std::vector<std::string>{});  // just at the age
  EXPECT_EQ(UploadsToRemove(three, 1'000'000, 600, 1000, "old"), std::vector<std::string>{"older"});
}

namespace {

// A stand-in for the command, run as a job is: it fails as the command does
// under --error-json, naming a file of the job's folder, and plainly without it.
const char* const kStubCommand = R"(#!/bin/sh
echo "mapping 1 of 2 rows" >&2
if [ "$1" != --error-json ]; then echo "anamorfosi: the following argument was not expected: $1" >&2; exit 2; fi
printf '{"error": "anamorfosi: --mirror: \\"%s/mirror.stl\\" has no triangle", "field": "mirror"}\n' "$3" >&2
exit 1
)";

}  // namespace

TEST(Jobs, AFailedJobsLineComesBackWithItsField) {
  TempDir dir;
  const std::string stub = dir.File("stub.sh");
  {
    std::ofstream(stub) << kStubCommand;
  }
  fs::permissions(stub, fs::perms::owner_all);
  const std::string folder = dir.File("job-1");
  fs::create_directory(folder);
  State st;
  st.Root = dir.path().string();
  st.Self = stub;
  st.Server = getpid();
  st.JobSeconds = 20;

  CommandRun run = RunChild(st, JobArgs({"anamorfosi", "generico", folder}), folder, "", 0, -1);
  EXPECT_EQ(run.Status, 1) << run.Err;
  auto lines = Messages(run.Err, folder, st.Root);
  ASSERT_EQ(lines.size(), 1u) << run.Err;  // the progress line left out
  const CommandFailure f = FailureOfLine(lines.back());
  EXPECT_EQ(f.Message, "--mirror: \"mirror.stl\" has no triangle");
  EXPECT_EQ(f.Field, "mirror_file");
  // The job's output files are gone once read.
  EXPECT_FALSE(fs::exists(folder + "/.err"));

  // A command that did not take the option: its plain line is the message.
  run = RunChild(st, {"anamorfosi", "generico", folder}, folder, "", 0, -1);
  EXPECT_EQ(run.Status, 2);
  lines = Messages(run.Err, folder, st.Root);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(FailureOfLine(lines.back()).Message, "the following argument was not expected: generico");
  EXPECT_EQ(FailureOfLine(lines.back()).Field, "");
}

}  // namespace anamorfosi
