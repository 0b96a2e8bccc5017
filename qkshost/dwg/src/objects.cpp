#include "sections.h"

#include <cmath>

namespace qkshost::dwg {

namespace {

enum Type : int {
    kText = 0x01,
    kAttrib = 0x02,
    kAttdef = 0x03,
    kBlock = 0x04,
    kEndblk = 0x05,
    kSeqend = 0x06,
    kInsert = 0x07,
    kMinsert = 0x08,
    kVertex2d = 0x0A,
    kVertex3d = 0x0B,
    kVertexMesh = 0x0C,
    kVertexPface = 0x0D,
    kVertexPfaceFace = 0x0E,
    kPolyline2d = 0x0F,
    kPolyline3d = 0x10,
    kPolylinePface = 0x1D,
    kPolylineMesh = 0x1E,
    kArc = 0x11,
    kCircle = 0x12,
    kLine = 0x13,
    kDimOrdinate = 0x14,
    kDimLinear = 0x15,
    kDimAligned = 0x16,
    kDimAng3pt = 0x17,
    kDimAng2ln = 0x18,
    kDimRadius = 0x19,
    kDimDiameter = 0x1A,
    kPoint = 0x1B,
    kSolid = 0x1F,
    kViewport = 0x22,
    kEllipse = 0x23,
    kSpline = 0x24,
    kRegion = 0x25,
    kSolid3d = 0x26,
    kBody = 0x27,
    kDictionary = 0x2A,
    kMtext = 0x2C,
    kBlockHeader = 0x31,
    kLayer = 0x33,
    kStyle = 0x35,
    kLtype = 0x39,
    kAppid = 0x43,
    kDimstyle = 0x45,
    kLwpline = 0x4D,
    kHatch = 0x4E,
    kLayout = 0x52,
    kProxyEntity = 0x1F2,
    kProxyObject = 0x1F3,
};

// Entity types of the fixed numbering (classes say it themselves).
bool fixedIsEntity(int t) {
    return (t >= 0x01 && t <= 0x29) || t == 0x2C || t == 0x2D || t == 0x2E || t == 0x2F ||
           t == 0x4D || t == 0x4E;
}

int lineweightOf(int index) {
    static const int kWeights[] = {0,  5,  9,  13, 15, 18,  20,  25,  30,  35,  40,  50,
                                   53, 60, 70, 80, 90, 100, 106, 120, 140, 158, 200, 211};
    if (index >= 0 && index < 24) return kWeights[index];
    return index == 29 ? -1 : index == 30 ? -2 : -3;
}

struct Decoder {
    const Sections& s;
    const TextContext& tc;
    Drawing& out;
    Version v;
    Streams st;
    Handle self = 0;

    BitReader& d() { return st.data; }
    std::string T() { return tc.read(st.t()); }
    Handle H() { return st.h().H().resolve(self); }
    std::vector<Handle> handles(std::uint64_t n) {
        std::vector<Handle> r;
        if (!st.h().fits(n, 8)) {
            st.h().fail();
            return r;
        }
        r.reserve(std::size_t(n));
        for (std::uint64_t i = 0; i < n; ++i)
            r.push_back(H());
        return r;
    }
    std::uint32_t count(std::size_t minBits) {
        std::int32_t n = d().BL();
        if (n < 0 || !d().fits(std::uint64_t(n), minBits)) {
            d().fail();
            return 0;
        }
        return std::uint32_t(n);
    }

