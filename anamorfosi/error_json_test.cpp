// The command's refusals as the page's server meets them: run as a program
// with --error-json, each refusal is one line of JSON naming the option it
// concerns, with the message and the exit status of the same run without it.
// And every mirror kind's options are in its subcommand's help.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "anamorfosi/command.h"
#include "pipeline/mirror_kinds.h"
#include "testing/test_support.h"

namespace anamorfosi {

namespace {

struct Ran {
  int Status = 0;
  std::string Err;
};

// The words of a shell command line, each quoted.
std::string Quoted(const std::string& s) {
  std::string q = "'";
  q.append(s).push_back('\'');
  return q;
}

// The built program on args, under a shell prefix ("ulimit ...; ").
Ran RunBinary(const TempDir& dir, const std::vector<std::string>& args, const std::string& prefix = "") {
  std::ostringstream command;
  command << prefix << "exec " << Quoted(ANAMORFOSI_BINARY);
  for (const std::string& a : args) command << ' ' << Quoted(a);
  command << " > " << Quoted(dir.File("out.txt")) << " 2> " << Quoted(dir.File("err.txt"));
  // std::system runs it with sh -c.
  const int status = std::system(command.str().c_str());
  Ran r;
  r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.Err = ReadBytes(dir.File("err.txt"));
  return r;
}

std::string LastLine(const std::string& text) {
  const std::size_t end = text.empty() ? 0 : text.size() - 1;
  const std::size_t start = text.rfind('\n', end == 0 ? 0 : end - 1);
  return text.substr(start == std::string::npos || end == 0 ? 0 : start + 1);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

}  // namespace

TEST(ErrorJson, EveryRefusalThePageCanMeetNamesItsField) {
  TempDir dir;
  const std::string picture = dir.Write("in.ppm", PlainPpm(16, 12, DistinctColours(16, 12)));
  const std::string face = dir.Write("f.dxf", DxfWithFaces({{{-20, 0, 35}, {20, 0, 35}, {20, 0, 5}, {-20, 0, 5}}}));
  const std::string out = dir.File("out.png");
  const std::string scene = dir.Write("s.json", "{\"mirror\": {\"type\": \"cilindro\", \"axis\": [0, 0], \"radius\": \"r\"}}");
  const struct {
    std::vector<std::string> args;
    int status;
    const char* field;
  } cases[] = {
      {{"cilindro", picture, "--radius", "0", "-o", out}, 2, "radius"},
      {{"cilindro", picture, "--radius", "25", "--axis", "1,x", "-o", out}, 2, "axis"},
      {{"cono", picture, "--base-radius", "-30", "--height", "60", "-o", out}, 2, "base-radius"},
      {{"cono", picture, "--base-radius", "30", "--height", "0", "-o", out}, 2, "height"},
      {{"cilindro", picture, "--radius", "25", "--eye", "0,-10,50", "-o", out}, 2, "eye"},
      {{"cilindro", picture, "--radius", "25", "--eye", "0,-300,-5", "-o", out}, 2, "eye"},
      // An eye below the cone's top sees no face in it.
      {{"cono", picture, "--base-radius", "30", "--height", "60", "--eye", "0,-100,1", "-o", out}, 1, "eye"},
      {{"cilindro", picture, "--radius", "25", "--dpi", "0", "-o", out}, 2, "dpi"},
      {{"cilindro", picture, "--radius", "25", "--dpi", "1e6", "-o", out}, 1, "dpi"},
      {{"cilindro", dir.File("none.png"), "--radius", "25", "-o", out}, 1, "picture"},
      {{"cilindro", picture, "--radius", "25", "--face", dir.File("none.dxf"), "-o", out}, 1, "face"},
      {{"cilindro", picture, "--radius", "25", "--face", picture, "-o", out}, 1, "face"},
      {{"specchio", picture, "--mirror", dir.File("none.dxf"), "-o", out}, 1, "mirror"},
      {{"specchio", picture, "--mirror", picture, "-o", out}, 1, "mirror"},
      {{"generico", picture, "--mirror", dir.File("none.stl"), "--face", face, "--eye", "0,-300,250", "-o", out}, 1,
       "mirror"},
      // A mesh with no automatic face from that eye: the page marks the eye.
      {{"generico", picture, "--mirror", face, "--eye", "0,0,400", "-o", out}, 1, "eye"},
      {{"cilindro", picture, "--radius", "25", "-o", dir.File("out.gif")}, 2, "output"},
      {{"cilindro", picture, "--radius", "25", "--paper", "A7", "-o", out}, 2, "paper"},
      // A scene file's refusal names its key.
      {{"run", scene}, 1, "radius"},
  };
  for (const auto& c : cases) {
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    SCOPED_TRACE(line);
    std::vector<std::string> json = {"--error-json"};
    json.insert(json.end(), c.args.begin(), c.args.end());
    const Ran asJson = RunBinary(dir, json);
    const Ran plain = RunBinary(dir, c.args);
    EXPECT_EQ(asJson.Status, c.status) << asJson.Err;
    EXPECT_EQ(plain.Status, c.status) << plain.Err;
    // Exactly one line, and nothing else on the error stream.
    ASSERT_EQ(std::count(asJson.Err.begin(), asJson.Err.end(), '\n'), 1) << asJson.Err;
    const nlohmann::json j = nlohmann::json::parse(asJson.Err);
    ASSERT_TRUE(j.is_object() && j.size() == 2 && j["error"].is_string() && j["field"].is_string()) << asJson.Err;
    EXPECT_EQ(j["field"], c.field) << asJson.Err;
    // The message is the one printed without the option, word for word.
    EXPECT_EQ("anamorfosi: " + j["error"].get<std::string>() + "\n", plain.Err);
    EXPECT_FALSE(FileExists(out));
  }
}

TEST(ErrorJson, ARunOutOfMemoryNamesTheDpi) {
  // An address space too small for the print's rasters: the allocation fails
  // in the mapping. A sanitizer's own reservations do not fit such a limit.
  if (kSanitized) GTEST_SKIP() << "a sanitizer build cannot run under ulimit -v";
  TempDir dir;
  const std::string picture = dir.Write("in.ppm", PlainPpm(16, 12, DistinctColours(16, 12)));
  const std::string out = dir.File("out.png");
  const Ran r = RunBinary(dir, {"--error-json", "cilindro", picture, "--radius", "25", "--dpi", "1400", "-o", out,
                                "--quiet"},
                          "ulimit -v 250000; ");
  EXPECT_EQ(r.Status, 1) << r.Err;
  const nlohmann::json j = nlohmann::json::parse(LastLine(r.Err));
  EXPECT_EQ(j["field"], "dpi") << r.Err;
  EXPECT_NE(j["error"].get<std::string>().find("memory"), std::string::npos) << r.Err;
  EXPECT_FALSE(FileExists(out));
}

TEST(ErrorJson, WithoutTheOptionTheCommandSaysNoMoreThanBefore) {
  // The option is for the page only: no help text lists it.
  for (const std::string sub : {"", "cilindro", "run", "serve"}) {
    std::vector<const char*> argv = {"anamorfosi"};
    if (!sub.empty()) argv.push_back(sub.c_str());
    argv.push_back("--help");
    std::ostringstream out, err;
    RunCommand(static_cast<int>(argv.size()), argv.data(), out, err, false);
    EXPECT_EQ(out.str().find("error-json"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("\n\n\n"), std::string::npos) << out.str();
  }
}

TEST(Command, EveryKindsOptionsAreInItsHelpAndItsNameInTheCommands) {
  std::ostringstream top, topErr;
  const char* topArgv[] = {"anamorfosi", "--help"};
  RunCommand(2, topArgv, top, topErr, false);
  for (const MirrorKindEntry& k : MirrorKinds()) {
    SCOPED_TRACE(k.Name);
    EXPECT_NE(top.str().find(std::string(k.Name) + " "), std::string::npos) << top.str();
    EXPECT_NE(top.str().find(k.Summary), std::string::npos) << top.str();
    const char* argv[] = {"anamorfosi", k.Name, "--help"};
    std::ostringstream out, err;
    EXPECT_EQ(RunCommand(3, argv, out, err, false), 0);
    const std::string help = out.str();
    for (const KindParameter& p : k.Parameters) {
      const std::size_t at = help.find("--" + std::string(p.Option) + " ");
      ASSERT_NE(at, std::string::npos) << p.Option << "\n" << help;
      // The option's entry, its words wrapped onto the next line after a long name.
      const std::string line = help.substr(at, help.find("\n  -", at) - at);
      EXPECT_NE(line.find(p.Help), std::string::npos) << line;
      EXPECT_EQ(line.find("REQUIRED") != std::string::npos, p.Required) << line;
    }
    EXPECT_NE(help.find(k.Footer), std::string::npos) << help;
    // A kind that places no face and no eye of its own needs both given.
    for (const char* option : {"--face", "--eye"}) {
      const std::size_t at = help.find(std::string(option) + " ");
      ASSERT_NE(at, std::string::npos) << help;
      const std::string line = help.substr(at, help.find('\n', at) - at);
      EXPECT_EQ(line.find("REQUIRED") != std::string::npos, k.AutomaticFace == nullptr) << line;
    }
  }
}

}  // namespace anamorfosi
