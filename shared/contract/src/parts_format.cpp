#include "qks/contract/parts_format.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>

#include "qks/contract/text_format.h"
#include "split.h"

namespace qks::contract {
namespace {

void appendHandles(std::string& out, const std::vector<std::string>& handles) {
    for (std::size_t i = 0; i < handles.size(); ++i) {
        if (i > 0) out.push_back(';');
        out += handles[i];
    }
}

void appendPoints(std::string& out, const std::vector<Point>& points) {
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (i > 0) out.push_back(';');
        appendFixed(out, points[i].x, 3);
        out.push_back(',');
        appendFixed(out, points[i].y, 3);
    }
}

// "x,y;x,y;...": a piece without a comma is skipped; y ends at a second comma.
// A ring with a coordinate that is no finite number (an exponent out of range) is read as no
// ring at all: no point of it can be trusted, and every geometric test downstream assumes finite
// coordinates.
std::vector<Point> readPoints(std::string_view field, const ReadRules& rules) {
    std::vector<Point> points;
    for (std::string_view piece : splitFields(field, ';')) {
        const auto comma = piece.find(',');
        if (comma == std::string_view::npos) continue;
        const std::string_view rest = piece.substr(comma + 1);
        const Point point{rules.toDouble(piece.substr(0, comma)),
                          rules.toDouble(rest.substr(0, rest.find(',')))};
        if (!std::isfinite(point.x) || !std::isfinite(point.y)) return {};
        points.push_back(point);
    }
    return points;
}

}  // namespace

std::string formatParts(const std::vector<PartRecord>& parts) {
    std::string out = "# QKS-PARTS 2\n";
    for (const PartRecord& part : parts) {
        out += "P\t";
        appendInt(out, part.id);
        out.push_back('\t');
        appendInt(out, part.quantity);
        for (double v : {part.area, part.refX, part.refY, part.width, part.height}) {
            out.push_back('\t');
            appendGeneral(out, v);
        }
        out.push_back('\t');
        out += part.source;
        out.push_back('\t');
        appendHandles(out, part.handles);
        out.push_back('\t');
        out += part.name;
        if (part.drawingScale != 1.0) {
            out.push_back('\t');
            appendGeneral(out, part.drawingScale);
        }
        out += "\nO\t";
        appendInt(out, part.id);
        out.push_back('\t');
        appendPoints(out, part.outline);
        out.push_back('\n');
        for (const Outline& hole : part.holes) {
            out += "H\t";
            appendInt(out, part.id);
            out.push_back('\t');
            appendPoints(out, hole);
            out.push_back('\n');
        }
        for (const CarriedGroup& group : part.carried) {
            if (group.handles.empty()) continue;
            out += "C\t";
            appendInt(out, part.id);
            out.push_back('\t');
            out += group.layer;
            out.push_back('\t');
            appendHandles(out, group.handles);
            out.push_back('\n');
        }
    }
    return out;
}

std::vector<PartRecord> readParts(std::string_view text, const PartsReadOptions& options) {
    const ReadRules& rules = options.rules;
    std::vector<PartRecord> parts;
    std::map<std::int32_t, std::size_t> positionOfId;
    for (std::string_view line : splitFields(text, '\n')) {
        if (rules.trimLine) line = rules.trimLine(line);
        if (line.empty() || line.front() == '#') continue;
        const std::vector<std::string_view> f = splitFields(line, '\t');
        if (f.size() < 3) continue;
        if (f[0] == "P" && f.size() >= 11) {
            PartRecord part;
            part.id = rules.toInt(f[1]);
            part.quantity = rules.toInt(f[2]);
            part.area = rules.toDouble(f[3]);
            part.refX = rules.toDouble(f[4]);
            part.refY = rules.toDouble(f[5]);
            part.width = rules.toDouble(f[6]);
            part.height = rules.toDouble(f[7]);
            part.source = std::string(f[8]);
            for (std::string_view handle : splitFields(f[9], ';'))
                if (!handle.empty()) part.handles.emplace_back(handle);
            part.name = std::string(f[10]);
            if (f.size() >= 12) {
                const double scale = rules.toDouble(f[11]);
                // A scale that is no positive finite number leaves the part as drawn.
                if (scale > 0.0 && scale < 1e9) part.drawingScale = scale;
            }
            positionOfId[part.id] = parts.size();
            parts.push_back(std::move(part));
        } else if (f[0] == "C" && f.size() >= 4) {
            const auto found = positionOfId.find(rules.toInt(f[1]));
            if (found == positionOfId.end()) continue;
            // Layers and handles as a drawing has them: a layer with no control character and
            // no blank at either end, handles of 1 to 16 hex digits. Anything else could not
            // name an entity, nor come back the same from the file.
            const std::string_view layer = f[2];
            const bool goodLayer = !layer.empty() && layer.front() != ' ' && layer.back() != ' ' &&
                                   std::none_of(layer.begin(), layer.end(), [](char c) {
                                       return static_cast<unsigned char>(c) < 0x20;
                                   });
            if (!goodLayer) continue;
            CarriedGroup group{std::string(layer), {}};
            for (std::string_view handle : splitFields(f[3], ';'))
                if (!handle.empty() && handle.size() <= 16 &&
                    std::all_of(handle.begin(), handle.end(), [](char c) {
                        return std::isxdigit(static_cast<unsigned char>(c));
                    }))
                    group.handles.emplace_back(handle);
            if (!group.handles.empty()) parts[found->second].carried.push_back(std::move(group));
        } else if (f[0] == "O" || f[0] == "H") {
            const auto found = positionOfId.find(rules.toInt(f[1]));
            if (found == positionOfId.end()) continue;
            PartRecord& part = parts[found->second];
            if (f[0] == "O")
                part.outline = readPoints(f[2], rules);
            else
                part.holes.push_back(readPoints(f[2], rules));
        }
    }
    if (options.keepUnusable) return parts;
    std::vector<PartRecord> usable;
    for (PartRecord& part : parts)
        if (part.outline.size() >= 3 && part.quantity > 0) usable.push_back(std::move(part));
    return usable;
}

}  // namespace qks::contract
