// A named rectangle of model space or of a paper-space layout: what frame recognition finds
// and what the plot engine plots, so both sides share it without the finder depending on
// plotting.
#pragma once

#include <string>

namespace qks::drawing {

// A rectangle (drawing units) with an optional name, in model space unless `layout` names the
// paper-space layout it lies on.
struct PlotWindow {
    double minX = 0.0;
    double minY = 0.0;
    double maxX = 0.0;
    double maxY = 0.0;
    std::string name;
    std::string layout = {};
};

}  // namespace qks::drawing
