// What every entity record shares, read for the entity family readers: the common groups
// (handle, layer, linetype, colour, lineweight, space, xdata), coordinates and extrusion, and
// placing the finished entity in its block. It keeps the layer and text style last looked up,
// since consecutive entities mostly repeat them.
#pragma once

#include <cmath>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "read_context.h"

namespace qkshost::dxf::detail {

// Where the common groups of an entity record end: indexes into the record's tags.
struct CommonGroups {
    bool paperSpace = false;
    std::size_t tailStart = 0;  // first tag of the type's own data
    std::size_t xdataStart = 0;
    bool markers = false;  // subclass markers present (R2000 and later)
};

// A group that sets one plain member of an entity: reals (scaled by `factor`, kDeg for
// angles the file gives in degrees) and integers.
template <class E>
struct Field {
    int code;
    double E::*real = nullptr;
    int E::*whole = nullptr;
    double factor = 1;
    constexpr Field(int c, double E::*m, double f = 1) : code(c), real(m), factor(f) {}
    constexpr Field(int c, int E::*m) : code(c), whole(m) {}
};

class EntityCommonReader {
  public:
    explicit EntityCommonReader(ReadContext& ctx)
        : ctx_(ctx), in_(ctx.in), db_(ctx.db), tags_(ctx.in.record()) {}

    // Parses the common groups of the record into e.
    CommonGroups parseCommon(Entity& e);
    static bool commonCode(int code);

    ObjectIndex layerFor(std::string_view raw);
    ObjectIndex linetypeFor(std::string_view raw);
    ObjectIndex styleFor(const Tag& g);
    ObjectIndex defaultStyle();

    // Adds e to `block` (0: model or paper space, as the record says); returns its index.
    ObjectIndex place(std::unique_ptr<Entity> e, ObjectIndex block, const CommonGroups& c);
    // Adds e as owned by another entity (an insert's attributes and sequence end).
    ObjectIndex addOwned(std::unique_ptr<Entity> e, ObjectIndex owner);

    // coordinate groups base, base+10, base+20 into p
    bool coord(const Tag& g, int base, Point3d& p);
    bool planar(PlanarEntity& e, const Tag& g);
    void fixExtrusion(PlanarEntity& e);
    // tail of a raw entity: the type's own groups, written back as read
    void fillTail(RawEntity& e, const CommonGroups& c);

    // Sets the member the table names for `g`; false when the table has no such code.
    template <class E, class T, std::size_t N>
    bool assign(T& e, const Tag& g, const Field<E> (&table)[N]) {
        for (const Field<E>& f : table) {
            if (f.code != g.code) continue;
            if (f.real)
                static_cast<E&>(e).*f.real = in_.num(g) * f.factor;
            else
                static_cast<E&>(e).*f.whole = in_.int32(g);
            return true;
        }
        return false;
    }

    // Calls f on each of the type's own groups (common and xdata excluded) until it returns
    // false.
    template <class F>
    void own(const CommonGroups& c, F&& f) {
        tail(c, [&](const Tag& g) { return g.code == 100 || g.code == 330 || f(g); });
    }

  private:
    ObjectIndex styleByName(const Tag& g);
    // Calls f on each group from the type's own data up to the xdata, subclass markers and
    // owner pointers included, application groups left out, until it returns false.
    template <class F>
    void tail(const CommonGroups& c, F&& f) {
        for (std::size_t i = c.tailStart; i < c.xdataStart; ++i) {
            const Tag& g = tags_[i];
            if (g.code == 102) {
                in_.skipGroup(i);
                continue;
            }
            if (!c.markers && commonCode(g.code)) continue;
            if (!f(g)) break;
        }
    }

    ReadContext& ctx_;
    TagCursor& in_;
    Database& db_;
    const std::vector<Tag>& tags_;
    std::unordered_map<std::string_view, ObjectIndex> layerCache_;
    std::string_view lastLayerRaw_, lastStyleRaw_;
    ObjectIndex lastLayer_ = 0, lastStyle_ = 0;
};

}  // namespace qkshost::dxf::detail
