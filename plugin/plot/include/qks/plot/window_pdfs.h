// Windows of model space to PDF files, one page each, for jobs that plot what they drew (the
// nest job's sheets) without the plot engine's page-setup rules. Main thread only.
#pragma once

#include <string>

#include "qks/drawing/window.h"
#include "qks/host/drawing.h"

namespace qks::plot {

// One plot session: open() loads the PDF device and starts a publish engine, close() (or the
// destructor) ends it. Messages are Chinese UTF-8 texts; a false result always comes with one.
class WindowPdfWriter {
  public:
    WindowPdfWriter(host::PlotServices& ds, host::ObjectId modelLayout, std::string styleSheet);
    ~WindowPdfWriter();
    WindowPdfWriter(const WindowPdfWriter&) = delete;
    WindowPdfWriter& operator=(const WindowPdfWriter&) = delete;

    bool open(std::string& message);
    // `window` in model-space units with min below max; `name` is the page's document name.
    bool write(const drawing::PlotWindow& window, const std::string& name,
               const std::string& pdfPath, std::string& message);
    void close();

  private:
    host::PlotServices& ds_;
    host::ObjectId modelLayout_;
    std::string styleSheet_;
    std::string device_;
    host::PublishEngineId engine_;
    bool open_ = false;
};

}  // namespace qks::plot
