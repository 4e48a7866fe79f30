#include "core/errors.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace anamorfosi {

namespace {

int CodeOfOpening(const std::string& name) {
  try {
    std::fclose(OpenForReading(name));
  } catch (const RuntimeFailure& e) {
    EXPECT_EQ(e.file(), name);
    return e.code();
  }
  return 0;
}

TEST(OpenForReading, GivesTheRuntimeCodeOfEachFailure) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("anam-errors-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  fs::create_directories(dir);
  const std::string file = (dir / "a.txt").string();
  std::ofstream(file) << "x";
  EXPECT_EQ(CodeOfOpening(file), 0);
  EXPECT_EQ(CodeOfOpening((dir / "missing.txt").string()), kFileNotFound);
  EXPECT_EQ(CodeOfOpening((dir / "missing" / "a.txt").string()), kPathNotFound);
  EXPECT_EQ(CodeOfOpening(dir.string()), kAccessDenied);
  EXPECT_EQ(CodeOfOpening(""), kFileNotFound);
  // The NUL would cut the name back to the existing a.txt.
  EXPECT_EQ(CodeOfOpening(file + std::string("\0.bak", 5)), kFileNotFound);
  fs::remove_all(dir);
}

TEST(RuntimeFailure, ReportNamesCodeFileAndLine) {
  EXPECT_EQ(RuntimeFailure(106, "parametri.txt", 5).Report(), "Runtime error 106: parametri.txt (riga 5)");
  EXPECT_EQ(RuntimeFailure(2, "faccia.dxf").Report(), "Runtime error 2: faccia.dxf");
}

}  // namespace

}  // namespace anamorfosi