    // ----- tables -----
    struct TableHead {
        std::string name;
        int flags = 0;
    };
    TableHead tableCommon() {
        TableHead th;
        th.name = T();
        if (v >= R2007) {
            int xref = d().BS();
            if (xref & 0x100) th.flags |= 16;
        } else {
            if (d().B()) th.flags |= 64;
            d().BS();
            if (d().B()) th.flags |= 16;
        }
        return th;
    }
    void layer(Record& r) {
        LayerRec L;
        TableHead th = tableCommon();
        L.name = th.name;
        L.flags = th.flags;
        if (v <= R14) {
            if (d().B()) L.flags |= 1;
            d().B();
            if (d().B()) L.flags |= 2;
            if (d().B()) L.flags |= 4;
        } else {
            int values = d().BS();
            if (values & 1) L.flags |= 1;
            L.off = values & 2;
            if (values & 4) L.flags |= 2;
            if (values & 8) L.flags |= 4;
            L.plot = values & 16;
            L.lineweight = lineweightOf((values & 0x3E0) >> 5);
        }
        L.color = d().CMC(st.t());
        if (L.color.index < 0) {
            L.off = true;
            L.color.index = std::int16_t(-L.color.index);
        }
        commonObjectHandles(r);
        H();  // xref block
        if (v >= R2000) L.plotStyle = H();
        if (v >= R2007) H();
        L.linetype = H();
        r.data = std::move(L);
    }
    void appid(Record& r) {
        AppIdRec A;
        TableHead th = tableCommon();
        A.name = th.name;
        A.flags = th.flags;
        d().RC();  // unknown, always 0
        commonObjectHandles(r);
        r.data = std::move(A);
    }
    void style(Record& r) {
        StyleRec S;
        TableHead th = tableCommon();
        S.name = th.name;
        S.flags = th.flags;
        if (d().B()) S.flags |= 4;
        if (d().B()) S.flags |= 1;
        S.height = d().BD();
        S.widthFactor = d().BD();
        S.oblique = d().BD();
        S.generation = d().RC();
        S.lastHeight = d().BD();
        S.fontFile = T();
        S.bigFont = T();
        commonObjectHandles(r);
        r.data = std::move(S);
    }
    void ltype(Record& r) {
        LinetypeRec L;
        TableHead th = tableCommon();
        L.name = th.name;
        L.flags = th.flags;
        L.description = T();
        L.patternLength = d().BD();
        L.alignment = d().RC();
        int n = d().RC();
        bool hasText = false;
        for (int i = 0; i < n && !d().failed(); ++i) {
            LinetypeDash dash;
            dash.length = d().BD();
            dash.shape = d().BS();
            dash.xOffset = d().RD();
            dash.yOffset = d().RD();
            dash.scale = d().BD();
            dash.rotation = d().BD();
            dash.shapeFlags = d().BS();
            if (dash.shapeFlags & 2) hasText = true;
            L.dashes.push_back(dash);
        }
        std::size_t area = v <= R2004 ? 256 : hasText ? 512 : 0;
        std::size_t areaStart = d().pos();
        d().skipBits(area * 8);
        if (hasText && !d().failed()) {
            for (auto& dash : L.dashes) {
                if (!(dash.shapeFlags & 2)) continue;
                std::size_t at = std::size_t(std::uint16_t(dash.shape)) * (v >= R2007 ? 1 : 1);
                BitReader a = d();
                a.seek(areaStart + at * 8);
                std::string txt;
                if (v >= R2007) {
                    for (std::uint32_t u; (u = a.RS()) != 0 && !a.failed() && txt.size() < 512;)
                        appendUtf8(txt, u);
                } else {
                    for (char c; (c = char(a.RC())) != 0 && !a.failed() && txt.size() < 256;)
                        txt += c;
                    txt = tc.decode(txt, tc.codePage);
                }
                dash.text = txt;
            }
        }
        commonObjectHandles(r);
        H();  // xref block
        for (auto& dash : L.dashes)
            dash.style = H();
        r.data = std::move(L);
    }
    void blockHeader(Record& r) {
        BlockRecordRec B;
        TableHead th = tableCommon();
        B.name = th.name;
        B.flags = th.flags;
        if (d().B()) B.flags |= 1;
        if (d().B()) B.flags |= 2;
        bool xref = d().B(), overlay = d().B();
        if (xref) B.flags |= 4;
        if (overlay) B.flags |= 8;
        if (v >= R2000) d().B();
        std::uint32_t owned = 0;
        if (v >= R2004 && !xref && !overlay) owned = count(0);  // handles: checked there
        B.base = d().BD3();
        B.xrefPath = T();
        std::uint32_t inserts = 0;
        if (v >= R2000) {
            while (d().RC() != 0 && !d().failed())
                ++inserts;
            B.description = T();
            std::uint32_t preview = count(8);
            d().skipBits(std::size_t(preview) * 8);
        }
        if (v >= R2007) {
            B.units = d().BS();
            B.explodable = d().B();
            B.scalable = d().RC() != 0;
        }
        commonObjectHandles(r);
        H();  // xref block / null
        if (v <= R2000 && !xref && !overlay) {
            B.firstEntity = H();
            B.lastEntity = H();
        }
        if (v >= R2004) B.entities = handles(owned);
        B.block = H();
        B.endBlock = H();
        if (v >= R2000) {
            handles(inserts);
            B.layout = H();
        }
        r.data = std::move(B);
    }
    void dimstyle(Record& r) {
        DimStyleRec D;
        TableHead th = tableCommon();
        D.name = th.name;
        D.flags = th.flags;
        if (v >= R2000) {
            T();
            T();
            D.dimscale = d().BD();
            D.dimasz = d().BD();
            D.dimexo = d().BD();
            D.dimdli = d().BD();
            D.dimexe = d().BD();
            for (int i = 0; i < 4; ++i)
                d().BD();
            if (v >= R2007) {
                d().BD();
                d().BD();
                d().BS();
                d().CMC(st.t());
            }
            for (int i = 0; i < 6; ++i)
                d().B();
            for (int i = 0; i < 3; ++i)
                d().BS();
            if (v >= R2007) d().BS();
            D.dimtxt = d().BD();
            D.dimcen = d().BD();
            d().BD();
            d().BD();
            D.dimlfac = d().BD();
            d().BD();
            d().BD();
            D.dimgap = d().BD();
        }
        commonObjectHandles(r);
        H();  // xref block
        if (v >= R2000) D.textStyle = H();
        r.data = std::move(D);
    }

