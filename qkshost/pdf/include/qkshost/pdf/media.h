// Plot devices of the host and their paper catalogues.
//
// The host offers one device, "DWG To PDF.pc3". Its media carry canonical names in the CAD
// program's pattern: family, optional variant word, size name, then the sheet as plotted
// (width first) with two decimals and the unit, e.g. "ISO_A3_(420.00_x_297.00_MM)",
// "ISO_expand_A3_(420.00_x_297.00_MM)", "ISO_full_bleed_A4_(210.00_x_297.00_MM)",
// "ANSI_full_bleed_A_(11.00_x_8.50_Inches)", "ARCH_E1_(42.00_x_30.00_Inches)".
//
// List order is part of the contract, because callers pick "the first media whose name contains
// a keyword": families ISO A (A0..A5), ISO B (B0..B5), ANSI (A..E), ARCH (A..E, E1); within a
// size the plain medium first, then expand, then full bleed; within a variant landscape
// (width > height) before portrait. So the keyword "a3" meets "ISO_A3_(420.00_x_297.00_MM)"
// before any other A3 medium.
//
// Everything here is immutable data built once; safe to read from any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qkshost::pdf {

// Name of the PDF plot device, byte for byte as the plug-in asks for it.
inline constexpr std::string_view kPdfDeviceName = "DWG To PDF.pc3";

// Units in which a medium is named and in which plot settings express paper sizes and custom
// scales. Values follow the CAD program's numbering (inches 0, millimetres 1, pixels 2).
enum class PaperUnits { Inches = 0, Millimeters = 1, Pixels = 2 };

// Plain media keep a margin of a few millimetres, expand media a smaller one, full-bleed
// media none.
enum class MediaVariant { Plain, Expand, FullBleed };

// Unprintable border of a sheet in millimetres, measured inwards from each paper edge as the
// sheet is plotted (left and right along its width, bottom and top along its height).
struct MediaMargins {
    double left = 0.0;
    double bottom = 0.0;
    double right = 0.0;
    double top = 0.0;
};

struct Media {
    std::string canonicalName;  // e.g. "ISO_A3_(420.00_x_297.00_MM)"
    std::string localName;      // the same with spaces: "ISO A3 (420.00 x 297.00 MM)"
    double widthMm = 0.0;       // sheet as plotted: width along the page's x axis
    double heightMm = 0.0;
    PaperUnits units = PaperUnits::Millimeters;  // unit of the name: MM or Inches
    MediaVariant variant = MediaVariant::Plain;
    MediaMargins margins;

    double printableWidthMm() const { return widthMm - margins.left - margins.right; }
    double printableHeightMm() const { return heightMm - margins.bottom - margins.top; }
    bool isLandscape() const { return widthMm > heightMm; }
};

struct PlotDevice {
    std::string name;
    std::vector<Media> media;  // in the catalogue order described above

    // Exact (case-sensitive) lookup; nullptr when the device has no such medium.
    const Media* findMedia(std::string_view canonicalName) const;
    // Canonical names in list order, as the CAD program's media list returns them.
    std::vector<std::string> canonicalMediaNames() const;
    // The first medium of the given variant whose sheet is widthMm x heightMm within
    // toleranceMm in that orientation; nullptr when none. Lets a layout read from a drawing
    // file, which stores only a paper size, find its canonical medium.
    const Media* findMediaBySize(double widthMm, double heightMm,
                                 MediaVariant variant = MediaVariant::Plain,
                                 double toleranceMm = 0.5) const;
};

// The device of that exact name, or nullptr.
const PlotDevice* findPlotDevice(std::string_view name);
// The PDF device ("DWG To PDF.pc3").
const PlotDevice& pdfPlotDevice();
// Names of every device the host offers.
std::vector<std::string> plotDeviceNames();

}  // namespace qkshost::pdf
