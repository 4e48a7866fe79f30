#include "testing/picture_samples.h"

#include <cstdio>
#include <jpeglib.h>
#include <libexif/exif-data.h>
#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace anamorfosi {

namespace {

int Channels(PngColour c) {
  switch (c) {
    case PngColour::kGrey: return 1;
    case PngColour::kGreyAlpha: return 2;
    case PngColour::kPalette: return 1;
    case PngColour::kRgb: return 3;
    case PngColour::kRgba: return 4;
  }
  return 0;
}

[[noreturn]] void PngFailed(png_structp, png_const_charp message) {
  throw std::runtime_error(std::string("WritePngSample: ") + message);
}

void Append(png_structp png, png_bytep data, png_size_t n) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}
void NoFlush(png_structp) {}

}  // namespace

std::vector<std::uint8_t> WritePngSample(const PngSample& s) {
  const int channels = Channels(s.Colour);
  if (s.Samples.size() != static_cast<std::size_t>(s.Width) * s.Height * channels)
    throw std::invalid_argument("WritePngSample: wrong number of samples");
  std::vector<std::uint8_t> out;
  // Packs each row at the bit depth: below 8 bits the first sample takes the high bits.
  const std::size_t rowBytes = (static_cast<std::size_t>(s.Width) * channels * s.BitDepth + 7) / 8;
  std::vector<std::uint8_t> packed(rowBytes * s.Height, 0);
  for (int y = 0; y < s.Height; ++y) {
    std::uint8_t* row = &packed[y * rowBytes];
    for (int i = 0; i < s.Width * channels; ++i) {
      const unsigned v = s.Samples[static_cast<std::size_t>(y) * s.Width * channels + i];
      if (s.BitDepth == 16) {
        row[i * 2] = static_cast<std::uint8_t>(v >> 8);
        row[i * 2 + 1] = static_cast<std::uint8_t>(v);
      } else if (s.BitDepth == 8) {
        row[i] = static_cast<std::uint8_t>(v);
      } else {
        const int bit = i * s.BitDepth;
        row[bit / 8] |= static_cast<std::uint8_t>(v << (8 - s.BitDepth - bit % 8));
      }
    }
  }
  // libpng's errors are thrown from here through libpng itself: this is test
  // support, built with the same unwinding as the tests.
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFailed, nullptr);
  png_infop info = png_create_info_struct(png);
  try {
    png_set_write_fn(png, &out, Append, NoFlush);
    png_set_IHDR(png, info, s.Width, s.Height, s.BitDepth, static_cast<int>(s.Colour),
                 s.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (const auto& c : s.Palette) palette.push_back({c[0], c[1], c[2]});
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    png_color_16 key{};
    key.gray = s.KeyColour[0];
    key.red = s.KeyColour[0];
    key.green = s.KeyColour[1];
    key.blue = s.KeyColour[2];
    if (!s.PaletteAlpha.empty()) {
      png_set_tRNS(png, info, s.PaletteAlpha.data(), static_cast<int>(s.PaletteAlpha.size()), nullptr);
    } else if (s.HasKeyColour) {
      png_set_tRNS(png, info, nullptr, 0, &key);
    }
    png_write_info(png, info);
    std::vector<png_bytep> rows(s.Height);
    for (int y = 0; y < s.Height; ++y) rows[y] = &packed[y * rowBytes];
    png_write_image(png, rows.data());
    png_write_end(png, info);
  } catch (...) {
    png_destroy_write_struct(&png, &info);
    throw;
  }
  png_destroy_write_struct(&png, &info);
  return out;
}

std::vector<std::uint8_t> WriteJpegSample(const Picture& p, const JpegSample& s) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(p.Width);
  cinfo.image_height = static_cast<JDIMENSION>(p.Height);
  cinfo.input_components = s.Grey ? 1 : s.Cmyk ? 4 : 3;
  cinfo.in_color_space = s.Grey ? JCS_GRAYSCALE : s.Cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  if (s.Cmyk) {
    jpeg_set_colorspace(&cinfo, JCS_CMYK);
    cinfo.write_Adobe_marker = s.AdobeMarker ? TRUE : FALSE;
  }
  jpeg_set_quality(&cinfo, s.Quality, TRUE);
  if (!s.Subsampled) {
    for (int c = 0; c < cinfo.num_components; ++c) cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
  }
  if (s.Progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  if (s.Orientation > 0) {
    ExifData* exif = exif_data_new();
    const ExifByteOrder order = s.BigEndianExif ? EXIF_BYTE_ORDER_MOTOROLA : EXIF_BYTE_ORDER_INTEL;
    exif_data_set_byte_order(exif, order);
    ExifEntry* entry = exif_entry_new();
    exif_content_add_entry(exif->ifd[EXIF_IFD_0], entry);
    exif_entry_initialize(entry, EXIF_TAG_ORIENTATION);
    exif_set_short(entry->data, order, static_cast<ExifShort>(s.Orientation));
    exif_entry_unref(entry);
    unsigned char* block = nullptr;
    unsigned int length = 0;
    exif_data_save_data(exif, &block, &length);
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, block, length);
    std::free(block);
    exif_data_unref(exif);
  }
  std::vector<std::uint8_t> row(static_cast<std::size_t>(p.Width) * cinfo.input_components);
  while (cinfo.next_scanline < cinfo.image_height) {
    const std::uint8_t* rgb = &p.Rgb[static_cast<std::size_t>(cinfo.next_scanline) * p.Width * 3];
    for (int x = 0; x < p.Width; ++x) {
      const std::uint8_t* c = rgb + x * 3;
      if (s.Grey) {
        row[x] = c[0];
      } else if (s.Cmyk) {
        // Black ink takes what the brightest channel leaves; each colour ink the rest.
        const unsigned top = std::max({c[0], c[1], c[2]});
        for (int k = 0; k < 3; ++k) {
          const unsigned left = top == 0 ? 255 : (c[k] * 255u + top / 2) / top;  // 255: no ink
          row[x * 4 + k] = static_cast<std::uint8_t>(s.AdobeMarker ? left : 255 - left);
        }
        row[x * 4 + 3] = static_cast<std::uint8_t>(s.AdobeMarker ? top : 255 - top);
      } else {
        std::memcpy(&row[x * 3], c, 3);
      }
    }
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&cinfo, &r, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<std::uint8_t> out(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return out;
}

Picture Blocks(const Picture& p, int scale) {
  Picture out;
  out.Width = p.Width * scale;
  out.Height = p.Height * scale;
  out.Rgb.resize(static_cast<std::size_t>(out.Width) * out.Height * 3);
  for (int y = 0; y < out.Height; ++y) {
    for (int x = 0; x < out.Width; ++x) {
      std::memcpy(&out.Rgb[(static_cast<std::size_t>(y) * out.Width + x) * 3],
                  &p.Rgb[(static_cast<std::size_t>(y / scale) * p.Width + x / scale) * 3], 3);
    }
  }
  return out;
}

}  // namespace anamorfosi