    // ----- objects -----
    void dictionary(Record& r, bool withDefault) {
        DictionaryRec D;
        std::uint32_t n = count(0);  // names may lie in the string stream
        if (v == R14) d().RC();
        if (v >= R2000) {
            D.cloning = d().BS();
            D.hardOwner = d().RC() != 0;
        }
        std::vector<std::string> names;
        for (std::uint32_t i = 0; i < n && !st.failed(); ++i)
            names.push_back(T());
        commonObjectHandles(r);
        for (auto& nm : names)
            D.entries.emplace_back(std::move(nm), H());
        if (withDefault) D.defaultEntry = H();
        r.data = std::move(D);
    }
    void layout(Record& r) {
        LayoutRec L;
        PlotSettingsRec& P = L.plot;
        P.pageSetupName = T();
        P.device = T();
        P.flags = d().BS();
        P.marginLeft = d().BD();
        P.marginBottom = d().BD();
        P.marginRight = d().BD();
        P.marginTop = d().BD();
        P.paperWidth = d().BD();
        P.paperHeight = d().BD();
        P.media = T();
        P.originX = d().BD();
        P.originY = d().BD();
        P.paperUnits = d().BS();
        P.rotation = d().BS();
        P.plotType = d().BS();
        P.windowMinX = d().BD();
        P.windowMinY = d().BD();
        P.windowMaxX = d().BD();
        P.windowMaxY = d().BD();
        if (v <= R2000) P.viewName = T();
        P.numerator = d().BD();
        P.denominator = d().BD();
        P.styleSheet = T();
        P.standardScaleType = d().BS();
        P.scaleFactor = d().BD();
        P.imageOriginX = d().BD();
        P.imageOriginY = d().BD();
        if (v >= R2004) {
            P.shadePlotMode = d().BS();
            P.shadePlotResolution = d().BS();
            P.shadePlotDpi = d().BS();
        }
        L.name = T();
        L.tabOrder = d().BS();
        L.flags = d().BS();
        d().BD3();
        L.limMin = d().RD2();
        L.limMax = d().RD2();
        L.insBase = d().BD3();
        d().BD3();
        d().BD3();
        d().BD();
        d().BS();
        L.extMin = d().BD3();
        L.extMax = d().BD3();
        std::uint32_t viewports = v >= R2004 ? count(0) : 0;  // handles, in the handle stream
        (void)viewports;
        commonObjectHandles(r);
        if (v >= R2004) H();  // plot view
        if (v >= R2007) H();  // visual style
        L.block = H();
        r.data = std::move(L);
    }

    // Owner, reactors and extension dictionary of a non-entity object.
    std::uint32_t reactorCount = 0;
    bool xdicMissing = false;
    void commonObjectHandles(Record& r) {
        r.common.owner = H();
        r.common.reactors = handles(reactorCount);
        if (!xdicMissing) r.common.xdictionary = H();
    }

    // ----- entities -----
    struct EntityFlags {
        int entmode = 0, ltFlags = 0, plotFlags = 0, matFlags = 0;
        bool byLayerLt = false, noLinks = false, book = false, fullVs = false, faceVs = false,
             edgeVs = false;
    } ef;
    void entityHandles(Record& r) {
        EntityCommon& e = r.entity;
        if (ef.entmode == 0) r.common.owner = H();
        r.common.reactors = handles(reactorCount);
        if (!xdicMissing) r.common.xdictionary = H();
        if (v <= R14) {
            e.layer = H();
            if (!ef.byLayerLt) e.linetype = H();
        }
        if (v <= R2000 && !ef.noLinks) {
            e.prev = H();
            e.next = H();
        }
        if (v >= R2004 && ef.book) H();
        if (v >= R2000) {
            e.layer = H();
            if (ef.ltFlags == 3) e.linetype = H();
        }
        if (v >= R2007 && ef.matFlags == 3) H();
        if (v >= R2000 && ef.plotFlags == 3) e.plotStyle = H();
        if (v >= R2010) {
            if (ef.fullVs) H();
            if (ef.faceVs) H();
            if (ef.edgeVs) H();
        }
    }

    Vec3 point2RD(double z = 0) {
        Vec3 p = d().RD2();
        p.z = z;
        return p;
    }

