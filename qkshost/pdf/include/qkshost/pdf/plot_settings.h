// Plot settings of a layout as a plain value record, the validator that changes them one
// setting at a time the way the CAD program's plot settings validator does, and the page
// geometry that maps a drawing-space area onto the printable area of the chosen medium.
//
// Units: drawing-space values (plot window, plot area) are drawing units; the plot origin is
// in millimetres; page geometry is in PDF points (1 pt = 1/72 inch) with the origin at the
// page's lower-left corner and y pointing up. Rotation is counter-clockwise on the paper.
#pragma once

#include <string>

#include "qkshost/pdf/media.h"

namespace qkshost::pdf {

// Numbered as in the CAD program.
enum class PlotType { Display = 0, Extents = 1, Limits = 2, View = 3, Window = 4, Layout = 5 };
enum class PlotRotation { Deg0 = 0, Deg90 = 1, Deg180 = 2, Deg270 = 3 };

// Axis-aligned rectangle; valid when finite with min <= max on both axes.
struct PlotRect {
    double minX = 0.0;
    double minY = 0.0;
    double maxX = 0.0;
    double maxY = 0.0;

    double width() const { return maxX - minX; }
    double height() const { return maxY - minY; }
    bool isValid() const;
    // Corners in either order become a valid rectangle (when finite).
    static PlotRect normalised(double x1, double y1, double x2, double y2);
    friend bool operator==(const PlotRect& a, const PlotRect& b) {
        return a.minX == b.minX && a.minY == b.minY && a.maxX == b.maxX && a.maxY == b.maxY;
    }
    friend bool operator!=(const PlotRect& a, const PlotRect& b) { return !(a == b); }
};

// Scale to fit, or paperUnits (in the settings' paper units) = drawingUnits.
struct PlotScale {
    bool scaleToFit = true;
    double paperUnits = 1.0;
    double drawingUnits = 1.0;
    friend bool operator==(const PlotScale& a, const PlotScale& b) {
        return a.scaleToFit == b.scaleToFit && a.paperUnits == b.paperUnits &&
               a.drawingUnits == b.drawingUnits;
    }
};

struct PlotSettings {
    std::string deviceName = std::string(kPdfDeviceName);
    std::string mediaName;  // canonical; empty until chosen
    PaperUnits paperUnits = PaperUnits::Millimeters;
    std::string styleSheet;  // empty: colours as drawn
    PlotType plotType = PlotType::Extents;
    PlotRect window;  // drawing units; used by PlotType::Window
    PlotScale scale;
    bool centred = true;
    double originXMm = 0.0;  // offset of the plot from the printable area's lower-left corner;
    double originYMm = 0.0;  // ignored when centred
    PlotRotation rotation = PlotRotation::Deg0;

    friend bool operator==(const PlotSettings& a, const PlotSettings& b);
    friend bool operator!=(const PlotSettings& a, const PlotSettings& b) { return !(a == b); }
};

// Result of every validating or plotting step. The numeric value is stable and is what a caller
// prints as "status=N"; Ok is 0.
enum class PlotStatus {
    Ok = 0,
    UnknownDevice = 1,
    UnknownMedia = 2,
    UnknownStyleSheet = 3,
    InvalidPaperUnits = 4,
    InvalidPlotWindow = 5,
    InvalidScale = 6,
    InvalidOrigin = 7,
    EmptyPlotArea = 8,
    OutputFolderMissing = 20,
    OutputNotWritable = 21,
    WriteFailed = 22,
    RenderFailed = 23,
    EngineFailed = 24,  // a stage of the engine refused (used by the fault seam)
};

// Short English name of a status, e.g. "UnknownMedia".
const char* plotStatusName(PlotStatus status);

struct PlotResult {
    PlotStatus status = PlotStatus::Ok;
    std::string message;  // empty on success; a sentence naming the cause otherwise

    bool ok() const { return status == PlotStatus::Ok; }
    static PlotResult success() { return {}; }
    static PlotResult failure(PlotStatus s, std::string text) { return {s, std::move(text)}; }
};

// Changes one setting at a time after checking it; a rejected change leaves the record as it
// was. Mirrors the CAD program's plot settings validator so the host can implement its
// validator interface with it.
class PlotSettingsValidator {
  public:
    // Device by exact name; media by exact canonical name, or empty to keep the current medium
    // when the device has it and otherwise take the device's first medium.
    static PlotStatus setPlotConfiguration(PlotSettings& s, const std::string& device,
                                           const std::string& media);
    static PlotStatus setCanonicalMediaName(PlotSettings& s, const std::string& media);
    static PlotStatus setPaperUnits(PlotSettings& s, PaperUnits units);
    // Empty name clears the style sheet (colours as drawn).
    static PlotStatus setStyleSheet(PlotSettings& s, const std::string& name);
    static PlotStatus setPlotType(PlotSettings& s, PlotType type);
    static PlotStatus setPlotWindow(PlotSettings& s, const PlotRect& window);
    static PlotStatus setScaleToFit(PlotSettings& s);
    static PlotStatus setCustomScale(PlotSettings& s, double paperUnits, double drawingUnits);
    static PlotStatus setCentred(PlotSettings& s, bool centred);
    static PlotStatus setOrigin(PlotSettings& s, double xMm, double yMm);
    static PlotStatus setRotation(PlotSettings& s, PlotRotation rotation);

    // Whole-record check before plotting: device, medium, style sheet, units, window (for
    // window plots), scale and origin. The message names the offending value.
    static PlotResult validate(const PlotSettings& s);
};

// Paper size of the settings' medium as plotted (width along the page's x axis), in the
// settings' paper units: inches when those are Inches, millimetres otherwise. False when the
// device or the medium is unknown.
bool plotPaperSize(const PlotSettings& settings, double& width, double& height);

// Where one page's drawing lands.
struct PageGeometry {
    double pageWidthPt = 0.0;
    double pageHeightPt = 0.0;
    PlotRect printableAreaPt;  // page space
    PlotRect plotAreaPt;       // the plot area's footprint on the page (after rotation)
    double pointsPerUnit = 0.0;
    // Drawing (x, y) to page: px = a x + c y + e, py = b x + d y + f.
    double a = 1.0, b = 0.0, c = 0.0, d = 1.0, e = 0.0, f = 0.0;

    void toPage(double x, double y, double& px, double& py) const {
        px = a * x + c * y + e;
        py = b * x + d * y + f;
    }
};

// Points per millimetre.
inline constexpr double kPointsPerMm = 72.0 / 25.4;

// Lays the drawing area `area` (drawing units: the window for window plots, the extents,
// limits or display otherwise) onto the settings' medium: scaled to fit the printable area or
// by the custom scale, rotated, then centred in the printable area or put at its lower-left
// corner plus the origin offset. Validates the settings first. An area of zero width and
// height cannot be fitted (EmptyPlotArea); a line-like area fits by its one dimension.
PlotResult computePageGeometry(const PlotSettings& settings, const PlotRect& area,
                               PageGeometry& out);

}  // namespace qkshost::pdf
