// The drawing services' plot-info validation and publish engines (see plot_services.cpp for
// the engine's states). Main thread only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host_databases.h"

namespace qkshost {

class HostDrawingServices;

class PlotPublisher {
  public:
    PlotPublisher(HostDatabases& databases, HostDrawingServices& services)
        : dbs_(databases), services_(services) {}
    PlotPublisher(const PlotPublisher&) = delete;
    PlotPublisher& operator=(const PlotPublisher&) = delete;

    host::Status validatePlotInfo(host::PlotInfo& info, int mediaMatchingPolicy);
    host::PublishEngineId createPublishEngine();
    void destroyPublishEngine(host::PublishEngineId engine);
    host::Status beginPlot(host::PublishEngineId engine);
    host::Status endPlot(host::PublishEngineId engine);
    host::Status beginDocument(host::PublishEngineId engine, const host::PlotInfo& info,
                               std::string_view documentName, int copies,
                               const std::string& pdfPath);
    host::Status beginPage(host::PublishEngineId engine, const host::PlotInfo& info, bool lastPage);
    host::Status beginGenerateGraphics(host::PublishEngineId engine);
    host::Status endGenerateGraphics(host::PublishEngineId engine);
    host::Status endPage(host::PublishEngineId engine);
    host::Status endDocument(host::PublishEngineId engine);

  private:
    HostDatabases& dbs_;
    HostDrawingServices& services_;  // the whole interface, for the plot settings
};

}  // namespace qkshost
