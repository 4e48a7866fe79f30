// PNG and JPEG pictures, end to end through every program: they paint what
// the same picture as PPM paints, a ".png" output holds the same cells, pixels
// below half alpha are left out, and broken files stop the run with an Italian
// message naming the file, nothing written.
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "picture/jpeg_file.h"
#include "testing/picture_samples.h"
#include "picture/png_file.h"
#include "testing/program_scenes.h"

namespace anamorfosi {

using namespace program_scenes;

namespace {

class PictureInput : public ::testing::TestWithParam<ProgramCase> {};

// The scene's picture (DistinctColours, 4 x 3) as a library picture.
Picture ScenePicture() {
  Picture p;
  p.Width = 4;
  p.Height = 3;
  for (const int v : DistinctColours(4, 3)) p.Rgb.push_back(static_cast<std::uint8_t>(v));
  return p;
}

// A transcript with the scene's scratch folder taken out of it.
std::string Transcript(const Scene& s, const RunResult& r) {
  std::string t = r.Transcript;
  const std::string dir = s.dir.path().string();
  for (std::size_t at; (at = t.find(dir)) != std::string::npos;) t.replace(at, dir.size(), "<dir>");
  return t;
}

std::string Bytes(const std::vector<std::uint8_t>& v) { return {v.begin(), v.end()}; }

// The output cells of a completed run, as the plain picture reader sees them.
PlainPicture Completed(Scene& s) {
  const RunResult r = s.Run();
  return s.ExpectCompleted(r);
}

}  // namespace

TEST_P(PictureInput, PngAndJpegPaintLikeTheSamePpm) {
  Scene ppm(GetParam());
  const RunResult ppmRun = ppm.Run();
  const PlainPicture expected = ppm.ExpectCompleted(ppmRun);

  // The PNG keeps the name in.ppm: the content decides, not the name.
  Scene png(GetParam());
  png.ppm = Bytes(EncodePng(ScenePicture()));
  const RunResult pngRun = png.Run();
  const PlainPicture got = png.ExpectCompleted(pngRun);
  EXPECT_EQ(got.Rgb, expected.Rgb);
  EXPECT_EQ(got.Width, expected.Width);
  EXPECT_EQ(got.Height, expected.Height);
  ASSERT_EQ(got.HeaderLines.size(), 4u);
  EXPECT_EQ(got.HeaderLines[1], "# convertita da PNG");
  EXPECT_EQ(got.HeaderLines[3], "255");
  EXPECT_EQ(Transcript(png, pngRun), Transcript(ppm, ppmRun));

  // JPEG is lossy: the same cells are painted, in nearly the same colours.
  Scene jpeg(GetParam());
  jpeg.ppm = Bytes(WriteJpegSample(ScenePicture(), {}));
  const RunResult jpegRun = jpeg.Run();
  const PlainPicture j = jpeg.ExpectCompleted(jpegRun);
  EXPECT_EQ(j.HeaderLines[1], "# convertita da JPEG");
  EXPECT_EQ(Transcript(jpeg, jpegRun), Transcript(ppm, ppmRun));
  ASSERT_EQ(j.Rgb.size(), expected.Rgb.size());
  for (std::size_t i = 0; i < j.Rgb.size(); i += 3) {
    for (int k = 0; k < 3; ++k) ASSERT_LE(std::abs(j.Rgb[i + k] - expected.Rgb[i + k]), 12) << "cell " << i / 3;
  }
}

TEST_P(PictureInput, PngOutputHoldsTheCellsOfThePlainOne) {
  Scene plain(GetParam());
  const PlainPicture cells = Completed(plain);
  for (const std::string name : {"out.png", "OUT.Png"}) {
    Scene s(GetParam());
    s.params.output = s.dir.File(name);
    const RunResult r = s.Run();
    ASSERT_EQ(r.Status, 0) << r.Transcript;
    EXPECT_NE(r.Transcript.find("Scrivo file immagine " + s.dir.File(name)), std::string::npos);
    // Only the output was added.
    Snapshot inputs = s.after;
    ASSERT_EQ(inputs.count(name), 1u) << name;
    const std::string bytes = inputs[name];
    inputs.erase(name);
    EXPECT_EQ(inputs, s.before);
    const Picture out =
        DecodePng(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), name);
    ASSERT_EQ(out.Width, cells.Width);
    ASSERT_EQ(out.Height, cells.Height);
    EXPECT_TRUE(out.Alpha.empty());
    EXPECT_EQ(std::vector<int>(out.Rgb.begin(), out.Rgb.end()), cells.Rgb);
  }
}

