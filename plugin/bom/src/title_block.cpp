#include "qks/bom/title_block.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "qks/common/utf8.h"
#include "qks/drawing/drawing_text.h"
#include "qks/drawing/frames.h"

namespace qks::bom {
namespace {

struct LabelWords {
    TitleField field;
    std::vector<std::string> words;  // lower case, without blanks
};

const std::vector<LabelWords>& labelWords() {
    static const std::vector<LabelWords> table = {
        {TitleField::Number,
         {"图号", "图样代号", "代号", "图纸编号", "零件图号", "零件号", "dwgno", "dwg_no",
          "drawingno", "drawing_no", "partno", "part_no"}},
        {TitleField::Name,
         {"名称", "图名", "图样名称", "零件名称", "name", "title", "partname", "part_name"}},
        {TitleField::Material, {"材料", "材质", "材料标记", "material", "mat"}},
        {TitleField::Thickness, {"厚度", "板厚", "thickness", "t"}},
        {TitleField::Quantity, {"数量", "件数", "qty", "quantity"}},
        {TitleField::Scale, {"比例", "scale"}},
        {TitleField::Weight, {"重量", "质量", "weight", "mass"}},
    };
    return table;
}

// Lower case without blanks and without a trailing colon: "材 料：" and "材料" are one label.
std::string labelKey(const std::string& text) {
    std::string key;
    for (const char c : toLowerUtf8(trimControlAndSpace(text)))
        if (c != ' ' && c != '\t') key.push_back(c);
    for (const std::string_view colon : {":", "\xEF\xBC\x9A"})  // ':' and '：'
        if (key.size() >= colon.size() &&
            key.compare(key.size() - colon.size(), colon.size(), colon) == 0) {
            key.resize(key.size() - colon.size());
            break;
        }
    return key;
}

struct InlineLabel {
    TitleField field;
    std::string value;  // never empty
};

// "材料：Q235" and "材料:Q235": the label and the value after the colon. One-letter labels
// ("t") are too common in values to be taken from inside a text.
std::optional<InlineLabel> splitInlineLabel(const std::string& text) {
    for (const std::string_view colon : {"\xEF\xBC\x9A", ":"}) {
        const auto at = text.find(colon);
        if (at == std::string::npos) continue;
        const std::string label = labelKey(text.substr(0, at));
        if (label.size() < 2) continue;
        const auto found = fieldOfLabel(label);
        if (!found) continue;
        std::string value(trimControlAndSpace(text.substr(at + colon.size())));
        if (value.empty()) return std::nullopt;
        return InlineLabel{*found, std::move(value)};
    }
    return std::nullopt;
}

double centreY(const PlacedText& t) {
    return (t.minY + t.maxY) / 2;
}

// The value cell of a label: the nearest text to its right on its line, else the nearest
// right below it. Title-block cells are a few text heights apart at most.
const PlacedText* valueBeside(const std::vector<PlacedText>& texts, const PlacedText& label,
                              const std::vector<bool>& isLabel) {
    const double height = std::max(label.maxY - label.minY, 1e-9);
    const PlacedText* best = nullptr;
    double bestGap = 25.0 * height;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const PlacedText& t = texts[i];
        if (isLabel[i] || &t == &label) continue;
        const double tolerance = 0.6 * std::max(height, t.maxY - t.minY);
        if (std::fabs(centreY(t) - centreY(label)) > tolerance) continue;
        const double gap = t.minX - label.maxX;
        if (gap < -0.5 * height || gap >= bestGap) continue;
        bestGap = gap;
        best = &t;
    }
    if (best) return best;
    bestGap = 4.0 * height;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const PlacedText& t = texts[i];
        if (isLabel[i] || &t == &label) continue;
        if (t.maxX < label.minX || t.minX > label.maxX) continue;
        const double gap = label.minY - t.maxY;
        if (gap < -0.2 * height || gap >= bestGap) continue;
        bestGap = gap;
        best = &t;
    }
    return best;
}

