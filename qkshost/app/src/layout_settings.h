// The drawing services' layouts and their plot settings, and the plot settings validator
// (devices, media, units, style sheets, plot areas, scales). Main thread only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host_databases.h"

namespace qkshost {

class HostApplication;

class LayoutSettings {
  public:
    LayoutSettings(HostDatabases& databases, HostApplication& app) : dbs_(databases), app_(app) {}
    LayoutSettings(const LayoutSettings&) = delete;
    LayoutSettings& operator=(const LayoutSettings&) = delete;

    std::vector<host::LayoutInfo> layouts(host::DatabaseId database);
    std::string activeLayoutName();
    host::Status setCurrentLayout(host::ObjectId layout);
    host::Status setCurrentLayoutByName(std::string_view name);
    host::Status getPlotSettings(host::ObjectId layout, host::PlotSettings& settings);
    host::Status setPlotSettings(host::ObjectId layout, const host::PlotSettings& settings);
    bool hasPlotDevice(std::string_view device);
    std::vector<std::string> canonicalMediaNames(std::string_view device);
    host::Status setPlotDeviceAndMedia(host::PlotSettings& settings, std::string_view device,
                                       std::string_view media);
    host::Status setPaperUnits(host::PlotSettings& settings, host::PaperUnits units);
    host::Status setStyleSheet(host::PlotSettings& settings, std::string_view styleSheet);
    host::Status setPlotType(host::PlotSettings& settings, host::PlotType type);
    host::Status setPlotWindow(host::PlotSettings& settings, double minX, double minY, double maxX,
                               double maxY);
    host::Status setStandardScale(host::PlotSettings& settings, bool useStandardScale,
                                  int standardScaleType);
    host::Status setCentered(host::PlotSettings& settings, bool centered);
    host::Status setPlotOrigin(host::PlotSettings& settings, double x, double y);
    host::Status setPlotRotation(host::PlotSettings& settings, int quarterTurns);

  private:
    HostDatabases& dbs_;
    HostApplication& app_;
};

}  // namespace qkshost
