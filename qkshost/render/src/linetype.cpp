#include "linetype.h"

#include <cmath>
#include <utility>

namespace qkshost::render::detail {

pdf::DashPattern dashPattern(const std::vector<double>& elements, double scale) {
    // Runs of drawn (true) and skipped (false) lengths; a dot next to a dash is one run.
    std::vector<std::pair<bool, double>> runs;
    for (double e : elements) {
        const double length = std::fabs(e) * scale;
        if (!std::isfinite(length)) return {};
        const bool drawn = e >= 0;
        if (!runs.empty() && runs.back().first == drawn)
            runs.back().second += length;
        else
            runs.push_back({drawn, length});
    }
    // The pattern repeats, so a last run of the first run's kind joins it; the pattern's own
    // start then lies that far into the joined run.
    double start = 0.0;
    if (runs.size() >= 2 && runs.front().first == runs.back().first) {
        start = runs.back().second;
        runs.front().second += start;
        runs.pop_back();
    }
    if (runs.size() < 2) return {};  // only dashes or only gaps
    double period = 0.0;
    for (const auto& r : runs)
        period += r.second;
    if (!(period > 0) || !std::isfinite(period)) return {};
    pdf::DashPattern pattern;
    if (runs.front().first) {
        for (const auto& r : runs)
            pattern.lengths.push_back(r.second);
    } else {
        // Lengths start with a drawn one: the leading gap moves to the end.
        for (std::size_t i = 1; i <= runs.size(); ++i)
            pattern.lengths.push_back(runs[i % runs.size()].second);
        start += period - runs.front().second;
    }
    pattern.offset = std::fmod(start, period);
    return pattern;
}

pdf::DashPattern dashPattern(const drawing::LinetypeRecord& linetype, double scale) {
    std::vector<double> elements;
    elements.reserve(linetype.elements.size());
    for (const auto& e : linetype.elements)
        elements.push_back(e.length);
    return dashPattern(elements, scale);
}

}  // namespace qkshost::render::detail
