#include "qks/nest/layout_file.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

#include "qks/common/atomic_file.h"
#include "qks/common/utf8.h"
#include "qks/contract/layout_check.h"
#include "qks/nest/stock.h"

namespace qks::nest {
namespace {

double gridPosition(const contract::LayoutSettings& s, std::int32_t cells) {
    return s.gridOrigin + cells * s.cell;
}

std::int32_t gridCells(const contract::LayoutSettings& s, double position) {
    return static_cast<std::int32_t>(std::lround((position - s.gridOrigin) / s.cell));
}

}  // namespace

contract::NestLayout layoutOfSession(const NestSession& session, const std::string& drawingPath) {
    const NestConfig& config = session.config;
    contract::NestLayout layout;
    contract::LayoutSettings& s = layout.settings;
    s.gap = config.gap;
    s.margin = config.margin;
    s.partInPart = config.partInPart && config.strategy == NestStrategy::Dense;
    s.cell = config.cell;
    s.gridOrigin = config.margin + gapPadLength(config);
    s.outDir = config.outDir;
    s.outDwg = drawingPath;
    s.prefix = config.prefix;
    s.pdf = config.pdf;
    s.commonLine = config.commonLine;
    s.offcut = config.offcut;
    s.carry = config.carry;
    s.labels = config.labels;
    for (const NestPart& part : session.parts) {
        contract::LayoutTurns turn;
        turn.partId = part.id;
        turn.angles.clear();
        for (const Orientation& o : orientationsFor(session, part)) {
            turn.mirror = turn.mirror || o.mirrored;
            if (std::find(turn.angles.begin(), turn.angles.end(), o.angle) == turn.angles.end())
                turn.angles.push_back(o.angle);
        }
        if (turn.angles.empty()) turn.angles.push_back(0);
        layout.turns.push_back(std::move(turn));
    }
    for (const SheetLayout& sheet : session.layout) {
        contract::LayoutSheet out;
        out.stockIndex = sheet.stockIndex;
        out.width = sheet.width;
        out.height = sheet.height;
        const auto index = static_cast<std::size_t>(sheet.stockIndex);
        if (sheet.stockIndex >= 0 && index < config.sheets.size() && config.sheets[index].shape) {
            const StockShape& shape = *config.sheets[index].shape;
            out.stock.push_back(shape.outline);
            out.stock.insert(out.stock.end(), shape.defects.begin(), shape.defects.end());
        }
        // Parts kept from a locked layout stay locked for the next run.
        const std::size_t kept = keptPlacementCount(session, sheet);
        for (std::size_t k = 0; k < sheet.placements.size(); ++k) {
            const Placement& p = sheet.placements[k];
            out.placements.push_back({p.partId, gridPosition(s, p.column), gridPosition(s, p.row),
                                      p.angle, p.mirrored, k < kept});
        }
        layout.sheets.push_back(std::move(out));
    }
    layout.parts = session.parts;
    return layout;
}

bool layoutGridMatches(const contract::LayoutSettings& settings) {
    return std::fabs(settings.gridOrigin - settings.margin -
                     padLength(settings.gap, settings.cell)) <= contract::kLayoutTolerance;
}

void sessionFromLayout(const contract::NestLayout& layout, NestSession& session) {
    const contract::LayoutSettings& s = layout.settings;
    NestConfig& config = session.config;
    config.gap = s.gap;
    config.margin = s.margin;
    config.cell = s.cell;
    config.partInPart = s.partInPart;
    config.strategy = s.partInPart ? NestStrategy::Dense : NestStrategy::Standard;
    config.outDir = s.outDir;
    config.outDwg = s.outDwg;
    config.prefix = s.prefix;
    config.pdf = s.pdf;
    config.commonLine = s.commonLine;
    config.offcut = s.offcut;
    config.carry = s.carry;
    config.labels = s.labels;
    config.sheets.clear();
    session.parts = layout.parts;
    std::map<std::int32_t, std::int32_t> indexOfId;
    for (std::size_t k = 0; k < session.parts.size(); ++k)
        indexOfId[session.parts[k].id] = static_cast<std::int32_t>(k);
    session.layout.clear();
    session.keptSheets.clear();
    std::map<std::int32_t, std::int32_t> placed;
    for (const contract::LayoutSheet& in : layout.sheets) {
        SheetLayout sheet;
        sheet.stockIndex = static_cast<std::int32_t>(config.sheets.size());
        sheet.width = in.width;
        sheet.height = in.height;
        // Locked parts lead their sheet, as a job's kept parts do, so the common line leaves
        // them where the user put them and the file written back keeps them locked.
        std::size_t lockedCount = 0;
        for (const bool lockedPass : {true, false})
            for (const contract::LayoutPlacement& p : in.placements) {
                const auto kind = indexOfId.find(p.partId);
                if (kind == indexOfId.end() || p.locked != lockedPass) continue;
                sheet.placements.push_back({p.partId, kind->second, p.angle, p.mirrored,
                                            gridCells(s, p.x), gridCells(s, p.y)});
                sheet.usedArea += session.parts[static_cast<std::size_t>(kind->second)].area;
                ++placed[p.partId];
                lockedCount += lockedPass;
            }
        if (sheet.placements.empty()) continue;
        if (in.stock.empty()) {
            config.sheets.emplace_back(in.width, in.height, 1);
        } else {
            const std::vector<Outline> defects(in.stock.begin() + 1, in.stock.end());
            config.sheets.push_back(stockPiece(in.stock.front(), defects, s.gap));
            sheet.mask = std::make_shared<StockMask>();
            sheet.stockArea = config.sheets.back().shape->area;
        }
        session.keptSheets.push_back(
            {config.sheets.back(),
             std::vector<Placement>(
                 sheet.placements.begin(),
                 sheet.placements.begin() + static_cast<std::ptrdiff_t>(lockedCount))});
        session.layout.push_back(std::move(sheet));
    }
    session.unplaced = 0;
    for (const NestPart& part : session.parts)
        session.unplaced += std::max(0, part.quantity - placed[part.id]);
    settleTotals(session);
}

bool writeLayoutFile(const std::string& path, const contract::NestLayout& layout,
                     std::string* error) {
    // Names and sources come from drawings; the file must stay valid UTF-8 for the Studio.
    return writeFileAtomically(path, sanitizeUtf8(contract::formatLayout(layout)), error);
}

}  // namespace qks::nest