// The cells of the GB/T 10609.1 title block (180 × 56): sheet millimetres leftwards from its
// right side (u) and upwards from its bottom (v). Name and drawing number in the right
// column, the material mark at the top of the middle one, weight and scale values under
// their labels left of the right column.
struct GbCell {
    TitleField field;
    double u0, u1, v0, v1;
};
const GbCell kGbCells[] = {
    {TitleField::Name, 0, 50, 20, 38},       {TitleField::Number, 0, 50, 0, 20},
    {TitleField::Material, 50, 100, 36, 56}, {TitleField::Scale, 50, 62, 6, 30},
    {TitleField::Weight, 62, 74, 6, 30},
};
constexpr double kGbWidth = 180.0, kGbHeight = 56.0;

// Captions printed in a GB title block's cells: never a value.
bool isGbCaption(const std::string& text) {
    static const char* const kCaptions[] = {
        "阶段标记", "标记", "处数", "分区", "更改文件号", "签名",     "年月日",
        "设计",     "审核", "工艺", "批准", "标准化",     "投影符号", "单位名称"};
    const std::string key = labelKey(text);
    for (const char* caption : kCaptions)
        if (key == caption) return true;
    return fieldOfLabel(text).has_value();
}

void fieldsFromGbCells(const std::vector<PlacedText>& texts, const drawing::PlotWindow& block,
                       TitleFields& fields) {
    const double scale = (block.maxX - block.minX) / kGbWidth;
    if (!(scale > 0) || std::fabs((block.maxY - block.minY) / scale - kGbHeight) > 0.1 * kGbHeight)
        return;
    for (const GbCell& cell : kGbCells) {
        if (!fields[cell.field].empty()) continue;
        const PlacedText* best = nullptr;
        for (const PlacedText& t : texts) {
            const double u = (block.maxX - (t.minX + t.maxX) / 2) / scale;
            const double v = (centreY(t) - block.minY) / scale;
            if (u < cell.u0 || u > cell.u1 || v < cell.v0 || v > cell.v1 || isGbCaption(t.text))
                continue;
            // The tallest text of a cell: a name written large beside small notes.
            if (best == nullptr || t.maxY - t.minY > best->maxY - best->minY) best = &t;
        }
        if (best != nullptr) fields[cell.field] = best->text;
    }
}

std::optional<double> leadingNumber(const std::string& text, bool wholeOnly) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') continue;
        const char* begin = text.c_str() + i;
        char* end = nullptr;
        const double value = wholeOnly ? static_cast<double>(std::strtol(begin, &end, 10))
                                       : std::strtod(begin, &end);
        if (end == begin || !std::isfinite(value)) return std::nullopt;
        return value;
    }
    return std::nullopt;
}

void addPlacedText(host::DrawingAccess& ds, host::ObjectId entity, const host::Matrix3d& toWorld,
                   std::vector<PlacedText>& out) {
    host::TextInfo info;
    if (!host::succeeded(ds.textInfo(entity, info))) return;
    PlacedText placed;
    placed.text = std::string(trimControlAndSpace(drawing::plainMText(info.text)));
    if (placed.text.empty()) return;
    host::Extents3d box;
    if (!host::succeeded(ds.geometricExtents(entity, box)) || box.isEmpty()) {
        // A box from the insertion point when the host cannot measure the text.
        const double h = info.height > 0 ? info.height : 2.5;
        box = {};
        box.add(info.position);
        box.add(host::Point3d{info.position.x + h * 0.8 * placed.text.size() / 2,
                              info.position.y + h, info.position.z});
    }
    host::Extents3d world;
    for (const double x : {box.min.x, box.max.x})
        for (const double y : {box.min.y, box.max.y})
            world.add(toWorld.transform(host::Point3d{x, y, 0.0}));
    placed.minX = world.min.x;
    placed.minY = world.min.y;
    placed.maxX = world.max.x;
    placed.maxY = world.max.y;
    out.push_back(std::move(placed));
}

}  // namespace

std::optional<TitleField> fieldOfLabel(const std::string& label) {
    const std::string key = labelKey(label);
    for (const LabelWords& entry : labelWords())
        for (const std::string& word : entry.words)
            if (key == word) return entry.field;
    return std::nullopt;
}

void fieldsFromAttributes(const std::vector<std::pair<std::string, std::string>>& attributes,
                          TitleFields& fields) {
    for (const auto& [tag, text] : attributes) {
        const auto field = fieldOfLabel(tag);
        const std::string value(trimControlAndSpace(text));
        if (field && !value.empty() && fields[*field].empty()) fields[*field] = value;
    }
}

