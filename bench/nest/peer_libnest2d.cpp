#include <libnest2d/libnest2d.hpp>

#include <chrono>

#include "peer.h"

namespace {

constexpr double kScale = 1000.0;  // drawing units to the peer's integer coordinates

ClipperLib::Path ring(const std::vector<qks::nest::Point>& pts, bool clockwise) {
    ClipperLib::Path path;
    for (const auto& p : pts)
        path.push_back({static_cast<ClipperLib::cInt>(std::llround(p.x * kScale)),
                        static_cast<ClipperLib::cInt>(std::llround(p.y * kScale))});
    if (ClipperLib::Orientation(path) == clockwise) ClipperLib::ReversePath(path);
    if (!path.empty()) path.push_back(path.front());
    return path;
}

}  // namespace

PeerResult runLibnest2d(const std::vector<qks::nest::NestPart>& parts, double sheetWidth,
                        double sheetHeight, double gap, double margin, double limitSeconds) {
    using namespace libnest2d;
    PeerResult result;
    result.available = true;
    std::vector<Item> items;
    std::vector<double> areas;
    for (const auto& part : parts) {
        // ClipperLib::Orientation is true for counter-clockwise rings in y-up coordinates;
        // the library wants clockwise outlines and counter-clockwise holes.
        ClipperLib::Polygon poly;
        poly.Contour = ring(part.outline, true);
        for (const auto& hole : part.holes)
            poly.Holes.push_back(ring(hole, false));
        for (int q = 0; q < part.quantity; ++q) {
            items.emplace_back(poly);
            areas.push_back(part.area);
        }
    }
    const auto w = static_cast<ClipperLib::cInt>((sheetWidth - 2 * margin) * kScale);
    const auto h = static_cast<ClipperLib::cInt>((sheetHeight - 2 * margin) * kScale);
    Box bin(w, h);
    NestConfig<NfpPlacer, FirstFitSelection> config;
    config.placer_config.rotations = {0.0, Pi / 2.0, Pi, 3 * Pi / 2.0};
    const auto start = std::chrono::steady_clock::now();
    auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    NestControl control([&] {
        if (elapsed() > limitSeconds) {
            result.timedOut = true;
            return true;
        }
        return false;
    });
    const std::size_t bins = nest(items, bin, static_cast<Coord>(gap * kScale), config, control);
    result.seconds = elapsed();
    double used = 0.0;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i].binId() >= 0) {
            ++result.placed;
            used += areas[i];
        }
    result.sheets = static_cast<int>(bins);
    const double total = bins * sheetWidth * sheetHeight;
    result.utilisation = total > 0 ? used / total : 0.0;
    return result;
}
