#include "entity_reader.h"

namespace qkshost::dxf::detail {

void EntityReader::readEntities() {
    ctx_.beginSection();
    Tag t;
    while (true) {
        in_.expectNext(t, "ENTITIES");
        if (t.is(0, "ENDSEC")) return;
        if (t.code != 0) in_.fail(t, "unexpected '" + in_.shown(t) + "' in ENTITIES");
        if (t.is(0, "EOF")) in_.fail(t, "unexpected EOF in ENTITIES");
        readEntity(t, 0);
    }
}

void EntityReader::readEntity(const Tag& head, ObjectIndex block) {
    std::string_view type = head.text;
    std::size_t line = head.pos;
    for (const char* reserved :
         {"SECTION", "ENDSEC", "TABLE", "ENDTAB", "BLOCK", "ENDBLK", "EOF", "CLASS"})
        if (type == reserved) in_.failAt(line, "unexpected " + std::string(type));
    if (type.find('\0') != std::string_view::npos) in_.failAt(line, "invalid entity type");
    in_.readRecord("entity");
    if (type == "LINE")
        curves_.line(block);
    else if (type == "CIRCLE" || type == "ARC")
        curves_.circle(block, type == "ARC");
    else if (type == "ELLIPSE")
        curves_.ellipse(block);
    else if (type == "LWPOLYLINE")
        curves_.lwpolyline(block);
    else if (type == "POLYLINE")
        curves_.polyline(block);
    else if (type == "SPLINE")
        curves_.spline(block);
    else if (type == "POINT")
        curves_.point(block);
    else if (type == "TEXT")
        annotations_.text(block);
    else if (type == "ATTDEF")
        annotations_.attributeDefinition(block);
    else if (type == "MTEXT")
        annotations_.mtext(block);
    else if (type == "INSERT")
        annotations_.insert(block);
    else if (type == "SOLID")
        curves_.solid(block);
    else if (type == "HATCH")
        hatches_.hatch(block);
    else if (type == "DIMENSION")
        annotations_.dimension(block);
    else if (type == "VIEWPORT")
        viewport(block);
    else if (type == "VERTEX" || type == "SEQEND" || type == "ATTRIB") {
        in_.warn();  // stray sequence member outside its owner: dropped
    } else {
        if (type.empty()) in_.failAt(line, "entity without a type");
        unknown(std::string(type), block);
    }
}

void EntityReader::viewport(ObjectIndex block) {
    auto e = std::make_unique<Viewport>();
    CommonGroups c = common_.parseCommon(*e);
    Point3d dir{0, 0, 1}, target;
    std::vector<Handle> frozen;
    common_.own(c, [&](const Tag& g) {
        static constexpr Field<Viewport> kFields[] = {
            {40, &Viewport::width},       {41, &Viewport::height},
            {68, &Viewport::status},      {69, &Viewport::id},
            {42, &Viewport::lensLength},  {45, &Viewport::viewHeight},
            {51, &Viewport::twist, kDeg}, {90, &Viewport::flags},
            {281, &Viewport::renderMode}};
        if (common_.coord(g, 10, e->center) || common_.coord(g, 17, target) ||
            common_.coord(g, 16, dir) || common_.assign(*e, g, kFields))
            return true;
        switch (g.code) {
            case 12:
                e->viewCenter.x = in_.num(g);
                break;
            case 22:
                e->viewCenter.y = in_.num(g);
                break;
            case 331:  // frozen layers; older writers used 341
            case 341:
                if (Handle h = in_.handle(g)) frozen.push_back(h);
                break;
            default:
                break;
        }
        return true;
    });
    e->viewDirection = {dir.x, dir.y, dir.z};
    e->viewTarget = target;
    ObjectIndex placed = common_.place(std::move(e), block, c);
    for (Handle h : frozen)
        ctx_.pendingViewportLayer.push_back({placed, h});
}

void EntityReader::unknown(std::string type, ObjectIndex block) {
    auto e = std::make_unique<UnknownEntity>();
    e->type = std::move(type);
    CommonGroups c = common_.parseCommon(*e);
    common_.fillTail(*e, c);
    for (auto& t : e->tail)
        if ((t.code >= 320 && t.code <= 369) || (t.code >= 390 && t.code <= 399) || t.code == 480 ||
            t.code == 481)
            e->hasPointers = true;
    common_.place(std::move(e), block, c);
}

}  // namespace qkshost::dxf::detail
