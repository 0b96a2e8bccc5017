#include "layout_settings.h"

#include <cmath>

#include "creation_checks.h"
#include "qkshost/app/drawing_services.h"
#include "qkshost/app/host_application.h"
#include "qkshost/pdf/media.h"
#include "qkshost/pdf/plot_style.h"

namespace qkshost {

namespace host = qks::host;
using app::finite;
using drawing::Database;
using drawing::ObjectIndex;

namespace {

constexpr double kMmPerInch = 25.4;

}  // namespace

std::vector<host::LayoutInfo> LayoutSettings::layouts(host::DatabaseId id) {
    std::vector<host::LayoutInfo> out;
    Database* db = dbs_.database(id);
    if (db == nullptr) return out;
    for (ObjectIndex i : db->layouts()) {
        const auto* layout = db->get<drawing::Layout>(i);
        if (layout == nullptr || layout->erased) continue;
        const auto* block = db->get<drawing::BlockRecord>(layout->block);
        out.push_back({db->idOf(i), layout->name, block != nullptr && block->isModelSpace(),
                       db->idOf(layout->block)});
    }
    return out;
}

std::string LayoutSettings::activeLayoutName() {
    const Document* d = app_.findDocument(app_.currentDocument());
    if (d == nullptr || !d->database) return {};
    const auto* layout = d->database->get<drawing::Layout>(d->database->activeLayout());
    return layout ? layout->name : std::string();
}

host::Status LayoutSettings::setCurrentLayout(host::ObjectId layout) {
    ObjectIndex index = 0;
    Database* db = dbs_.resolve(layout, index);
    if (db == nullptr) return host::Status::NotFound;
    return toHostStatus(db->setCurrentLayout(index));
}

host::Status LayoutSettings::setCurrentLayoutByName(std::string_view name) {
    Document* d = app_.findDocument(app_.currentDocument());
    if (d == nullptr || !d->database) return host::Status::NotApplicable;
    return toHostStatus(d->database->setCurrentLayout(name));
}

host::Status LayoutSettings::getPlotSettings(host::ObjectId id, host::PlotSettings& out) {
    Database* db = nullptr;
    const auto* layout = dbs_.resolveAs<drawing::Layout>(id, db);
    if (layout == nullptr) return host::Status::NotFound;
    const drawing::PlotSettings& p = layout->plot;
    host::PlotSettings s;
    s.device = p.device;
    s.media = p.media;
    s.styleSheet = p.styleSheet;
    s.paperUnits = static_cast<host::PaperUnits>(p.paperUnits);
    // Stored in millimetres; handed out in the layout's own paper units.
    const double scale = p.paperUnits == 0 ? 1.0 / kMmPerInch : 1.0;
    s.paperWidth = p.paperWidth * scale;
    s.paperHeight = p.paperHeight * scale;
    s.marginLeft = p.marginLeft;
    s.marginBottom = p.marginBottom;
    s.marginRight = p.marginRight;
    s.marginTop = p.marginTop;
    s.plotType = static_cast<host::PlotType>(p.plotType);
    s.windowMinX = p.windowMinX;
    s.windowMinY = p.windowMinY;
    s.windowMaxX = p.windowMaxX;
    s.windowMaxY = p.windowMaxY;
    s.useStandardScale = p.useStandardScale();
    s.standardScaleType = p.standardScaleType;
    s.customNumerator = p.numerator;
    s.customDenominator = p.denominator;
    s.centered = p.centered();
    s.originX = p.originX;
    s.originY = p.originY;
    s.rotation = p.rotation;
    out = s;
    return host::Status::Ok;
}

host::Status LayoutSettings::setPlotSettings(host::ObjectId id, const host::PlotSettings& s) {
    Database* db = nullptr;
    auto* layout = dbs_.resolveAs<drawing::Layout>(id, db);
    if (layout == nullptr) return host::Status::NotFound;
    if (s.rotation < 0 || s.rotation > 3 || static_cast<int>(s.paperUnits) < 0 ||
        static_cast<int>(s.paperUnits) > 2)
        return host::Status::InvalidInput;
    drawing::PlotSettings& p = layout->plot;
    const double scale = s.paperUnits == host::PaperUnits::Inches ? kMmPerInch : 1.0;
    // Sizes are stored in millimetres such that reading them back gives exactly the value
    // written: a page setup read, changed elsewhere and written back is bit for bit the same.
    const double readScale = s.paperUnits == host::PaperUnits::Inches ? 1.0 / kMmPerInch : 1.0;
    const auto keepOrSet = [&](double& stored, double paperValue) {
        if (stored * readScale == paperValue) return;
        double mm = paperValue * scale;
        for (int i = 0; i < 4 && std::isfinite(mm) && mm * readScale != paperValue; ++i)
            mm = std::nextafter(mm, mm * readScale < paperValue ? HUGE_VAL : -HUGE_VAL);
        stored = mm;
    };
    p.device = s.device;
    p.media = s.media;
    p.styleSheet = s.styleSheet;
    p.paperUnits = static_cast<int>(s.paperUnits);
    keepOrSet(p.paperWidth, s.paperWidth);
    keepOrSet(p.paperHeight, s.paperHeight);
    p.marginLeft = s.marginLeft;
    p.marginBottom = s.marginBottom;
    p.marginRight = s.marginRight;
    p.marginTop = s.marginTop;
    p.plotType = static_cast<int>(s.plotType);
    p.windowMinX = s.windowMinX;
    p.windowMinY = s.windowMinY;
    p.windowMaxX = s.windowMaxX;
    p.windowMaxY = s.windowMaxY;
    p.setUseStandardScale(s.useStandardScale);
    p.standardScaleType = s.standardScaleType;
    p.numerator = s.customNumerator;
    p.denominator = s.customDenominator;
    p.setCentered(s.centered);
    p.originX = s.originX;
    p.originY = s.originY;
    p.rotation = s.rotation;
    return host::Status::Ok;
}

bool LayoutSettings::hasPlotDevice(std::string_view device) {
    return pdf::findPlotDevice(device) != nullptr;
}

std::vector<std::string> LayoutSettings::canonicalMediaNames(std::string_view device) {
    const pdf::PlotDevice* d = pdf::findPlotDevice(device);
    return d ? d->canonicalMediaNames() : std::vector<std::string>{};
}

host::Status LayoutSettings::setPlotDeviceAndMedia(host::PlotSettings& s, std::string_view device,
                                                   std::string_view media) {
    const pdf::PlotDevice* d = pdf::findPlotDevice(device);
    if (d == nullptr || d->media.empty()) return host::Status::InvalidInput;
    const pdf::Media* chosen = media.empty() ? d->findMedia(s.media) : d->findMedia(media);
    if (chosen == nullptr) {
        if (!media.empty()) return host::Status::InvalidInput;
        chosen = &d->media.front();
    }
    s.device = d->name;
    s.media = chosen->canonicalName;
    const double scale = s.paperUnits == host::PaperUnits::Inches ? 1.0 / kMmPerInch : 1.0;
    s.paperWidth = chosen->widthMm * scale;
    s.paperHeight = chosen->heightMm * scale;
    s.marginLeft = chosen->margins.left;
    s.marginBottom = chosen->margins.bottom;
    s.marginRight = chosen->margins.right;
    s.marginTop = chosen->margins.top;
    return host::Status::Ok;
}

host::Status LayoutSettings::setPaperUnits(host::PlotSettings& s, host::PaperUnits units) {
    if (units != host::PaperUnits::Inches && units != host::PaperUnits::Millimeters)
        return host::Status::InvalidInput;
    if (units != s.paperUnits) {
        const double factor = units == host::PaperUnits::Inches ? 1.0 / kMmPerInch : kMmPerInch;
        s.paperWidth *= factor;
        s.paperHeight *= factor;
        s.paperUnits = units;
    }
    return host::Status::Ok;
}

host::Status LayoutSettings::setStyleSheet(host::PlotSettings& s, std::string_view styleSheet) {
    if (!styleSheet.empty() && pdf::findPlotStyleTable(styleSheet) == nullptr)
        return host::Status::InvalidInput;
    s.styleSheet = std::string(styleSheet);
    return host::Status::Ok;
}

host::Status LayoutSettings::setPlotType(host::PlotSettings& s, host::PlotType type) {
    const int value = static_cast<int>(type);
    if (value < 0 || value > 5) return host::Status::InvalidInput;
    s.plotType = type;
    return host::Status::Ok;
}

host::Status LayoutSettings::setPlotWindow(host::PlotSettings& s, double minX, double minY,
                                           double maxX, double maxY) {
    if (!finite(minX) || !finite(minY) || !finite(maxX) || !finite(maxY))
        return host::Status::InvalidInput;
    s.windowMinX = minX;
    s.windowMinY = minY;
    s.windowMaxX = maxX;
    s.windowMaxY = maxY;
    return host::Status::Ok;
}

host::Status LayoutSettings::setStandardScale(host::PlotSettings& s, bool useStandardScale,
                                              int standardScaleType) {
    if (standardScaleType < 0 || standardScaleType > 32) return host::Status::InvalidInput;
    s.useStandardScale = useStandardScale;
    s.standardScaleType = standardScaleType;
    return host::Status::Ok;
}

host::Status LayoutSettings::setCentered(host::PlotSettings& s, bool centered) {
    s.centered = centered;
    return host::Status::Ok;
}

host::Status LayoutSettings::setPlotOrigin(host::PlotSettings& s, double x, double y) {
    if (!finite(x) || !finite(y)) return host::Status::InvalidInput;
    s.originX = x;
    s.originY = y;
    return host::Status::Ok;
}

host::Status LayoutSettings::setPlotRotation(host::PlotSettings& s, int quarterTurns) {
    if (quarterTurns < 0 || quarterTurns > 3) return host::Status::InvalidInput;
    s.rotation = quarterTurns;
    return host::Status::Ok;
}

}  // namespace qkshost
