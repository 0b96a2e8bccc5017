#pragma once
// The drawing window's model, without widgets: the host's display list of one space, each
// entity's box, a grid over the boxes for finding what lies under the cursor, and the pick
// rules of the CAD program (a click takes the nearest entity within a few pixels, a window
// dragged left to right takes what lies wholly inside, one dragged right to left what it
// crosses).
//
// Coordinates are the display list's: drawing units relative to the space's origin.

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "qks/contract/view_format.h"

namespace qks::studio {

struct ViewBox {
    float minX = 0, minY = 0, maxX = -1, maxY = -1;  // empty while max < min

    bool empty() const { return maxX < minX || maxY < minY; }
    void add(float x, float y);
    void add(const ViewBox& other);
    bool meets(const ViewBox& other) const;
    bool contains(const ViewBox& other) const;
    bool contains(float x, float y) const;
};

enum class PickRule {
    Window,    // wholly inside the box
    Crossing,  // inside or crossing the box
};

class DrawingIndex {
  public:
    DrawingIndex() = default;
    explicit DrawingIndex(contract::ViewFile view);

    const contract::ViewFile& view() const { return view_; }
    int entityCount() const { return static_cast<int>(view_.entities.size()); }
    const ViewBox& box(int entity) const { return boxes_[static_cast<std::size_t>(entity)]; }
    // What every entity covers together (empty for an empty space).
    const ViewBox& extents() const { return extents_; }

    // Layers by index; a hidden layer's items are neither drawn nor picked.
    void setLayerShown(std::uint32_t layer, bool shown);
    bool layerShown(std::uint32_t layer) const {
        return layer < layerShown_.size() ? layerShown_[layer] : true;
    }
    // True when at least one item of the entity is on a shown layer.
    bool entityShown(int entity) const;

    // Entities whose box meets `box`, each once, in drawing order.
    std::vector<int> query(const ViewBox& box) const;
    // The shown entity nearest to (x, y) within `tolerance`, or null.
    std::optional<int> nearest(float x, float y, float tolerance) const;
    // The shown entities `rule` takes for the box, in drawing order.
    std::vector<int> pick(const ViewBox& box, PickRule rule) const;

    // Estimated box of a text item of `view` (its insertion point, height and characters).
    static ViewBox textBox(const contract::ViewFile& view, const contract::ViewItem& text);
    // The items of an entity.
    const contract::ViewItem* itemsBegin(int entity) const {
        return view_.items.data() + view_.entities[std::size_t(entity)].firstItem;
    }
    const contract::ViewItem* itemsEnd(int entity) const {
        return itemsBegin(entity) + view_.entities[std::size_t(entity)].itemCount;
    }
    // The selection's name of an entity (its handle in hex).
    QString handle(int entity) const;

  private:
    bool crosses(int entity, const ViewBox& box) const;
    float distance(int entity, float x, float y) const;
    void cellRange(const ViewBox& box, int& c0, int& r0, int& c1, int& r1) const;

    contract::ViewFile view_;
    std::vector<ViewBox> boxes_;
    ViewBox extents_;
    std::vector<bool> layerShown_;
    // A uniform grid over the extents: cell c lists the entities whose box meets it, in
    // cellEntities_[cellStart_[c], cellStart_[c + 1]).
    int columns_ = 0, rows_ = 0;
    float cellWidth_ = 1, cellHeight_ = 1;
    std::vector<std::uint32_t> cellStart_;
    std::vector<int> cellEntities_;
    mutable std::vector<std::uint32_t> seen_;  // query stamps, one per entity
    mutable std::uint32_t stamp_ = 0;
};

}  // namespace qks::studio
