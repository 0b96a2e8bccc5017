#include "qkshost/pdf/plot_settings.h"

#include <algorithm>
#include <cmath>

#include "qkshost/pdf/plot_style.h"

namespace qkshost::pdf {

bool PlotRect::isValid() const {
    return std::isfinite(minX) && std::isfinite(minY) && std::isfinite(maxX) &&
           std::isfinite(maxY) && minX <= maxX && minY <= maxY;
}

PlotRect PlotRect::normalised(double x1, double y1, double x2, double y2) {
    // std::min and std::max would quietly drop a NaN; keep it so the result stays invalid.
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2))
        return {x1, y1, x2, y2};
    return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

bool operator==(const PlotSettings& a, const PlotSettings& b) {
    return a.deviceName == b.deviceName && a.mediaName == b.mediaName &&
           a.paperUnits == b.paperUnits && a.styleSheet == b.styleSheet &&
           a.plotType == b.plotType && a.window == b.window && a.scale == b.scale &&
           a.centred == b.centred && a.originXMm == b.originXMm && a.originYMm == b.originYMm &&
           a.rotation == b.rotation;
}

const char* plotStatusName(PlotStatus status) {
    switch (status) {
        case PlotStatus::Ok:
            return "Ok";
        case PlotStatus::UnknownDevice:
            return "UnknownDevice";
        case PlotStatus::UnknownMedia:
            return "UnknownMedia";
        case PlotStatus::UnknownStyleSheet:
            return "UnknownStyleSheet";
        case PlotStatus::InvalidPaperUnits:
            return "InvalidPaperUnits";
        case PlotStatus::InvalidPlotWindow:
            return "InvalidPlotWindow";
        case PlotStatus::InvalidScale:
            return "InvalidScale";
        case PlotStatus::InvalidOrigin:
            return "InvalidOrigin";
        case PlotStatus::EmptyPlotArea:
            return "EmptyPlotArea";
        case PlotStatus::OutputFolderMissing:
            return "OutputFolderMissing";
        case PlotStatus::OutputNotWritable:
            return "OutputNotWritable";
        case PlotStatus::WriteFailed:
            return "WriteFailed";
        case PlotStatus::RenderFailed:
            return "RenderFailed";
        case PlotStatus::EngineFailed:
            return "EngineFailed";
    }
    return "Unknown";
}

PlotStatus PlotSettingsValidator::setPlotConfiguration(PlotSettings& s, const std::string& device,
                                                       const std::string& media) {
    const PlotDevice* d = findPlotDevice(device);
    if (!d) return PlotStatus::UnknownDevice;
    std::string chosen = media;
    if (chosen.empty()) {
        if (!d->findMedia(s.mediaName))
            chosen = d->media.empty() ? "" : d->media.front().canonicalName;
        else
            chosen = s.mediaName;
    } else if (!d->findMedia(chosen)) {
        return PlotStatus::UnknownMedia;
    }
    s.deviceName = d->name;
    s.mediaName = chosen;
    return PlotStatus::Ok;
}

PlotStatus PlotSettingsValidator::setCanonicalMediaName(PlotSettings& s, const std::string& media) {
    const PlotDevice* d = findPlotDevice(s.deviceName);
    if (!d) return PlotStatus::UnknownDevice;
    if (!d->findMedia(media)) return PlotStatus::UnknownMedia;
    s.mediaName = media;
    return PlotStatus::Ok;
}

PlotStatus PlotSettingsValidator::setPaperUnits(PlotSettings& s, PaperUnits units) {
    if (units != PaperUnits::Inches && units != PaperUnits::Millimeters &&
        units != PaperUnits::Pixels)
        return PlotStatus::InvalidPaperUnits;
    s.paperUnits = units;
    return PlotStatus::Ok;
}

PlotStatus PlotSettingsValidator::setStyleSheet(PlotSettings& s, const std::string& name) {
    if (!name.empty() && !findPlotStyleTable(name)) return PlotStatus::UnknownStyleSheet;
    s.styleSheet = name;
    return PlotStatus::Ok;
}

