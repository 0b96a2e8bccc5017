// The plot-info validator and the publish engine of the drawing services. Until the
// renderer lands, each reports NotApplicable so a caller takes its documented failure path.
#include "qkshost/app/drawing_services.h"

namespace qkshost {

namespace host = qks::host;

host::Status HostDrawingServices::validatePlotInfo(host::PlotInfo& info, int) {
    info.validated = false;
    return host::Status::NotApplicable;
}

host::PublishEngineId HostDrawingServices::createPublishEngine() {
    return {};
}
void HostDrawingServices::destroyPublishEngine(host::PublishEngineId) {}
host::Status HostDrawingServices::beginPlot(host::PublishEngineId) {
    return host::Status::NotApplicable;
}
host::Status HostDrawingServices::endPlot(host::PublishEngineId) {
    return host::Status::NotApplicable;
}
host::Status HostDrawingServices::beginDocument(host::PublishEngineId, const host::PlotInfo&,
                                                std::string_view, int, const std::string&) {
    return host::Status::NotApplicable;
}
host::Status HostDrawingServices::beginPage(host::PublishEngineId, const host::PlotInfo&, bool) {
    return host::Status::NotApplicable;
}
host::Status HostDrawingServices::beginGenerateGraphics(host::PublishEngineId) {
    return host::Status::NotApplicable;
}
host::Status HostDrawingServices::endGenerateGraphics(host::PublishEngineId) {
    return host::Status::NotApplicable;
}
host::Status HostDrawingServices::endPage(host::PublishEngineId) {
    return host::Status::NotApplicable;
}
host::Status HostDrawingServices::endDocument(host::PublishEngineId) {
    return host::Status::NotApplicable;
}

}  // namespace qkshost
