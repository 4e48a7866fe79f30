// What the pipeline is given instead of reading it: the picture (PictureSource)
// and mirror files (MirrorFileReader). This test links the pipeline alone, no
// picture or mesh file reader, so a mirror file can only come through the
// reader in the settings.
#include <gtest/gtest.h>

#include <dirent.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "mirrors/facets.h"
#include "testing/mesh_shapes.h"
#include "pipeline/print.h"
#include "programs/run.h"
#include "testing/test_support.h"
#include "pipeline/vista.h"

namespace anamorfosi {

namespace {

const Face kCylinderFace{{-20, 0, 35}, {20, 0, 35}, {20, 0, 5}, {-20, 0, 5}};

InputPicture Colours(int width, int height) {
  InputPicture p;
  p.Width = width;
  p.Height = height;
  for (int i = 0; i < width * height; ++i)
    p.Rgb.insert(p.Rgb.end(), {static_cast<std::uint8_t>(i * 37), static_cast<std::uint8_t>(i * 11),
                               static_cast<std::uint8_t>(255 - i * 5)});
  p.HasComment = true;
  p.Comment = "# in memory";
  return p;
}

Scene MeshScene(const std::string& file) {
  Scene s;
  s.Mirror.Kind = "generico";
  s.Mirror.File = file;
  s.Eye = {0, -300, 250};
  s.PictureFace = kCylinderFace;
  s.Pixels = 120;
  return s;
}

// A reader that reads no file: it fills the table with a faceted cylinder and
// remembers what it was asked.
struct CylinderReader {
  std::vector<std::string> Files;
  FacetLoadOptions Options;
  MirrorFileReader Reader() {
    MirrorFileReader r;
    r.Facets = [this](const std::string& file, FacetSet& set, const FacetLoadOptions& options) {
      Files.push_back(file);
      Options = options;
      ClearFacets(set, options.Limit);
      for (const Face& f : FacetedCylinderFaces(0, 0, 25, 0, 60, 24, 4)) AddFace(set, f);
    };
    return r;
  }
};

int ThreadsOfThisProcess() {
  int count = 0;
  if (DIR* d = ::opendir("/proc/self/task")) {
    while (const dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') ++count;
    ::closedir(d);
  }
  return count;
}

TEST(PipelineInputs, MeshMirrorIsReadOnlyThroughTheReaderInTheSettings) {
  MemoryPicture picture(Colours(8, 6));
  const Scene s = MeshScene("/no/such/folder/mirror.stl");
  // No reader: the scene is refused in one line, no file looked at.
  PrintSettings settings;
  try {
    MakePrint(s, picture, settings);
    ADD_FAILURE() << "a mesh was read without a reader";
  } catch (const PrintError& e) {
    EXPECT_EQ(std::string(e.what()), "/no/such/folder/mirror.stl: no reader of mirror files was given");
  }
  EXPECT_THROW(SceneWindow(s, MirrorFileReader{}), PrintError);

  CylinderReader fake;
  settings.Mirrors = fake.Reader();
  settings.Mirrors.MemoryBudget = 1000 * FacetBytesEach;
  const Print print = MakePrint(s, picture, settings);
  ASSERT_EQ(fake.Files, std::vector<std::string>{s.Mirror.File});
  EXPECT_EQ(fake.Options.Limit, 1000);
  EXPECT_EQ(fake.Options.DrawingUnitMm, 1);
  EXPECT_EQ(print.Report.FacetCount, 24 * 4 * 2);
  EXPECT_FALSE(print.Report.Mirror.Empty());  // the footprint: the bottom ring on the sheet
  long painted = 0;
  for (std::uint8_t p : print.Painted) painted += p;
  EXPECT_GT(painted, 50);
  // The window alone reads the mirror the same way.
  const OutputWindow w = SceneWindow(s, settings.Mirrors);
  EXPECT_EQ(w.Width, print.Report.Window.Width);
  EXPECT_EQ(w.Height, print.Report.Window.Height);
  EXPECT_EQ(fake.Files.size(), 2u);

  // The budget in the reader bounds the table.
  settings.Mirrors.MemoryBudget = 100 * FacetBytesEach;
  try {
    MakePrint(s, picture, settings);
    ADD_FAILURE() << "192 triangles fitted in the memory of 100";
  } catch (const PrintError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(s.Mirror.File + ": more than 100 triangles, more than memory allows", 0), 0u)
        << e.what();
  }
}

TEST(PipelineInputs, MirrorReaderRefusalsReachTheFrontEndAsOneLine) {
  MemoryPicture picture(Colours(8, 6));
  const Scene s = MeshScene("m.glb");
  PrintSettings settings;
  settings.Mirrors.Facets = [](const std::string& file, FacetSet&, const FacetLoadOptions&) {
    throw PrintError(file + ": not a readable GLB mesh");
  };
  try {
    MakePrint(s, picture, settings);
    ADD_FAILURE() << "made";
  } catch (const PrintError& e) {
    EXPECT_EQ(std::string(e.what()), "m.glb: not a readable GLB mesh");
  }
  settings.Mirrors.Facets = [](const std::string& file, FacetSet&, const FacetLoadOptions&) {
    throw RuntimeFailure(kFileNotFound, file);
  };
  try {
    MakePrint(s, picture, settings);
    ADD_FAILURE() << "made";
  } catch (const PrintError& e) {
    EXPECT_EQ(std::string(e.what()), "m.glb: no such file");
  }
  // An empty table is no mirror.
  settings.Mirrors.Facets = [](const std::string&, FacetSet& set, const FacetLoadOptions& options) {
    ClearFacets(set, options.Limit);
  };
  EXPECT_THROW(MakePrint(s, picture, settings), PrintError);
}

TEST(PipelineInputs, FaceFileThatIsAMeshIsNamedByTheReader) {
  TempDir dir;
  const std::string file = dir.Write("m.stl", "solid m\nendsolid m\n");
  MirrorFileReader reader;
  try {
    ReadFaceFile(file, "picture face", reader);
    ADD_FAILURE() << "read";
  } catch (const PrintError& e) {
    EXPECT_EQ(std::string(e.what()), file + ": holds no 3DFACE for the picture face");
  }
  reader.MeshFormat = [](const std::string&) { return std::optional<std::string>("STL"); };
  try {
    ReadFaceFile(file, "mirror", reader);
    ADD_FAILURE() << "read";
  } catch (const PrintError& e) {
    EXPECT_EQ(std::string(e.what()), file +
                                         ": holds no 3DFACE for the mirror: it is a mesh (STL), and the mirror is one "
                                         "3DFACE of a DXF (a mirror of triangles goes to anamorfosi generico)");
  }
}

TEST(PipelineInputs, PictureInMemoryIsReducedAsThePpmReaderReducesIt) {
  InputPicture whole = Colours(9, 7);
  whole.Alpha.assign(9 * 7, 255);
  whole.Alpha[3] = 0;
  MemoryPicture source(whole);
  EXPECT_EQ(source.UprightSize(), std::make_pair(9, 7));
  const InputPicture same = source.Read(nullptr);
  EXPECT_EQ(same.Rgb, whole.Rgb);
  EXPECT_EQ(same.Alpha, whole.Alpha);

  PictureReduction reduction;
  std::pair<int, int> told;
  reduction.Choose = [&](int w, int h) {
    told = {w, h};
    return PictureFactors{2, 3};
  };
  const InputPicture smaller = source.Read(&reduction);
  EXPECT_EQ(told, std::make_pair(9, 7));
  EXPECT_EQ(reduction.FullWidth, 9);
  EXPECT_EQ(reduction.FullHeight, 7);
  EXPECT_EQ(reduction.Done, 1);
  const Picture expected = Shrunk(whole, 2, 3);
  EXPECT_EQ(smaller.Width, 5);
  EXPECT_EQ(smaller.Height, 3);
  EXPECT_EQ(smaller.Rgb, expected.Rgb);
  EXPECT_EQ(smaller.Alpha, expected.Alpha);
  EXPECT_EQ(smaller.Comment, "# in memory");
  EXPECT_TRUE(smaller.HasComment);

  // {0, 0}: the size alone is wanted; the picture may come whole.
  PictureReduction sizeOnly;
  sizeOnly.Choose = [](int, int) { return PictureFactors{0, 0}; };
  EXPECT_EQ(source.Read(&sizeOnly).Width, 9);
  EXPECT_EQ(sizeOnly.FullWidth, 9);
}

TEST(PipelineInputs, OneThreadStartsNoOtherThread) {
  // The steps of the mapping, the view and the restoring run on the caller's thread alone.
  StepThreads pool(1);
  std::set<std::thread::id> ran;
  pool.Run(50, [&](long, int thread) {
    EXPECT_EQ(thread, 0);
    ran.insert(std::this_thread::get_id());
  });
  EXPECT_EQ(ran, std::set<std::thread::id>{std::this_thread::get_id()});

  const int before = ThreadsOfThisProcess();
  ASSERT_GE(before, 1);
  MemoryPicture picture(Colours(8, 6));
  Scene s = MeshScene("cylinder");
  CylinderReader fake;
  PrintSettings settings;
  settings.Mirrors = fake.Reader();
  settings.Threads = 1;
  int most = 0;
  settings.Progress = [&](int, int) { most = std::max(most, ThreadsOfThisProcess()); };
  const Print made = MakePrint(s, picture, settings);
  EXPECT_EQ(most, before);
  // The same count with two threads shows that the count sees them.
  settings.Threads = 2;
  most = 0;
  MakePrint(s, picture, settings);
  EXPECT_EQ(most, before + 1);
  settings.Threads = 1;
  const PrintedSheet sheet = SheetOf(made, nullptr);
  EXPECT_GT(ViewScene(s, settings.Mirrors, sheet, 64, 1).Image.Width, 0);
  EXPECT_GT(RestoreScene(s, settings.Mirrors, made, sheet, 1, 1).Score.Samples, 0);
}

// The fidelity check of a print uses the mirror the print was made with: the
// mesh is read once for both, and the check comes out as it does from a
// mirror built again (a print without its mirror, as from a print file).
TEST(PipelineInputs, RestoringAPrintUsesTheMirrorItWasMadeWith) {
  MemoryPicture picture(Colours(8, 6));
  for (const bool smooth : {false, true}) {
    Scene s = MeshScene("cylinder");
    s.Mirror.Smooth = smooth;
    CylinderReader fake;
    PrintSettings settings;
    settings.Mirrors = fake.Reader();
    settings.Threads = 2;
    const Print made = MakePrint(s, picture, settings);
    ASSERT_EQ(fake.Files.size(), 1u);
    ASSERT_TRUE(made.Mirror);
    const PrintedSheet sheet = SheetOf(made, nullptr);
    const VistaResult kept = RestoreScene(s, settings.Mirrors, made, sheet, 2, 2, 1);
    EXPECT_EQ(fake.Files.size(), 1u) << "the mesh was read again";
    Print without = made;
    without.Mirror.reset();
    const VistaResult again = RestoreScene(s, settings.Mirrors, without, sheet, 2, 2, 1);
    EXPECT_EQ(fake.Files.size(), 2u);
    EXPECT_GT(kept.Score.Samples, 0);
    EXPECT_EQ(kept.Score.Samples, again.Score.Samples);
    EXPECT_EQ(kept.Score.Within, again.Score.Within);
    EXPECT_EQ(kept.Score.SquaredError, again.Score.SquaredError);
    EXPECT_EQ(kept.Restored.Rgb, again.Restored.Rgb);
  }
}

}  // namespace

}  // namespace anamorfosi