PlotStatus PlotSettingsValidator::setPlotType(PlotSettings& s, PlotType type) {
    s.plotType = type;
    return PlotStatus::Ok;
}

PlotStatus PlotSettingsValidator::setPlotWindow(PlotSettings& s, const PlotRect& window) {
    const PlotRect w = PlotRect::normalised(window.minX, window.minY, window.maxX, window.maxY);
    if (!w.isValid()) return PlotStatus::InvalidPlotWindow;
    s.window = w;
    return PlotStatus::Ok;
}

PlotStatus PlotSettingsValidator::setScaleToFit(PlotSettings& s) {
    s.scale.scaleToFit = true;
    return PlotStatus::Ok;
}

PlotStatus PlotSettingsValidator::setCustomScale(PlotSettings& s, double paperUnits,
                                                 double drawingUnits) {
    if (!(std::isfinite(paperUnits) && paperUnits > 0 && std::isfinite(drawingUnits) &&
          drawingUnits > 0))
        return PlotStatus::InvalidScale;
    s.scale = {false, paperUnits, drawingUnits};
    return PlotStatus::Ok;
}

PlotStatus PlotSettingsValidator::setCentred(PlotSettings& s, bool centred) {
    s.centred = centred;
    return PlotStatus::Ok;
}

PlotStatus PlotSettingsValidator::setOrigin(PlotSettings& s, double xMm, double yMm) {
    if (!std::isfinite(xMm) || !std::isfinite(yMm)) return PlotStatus::InvalidOrigin;
    s.originXMm = xMm;
    s.originYMm = yMm;
    return PlotStatus::Ok;
}

PlotStatus PlotSettingsValidator::setRotation(PlotSettings& s, PlotRotation rotation) {
    s.rotation = rotation;
    return PlotStatus::Ok;
}

PlotResult PlotSettingsValidator::validate(const PlotSettings& s) {
    const PlotDevice* d = findPlotDevice(s.deviceName);
    if (!d)
        return PlotResult::failure(PlotStatus::UnknownDevice,
                                   "unknown plot device \"" + s.deviceName + "\"");
    if (!d->findMedia(s.mediaName))
        return PlotResult::failure(
            PlotStatus::UnknownMedia,
            "device \"" + d->name + "\" has no media \"" + s.mediaName + "\"");
    if (!s.styleSheet.empty() && !findPlotStyleTable(s.styleSheet))
        return PlotResult::failure(PlotStatus::UnknownStyleSheet,
                                   "unknown plot style table \"" + s.styleSheet + "\"");
    if (s.paperUnits != PaperUnits::Inches && s.paperUnits != PaperUnits::Millimeters &&
        s.paperUnits != PaperUnits::Pixels)
        return PlotResult::failure(PlotStatus::InvalidPaperUnits, "invalid paper units");
    if (s.plotType == PlotType::Window &&
        !(s.window.isValid() && (s.window.width() > 0 || s.window.height() > 0)))
        return PlotResult::failure(PlotStatus::InvalidPlotWindow,
                                   "plot window is empty or invalid");
    if (!s.scale.scaleToFit && !(std::isfinite(s.scale.paperUnits) && s.scale.paperUnits > 0 &&
                                 std::isfinite(s.scale.drawingUnits) && s.scale.drawingUnits > 0))
        return PlotResult::failure(PlotStatus::InvalidScale, "custom plot scale must be positive");
    if (!std::isfinite(s.originXMm) || !std::isfinite(s.originYMm))
        return PlotResult::failure(PlotStatus::InvalidOrigin, "plot origin is not finite");
    return PlotResult::success();
}

bool plotPaperSize(const PlotSettings& settings, double& width, double& height) {
    const PlotDevice* device = findPlotDevice(settings.deviceName);
    const Media* media = device ? device->findMedia(settings.mediaName) : nullptr;
    if (!media) return false;
    const double perUnit = settings.paperUnits == PaperUnits::Inches ? 25.4 : 1.0;
    width = media->widthMm / perUnit;
    height = media->heightMm / perUnit;
    return true;
}

