// The drawing window's display list: one space (model space or a paper layout) of the host's
// current drawing, entity by entity, flattened to polylines, fills and texts, for the Studio to
// paint and pick in. The host writes it whole to a temporary file and renames it over
// "qks_view.bin" in the temporary folder; the Studio reads it whenever its signature changes.
//
// Binary, little-endian: the 8-byte magic "QKSVIEW3", then records of a one-byte tag, a 32-bit
// payload length and the payload, so a reader skips the records it does not know. Strings are a
// 32-bit length and UTF-8 bytes. The geometry is a few flat tables (entities, styles, items,
// texts, fills, points, loop starts, strings) written and read as whole arrays: a drawing of a
// quarter of a million entities is a few allocations, not a million. A table may come in
// several records, read in order as one. Coordinates are 32-bit floats relative to the
// space's origin (a double), which keeps a drawing far from (0, 0) exact to well under a pixel
// at any zoom the window offers while halving the file against doubles.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qks::contract {

inline constexpr std::string_view kViewMagic = "QKSVIEW3";

// A drawing open in the host, in opening order.
struct ViewDocument {
    std::string path;
    bool current = false;
};

struct ViewLayer {
    std::string name;
    std::uint32_t rgb = 0xffffff;  // 0xRRGGBB, the layer's own colour
    bool on = true;
    bool frozen = false;
    std::string linetype;
    float weightMm = -1.0f;  // negative: default
};

// A line pattern in drawing units: drawn, skipped, drawn, ... (a drawn length of 0 is a dot).
struct ViewDash {
    std::vector<float> lengths;
};

struct ViewRect {
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

enum class ViewItemKind : std::uint8_t { Stroke = 0, Fill = 1, Text = 2 };
enum class ViewHAlign : std::uint8_t { Left = 0, Center = 1, Right = 2 };
enum class ViewVAlign : std::uint8_t { Baseline = 0, Bottom = 1, Middle = 2, Top = 3 };

// How an item is drawn, shared by every item drawn alike (20 bytes, no padding): a drawing of
// a quarter of a million entities has a few hundred of them, so an item names one instead of
// repeating it.
struct ViewStyle {
    ViewItemKind kind = ViewItemKind::Stroke;
    std::uint8_t closed = 0;
    ViewHAlign hAlign = ViewHAlign::Left;
    ViewVAlign vAlign = ViewVAlign::Baseline;
    std::uint32_t layer = 0;  // index into ViewFile::layers: the layer that shows the item
    std::uint32_t rgb = 0xffffff;
    float weightMm = -1.0f;
    std::uint16_t dash = 0;  // 0 solid, else 1 + index into ViewFile::dashes
    std::uint16_t clip = 0;  // 0 none, else 1 + index into ViewFile::clips
    bool operator==(const ViewStyle& o) const {
        return kind == o.kind && closed == o.closed && hAlign == o.hAlign && vAlign == o.vAlign &&
               layer == o.layer && rgb == o.rgb && weightMm == o.weightMm && dash == o.dash &&
               clip == o.clip;
    }
};
static_assert(sizeof(ViewStyle) == 20, "ViewStyle is stored as it is laid out");

// What only a text has: `text` and `font` index ViewFile::strings; height is that of capitals,
// rotation radians counter-clockwise.
struct ViewText {
    std::uint32_t text = 0, font = 0;
    float height = 0, rotation = 0, widthFactor = 1, oblique = 0;
};
static_assert(sizeof(ViewText) == 24, "ViewText is stored as it is laid out");

// What only a fill has: its loops, loopStarts [firstLoop, firstLoop + loopCount) (indices into
// the item's points, the first 0, rising); loops combine by the even-odd rule.
struct ViewLoops {
    std::uint32_t firstLoop = 0, loopCount = 0;
};

// One drawn thing of an entity (16 bytes): points [firstPoint, firstPoint + pointCount) of
// ViewFile::points, drawn as styles[style] says.
//  - Stroke: a polyline through the points, closed or not.
//  - Fill: the points cut into the loops of fills[detail].
//  - Text: its insertion point is the first point; the rest is texts[detail].
struct ViewItem {
    std::uint32_t firstPoint = 0, pointCount = 0;
    std::uint32_t style = 0;
    std::uint32_t detail = 0;  // Stroke: 0
};
static_assert(sizeof(ViewItem) == 16, "ViewItem is stored as it is laid out");

struct ViewEntity {
    std::uint64_t handle = 0;  // as the drawing numbers it; written in hex in a selection
    std::uint32_t layer = 0;
    std::uint32_t firstItem = 0, itemCount = 0;
    std::uint32_t reserved = 0;
};
static_assert(sizeof(ViewEntity) == 24, "ViewEntity is stored as it is laid out");

struct ViewFile {
    std::uint64_t serial = 0;  // grows with every view the host writes in one run
    std::vector<ViewDocument> documents;
    std::string notice;  // what went wrong with the last request (an open that failed), or empty
    std::string space;   // the layout shown: "Model" or a paper layout's name
    bool paper = false;
    std::vector<std::string> layouts;  // every layout of the drawing, model first
    double originX = 0, originY = 0;
    std::vector<ViewLayer> layers;
    std::vector<ViewDash> dashes;
    std::vector<ViewRect> clips;
    std::vector<ViewEntity> entities;
    std::vector<ViewStyle> styles;  // never empty once read
    std::vector<ViewItem> items;
    std::vector<ViewText> texts;
    std::vector<ViewLoops> fills;
    std::vector<float> points;  // x, y pairs
    std::vector<std::uint32_t> loopStarts;
    std::vector<std::string> strings;  // index 0 is the empty string

    // Appends `text` to the strings; its index.
    std::uint32_t addString(std::string text);
    // Appends `style` unless it is the last one appended or already known; its index. For
    // writers adding items in drawing order, where items drawn alike come in long runs.
    std::uint32_t addStyle(const ViewStyle& style);
    // The x and y of point `index` (of all points).
    float x(std::uint32_t index) const { return points[2 * std::size_t(index)]; }
    float y(std::uint32_t index) const { return points[2 * std::size_t(index) + 1]; }
};

// The hex form a selection names an entity by ("1A2F").
std::string viewHandleText(std::uint64_t handle);

std::string formatView(const ViewFile& view);
// The same bytes handed to `sink` in order, the large tables straight from `view`.
using ViewSink = std::function<void(std::string_view bytes)>;
void formatView(const ViewFile& view, const ViewSink& sink);
// One list written from parts made apart (on several threads): the first part gives the
// header, documents, layouts and layers; every table is the parts' tables one after another.
// The indices in a later part already count the rows of the earlier parts' tables.
void formatView(const std::vector<const ViewFile*>& parts, const ViewSink& sink);

// Null, with `error` set, for a file that is not a display list or is cut short. Unknown
// records are skipped. Every index is checked: an entity whose items lie past the table keeps
// none, an item whose style, detail, points, loops or strings lie past their tables or whose
// numbers are not finite draws nothing, a style's layer, dash and clip indices past their
// tables take 0 (layer 0, solid, no clip). Counts never allocate past what the bytes can hold.
std::optional<ViewFile> readView(std::string_view bytes, std::string* error = nullptr);

// The selection the drawing window is asked for ("qks_prompt.txt"): one line
// "SELECT<TAB>serial<TAB>prompt". Null for anything else.
struct ViewPrompt {
    std::uint64_t serial = 0;
    std::string prompt;
};
std::string formatViewPrompt(const ViewPrompt& prompt);
std::optional<ViewPrompt> readViewPrompt(std::string_view text);

}  // namespace qks::contract
