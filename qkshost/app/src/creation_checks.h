// What every call that creates entities checks: the layer the entity goes on, finite input.
#pragma once

#include <cmath>
#include <string_view>

#include "qkshost/drawing/database.h"

namespace qkshost::app {

// The layer an entity is created on: the named one (which must exist), else the drawing's
// current layer.
inline bool layerFor(const drawing::Database& db, std::string_view name,
                     drawing::ObjectIndex& layer) {
    if (name.empty()) {
        layer = db.currentLayer ? db.currentLayer : db.layer0();
        return true;
    }
    layer = db.findLayer(name);
    return layer != 0;
}

inline bool finite(double v) {
    return std::isfinite(v);
}
inline bool finite(const drawing::Point3d& p) {
    return finite(p.x) && finite(p.y) && finite(p.z);
}

}  // namespace qkshost::app
