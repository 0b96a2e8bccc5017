#include "qks/contract/progress_format.h"

#include "qks/contract/text_format.h"
#include "split.h"

namespace qks::contract {

std::string formatProgress(const ProgressRecords& records) {
    std::string out;
    if (records.frame) {
        out += "CFG\t";
        appendFixed(out, records.frame->margin, 3);
        out.push_back('\t');
        appendFixed(out, records.frame->cell, 3);
        out.push_back('\t');
        appendFixed(out, records.frame->pad, 3);
        out.push_back('\n');
    }
    for (const SheetRecord& sheet : records.sheets) {
        out += "SHEET\t";
        appendFixed(out, sheet.width, 3);
        out.push_back('\t');
        appendFixed(out, sheet.height, 3);
        out.push_back('\n');
        for (const Outline& ring : sheet.stock) {
            out += "STOCK";
            for (const Point& p : ring) {
                out.push_back('\t');
                appendFixed(out, p.x, 3);
                out.push_back('\t');
                appendFixed(out, p.y, 3);
            }
            out.push_back('\n');
        }
        for (const PlaceRecord& p : sheet.placements) {
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
    if (records.utilisationPercent) {
        out += "UTIL\t";
        appendFixed(out, *records.utilisationPercent, 2);
        out.push_back('\n');
    }
    if (records.unplaced) {
        out += "UNPLACED\t";
        appendInt(out, *records.unplaced);
        out.push_back('\n');
    }
    if (records.elapsed) {
        out += "ELAPSED\t";
        appendFixed(out, *records.elapsed, 2);
        out.push_back('\n');
    }
    if (records.state) {
        out += "STATE\t";
        out += *records.state;
        out.push_back('\n');
    }
    return out;
}

ProgressRecords readProgress(std::string_view text, const ProgressReadOptions& options) {
    const ReadRules& rules = options.rules;
    ProgressRecords out;
    for (std::string_view line : splitFields(text, '\n')) {
        if (rules.trimLine) line = rules.trimLine(line);
        const std::vector<std::string_view> f = splitFields(line, '\t');
        if (f.size() < 2) continue;
        const std::string_view tag = f[0];
        if (tag == "CFG") {
            if (f.size() < (options.frameNeedsPad ? 4u : 3u)) continue;
            out.frame = GridFrame{rules.toDouble(f[1]), rules.toDouble(f[2]),
                                  f.size() > 3 ? rules.toDouble(f[3]) : 0.0};
            ++out.frameRecords;
        } else if (tag == "SHEET") {
            if (f.size() < 3) continue;
            out.sheets.push_back({rules.toDouble(f[1]), rules.toDouble(f[2]), {}, {}});
        } else if (tag == "STOCK") {
            // Three corners at least, as x and y pairs; anything else is not a ring.
            if (f.size() < 7 || f.size() % 2 == 0 || out.sheets.empty()) continue;
            Outline& ring = out.sheets.back().stock.emplace_back();
            for (std::size_t i = 1; i + 1 < f.size(); i += 2)
                ring.push_back({rules.toDouble(f[i]), rules.toDouble(f[i + 1])});
        } else if (tag == "PLACE") {
            if (f.size() < 6 || out.sheets.empty()) continue;
            out.sheets.back().placements.push_back({rules.toInt(f[1]), rules.toInt(f[2]),
                                                    rules.toInt(f[3]) != 0, rules.toInt(f[4]),
                                                    rules.toInt(f[5])});
        } else if (tag == "UTIL") {
            out.utilisationPercent = rules.toDouble(f[1]);
        } else if (tag == "UNPLACED") {
            out.unplaced = rules.toInt(f[1]);
        } else if (tag == "ELAPSED") {
            out.elapsed = rules.toDouble(f[1]);
        } else if (tag == "STATE") {
            out.state = std::string(f[1]);
        }
    }
    return out;
}

}  // namespace qks::contract
