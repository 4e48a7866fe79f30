#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "core/errors.h"
#include "picture/picture_error.h"
#include "formats/ppm.h"
#include "core/raster.h"

namespace anamorfosi {

namespace fs = std::filesystem;

namespace {

class PpmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / ("ppm_test_" + std::to_string(::getpid()) + "_" + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  std::string Write(const std::string& name, const std::string& bytes) const {
    const std::string path = Path(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
    return names;
  }

  InputPicture ReadText(const std::string& bytes) { return ReadPicture(Write("in.ppm", bytes)); }

  // The message of the RunStopped that reading these bytes must throw.
  std::string StopMessage(const std::string& bytes) {
    try {
      ReadText(bytes);
    } catch (const RunStopped& e) {
      return e.what();
    }
    ADD_FAILURE() << "no RunStopped for: " << bytes;
    return {};
  }

  fs::path dir_;
};

using Bytes = std::vector<std::uint8_t>;

TEST_F(PpmTest, PlainPictureWithAndWithoutComment) {
  InputPicture p = ReadText("P3\n# made here\n2 1\n255\n1 2 3 4 5 6\n");
  EXPECT_EQ(p.Width, 2);
  EXPECT_EQ(p.Height, 1);
  EXPECT_EQ(p.MaxValue, 255);
  EXPECT_TRUE(p.HasComment);
  EXPECT_EQ(p.Comment, "# made here");
  EXPECT_EQ(p.Rgb, (Bytes{1, 2, 3, 4, 5, 6}));

  p = ReadText("P3\n1 2\n255\n7 8 9\n10 11 12\n");
  EXPECT_EQ(p.Width, 1);
  EXPECT_EQ(p.Height, 2);
  EXPECT_FALSE(p.HasComment);
  EXPECT_EQ(p.Comment, "");
  EXPECT_EQ(p.Rgb, (Bytes{7, 8, 9, 10, 11, 12}));
}

TEST_F(PpmTest, AnyRunOfWhiteSpaceSeparatesTokens) {
  // Blanks, tabs, CR LF, bare CR, empty lines, and no line end after the last value.
  const InputPicture p = ReadText("P3\r\n2\t 1\r\n\r\n255  \r\n1\t\t2 3\r\n\n  4\v5\f\r6");
  EXPECT_EQ(p.Width, 2);
  EXPECT_EQ(p.Height, 1);
  EXPECT_EQ(p.Rgb, (Bytes{1, 2, 3, 4, 5, 6}));
}

TEST_F(PpmTest, CommentsAnywhereInTheHeaderAndTheFirstIsKept) {
  InputPicture p = ReadText("P3 #first\n2#second\n#third\n1\n# fourth\n255\n1 2 3 4 5 6\n");
  EXPECT_EQ(p.Width, 2);
  EXPECT_EQ(p.Height, 1);
  EXPECT_EQ(p.Comment, "#first");
  EXPECT_EQ(p.Rgb, (Bytes{1, 2, 3, 4, 5, 6}));

  // A CR LF line end is not part of the comment, and a long comment is cut to 72 characters.
  const std::string longComment = "#" + std::string(100, 'x');
  p = ReadText("P3\r\n" + longComment + "\r\n1 1\r\n255\r\n1 2 3\r\n");
  EXPECT_EQ(p.Comment, longComment.substr(0, 72));
  EXPECT_EQ(p.Rgb, (Bytes{1, 2, 3}));

  p = ReadText("P3\n# with CR\r1 1 255 4 5 6");
  EXPECT_EQ(p.Comment, "# with CR");
  EXPECT_EQ(p.Rgb, (Bytes{4, 5, 6}));
}

TEST_F(PpmTest, SamplesAreClampedOrScaledNeverWrapped) {
  InputPicture p = ReadText("P3\n2 2\n255\n300 256 255 0 99999999999999999999 1 2 3 4 5 6 7\n");
  EXPECT_EQ(p.MaxValue, 255);
  EXPECT_EQ(p.Rgb, (Bytes{255, 255, 255, 0, 255, 1, 2, 3, 4, 5, 6, 7}));

  // A small maximum is kept and its values are copied unscaled.
  p = ReadText("P3\n2 1\n15\n0 7 15 16 20 3\n");
  EXPECT_EQ(p.MaxValue, 15);
  EXPECT_EQ(p.Rgb, (Bytes{0, 7, 15, 15, 15, 3}));

  // A maximum above 255 is scaled to 0..255 with rounding.
  p = ReadText("P3\n2 1\n65535\n0 65535 32768 257 70000 128\n");
  EXPECT_EQ(p.MaxValue, 255);
  EXPECT_EQ(p.Rgb, (Bytes{0, 255, 128, 1, 255, 0}));
  p = ReadText("P3\n1 1\n1000\n500 2 1000\n");
  EXPECT_EQ(p.Rgb, (Bytes{128, 1, 255}));
}

TEST_F(PpmTest, BinaryPictures) {
  // One white-space byte after the maximum; data bytes that look like white space are samples.
  std::string bytes = "P6\n# binary\n2 1\n200\n";
  bytes += std::string("\n \t\0\xff\x07", 6);
  InputPicture p = ReadText(bytes);
  EXPECT_EQ(p.Width, 2);
  EXPECT_EQ(p.Height, 1);
  EXPECT_EQ(p.MaxValue, 200);
  EXPECT_EQ(p.Comment, "# binary");
  EXPECT_EQ(p.Rgb, (Bytes{10, 32, 9, 0, 200, 7}));

  // Two bytes a sample, high byte first.
  bytes = "P6 1 1 65535\n";
  bytes += std::string("\x80\x00\x00\x80\xff\xff", 6);
  p = ReadText(bytes);
  EXPECT_EQ(p.MaxValue, 255);
  EXPECT_EQ(p.Rgb, (Bytes{128, 0, 255}));

  // A comment right after the maximum ends with the single white-space byte.
  bytes = "P6\n1 1\n255#note\n";
  bytes += std::string("\n\r\x05", 3);
  p = ReadText(bytes);
  EXPECT_EQ(p.Comment, "#note");
  EXPECT_EQ(p.Rgb, (Bytes{10, 13, 5}));
}

TEST_F(PpmTest, PicturesThatAreNotPicturesAreReported) {
  for (const std::string bad : {"", "P5\n1 1\n255\n", "P2\n1 1\n255\n1\n", "hello", "P33 1 1 255 1 2 3", "p3 1 1 255 1 2 3"}) {
    EXPECT_NE(StopMessage(bad).find("non e' un'immagine PPM (P3 o P6)"), std::string::npos) << bad;
  }
  EXPECT_NE(StopMessage("P3\n0 1\n255\n").find("larghezza mancante o non valida"), std::string::npos);
  EXPECT_NE(StopMessage("P3\nx 1\n255\n").find("larghezza mancante o non valida"), std::string::npos);
  EXPECT_NE(StopMessage("P3\n-1 1\n255\n").find("larghezza mancante o non valida"), std::string::npos);
  EXPECT_NE(StopMessage("P3\n99999999999 1\n255\n").find("larghezza mancante o non valida"), std::string::npos);
  EXPECT_NE(StopMessage("P3\n2 0\n255\n").find("altezza mancante o non valida"), std::string::npos);
  EXPECT_NE(StopMessage("P3\n2 1x 255\n").find("altezza mancante o non valida"), std::string::npos);
  EXPECT_NE(StopMessage("P3\n2 1\n").find("valore massimo mancante o non valido"), std::string::npos);
  EXPECT_NE(StopMessage("P3\n2 1\n0\n").find("valore massimo mancante o non valido"), std::string::npos);
  EXPECT_NE(StopMessage("P3\n2 1\n65536\n").find("valore massimo mancante o non valido"), std::string::npos);
  for (const std::string bad : {"1 2 x 4 5 6", "1 2 -3 4 5 6", "1 2 3.5 4 5 6", "1 2 3 # c\n 4 5 6", "1 2 +3 4 5 6"}) {
    EXPECT_NE(StopMessage("P3\n2 1\n255\n" + bad).find("valore di un pixel non numerico"), std::string::npos) << bad;
  }
  // The message names the file.
  EXPECT_NE(StopMessage("P3\n0 1\n255\n").find(Path("in.ppm")), std::string::npos);
}

TEST_F(PpmTest, TruncatedFilesAreReportedAtEveryLength) {
  const std::string plain = "P3\n# c\n2 2\n255\n1 2 3 4 5 6 7 8 9 10 11 2\n";
  // Every prefix that stops before the last value's digit lacks data.
  for (std::size_t n = 0; n + 2 < plain.size(); ++n) {
    EXPECT_THROW(ReadText(plain.substr(0, n)), RunStopped) << n;
  }
  EXPECT_NE(StopMessage("P3\n2 2\n255\n1 2 3 4 5 6").find("dati dei pixel incompleti"), std::string::npos);
  // Long enough to hold the samples, but the last one is missing.
  EXPECT_NE(StopMessage("P3\n2 1\n255\n1 2 3 4 5" + std::string(40, ' ')).find("dati dei pixel incompleti"),
            std::string::npos);

  std::string binary = "P6\n2 1\n65535\n";
  binary += std::string(12, '\x01');
  for (std::size_t n = 0; n < binary.size(); ++n) {
    EXPECT_THROW(ReadText(binary.substr(0, n)), RunStopped) << n;
  }
  EXPECT_NO_THROW(ReadText(binary));
}

TEST_F(PpmTest, HugeHeaderOnATinyFileFailsWithoutAllocating) {
  EXPECT_NE(StopMessage("P3\n1000000000 1000000000\n255\n1 2 3\n").find("dati dei pixel incompleti"), std::string::npos);
  EXPECT_NE(StopMessage("P6\n2147483647 2147483647\n65535\nabcdef").find("dati dei pixel incompleti"),
            std::string::npos);

  // A pipe has no size to check against: the picture grows only as data arrives.
  const std::string fifo = Path("pipe.ppm");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << "P3\n100000 100000\n255\n1 2 3 4 5 6\n"; });
  try {
    ReadPicture(fifo);
    ADD_FAILURE() << "a picture was read from a short pipe";
  } catch (const RunStopped& e) {
    EXPECT_NE(std::string(e.what()).find("dati dei pixel incompleti"), std::string::npos);
  }
  writer.join();
}

TEST_F(PpmTest, FilesThatCannotBeOpened) {
  try {
    ReadPicture(Path("missing.ppm"));
    ADD_FAILURE();
  } catch (const RuntimeFailure& e) {
    EXPECT_EQ(e.code(), kFileNotFound);
  }
  try {
    ReadPicture(Path("nofolder/missing.ppm"));
    ADD_FAILURE();
  } catch (const RuntimeFailure& e) {
    EXPECT_EQ(e.code(), kPathNotFound);
  }
}

TEST_F(PpmTest, LargeBinaryPictureAcrossReadBlocks) {
  // An odd header length splits a two-byte sample between two read blocks.
  const int w = 600, h = 600;
  std::string bytes = "P6\n600 600\n65535\n";
  ASSERT_EQ(bytes.size() % 2, 1u);
  Bytes expected;
  std::mt19937 gen(7);
  for (int i = 0; i < w * h * 3; ++i) {
    const unsigned v = gen() % 256;
    expected.push_back(static_cast<std::uint8_t>(v));
    // v * 257 scales back to exactly v.
    const unsigned s = v * 257;
    bytes.push_back(static_cast<char>(s >> 8));
    bytes.push_back(static_cast<char>(s & 0xff));
  }
  const InputPicture p = ReadText(bytes);
  EXPECT_EQ(p.Rgb, expected);
}

// --- Output picture ---

// Cell (col, row) gets red 10 * row + col, green 0, blue 255 in column 1 and col elsewhere.
OutputRaster NumberedRaster(int width, int height) {
  OutputRaster r;
  ClearRaster(r, width, height);
  for (int col = 1; col <= width; ++col)
    for (int row = 1; row <= height; ++row)
      r.Set(col, row, {static_cast<std::uint8_t>(10 * row + col), 0, static_cast<std::uint8_t>(col == 1 ? 255 : col)});
  return r;
}

TEST_F(PpmTest, ClearRasterSizesAndBlackens) {
  OutputRaster r = NumberedRaster(3, 2);
  ClearRaster(r, 2, 4);
  EXPECT_EQ(r.Width, 2);
  EXPECT_EQ(r.Height, 4);
  EXPECT_EQ(r.Cells, Bytes(2 * 4 * 3, 0));
}

TEST_F(PpmTest, WritesElevenPixelsALineAcrossRows) {
  InputPicture in;
  in.HasComment = true;
  in.Comment = "# from the input";
  in.Width = 2;
  in.Height = 2;
  const std::string out = Path("out.ppm");
  {
    OutputPicture pic(out);
    pic.WriteHeader(in, 4, 3);
    pic.WritePixelsAndCommit(NumberedRaster(4, 3));
  }
  EXPECT_EQ(Slurp(out),
            "P3\n# from the input\n4 3\n255\n"
            "11 0 255 12 0 2 13 0 3 14 0 4 21 0 255 22 0 2 23 0 3 24 0 4 31 0 255 32 0 2 33 0 3 \n"
            "34 0 4 ");
  EXPECT_EQ(Listing(), std::vector<std::string>{"out.ppm"});
}

TEST_F(PpmTest, FileEndsWithLineFeedWhenPixelCountIsAMultipleOfEleven) {
  InputPicture in;
  in.MaxValue = 15;
  const std::string out = Path("out.ppm");
  OutputRaster r;
  ClearRaster(r, 11, 2);
  r.Set(11, 2, {1, 2, 3});
  {
    OutputPicture pic(out);
    pic.WriteHeader(in, 11, 2);
    pic.WritePixelsAndCommit(r);
  }
  std::string line;
  for (int i = 0; i < 11; ++i) line += "0 0 0 ";
  EXPECT_EQ(Slurp(out), "P3\n11 2\n15\n" + line + "\n" + line.substr(0, 60) + "1 2 3 \n");
}

TEST_F(PpmTest, UncommittedPictureLeavesNothingBehind) {
  InputPicture in;
  {
    OutputPicture pic(Path("out.ppm"));
    pic.WriteHeader(in, 1, 1);
  }
  EXPECT_TRUE(Listing().empty());

  // An existing file, such as the input itself, survives a run that never commits.
  const std::string existing = Write("same.ppm", "P3\n1 1\n255\n1 2 3\n");
  {
    OutputPicture pic(existing);
    pic.WriteHeader(ReadPicture(existing), 1, 1);
  }
  EXPECT_EQ(Slurp(existing), "P3\n1 1\n255\n1 2 3\n");
  EXPECT_EQ(Listing(), std::vector<std::string>{"same.ppm"});

  // Committed, it is replaced in place.
  {
    OutputPicture pic(existing);
    pic.WriteHeader(ReadPicture(existing), 1, 1);
    pic.WritePixelsAndCommit(NumberedRaster(1, 1));
  }
  EXPECT_EQ(Slurp(existing), "P3\n1 1\n255\n11 0 255 ");
  EXPECT_EQ(Listing(), std::vector<std::string>{"same.ppm"});
}

TEST_F(PpmTest, TheOutputFileAppearsOnlyWhenThePictureIsWritten) {
  InputPicture in;
  // A file left by a killed run of this process's number, and a link beside it.
  const std::string pid = std::to_string(::getpid());
  Write("out.ppm.tmp" + pid + "_0", "left over");
  const std::string victim = Write("victim.txt", "keep");
  fs::create_symlink(victim, Path("out.ppm.tmp" + pid + "_1"));
  auto sorted = [](std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
  };
  const std::vector<std::string> before = sorted(Listing());
  {
    OutputPicture pic(Path("out.ppm"));
    pic.WriteHeader(in, 1, 1);
    // The whole mapping runs here: nothing of the output exists yet.
    EXPECT_EQ(sorted(Listing()), before);
    pic.WritePixelsAndCommit(NumberedRaster(1, 1));
  }
  EXPECT_EQ(Slurp(Path("out.ppm")), "P3\n1 1\n255\n11 0 255 ");
  EXPECT_EQ(Slurp(Path("out.ppm.tmp" + pid + "_0")), "left over");
  EXPECT_EQ(Slurp(victim), "keep");
  EXPECT_EQ(Listing().size(), before.size() + 1);
}

TEST_F(PpmTest, LimitsWhenAskedOtherwiseAnySize) {
  // 70000 x 2 in binary: the programs read it; with the command's limits it is
  // refused from its header, however its pixels continue.
  const std::string wide = Write("wide.ppm", "P6\n70000 2\n255\n" + std::string(70000 * 2 * 3, '\x80'));
  EXPECT_EQ(ReadPicture(wide).Width, 70000);
  const PictureLimits limits;
  try {
    ReadPicture(wide, &limits);
    ADD_FAILURE() << "read";
  } catch (const PictureError& e) {
    EXPECT_EQ(e.Problem, PictureProblem::kTooLarge);
    EXPECT_EQ(e.Format, PictureFormat::kPpm);
    EXPECT_EQ(e.Detail, "70000 x 2");
    EXPECT_EQ(e.Width, 70000);
  }
  // The largest side and the most pixels the limits allow are read.
  EXPECT_EQ(ReadPicture(Write("side.ppm", "P6 65535 1 255\n" + std::string(65535 * 3, 'a')), &limits).Width, 65535);
  PictureLimits small;
  small.MaxPixels = 6;
  auto zeros = [](int samples) {
    std::string s;
    for (int i = 0; i < samples; ++i) s += "0 ";
    return s;
  };
  EXPECT_EQ(ReadPicture(Write("six.ppm", "P3\n3 2\n255\n" + zeros(18)), &small).Height, 2);
  EXPECT_THROW(ReadPicture(Write("seven.ppm", "P3\n7 1\n255\n" + zeros(21)), &small), PictureError);
}

TEST_F(PpmTest, OutputThatCannotBeCreated) {
  const auto codeFor = [](const std::string& name) {
    try {
      OutputPicture pic(name);
    } catch (const RuntimeFailure& e) {
      EXPECT_EQ(e.file(), name);
      return e.code();
    }
    return 0;
  };
  EXPECT_EQ(codeFor(Path("nofolder/out.ppm")), kPathNotFound);
  EXPECT_EQ(codeFor(dir_.string()), kAccessDenied);
  if (::geteuid() != 0) {
    fs::create_directory(dir_ / "locked");
    fs::permissions(dir_ / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(codeFor(Path("locked/out.ppm")), kAccessDenied);
    fs::permissions(dir_ / "locked", fs::perms::owner_all);
  }
}

TEST_F(PpmTest, WrittenPictureReadsBackAcrossBlocks) {
  // Enough text to span several read blocks and write bands, with an odd row count.
  const int w = 700, h = 431;
  OutputRaster r;
  ClearRaster(r, w, h);
  std::mt19937 gen(3);
  for (auto& b : r.Cells) b = static_cast<std::uint8_t>(gen());
  InputPicture in;
  in.HasComment = true;
  in.Comment = "# round trip";
  const std::string out = Path("big.ppm");
  {
    OutputPicture pic(out);
    pic.WriteHeader(in, w, h);
    pic.WritePixelsAndCommit(r);
  }
  ASSERT_GT(fs::file_size(out), std::uintmax_t{2} << 20);
  const InputPicture back = ReadPicture(out);
  ASSERT_EQ(back.Width, w);
  ASSERT_EQ(back.Height, h);
  EXPECT_EQ(back.Comment, "# round trip");
  bool same = true;
  for (int row = 1; row <= h && same; ++row)
    for (int col = 1; col <= w && same; ++col) {
      const Rgb c = r.Get(col, row);
      const std::size_t i = (static_cast<std::size_t>(row - 1) * w + (col - 1)) * 3;
      same = back.Rgb[i] == c.r && back.Rgb[i + 1] == c.g && back.Rgb[i + 2] == c.b;
      EXPECT_TRUE(same) << "col " << col << " row " << row;
    }
}

}  // namespace

}  // namespace anamorfosi
