#include "annotation_writer.h"

#include "entity_writer.h"

namespace qkshost::dxf::detail {

void AnnotationWriter::text(const TextBase& t, bool paper) {
    common_.common(t, paper);
    o_.str(100, "AcDbText");
    common_.thickness(t);
    o_.point(10, t.position);
    o_.num(40, t.height);
    o_.str(1, t.text);
    if (t.rotation != 0) o_.num(50, t.rotation * kRadToDeg);
    if (t.widthFactor != 1) o_.num(41, t.widthFactor);
    if (t.oblique != 0) o_.num(51, t.oblique * kRadToDeg);
    o_.str(7, styleName(t.style));
    if (t.generation) o_.integer(71, t.generation);
    if (t.hAlign) o_.integer(72, t.hAlign);
    if (t.hasAlignment) o_.point(11, t.alignment);
    common_.extrusion(t);
    if (t.kind() == Kind::Text) {
        o_.str(100, "AcDbText");
        if (t.vAlign) o_.integer(73, t.vAlign);
    } else if (t.kind() == Kind::Attribute) {
        auto& a = static_cast<const Attribute&>(t);
        o_.str(100, "AcDbAttribute");
        o_.integer(280, 0);
        o_.str(2, a.tag);
        o_.integer(70, a.attribFlags);
        if (a.fieldLength) o_.integer(73, a.fieldLength);
        if (t.vAlign) o_.integer(74, t.vAlign);
    } else {
        auto& a = static_cast<const AttributeDefinition&>(t);
        o_.str(100, "AcDbAttributeDefinition");
        o_.integer(280, 0);
        o_.str(3, a.prompt);
        o_.str(2, a.tag);
        o_.integer(70, a.attribFlags);
        if (a.fieldLength) o_.integer(73, a.fieldLength);
        if (t.vAlign) o_.integer(74, t.vAlign);
    }
}

std::string AnnotationWriter::styleName(ObjectIndex s) {
    auto* st = db_.get<TextStyleRecord>(s);
    return st && !st->erased ? st->name : "Standard";
}

void AnnotationWriter::mtext(const MText& m, bool paper) {
    common_.common(m, paper);
    o_.str(100, "AcDbMText");
    o_.point(10, m.position);
    o_.num(40, m.height);
    o_.num(41, m.width);
    o_.integer(71, m.attachment);
    o_.integer(72, m.drawingDirection);
    // chunks of at most 250 bytes, never splitting a UTF-8 sequence
    std::string_view rest = m.text;
    while (rest.size() > 250) {
        std::size_t n = 250;
        while (n > 0 && (static_cast<unsigned char>(rest[n]) & 0xC0) == 0x80)
            --n;
        if (n == 0) n = 250;
        o_.str(3, rest.substr(0, n));
        rest.remove_prefix(n);
    }
    o_.str(1, rest);
    o_.str(7, styleName(m.style));
    common_.extrusion(m);
    o_.vec(11, m.direction);
    o_.integer(73, m.lineSpacingStyle);
    o_.num(44, m.lineSpacing);
}

void AnnotationWriter::insert(const BlockReference& r, bool paper) {
    common_.common(r, paper);
    o_.str(100, "AcDbBlockReference");
    bool attribs = false;
    for (ObjectIndex a : r.attributes)
        if (auto* ao = db_.object(a); ao && !ao->erased) attribs = true;
    if (attribs) o_.integer(66, 1);
    o_.str(2, db_.blockName(r.block));
    o_.point(10, r.position);
    if (r.scaleX != 1) o_.num(41, r.scaleX);
    if (r.scaleY != 1) o_.num(42, r.scaleY);
    if (r.scaleZ != 1) o_.num(43, r.scaleZ);
    if (r.rotation != 0) o_.num(50, r.rotation * kRadToDeg);
    if (r.columns > 1) o_.integer(70, r.columns);
    if (r.rows > 1) o_.integer(71, r.rows);
    if (r.columnSpacing != 0) o_.num(44, r.columnSpacing);
    if (r.rowSpacing != 0) o_.num(45, r.rowSpacing);
    common_.extrusion(r);
    common_.xdata(r);
    if (!attribs) return;
    for (ObjectIndex a : r.attributes)
        entities_.entity(a, paper);
    common_.seqend(r.seqEnd, r, paper);
}

void AnnotationWriter::dimension(const Dimension& d, bool paper) {
    common_.common(d, paper);
    o_.str(100, "AcDbDimension");
    o_.integer(280, 0);
    if (auto* b = db_.get<BlockRecord>(d.block))
        if (!b->erased) o_.str(2, b->name);
    o_.point(10, d.defPoint);
    o_.point(11, d.textMid);
    o_.integer(70, d.dimType);
    o_.integer(71, d.attachment);
    o_.integer(72, d.lineSpacingStyle);
    o_.num(41, d.lineSpacing);
    if (d.measurement != 0) o_.num(42, d.measurement);
    o_.str(1, d.text);
    if (d.textRotation != 0) o_.num(53, d.textRotation * kRadToDeg);
    common_.extrusion(d);
    auto* ds = db_.get<DimStyleRecord>(d.dimStyle);
    o_.str(3, ds && !ds->erased ? ds->name : "Standard");
    switch (d.dimType & 0x0F) {
        case 0:
        case 1:
            o_.str(100, "AcDbAlignedDimension");
            o_.point(12, d.insertPoint);
            o_.point(13, d.p13);
            o_.point(14, d.p14);
            if ((d.dimType & 0x0F) == 0) {
                o_.num(50, d.angle * kRadToDeg);
                if (d.oblique != 0) o_.num(52, d.oblique * kRadToDeg);
                o_.str(100, "AcDbRotatedDimension");
            } else if (d.oblique != 0) {
                o_.num(52, d.oblique * kRadToDeg);
            }
            break;
        case 2:
            o_.str(100, "AcDb2LineAngularDimension");
            o_.point(13, d.p13);
            o_.point(14, d.p14);
            o_.point(15, d.p15);
            o_.point(16, d.p16);
            break;
        case 3:
        case 4:
            o_.str(100, (d.dimType & 0x0F) == 3 ? "AcDbDiametricDimension" : "AcDbRadialDimension");
            o_.point(15, d.p15);
            o_.num(40, d.leaderLength);
            break;
        case 5:
            o_.str(100, "AcDb3PointAngularDimension");
            o_.point(13, d.p13);
            o_.point(14, d.p14);
            o_.point(15, d.p15);
            break;
        case 6:
            o_.str(100, "AcDbOrdinateDimension");
            o_.point(13, d.p13);
            o_.point(14, d.p14);
            break;
        default:
            break;
    }
}

void AnnotationWriter::viewport(const Viewport& v, bool paper) {
    common_.common(v, paper);
    o_.str(100, "AcDbViewport");
    o_.point(10, v.center);
    o_.num(40, v.width);
    o_.num(41, v.height);
    o_.integer(68, v.status);
    o_.integer(69, v.id);
    o_.point(12, v.viewCenter, false);
    o_.point(13, {0, 0, 0}, false);
    o_.point(14, {10, 10, 0}, false);
    o_.point(15, {10, 10, 0}, false);
    o_.vec(16, v.viewDirection);
    o_.point(17, v.viewTarget);
    o_.num(42, v.lensLength);
    o_.num(43, 0);
    o_.num(44, 0);
    o_.num(45, v.viewHeight);
    o_.num(50, 0);
    o_.num(51, v.twist * kRadToDeg);
    o_.integer(72, 1000);
    for (ObjectIndex l : v.frozenLayers)
        if (const Object* layer = db_.get<LayerRecord>(l)) o_.handle(331, layer->handle);
    o_.integer(90, v.flags);
    o_.integer(281, v.renderMode);
    o_.integer(71, 1);
    o_.integer(74, 0);
    o_.point(110, {0, 0, 0});
    o_.vec(111, {1, 0, 0});
    o_.vec(112, {0, 1, 0});
    o_.integer(79, 0);
    o_.num(146, 0);
    o_.integer(170, 0);
}

}  // namespace qkshost::dxf::detail
