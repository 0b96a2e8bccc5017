// Colours of drawing entities and the plot style tables that turn them into ink.
//
// An entity's colour reaches the plotter either as an AutoCAD Colour Index (ACI, 1..255) or as
// a true colour. ByLayer and ByBlock are resolved before anything is plotted. The host offers
// three colour-dependent style tables:
//   "acad.ctb"       colours as drawn; ACI 7 (white on a dark screen) prints black on paper
//   "grayscale.ctb"  every colour to the grey of its luminance (0.299 R + 0.587 G + 0.114 B);
//                    ACI 7 prints black
//   "monochrome.ctb" everything black
// Tables are immutable and safe to use from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qkshost::pdf {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend bool operator==(Rgb a, Rgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; }
    friend bool operator!=(Rgb a, Rgb b) { return !(a == b); }
};

// The standard 256-entry ACI palette as shown on screen: 1..9 the named colours (7 white),
// 10..249 24 hues in steps of 15 degrees, each at five brightness levels, full and half
// saturation; 250..255 greys. Index 0 and anything outside 0..255 give ACI 7.
Rgb aciToRgb(int index);

// An entity colour after ByLayer/ByBlock resolution.
struct PlotColour {
    bool isTrueColour = false;
    int index = 7;  // ACI when !isTrueColour
    Rgb rgb;        // when isTrueColour

    static PlotColour aci(int index) { return {false, index, {}}; }
    static PlotColour trueColour(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        return {true, 0, {r, g, b}};
    }
    friend bool operator==(const PlotColour& a, const PlotColour& b) {
        return a.isTrueColour == b.isTrueColour &&
               (a.isTrueColour ? a.rgb == b.rgb : a.index == b.index);
    }
    friend bool operator!=(const PlotColour& a, const PlotColour& b) { return !(a == b); }
};

class PlotStyleTable {
  public:
    enum class Mode { AsDrawn, Grayscale, Monochrome };
    PlotStyleTable(std::string name, Mode mode) : name_(std::move(name)), mode_(mode) {}

    const std::string& name() const { return name_; }
    Mode mode() const { return mode_; }
    // The ink colour for an entity colour.
    Rgb map(const PlotColour& colour) const;

  private:
    std::string name_;
    Mode mode_;
};

// The table of that exact file name ("monochrome.ctb", "grayscale.ctb", "acad.ctb"), or
// nullptr.
const PlotStyleTable* findPlotStyleTable(std::string_view name);
// The table used when plot settings name no style sheet: colours as drawn.
const PlotStyleTable& defaultPlotStyleTable();
std::vector<std::string> plotStyleTableNames();

}  // namespace qkshost::pdf
