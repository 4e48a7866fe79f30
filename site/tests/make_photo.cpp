// Writes a camera-like JPEG for the browser page's test: WIDTH x HEIGHT
// pixels as stored, with an EXIF Orientation tag, so that the picture stands
// upright only when the tag is followed. The top-left quarter as stored is
// red, the rest a blue and green gradient.
//   site_photo OUT.jpg WIDTH HEIGHT ORIENTATION
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "testing/picture_samples.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: site_photo OUT.jpg WIDTH HEIGHT ORIENTATION\n");
    return 2;
  }
  anamorfosi::Picture p;
  p.Width = std::atoi(argv[2]);
  p.Height = std::atoi(argv[3]);
  p.Rgb.resize(static_cast<std::size_t>(p.Width) * p.Height * 3);
  for (int y = 0; y < p.Height; ++y) {
    for (int x = 0; x < p.Width; ++x) {
      std::uint8_t* px = &p.Rgb[(static_cast<std::size_t>(y) * p.Width + x) * 3];
      const bool corner = x < p.Width / 2 && y < p.Height / 2;
      px[0] = corner ? 220 : 20;
      px[1] = corner ? 30 : static_cast<std::uint8_t>(255 * x / p.Width);
      px[2] = corner ? 30 : static_cast<std::uint8_t>(255 * y / p.Height);
    }
  }
  anamorfosi::JpegSample sample;
  sample.Quality = 90;
  sample.Subsampled = true;
  sample.Orientation = std::atoi(argv[4]);
  const std::vector<std::uint8_t> bytes = anamorfosi::WriteJpegSample(p, sample);
  std::ofstream out(argv[1], std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return out ? 0 : 1;
}
