// Operations of the drawing services that need pieces still being built: block copying
// between databases and the selection line. Until they land, each
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

}  // namespace qkshost
