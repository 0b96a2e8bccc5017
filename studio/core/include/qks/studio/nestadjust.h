#pragma once
// The drawing window's 调整 mode without widgets: a finished nest (the layout file beside its
// drawing) edited part by part, with selection, dragging that snaps to the grid and refuses
// collisions, turns, mirrors, moves by cells, deletions, copies, locks, undo and redo, and the
// totals the window shows. Every position is judged by the contract's exact check
// (layout_check.h), the very one the plug-in applies when the layout is saved.
//
// Coordinates: millimetres of the nest drawing, where sheet s lies from sheetX(s) on x and from
// 0 on y. Threads: the GUI thread's object, like any widget's model.

#include <QString>
#include <optional>
#include <vector>

#include "qks/contract/layout_check.h"
#include "qks/contract/nest_layout_format.h"

namespace qks::studio {

struct PartRef {
    std::size_t sheet = 0;
    std::size_t index = 0;  // in the sheet's placement list
    friend bool operator==(const PartRef& a, const PartRef& b) {
        return a.sheet == b.sheet && a.index == b.index;
    }
};

struct AdjustTotals {
    double utilisationPercent = 0.0;  // placed parts' area over the used sheets' area
    int sheetsUsed = 0;               // sheets holding at least one part
    int unplaced = 0;                 // pieces asked for and not placed
};

class NestAdjustModel {
  public:
    // Grid steps within which a dragged or turned part looks for a position that fits.
    static constexpr int kSnapCells = 10;

    explicit NestAdjustModel(contract::NestLayout layout);

    const contract::NestLayout& layout() const { return layout_; }
    double sheetX(std::size_t sheet) const;
    // The sheet under the drawing point x, or null.
    std::optional<std::size_t> sheetAt(double x, double y) const;
    // The placed shape of a part (sheet coordinates); valid until the next change.
    const contract::PlacedPart& placed(const PartRef& part) const;
    // The part whose material (else outline) holds the drawing point, the last drawn first.
    std::optional<PartRef> partAt(double x, double y) const;

    void select(std::optional<PartRef> part) { selected_ = part; }
    const std::optional<PartRef>& selected() const { return selected_; }
    // The selected part's kind name and sheet, for the window to say what it acts on.
    QString selectedName() const;

    // A drag of the selected part grabbed at drawing point (x, y).
    void beginDrag(double x, double y);
    // Where the dragged part would go with the pointer at (x, y): on the sheet under the pointer
    // (else its own), at the nearest grid position that fits within kSnapCells, else at the
    // grid position under the pointer, not fitting.
    struct Preview {
        std::size_t sheet = 0;
        contract::LayoutPlacement at;
        contract::PlacedPart shape;
        bool fits = false;
    };
    std::optional<Preview> dragTo(double x, double y);
    const std::optional<Preview>& preview() const { return preview_; }
    // Drops the part where the preview fits (true), or leaves it where it was.
    bool endDrag();

    // Each edit acts on the selected part and returns false, changing nothing, where the result
    // would break a rule (message() then says why).
    bool turn();                        // the next allowed angle, at the nearest fitting position
    bool mirror();                      // when the kind may be mirrored
    bool nudge(int columns, int rows);  // by grid cells, where it fits
    bool toggleLock();
    bool remove();
    bool addCopy();  // one more of the selected kind, at the first free position of any sheet
    bool undo();
    bool redo();
    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }
    bool modified() const { return modified_; }

    AdjustTotals totals() const;
    // What the last edit did or why it was refused (the UI's language).
    const QString& message() const { return message_; }

  private:
    using Sheets = std::vector<contract::LayoutSheet>;
    const contract::PartRecord* kindOf(const contract::LayoutPlacement& at) const;
    const contract::LayoutTurns* turnsOf(std::int32_t partId) const;
    contract::PlacedPart shapeOf(const contract::LayoutPlacement& at) const;
    // The nearest grid position to `at` on `sheet` within `reach` cells where the part fits
    // (`ignore`: its own index there, or -1), or null.
    std::optional<contract::LayoutPlacement> nearestFit(std::size_t sheet,
                                                        contract::LayoutPlacement at, int reach,
                                                        int ignore) const;
    double snap(double position) const;
    void commit(const Sheets& before, const QString& message);
    void rebuild();
    bool refuse(const QString& message);
    // Undo or redo: the latest state of `from` becomes the layout, the layout goes onto `to`.
    bool walk(std::vector<Sheets>& from, std::vector<Sheets>& to, const QString& done,
              const QString& none);
    bool replaceSelected(const contract::LayoutPlacement& at, const QString& message);

    contract::NestLayout layout_;
    std::vector<std::vector<contract::PlacedPart>> placed_;
    std::optional<PartRef> selected_;
    std::optional<Preview> preview_;
    double grabX_ = 0.0, grabY_ = 0.0;  // pointer minus the dragged part's corner
    std::vector<Sheets> undo_, redo_;
    bool modified_ = false;
    QString message_;
};

}  // namespace qks::studio
