#include "anamorfosi/outputs.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "core/errors.h"
#include "pipeline/mirror_kinds.h"
#include "picture/picture_error.h"
#include "picture/picture_file.h"
#include "picture/png_file.h"
#include "formats/ppm.h"

namespace anamorfosi {

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

OutputKind OutputKindOf(const std::string& name) {
  const std::string ext = Lower(fs::path(name).extension().string());
  if (ext == ".png") return OutputKind::kPng;
  if (ext == ".ppm") return OutputKind::kPpm;
  if (ext == ".pdf") return OutputKind::kPdf;
  throw UsageError("-o: \"" + name + "\" must end in .png, .ppm or .pdf", "output");
}

std::vector<std::string> InputsOf(const Scene& s, const Options& o) {
  std::vector<std::string> v = {s.Picture, s.Mirror.File, o.Face, o.SceneFile};
  return v;
}

void CheckNotAnInput(const std::string& output, const std::vector<std::string>& inputs, const std::string& option) {
  std::error_code ec;
  if (!fs::exists(output, ec)) return;
  for (const std::string& in : inputs) {
    if (!in.empty() && fs::equivalent(output, in, ec))
      throw UsageError(option + ": \"" + output + "\" is an input of the scene: choose another name", FieldOf(option));
  }
}

void CheckOutputFolder(const std::string& output, const std::string& option) {
  const fs::path folder = fs::path(output).parent_path().empty() ? fs::path(".") : fs::path(output).parent_path();
  std::error_code ec;
  if (!fs::is_directory(folder, ec))
    throw PrintError(option + ": \"" + output + "\": the folder " + folder.string() + " does not exist", FieldOf(option));
  if (::access(folder.c_str(), W_OK) != 0)
    throw PrintError(option + ": \"" + output + "\": the folder " + folder.string() + " cannot be written",
                     FieldOf(option));
  if (fs::is_directory(output, ec)) throw PrintError(option + ": \"" + output + "\" is a folder", FieldOf(option));
}

RunOutputs::~RunOutputs() {
  for (const Staged& s : staged_) ::unlink(s.Temp.c_str());
}

std::string RunOutputs::Stage(const std::string& file, const std::string& option) {
  const std::string base = file + ".tmp" + std::to_string(::getpid()) + "_";
  int err = EEXIST;
  for (int n = 0; n < 1000 && err == EEXIST; ++n) {
    std::string temp = base + std::to_string(n);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      staged_.push_back({temp, file, FieldOf(option)});
      return temp;
    }
    err = errno;
  }
  throw PrintError(option + ": \"" + file + "\" cannot be written (" + std::strerror(err) + ")", FieldOf(option));
}

void RunOutputs::Commit() {
  while (!staged_.empty()) {
    const Staged s = staged_.front();
    std::error_code ec;
    fs::rename(s.Temp, s.File, ec);
    if (ec) throw PrintError(s.File + ": cannot be written (" + ec.message() + ")", s.Field);
    staged_.erase(staged_.begin());
  }
}

std::string Unstaged(std::string message, const std::string& temp, const std::string& file) {
  for (std::size_t at = message.find(temp); at != std::string::npos; at = message.find(temp, at + file.size()))
    message.replace(at, temp.size(), file);
  return message;
}

std::string Today() {
  std::time_t now = std::time(nullptr);
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) now = static_cast<std::time_t>(std::strtoll(epoch, nullptr, 10));
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &utc);
  return text;
}

PdfContent PdfContentOf(const Scene& scene, const Print& print, const std::string& sceneJson) {
  return PdfContentOf(scene, print, sceneJson, Today());
}

void WriteOutput(const Scene& scene, const Print& print, const std::string& output, const PdfOptions& pdf,
                 RunOutputs& outputs) {
  const OutputWindow& w = print.Report.Window;
  const std::string staged = outputs.Stage(output, "-o");
  switch (OutputKindOf(output)) {
    case OutputKind::kPng: {
      // Written fast, so that a large print's file takes a fraction of its mapping.
      PngWriteOptions png = PngWriteOptions::Fast();
      png.CellSizeMetres = static_cast<double>(w.CellSize) * MillimetresPerUnit(scene.Unit) / 1000;
      Scene recorded = scene;
      recorded.Window = w;
      const std::string folder = fs::path(output).parent_path().string();
      png.Texts = {{"Software", "anamorfosi"},
                   {"Comment", "Print at 100 % (actual size), without fitting to the page."},
                   {"Scene", SceneToJson(recorded, folder)}};
      try {
        WritePngFile(staged, print.Cells, png);
      } catch (const PictureError& e) {
        throw PrintError(output + ": cannot be written" + (e.Errno ? std::string(" (") + std::strerror(e.Errno) + ")" : ""),
                         "output");
      }
      return;
    }
    case OutputKind::kPpm: {
      // The programs' plain picture; their raster is laid out row by row as the print is.
      OutputRaster raster;
      raster.Width = w.Width;
      raster.Height = w.Height;
      raster.Cells = print.Cells.Rgb;
      try {
        OutputPicture out(staged);
        out.WriteHeader(print.Source, w.Width, w.Height);
        out.WritePixelsAndCommit(raster);
      } catch (const RuntimeFailure& e) {
        throw PrintError(output + ": cannot be written (runtime code " + std::to_string(e.code()) + ")", "output");
      }
      return;
    }
    case OutputKind::kPdf: {
      Scene recorded = scene;
      recorded.Window = w;
      PdfContent content = PdfContentOf(scene, print, SceneToJson(recorded, fs::path(output).parent_path().string()));
      // The grid to copy from comes first, square, as it was drawn.
      if (!scene.Grid.empty()) content.PlainGrid = &print.Source;
      try {
        WritePrintPdf(content, pdf, staged);
      } catch (const PdfError& e) {
        throw PrintError(Unstaged(e.what(), staged, output), "output");
      }
      return;
    }
  }
}

void SaveScene(const Scene& scene, const OutputWindow& window, const std::string& file, RunOutputs& outputs) {
  Scene recorded = scene;
  recorded.Window = window;
  const std::string text = SceneToJson(recorded, fs::path(file).parent_path().string());
  const std::string temp = outputs.Stage(file, "--save-scene");
  // The staged file is this run's own: a link put in its place is not followed.
  const int fd = ::open(temp.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
  int err = fd < 0 ? errno : 0;
  for (std::size_t done = 0; err == 0 && done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) err = n < 0 ? errno : EIO;
    else done += static_cast<std::size_t>(n);
  }
  if (fd >= 0 && ::close(fd) != 0 && err == 0) err = errno;
  if (err != 0)
    throw PrintError("--save-scene: \"" + file + "\" cannot be written (" + std::strerror(err) + ")", "save-scene");
}

}  // namespace anamorfosi
