#include "qks/plot/text_style.h"

namespace qks::plot {

host::ObjectId ensureChineseTextStyle(host::DrawingServices& ds, host::DatabaseId database,
                                      std::string_view name) {
    if (const host::ObjectId existing = ds.findTextStyle(database, name)) return existing;
    host::TextStyleSpec style;
    style.name = std::string(name);
    style.fontFile = "simsun.ttc";
    style.typeface = "SimSun";
    style.characterSet = 134;  // GB2312
    host::ObjectId id;
    const host::Status status = ds.addTextStyle(database, style, &id);
    return host::succeeded(status) || status == host::Status::Duplicate ? id : host::ObjectId{};
}

}  // namespace qks::plot
