#include "qkshost/pdf/media.h"

#include <cmath>
#include <cstdio>

namespace qkshost::pdf {
namespace {

constexpr double kMmPerInch = 25.4;

struct SheetSize {
    const char* name;
    double shortSide;  // in the family's unit
    double longSide;
};

struct Family {
    const char* prefix;  // "ISO", "ANSI", "ARCH"
    PaperUnits units;
    double plainMarginMm;
    double expandMarginMm;
    std::vector<SheetSize> sizes;
};

std::string formatName(const Family& family, const char* variantWord, const SheetSize& size,
                       double width, double height, char separator) {
    const char* unit = family.units == PaperUnits::Inches ? "Inches" : "MM";
    char buffer[160];
    if (separator == '_') {
        std::snprintf(buffer, sizeof buffer, "%s_%s%s_(%.2f_x_%.2f_%s)", family.prefix, variantWord,
                      size.name, width, height, unit);
    } else {
        // The local name spells the variant with spaces too: "ISO full bleed A3 (...)".
        std::string word = variantWord;
        for (char& c : word)
            if (c == '_') c = ' ';
        std::snprintf(buffer, sizeof buffer, "%s %s%s (%.2f x %.2f %s)", family.prefix,
                      word.c_str(), size.name, width, height, unit);
    }
    return buffer;
}

void appendSize(std::vector<Media>& out, const Family& family, const SheetSize& size) {
    const double toMm = family.units == PaperUnits::Inches ? kMmPerInch : 1.0;
    struct VariantInfo {
        MediaVariant variant;
        const char* word;
        double marginMm;
    };
    const VariantInfo variants[] = {{MediaVariant::Plain, "", family.plainMarginMm},
                                    {MediaVariant::Expand, "expand_", family.expandMarginMm},
                                    {MediaVariant::FullBleed, "full_bleed_", 0.0}};
    for (const VariantInfo& v : variants) {
        const double orientations[2][2] = {{size.longSide, size.shortSide},
                                           {size.shortSide, size.longSide}};
        for (const auto& wh : orientations) {
            Media m;
            m.canonicalName = formatName(family, v.word, size, wh[0], wh[1], '_');
            m.localName = formatName(family, v.word, size, wh[0], wh[1], ' ');
            m.widthMm = wh[0] * toMm;
            m.heightMm = wh[1] * toMm;
            m.units = family.units;
            m.variant = v.variant;
            m.margins = {v.marginMm, v.marginMm, v.marginMm, v.marginMm};
            out.push_back(std::move(m));
        }
    }
}

PlotDevice buildPdfDevice() {
    // Margins: the plain ISO media keep 5 mm, the inch families a quarter inch; the expand
    // variants reach closer to the edge.
    const Family families[] = {
        {"ISO",
         PaperUnits::Millimeters,
         5.0,
         2.5,
         {{"A0", 841, 1189},
          {"A1", 594, 841},
          {"A2", 420, 594},
          {"A3", 297, 420},
          {"A4", 210, 297},
          {"A5", 148, 210}}},
        {"ISO",
         PaperUnits::Millimeters,
         5.0,
         2.5,
         {{"B0", 1000, 1414},
          {"B1", 707, 1000},
          {"B2", 500, 707},
          {"B3", 353, 500},
          {"B4", 250, 353},
          {"B5", 176, 250}}},
        {"ANSI",
         PaperUnits::Inches,
         6.35,
         3.175,
         {{"A", 8.5, 11}, {"B", 11, 17}, {"C", 17, 22}, {"D", 22, 34}, {"E", 34, 44}}},
        {"ARCH",
         PaperUnits::Inches,
         6.35,
         3.175,
         {{"A", 9, 12},
          {"B", 12, 18},
          {"C", 18, 24},
          {"D", 24, 36},
          {"E", 36, 48},
          {"E1", 30, 42}}},
    };
    PlotDevice device;
    device.name = std::string(kPdfDeviceName);
    for (const Family& family : families)
        for (const SheetSize& size : family.sizes)
            appendSize(device.media, family, size);
    return device;
}

const std::vector<PlotDevice>& devices() {
    static const std::vector<PlotDevice> all{buildPdfDevice()};
    return all;
}

}  // namespace

const Media* PlotDevice::findMedia(std::string_view canonicalName) const {
    for (const Media& m : media)
        if (m.canonicalName == canonicalName) return &m;
    return nullptr;
}

std::vector<std::string> PlotDevice::canonicalMediaNames() const {
    std::vector<std::string> names;
    names.reserve(media.size());
    for (const Media& m : media)
        names.push_back(m.canonicalName);
    return names;
}

const Media* PlotDevice::findMediaBySize(double widthMm, double heightMm, MediaVariant variant,
                                         double toleranceMm) const {
    for (const Media& m : media)
        if (m.variant == variant && std::fabs(m.widthMm - widthMm) <= toleranceMm &&
            std::fabs(m.heightMm - heightMm) <= toleranceMm)
            return &m;
    return nullptr;
}

const PlotDevice* findPlotDevice(std::string_view name) {
    for (const PlotDevice& d : devices())
        if (d.name == name) return &d;
    return nullptr;
}

const PlotDevice& pdfPlotDevice() {
    return devices().front();
}

std::vector<std::string> plotDeviceNames() {
    std::vector<std::string> names;
    for (const PlotDevice& d : devices())
        names.push_back(d.name);
    return names;
}

}  // namespace qkshost::pdf
