#include "qkshost/pdf/plot_style.h"

#include <array>
#include <cmath>

namespace qkshost::pdf {
namespace {

// Channel strength of a hue (degrees) for the channel whose pure colour sits at 0 degrees:
// full within 60 degrees, falling linearly to none at 120.
double hueWeight(double degrees) {
    double d = std::fmod(std::fabs(degrees), 360.0);
    if (d > 180.0) d = 360.0 - d;
    if (d <= 60.0) return 1.0;
    if (d >= 120.0) return 0.0;
    return (120.0 - d) / 60.0;
}

std::array<Rgb, 256> buildPalette() {
    std::array<Rgb, 256> p{};
    const Rgb named[10] = {{0, 0, 0},       {255, 0, 0},    {255, 255, 0}, {0, 255, 0},
                           {0, 255, 255},   {0, 0, 255},    {255, 0, 255}, {255, 255, 255},
                           {128, 128, 128}, {192, 192, 192}};
    for (int i = 0; i < 10; ++i)
        p[i] = named[i];
    // Brightness levels of the five rows of every hue column, as fractions of full scale; the
    // palette truncates, so 0.65 gives 165 and half of it 82.
    const double levels[5] = {1.0, 0.65, 0.5, 0.3, 0.15};
    for (int i = 10; i < 250; ++i) {
        const int k = i - 10;
        const double hue = (k / 10) * 15.0;
        const int row = k % 10;
        const double top = levels[row / 2] * 255.0;
        const double bottom = (row % 2) ? top / 2.0 : 0.0;
        auto channel = [&](double offset) {
            return static_cast<std::uint8_t>(
                std::floor(bottom + (top - bottom) * hueWeight(hue - offset)));
        };
        p[i] = {channel(0.0), channel(120.0), channel(240.0)};
    }
    const std::uint8_t greys[6] = {51, 80, 105, 130, 190, 255};
    for (int i = 0; i < 6; ++i)
        p[250 + i] = {greys[i], greys[i], greys[i]};
    return p;
}

const std::array<Rgb, 256>& palette() {
    static const std::array<Rgb, 256> p = buildPalette();
    return p;
}

const std::array<PlotStyleTable, 3>& tables() {
    static const std::array<PlotStyleTable, 3> all{
        PlotStyleTable("acad.ctb", PlotStyleTable::Mode::AsDrawn),
        PlotStyleTable("grayscale.ctb", PlotStyleTable::Mode::Grayscale),
        PlotStyleTable("monochrome.ctb", PlotStyleTable::Mode::Monochrome)};
    return all;
}

}  // namespace

Rgb aciToRgb(int index) {
    if (index <= 0 || index > 255) index = 7;
    return palette()[static_cast<std::size_t>(index)];
}

Rgb PlotStyleTable::map(const PlotColour& colour) const {
    if (mode_ == Mode::Monochrome) return {0, 0, 0};
    // ACI 7 is "the colour opposite the background": black on paper.
    const bool foreground =
        !colour.isTrueColour && (colour.index <= 0 || colour.index == 7 || colour.index > 255);
    if (foreground) return {0, 0, 0};
    const Rgb c = colour.isTrueColour ? colour.rgb : aciToRgb(colour.index);
    if (mode_ == Mode::AsDrawn) return c;
    const double y = 0.299 * c.r + 0.587 * c.g + 0.114 * c.b;
    const auto grey = static_cast<std::uint8_t>(std::lround(std::fmin(255.0, y)));
    return {grey, grey, grey};
}

const PlotStyleTable* findPlotStyleTable(std::string_view name) {
    for (const PlotStyleTable& t : tables())
        if (t.name() == name) return &t;
    return nullptr;
}

const PlotStyleTable& defaultPlotStyleTable() {
    return tables()[0];
}

std::vector<std::string> plotStyleTableNames() {
    std::vector<std::string> names;
    for (const PlotStyleTable& t : tables())
        names.push_back(t.name());
    return names;
}

}  // namespace qkshost::pdf
