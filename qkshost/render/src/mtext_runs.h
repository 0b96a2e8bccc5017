// Multiline text contents as runs of one character format each.
#pragma once

#include <string>
#include <vector>

#include "qkshost/pdf/display_list.h"
#include "qkshost/pdf/plot_style.h"

namespace qkshost::render::detail {

// The character format inline codes set: \H height (absolute, or relative with "x"), \f and \F
// font, \W width factor, \Q obliquing angle, \C colour number, \c true colour; { } keep a
// change local; \L \l and \O \o turn underlining and overlining on and off. Tracking,
// alignment and paragraph codes change nothing drawn here.
struct MTextFormat {
    double height = 0.0;  // drawing units
    std::string font;     // empty: the entity's text style
    double widthFactor = 1.0;
    double oblique = 0.0;    // radians
    bool hasColour = false;  // false: the entity's own colour
    pdf::PlotColour colour;
    bool underline = false, overline = false;

    friend bool operator==(const MTextFormat& a, const MTextFormat& b) {
        return a.height == b.height && a.font == b.font && a.widthFactor == b.widthFactor &&
               a.oblique == b.oblique && a.hasColour == b.hasColour &&
               (!a.hasColour || a.colour == b.colour) && a.underline == b.underline &&
               a.overline == b.overline;
    }
    friend bool operator!=(const MTextFormat& a, const MTextFormat& b) { return !(a == b); }
};

// A single-line text's contents with its %% codes resolved; the parts between %%u toggles (and
// %%o toggles) are added to `under` (`over`) when given; a toggle left open runs to the end.
std::string plainTextWithLines(const std::string& contents,
                               std::vector<pdf::TextPrimitive::Span>* under,
                               std::vector<pdf::TextPrimitive::Span>* over);

// Plain text (UTF-8, "\n" where a paragraph or column ends) in one format.
// A stacked run (\S) holds its upper part in `text` and its lower one in `lower`; `stack` is how
// they stand: '/' a fraction over a bar, '^' a tolerance without one, '#' a slanted fraction.
// Stacked runs are never merged with their neighbours.
struct MTextRun {
    std::string text;
    MTextFormat format;
    char stack = 0;  // 0: not stacked
    std::string lower;
};

// Share of the line's height a stacked part is set at.
inline constexpr double kStackScale = 0.7;

// Splits MTEXT contents into runs, starting from `base`; neighbouring runs differ in format.
std::vector<MTextRun> parseMText(const std::string& contents, const MTextFormat& base);

}  // namespace qkshost::render::detail

#include <functional>

namespace qkshost::render::detail {

// Lines of formatted text: paragraphs split at "\n", each wrapped to `width` (when positive)
// at spaces and between Chinese, Japanese or Korean characters, as wrapParagraph does for
// plain text; spaces at a wrapped line's ends vanish. `measure` gives the drawn width of a
// run's text in its format. Every line holds at least one run (an empty one for an empty
// paragraph).
std::vector<std::vector<MTextRun>> layoutMTextLines(
    const std::vector<MTextRun>& runs, double width,
    const std::function<double(const MTextRun&)>& measure);

}  // namespace qkshost::render::detail