TEST_P(PictureInput, PixelsBelowHalfAlphaAreNotMapped) {
  Scene full(GetParam());
  const PlainPicture all = Completed(full);
  // The pixels (1..12) whose colour the whole picture leaves in the output.
  std::vector<int> shown;
  for (std::size_t i = 0; i < all.Rgb.size(); i += 3) {
    const int v = PixelOfColour(all.Rgb[i], all.Rgb[i + 1], all.Rgb[i + 2]) + 1;
    if (v > 0 && std::find(shown.begin(), shown.end(), v) == shown.end()) shown.push_back(v);
  }
  std::sort(shown.begin(), shown.end());
  ASSERT_GE(shown.size(), 2u) << "the scene must show two pixels at least";

  // The first shown pixel at alpha 128 (mapped, blended onto white), the second
  // at 127 and every other one after it clear; the rest opaque.
  Picture p = ScenePicture();
  p.Alpha.assign(12, 255);
  const int blendedPixel = shown[0];
  p.Alpha[blendedPixel - 1] = 128;
  std::vector<bool> left(13, false);
  for (std::size_t k = 1; k < shown.size(); k += 2) {
    p.Alpha[shown[k] - 1] = k == 1 ? 127 : 0;
    left[shown[k]] = true;
  }
  Scene s(GetParam());
  s.ppm = Bytes(EncodePng(p));
  const PlainPicture part = Completed(s);
  ASSERT_EQ(part.Rgb.size(), all.Rgb.size());
  const int blended[3] = {127, 127, (blendedPixel * 128 + 255 * 127 + 127) / 255};
  bool blendSeen = false, leftSeen = false;
  for (std::size_t i = 0; i < part.Rgb.size(); i += 3) {
    const int was = PixelOfColour(all.Rgb[i], all.Rgb[i + 1], all.Rgb[i + 2]) + 1;  // 0: unpainted
    const int now = PixelOfColour(part.Rgb[i], part.Rgb[i + 1], part.Rgb[i + 2]) + 1;
    const bool isBlend = part.Rgb[i] == blended[0] && part.Rgb[i + 1] == blended[1] && part.Rgb[i + 2] == blended[2];
    if (was == blendedPixel) {
      EXPECT_TRUE(isBlend) << "cell " << i / 3;
      blendSeen = true;
    } else if (!left[was]) {
      EXPECT_EQ(now, was) << "cell " << i / 3;  // painted, or not, as before
    } else {
      // A left-out pixel's cell keeps what an earlier pixel painted, or the paper.
      EXPECT_TRUE((now >= 0 && now < was && !left[now]) || isBlend) << "cell " << i / 3 << " shows pixel " << now;
      leftSeen = true;
    }
  }
  EXPECT_TRUE(blendSeen);
  EXPECT_TRUE(leftSeen);
}

TEST_P(PictureInput, BrokenPicturesStopWithAMessageNamingTheFile) {
  const std::string png = Bytes(EncodePng(ScenePicture()));
  auto expectStopped = [&](const std::string& bytes, const std::string& what) {
    Scene s(GetParam());
    s.ppm = bytes;
    const RunResult r = s.Run();
    s.ExpectStopped(r, "Errore: il file " + s.dir.File("in.ppm") + " " + what);
    EXPECT_EQ(r.Status, 1);
  };
  for (std::size_t n = 8; n < png.size(); ++n) {
    SCOPED_TRACE("PNG cut to " + std::to_string(n) + " bytes");
    expectStopped(png.substr(0, n), "e' un'immagine PNG troncata");
    if (::testing::Test::HasFailure()) return;
  }
  // The checksum after IDAT's data no longer matches it.
  std::string crc = png;
  const std::size_t idat = crc.find("IDAT");
  const std::size_t length = static_cast<unsigned char>(crc[idat - 2]) << 8 | static_cast<unsigned char>(crc[idat - 1]);
  crc[idat + 4 + length] ^= 0x5a;
  expectStopped(crc, "e' un'immagine PNG danneggiata: CRC errato nel blocco IDAT");
  std::string wide = png;
  wide.replace(16, 4, std::string("\x00\x01\x11\x70", 4));  // 70000 wide, and IHDR's CRC made again
  const std::uint32_t c = static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const unsigned char*>(wide.data()) + 12, 17));
  for (int i = 0; i < 4; ++i) wide[29 + i] = static_cast<char>(c >> (24 - 8 * i));
  expectStopped(wide, "dichiara un'immagine PNG di 70000 x 3 pixel, oltre il limite di 65535 pixel per lato");

  const std::string jpeg = Bytes(WriteJpegSample(Blocks(ScenePicture(), 8), {}));
  expectStopped(jpeg.substr(0, jpeg.size() * 3 / 4), "e' un'immagine JPEG troncata");
  expectStopped("GIF89a" + std::string(40, '\0'), "e' un'immagine GIF: formato non letto (usare PPM, PNG o JPEG)");
  std::string precision = jpeg;
  precision[precision.find("\xff\xc0") + 4] = 3;  // SOF0: 3-bit samples
  expectStopped(precision, "e' un'immagine JPEG danneggiata (Unsupported JPEG data precision 3)");
}

INSTANTIATE_TEST_SUITE_P(Programs, PictureInput, ::testing::ValuesIn(Programs()),
                         [](const ::testing::TestParamInfo<ProgramCase>& info) { return info.param.name; });

}  // namespace anamorfosi