    void line(Record& r) {
        LineRec L;
        if (v <= R14) {
            L.start = d().BD3();
            L.end = d().BD3();
        } else {
            bool zZero = d().B();
            L.start.x = d().RD();
            L.end.x = d().DD(L.start.x);
            L.start.y = d().RD();
            L.end.y = d().DD(L.start.y);
            if (!zZero) {
                L.start.z = d().RD();
                L.end.z = d().DD(L.start.z);
            }
        }
        L.thickness = d().BT();
        L.extrusion = d().BE();
        r.data = L;
    }
    void circle(Record& r, bool arc) {
        CircleRec C;
        C.center = d().BD3();
        C.radius = d().BD();
        C.thickness = d().BT();
        C.extrusion = d().BE();
        C.isArc = arc;
        if (arc) {
            C.startAngle = d().BD();
            C.endAngle = d().BD();
        } else {
            C.endAngle = 2 * M_PI;
        }
        r.data = C;
    }
    void point(Record& r) {
        PointRec P;
        P.position = d().BD3();
        P.thickness = d().BT();
        P.extrusion = d().BE();
        P.angle = d().BD();
        r.data = P;
    }
    void ellipse(Record& r) {
        EllipseRec E;
        E.center = d().BD3();
        E.majorAxis = d().BD3();
        E.extrusion = d().BD3();
        E.ratio = d().BD();
        E.startParam = d().BD();
        E.endParam = d().BD();
        r.data = E;
    }
    void text(Record& r, int type) {
        TextRec X;
        if (v <= R14) {
            X.elevation = d().BD();
            X.position = point2RD(X.elevation);
            X.alignment = point2RD(X.elevation);
            X.extrusion = d().BD3();
            X.thickness = d().BD();
            X.oblique = d().BD();
            X.rotation = d().BD();
            X.height = d().BD();
            X.widthFactor = d().BD();
            X.text = T();
            X.generation = d().BS();
            X.hAlign = d().BS();
            X.vAlign = d().BS();
            X.hasAlignment = X.hAlign != 0 || X.vAlign != 0;
        } else {
            int df = d().RC();
            if (!(df & 0x01)) X.elevation = d().RD();
            X.position = point2RD(X.elevation);
            if (!(df & 0x02)) {
                X.alignment.x = d().DD(X.position.x);
                X.alignment.y = d().DD(X.position.y);
                X.alignment.z = X.elevation;
                X.hasAlignment = true;
            }
            X.extrusion = d().BE();
            X.thickness = d().BT();
            if (!(df & 0x04)) X.oblique = d().RD();
            if (!(df & 0x08)) X.rotation = d().RD();
            X.height = d().RD();
            if (!(df & 0x10)) X.widthFactor = d().RD();
            X.text = T();
            if (!(df & 0x20)) X.generation = d().BS();
            if (!(df & 0x40)) X.hAlign = d().BS();
            if (!(df & 0x80)) X.vAlign = d().BS();
        }
        if (type != kText) {
            int attType = 1;
            if (v >= R2010) d().RC();
            if (v >= R2018) attType = d().RC();
            if (attType == 1) {
                X.tag = T();
                X.fieldLength = d().BS();
                X.attribFlags = d().RC();
                if (v >= R2007) X.lockPosition = d().B();
                if (type == kAttdef) {
                    if (v >= R2010) d().RC();
                    X.prompt = T();
                }
            }
        }
        entityHandles(r);
        X.style = H();
        r.data = std::move(X);
    }
    void insert(Record& r, bool minsert) {
        InsertRec I;
        I.position = d().BD3();
        if (v <= R14) {
            I.scale = d().BD3();
        } else {
            switch (d().BB()) {
                case 3:
                    I.scale = {1, 1, 1};
                    break;
                case 1:
                    I.scale.x = 1;
                    I.scale.y = d().DD(1);
                    I.scale.z = d().DD(1);
                    break;
                case 2:
                    I.scale.x = d().RD();
                    I.scale.y = I.scale.z = I.scale.x;
                    break;
                default:
                    I.scale.x = d().RD();
                    I.scale.y = d().DD(I.scale.x);
                    I.scale.z = d().DD(I.scale.x);
            }
        }
        I.rotation = d().BD();
        I.extrusion = d().BD3();
        bool hasAttribs = d().B();
        std::uint32_t owned = (v >= R2004 && hasAttribs) ? count(0) : 0;
        if (minsert) {
            I.columns = d().BS();
            I.rows = d().BS();
            I.columnSpacing = d().BD();
            I.rowSpacing = d().BD();
        }
        entityHandles(r);
        I.block = H();
        if (hasAttribs) {
            if (v <= R2000) {
                I.firstAttrib = H();
                I.lastAttrib = H();
            } else {
                I.attributes = handles(owned);
            }
            I.seqEnd = H();
        }
        r.data = std::move(I);
    }
    void vertex(Record& r, int type) {
        VertexRec V;
        if (type == kVertexPfaceFace) {  // a face: four vertex numbers, no flags nor position
            V.flags = 128;
            V.is3d = true;
            for (int& f : V.faces)
                f = std::int16_t(d().BS());
            r.data = V;
            return;
        }
        V.flags = d().RC();
        V.position = d().BD3();
        if (type == kVertex2d) {
            V.startWidth = d().BD();
            if (V.startWidth < 0)
                V.endWidth = V.startWidth = -V.startWidth;
            else
                V.endWidth = d().BD();
            V.bulge = d().BD();
            if (v >= R2010) d().BL();
            V.tangent = d().BD();
        } else {
            V.is3d = true;
            // DXF marks what kind of polyline a vertex belongs to
            if (type == kVertexMesh) V.flags |= 64;
            if (type == kVertexPface) V.flags |= 64 | 128;
        }
        r.data = V;
    }
    void polyline(Record& r, int type) {
        PolylineRec P;
        if (type == kPolyline2d) {
            P.flags = d().BS();
            P.curveType = d().BS();
            P.startWidth = d().BD();
            P.endWidth = d().BD();
            P.thickness = d().BT();
            P.elevation = d().BD();
            P.extrusion = d().BE();
        } else if (type == kPolylinePface) {
            P.is3d = true;
            P.flags = 64;
            P.meshM = d().BS();  // vertices
            P.meshN = d().BS();  // faces
        } else if (type == kPolylineMesh) {
            P.is3d = true;
            P.flags = d().BS() | 16;
            P.curveType = d().BS();
            P.meshM = d().BS();
            P.meshN = d().BS();
            P.smoothM = d().BS();
            P.smoothN = d().BS();
        } else {
            P.is3d = true;
            int spline = d().RC();
            int closed = d().RC();
            P.flags = 8 | (closed & 1) | ((spline & 0xFF) ? 4 : 0);
        }
        std::uint32_t owned = v >= R2004 ? count(0) : 0;
        entityHandles(r);
        if (v <= R2000) {
            P.firstVertex = H();
            P.lastVertex = H();
        } else {
            P.vertices = handles(owned);
        }
        P.seqEnd = H();
        r.data = std::move(P);
    }
    void solid(Record& r) {
        SolidRec S;
        S.thickness = d().BT();
        double z = d().BD();
        for (auto& c : S.corners)
            c = point2RD(z);
        S.extrusion = d().BE();
        r.data = S;
    }
    void lwpolyline(Record& r) {
        LwPolylineRec L;
        L.flags = d().BS();
        if (L.flags & 4) L.constantWidth = d().BD();
        if (L.flags & 8) L.elevation = d().BD();
        if (L.flags & 2) L.thickness = d().BD();
        if (L.flags & 1) L.extrusion = d().BD3();
        std::uint32_t n = count(2);
        std::uint32_t nb = (L.flags & 16) ? count(2) : 0;
        std::uint32_t ni = (v >= R2010 && (L.flags & 1024)) ? count(2) : 0;
        std::uint32_t nw = (L.flags & 32) ? count(4) : 0;
        L.vertices.resize(n);
        for (std::uint32_t i = 0; i < n && !d().failed(); ++i) {
            auto& p = L.vertices[i];
            if (v <= R14 || i == 0) {
                p.x = d().RD();
                p.y = d().RD();
            } else {
                p.x = d().DD(L.vertices[i - 1].x);
                p.y = d().DD(L.vertices[i - 1].y);
            }
        }
        for (std::uint32_t i = 0; i < nb && !d().failed(); ++i) {
            double b = d().BD();
            if (i < n) L.vertices[i].bulge = b;
        }
        for (std::uint32_t i = 0; i < ni && !d().failed(); ++i)
            d().BL();
        for (std::uint32_t i = 0; i < nw && !d().failed(); ++i) {
            double a = d().BD(), b = d().BD();
            if (i < n) {
                L.vertices[i].startWidth = a;
                L.vertices[i].endWidth = b;
            }
        }
        r.data = std::move(L);
    }
    void spline(Record& r) {
        SplineRec S;
        S.scenario = d().BL();
        if (v >= R2013) {
            int flags1 = d().BL();
            d().BL();  // knot parameterisation
            S.scenario = (flags1 & 1) ? 2 : 1;
        }
        S.degree = d().BL();
        std::uint32_t nk = 0, nc = 0, nf = 0;
        bool weighted = false;
        if (S.scenario == 2) {
            S.fitTolerance = d().BD();
            S.startTangent = d().BD3();
            S.endTangent = d().BD3();
            nf = count(6);
        } else if (S.scenario == 1) {
            S.rational = d().B();
            S.closed = d().B();
            S.periodic = d().B();
            S.knotTolerance = d().BD();
            S.controlTolerance = d().BD();
            nk = count(2);
            nc = count(6);
            weighted = d().B();
        } else {
            d().fail();
        }
        for (std::uint32_t i = 0; i < nk && !d().failed(); ++i)
            S.knots.push_back(d().BD());
        for (std::uint32_t i = 0; i < nc && !d().failed(); ++i) {
            S.controlPoints.push_back(d().BD3());
            if (weighted) S.weights.push_back(d().BD());
        }
        for (std::uint32_t i = 0; i < nf && !d().failed(); ++i)
            S.fitPoints.push_back(d().BD3());
        r.data = std::move(S);
    }
    void mtext(Record& r) {
        MTextRec M;
        M.position = d().BD3();
        M.extrusion = d().BD3();
        M.direction = d().BD3();
        M.width = d().BD();
        if (v >= R2007) M.height = d().BD();
        M.textHeight = d().BD();
        M.attachment = d().BS();
        M.drawingDirection = d().BS();
        d().BD();
        d().BD();
        M.text = T();
        if (v >= R2000) {
            M.lineSpacingStyle = d().BS();
            M.lineSpacing = d().BD();
        }
        entityHandles(r);
        M.style = H();
        r.data = std::move(M);
    }
    void dimension(Record& r, int type) {
        DimensionRec D;
        if (v >= R2010) d().RC();
        D.extrusion = d().BD3();
        D.textMid = d().RD2();
        D.elevation = d().BD();
        D.textMid.z = D.elevation;
        D.flags = d().RC();
        D.text = T();
        D.textRotation = d().BD();
        D.horizontalDirection = d().BD();
        d().BD3();
        d().BD();
        if (v >= R2000) {
            D.attachment = d().BS();
            D.lineSpacingStyle = d().BS();
            D.lineSpacing = d().BD();
            D.measurement = d().BD();
        }
        if (v >= R2007) {
            d().B();
            d().B();
            d().B();
        }
        D.insertPoint = point2RD(D.elevation);
        switch (type) {
            case kDimOrdinate:
                D.dimType = 6;
                D.defPoint = d().BD3();
                D.p13 = d().BD3();
                D.p14 = d().BD3();
                if (d().RC() & 1) D.dimType |= 64;
                break;
            case kDimLinear:
            case kDimAligned:
                D.dimType = type == kDimLinear ? 0 : 1;
                D.p13 = d().BD3();
                D.p14 = d().BD3();
                D.defPoint = d().BD3();
                D.oblique = d().BD();
                if (type == kDimLinear) D.angle = d().BD();
                break;
            case kDimAng3pt:
                D.dimType = 5;
                D.defPoint = d().BD3();
                D.p13 = d().BD3();
                D.p14 = d().BD3();
                D.p15 = d().BD3();
                break;
            case kDimAng2ln:
                D.dimType = 2;
                D.p16 = d().RD2();
                D.p13 = d().BD3();
                D.p14 = d().BD3();
                D.p15 = d().BD3();
                D.defPoint = d().BD3();
                break;
            default:
                D.dimType = type == kDimRadius ? 4 : 3;
                D.defPoint = d().BD3();
                D.p15 = d().BD3();
                D.leaderLength = d().BD();
        }
        entityHandles(r);
        D.dimStyle = H();
        D.block = H();
        r.data = std::move(D);
    }
    void viewport(Record& r) {
        ViewportRec P;
        P.center = d().BD3();
        P.width = d().BD();
        P.height = d().BD();
        if (v >= R2000) {
            P.viewTarget = d().BD3();
            P.viewDirection = d().BD3();
            P.twist = d().BD();
            P.viewHeight = d().BD();
            P.lensLength = d().BD();
            d().BD();
            d().BD();
            d().BD();
            P.viewCenterX = d().RD();
            P.viewCenterY = d().RD();
            d().RD2();
            d().RD2();
            d().RD2();
            d().BS();
            if (v >= R2007) d().BS();
            std::uint32_t frozen = count(0);
            P.statusFlags = d().BL();
            T();
            P.renderMode = d().RC();
            entityHandles(r);
            if (v <= R2000) H();  // viewport entity header
            P.frozenLayers = handles(frozen);
        } else {
            entityHandles(r);
        }
        r.data = std::move(P);
    }
    void hatch(Record& r) {
        HatchRec X;
        if (v >= R2004) {
            d().BL();
            d().BL();
            d().BD();
            d().BD();
            d().BL();
            d().BD();
            std::uint32_t colors = count(8);
            for (std::uint32_t i = 0; i < colors && !d().failed(); ++i) {
                d().BD();
                d().BS();
                d().BL();
                d().RC();
            }
            T();
        }
        X.elevation = d().BD();
        X.extrusion = d().BD3();
        X.pattern = T();
        X.solid = d().B();
        X.associative = d().B();
        std::uint32_t nloops = count(8);
        std::vector<std::uint32_t> sourceCounts;
        bool pixel = false;
        for (std::uint32_t i = 0; i < nloops && !d().failed(); ++i) {
            HatchLoop L;
            L.flags = d().BL();
            if (L.flags & 4) pixel = true;
            if (!(L.flags & 2)) {
                std::uint32_t ns = count(8);
                for (std::uint32_t k = 0; k < ns && !d().failed(); ++k) {
                    HatchSegment g;
                    g.type = d().RC();
                    switch (g.type) {
                        case 1:
                            g.x0 = d().RD();
                            g.y0 = d().RD();
                            g.x1 = d().RD();
                            g.y1 = d().RD();
                            break;
                        case 2:
                            g.x0 = d().RD();
                            g.y0 = d().RD();
                            g.radius = d().BD();
                            g.start = d().BD();
                            g.end = d().BD();
                            g.ccw = d().B();
                            break;
                        case 3:
                            g.x0 = d().RD();
                            g.y0 = d().RD();
                            g.x1 = d().RD();
                            g.y1 = d().RD();
                            g.ratio = d().BD();
                            g.start = d().BD();
                            g.end = d().BD();
                            g.ccw = d().B();
                            break;
                        case 4: {
                            g.degree = d().BL();
                            g.rational = d().B();
                            g.periodic = d().B();
                            std::uint32_t nk = count(2), nc = count(2);
                            for (std::uint32_t j = 0; j < nk && !d().failed(); ++j)
                                g.knots.push_back(d().BD());
                            for (std::uint32_t j = 0; j < nc && !d().failed(); ++j) {
                                g.points.push_back(d().RD());
                                g.points.push_back(d().RD());
                                if (g.rational) g.weights.push_back(d().BD());
                            }
                            if (v >= R2010) {
                                std::uint32_t nf = count(128);
                                if (nf) {
                                    d().skipBits(std::size_t(nf) * 128);
                                    d().RD2();
                                    d().RD2();
                                }
                            }
                            break;
                        }
                        default:
                            d().fail();
                    }
                    L.edges.push_back(std::move(g));
                }
            } else {
                bool bulges = d().B();
                L.closed = d().B();
                std::uint32_t np = count(bulges ? 130 : 128);
                for (std::uint32_t k = 0; k < np && !d().failed(); ++k) {
                    LwVertexRec p;
                    p.x = d().RD();
                    p.y = d().RD();
                    if (bulges) p.bulge = d().BD();
                    L.polyline.push_back(p);
                }
            }
            sourceCounts.push_back(count(0));
            X.loops.push_back(std::move(L));
        }
        X.style = d().BS();
        X.patternType = d().BS();
        if (!X.solid) {
            X.angle = d().BD();
            X.scale = d().BD();
            X.isDouble = d().B();
            int nl = std::uint16_t(d().BS());
            for (int i = 0; i < nl && !d().failed(); ++i) {
                HatchPatternLine pl;
                pl.angle = d().BD();
                pl.baseX = d().BD();
                pl.baseY = d().BD();
                pl.offsetX = d().BD();
                pl.offsetY = d().BD();
                int nd = std::uint16_t(d().BS());
                for (int k = 0; k < nd && !d().failed(); ++k)
                    pl.dashes.push_back(d().BD());
                X.lines.push_back(std::move(pl));
            }
        }
        if (pixel) d().BD();
        std::uint32_t seeds = count(128);
        d().skipBits(std::size_t(seeds) * 128);
        entityHandles(r);
        for (std::size_t i = 0; i < X.loops.size(); ++i)
            X.loops[i].sources = handles(sourceCounts[i]);
        r.data = std::move(X);
    }

