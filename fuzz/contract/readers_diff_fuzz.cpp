// The same bytes through the plug-in's and the Studio's readers of the parts and progress
// files. Where the input keeps clear of the rules that differ on purpose (each side's white
// space and number syntax, the Studio's listing of unusable kinds and its pad-less CFG), both
// must read the same records.
#include <QString>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "qks/common/numbers.h"
#include "qks/common/utf8.h"
#include "qks/nest/parts_file.h"
#include "qks/nest/progress.h"
#include "qks/studio/partsfile.h"
#include "qks/studio/progressfile.h"

namespace {

using Fields = std::vector<std::string_view>;

Fields split(std::string_view text, char separator) {
    Fields out;
    while (true) {
        const auto cut = text.find(separator);
        out.push_back(text.substr(0, cut));
        if (cut == std::string_view::npos) return out;
        text.remove_prefix(cut + 1);
    }
}

// Decoded as inside a file: a leading byte-order mark is a character.
QString qt(std::string_view text) {
    return QString::fromUtf8((" " + std::string(text)).c_str(), static_cast<int>(text.size()) + 1)
        .mid(1);
}

bool same(double a, double b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}
bool intsAgree(std::string_view t) {
    return qks::parseLeadingInt(t) == qt(t).toInt();
}
bool doublesAgree(std::string_view t) {
    return same(qks::parseLeadingDouble(t), qt(t).toDouble());
}

// Both sides trim the line alike.
bool trimsAgree(std::string_view line, bool pluginTrims) {
    const std::string_view plugin = pluginTrims ? qks::trimWhiteSpace(line) : line;
    return qt(plugin) == qt(line).trimmed();
}

// Every line trims alike and every number the readers use reads alike.
bool partsAgree(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // both drop the mark
    for (std::string_view raw : split(text, '\n')) {
        if (!trimsAgree(raw, true)) return false;
        const Fields f = split(qks::trimWhiteSpace(raw), '\t');
        if (f[0] == "P" && f.size() >= 11) {
            if (!intsAgree(f[1]) || !intsAgree(f[2])) return false;
            for (int i = 3; i <= 7; ++i)
                if (!doublesAgree(f[i])) return false;
        } else if ((f[0] == "O" || f[0] == "H") && f.size() >= 3) {
            if (!intsAgree(f[1])) return false;
            for (std::string_view piece : split(f[2], ';')) {
                const Fields xy = split(piece, ',');
                if (xy.size() >= 2 && (!doublesAgree(xy[0]) || !doublesAgree(xy[1]))) return false;
            }
        }
    }
    return true;
}

bool progressAgrees(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") return false;  // only the Studio drops the mark
    for (std::string_view line : split(text, '\n')) {
        if (!trimsAgree(line, false)) return false;
        const Fields f = split(line, '\t');
        const std::string_view tag = f[0];
        if (tag == "CFG" && f.size() == 3) return false;  // the Studio's pad-less frame
        std::size_t ints = 0, doubles = 0;
        if (tag == "CFG") doubles = 3;
        if (tag == "SHEET") doubles = 2;
        if (tag == "PLACE") ints = 5;
        if (tag == "UTIL" || tag == "ELAPSED") doubles = 1;
        if (tag == "UNPLACED") ints = 1;
        for (std::size_t i = 1; i < f.size() && i <= ints + doubles; ++i)
            if (ints ? !intsAgree(f[i]) : !doublesAgree(f[i])) return false;
    }
    return true;
}

bool samePoints(const std::vector<qks::nest::Point>& a, const QVector<QPointF>& b) {
    if (static_cast<int>(a.size()) != b.size()) return false;
    for (int i = 0; i < b.size(); ++i)
        if (!same(a[i].x, b[i].x()) || !same(a[i].y, b[i].y())) return false;
    return true;
}

void compareParts(std::string_view text, const QByteArray& bytes) {
    const std::vector<qks::nest::NestPart> plugin = qks::nest::parsePartsText(text);
    const QVector<qks::studio::PartRow> rows = qks::studio::parsePartsFile(bytes);
    if (!partsAgree(text)) return;
    std::size_t next = 0;
    for (const qks::studio::PartRow& row : rows) {
        if (row.outline.size() < 3 || row.quantity < 1) continue;  // listed, never nested
        if (next >= plugin.size()) std::abort();
        const qks::nest::NestPart& p = plugin[next++];
        if (p.id != row.id || p.quantity != row.quantity || qt(p.name) != row.name) std::abort();
        if (!same(p.area, row.area) || !same(p.refX, row.refX) || !same(p.refY, row.refY) ||
            !same(p.width, row.width) || !same(p.height, row.height))
            std::abort();
        if (!samePoints(p.outline, row.outline)) std::abort();
        if (static_cast<int>(p.holes.size()) != row.holes.size()) std::abort();
        for (int h = 0; h < row.holes.size(); ++h)
            if (!samePoints(p.holes[h], row.holes[h])) std::abort();
    }
    if (next != plugin.size()) std::abort();
}

void compareProgress(std::string_view text, const QByteArray& bytes) {
    const qks::nest::ProgressFile plugin = qks::nest::parseProgressText(text);
    const qks::studio::ProgressSnapshot studio = qks::studio::parseProgressFile(bytes);
    if (!progressAgrees(text)) return;
    if ((plugin.cfgLines > 0) != studio.frame.has_value()) std::abort();
    if (studio.frame &&
        (!same(studio.frame->margin, plugin.margin) || !same(studio.frame->cell, plugin.cell) ||
         !same(studio.frame->pad, plugin.padLength)))
        std::abort();
    if (static_cast<int>(plugin.sheets.size()) != studio.sheets.size()) std::abort();
    for (int s = 0; s < studio.sheets.size(); ++s) {
        const auto& mine = plugin.sheets[s];
        const auto& theirs = studio.sheets[s];
        if (!same(mine.width, theirs.width) || !same(mine.height, theirs.height)) std::abort();
        if (static_cast<int>(mine.placements.size()) != theirs.placements.size()) std::abort();
        for (int k = 0; k < theirs.placements.size(); ++k) {
            const auto& a = mine.placements[k];
            const auto& b = theirs.placements[k];
            if (a.partId != b.partId || a.angle != b.angle || a.mirrored != b.mirrored ||
                a.column != b.column || a.row != b.row)
                std::abort();
        }
    }
    if (!same(plugin.utilisationPercent, studio.utilisation.value_or(0.0)) ||
        !same(plugin.elapsed, studio.elapsed.value_or(0.0)) ||
        plugin.unplaced != studio.unplaced.value_or(0) ||
        qt(plugin.state) != studio.state.value_or(QString()))
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    if (!qks::isValidUtf8(text) || text.find('\0') != std::string_view::npos) {
        // Invalid bytes become U+FFFD by each side's own decoder, which need not agree in
        // count, and the Studio reads only up to a NUL: both only have to cope.
        qks::nest::parsePartsText(text);
        qks::studio::parsePartsFile(bytes);
        qks::nest::parseProgressText(text);
        qks::studio::parseProgressFile(bytes);
        return 0;
    }
    compareParts(text, bytes);
    compareProgress(text, bytes);
    return 0;
}
