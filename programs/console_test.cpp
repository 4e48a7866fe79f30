#include "programs/console.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "core/errors.h"
#include "programs/parameters.h"

namespace anamorfosi {

namespace {

namespace fs = std::filesystem;

struct FakeConsole {
  explicit FakeConsole(const std::string& typed) : in(typed), console{&in, &out} {}
  std::istringstream in;
  std::ostringstream out;
  Console console;
};

TEST(ConsoleOutput, LinesEndWithCrLfAndTheBannerHasFiveLines) {
  FakeConsole c("");
  WriteLine(c.console, "abc");
  Write(c.console, "x");
  WriteLine(c.console);
  EXPECT_EQ(c.out.str(), "abc\r\nx\r\n");

  FakeConsole b("");
  WriteBanner(b.console, "Superficie dello specchio: cilindro verticale");
  const std::string text = b.out.str();
  ASSERT_GE(text.size(), 4u);
  EXPECT_EQ(text.substr(0, 73), "Programma per la generazione di anamorfosi speculari di immagini bitmap\r\n");
  std::istringstream lines(text);
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    ++count;
    ASSERT_FALSE(line.empty());
    EXPECT_EQ(line.back(), '\r');
    line.pop_back();
    if (count == 2) {
      EXPECT_EQ(line, "Superficie dello specchio: cilindro verticale");
    } else if (count == 3) {
      EXPECT_TRUE(line.ends_with("V MMI")) << line;
    } else if (count == 5) {
      EXPECT_EQ(line, "");
    }
  }
  EXPECT_EQ(count, 5);
}

TEST(ConsoleInput, LinesEndAtLfOrCrLfAndTheEndOfInputIsAnEmptyLine) {
  FakeConsole c("first\r\nsecond\nlast");
  EXPECT_EQ(ReadConsoleLine(c.console), "first");
  EXPECT_EQ(ReadConsoleLine(c.console), "second");
  EXPECT_EQ(ReadConsoleLine(c.console), "last");
  EXPECT_EQ(ReadConsoleLine(c.console), "");
  EXPECT_EQ(ReadConsoleLine(c.console), "");
}

TEST(ConsoleInput, PromptAndPausesWriteNoLineEnd) {
  FakeConsole c(std::string(3, ' ') + std::string(100, 'p') + "\r\n\n");
  const std::string name = AskParameterFileName(c.console, kPrompt);
  EXPECT_EQ(name, std::string(3, ' ') + std::string(77, 'p'));
  Pause(c.console);
  Pause(c.console, kFinalPauseText);  // at the end of input: returns at once
  EXPECT_EQ(c.out.str(), std::string(kPrompt) + std::string(kPauseText) + std::string(kFinalPauseText));
}

TEST(EchoFormats, RealsHaveFourDecimalsInTwelveAndGrowWhenNeeded) {
  EXPECT_EQ(FormatReal(100), "    100.0000");
  EXPECT_EQ(FormatReal(-50.5_r), "    -50.5000");
  EXPECT_EQ(FormatReal(1e3_r), "   1000.0000");
  EXPECT_EQ(FormatReal(0.00006_r), "      0.0001");
  EXPECT_EQ(FormatReal(-1234567.25_r), "-1234567.2500");
  if (std::numeric_limits<Real>::max_exponent < 13001) {
    GTEST_SKIP() << "2^13000 needs the exponent range of extended precision (a double ends below 2^1024)";
  }
  // 2^13000 is exact and has 3914 digits.
  const std::string huge = FormatReal(std::ldexp(1.0_r, 13000));
  EXPECT_EQ(huge.size(), 3914u + 5u);
  EXPECT_EQ(huge.find_first_not_of("0123456789"), 3914u);
  EXPECT_TRUE(huge.ends_with("6.0000"));
  EXPECT_EQ(FormatReal(-std::ldexp(1.0_r, 13000)).size(), 3920u);
  EXPECT_TRUE(huge.ends_with(".0000"));
}

TEST(EchoFormats, IntegersAreRightAlignedInSeven) {
  EXPECT_EQ(FormatInteger(25), "     25");
  EXPECT_EQ(FormatInteger(-3), "     -3");
  EXPECT_EQ(FormatInteger(6000), "   6000");
  EXPECT_EQ(FormatInteger(-2147483648L), "-2147483648");
  EXPECT_EQ(FormatWhole(42), "42");
  EXPECT_EQ(FormatWhole(-12, 5), "  -12");
  EXPECT_EQ(FormatWhole(LLONG_MIN, 3), "-9223372036854775808");
}

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbourAndFarValuesSaturate) {
  EXPECT_EQ(RoundHalfEven(0.5_r), 0);
  EXPECT_EQ(RoundHalfEven(1.5_r), 2);
  EXPECT_EQ(RoundHalfEven(2.5_r), 2);
  EXPECT_EQ(RoundHalfEven(-0.5_r), 0);
  EXPECT_EQ(RoundHalfEven(-1.5_r), -2);
  EXPECT_EQ(RoundHalfEven(-2.5_r), -2);
  EXPECT_EQ(RoundHalfEven(2.4999_r), 2);
  EXPECT_EQ(RoundHalfEven(2.5001_r), 3);
  EXPECT_EQ(RoundHalfEven(-7.7_r), -8);
  EXPECT_EQ(RoundHalfEven(4503599627370497.0_r), 4503599627370497LL);
  EXPECT_EQ(RoundHalfEven(1e30_r), LLONG_MAX);
  EXPECT_EQ(RoundHalfEven(-1e30_r), LLONG_MIN);
  EXPECT_EQ(RoundHalfEven(9223372036854775808.0_r), LLONG_MAX);
  EXPECT_EQ(RoundHalfEven(-9223372036854775808.0_r), LLONG_MIN);
  EXPECT_EQ(RoundHalfEven(std::numeric_limits<Real>::infinity()), LLONG_MAX);
  EXPECT_EQ(RoundHalfEven(-std::numeric_limits<Real>::infinity()), LLONG_MIN);
  EXPECT_EQ(RoundHalfEven(std::numeric_limits<Real>::quiet_NaN()), 0);
}

class ParameterFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("parameters_test_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Make(const std::string& bytes) {
    const std::string path = (dir_ / "parametri.txt").string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  fs::path dir_;
};

TEST_F(ParameterFileTest, ValuesAreEchoedAsRead) {
  TextFile file(Make(" faccia.dxf\r\nin.ppm\nout.ppm\r100 -50.5\r\n1e3 extra\r\n6000\r\n0\r\n"));
  FakeConsole c("");
  RunParameters p;
  p.PictureDxfName = ReadNameEcho(file, c.console, kLabelPictureDxf);
  p.InputPpmName = ReadNameEcho(file, c.console, kLabelInputPpm);
  p.OutputPpmName = ReadNameEcho(file, c.console, kLabelOutputPpm);
  p.ProjectionCentre = ReadCentreEcho(file, c.console);
  p.PixelCount = ReadIntegerEcho(file, c.console, kLabelPixelCount);
  p.Accuracy = ReadIntegerEcho(file, c.console, kLabelAccuracy);
  EXPECT_EQ(c.out.str(),
            "Nome file faccia per immagine (DXF)   :  faccia.dxf\r\n"
            "Nome file immagine bitmap (PPM ascii) : in.ppm\r\n"
            "Nome file uscita immagine bitmap (PPM): out.ppm\r\n"
            "Coordinata X Centro di Proiezione     :     100.0000\r\n"
            "Coordinata Y Centro di Proiezione     :     -50.5000\r\n"
            "Coordinata Z Centro di Proiezione     :    1000.0000\r\n"
            "Numero pixel lato maggiore immagine   :    6000\r\n"
            "Accuratezza di calcolo  (1..20)       :       0\r\n");
  EXPECT_EQ(p.PictureDxfName, " faccia.dxf");
  EXPECT_EQ(p.ProjectionCentre.z, 1000);
  EXPECT_EQ(LimitPixelCount(p.PixelCount), 5000);
  EXPECT_EQ(ClampAccuracy(p.Accuracy), 1);
  EXPECT_TRUE(file.AtEnd());
}

TEST_F(ParameterFileTest, AFileThatEndsEarlyGivesEmptyNamesAndZeros) {
  TextFile file(Make("solo.dxf"));
  FakeConsole c("");
  EXPECT_EQ(ReadNameEcho(file, c.console, kLabelPictureDxf), "solo.dxf");
  EXPECT_EQ(ReadNameEcho(file, c.console, kLabelInputPpm), "");
  const Point3 centre = ReadCentreEcho(file, c.console);
  EXPECT_EQ(centre.x, 0);
  EXPECT_EQ(centre.z, 0);
  EXPECT_EQ(ReadIntegerEcho(file, c.console, kLabelPixelCount), 0);
  EXPECT_NE(c.out.str().find("Nome file immagine bitmap (PPM ascii) : \r\n"), std::string::npos);
  EXPECT_NE(c.out.str().find("Coordinata Z Centro di Proiezione     :       0.0000\r\n"), std::string::npos);
}

TEST_F(ParameterFileTest, ABadNumberLeavesTheEarlierEchoes) {
  TextFile file(Make("a.dxf\r\n1 2 zero\r\n"));
  FakeConsole c("");
  ReadNameEcho(file, c.console, kLabelPictureDxf);
  try {
    ReadCentreEcho(file, c.console);
    FAIL() << "no failure";
  } catch (const RuntimeFailure& e) {
    EXPECT_EQ(e.code(), kInvalidNumber);
    EXPECT_EQ(e.line(), 2);
  }
  // The centre is echoed only as a whole group.
  EXPECT_EQ(c.out.str(), "Nome file faccia per immagine (DXF)   : a.dxf\r\n");
}

TEST(Clamps, AccuracyAndPixelCount) {
  EXPECT_EQ(ClampAccuracy(0), 1);
  EXPECT_EQ(ClampAccuracy(-5), 1);
  EXPECT_EQ(ClampAccuracy(7), 7);
  EXPECT_EQ(ClampAccuracy(20), 20);
  EXPECT_EQ(ClampAccuracy(25), 20);
  EXPECT_EQ(LimitPixelCount(5000), 5000);
  EXPECT_EQ(LimitPixelCount(5001), 5000);
  EXPECT_EQ(LimitPixelCount(-3), -3);
}

}  // namespace

}  // namespace anamorfosi
