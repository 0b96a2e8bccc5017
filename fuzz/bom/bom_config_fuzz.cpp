// The BOM job's config and rows file come from files anyone can write into the temporary
// folder; the title-block readers take any text a drawing holds.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "qks/bom/bom.h"
#include "qks/bom/title_block.h"
#include "qks/common/numbers.h"
#include "qks/common/utf8.h"
#include "qks/drawing/drawing_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const qks::bom::BomConfig config = qks::bom::parseBomConfig(bytes);
    // Every number the job figures with is usable, every name valid UTF-8.
    if (config.materials.empty() || config.log.empty() || config.workbook.empty() ||
        config.workbook.find('/') != std::string::npos || !(config.defaultThickness > 0) ||
        !(config.defaultThickness <= qks::contract::kLargestThickness) ||
        !(config.defaultRadius > 0) || !(config.profileWidth > 0))
        std::abort();
    for (const auto& material : config.materials)
        if (!(material.density > 0) || !std::isfinite(material.density) ||
            !(material.kFactor > 0 && material.kFactor <= 1) || !qks::isValidUtf8(material.name))
            std::abort();
    for (const auto& [key, edit] : config.edits)
        if (edit.quantity < 0 || !(edit.thickness >= 0) || !qks::isValidUtf8(edit.material))
            std::abort();

    qks::contract::ReadRules rules;
    rules.toInt = qks::parseLeadingInt;
    rules.toDouble = qks::parseLeadingDouble;
    const auto rows = qks::contract::readBomRows(bytes, rules);
    if (rows.size() > size) std::abort();

    const std::string text(bytes);
    qks::drawing::plainMText(text);
    qks::bom::thicknessOf(text);
    qks::bom::quantityOf(text);
    qks::bom::fieldOfLabel(text);
    return 0;
}