void fieldsFromTexts(const std::vector<PlacedText>& texts, TitleFields& fields,
                     const drawing::PlotWindow* gbBlock) {
    std::vector<bool> isLabel(texts.size(), false);
    std::vector<std::optional<TitleField>> labelField(texts.size());
    std::vector<bool> inlineLabel(texts.size(), false);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        labelField[i] = fieldOfLabel(texts[i].text);
        // A one-letter "T" is a label only where a title block would have it: beside a number.
        isLabel[i] = labelField[i].has_value();
        const std::optional<InlineLabel> split = splitInlineLabel(texts[i].text);
        inlineLabel[i] = split.has_value();
        if (split && fields[split->field].empty()) fields[split->field] = split->value;
    }
    // The cells of a GB block before neighbours: its label-over-value rows put another label,
    // or the large drawing name, to the right of a label on its line.
    if (gbBlock != nullptr) fieldsFromGbCells(texts, *gbBlock, fields);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (inlineLabel[i] || !labelField[i] || !fields[*labelField[i]].empty()) continue;
        const PlacedText* cell = valueBeside(texts, texts[i], isLabel);
        if (cell == nullptr) continue;
        if (*labelField[i] == TitleField::Thickness && !thicknessOf(cell->text)) continue;
        fields[*labelField[i]] = cell->text;
    }
}

std::optional<double> thicknessOf(const std::string& text) {
    const auto value = leadingNumber(text, false);
    if (!value || *value <= 0.0) return std::nullopt;
    return value;
}

std::optional<int> quantityOf(const std::string& text) {
    const auto value = leadingNumber(text, true);
    if (!value || *value < 1.0 || *value > 1e6) return std::nullopt;
    return static_cast<int>(*value);
}

std::optional<double> weightKgOf(const std::string& text) {
    const auto start = text.find_first_of("0123456789");
    if (start == std::string::npos) return std::nullopt;
    const char* begin = text.c_str() + start;
    char* end = nullptr;
    const double value = std::strtod(begin, &end);
    if (end == begin || !std::isfinite(value) || value <= 0.0) return std::nullopt;
    const std::string unit = toLowerUtf8(trimControlAndSpace(std::string_view(end)));
    const auto startsWith = [&unit](std::string_view word) { return unit.rfind(word, 0) == 0; };
    if (startsWith("kg") || startsWith("千克") || startsWith("公斤")) return value;
    if (startsWith("g") || startsWith("克")) return value / 1000.0;
    if (startsWith("t") || startsWith("吨")) return value * 1000.0;
    return value;
}

TitleFields readTitleBlock(host::DrawingAccess& ds, const std::vector<host::ObjectId>& entities) {
    TitleFields fields;
    std::vector<PlacedText> texts;
    for (const host::ObjectId entity : entities) {
        host::EntityInfo info;
        if (!host::succeeded(ds.entityInfo(entity, info))) continue;
        if (info.type == host::EntityType::Text || info.type == host::EntityType::MText) {
            addPlacedText(ds, entity, host::Matrix3d::identity(), texts);
        } else if (info.type == host::EntityType::BlockReference) {
            std::vector<std::pair<std::string, std::string>> attributes;
            for (const host::ObjectId attribute : ds.attributes(entity)) {
                host::TextInfo text;
                if (host::succeeded(ds.textInfo(attribute, text)))
                    attributes.emplace_back(text.tag, drawing::plainMText(text.text));
            }
            fieldsFromAttributes(attributes, fields);
            host::BlockReferenceInfo reference;
            if (!host::succeeded(ds.blockReference(entity, reference))) continue;
            for (const host::ObjectId inner : ds.blockEntities(reference.blockRecord)) {
                host::EntityInfo innerInfo;
                if (host::succeeded(ds.entityInfo(inner, innerInfo)) &&
                    (innerInfo.type == host::EntityType::Text ||
                     innerInfo.type == host::EntityType::MText))
                    addPlacedText(ds, inner, reference.transform, texts);
            }
        }
    }
    std::optional<drawing::PlotWindow> gbBlock;
    for (const drawing::DrawnFrame& frame : drawing::findDrawnFrames(ds, entities))
        if (frame.hasTitleBlock) {
            gbBlock = frame.titleBlock;
            break;
        }
    fieldsFromTexts(texts, fields, gbBlock ? &*gbBlock : nullptr);
    return fields;
}

}  // namespace qks::bom
