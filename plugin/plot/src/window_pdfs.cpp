#include "qks/plot/window_pdfs.h"

#include <utility>

#include "qks/plot/engine.h"

namespace qks::plot {

WindowPdfWriter::WindowPdfWriter(host::PlotServices& ds, host::ObjectId modelLayout,
                                 std::string styleSheet)
    : ds_(ds), modelLayout_(modelLayout), styleSheet_(std::move(styleSheet)) {}

WindowPdfWriter::~WindowPdfWriter() {
    close();
}

bool WindowPdfWriter::open(std::string& message) {
    PlotSession session;
    if (!openPlotSession(ds_, session, message)) return false;
    device_ = session.device;
    engine_ = session.engine;
    open_ = true;
    return true;
}

bool WindowPdfWriter::write(const drawing::PlotWindow& window, const std::string& name,
                            const std::string& pdfPath, std::string& message) {
    return plotWindowToPdf(ds_, engine_, modelLayout_, window, name, device_, styleSheet_, pdfPath,
                           message);
}

void WindowPdfWriter::close() {
    if (!open_) return;
    PlotSession session{device_, engine_};
    closePlotSession(ds_, session);
    open_ = false;
}

}  // namespace qks::plot