    enum class Outcome { Decoded, Proxy, Solid, Unknown, Control };

    Outcome decode(std::size_t offset, Record& rec, DecodeResult& err);
};

Decoder::Outcome Decoder::decode(std::size_t off, Record& rec, DecodeResult& err) {
    const Bytes& b = s.objects;
    const char* sec = v <= R2000 ? "objects" : "AcDb:AcDbObjects";
    BitReader head(b.data, b.size, v);
    head.seek(off * 8);
    std::uint32_t size = head.MS();
    std::uint64_t handleBits = v >= R2010 ? head.UMC() : 0;
    std::size_t start = head.pos() / 8;
    if (head.failed() || size > b.size - start || b.size - start - size < 2) {
        err = damaged(sec, off, "object runs past the end of its section");
        return Outcome::Unknown;
    }
    st = Streams{};
    st.data = BitReader(b.data, start + size, v);
    st.data.seek(start * 8);
    BitReader& D = st.data;
    const std::size_t objBits = start * 8;
    const std::size_t endBits = objBits + std::size_t(size) * 8;
    int type = D.OT();
    std::size_t handleStart = 0;
    if (v >= R2010) {
        if (handleBits > std::size_t(size) * 8) {
            err = damaged(sec, off, "handle stream larger than its object");
            return Outcome::Unknown;
        }
        handleStart = endBits - std::size_t(handleBits);
    } else if (v >= R2000) {
        handleStart = objBits + D.RL();
    }
    Handle h = D.H().value;
    self = h;
    rec.common.handle = h;
    rec.common.type = type;
    for (int guard = 0; guard < 4096; ++guard) {  // extended data: skipped
        int n = std::uint16_t(D.BS());
        if (n == 0 || D.failed()) break;
        D.H();
        D.skipBits(std::size_t(n) * 8);
    }
    const ClassDef* cls = nullptr;
    bool isEntity = fixedIsEntity(type);
    if (type >= 500) {
        std::size_t k = std::size_t(type - 500);
        if (k < out.classes.size()) cls = &out.classes[k];
        for (const auto& c : out.classes)
            if (c.number == type) cls = &c;
        isEntity = cls ? cls->isEntity : type == kProxyEntity;
    }
    rec.isEntity = isEntity;
    if (isEntity) {
        if (D.B()) {
            std::uint64_t g = v >= R2010 ? D.BLL() : D.RL();
            if (g > D.remaining() / 8)
                D.fail();
            else
                D.skipBits(std::size_t(g) * 8);
        }
        if (v <= R14) handleStart = objBits + D.RL();
    } else if (v <= R14) {
        handleStart = objBits + D.RL();
    }
    if (D.failed() || handleStart > endBits || handleStart < D.pos()) return Outcome::Unknown;
    st.handles = BitReader(b.data, endBits / 8, v);
    st.handles.seek(handleStart);
    st.splitHandles = true;
    if (v >= R2007) {
        st.strings = BitReader(b.data, handleStart / 8 + 1, v);
        st.strings.limit(handleStart);
        locateStrings(st.strings, handleStart - 1);
        st.splitStrings = true;
    }
    D.limit(handleStart);
    if (isEntity) {
        ef = EntityFlags();
        EntityCommon& e = rec.entity;
        ef.entmode = D.BB();
        reactorCount = count(8);
        xdicMissing = v >= R2004 && D.B();
        if (v >= R2013) D.B();
        if (v <= R14) ef.byLayerLt = D.B();
        if (v <= R2000) ef.noLinks = D.B();
        e.color = v >= R2004 ? D.ENC(&ef.book) : Color{D.BS(), -1};
        e.linetypeScale = D.BD();
        if (v >= R2000) {
            ef.ltFlags = D.BB();
            ef.plotFlags = D.BB();
        }
        if (v >= R2007) {
            ef.matFlags = D.BB();
            D.RC();
        }
        if (v >= R2010) {
            ef.fullVs = D.B();
            ef.faceVs = D.B();
            ef.edgeVs = D.B();
        }
        e.invisible = D.BS() & 1;
        if (v >= R2000) e.lineweight = lineweightOf(D.RC());
        e.linetypeFlags = v >= R2000 ? ef.ltFlags : (ef.byLayerLt ? 0 : 3);
        e.paperSpace = ef.entmode == 1;
        if (ef.entmode == 1) rec.common.owner = out.header.paperSpaceBlock;
        if (ef.entmode == 2) rec.common.owner = out.header.modelSpaceBlock;
    } else {
        reactorCount = count(8);
        xdicMissing = v >= R2004 && D.B();
        if (v >= R2013) D.B();
    }
    std::string name = cls ? cls->dxfName : std::string();
    auto simple = [&](auto fn) {
        fn();
        if (rec.isEntity) entityHandles(rec);
    };
    switch (type) {
        case kLine:
            rec.common.dxfName = "LINE";
            simple([&] { line(rec); });
            break;
        case kCircle:
            rec.common.dxfName = "CIRCLE";
            simple([&] { circle(rec, false); });
            break;
        case kArc:
            rec.common.dxfName = "ARC";
            simple([&] { circle(rec, true); });
            break;
        case kPoint:
            rec.common.dxfName = "POINT";
            simple([&] { point(rec); });
            break;
        case kEllipse:
            rec.common.dxfName = "ELLIPSE";
            simple([&] { ellipse(rec); });
            break;
        case kSolid:
            rec.common.dxfName = "SOLID";
            simple([&] { solid(rec); });
            break;
        case kSpline:
            rec.common.dxfName = "SPLINE";
            simple([&] { spline(rec); });
            break;
        case kSeqend:
            rec.common.dxfName = "SEQEND";
            simple([&] { rec.data = SeqEndRec{}; });
            break;
        case kEndblk:
            rec.common.dxfName = "ENDBLK";
            simple([&] { rec.data = BlockEnd{}; });
            break;
        case kBlock:
            rec.common.dxfName = "BLOCK";
            simple([&] { rec.data = BlockBegin{T()}; });
            break;
        case kVertex2d:
        case kVertex3d:
        case kVertexMesh:
        case kVertexPface:
        case kVertexPfaceFace:
            rec.common.dxfName = "VERTEX";
            simple([&] { vertex(rec, type); });
            break;
        case kText:
        case kAttrib:
        case kAttdef:
            rec.common.dxfName = type == kText ? "TEXT" : type == kAttrib ? "ATTRIB" : "ATTDEF";
            text(rec, type);
            break;
        case kMtext:
            rec.common.dxfName = "MTEXT";
            mtext(rec);
            break;
        case kInsert:
        case kMinsert:
            rec.common.dxfName = "INSERT";
            insert(rec, type == kMinsert);
            break;
        case kPolyline2d:
        case kPolyline3d:
        case kPolylinePface:
        case kPolylineMesh:
            rec.common.dxfName = "POLYLINE";
            polyline(rec, type);
            break;
        case kDimOrdinate:
        case kDimLinear:
        case kDimAligned:
        case kDimAng3pt:
        case kDimAng2ln:
        case kDimRadius:
        case kDimDiameter:
            rec.common.dxfName = "DIMENSION";
            dimension(rec, type);
            break;
        case kViewport:
            rec.common.dxfName = "VIEWPORT";
            viewport(rec);
            break;
        case kLwpline:
            rec.common.dxfName = "LWPOLYLINE";
            simple([&] { lwpolyline(rec); });
            break;
        case kHatch:
            rec.common.dxfName = "HATCH";
            hatch(rec);
            break;
        case kLayer:
            rec.common.dxfName = "LAYER";
            layer(rec);
            break;
        case kStyle:
            rec.common.dxfName = "STYLE";
            style(rec);
            break;
        case kLtype:
            rec.common.dxfName = "LTYPE";
            ltype(rec);
            break;
        case kBlockHeader:
            rec.common.dxfName = "BLOCK_RECORD";
            blockHeader(rec);
            break;
        case kAppid:
            rec.common.dxfName = "APPID";
            appid(rec);
            break;
        case kDimstyle:
            rec.common.dxfName = "DIMSTYLE";
            dimstyle(rec);
            break;
        case kDictionary:
            rec.common.dxfName = "DICTIONARY";
            dictionary(rec, false);
            break;
        case kLayout:
            rec.common.dxfName = "LAYOUT";
            layout(rec);
            break;
        case 0x30:  // the table controls, and the viewport entity headers DXF has not
        case 0x32:
        case 0x34:
        case 0x38:
        case 0x3C:
        case 0x3E:
        case 0x40:
        case 0x42:
        case 0x44:
        case 0x46:
        case 0x47:
            return Outcome::Control;
        case kRegion:
        case kSolid3d:
        case kBody:
            return Outcome::Solid;
        case kProxyEntity:
        case kProxyObject:
            return Outcome::Proxy;
        default:
            if (name == "LWPOLYLINE") {
                rec.common.dxfName = name;
                simple([&] { lwpolyline(rec); });
            } else if (name == "HATCH") {
                rec.common.dxfName = name;
                hatch(rec);
            } else if (name == "LAYOUT") {
                rec.common.dxfName = name;
                layout(rec);
            } else if (name == "DICTIONARYWDFLT" || name == "ACDBDICTIONARYWDFLT") {
                rec.common.dxfName = "ACDBDICTIONARYWDFLT";
                dictionary(rec, true);
            } else if (name == "3DSOLID" || name == "REGION" || name == "BODY") {
                return Outcome::Solid;
            } else if (name == "ACAD_PROXY_ENTITY" || name == "ACAD_PROXY_OBJECT" ||
                       (cls && cls->wasProxy)) {
                return Outcome::Proxy;
            } else {
                return Outcome::Unknown;
            }
    }
    if (st.failed()) return Outcome::Unknown;
    // Only what is kept is checked: the bytes of a record that is dropped are never used, and
    // in many drawings most bytes are such records (XRECORDs above all). Decoding before the
    // check is safe, as every read is bounded by the record.
    const std::uint16_t stored =
        std::uint16_t(b.data[start + size] | b.data[start + size + 1] << 8);
    if (crc16(0xC0C1, b.data + off, start + size - off) != stored) {
        err = damaged(sec, off, "wrong object CRC");
        return Outcome::Unknown;
    }
    return Outcome::Decoded;
}

}  // namespace

DecodeResult readObjects(const Sections& s, const TextContext& tc, Drawing& out) {
    Decoder dec{s, tc, out, s.version, Streams(), 0, 0, false, Decoder::EntityFlags()};
    const char* sec = s.version <= R2000 ? "object map" : "AcDb:Handles";
    out.records.reserve(out.objectMap.size());
    for (const auto& e : out.objectMap) {
        if (e.offset < 0 || std::uint64_t(e.offset) >= s.objects.size)
            return damaged(sec, std::uint64_t(e.offset),
                           "object map points outside the " +
                               std::string(s.version <= R2000 ? "file" : "objects section"));
        Record rec;
        DecodeResult err;
        auto outcome = dec.decode(std::size_t(e.offset), rec, err);
        if (err.status != Status::Ok) return err;
        switch (outcome) {
            case Decoder::Outcome::Decoded:
                out.records.push_back(std::move(rec));
                continue;
            case Decoder::Outcome::Proxy:
                ++out.skippedProxies;
                break;
            case Decoder::Outcome::Solid:
                ++out.skippedSolids;
                break;
            case Decoder::Outcome::Unknown:
                ++out.skippedUnknown;
                break;
            case Decoder::Outcome::Control:
                continue;
        }
        if (rec.isEntity) ++out.skippedEntities;
    }
    return {};
}

}  // namespace qkshost::dwg
