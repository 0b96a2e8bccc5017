#include "plot_fixture.h"

#include <sstream>

#include "qks/common/job_log.h"
#include "qkshost/dxf/dxf.h"
#include "qkshost/pdf/media.h"

namespace qks::plot::testing {

PlotFixture::PlotFixture() : tempFolder_(dir_.path()) {
    app_.setOutputSink([](std::string_view) {});
}

PlotFixture::~PlotFixture() {
    qkshost::clearPlotFaults();
    setJobLogPath(LogChannel::Plot, {});
}

drawing::Database& PlotFixture::newDrawing() {
    return database(app_.newDocument());
}

drawing::Database& PlotFixture::database(host::DocumentId document) {
    return *app_.findDocument(document)->database;
}

host::ObjectId PlotFixture::layoutId(const drawing::Database& db, const std::string& name) const {
    return db.idOf(db.findLayout(name));
}

void PlotFixture::startLog() {
    setJobLogPath(LogChannel::Plot, logPath());
    resetJobLog(LogChannel::Plot);
}

std::vector<std::string> PlotFixture::logLines() const {
    std::vector<std::string> lines;
    std::istringstream in(qks::testing::readAll(logPath()));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

void failPublishCall(const std::string& call) {
    qkshost::PlotFaults faults;
    faults.publish = [call](const char* name) {
        return call == name ? host::Status::Failed : host::Status::Ok;
    };
    qkshost::setPlotFaults(std::move(faults));
}

void addRectangle(drawing::Database& db, double x0, double y0, double x1, double y1,
                  const std::string& layer, drawing::ObjectIndex block, bool closed, int vertices) {
    auto p = std::make_unique<drawing::LwPolyline>();
    p->vertices = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    if (vertices == 5) p->vertices.push_back({x0, y0});
    p->flags = closed ? 1 : 0;
    if (!layer.empty()) {
        drawing::ObjectIndex index = 0;
        db.addLayer(layer, 7, &index);
        p->layer = index;
    }
    db.appendEntity(std::move(p), block);
}

void addSolid(drawing::Database& db, double x0, double y0, double x1, double y1, int colour,
              drawing::ObjectIndex block) {
    auto s = std::make_unique<drawing::Solid>();
    s->corners[0] = {x0, y0, 0};
    s->corners[1] = {x1, y0, 0};
    s->corners[2] = {x0, y1, 0};
    s->corners[3] = {x1, y1, 0};
    s->color = std::int16_t(colour);
    db.appendEntity(std::move(s), block);
}

void addText(drawing::Database& db, const std::string& text, double x, double y, double height,
             drawing::ObjectIndex block) {
    auto t = std::make_unique<drawing::Text>();
    t->text = text;
    t->position = {x, y, 0};
    t->height = height;
    db.appendEntity(std::move(t), block);
}

drawing::ObjectIndex addFrameBlock(drawing::Database& db, const std::string& name, double w,
                                   double h) {
    drawing::ObjectIndex block = 0;
    db.addBlock(name, &block);
    addRectangle(db, 0, 0, w, h, {}, block);
    return block;
}

drawing::ObjectIndex addReference(
    drawing::Database& db, drawing::ObjectIndex block, double x, double y,
    const std::vector<std::pair<std::string, std::string>>& attributes,
    drawing::ObjectIndex owner) {
    auto r = std::make_unique<drawing::BlockReference>();
    r->block = block;
    r->position = {x, y, 0};
    const drawing::ObjectIndex ref = db.appendEntity(std::move(r), owner);
    for (const auto& [tag, text] : attributes) {
        auto a = std::make_unique<drawing::Attribute>();
        a->tag = tag;
        a->text = text;
        a->position = {x, y, 0};
        a->height = 3;
        a->owner = ref;
        const drawing::ObjectIndex index = db.add(std::move(a));
        db.get<drawing::BlockReference>(ref)->attributes.push_back(index);
    }
    return ref;
}

void usePdfMedia(drawing::Database& db, const std::string& layout, const std::string& media) {
    auto* l = db.get<drawing::Layout>(db.findLayout(layout));
    const qkshost::pdf::Media* m = qkshost::pdf::pdfPlotDevice().findMedia(media);
    l->plot.device = "DWG To PDF.pc3";
    l->plot.media = media;
    l->plot.paperUnits = 1;
    if (m) {
        l->plot.paperWidth = m->widthMm;
        l->plot.paperHeight = m->heightMm;
        l->plot.marginLeft = m->margins.left;
        l->plot.marginBottom = m->margins.bottom;
        l->plot.marginRight = m->margins.right;
        l->plot.marginTop = m->margins.top;
    }
}

void save(const drawing::Database& db, const std::string& path) {
    qkshost::dxf::saveDxf(db, path);
}

}  // namespace qks::plot::testing

namespace qks::host {
void PrintTo(const PlotSettings& s, std::ostream* out) {
    *out << "{device=" << s.device << " media=" << s.media << " style=" << s.styleSheet
         << " paper=" << s.paperWidth << "x" << s.paperHeight << " units=" << int(s.paperUnits)
         << " margins=" << s.marginLeft << "," << s.marginBottom << "," << s.marginRight << ","
         << s.marginTop << " type=" << int(s.plotType) << " window=" << s.windowMinX << ","
         << s.windowMinY << "," << s.windowMaxX << "," << s.windowMaxY
         << " standard=" << s.useStandardScale << "/" << s.standardScaleType
         << " custom=" << s.customNumerator << "/" << s.customDenominator
         << " centred=" << s.centered << " origin=" << s.originX << "," << s.originY
         << " rotation=" << s.rotation << "}";
}
}  // namespace qks::host
