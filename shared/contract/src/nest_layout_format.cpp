#include "qks/contract/nest_layout_format.h"

#include <charconv>
#include <cmath>

#include "qks/contract/parts_format.h"
#include "qks/contract/text_format.h"
#include "split.h"

namespace qks::contract {
namespace {

// Whole-field numbers: a layout is written by a program, so anything else is a broken file.
std::optional<double> number(std::string_view field) {
    double value = 0.0;
    const auto [end, status] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (field.empty() || status != std::errc() || end != field.data() + field.size() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

// Lengths as the file keeps them, to a thousandth, so that a layout read writes back the same
// text; beyond a thousand kilometres no length is a sheet's and a thousandth no longer holds.
std::optional<double> length(std::string_view field) {
    const auto value = number(field);
    if (!value || std::abs(*value) > 1e9) return std::nullopt;
    return std::round(*value * 1000.0) / 1000.0;
}

std::optional<std::int32_t> whole(std::string_view field) {
    std::int32_t value = 0;
    const auto [end, status] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (field.empty() || status != std::errc() || end != field.data() + field.size())
        return std::nullopt;
    return value;
}

std::optional<bool> flag(std::string_view field) {
    if (field == "1") return true;
    if (field == "0") return false;
    return std::nullopt;
}

// The parts records are read by the parts reader with these rules: a field that is no number
// reads as NaN (or 0 for an id), which the checks below then refuse.
ReadRules strictRules() {
    ReadRules rules;
    rules.toInt = [](std::string_view field) { return whole(field).value_or(0); };
    rules.toDouble = [](std::string_view field) { return number(field).value_or(std::nan("")); };
    return rules;
}

void appendLength(std::string& out, double value) {
    out.push_back('\t');
    appendFixed(out, value, 3);
}

void appendNumber(std::string& out, long long value) {
    out.push_back('\t');
    appendInt(out, value);
}

void appendText(std::string& out, std::string_view text) {
    out.push_back('\t');
    out += text;
}

void appendSetting(std::string& out, std::string_view key, std::string_view value) {
    out += "SET";
    appendText(out, key);
    appendText(out, value);
    out.push_back('\n');
}

std::string_view bit(bool value) {
    return value ? "1" : "0";
}

bool finitePoints(const Outline& ring) {
    for (const Point& p : ring)
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
    return true;
}

class Reader {
  public:
    explicit Reader(std::string* error) : error_(error) {}

    bool fail(std::size_t line, const std::string& what) {
        if (error_) *error_ = "排版文件第 " + std::to_string(line) + " 行：" + what;
        return false;
    }

    bool setting(NestLayout& layout, const std::vector<std::string_view>& f, std::size_t line) {
        LayoutSettings& s = layout.settings;
        const std::string_view key = f[1], value = f[2];
        const auto lengthOf = [&](double& target) {
            const auto v = length(value);
            if (!v || *v < 0.0) return fail(line, "设置 " + std::string(key) + " 不是长度");
            target = *v;
            return true;
        };
        const auto boolean = [&](bool& target) {
            const auto v = flag(value);
            if (!v) return fail(line, "设置 " + std::string(key) + " 应为 0 或 1");
            target = *v;
            return true;
        };
        if (key == kGapKey) return lengthOf(s.gap);
        if (key == kMarginKey) return lengthOf(s.margin);
        if (key == kPartInPartKey) return boolean(s.partInPart);
        if (key == kPdfKey) return boolean(s.pdf);
        if (key == kCommonLineKey) return boolean(s.commonLine);
        if (key == kOffcutKey) return boolean(s.offcut);
        if (key == kCarryKey) return boolean(s.carry);
        if (key == kLabelsKey) return boolean(s.labels);
        // Paths and the prefix name files: a control character has no place there, and one
        // at the end of a line would not survive the next write.
        const auto text = [&](std::string& target) {
            for (const char c : value)
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                    return fail(line, "设置 " + std::string(key) + " 含有控制字符");
            target = std::string(value);
            return true;
        };
        if (key == kOutDirKey) return text(s.outDir);
        if (key == kOutDwgKey) return text(s.outDwg);
        if (key == kPrefixKey) return text(s.prefix);
        return true;
    }

    bool turns(NestLayout& layout, const std::vector<std::string_view>& f, std::size_t line) {
        LayoutTurns turn;
        const auto id = whole(f[1]);
        const auto mirror = flag(f[3]);
        if (!id || !mirror) return fail(line, "转角记录不完整");
        turn.partId = *id;
        turn.mirror = *mirror;
        turn.angles.clear();
        for (std::string_view piece : splitFields(f[2], ',')) {
            const auto angle = whole(piece);
            if (!angle || *angle < 0 || *angle >= 360)
                return fail(line, "角度应为 0 到 359 的整数");
            turn.angles.push_back(*angle);
        }
        layout.turns.push_back(std::move(turn));
        return true;
    }

    bool sheet(NestLayout& layout, const std::vector<std::string_view>& f, std::size_t line) {
        const auto stock = whole(f[1]);
        const auto width = length(f[2]);
        const auto height = length(f[3]);
        if (!stock || !width || !height || !(*width > 0.0) || !(*height > 0.0))
            return fail(line, "板材尺寸应为正数");
        LayoutSheet sheet;
        sheet.stockIndex = *stock;
        sheet.width = *width;
        sheet.height = *height;
        layout.sheets.push_back(std::move(sheet));
        return true;
    }

    bool stock(NestLayout& layout, const std::vector<std::string_view>& f, std::size_t line) {
        if (layout.sheets.empty()) return fail(line, "余料轮廓前没有板材");
        Outline ring;
        for (std::size_t i = 1; i + 1 < f.size(); i += 2) {
            const auto x = length(f[i]);
            const auto y = length(f[i + 1]);
            if (!x || !y) return fail(line, "余料轮廓的坐标不是数字");
            ring.push_back({*x, *y});
        }
        if (ring.size() < 3 || f.size() % 2 == 0) return fail(line, "余料轮廓至少需要三个点");
        layout.sheets.back().stock.push_back(std::move(ring));
        return true;
    }

    bool place(NestLayout& layout, const std::vector<std::string_view>& f, std::size_t line) {
        if (layout.sheets.empty()) return fail(line, "零件位置前没有板材");
        const auto id = whole(f[1]);
        const auto x = length(f[2]);
        const auto y = length(f[3]);
        const auto angle = whole(f[4]);
        const auto mirrored = flag(f[5]);
        const auto locked = flag(f[6]);
        if (!id || !x || !y || !angle || !mirrored || !locked)
            return fail(line, "零件位置的字段不是数字");
        if (*angle < 0 || *angle >= 360) return fail(line, "角度应为 0 到 359 的整数");
        layout.sheets.back().placements.push_back({*id, *x, *y, *angle, *mirrored, *locked});
        return true;
    }

    bool grid(NestLayout& layout, const std::vector<std::string_view>& f, std::size_t line) {
        const auto cell = length(f[1]);
        const auto origin = length(f[2]);
        if (!cell || !origin || !(*cell > 0.0) || *origin < 0.0)
            return fail(line, "网格应为正的格距和起点");
        layout.settings.cell = *cell;
        layout.settings.gridOrigin = *origin;
        return true;
    }

  private:
    std::string* error_;
};

}  // namespace

std::string formatLayout(const NestLayout& layout) {
    const LayoutSettings& s = layout.settings;
    std::string out(kLayoutHeader);
    out.push_back('\n');
    appendSetting(out, kGapKey, fixed(s.gap, 3));
    appendSetting(out, kMarginKey, fixed(s.margin, 3));
    appendSetting(out, kPartInPartKey, bit(s.partInPart));
    appendSetting(out, kOutDirKey, s.outDir);
    appendSetting(out, kOutDwgKey, s.outDwg);
    appendSetting(out, kPrefixKey, s.prefix);
    appendSetting(out, kPdfKey, bit(s.pdf));
    appendSetting(out, kCommonLineKey, bit(s.commonLine));
    appendSetting(out, kOffcutKey, bit(s.offcut));
    appendSetting(out, kCarryKey, bit(s.carry));
    appendSetting(out, kLabelsKey, bit(s.labels));
    out += "GRID";
    appendLength(out, s.cell);
    appendLength(out, s.gridOrigin);
    out.push_back('\n');
    for (const LayoutTurns& turn : layout.turns) {
        std::string angles;
        for (const std::int32_t angle : turn.angles)
            appendInt(angles.append(angles.empty() ? "" : ","), angle);
        out += "TURN";
        appendNumber(out, turn.partId);
        appendText(out, angles);
        appendText(out, bit(turn.mirror));
        out.push_back('\n');
    }
    for (const LayoutSheet& sheet : layout.sheets) {
        out += "SHEET";
        appendNumber(out, sheet.stockIndex);
        for (const double length : {sheet.width, sheet.height})
            appendLength(out, length);
        out.push_back('\n');
        for (const Outline& ring : sheet.stock) {
            out += "STOCK";
            for (const Point& p : ring) {
                appendLength(out, p.x);
                appendLength(out, p.y);
            }
            out.push_back('\n');
        }
        for (const LayoutPlacement& p : sheet.placements) {
            out += "PLACE";
            appendNumber(out, p.partId);
            for (const double length : {p.x, p.y})
                appendLength(out, length);
            appendNumber(out, p.angle);
            appendText(out, bit(p.mirrored));
            appendText(out, bit(p.locked));
            out.push_back('\n');
        }
    }
    out += formatParts(layout.parts);
    return out;
}

std::optional<NestLayout> readLayout(std::string_view text, std::string* error) {
    Reader reader(error);
    if (text.substr(0, kLayoutHeader.size()) != kLayoutHeader ||
        (text.size() > kLayoutHeader.size() && text[kLayoutHeader.size()] != '\n' &&
         text[kLayoutHeader.size()] != '\r')) {
        reader.fail(1, "不是套料排版文件");
        return std::nullopt;
    }
    NestLayout layout;
    std::size_t number = 0;
    for (std::string_view line : splitFields(text, '\n')) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        const std::vector<std::string_view> f = splitFields(line, '\t');
        const std::string_view word = f[0];
        const auto needs = [&](std::size_t count) {
            return f.size() >= count || reader.fail(number, std::string(word) + " 记录的字段不足");
        };
        bool ok = true;
        if (word == "SET")
            ok = needs(3) && reader.setting(layout, f, number);
        else if (word == "GRID")
            ok = needs(3) && reader.grid(layout, f, number);
        else if (word == "TURN")
            ok = needs(4) && reader.turns(layout, f, number);
        else if (word == "SHEET")
            ok = needs(4) && reader.sheet(layout, f, number);
        else if (word == "STOCK")
            ok = reader.stock(layout, f, number);
        else if (word == "PLACE")
            ok = needs(7) && reader.place(layout, f, number);
        if (!ok) return std::nullopt;
    }
    PartsReadOptions options;
    options.rules = strictRules();
    options.keepUnusable = true;
    layout.parts = readParts(text, options);
    for (const PartRecord& part : layout.parts) {
        const bool measured = std::isfinite(part.refX) && std::isfinite(part.refY) &&
                              std::isfinite(part.area) && std::isfinite(part.width) &&
                              std::isfinite(part.height);
        bool rings = part.outline.size() >= 3 && finitePoints(part.outline);
        for (const Outline& hole : part.holes)
            rings = rings && finitePoints(hole);
        if (!measured || !rings) {
            if (error) *error = "零件 " + std::to_string(part.id) + " 的轮廓不完整";
            return std::nullopt;
        }
    }
    return layout;
}

std::string layoutPathFor(std::string_view drawingPath) {
    const std::size_t slash = drawingPath.find_last_of('/');
    const std::size_t dot = drawingPath.find_last_of('.');
    const bool hasExtension =
        dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash + 1);
    std::string path(hasExtension ? drawingPath.substr(0, dot) : drawingPath);
    return path + ".qkslayout";
}

}  // namespace qks::contract
