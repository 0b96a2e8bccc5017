// Operations of the drawing services that need pieces still being built: block copying
// between databases, the selection line, and the publish engine. Until they land, each
// reports NotApplicable so a caller takes its documented failure path instead of pretending.
#include "qkshost/app/drawing_services.h"

namespace qkshost {

namespace host = qks::host;

host::Status HostDrawingServices::insertDatabaseAsBlock(host::DatabaseId, std::string_view,
                                                        host::DatabaseId, host::ObjectId* block,
                                                        int* notCarried) {
    if (block) *block = {};
    if (notCarried) *notCarried = 0;
    return host::Status::NotApplicable;
}

host::Status HostDrawingServices::writeBlockOut(const std::vector<host::ObjectId>&,
                                                const host::Point3d&, host::DatabaseId* result) {
    if (result) *result = {};
    return host::Status::NotApplicable;
}

bool HostDrawingServices::selectObjects(std::string_view, std::vector<host::ObjectId>& selection) {
    selection.clear();
    return false;
}

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
