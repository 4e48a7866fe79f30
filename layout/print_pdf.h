// The print as a PDF a user can trust: the cells embedded at their exact
// physical size (nothing resampled) on pages of a chosen paper, tiled with
// overlaps, cut lines and registration crosses when the print is larger than a
// page, an assembly page before the tiles, the mirror's footprint as a vector
// line with its size, an arrow toward the eye, a 100 mm and a 4 in ruler on
// every page, and a title block. Laid out by LayOutPrintPdf (print_pages.h),
// drawn through cairo, written atomically.
#pragma once

#include <string>

#include "layout/print_pages.h"

namespace anamorfosi {

// Writes the PDF under a temporary name beside path and renames it into place;
// nothing is left on failure. Answers the page grid used. Throws PdfError.
PageGrid WritePrintPdf(const PdfContent& content, const PdfOptions& options, const std::string& path);

}  // namespace anamorfosi
