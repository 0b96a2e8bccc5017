// What every written entity shares: the common groups (type, handle, owner, layer, linetype,
// colour, lineweight), thickness, extrusion and xdata, and the SEQEND that closes a polyline's
// vertices or an insert's attributes.
#pragma once

#include <string_view>

#include "write_context.h"

namespace qkshost::dxf::detail {

class EntityCommonWriter {
  public:
    explicit EntityCommonWriter(WriteContext& ctx) : ctx_(ctx), o_(ctx.out), db_(ctx.db) {}

    // The groups up to AcDbEntity's own; `type` replaces the entity's DXF name when given.
    void common(const Entity& e, bool paper, std::string_view type = {});
    void xdata(const Entity& e) {
        for (auto& t : e.xdata)
            o_.str(t.code, t.value);
    }
    void thickness(const PlanarEntity& e) {
        if (e.thickness != 0) o_.num(39, e.thickness);
    }
    void extrusion(const PlanarEntity& e) {
        if (!defaultExtrusion(e.extrusion)) o_.vec(210, e.extrusion);
    }
    // `si`: the owner's SEQEND object, or one that is gone (then it gets a fresh handle).
    void seqend(ObjectIndex si, const Entity& owner, bool paper);

  private:
    WriteContext& ctx_;
    Out& o_;
    const Database& db_;
};

}  // namespace qkshost::dxf::detail
