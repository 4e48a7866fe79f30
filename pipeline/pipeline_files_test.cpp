// The front ends' side of the pipeline: a picture file and the same picture
// given in memory make the same print; the grid is drawn here; the mirror
// reader in the settings, not the scene's file, gives the mirror.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mirrors/facets.h"
#include "testing/mesh_shapes.h"
#include "picture/picture_file.h"
#include "pipeline/pipeline_files.h"
#include "testing/test_support.h"

namespace anamorfosi {

namespace {

const Face kCylinderFace{{-20, 0, 35}, {20, 0, 35}, {20, 0, 5}, {-20, 0, 5}};

Scene CylinderScene(const std::string& picture) {
  Scene s;
  s.Mirror.Radius = 25;
  s.Eye = {0, -300, 250};
  s.PictureFace = kCylinderFace;
  s.Picture = picture;
  s.Pixels = 80;
  s.Antialias = 2;
  return s;
}

// 400 x 300 pixels, a quarter of them half transparent: on a print of 80
// cells a side they fall many to a cell, so the picture is read smaller.
Picture Gradient() {
  Picture p;
  p.Width = 400;
  p.Height = 300;
  for (int y = 0; y < p.Height; ++y)
    for (int x = 0; x < p.Width; ++x) {
      p.Rgb.insert(p.Rgb.end(), {static_cast<std::uint8_t>(x * 255 / 399), static_cast<std::uint8_t>(y * 255 / 299),
                                 static_cast<std::uint8_t>((x ^ y) & 0xff)});
      p.Alpha.push_back(x < 200 && y < 150 ? 140 : 255);
    }
  return p;
}

void ExpectSamePrint(const Print& a, const Print& b) {
  EXPECT_EQ(a.Cells.Width, b.Cells.Width);
  EXPECT_EQ(a.Cells.Height, b.Cells.Height);
  EXPECT_TRUE(a.Cells.Rgb == b.Cells.Rgb);
  EXPECT_TRUE(a.Painted == b.Painted);
  EXPECT_EQ(a.Report.Reduction.Across, b.Report.Reduction.Across);
  EXPECT_EQ(a.Report.Reduction.Down, b.Report.Reduction.Down);
  EXPECT_EQ(a.Report.Accuracy, b.Report.Accuracy);
  EXPECT_EQ(a.Source.Comment, b.Source.Comment);
  EXPECT_EQ(a.Report.Notes, b.Report.Notes);
}

TEST(PipelineFiles, PictureGivenInMemoryMakesTheSamePrintAsItsFile) {
  TempDir dir;
  const std::string png = dir.File("gradient.png");
  WritePngFile(png, Gradient());
  const std::string ppm = dir.Write("small.ppm", PlainPpm(8, 6, DistinctColours(8, 6)));
  for (const std::string& file : {png, ppm}) {
    SCOPED_TRACE(file);
    const Scene s = CylinderScene(file);
    PrintSettings settings;
    settings.Threads = 2;
    const Print fromFile = MakePrint(s, settings);
    MemoryPicture inMemory(ReadScenePicture(file));
    const Print fromMemory = MakePrint(s, inMemory, settings);
    ExpectSamePrint(fromFile, fromMemory);
    if (file == png) {
      EXPECT_GT(fromFile.Report.Reduction.Across, 1);
      EXPECT_EQ(fromFile.Report.PictureWidth, 400);
      EXPECT_EQ(fromMemory.Report.PictureWidth, 400);
    }
  }
}

TEST(PipelineFiles, PictureFileSaysItsSizeAndItsRefusals) {
  TempDir dir;
  const std::string png = dir.File("gradient.png");
  WritePngFile(png, Gradient());
  EXPECT_EQ(PictureFile(png).UprightSize(), std::make_pair(400, 300));
  EXPECT_EQ(ScenePictureSize(CylinderScene(png)), std::make_pair(400, 300));
  try {
    PictureFile(dir.File("missing.png")).Read(nullptr);
    ADD_FAILURE() << "read";
  } catch (const PrintError& e) {
    EXPECT_EQ(std::string(e.what()), dir.File("missing.png") + ": No such file or directory");
  }
  try {
    PictureFile(dir.Write("text.ppm", "P3 x")).Read(nullptr);
    ADD_FAILURE() << "read";
  } catch (const PrintError& e) {
    EXPECT_EQ(std::string(e.what()), dir.File("text.ppm") + ": PPM picture without a valid width");
  }
}

TEST(PipelineFiles, GridIsDrawnByTheFrontEndWhenItIsRead) {
  Scene s = CylinderScene("");
  s.Grid = "3x2";
  const std::unique_ptr<PictureSource> grid = ScenePictureSource(s);
  const InputPicture p = grid->Read(nullptr);
  EXPECT_EQ(p.Width, 3 * kGridCellPixels);
  EXPECT_EQ(p.Height, 2 * kGridCellPixels);
  EXPECT_EQ(p.Comment, "# griglia 3x2");
  EXPECT_EQ(grid->UprightSize(), std::make_pair(p.Width, p.Height));
  // A wrong grid is refused when the picture is read, not when it is named.
  s.Grid = "0x2";
  const std::unique_ptr<PictureSource> wrong = ScenePictureSource(s);
  try {
    wrong->Read(nullptr);
    ADD_FAILURE() << "drawn";
  } catch (const PrintError& e) {
    EXPECT_EQ(std::string(e.what()), "--grid: \"0x2\" must be COLUMNSxROWS, each 1 to 200");
  }
}

TEST(PipelineFiles, MirrorReaderInTheSettingsIsTheOneUsed) {
  TempDir dir;
  const std::string wide = dir.Write("wide.dxf", DxfWithFaces(FacetedCylinderFaces(0, 0, 25, 0, 60, 24, 2)));
  const std::string narrow = dir.Write("narrow.dxf", DxfWithFaces(FacetedCylinderFaces(0, 0, 22, 0, 60, 30, 2)));
  dir.Write("in.ppm", PlainPpm(8, 6, DistinctColours(8, 6)));
  Scene s = CylinderScene(dir.File("in.ppm"));
  s.Mirror.Kind = "generico";
  s.Mirror.File = narrow;
  PrintSettings settings;
  const Print fromNarrow = MakePrint(s, settings);
  EXPECT_EQ(fromNarrow.Report.FacetCount, 30 * 2 * 2);

  // The scene names the wide mirror; the reader given reads the narrow one.
  s.Mirror.File = wide;
  std::vector<std::string> asked;
  settings.Mirrors = FileMirrorReader();
  settings.Mirrors.Facets = [&](const std::string& file, FacetSet& set, const FacetLoadOptions& options) {
    asked.push_back(file);
    FileMirrorReader().Facets(narrow, set, options);
  };
  const Print given = MakePrint(s, settings);
  EXPECT_EQ(asked, std::vector<std::string>{wide});
  EXPECT_EQ(given.Report.FacetCount, 30 * 2 * 2);
  ExpectSamePrint(given, fromNarrow);
  settings.Mirrors = {};
  EXPECT_EQ(MakePrint(s, settings).Report.FacetCount, 24 * 2 * 2);

  // The file reader words a mesh's refusal as the command always has.
  const std::string bad = dir.Write("bad.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n");
  s.Mirror.File = bad;
  try {
    MakePrint(s, settings);
    ADD_FAILURE() << "made";
  } catch (const PrintError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(bad + ": ", 0), 0u) << e.what();
  }
}

}  // namespace

}  // namespace anamorfosi
