#include "anamorfosi/uploaded_picture.h"

#include <algorithm>
#include <stdexcept>

#include "formats/input_picture.h"
#include "picture/picture_file.h"

namespace anamorfosi {

UploadedPicture TakeUploadedPicture(const std::string& path, const std::string& quickPath, int quickSide,
                                    const PictureLimits& limits) {
  UploadedPicture u;
  Picture p;
  const PictureFormat format = SniffPictureFile(path);
  if (format == PictureFormat::kPpm) {
    try {
      p = ReadAnyPicture(path, nullptr, &limits);
    } catch (const PictureError& e) {
      // Over the limits: the command would refuse it, so the page says so now.
      throw std::runtime_error(std::string("the picture cannot be read: ") + e.what());
    } catch (const std::exception&) {
      throw std::runtime_error("the picture cannot be read: it is not a whole PPM picture");
    }
    u.Width = p.Width;
    u.Height = p.Height;
  } else if (format == PictureFormat::kPng || format == PictureFormat::kJpeg) {
    try {
      // Only the sketch is made of its pixels: a JPEG is decoded no larger than it needs.
      PictureReduction sketch;
      sketch.Choose = [quickSide](int w, int h) {
        int k = 1;
        while (k < 8 && std::max(w, h) / (2 * k) >= quickSide) k *= 2;
        return PictureFactors{k, k};
      };
      const std::vector<std::uint8_t> bytes = ReadFileBytes(path, MostPictureFileBytes(limits));
      p = DecodePicture(bytes.data(), bytes.size(), "picture", limits, &sketch);
      u.Width = sketch.FullWidth;
      u.Height = sketch.FullHeight;
    } catch (const std::exception& e) {
      throw std::runtime_error(std::string("the picture cannot be read: ") + e.what());
    }
  } else {
    throw std::runtime_error("the picture must be PNG, JPEG or PPM");
  }
  if (std::max(p.Width, p.Height) > quickSide) {
    WritePngFile(quickPath, Reduced(p, quickSide));
    u.Reduced = true;
  }
  return u;
}

}  // namespace anamorfosi
