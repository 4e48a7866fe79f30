// The check of a picture uploaded to the page, as the job that runs it sees
// it: the size read, the reduced copy made only when larger, the refusals in
// words for the page.
#include "anamorfosi/uploaded_picture.h"

#include <gtest/gtest.h>

#include "picture/picture_file.h"
#include "testing/test_support.h"

namespace anamorfosi {

namespace {

Picture Gradient(int width, int height) {
  Picture p;
  p.Width = width;
  p.Height = height;
  p.Rgb.resize(static_cast<std::size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t* px = &p.Rgb[(static_cast<std::size_t>(y) * width + x) * 3];
      px[0] = static_cast<std::uint8_t>(x * 255 / width);
      px[1] = static_cast<std::uint8_t>(y * 255 / height);
      px[2] = 40;
    }
  return p;
}

std::string Refusal(const std::string& path, const std::string& quick) {
  try {
    TakeUploadedPicture(path, quick, 250);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(accepted)";
}

}  // namespace

TEST(UploadedPicture, LargerThanTheSketchGetsAReducedCopy) {
  TempDir dir;
  WritePngFile(dir.File("wide.png"), Gradient(1000, 400));
  const UploadedPicture u = TakeUploadedPicture(dir.File("wide.png"), dir.File("quick.png"), 250);
  EXPECT_EQ(u.Width, 1000);
  EXPECT_EQ(u.Height, 400);
  ASSERT_TRUE(u.Reduced);
  const Picture quick = ReadPictureFile(dir.File("quick.png"));
  EXPECT_EQ(quick.Width, 250);
  EXPECT_EQ(quick.Height, 100);
  // Its colours are the picture's: left dark red, right full red.
  EXPECT_LT(quick.Rgb[0], 10);
  EXPECT_GT(quick.Rgb[(249) * 3], 245);

  // A picture the sketch can take whole gets no copy; a PPM is read by the programs' reader.
  WritePngFile(dir.File("small.png"), Gradient(250, 120));
  const UploadedPicture small = TakeUploadedPicture(dir.File("small.png"), dir.File("quick-small.png"), 250);
  EXPECT_EQ(small.Width, 250);
  EXPECT_FALSE(small.Reduced);
  EXPECT_FALSE(FileExists(dir.File("quick-small.png")));
  const std::string ppm = dir.Write("p.ppm", "P3\n300 2\n255\n" + [] {
    std::string s;
    for (int i = 0; i < 600; ++i) s += "1 2 3\n";
    return s;
  }());
  const UploadedPicture p = TakeUploadedPicture(ppm, dir.File("quick-ppm.png"), 250);
  EXPECT_EQ(p.Width, 300);
  EXPECT_EQ(p.Height, 2);
  EXPECT_TRUE(FileExists(dir.File("quick-ppm.png")));
}

TEST(UploadedPicture, RefusalsAreWordedForThePage) {
  TempDir dir;
  WritePngFile(dir.File("whole.png"), Gradient(600, 600));
  const std::string whole = ReadBytes(dir.File("whole.png"));
  const std::string cut = dir.Write("cut.png", whole.substr(0, whole.size() / 2));
  EXPECT_EQ(Refusal(cut, dir.File("q1.png")).rfind("the picture cannot be read: ", 0), 0u) << Refusal(cut, dir.File("q1.png"));
  EXPECT_EQ(Refusal(dir.Write("short.ppm", "P6\n600 600\n255\n\1\2\3"), dir.File("q2.png")),
            "the picture cannot be read: it is not a whole PPM picture");
  // A PPM over the command's limits is refused here as the command would, from its header.
  for (const char* header : {"P6\n70000 2\n255\n", "P6\n60000 60000\n255\n"}) {
    const std::string why = Refusal(dir.Write("large.ppm", header + std::string(64, '\1')), dir.File("q5.png"));
    EXPECT_NE(why.find("over the limit"), std::string::npos) << why;
  }
  EXPECT_EQ(Refusal(dir.Write("text.png", "hello, this is not a picture"), dir.File("q3.png")),
            "the picture must be PNG, JPEG or PPM");
  // A header announcing more pixels than the limits allow is refused before any is decoded.
  PictureLimits small;
  small.MaxPixels = 1000;
  try {
    TakeUploadedPicture(dir.File("whole.png"), dir.File("q4.png"), 250, small);
    ADD_FAILURE() << "a picture beyond the limits was taken";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()).rfind("the picture cannot be read: ", 0), 0u) << e.what();
  }
  for (const char* q : {"q1.png", "q2.png", "q3.png", "q4.png"}) EXPECT_FALSE(FileExists(dir.File(q))) << q;
}

}  // namespace anamorfosi
