#include "anamorfosi/options.h"

#include <cmath>
#include <iomanip>
#include <sstream>

namespace anamorfosi {

namespace {

// Numbers as the reports write them.

}  // namespace

std::string FieldOf(const std::string& option) {
  if (option == "-o") return "output";
  return option.substr(option.find_first_not_of('-') == std::string::npos ? option.size()
                                                                          : option.find_first_not_of('-'));
}

std::string PointText(Point3 p) { return "(" + KindNumber(p.x) + ", " + KindNumber(p.y) + ", " + KindNumber(p.z) + ")"; }

std::vector<double> Numbers(const std::string& text, std::size_t count, const std::string& option) {
  std::vector<double> v;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, ',')) {
    std::size_t used = 0;
    double d = 0;
    try {
      d = std::stod(part, &used);
    } catch (const std::exception&) {
      used = 0;
    }
    while (used < part.size() && part[used] == ' ') ++used;
    if (used == 0 || used != part.size() || !std::isfinite(d))
      throw UsageError(option + ": \"" + text + "\" is not " + std::to_string(count) + " numbers separated by commas",
                       FieldOf(option));
    v.push_back(d);
  }
  if (v.size() != count)
    throw UsageError(option + ": \"" + text + "\" is not " + std::to_string(count) + " numbers separated by commas",
                     FieldOf(option));
  return v;
}

void NeedPositive(double v, const std::string& option) {
  if (!(v > 0) || !std::isfinite(v)) throw UsageError(option + ": must be a number above 0 (got " + KindNumber(v) + ")", FieldOf(option));
}

Real AsStored(Real v) { return static_cast<double>(v); }
Point3 AsStored(Point3 p) { return {AsStored(p.x), AsStored(p.y), AsStored(p.z)}; }

PdfOptions PageOptionsOf(const Options& o) {
  PdfOptions pdf;
  const std::optional<Paper> paper = ParsePaper(o.Paper);
  if (!paper) throw UsageError("--paper: must be A4, A3, A2, Letter, Legal, Tabloid, none or WxH in mm (or WxHin), got \"" + o.Paper + "\"", "paper");
  pdf.PaperSize = *paper;
  if (!(o.Margin >= 0) || !std::isfinite(o.Margin)) throw UsageError("--margin: must be 0 or more (mm)", "margin");
  if (!(o.Overlap >= 0) || !std::isfinite(o.Overlap)) throw UsageError("--overlap: must be 0 or more (mm)", "overlap");
  if (o.Landscape && o.Portrait) throw UsageError("--landscape and --portrait: choose one", "landscape");
  pdf.MarginMm = o.Margin;
  pdf.OverlapMm = o.Overlap;
  pdf.Orientation = o.Landscape ? PageOrientation::kLandscape : o.Portrait ? PageOrientation::kPortrait : PageOrientation::kAuto;
  return pdf;
}

bool PagesOf(const Scene& s, const OutputWindow& w, const PdfOptions& pdf, PageGrid& grid) {
  try {
    grid = PlanPages(PrintWidthMm(s, w), PrintHeightMm(s, w), pdf.PaperSize, pdf.MarginMm, pdf.OverlapMm, pdf.Orientation);
    return true;
  } catch (const std::invalid_argument&) {
    return false;
  }
}

void AddPageOptions(CLI::App* sub, Options& o) {
  sub->add_option("--paper", o.Paper, "PDF paper: A4 (default), A3, A2, Letter, Legal, Tabloid, WxH (mm) or WxHin, none");
  sub->add_option("--margin", o.Margin, "PDF page margin in mm (default 10)");
  sub->add_option("--overlap", o.Overlap, "PDF tiles overlap by this many mm (default 10)");
  sub->add_flag("--landscape", o.Landscape, "PDF pages in landscape (default: the fewest pages)");
  sub->add_flag("--portrait", o.Portrait, "PDF pages in portrait");
}

void AddEveryPixel(CLI::App* sub, Options& o) {
  sub->add_flag("--every-pixel", o.EveryPixel,
                "map every pixel of the picture at --accuracy, as the programs do, however many fall into one cell, "
                "and score every pixel");
}

