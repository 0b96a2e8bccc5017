// Test seam of qkshost's plotting: lets a test make the plot-info validator or a stage of the
// PDF engine fail, so the plug-in's fall-backs can be exercised against the real host. Not part
// of the plug-in's host interface.
//
// Threads: main thread only, like the plotting itself. Faults stay in force until cleared.
#pragma once

#include <functional>

#include "qks/host/drawing.h"
#include "qkshost/pdf/pdf_engine.h"

namespace qkshost {

struct PlotFaults {
    // Asked by validatePlotInfo once its own checks have passed, with the page setup it would
    // plot (device override and media matching applied). A status other than Ok fails the
    // validation with that status.
    std::function<qks::host::Status(const qks::host::PlotSettings& settings)> validate;
    // Installed on the PDF engine of every page plotted while set.
    pdf::PlotFaultHook engine;
    // Asked by the publish engine before each call (by name: "beginDocument", "beginPage",
    // "endPage", ...); a status other than Ok makes that call fail with it and leaves the
    // engine's state as it was.
    std::function<qks::host::Status(const char* call)> publish;
};

void setPlotFaults(PlotFaults faults);
void clearPlotFaults();

}  // namespace qkshost
