// A named rectangle of model space: what frame recognition finds and what the plot engine
// plots, so both sides share it without the finder depending on plotting.
#pragma once

#include <string>

namespace qks::plot {

// A rectangle of model space (drawing units) with an optional name.
struct PlotWindow {
    double minX = 0.0;
    double minY = 0.0;
    double maxX = 0.0;
    double maxY = 0.0;
    std::string name;
};

}  // namespace qks::plot
