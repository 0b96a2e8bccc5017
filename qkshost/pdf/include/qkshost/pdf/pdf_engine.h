// The PDF plot engine: renders one display list onto one page of one PDF file.
//
// A page is validated, laid out (computePageGeometry), rendered (vector output, arcs as
// curves, texts as glyphs of TrueType subsets embedded with ToUnicode maps, so they can be
// searched and copied) and written to a temporary file beside the target,
// which then replaces the target by rename. The target never holds a half-written PDF; on any
// failure an existing target is left untouched and the temporary file is removed.
//
// Threads: an engine is used by one thread at a time; the host plots on its main thread.
// Engines on different threads may plot at the same time.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "qkshost/pdf/display_list.h"
#include "qkshost/pdf/plot_settings.h"

namespace qkshost::pdf {

// Steps of one plot, in order; the fault hook is asked before each.
enum class PlotStage { Validate, BeginDocument, BeginPage, Write };

struct PlotPageOptions {
    // Drawing area for every plot type except Window (which uses the settings' window): the
    // extents, limits or display the host computed. Empty: the display list's own extents.
    std::optional<PlotRect> area;
    // Document name, stored as the PDF's title.
    std::string title;
};

// Test seam: returns Ok to let a stage run, anything else to make it fail with that status
// (the message then says the stage was refused). Receives the settings being plotted, so a
// test can refuse only some page setups.
using PlotFaultHook = std::function<PlotStatus(PlotStage stage, const PlotSettings& settings,
                                               const std::string& pdfPath)>;

class PdfPlotEngine {
  public:
    // Plots one page to pdfPath. The folder of pdfPath must exist. On failure the result's
    // message names the cause ("output folder does not exist: ...", "cannot write to ...").
    PlotResult plotToFile(const PlotSettings& settings, const DisplayList& list,
                          const std::string& pdfPath, const PlotPageOptions& options = {});

    void setFaultHook(PlotFaultHook hook) { faultHook_ = std::move(hook); }
    void clearFaultHook() { faultHook_ = nullptr; }

    // Number of PDF files written by this engine.
    int pagesWritten() const { return pagesWritten_; }

  private:
    PlotResult stage(PlotStage stage, const PlotSettings& settings, const std::string& pdfPath);

    PlotFaultHook faultHook_;
    int pagesWritten_ = 0;
};

}  // namespace qkshost::pdf
