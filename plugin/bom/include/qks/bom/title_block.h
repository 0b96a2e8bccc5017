// What a title block says about the part it frames: drawing number, name, material, thickness,
// quantity, scale and weight, from attributes (by tag) or from plain text (the value in the
// cell beside its label, or the cell of a GB/T 10609.1 title block the value belongs in).
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "qks/drawing/window.h"
#include "qks/host/drawing.h"

namespace qks::bom {

enum class TitleField { Number, Name, Material, Thickness, Quantity, Scale, Weight };
inline constexpr int kTitleFieldCount = 7;

struct TitleFields {
    std::string values[kTitleFieldCount];  // trimmed; empty when not found
    std::string& operator[](TitleField field) { return values[static_cast<int>(field)]; }
    const std::string& operator[](TitleField field) const {
        return values[static_cast<int>(field)];
    }
};

// The field a tag or label names ("图号", "DWGNO", "材质:", "板厚 " ...), if any.
std::optional<TitleField> fieldOfLabel(const std::string& label);

// Tag and text of attributes, in stored order: the first non-empty value of a field wins.
void fieldsFromAttributes(const std::vector<std::pair<std::string, std::string>>& attributes,
                          TitleFields& fields);

// A plain text of the drawing and the box it covers (drawing units).
struct PlacedText {
    std::string text;  // MTEXT codes removed
    double minX = 0.0, minY = 0.0, maxX = 0.0, maxY = 0.0;
};

// Labels and their values: "材料：Q235" in one text; then, when `gbBlock` is the box of a
// title-block grid shaped as the GB/T 10609.1 block (180 × 56 at any scale), the texts in its
// name, drawing number, material, weight and scale cells; then "材料" with its value in the
// nearest text to its right on the same line (else right below it, as GB's label-over-value
// rows have it). Fills only fields still empty.
void fieldsFromTexts(const std::vector<PlacedText>& texts, TitleFields& fields,
                     const drawing::PlotWindow* gbBlock = nullptr);

// Leading number of a thickness text ("2", "2.0mm", "t=1.5", "δ3"); nullopt when none.
std::optional<double> thicknessOf(const std::string& text);
// Leading whole number of a quantity text ("4", "4件", "x2"); nullopt when none or < 1.
std::optional<int> quantityOf(const std::string& text);
// Kilograms a weight text gives ("2.5", "2.5kg", "约 0.8", "350g", "1.2t"): its leading number
// in kilograms unless grams or tonnes follow it, as a GB title block's 重量 is written; nullopt
// when none or not above 0.
std::optional<double> weightKgOf(const std::string& text);

// The title fields among `entities` (model-space entities of one frame): attributes of their
// block references first, then plain texts, including those drawn inside the references'
// blocks, read by cell when the entities hold a frame drawn as lines with a GB title block.
TitleFields readTitleBlock(host::DrawingAccess& ds, const std::vector<host::ObjectId>& entities);

}  // namespace qks::bom
