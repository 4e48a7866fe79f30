#include "picture/jpeg_file.h"

#include <cstdio>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>
#include <jerror.h>
#include <libexif/exif-data.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <new>
#include <vector>

#include "picture/large_pages.h"
#include "picture/picture_error.h"

namespace anamorfosi {

namespace {

// Progressive files may hold any number of scans, each a pass over the whole
// picture: a few hundred is far more than any encoder writes.
constexpr int kMostScans = 500;

// The most pixels one byte of coded data may stand for. Every 8 x 8 block of
// every component costs at least one Huffman-coded bit (its DC value), so a
// fully coded greyscale file stays at or below 512 pixels a byte; libjpeg's
// flattest output, an all-white 10000 x 10000 picture at any quality,
// baseline or progressive, optimised tables or not, reaches 256 (grey) and
// 171 (colour, 4:2:0); photos stay below 20. Eight times the Huffman floor
// leaves a wide margin, while a file of scans without data (100 megapixels
// from a few kilobytes, tens of thousands of pixels a byte) is refused
// before its picture is allocated. Only an arithmetic-coded picture of a
// single flat colour could honestly go further, and so large a flat picture
// has nothing to map.
constexpr unsigned long long kMostPixelsPerCodedByte = kJpegMostPixelsPerCodedByte;

struct JpegErrors {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  bool endedEarly = false;
  char message[JMSG_LENGTH_MAX] = {};
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, errors->message);
  std::longjmp(errors->jump, 1);
}

// Warnings that mean pixels were lost: libjpeg would go on and fill what it
// could not decode with grey or with the wrong coefficients. The others
// (bytes skipped between markers, an unknown JFIF version, a colour transform
// or colour profile it ignores) leave every pixel as coded.
bool LosesPixels(int code) {
  switch (code) {
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_BOGUS_PROGRESSION:
      return true;
    default:
      return false;
  }
}

// Warnings are not printed. Data that ends early or is damaged is an error
// here, however libjpeg would carry on.
void OnMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
  if (cinfo->err->msg_code == JWRN_JPEG_EOF) {
    errors->endedEarly = true;
    std::longjmp(errors->jump, 1);
  }
  if (!LosesPixels(cinfo->err->msg_code)) return;
  (*cinfo->err->format_message)(cinfo, errors->message);
  std::longjmp(errors->jump, 1);
}

void OnProgress(j_common_ptr cinfo) {
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->is_decompressor && d->input_scan_number > kMostScans) {
    std::snprintf(reinterpret_cast<JpegErrors*>(cinfo->err)->message, JMSG_LENGTH_MAX, "more than %d scans",
                  kMostScans);
    std::longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1);
  }
}

// What the markers of a file say of its coded data, found before libjpeg
// allocates anything for the picture.
struct CodedData {
  unsigned long long Bytes = 0;  // entropy-coded bytes, those after each scan header up to its end
  int Scans = 0;
};

// Walks the markers from SOI to EOI as libjpeg reads them: segments by their
// lengths, and after each scan header (SOS) its coded bytes, which end at the
// first marker other than a restart (a 0xFF followed by neither 0 nor RST0-7).
// Bytes between markers are skipped, as libjpeg skips them.
CodedData CountCodedData(const std::uint8_t* data, std::size_t size) {
  CodedData coded;
  std::size_t i = 2;
  while (i + 1 < size) {
    if (data[i] != 0xFF || data[i + 1] == 0xFF) {
      ++i;
      continue;
    }
    const std::uint8_t marker = data[i + 1];
    if (marker == 0xD9) break;
    i += 2;
    // Standalone markers: TEM and the restarts carry no length.
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
    if (i + 1 >= size) break;
    i += static_cast<std::size_t>(data[i]) << 8 | data[i + 1];
    if (marker != 0xDA) continue;
    ++coded.Scans;
    const std::size_t start = std::min(i, size);
    while (i + 1 < size && !(data[i] == 0xFF && data[i + 1] != 0 && (data[i + 1] < 0xD0 || data[i + 1] > 0xD7))) ++i;
    i = std::min(i, size);
    coded.Bytes += i - start;
  }
  return coded;
}