PlotResult computePageGeometry(const PlotSettings& settings, const PlotRect& area,
                               PageGeometry& out) {
    PlotResult valid = PlotSettingsValidator::validate(settings);
    if (!valid.ok()) return valid;
    if (!area.isValid() || (area.width() <= 0 && area.height() <= 0))
        return PlotResult::failure(PlotStatus::EmptyPlotArea,
                                   "nothing to plot: the plot area is empty");
    const Media& media = *findPlotDevice(settings.deviceName)->findMedia(settings.mediaName);

    PageGeometry g;
    g.pageWidthPt = media.widthMm * kPointsPerMm;
    g.pageHeightPt = media.heightMm * kPointsPerMm;
    g.printableAreaPt = {media.margins.left * kPointsPerMm, media.margins.bottom * kPointsPerMm,
                         (media.widthMm - media.margins.right) * kPointsPerMm,
                         (media.heightMm - media.margins.top) * kPointsPerMm};

    const bool quarterTurn =
        settings.rotation == PlotRotation::Deg90 || settings.rotation == PlotRotation::Deg270;
    const double w = area.width(), h = area.height();
    const double onPageW = quarterTurn ? h : w;  // drawing units along the page's x axis
    const double onPageH = quarterTurn ? w : h;

    double s;  // points per drawing unit
    if (settings.scale.scaleToFit) {
        const double sx = onPageW > 0 ? g.printableAreaPt.width() / onPageW : HUGE_VAL;
        const double sy = onPageH > 0 ? g.printableAreaPt.height() / onPageH : HUGE_VAL;
        s = std::min(sx, sy);
    } else {
        // Pixels have no physical size; they are taken as millimetres.
        const double paperMm =
            settings.scale.paperUnits * (settings.paperUnits == PaperUnits::Inches ? 25.4 : 1.0);
        s = paperMm / settings.scale.drawingUnits * kPointsPerMm;
    }
    if (!(s > 0) || !std::isfinite(s))
        return PlotResult::failure(PlotStatus::InvalidScale, "plot scale cannot be computed");

    double llx, lly;
    if (settings.centred) {
        llx = (g.printableAreaPt.minX + g.printableAreaPt.maxX - onPageW * s) / 2.0;
        lly = (g.printableAreaPt.minY + g.printableAreaPt.maxY - onPageH * s) / 2.0;
    } else {
        llx = g.printableAreaPt.minX + settings.originXMm * kPointsPerMm;
        lly = g.printableAreaPt.minY + settings.originYMm * kPointsPerMm;
    }

    // With u = x - minX and v = y - minY, the area's footprint on the page starts at (llx, lly):
    //   0:   ( u,      v)      90: (h - v,  u)
    //   180: ( w - u,  h - v)  270: (v,      w - u)
    double a = 0, b = 0, c = 0, d = 0, ox = 0, oy = 0;  // page = ll + s * (a u + c v + ox, ...)
    switch (settings.rotation) {
        case PlotRotation::Deg0:
            a = 1, d = 1;
            break;
        case PlotRotation::Deg90:
            c = -1, b = 1, ox = h;
            break;
        case PlotRotation::Deg180:
            a = -1, d = -1, ox = w, oy = h;
            break;
        case PlotRotation::Deg270:
            c = 1, b = -1, oy = w;
            break;
    }
    g.pointsPerUnit = s;
    g.a = s * a;
    g.b = s * b;
    g.c = s * c;
    g.d = s * d;
    g.e = llx + s * (ox - a * area.minX - c * area.minY);
    g.f = lly + s * (oy - b * area.minX - d * area.minY);
    g.plotAreaPt = {llx, lly, llx + onPageW * s, lly + onPageH * s};
    out = g;
    return PlotResult::success();
}

}  // namespace qkshost::pdf
