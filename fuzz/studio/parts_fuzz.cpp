// Parts file as the nest page reads it, then every part placed as the preview would.
#include <cstddef>
#include <cstdint>

#include "qks/studio/partsfile.h"
#include "qks/studio/preview.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qks::studio;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    QVector<PartRow> parts = parsePartsFile(bytes);
    QVector<PartRow> again = parsePartsFile(bytes);
    keepUserChoices(parts, again);
    partTally(again);
    const QHash<int, int> index = indexPartsById(parts);
    for (const PartRow& part : parts) {
        if (index.value(part.id, -1) < 0) __builtin_trap();
        for (int angle : {0, 90, 217})
            placePart(part, {part.id, angle, angle == 90, 3, 4}, GridFrame{10, 1, 0});
        editedQuantity(part.name, part.quantity);
    }
    return 0;
}
