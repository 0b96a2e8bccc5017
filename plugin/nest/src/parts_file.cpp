#include "qks/nest/parts_file.h"

#include <filesystem>
#include <map>

#include "qks/common/atomic_file.h"
#include "qks/common/file_io.h"
#include "qks/common/numbers.h"
#include "qks/common/utf8.h"
#include "text_format.h"

namespace qks::nest {
namespace {

using detail::appendFixed;
using detail::appendGeneral;
using detail::appendInt;

void appendPoints(std::string& out, const std::vector<Point>& points) {
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (i > 0) out.push_back(';');
        appendFixed(out, points[i].x, 3);
        out.push_back(',');
        appendFixed(out, points[i].y, 3);
    }
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> fields;
    while (true) {
        const auto cut = text.find(separator);
        fields.push_back(text.substr(0, cut));
        if (cut == std::string_view::npos) break;
        text.remove_prefix(cut + 1);
    }
    return fields;
}

std::vector<Point> parsePoints(std::string_view field) {
    std::vector<Point> points;
    for (std::string_view piece : split(field, ';')) {
        const auto comma = piece.find(',');
        if (comma == std::string_view::npos) continue;
        points.push_back({parseLeadingDouble(piece.substr(0, comma)),
                          parseLeadingDouble(piece.substr(comma + 1))});
    }
    return points;
}

// The parent folder of `path`, ignoring separators at its end.
std::string parentFolder(std::string_view path) {
    while (!path.empty() && (path.back() == '/' || path.back() == '\\'))
        path.remove_suffix(1);
    const auto cut = path.find_last_of("/\\");
    if (cut == std::string_view::npos) return {};
    return std::string(path.substr(0, cut));
}

}  // namespace

std::string formatPartsFile(const std::vector<NestPart>& parts) {
    std::string out = "# QKS-PARTS 2\n";
    for (const NestPart& part : parts) {
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
        for (std::size_t i = 0; i < part.handles.size(); ++i) {
            if (i > 0) out.push_back(';');
            out += part.handles[i];
        }
        out.push_back('\t');
        out += part.name;
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
    }
    // Names and sources come from drawings; the file must stay valid UTF-8 for the Studio.
    return sanitizeUtf8(out);
}

bool writePartsFile(const std::string& path, const std::vector<NestPart>& parts) {
    const std::string folder = parentFolder(path);
    if (!folder.empty()) {
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
    }
    return writeFileAtomically(path, formatPartsFile(parts));
}

std::vector<NestPart> parsePartsText(std::string_view bytes) {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    const std::string text = sanitizeUtf8(bytes);
    std::vector<NestPart> parts;
    std::map<std::int32_t, std::size_t> positionOfId;
    for (std::string_view raw : split(text, '\n')) {
        const std::string_view line = trimWhiteSpace(raw);
        if (codePointCount(line) < 3 || line.front() == '#') continue;
        const std::vector<std::string_view> fields = split(line, '\t');
        if (fields.size() < 3) continue;
        if (fields[0] == "P" && fields.size() >= 11) {
            NestPart part;
            part.id = parseLeadingInt(fields[1]);
            part.quantity = parseLeadingInt(fields[2]);
            part.area = parseLeadingDouble(fields[3]);
            part.refX = parseLeadingDouble(fields[4]);
            part.refY = parseLeadingDouble(fields[5]);
            part.width = parseLeadingDouble(fields[6]);
            part.height = parseLeadingDouble(fields[7]);
            part.source = std::string(fields[8]);
            for (std::string_view handle : split(fields[9], ';'))
                if (!handle.empty()) part.handles.emplace_back(handle);
            part.name = std::string(fields[10]);
            positionOfId[part.id] = parts.size();
            parts.push_back(std::move(part));
        } else if (fields[0] == "O" || fields[0] == "H") {
            const auto found = positionOfId.find(parseLeadingInt(fields[1]));
            if (found == positionOfId.end()) continue;
            NestPart& part = parts[found->second];
            if (fields[0] == "O")
                part.outline = parsePoints(fields[2]);
            else
                part.holes.push_back(parsePoints(fields[2]));
        }
    }
    std::vector<NestPart> usable;
    for (NestPart& part : parts)
        if (part.outline.size() >= 3 && part.quantity > 0) usable.push_back(std::move(part));
    return usable;
}

bool readPartsFile(const std::string& path, std::vector<NestPart>& parts, std::string* message) {
    std::string bytes;
    if (!readFileBytes(path, bytes)) {
        if (message) *message = "无法读取零件文件: " + path;
        return false;
    }
    std::vector<NestPart> read = parsePartsText(bytes);
    if (read.empty()) {
        if (message) *message = "零件文件中没有可用的零件: " + path;
        return false;
    }
    for (NestPart& part : read)
        parts.push_back(std::move(part));
    return true;
}

}  // namespace qks::nest
