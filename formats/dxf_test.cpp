#include "formats/dxf.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/errors.h"

namespace anamorfosi {

namespace {

namespace fs = std::filesystem;

// Group-code / value pairs written as DXF lines with CR LF ends.
std::string Dxf(const std::vector<std::string>& lines, const std::string& eol = "\r\n") {
  std::string text;
  for (const auto& line : lines) text += line + eol;
  return text;
}

// The start of an R12 file as CAD programs write it: a HEADER whose variables
// use the codes 10/20/30 too, and a TABLES section with a layer named "10".
const std::vector<std::string> kR12Head = {
    "  0", "SECTION", "  2", "HEADER",   "  9", "$ACADVER", "  1", "AC1009",  "  9", "$INSBASE", " 10", "0.0",
    " 20", "0.0",     " 30", "0.0",      "  9", "$EXTMIN",  " 10", "-5.0",    " 20", "-5.0",     " 30", "0.0",
    "  0", "ENDSEC",  "  0", "SECTION",  "  2", "TABLES",   "  0", "TABLE",   "  2", "LAYER",    " 70", "     2",
    "  0", "LAYER",   "  2", "10",       " 70", "     0",   " 62", "    10",  "  6", "CONTINUOUS", "  0", "ENDTAB",
    "  0", "ENDSEC",  "  0", "SECTION",  "  2", "ENTITIES"};
const std::vector<std::string> kR12Tail = {"  0", "ENDSEC", "  0", "EOF"};

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class DxfTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("dxf_test_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Make(const std::string& bytes) {
    const std::string path = (dir_ / "face.dxf").string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::vector<Face> AllFaces(const std::string& path) {
    std::vector<Face> faces;
    ScanDxfFaces(path, [&](const Face& f) {
      faces.push_back(f);
      return true;
    });
    return faces;
  }
  fs::path dir_;
};

void ExpectCorner(const Point3& p, Real x, Real y, Real z) {
  EXPECT_EQ(p.x, x);
  EXPECT_EQ(p.y, y);
  EXPECT_EQ(p.z, z);
}

// A face with handle "10", layer "10" and colour 10 ahead of its coordinates.
const std::vector<std::string> kFaceA = {
    "  0", "3DFACE", "  5", "10",   "  8", "10",   " 62", "    10", " 10", "0.0",  " 20", "100.0",
    " 30", "5.0",    " 11", "80.0", " 21", "100.0", " 31", "5.0",  " 12", "80.0", " 22", "40.0",
    " 32", "5.0",    " 13", "0.0",  " 23", "40.0", " 33", "5.0"};

TEST_F(DxfTest, R12FileWithHandlesLayersAndColoursNamedTen) {
  for (const std::string eol : {"\r\n", "\n", "\r"}) {
    Face face;
    ASSERT_TRUE(ReadFaceDxf(Make(Dxf(Concat(Concat(kR12Head, kFaceA), kR12Tail), eol)), face)) << eol.size();
    ExpectCorner(face.C1, 0, 100, 5);
    ExpectCorner(face.C2, 80, 100, 5);
    ExpectCorner(face.C3, 80, 40, 5);
    ExpectCorner(face.C4, 0, 40, 5);
  }
}

TEST_F(DxfTest, CoordinatesInAnyOrderMissingZAndMissingFourthCorner) {
  const auto faces = AllFaces(Make(Dxf({"0", "3DFACE", "8", "0", "22", "-4.5", "12", "3", "21", "2", "11", "1", "20",
                                        "0.5", "10", "-1", "32", "7", "0", "3DFACE", "13", "9", "23", "8", "10", "1",
                                        "20", "1", "11", "2", "21", "2", "12", "3", "22", "3", "0", "EOF"})));
  ASSERT_EQ(faces.size(), 2u);
  ExpectCorner(faces[0].C1, -1, 0.5_r, 0);
  ExpectCorner(faces[0].C2, 1, 2, 0);
  ExpectCorner(faces[0].C3, 3, -4.5_r, 7);
  ExpectCorner(faces[0].C4, 3, -4.5_r, 7);
  // A 3DFACE right after the code 0 of the previous one is read too.
  ExpectCorner(faces[1].C4, 9, 8, 0);
}

TEST_F(DxfTest, TwoFacesTheLastWinsAndTheScanCanStop) {
  const std::vector<std::string> faceB = {"  0", "3DFACE", "  8", "0",  " 10", "1", " 20", "2", " 30", "3",
                                          " 11", "4",      " 21", "5",  " 31", "6", " 12", "7", " 22", "8",
                                          " 32", "9",      " 13", "10", " 23", "11", " 33", "12"};
  const std::string path = Make(Dxf(Concat(Concat(Concat(kR12Head, kFaceA), faceB), kR12Tail)));
  Face face;
  ASSERT_TRUE(ReadFaceDxf(path, face));
  ExpectCorner(face.C1, 1, 2, 3);
  ExpectCorner(face.C4, 10, 11, 12);
  int calls = 0;
  ScanDxfFaces(path, [&](const Face& f) {
    ++calls;
    ExpectCorner(f.C1, 0, 100, 5);
    return false;
  });
  EXPECT_EQ(calls, 1);
}

TEST_F(DxfTest, OnlyALineStartingWith3DFACEStartsAFace) {
  const std::vector<std::string> coords = {"10", "1", "20", "1", "11", "2", "21", "1", "12", "2", "22", "2", "0", "EOF"};
  Face face;
  face.C1 = {7, 7, 7};
  EXPECT_FALSE(ReadFaceDxf(Make(Dxf(Concat({"0", " 3DFACE"}, coords))), face));
  ExpectCorner(face.C1, 7, 7, 7);
  EXPECT_FALSE(ReadFaceDxf(Make(Dxf(Concat({"0", "3dface"}, coords))), face));
  EXPECT_TRUE(ReadFaceDxf(Make(Dxf(Concat({"0", "3DFACE  trailing"}, coords))), face));
  ExpectCorner(face.C3, 2, 2, 0);
}

TEST_F(DxfTest, FacesCutShortOrLackingACornerAreNotUsed) {
  const std::vector<std::string> good = {"0", "3DFACE", "10", "1", "20", "1", "11", "2", "21", "1", "12", "2", "22", "2"};
  // Cut by the end of the file, by a Ctrl-Z, after a group code, and a face without y of its second corner.
  const std::vector<std::string> endings[] = {
      {"0", "3DFACE", "10", "5", "20", "5", "11", "6", "21", "6", "12", "7", "22", "7"},
      {"0", "3DFACE", "10", "5", "20", "5", "11", "6", "21", "6", "12", "7", "22", "7", "\x1a", "0", "EOF"},
      {"0", "3DFACE", "10", "5", "20", "5", "11", "6", "21", "6", "12", "7", "22"},
      {"0", "3DFACE", "10", "5", "20", "5", "11", "6", "12", "7", "22", "7", "0", "EOF"},
      {"0", "3DFACE", "10", "5", "20", "5", "11", "6", "21", "6", "12", "7", "22", "7", "13", "8", "0", "EOF"}};
  for (const auto& ending : endings) {
    Face face;
    ASSERT_TRUE(ReadFaceDxf(Make(Dxf(Concat(good, ending))), face));
    ExpectCorner(face.C1, 1, 1, 0);
    ExpectCorner(face.C4, 2, 2, 0);
  }
}

TEST_F(DxfTest, LongValueLinesArePassedOver) {
  const std::string longText(1000000, 'w');
  Face face;
  ASSERT_TRUE(ReadFaceDxf(Make(Dxf({longText, "0", "3DFACE", "999", longText, "10", "1", "20", "1", "11", "2", "21",
                                    "1", "12", "2", "22", "2", "0", longText})),
                          face));
  ExpectCorner(face.C3, 2, 2, 0);
}

TEST_F(DxfTest, ACoordinateOrGroupCodeThatIsNotANumberIsError106) {
  const std::vector<std::pair<std::vector<std::string>, long>> cases = {
      {{"0", "3DFACE", "8", "0", "10", "1", "20", "abc", "30", "0", "0", "EOF"}, 8},
      {{"0", "3DFACE", "10", "1,5", "0", "EOF"}, 4},
      {{"0", "3DFACE", "10", "", "0", "EOF"}, 4},
      {{"0", "3DFACE", "10", "1e5000", "0", "EOF"}, 4},
      {{"0", "3DFACE", "10", "1", "x20", "1", "0", "EOF"}, 5},
  };
  for (const auto& [lines, line] : cases) {
    Face face;
    try {
      ReadFaceDxf(Make(Dxf(lines)), face);
      ADD_FAILURE() << "no failure for line " << line;
    } catch (const RuntimeFailure& e) {
      EXPECT_EQ(e.code(), kInvalidNumber);
      EXPECT_EQ(e.line(), line);
    }
  }
  // Values of other groups are not numbers and need not be.
  Face face;
  EXPECT_TRUE(ReadFaceDxf(Make(Dxf({"0", "3DFACE", "62", "red", "10", " 1.5 ", "20", "1", "11", "2", "21", "1", "12",
                                    "2", "22", "2", "0", "EOF"})),
                          face));
  EXPECT_EQ(face.C1.x, 1.5_r);
}

TEST_F(DxfTest, AMissingFileIsReported) {
  Face face;
  try {
    ReadFaceDxf((dir_ / "none.dxf").string(), face);
    ADD_FAILURE();
  } catch (const RuntimeFailure& e) {
    EXPECT_EQ(e.code(), kFileNotFound);
  }
}

}  // namespace

}  // namespace anamorfosi