void AddMappingOptions(CLI::App* sub, Options& o) {
  sub->add_option("PICTURE", o.Picture, "the picture (PNG, JPEG or PPM)");
  sub->add_option("--grid", o.Grid, "instead of a picture, a square grid of COLUMNSxROWS labelled cells to draw by hand");
  sub->add_option("--face", o.Face, "DXF file whose last 3DFACE is the picture face (default: automatic)");
  sub->add_option("--eye", o.Eye, "the eye X,Y,Z in drawing units");
  sub->add_option("--units", o.Units, "drawing units: mm, cm, in, m, ft or another unit of a DXF's $INSUNITS "
                                      "(default: the face's or the mirror's DXF's $INSUNITS, else mm)");
  sub->add_option("--dpi", o.Dpi, "cells per inch of the print (default 300)");
  sub->add_option("--pixels", o.Pixels, "cells on the longer side instead of --dpi");
  sub->add_option("--accuracy", o.Accuracy, "sample points per pixel side, 1 to 20 (default 4)");
  sub->add_option("--antialias", o.Antialias, "N x N samples a cell, averaged (default 2; 1 for .ppm)");
  sub->add_option("--background", o.Background, "white (the paper, default) or black (as the programs)");
  sub->add_option("--fill", o.Fill, "share of the largest automatic face (default 0.9)");
  sub->add_flag("--no-marks", o.NoMarks, "leave out the mirror's footprint on PNG output");
  sub->add_flag("--program-window", o.ProgramWindow,
                "the window exactly as the four programs compute it (needs --pixels; no footprint)");
  sub->add_option("--threads", o.Threads, "threads of the mapping (default: every core)");
  sub->add_option("--save-scene", o.SaveScene, "write every value used to this JSON scene file");
  sub->add_option("--preview", o.Preview, "also write the view from the eye (PNG) and print the fidelity line");
  sub->add_option("--preview-closeup", o.PreviewCloseup,
                  "also write a close-up of the mirror (PNG): from the same eye, framed on the mirror, the view's size");
  sub->add_option("--size", o.Size, "the width of the --preview view in pixels (default 1200)");
  sub->add_flag("--quiet", o.Quiet, "print nothing but errors and warnings");
  AddEveryPixel(sub, o);
  sub->add_option("-o,--output", o.Output, "the print: .png (true scale), .pdf (pages to print), .ppm (plain P3)")->required();
  AddPageOptions(sub, o);
}

// The automatic face as large as one sheet of a paper allows.
void AddFitOption(CLI::App* sub, Options& o) {
  sub->add_option("--fit", o.Fit,
                  "the largest automatic face whose print, with the mirror, fits one sheet of this paper "
                  "(A4, A3, A2, Letter, Legal, Tabloid, WxH), with --margin; the PDF's paper")
      ->excludes(sub->get_option("--face"))
      ->excludes(sub->get_option("--fill"))
      ->excludes(sub->get_option("--paper"));
}

// Each kind's own values come first (the required, then the others, in the
// order of the scene file), then those of every mapping.
void AddMirrorSubcommands(CLI::App& app, Options& o, const MirrorKindEntry*& kind) {
  for (const MirrorKindEntry& k : MirrorKinds()) {
    CLI::App* sub = app.add_subcommand(k.Name, k.Summary);
    for (const bool required : {true, false}) {
      for (const KindParameter& p : k.Parameters) {
        if (p.Required != required) continue;
        const std::string name = std::string("--") + p.Option;
        CLI::Option* option = nullptr;
        switch (p.Value) {
          case KindValue::kLength:
          case KindValue::kAngle:
            o.MirrorNumbers.emplace(p.Key, std::nan(""));
            option = sub->add_option(name, o.MirrorNumbers[p.Key], p.Help);
            break;
          case KindValue::kPlanPoint:
          case KindValue::kPoint:
          case KindValue::kFile: option = sub->add_option(name, o.MirrorTexts[p.Key], p.Help); break;
          case KindValue::kFlag: option = sub->add_flag(name, o.MirrorFlags[p.Key], p.Help); break;
        }
        if (p.Required) option->required();
      }
    }
    AddMappingOptions(sub, o);
    if (k.AutomaticFace) {
      AddFitOption(sub, o);
    } else {
      // Without an automatic face the kind places no eye either.
      sub->get_option("--face")->required();
      sub->get_option("--eye")->required();
    }
    sub->footer(k.Footer);
    sub->callback([&kind, &k] { kind = &k; });
  }
}

}  // namespace anamorfosi
