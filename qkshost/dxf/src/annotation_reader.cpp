#include "annotation_reader.h"

#include <algorithm>
#include <cstdlib>

namespace qkshost::dxf::detail {

// TEXT, ATTDEF, ATTRIB. Returns the parsed entity (ATTRIB is placed by the caller).
template <class T>
std::unique_ptr<T> AnnotationReader::parseText(CommonGroups& c) {
    auto e = std::make_unique<T>();
    c = common_.parseCommon(*e);
    constexpr bool isAttr = !std::is_same<T, Text>::value;
    bool ownSection = true;
    common_.own(c, [&](const Tag& g) {
        if (g.code == 101) {  // embedded multiline attribute data follows
            ownSection = false;
            return false;
        }
        if (common_.coord(g, 10, e->position) || common_.planar(*e, g)) return true;
        if (common_.coord(g, 11, e->alignment)) {
            e->hasAlignment = true;
            return true;
        }
        static constexpr Field<TextBase> kFields[] = {
            {40, &TextBase::height},         {41, &TextBase::widthFactor},
            {50, &TextBase::rotation, kDeg}, {51, &TextBase::oblique, kDeg},
            {71, &TextBase::generation},     {72, &TextBase::hAlign}};
        if (common_.assign(*e, g, kFields)) return true;
        switch (g.code) {
            case 1:
                e->text = in_.str(g);
                break;
            case 7:
                e->style = common_.styleFor(g);
                break;
            case 73:
                if constexpr (isAttr)
                    static_cast<T&>(*e).fieldLength = in_.int32(g);
                else
                    e->vAlign = in_.int32(g);
                break;
            case 74:
                if constexpr (isAttr) e->vAlign = in_.int32(g);
                break;
            default:
                if constexpr (isAttr) {
                    if (g.code == 2)
                        e->tag = in_.str(g);
                    else if (g.code == 70)
                        e->attribFlags = in_.int32(g);
                    else if (g.code == 280 && false) {
                    }
                }
                if constexpr (std::is_same<T, AttributeDefinition>::value)
                    if (g.code == 3) e->prompt = in_.str(g);
                break;
        }
        return true;
    });
    (void)ownSection;
    if (!e->style) e->style = common_.defaultStyle();
    common_.fixExtrusion(*e);
    return e;
}

template <class T>
void AnnotationReader::placeText(ObjectIndex block) {
    CommonGroups c;
    auto e = parseText<T>(c);
    common_.place(std::move(e), block, c);
}

void AnnotationReader::text(ObjectIndex block) {
    placeText<Text>(block);
}

void AnnotationReader::attributeDefinition(ObjectIndex block) {
    placeText<AttributeDefinition>(block);
}

void AnnotationReader::mtext(ObjectIndex block) {
    auto e = std::make_unique<MText>();
    CommonGroups c = common_.parseCommon(*e);
    std::string chunks;
    std::string last;
    bool hasDirection = false;
    Point3d dir;
    common_.own(c, [&](const Tag& g) {
        if (g.code == 101) return false;
        if (common_.coord(g, 10, e->position)) return true;
        if (common_.coord(g, 11, dir)) {
            hasDirection = true;
            return true;
        }
        static constexpr Field<MText> kFields[] = {
            {40, &MText::height},          {41, &MText::width},      {44, &MText::lineSpacing},
            {50, &MText::rotation, kDeg},  {71, &MText::attachment}, {72, &MText::drawingDirection},
            {73, &MText::lineSpacingStyle}};
        if (common_.planar(*e, g) || common_.assign(*e, g, kFields)) return true;
        switch (g.code) {
            case 1:
                last = in_.str(g);
                break;
            case 3:
                chunks += in_.str(g);
                break;
            case 7:
                e->style = common_.styleFor(g);
                break;
            default:
                break;
        }
        return true;
    });
    common_.fixExtrusion(*e);
    e->text = chunks + last;
    if (hasDirection && (dir.x != 0 || dir.y != 0 || dir.z != 0)) {
        e->direction = {dir.x, dir.y, dir.z};
        e->rotation = 0;
    } else {
        // rotation angle in the OCS of the extrusion
        Vector3d ax = ocsXAxis(e->extrusion);
        Vector3d ay = cross(e->extrusion, ax);
        double cs = std::cos(e->rotation), sn = std::sin(e->rotation);
        e->direction = {ax.x * cs + ay.x * sn, ax.y * cs + ay.y * sn, ax.z * cs + ay.z * sn};
    }
    if (e->attachment < 1 || e->attachment > 9) e->attachment = 1;
    if (!e->style) e->style = common_.defaultStyle();
    common_.place(std::move(e), block, c);
}

Vector3d AnnotationReader::cross(const Vector3d& a, const Vector3d& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Vector3d AnnotationReader::ocsXAxis(const Vector3d& n) {
    Vector3d ax = (std::fabs(n.x) < 1.0 / 64 && std::fabs(n.y) < 1.0 / 64) ? cross({0, 1, 0}, n)
                                                                           : cross({0, 0, 1}, n);
    double l = std::sqrt(ax.x * ax.x + ax.y * ax.y + ax.z * ax.z);
    return {ax.x / l, ax.y / l, ax.z / l};
}

void AnnotationReader::insert(ObjectIndex block) {
    auto e = std::make_unique<BlockReference>();
    CommonGroups c = common_.parseCommon(*e);
    std::string name;
    common_.own(c, [&](const Tag& g) {
        static constexpr Field<BlockReference> kFields[] = {
            {41, &BlockReference::scaleX},        {42, &BlockReference::scaleY},
            {43, &BlockReference::scaleZ},        {50, &BlockReference::rotation, kDeg},
            {44, &BlockReference::columnSpacing}, {45, &BlockReference::rowSpacing}};
        if (common_.coord(g, 10, e->position) || common_.planar(*e, g) ||
            common_.assign(*e, g, kFields))
            return true;
        switch (g.code) {
            case 2:
                name = in_.str(g);
                break;
            case 70:
                e->columns = std::max(1, in_.int32(g));
                break;
            case 71:
                e->rows = std::max(1, in_.int32(g));
                break;
            default:
                break;
        }
        return true;
    });
    common_.fixExtrusion(*e);
    ObjectIndex ins = common_.place(std::move(e), block, c);
    ctx_.pendingBlockNames.push_back({ins, std::move(name)});
    Tag t;
    // attributes follow until SEQEND (the 66 flag is not trusted either way)
    bool sawAttrib = false;
    while (true) {
        in_.expectNext(t, "INSERT");
        if (t.is(0, "ATTRIB")) {
            in_.readRecord("ATTRIB");
            CommonGroups ac;
            auto a = parseText<Attribute>(ac);
            ObjectIndex ai = common_.addOwned(std::move(a), ins);
            db_.get<BlockReference>(ins)->attributes.push_back(ai);
            sawAttrib = true;
        } else if (t.is(0, "SEQEND") && sawAttrib) {
            in_.readRecord("SEQEND");
            auto s = std::make_unique<SeqEnd>();
            common_.parseCommon(*s);
            db_.get<BlockReference>(ins)->seqEnd = common_.addOwned(std::move(s), ins);
            return;
        } else {
            in_.pushBack(t);
            if (sawAttrib) {
                in_.warn();
                db_.get<BlockReference>(ins)->seqEnd =
                    common_.addOwned(std::make_unique<SeqEnd>(), ins);
            }
            return;
        }
    }
}

void AnnotationReader::dimension(ObjectIndex block) {
    auto e = std::make_unique<Dimension>();
    CommonGroups c = common_.parseCommon(*e);
    std::string name, style;
    common_.own(c, [&](const Tag& g) {
        if (common_.coord(g, 10, e->defPoint) || common_.coord(g, 11, e->textMid) ||
            common_.coord(g, 12, e->insertPoint) || common_.coord(g, 13, e->p13) ||
            common_.coord(g, 14, e->p14) || common_.coord(g, 15, e->p15) ||
            common_.coord(g, 16, e->p16) || common_.planar(*e, g))
            return true;
        static constexpr Field<Dimension> kFields[] = {
            {70, &Dimension::dimType},          {71, &Dimension::attachment},
            {72, &Dimension::lineSpacingStyle}, {41, &Dimension::lineSpacing},
            {42, &Dimension::measurement},      {50, &Dimension::angle, kDeg},
            {52, &Dimension::oblique, kDeg},    {53, &Dimension::textRotation, kDeg},
            {40, &Dimension::leaderLength}};
        if (common_.assign(*e, g, kFields)) return true;
        switch (g.code) {
            case 2:
                name = in_.str(g);
                break;
            case 3:
                style = in_.str(g);
                break;
            case 1:
                e->text = in_.str(g);
                break;
            default:
                break;
        }
        return true;
    });
    common_.fixExtrusion(*e);
    e->dimStyle = db_.findDimStyle(style.empty() ? "Standard" : style);
    ObjectIndex i = common_.place(std::move(e), block, c);
    if (!name.empty()) ctx_.pendingBlockNames.push_back({i, std::move(name)});
}

}  // namespace qkshost::dxf::detail
