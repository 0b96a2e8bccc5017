#include "qks/nest/locked_parts.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "qks/common/file_io.h"
#include "qks/common/job_log.h"
#include "qks/contract/layout_check.h"
#include "qks/contract/log_words.h"
#include "qks/contract/nest_layout_format.h"
#include "qks/job/driver.h"
#include "qks/nest/stock.h"

namespace qks::nest {
namespace {

// How far two points of the same kind's outline may differ between two readings of its drawing
// (mm): the layout file keeps a thousandth of a millimetre.
constexpr double kSameShape = 0.01;

constexpr job::ChannelLog logLine{LogChannel::Nest};

bool near(double a, double b) {
    return std::fabs(a - b) <= kSameShape;
}

// Whether the rings have the same points measured from their corners `ca` and `cb`, from any
// start and in either direction.
bool sameRing(const Outline& a, const Point& ca, const Outline& b, const Point& cb) {
    const std::size_t n = a.size();
    if (n == 0 || n != b.size()) return false;
    const auto same = [&](const Point& p, const Point& q) {
        return near(p.x - ca.x, q.x - cb.x) && near(p.y - ca.y, q.y - cb.y);
    };
    for (std::size_t start = 0; start < n; ++start) {
        if (!same(a[0], b[start])) continue;
        for (const bool forward : {true, false}) {
            bool all = true;
            for (std::size_t k = 1; k < n && all; ++k)
                all = same(a[k], b[(start + (forward ? k : n - k)) % n]);
            if (all) return true;
        }
    }
    return false;
}

bool sameShape(const NestPart& a, const NestPart& b) {
    if (!near(a.width, b.width) || !near(a.height, b.height) || a.holes.size() != b.holes.size())
        return false;
    const Point ca{a.refX, a.refY}, cb{b.refX, b.refY};
    if (!sameRing(a.outline, ca, b.outline, cb)) return false;
    for (const Outline& hole : a.holes) {
        const bool found = std::any_of(b.holes.begin(), b.holes.end(), [&](const Outline& other) {
            return sameRing(hole, ca, other, cb);
        });
        if (!found) return false;
    }
    return true;
}

// The job's kind a locked part of `kind` is, or -1.
std::int32_t matchKind(const contract::PartRecord& kind, const std::vector<NestPart>& parts) {
    std::int32_t byShape = -1, byId = -1;
    for (std::size_t k = 0; k < parts.size(); ++k) {
        if (!sameShape(kind, parts[k])) continue;
        if (parts[k].name == kind.name) return static_cast<std::int32_t>(k);
        if (parts[k].id == kind.id && byId < 0) byId = static_cast<std::int32_t>(k);
        if (byShape < 0) byShape = static_cast<std::int32_t>(k);
    }
    return byId >= 0 ? byId : byShape;
}

// The grid cell of a layout position (mm), or none when it lies off the job's grid.
std::optional<std::int32_t> gridCell(double position, double origin, double cell) {
    const double cells = (position - origin) / cell;
    if (!std::isfinite(cells) || cells < -0.5 || cells > 1e7) return std::nullopt;
    const double rounded = std::round(cells);
    if (std::fabs(cells - rounded) * cell > contract::kLayoutTolerance) return std::nullopt;
    return static_cast<std::int32_t>(rounded);
}

// A kept sheet's own stock.
SheetStock sheetStock(const contract::LayoutSheet& sheet, double gap) {
    if (sheet.stock.empty()) return SheetStock(sheet.width, sheet.height, 1);
    const std::vector<Outline> defects(sheet.stock.begin() + 1, sheet.stock.end());
    return stockPiece(sheet.stock.front(), defects, gap);
}

// The job's stock gives up the sheet a kept one stands for: one off a limited entry of its size,
// or the remnant of its outline.
void takeFromStock(std::vector<SheetStock>& sheets, const SheetStock& kept) {
    for (auto entry = sheets.begin(); entry != sheets.end(); ++entry) {
        if (kept.shape) {
            if (!entry->shape || !near(entry->width, kept.width) ||
                !near(entry->height, kept.height) ||
                entry->shape->defects.size() != kept.shape->defects.size() ||
                !sameRing(entry->shape->outline, {}, kept.shape->outline, {}))
                continue;
            sheets.erase(entry);
            return;
        }
        if (entry->shape || entry->count < 1 || !near(entry->width, kept.width) ||
            !near(entry->height, kept.height))
            continue;
        // A count of 0 would mean no limit: the entry used up goes.
        if (--entry->count == 0) sheets.erase(entry);
        return;
    }
}

}  // namespace

bool keepLockedParts(NestSession& session) {
    NestConfig& config = session.config;
    if (config.keepLocked.empty()) return true;
    const std::string& path = config.keepLocked;
    std::string bytes, error;
    if (!readFileBytes(path, bytes, &error)) {
        logLine(contract::kLogFatal, "无法读取排版文件 " + path);
        return false;
    }
    const std::optional<contract::NestLayout> layout = contract::readLayout(bytes, &error);
    if (!layout) {
        logLine(contract::kLogFatal, error);
        return false;
    }
    const double origin = config.margin + padLength(config.gap, config.cell);
    if (std::fabs(layout->settings.cell - config.cell) > contract::kLayoutTolerance ||
        std::fabs(layout->settings.gridOrigin - origin) > contract::kLayoutTolerance) {
        logLine(
            contract::kLogFatal,
            "排版文件的网格与本次套料不同（零件间距、板边距或网格精度已改），无法保留已锁定零件 " +
                path);
        return false;
    }

    std::vector<std::int32_t> left;  // per kind of the job: pieces not yet kept
    for (const NestPart& part : session.parts)
        left.push_back(part.quantity);
    std::map<std::int32_t, int> beyond;  // kind index -> locked pieces beyond its quantity
    std::vector<KeptSheet> kept;
    std::size_t keptParts = 0;
    for (std::size_t s = 0; s < layout->sheets.size(); ++s) {
        const contract::LayoutSheet& sheet = layout->sheets[s];
        KeptSheet keep;
        for (const contract::LayoutPlacement& at : sheet.placements) {
            if (!at.locked) continue;
            const contract::PartRecord* kind = contract::findKind(*layout, at.partId);
            const std::string where = "（板" + std::to_string(s + 1) + "）";
            const std::string named =
                kind ? "「" + kind->name + "」" : "编号 " + std::to_string(at.partId);
            const std::int32_t index = kind ? matchKind(*kind, session.parts) : -1;
            if (index < 0) {
                logLine(contract::kLogWarning,
                        "已锁定零件" + named + where + "不在本次套料的零件中，未保留");
                continue;
            }
            const std::optional<std::int32_t> column = gridCell(at.x, origin, config.cell);
            const std::optional<std::int32_t> row = gridCell(at.y, origin, config.cell);
            if (!column || !row) {
                logLine(contract::kLogWarning,
                        "已锁定零件" + named + where + "不在套料网格上，未保留");
                continue;
            }
            if (left[static_cast<std::size_t>(index)] < 1) {
                ++beyond[index];
                continue;
            }
            --left[static_cast<std::size_t>(index)];
            const NestPart& part = session.parts[static_cast<std::size_t>(index)];
            keep.placements.push_back(
                {part.id, index, ((at.angle % 360) + 360) % 360, at.mirrored, *column, *row});
        }
        if (keep.placements.empty()) continue;
        keptParts += keep.placements.size();
        keep.stock = sheetStock(sheet, config.gap);
        kept.push_back(std::move(keep));
    }
    for (const auto& [index, count] : beyond) {
        const NestPart& part = session.parts[static_cast<std::size_t>(index)];
        logLine(contract::kLogWarning, "已锁定零件「" + part.name + "」多于本次数量 " +
                                           std::to_string(part.quantity) + " 件，多出的 " +
                                           std::to_string(count) + " 件未保留");
    }
    for (const KeptSheet& sheet : kept)
        takeFromStock(config.sheets, sheet.stock);
    std::vector<SheetStock> front;
    for (const KeptSheet& sheet : kept)
        front.push_back(sheet.stock);
    config.sheets.insert(config.sheets.begin(), front.begin(), front.end());
    session.keptSheets = std::move(kept);
    appendJobLog(LogChannel::Nest, "NEST 保留已锁定零件=" + std::to_string(keptParts) +
                                       " 板=" + std::to_string(session.keptSheets.size()));
    return true;
}

}  // namespace qks::nest
