// Rendering of a drawing's layouts into the PDF layer's display list.
//
// Model space is drawn in plan view (x right, y up, z dropped). A paper-space layout draws its
// own entities and, through each of its viewports, model space clipped to the viewport.
// Colours and line weights are resolved here (ByLayer, ByBlock, index and true colour);
// entities on layers that are off, frozen or marked not to plot are left out, and an entity on
// layer "0" inside a block takes the layer of the reference that shows it.
//
// Threads: reads the database only; one database must not change while it is rendered.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "qkshost/drawing/database.h"
#include "qkshost/pdf/display_list.h"
#include "qkshost/pdf/plot_settings.h"

namespace qkshost::render {

// Nesting of block references followed before a reference is left out (a block that contains
// itself, directly or through others, stops here too).
inline constexpr int kMaxBlockDepth = 32;

// The entities of `layout` (a Layout object of `db`) as a display list in that layout's space
// (drawing units for model space, paper units for a paper-space layout). An unknown layout
// gives an empty list.
pdf::DisplayList renderLayout(const drawing::Database& db, drawing::ObjectIndex layout);

// A layout drawn for the drawing window: the display list renderLayout gives, except that
// entities on layers that are off or not plotted are kept (the window switches layers itself);
// frozen layers stay out, as on screen in the CAD program.
struct ViewRendering {
    pdf::DisplayList list;
    // Each entity of the layout's own block that drew something or nothing, with the index of
    // its first item in `list`, in drawing order.
    std::vector<std::pair<drawing::ObjectIndex, std::size_t>> entityStarts;
    // Parallel to list.items(): the layer each item is shown on (a block's layer-0 entities
    // take the reference's layer).
    std::vector<drawing::ObjectIndex> itemLayers;
};
ViewRendering renderLayoutForView(const drawing::Database& db, drawing::ObjectIndex layout);
// The same for entities [first, last) of the layout's own block only, so that parts of a large
// layout can be drawn on several threads at once (the database is only read). The parts of a
// model space, in order, draw what the whole does; a paper layout is drawn whole.
ViewRendering renderLayoutPartForView(const drawing::Database& db, drawing::ObjectIndex layout,
                                      std::size_t first, std::size_t last);
// How many entities the layout's own block holds.
std::size_t layoutEntityCount(const drawing::Database& db, drawing::ObjectIndex layout);

// The entities of one block record (model space, a paper space, a block definition), drawn
// with the identity transform.
pdf::DisplayList renderBlock(const drawing::Database& db, drawing::ObjectIndex blockRecord);

// The drawing area a plot of `layout` covers for a plot type other than Window: Extents,
// Display and View the extents of what `list` draws; Limits the layout's limits; Layout the
// paper (the layout's limits, or the paper size from the origin when the limits are unset).
// Empty when nothing gives an area (an empty drawing plotted to its extents).
std::optional<pdf::PlotRect> plotArea(const drawing::Database& db, drawing::ObjectIndex layout,
                                      pdf::PlotType type, const pdf::DisplayList& list);

// Multiline-text contents with every formatting code removed: "\P" becomes a line feed,
// stacked fractions "a/b", escapes their character; grouping braces vanish.
std::string plainMTextContents(const std::string& contents);
// Single-line text contents with the %%-codes replaced (%%c, %%d, %%p, %%%; %%o and %%u
// dropped).
std::string plainTextContents(const std::string& contents);

}  // namespace qkshost::render
