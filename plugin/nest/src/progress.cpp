#include "qks/nest/progress.h"

#include "qks/common/atomic_file.h"
#include "qks/common/numbers.h"
#include "qks/nest/session.h"
#include "text_format.h"

namespace qks::nest {

using detail::appendFixed;
using detail::appendInt;

std::string formatProgress(const NestConfig& config, const Layout& layout, std::string_view state,
                           double elapsed, int unplaced) {
    std::string out = "CFG\t";
    appendFixed(out, config.margin, 3);
    out.push_back('\t');
    appendFixed(out, config.cell, 3);
    out.push_back('\t');
    appendFixed(out, padLength(config.gap, config.cell), 3);
    out.push_back('\n');
    for (const SheetLayout& sheet : layout) {
        out += "SHEET\t";
        appendFixed(out, sheet.width, 3);
        out.push_back('\t');
        appendFixed(out, sheet.height, 3);
        out.push_back('\n');
        for (const Placement& p : sheet.placements) {
            out += "PLACE\t";
            appendInt(out, p.partId);
            out.push_back('\t');
            appendInt(out, p.angle);
            out += p.mirrored ? "\t1\t" : "\t0\t";
            appendInt(out, p.column);
            out.push_back('\t');
            appendInt(out, p.row);
            out.push_back('\n');
        }
    }
    out += "UTIL\t";
    appendFixed(out, utilisation(layout) * 100.0, 2);
    out += "\nUNPLACED\t";
    appendInt(out, unplaced);
    out += "\nELAPSED\t";
    appendFixed(out, elapsed, 2);
    out += "\nSTATE\t";
    out += state;
    out.push_back('\n');
    return out;
}

bool writeProgressFile(const NestSession& session, const Layout& layout, std::string_view state,
                       double elapsed, int unplaced) {
    if (session.progressFilePath.empty()) return false;
    return writeFileAtomically(session.progressFilePath,
                               formatProgress(session.config, layout, state, elapsed, unplaced));
}

ProgressFile parseProgressText(std::string_view text) {
    ProgressFile file;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        std::vector<std::string_view> f;
        while (true) {
            const auto tab = line.find('\t');
            f.push_back(line.substr(0, tab));
            if (tab == std::string_view::npos) break;
            line.remove_prefix(tab + 1);
        }
        const std::string_view tag = f[0];
        if (tag == "CFG" && f.size() >= 4) {
            file.margin = parseLeadingDouble(f[1]);
            file.cell = parseLeadingDouble(f[2]);
            file.padLength = parseLeadingDouble(f[3]);
            ++file.cfgLines;
        } else if (tag == "SHEET" && f.size() >= 3) {
            file.sheets.push_back({parseLeadingDouble(f[1]), parseLeadingDouble(f[2]), {}});
        } else if (tag == "PLACE" && f.size() >= 6 && !file.sheets.empty()) {
            file.sheets.back().placements.push_back(
                {parseLeadingInt(f[1]), -1, parseLeadingInt(f[2]), parseLeadingInt(f[3]) != 0,
                 parseLeadingInt(f[4]), parseLeadingInt(f[5])});
        } else if (tag == "UTIL" && f.size() >= 2) {
            file.utilisationPercent = parseLeadingDouble(f[1]);
        } else if (tag == "UNPLACED" && f.size() >= 2) {
            file.unplaced = parseLeadingInt(f[1]);
        } else if (tag == "ELAPSED" && f.size() >= 2) {
            file.elapsed = parseLeadingDouble(f[1]);
        } else if (tag == "STATE" && f.size() >= 2) {
            file.state = std::string(f[1]);
        }
    }
    return file;
}

}  // namespace qks::nest
