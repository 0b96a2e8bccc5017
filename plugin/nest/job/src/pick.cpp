// QKNESTPICK: the parts of a selection, published for the Studio's nest page.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "part_names.h"
#include "qks/common/environment.h"
#include "qks/common/job_log.h"
#include "qks/contract/names.h"
#include "qks/drawing/extraction.h"
#include "qks/nest/job.h"
#include "qks/nest/parts_file.h"

namespace qks::nest {

void runNestPick(host::Host& host) {
    setJobLogPath(LogChannel::Nest, tempFilePath(contract::kNestLogFile));
    resetJobLog(LogChannel::Nest);
    host::DrawingServices* ds = host.drawingServices();
    std::vector<host::ObjectId> selection;
    const bool chosen = ds && ds->selectObjects("", selection);
    selection.erase(
        std::remove_if(selection.begin(), selection.end(), [](host::ObjectId id) { return !id; }),
        selection.end());
    if (!chosen || selection.empty()) {
        host.print("\n[QKS] 未选择零件。");
        appendJobLog(LogChannel::Nest, "PICK 未选择零件");
        return;
    }
    std::vector<NestPart> parts;
    std::int32_t nextId = 1;
    drawing::ExtractionOptions options;
    options.carry = true;  // picked parts come from the drawing, with what is drawn on them
    const std::string name = currentDrawingPartName(host);
    drawing::extractParts(*ds, selection, std::string(contract::kCurrentDrawingSource), name,
                          options, parts, nextId);
    drawing::mergeIdenticalKinds(parts, options.rotations, options.mirroring);
    numberUnnamedKinds(parts, name);
    if (parts.empty()) {
        host.print("\n[QKS] 选中对象里没有闭合轮廓。");
        appendJobLog(LogChannel::Nest, "PICK 没有闭合轮廓");
        return;
    }
    const std::string partsPath = tempFilePath(contract::kNestPartsFile);
    writePartsFile(partsPath, parts);
    long long pieces = 0;
    for (const NestPart& part : parts)
        pieces += part.quantity;
    char buffer[200];
    std::snprintf(buffer, sizeof buffer, "\n[QKS] 已框选 %d 种 / %lld 件，正在准备套料...",
                  static_cast<int>(parts.size()), pieces);
    host.print(buffer);
    appendJobLog(LogChannel::Nest, "PICK 已提取 " + std::to_string(parts.size()) + " 种，" +
                                       std::to_string(pieces) + " 件");
    appendJobLog(LogChannel::Nest, "PARTS " + partsPath);
}

}  // namespace qks::nest
