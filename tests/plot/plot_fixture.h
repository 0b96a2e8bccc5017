// The real qkshost in-process for the plot suites: a host application in a private temporary
// folder, drawings built in its documents, and readers of the job log and the PDFs written.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "pdf_tools.h"
#include "qks/host/drawing.h"
#include "qks/testing/temp_dir.h"
#include "qkshost/app/drawing_services.h"
#include "qkshost/app/host_application.h"
#include "qkshost/app/plot_faults.h"
#include "qkshost/drawing/database.h"

namespace qks::plot::testing {

namespace drawing = qkshost::drawing;

class PlotFixture {
  public:
    PlotFixture();
    ~PlotFixture();

    qkshost::HostApplication& app() { return app_; }
    host::DrawingServices& ds() { return *app_.drawingServices(); }
    const std::string& dir() const { return dir_.path(); }
    std::string file(const std::string& name) const { return dir_.file(name); }

    // A new current document; its database.
    drawing::Database& newDrawing();
    drawing::Database& database(host::DocumentId document);
    host::DatabaseId databaseId(const drawing::Database& db) const { return {db.serial()}; }
    host::ObjectId layoutId(const drawing::Database& db, const std::string& name) const;

    // The plot log channel pointed at a fresh file in the folder; its lines without CR LF.
    void startLog();
    std::vector<std::string> logLines() const;
    std::string logPath() const { return file("plot.log"); }

  private:
    qks::testing::TempDir dir_;
    qks::testing::ScopedTempFolder tempFolder_;
    qkshost::HostApplication app_;
};

// Makes the named publish-engine call of qkshost ("createPublishEngine", "endPage", ...) fail
// until the faults are cleared.
void failPublishCall(const std::string& call);

// Entities appended to a block record (model space by default).
void addRectangle(drawing::Database& db, double x0, double y0, double x1, double y1,
                  const std::string& layer = {}, drawing::ObjectIndex block = 0, bool closed = true,
                  int vertices = 4);
void addSolid(drawing::Database& db, double x0, double y0, double x1, double y1, int colour,
              drawing::ObjectIndex block = 0);
void addText(drawing::Database& db, const std::string& text, double x, double y, double height,
             drawing::ObjectIndex block = 0);
// A block of that name holding a rectangle from (0, 0) to (w, h).
drawing::ObjectIndex addFrameBlock(drawing::Database& db, const std::string& name, double w,
                                   double h);
// A reference to `block` at (x, y) with attributes (tag, text) in that order.
drawing::ObjectIndex addReference(
    drawing::Database& db, drawing::ObjectIndex block, double x, double y,
    const std::vector<std::pair<std::string, std::string>>& attributes = {},
    drawing::ObjectIndex owner = 0);
// Sets a layout's page setup to the PDF device with `media`, plotted as a layout at 1:1.
void usePdfMedia(drawing::Database& db, const std::string& layout, const std::string& media);
// Saves a database as DXF.
void save(const drawing::Database& db, const std::string& path);

}  // namespace qks::plot::testing

namespace qks::host {
// Readable failure output for page setups compared in the suites.
void PrintTo(const PlotSettings& s, std::ostream* out);
}  // namespace qks::host
