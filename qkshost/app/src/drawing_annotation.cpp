// Annotation the plug-in creates: dimension styles, dimensions with their geometry blocks,
// block definitions with attribute definitions, and exploding block references.
#include "qkshost/app/drawing_services.h"

namespace qkshost {

namespace host = qks::host;

host::Status HostDrawingServices::addDimensionStyle(host::DatabaseId,
                                                    const host::DimensionStyleSpec&,
                                                    host::ObjectId*) {
    return host::Status::NotApplicable;
}

host::Status HostDrawingServices::addDimension(host::ObjectId, const host::DimensionSpec&,
                                               host::ObjectId*) {
    return host::Status::NotApplicable;
}

host::Status HostDrawingServices::addBlock(host::DatabaseId, std::string_view, const host::Point3d&,
                                           host::ObjectId*) {
    return host::Status::NotApplicable;
}

host::Status HostDrawingServices::addAttributeDefinition(host::ObjectId,
                                                         const host::AttributeDefinitionSpec&,
                                                         host::ObjectId*) {
    return host::Status::NotApplicable;
}

host::Status HostDrawingServices::explodeBlockReference(host::ObjectId,
                                                        std::vector<host::ObjectId>*) {
    return host::Status::NotApplicable;
}

}  // namespace qkshost
