// A hatch read from anything but DXF has no groups kept: it is written from its structure
// (non-associative, normal style, angles in degrees as the structure holds them). Hatches read
// from DXF are written back from their kept groups by the EntityWriter.
#pragma once

#include "entity_common_writer.h"

namespace qkshost::dxf::detail {

class HatchWriter {
  public:
    HatchWriter(WriteContext& ctx, EntityCommonWriter& common) : o_(ctx.out), common_(common) {}

    void hatch(const Hatch& h, bool paper);

  private:
    Out& o_;
    EntityCommonWriter& common_;
};

}  // namespace qkshost::dxf::detail
