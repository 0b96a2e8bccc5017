// Part extraction's geometry: any curves (degenerate, huge, not finite, crossing themselves)
// give parts whose outlines are finite rings of at least three points, holes likewise, and
// merging kinds keeps every piece counted.
//
// Input: a byte of join tolerance (in 1/64 mm), then pieces: a flag byte (bit 0 closed, bit 1
// curved, bit 2 raw doubles), a count byte, then the points: pairs of 16-bit numbers in
// quarter millimetres (so that ends meet often), or of raw doubles with bit 2.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "qks/drawing/arrangement.h"
#include "qks/drawing/extraction.h"

namespace {

// Random long segments cross each other everywhere: n of them make about n * n / 4 nodes, so
// the input is kept to what noding does in well under the fuzzer's time limit.
constexpr std::size_t kMostPoints = 600;

struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    bool take(void* out, std::size_t n) {
        if (size - at < n) return false;
        std::memcpy(out, data + at, n);
        at += n;
        return true;
    }
};

bool finiteRing(const qks::geometry::Outline& ring) {
    if (ring.size() < 3) return false;
    for (const qks::geometry::Point& p : ring)
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qks::drawing;
    Reader in{data, size};
    std::uint8_t tolerance = 0;
    if (!in.take(&tolerance, 1)) return 0;
    std::vector<qks::drawing::CurvePiece> pieces;
    std::size_t total = 0;
    std::uint8_t flags = 0, count = 0;
    while (pieces.size() < 256 && in.take(&flags, 1) && in.take(&count, 1)) {
        qks::drawing::CurvePiece piece;
        piece.closed = flags & 1;
        piece.chordError = (flags & 2) ? qks::drawing::kChordError : 0.0;
        piece.handle = std::to_string(pieces.size());
        for (int k = 0; k < count && total < kMostPoints; ++k, ++total) {
            Point p;
            if (flags & 4) {
                if (!in.take(&p.x, 8) || !in.take(&p.y, 8)) break;
            } else {
                std::int16_t x = 0, y = 0;
                if (!in.take(&x, 2) || !in.take(&y, 2)) break;
                p = {x / 4.0, y / 4.0};
            }
            piece.points.push_back(p);
        }
        pieces.push_back(std::move(piece));
    }
    qks::drawing::ArrangementOptions options;
    options.joinTolerance = tolerance / 64.0;
    const qks::drawing::Arrangement arranged = qks::drawing::arrangePieces(pieces, options);
    std::vector<qks::contract::PartRecord> parts;
    std::int32_t nextId = 1;
    qks::drawing::partsFromArrangement(arranged, "fuzz", "part", 1.0, parts, nextId);
    long long pieceCount = 0;
    for (const qks::contract::PartRecord& part : parts) {
        if (!finiteRing(part.outline) || !(part.area >= qks::drawing::kMinOutlineArea))
            std::abort();
        for (const Outline& hole : part.holes)
            if (!finiteRing(hole)) std::abort();
        pieceCount += part.quantity;
    }
    qks::drawing::mergeIdenticalKinds(parts, (tolerance & 1) != 0, (tolerance & 2) != 0);
    long long merged = 0;
    for (const qks::contract::PartRecord& part : parts)
        merged += part.quantity;
    if (merged != pieceCount) std::abort();
    return 0;
}
