#include "formats/text_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

#include "core/errors.h"

namespace anamorfosi {

namespace {

namespace fs = std::filesystem;

// A scratch folder of this test program, removed at the end.
class TextFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("text_file_test_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Make(const std::string& name, const std::string& bytes) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  // The runtime code and line of the failure of one read.
  template <typename Read>
  std::pair<int, long> Failure(const std::string& path, Read read) {
    TextFile f(path);
    try {
      read(f);
    } catch (const RuntimeFailure& e) {
      EXPECT_EQ(e.file(), path);
      return {e.code(), e.line()};
    }
    return {0, 0};
  }

  fs::path dir_;
};

TEST_F(TextFileTest, TheThreeLineEndStylesReadAlike) {
  for (const std::string eol : {"\r\n", "\n", "\r"}) {
    const std::string path =
        Make("p.txt", "a.dxf" + eol + "  b.ppm  " + eol + eol + "100 -50.5" + eol + "1e3" + eol + "25 rest" + eol + "next");
    TextFile f(path);
    EXPECT_EQ(f.ReadName(), "a.dxf");
    EXPECT_EQ(f.ReadName(), "  b.ppm  ");
    EXPECT_EQ(f.ReadName(), "");
    EXPECT_EQ(f.line(), 4);
    EXPECT_EQ(f.ReadReal(), 100);
    EXPECT_EQ(f.ReadReal(), -50.5_r);
    EXPECT_EQ(f.ReadReal(), 1000);
    f.SkipLine();
    EXPECT_EQ(f.ReadInteger(), 25);
    EXPECT_EQ(f.line(), 7);
    EXPECT_EQ(f.ReadName(), "next");
    EXPECT_TRUE(f.AtEnd());
    EXPECT_EQ(f.ReadName(), "");
  }
}

TEST_F(TextFileTest, LfThenCrIsTwoLineEnds) {
  TextFile f(Make("p.txt", "one\n\rthree\r\n"));
  EXPECT_EQ(f.ReadName(), "one");
  EXPECT_EQ(f.ReadName(), "");
  EXPECT_EQ(f.ReadName(), "three");
  EXPECT_EQ(f.line(), 4);
  EXPECT_TRUE(f.AtEnd());
}

TEST_F(TextFileTest, CrLfSplitAcrossReadBlocksIsOneLineEnd) {
  // The CR is the last byte of the first 64 KiB block, the LF the first of the next.
  const std::string path = Make("p.txt", "a\r" + std::string(65535 - 2, 'x') + "\r\n7\r\nend");
  TextFile f(path);
  EXPECT_EQ(f.ReadName(), "a");
  EXPECT_EQ(f.ReadName(3), "xxx");
  EXPECT_EQ(f.ReadInteger(), 7);
  EXPECT_EQ(f.line(), 4);
  EXPECT_EQ(f.ReadName(), "end");
}

TEST_F(TextFileTest, CtrlZEndsTheFile) {
  TextFile f(Make("p.txt", "name\r\n12\x1a" "99\r\nlater\r\n"));
  EXPECT_EQ(f.ReadName(), "name");
  EXPECT_EQ(f.ReadReal(), 12);
  EXPECT_TRUE(f.AtEnd());
  EXPECT_EQ(f.ReadReal(), 0);
  EXPECT_EQ(f.ReadName(), "");

  TextFile g(Make("q.txt", "\x1a" "1 2 3"));
  EXPECT_TRUE(g.AtEnd());
  EXPECT_EQ(g.ReadInteger(), 0);
}

TEST_F(TextFileTest, EndOfFileGivesEmptyNamesAndZeroNumbers) {
  TextFile f(Make("p.txt", "only.dxf\r\n   \r\n"));
  EXPECT_EQ(f.ReadName(), "only.dxf");
  EXPECT_EQ(f.ReadReal(), 0);
  EXPECT_EQ(f.ReadInteger(), 0);
  EXPECT_EQ(f.ReadName(), "");
  f.SkipLine();
  EXPECT_TRUE(f.AtEnd());
}

TEST_F(TextFileTest, NamesAreCutAtEightyAndLongLinesAreSafe) {
  const std::string longName(100, 'n');
  const std::string millionChars(1000000, 'q');
  TextFile f(Make("p.txt", " " + longName + "\r\n" + millionChars + "\n" + millionChars + "\r3\r" + millionChars));
  const std::string name = f.ReadName();
  EXPECT_EQ(name.size(), 80u);
  EXPECT_EQ(name, " " + longName.substr(0, 79));
  EXPECT_EQ(f.ReadName(6), "qqqqqq");
  f.SkipLine();
  EXPECT_EQ(f.ReadInteger(), 3);
  EXPECT_EQ(f.line(), 5);
  // A token of a million characters is not a number.
  EXPECT_THROW(f.ReadReal(), RuntimeFailure);
}

TEST_F(TextFileTest, RealsInDecimalNotation) {
  TextFile f(Make("p.txt", "+3 .5 5. 1E-2 -0.25e+2\t7\r\n1e-5000 1.18e4932 00012.5000"));
  EXPECT_EQ(f.ReadReal(), 3);
  EXPECT_EQ(f.ReadReal(), 0.5_r);
  EXPECT_EQ(f.ReadReal(), 5);
  EXPECT_EQ(f.ReadReal(), 1e-2_r);
  EXPECT_EQ(f.ReadReal(), -25);
  EXPECT_EQ(f.ReadReal(), 7);
  // Too small to hold is zero; the largest extended values still read.
  EXPECT_EQ(f.ReadReal(), 0);
  if (std::numeric_limits<Real>::max_exponent10 < 4932) {
    GTEST_SKIP() << "1.18e4932 needs the exponent range of extended precision (a double ends below 1.8e308)";
  }
  EXPECT_EQ(f.ReadReal(), 1.18e4932_r);
  EXPECT_EQ(f.ReadReal(), 12.5_r);
}

TEST_F(TextFileTest, TokensThatAreNotNumbersAreRuntimeError106WithTheirLine) {
  for (const std::string bad : {"1e5000", "-1e5000", "nan", "inf", "-Infinity", "0x10", "1.2.3", "abc", "1e", "1e+",
                                "-", ".", "+-1", "1,5", "3x", "e5"}) {
    const auto [code, line] = Failure(Make("p.txt", "file.dxf\r\n\r\n  " + bad + "  \r\n"), [](TextFile& f) {
      f.ReadName();
      f.ReadReal();
    });
    EXPECT_EQ(code, kInvalidNumber) << bad;
    EXPECT_EQ(line, 3) << bad;
  }
}

TEST_F(TextFileTest, IntegersAreStrict32BitDecimals) {
  TextFile f(Make("p.txt", "25 ignored words\r\n-3\r\n+7\r\n2147483647\r\n-2147483648\r\n0025\r\n"));
  EXPECT_EQ(f.ReadInteger(), 25);
  EXPECT_EQ(f.ReadInteger(), -3);
  EXPECT_EQ(f.ReadInteger(), 7);
  EXPECT_EQ(f.ReadInteger(), 2147483647);
  EXPECT_EQ(f.ReadInteger(), -2147483648L);
  EXPECT_EQ(f.ReadInteger(), 25);
  for (const std::string bad : {"2147483648", "-2147483649", "10.0", "1e3", "0x10", "12a", "--4", "+"}) {
    const auto [code, line] = Failure(Make("p.txt", "\n" + bad + "\n"), [](TextFile& f) { f.ReadInteger(); });
    EXPECT_EQ(code, kInvalidNumber) << bad;
    EXPECT_EQ(line, 2) << bad;
  }
}

TEST_F(TextFileTest, StrictConversionsOfWholeTokens) {
  Real r = 9;
  long i = 9;
  EXPECT_FALSE(ParseReal("", r));
  EXPECT_FALSE(ParseReal(" 1", r));
  EXPECT_FALSE(ParseReal("1 ", r));
  EXPECT_FALSE(ParseReal("1e99999999999999999999", r));
  EXPECT_EQ(r, 9);
  EXPECT_TRUE(ParseReal("-0.000001e-4990", r));
  EXPECT_EQ(r, 0);
  EXPECT_FALSE(ParseInteger("", i));
  EXPECT_FALSE(ParseInteger(" 5", i));
  EXPECT_EQ(i, 9);
}

TEST_F(TextFileTest, OpenFailuresCarryTheRuntimeCode) {
  const auto code = [](const std::string& path) {
    try {
      TextFile f(path);
    } catch (const RuntimeFailure& e) {
      return e.code();
    }
    return 0;
  };
  EXPECT_EQ(code((dir_ / "missing.txt").string()), kFileNotFound);
  EXPECT_EQ(code((dir_ / "no_folder" / "missing.txt").string()), kPathNotFound);
  EXPECT_EQ(code(dir_.string()), kAccessDenied);
  EXPECT_EQ(code(""), kFileNotFound);
}

}  // namespace

}  // namespace anamorfosi