// The decompressor, destroyed however the decoding ends.
struct Decompressor {
  jpeg_decompress_struct cinfo{};
  JpegErrors errors{};
  jpeg_progress_mgr progress{};
  Decompressor() {
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = OnError;
    errors.pub.emit_message = OnMessage;
    progress.progress_monitor = OnProgress;
  }
  ~Decompressor() { jpeg_destroy_decompress(&cinfo); }
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;
};

bool IsExifBlock(const jpeg_saved_marker_ptr m) {
  return m->marker == JPEG_APP0 + 1 && m->data_length >= 6 && std::memcmp(m->data, "Exif\0\0", 6) == 0;
}

std::uint8_t Scale(unsigned a, unsigned b) { return static_cast<std::uint8_t>((a * b + 127) / 255); }

}  // namespace

int ExifOrientation(const std::uint8_t* app1, std::size_t size) {
  if (size < 6 || size > 0xFFFF || std::memcmp(app1, "Exif\0\0", 6) != 0) return 1;
  ExifData* exif = exif_data_new_from_data(app1, static_cast<unsigned>(size));
  if (exif == nullptr) return 1;
  int orientation = 1;
  ExifEntry* entry = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
  if (entry != nullptr && entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 && entry->data != nullptr &&
      entry->size >= 2) {
    const int v = exif_get_short(entry->data, exif_data_get_byte_order(exif));
    if (v >= 1 && v <= 8) orientation = v;
  }
  exif_data_unref(exif);
  return orientation;
}

