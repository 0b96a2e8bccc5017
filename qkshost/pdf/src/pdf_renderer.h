// Draws a display list onto one PDF page (texts laid out by pango) and writes the file.
#pragma once

#include <string>

#include "pdf_file.h"
#include "qkshost/pdf/display_list.h"
#include "qkshost/pdf/plot_settings.h"
#include "qkshost/pdf/plot_style.h"

namespace qkshost::pdf::detail {

// Renders the page laid out by `geometry`; drawing is clipped to the printable area and, for a
// window plot (clipToPlotArea), to the window's footprint widened by a millimetre so border
// lines on the window's edge keep their full weight.
// The PDF bytes go to `out`; the file is not committed here.
PlotResult renderPdfPage(const PageGeometry& geometry, const PlotStyleTable& style,
                         const DisplayList& list, bool clipToPlotArea, const std::string& title,
                         AtomicOutputFile& out);

}  // namespace qkshost::pdf::detail