namespace {

// What the decoding produces, kept outside the frame that libjpeg jumps back to.
struct DecodeJob {
  Picture picture;
  std::vector<std::uint8_t> row;
  long long width = 0, height = 0;
  int orientation = 1;
  bool tooLarge = false;
  bool sizeOnly = false;
  PictureReduction* reduction = nullptr;
};

// Out of line, so that no object of the vector's own is in the frame of the setjmp.
// The picture's memory is only reserved: rows take it as they are decoded, so
// a file whose data stops early is refused having used what it really held.
[[gnu::noinline]] void Allocate(DecodeJob& job, std::size_t width, std::size_t height, int components) {
  job.picture.Width = static_cast<int>(width);
  job.picture.Height = static_cast<int>(height);
  ReserveOnLargePages(job.picture.Rgb, width * height * 3);
  job.row.resize(width * components);
}

// Row y of the picture, made part of it (within the reserved memory).
[[gnu::noinline]] std::uint8_t* TakeRow(DecodeJob& job, std::size_t y, std::size_t width) {
  job.picture.Rgb.resize((y + 1) * width * 3);
  return &job.picture.Rgb[y * width * 3];
}

// The libjpeg calls of a decoding; false when libjpeg gave up (d.errors says why).
bool DecodeRows(Decompressor& d, const std::uint8_t* data, std::size_t size, const PictureLimits& limits,
                DecodeJob& job) {
  if (setjmp(d.errors.jump)) return false;
  jpeg_create_decompress(&d.cinfo);
  d.cinfo.progress = &d.progress;
  jpeg_mem_src(&d.cinfo, data, static_cast<unsigned long>(size));
  jpeg_save_markers(&d.cinfo, JPEG_APP0 + 1, 0xFFFF);
  jpeg_read_header(&d.cinfo, TRUE);
  job.width = d.cinfo.image_width;
  job.height = d.cinfo.image_height;
  if (!WithinLimits(job.width, job.height, limits)) {
    job.tooLarge = true;
    return true;
  }
  // A picture far larger than its coded data can describe, or with more scans
  // than the decoder will make, fails before any memory is taken for it.
  const CodedData coded = CountCodedData(data, size);
  if (static_cast<unsigned long long>(job.width) * static_cast<unsigned long long>(job.height) >
      coded.Bytes * kMostPixelsPerCodedByte) {
    std::snprintf(d.errors.message, JMSG_LENGTH_MAX, "%lld x %lld pixels declared with only %llu bytes of coded data",
                  job.width, job.height, coded.Bytes);
    return false;
  }
  if (coded.Scans > kMostScans) {
    std::snprintf(d.errors.message, JMSG_LENGTH_MAX, "more than %d scans", kMostScans);
    return false;
  }
  for (jpeg_saved_marker_ptr m = d.cinfo.marker_list; m != nullptr; m = m->next) {
    if (IsExifBlock(m)) {
      job.orientation = ExifOrientation(m->data, m->data_length);
      break;
    }
  }
  if (job.reduction != nullptr) {
    PictureReduction& r = *job.reduction;
    // Orientations 5 to 8 turn the picture a quarter: its sides swap.
    r.FullWidth = static_cast<int>(job.orientation >= 5 ? job.height : job.width);
    r.FullHeight = static_cast<int>(job.orientation >= 5 ? job.width : job.height);
    r.Wanted = r.Choose ? r.Choose(r.FullWidth, r.FullHeight) : PictureFactors{};
    if (r.Wanted.Across < 1 || r.Wanted.Down < 1) {
      job.sizeOnly = true;
      return true;
    }
    // The scaled inverse DCT makes the picture 2, 4 or 8 times smaller on both
    // sides as it decodes: the largest of them that divides both factors wanted.
    r.Done = 1;
    for (int f : {8, 4, 2}) {
      if (r.Wanted.Across % f == 0 && r.Wanted.Down % f == 0) {
        r.Done = f;
        break;
      }
    }
    d.cinfo.scale_num = 1;
    d.cinfo.scale_denom = static_cast<unsigned>(r.Done);
  }
  const bool cmyk = d.cinfo.jpeg_color_space == JCS_CMYK || d.cinfo.jpeg_color_space == JCS_YCCK;
  d.cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&d.cinfo);
  const int components = d.cinfo.output_components;
  if (components != (cmyk ? 4 : 3)) ERREXIT(&d.cinfo, JERR_CONVERSION_NOTIMPL);
  const std::size_t w = d.cinfo.output_width;
  Allocate(job, w, d.cinfo.output_height, components);
  // Adobe's CMYK files store the inks inverted (255 is no ink), others plainly.
  const bool inverted = d.cinfo.saw_Adobe_marker;
  while (d.cinfo.output_scanline < d.cinfo.output_height) {
    std::uint8_t* out = TakeRow(job, d.cinfo.output_scanline, w);
    JSAMPROW target = cmyk ? job.row.data() : out;
    if (jpeg_read_scanlines(&d.cinfo, &target, 1) != 1) ERREXIT(&d.cinfo, JERR_INPUT_EMPTY);
    if (!cmyk) continue;
    for (std::size_t x = 0; x < w; ++x) {
      const std::uint8_t* ink = &job.row[x * 4];
      const unsigned k = inverted ? ink[3] : 255u - ink[3];
      for (int c = 0; c < 3; ++c) out[x * 3 + c] = Scale(inverted ? ink[c] : 255u - ink[c], k);
    }
  }
  jpeg_finish_decompress(&d.cinfo);
  return true;
}

}  // namespace

Picture DecodeJpeg(const std::uint8_t* data, std::size_t size, const std::string& name, const PictureLimits& limits,
                   PictureReduction* reduction) {
  DecodeJob job;
  job.reduction = reduction;
  {
    Decompressor d;
    if (!DecodeRows(d, data, size, limits, job)) {
      if (d.errors.endedEarly) throw PictureError(PictureProblem::kTruncated, name, PictureFormat::kJpeg);
      throw PictureError(PictureProblem::kCorrupt, name, PictureFormat::kJpeg, d.errors.message);
    }
  }
  if (job.tooLarge) {
    PictureError e(PictureProblem::kTooLarge, name, PictureFormat::kJpeg,
                   std::to_string(job.width) + " x " + std::to_string(job.height));
    e.Width = job.width;
    e.Height = job.height;
    throw e;
  }
  if (job.sizeOnly) return Picture{};
  return job.orientation == 1 ? std::move(job.picture) : Orient(job.picture, job.orientation);
}

}  // namespace anamorfosi
