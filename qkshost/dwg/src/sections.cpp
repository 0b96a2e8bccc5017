#include "sections.h"

#include <cstring>

namespace qkshost::dwg {

namespace {

const std::uint8_t kHeaderStart[16] = {0xCF, 0x7B, 0x1F, 0x23, 0xFD, 0xDE, 0x38, 0xA9,
                                       0x5F, 0x7C, 0x68, 0xB8, 0x4E, 0x6D, 0x33, 0x5F};
const std::uint8_t kClassesStart[16] = {0x8D, 0xA1, 0xC4, 0xB8, 0xC4, 0xA9, 0xF8, 0xC5,
                                        0xC0, 0xDC, 0xF4, 0x5F, 0xE7, 0xCF, 0xB6, 0x8A};

// A framed section: sentinel, RL size, [RL high size], data, RS CRC. Sets `data` to the data
// bytes (the reader starts at the first data bit).
DecodeResult openFramed(const Sections& s, const Bytes& b, const std::uint8_t* sentinel,
                        const char* name, BitReader& data, std::size_t* dataStartByte) {
    if (b.size < 22 || std::memcmp(b.data, sentinel, 16) != 0)
        return damaged(name, 0, "missing start sentinel");
    std::uint32_t size =
        b.data[16] | b.data[17] << 8 | b.data[18] << 16 | std::uint32_t(b.data[19]) << 24;
    std::size_t start = 20;
    if ((s.version >= R2010 && s.maintenance > 3) || s.version >= R2018) start += 4;
    if (size > b.size || b.size - start < std::size_t(size) + 2)
        return damaged(name, 16, "section size runs past its end");
    std::uint16_t stored = std::uint16_t(b.data[start + size] | b.data[start + size + 1] << 8);
    if (crc16(0xC0C1, b.data + 16, start - 16 + size) != stored)
        return damaged(name, start + size, "wrong CRC");
    data = BitReader(b.data, start + size, s.version);
    data.seek(start * 8);
    *dataStartByte = start;
    return {};
}

}  // namespace

void locateStrings(BitReader& r, std::size_t flagBit) {
    r.seek(flagBit);
    if (!r.B()) {
        r.limit(r.pos());
        r.seek(r.endBit());  // empty: any read fails
        return;
    }
    if (flagBit < 16) return r.fail();
    std::size_t at = flagBit - 16;
    r.seek(at);
    std::size_t size = r.RS();
    if (size & 0x8000) {
        if (at < 16) return r.fail();
        at -= 16;
        r.seek(at);
        std::size_t hi = r.RS();
        size = (size & 0x7FFF) | (hi << 15);
    }
    if (size > at) return r.fail();
    r.limit(at);
    r.seek(at - size);
}

namespace {

// The header's three streams and the version, with the shorthand its readers share: T a
// string from the string stream, H a handle from the handle stream, skips in the data stream.
struct HeaderFields {
    BitReader& d;
    BitReader& t;
    BitReader& h;
    const TextContext& tc;
    Version v;

    std::string T() { return tc.read(t); }
    Handle H() { return h.H().value; }
    void skipB(int n) {
        for (int i = 0; i < n; ++i)
            d.B();
    }
    void skipBS(int n) {
        for (int i = 0; i < n; ++i)
            d.BS();
    }
    void skipBD(int n) {
        for (int i = 0; i < n; ++i)
            d.BD();
    }
};

// From the start of the variables to CELTSCALE: modes, units, point display, scales.
void readModesAndUnits(HeaderFields& f, Header& hd) {
    BitReader& d = f.d;
    const Version v = f.v;
    if (v >= R2013) d.BLL();
    f.skipBD(4);
    for (int i = 0; i < 4; ++i)
        f.T();
    d.BL();
    d.BL();
    if (v <= R14) d.BS();
    if (v < R2004) f.H();
    f.skipB(2);  // DIMASO, DIMSHO
    if (v <= R14) d.B();
    f.skipB(3);  // PLINEGEN ORTHOMODE REGENMODE
    hd.fillmode = d.B();
    d.B();  // QTEXTMODE
    hd.psltscale = d.B();
    d.B();  // LIMCHECK
    if (v <= R14) d.B();
    if (v >= R2004) d.B();
    f.skipB(4);  // USRTIMER SKPOLY ANGDIR SPLFRAME
    if (v <= R14) f.skipB(2);
    f.skipB(2);  // MIRRTEXT WORLDVIEW
    if (v <= R14) d.B();
    hd.tilemode = d.B();
    f.skipB(2);  // PLIMCHECK VISRETAIN
    if (v <= R14) d.B();
    f.skipB(2);  // DISPSILH PELLIPSE
    d.BS();      // PROXYGRAPHICS
    if (v <= R14) d.BS();
    d.BS();  // TREEDEPTH
    hd.lunits = d.BS();
    hd.luprec = d.BS();
    hd.aunits = d.BS();
    hd.auprec = d.BS();
    if (v <= R14) d.BS();
    d.BS();  // ATTMODE
    if (v <= R14) d.BS();
    hd.pdmode = d.BS();
    if (v <= R14) d.BS();
    if (v >= R2004) {
        d.BL();
        d.BL();
        d.BL();
    }
    f.skipBS(5);   // USERI1-5
    f.skipBS(14);  // SPLINESEGS .. TEXTQLTY
    hd.ltscale = d.BD();
    hd.textsize = d.BD();
    f.skipBD(5);  // TRACEWID SKETCHINC FILLETRAD THICKNESS ANGBASE
    hd.pdsize = d.BD();
    f.skipBD(1 + 5 + 4 + 2);  // PLINEWID USERR1-5 CHAMFERA-D FACETRES CMLSCALE
    hd.celtscale = d.BD();
}

// From MENUNAME to the model space's UCS: dates, the current colour, layer, styles and
// handle seed, and both spaces' base points, extents and limits.
void readCurrentAndSpaces(HeaderFields& f, Header& hd) {
    BitReader& d = f.d;
    const Version v = f.v;
    f.T();  // MENUNAME
    for (int i = 0; i < 4; ++i)
        d.BL();  // TDCREATE TDUPDATE
    if (v >= R2004) {
        d.BL();
        d.BL();
        d.BL();
    }
    for (int i = 0; i < 4; ++i)
        d.BL();  // TDINDWG TDUSRTIMER
    hd.cecolor = d.CMC(f.t);
    hd.handseed = d.H().value;  // in the data stream for every version
    hd.clayer = f.H();
    hd.textstyle = f.H();
    hd.celtype = f.H();
    if (v >= R2007) f.H();
    hd.dimstyle = f.H();
    f.H();  // CMLSTYLE
    if (v >= R2000) d.BD();
    // Paper space, then model space: base, extents and limits, then the elevation, the UCS
    // (origin, axes, name) and from 2000 its orthographic references, which are skipped.
    auto space = [&](auto& base, auto& extmin, auto& extmax, auto& limmin, auto& limmax) {
        base = d.BD3();
        extmin = d.BD3();
        extmax = d.BD3();
        limmin = d.RD2();
        limmax = d.RD2();
        d.BD();
        for (int i = 0; i < 3; ++i)
            d.BD3();
        f.H();
        if (v >= R2000) {
            f.H();
            d.BS();
            f.H();
            for (int i = 0; i < 6; ++i)
                d.BD3();
        }
    };
    space(hd.pinsbase, hd.pextmin, hd.pextmax, hd.plimmin, hd.plimmax);
    space(hd.insbase, hd.extmin, hd.extmax, hd.limmin, hd.limmax);
}

// The dimension variables, from DIMPOST to the handles before the table controls: all skipped.
void readDimensionVariables(HeaderFields& f) {
    BitReader& d = f.d;
    const Version v = f.v;
    if (v >= R2000) {
        f.T();
        f.T();  // DIMPOST DIMAPOST
    }
    if (v <= R14) {
        f.skipB(11);
        d.RC();
        d.RC();
        f.skipB(2);
        for (int i = 0; i < 3; ++i)
            d.RC();
        d.B();
        for (int i = 0; i < 4; ++i)
            d.RC();
        f.skipBS(6);
        f.H();
    }
    f.skipBD(9);  // DIMSCALE .. DIMTM
    if (v >= R2007) {
        f.skipBD(2);
        d.BS();
        d.CMC(f.t);
    }
    if (v >= R2000) {
        f.skipB(6);
        f.skipBS(3);
    }
    if (v >= R2007) d.BS();
    f.skipBD(8);  // DIMTXT .. DIMGAP
    if (v <= R14)
        for (int i = 0; i < 5; ++i)
            f.T();
    if (v >= R2000) {
        d.BD();
        d.B();
        d.BS();
        f.skipB(4);
    }
    for (int i = 0; i < 3; ++i)
        d.CMC(f.t);
    if (v >= R2000) {
        f.skipBS(11);
        f.skipB(2);
        f.skipBS(4);
        d.B();
        d.BS();
    }
    if (v >= R2007) d.B();
    if (v >= R2010) {
        d.B();
        d.BD();
        f.T();
        d.BD();
        f.T();
    }
    if (v >= R2000)
        for (int i = 0; i < 5; ++i)
            f.H();
    if (v >= R2007)
        for (int i = 0; i < 3; ++i)
            f.H();
    if (v >= R2000) f.skipBS(2);
}

// The table controls, dictionaries, line weight and units, and the special blocks and line
// types at the end.
void readTableControls(HeaderFields& f, Header& hd) {
    BitReader& d = f.d;
    const Version v = f.v;
    hd.blockControl = f.H();
    hd.layerControl = f.H();
    hd.styleControl = f.H();
    hd.linetypeControl = f.H();
    hd.viewControl = f.H();
    hd.ucsControl = f.H();
    hd.vportControl = f.H();
    hd.appidControl = f.H();
    hd.dimstyleControl = f.H();
    if (v <= R2000) f.H();
    hd.groupDictionary = f.H();
    f.H();  // ACAD_MLINESTYLE
    hd.namedObjects = f.H();
    if (v >= R2000) {
        f.skipBS(2);
        f.T();
        f.T();
        hd.layoutsDictionary = f.H();
        f.H();
        f.H();
    }
    if (v >= R2004) {
        f.H();
        f.H();
    }
    if (v >= R2007) f.H();
    if (v >= R2013) f.H();
    if (v >= R2000) {
        std::int32_t flags = d.BL();
        static const int kWeights[] = {0,  5,  9,  13, 15, 18,  20,  25,  30,  35,  40,  50,
                                       53, 60, 70, 80, 90, 100, 106, 120, 140, 158, 200, 211};
        int w = flags & 0x1F;
        hd.celweight = w < 24 ? kWeights[w] : w == 29 ? -1 : w == 30 ? -2 : -3;
        hd.insunits = d.BS();
        int cepsntype = d.BS();
        if (cepsntype == 3) f.H();
        f.T();
        f.T();
    }
    if (v >= R2004) {
        for (int i = 0; i < 6; ++i)
            d.RC();
        f.skipBS(2);
        d.RC();
        d.RC();
        f.T();
    }
    hd.paperSpaceBlock = f.H();
    hd.modelSpaceBlock = f.H();
    hd.ltypeByLayer = f.H();
    hd.ltypeByBlock = f.H();
    hd.ltypeContinuous = f.H();
}

}  // namespace

DecodeResult readHeaderVariables(const Sections& s, const TextContext& tc, Header& hd) {
    Streams st;
    std::size_t start = 0;
    if (DecodeResult r = openFramed(s, s.header, kHeaderStart, "AcDb:Header", st.data, &start);
        r.status != Status::Ok)
        return r;
    const Version v = s.version;
    if (v >= R2007) {
        std::size_t from = st.data.pos();
        std::size_t sizeInBits = st.data.RL();
        std::size_t last = from + sizeInBits - 1;
        st.strings = st.data;
        locateStrings(st.strings, last);
        st.handles = st.data;
        st.handles.seek(last + 1);
        st.splitStrings = st.splitHandles = true;
    }
    // The same order as the file: each group reads on where the one before stopped.
    HeaderFields f{st.data, st.t(), st.h(), tc, v};
    readModesAndUnits(f, hd);
    readCurrentAndSpaces(f, hd);
    readDimensionVariables(f);
    readTableControls(f, hd);
    if (st.failed())
        return damaged("AcDb:Header", st.data.pos() / 8, "header variables run past their end");
    return {};
}

DecodeResult readClasses(const Sections& s, const TextContext& tc, std::vector<ClassDef>& out) {
    Streams st;
    std::size_t start = 0;
    if (DecodeResult r = openFramed(s, s.classes, kClassesStart, "AcDb:Classes", st.data, &start);
        r.status != Status::Ok)
        return r;
    const Version v = s.version;
    BitReader& d = st.data;
    std::size_t end = d.endBit();
    if (v >= R2007) {
        std::size_t from = d.pos();
        std::size_t sizeInBits = d.RL();
        end = from + sizeInBits - 1;
        st.strings = d;
        locateStrings(st.strings, end);
        st.splitStrings = true;
        end = st.strings.pos();  // the string data follows the class data
    }
    if (v >= R2004) {
        d.BS();  // highest class number
        d.RC();
        d.RC();
        d.B();
    }
    while (!st.failed() && d.pos() + 18 < end) {
        ClassDef c;
        c.number = d.BS();
        c.proxyFlags = d.BS();
        c.appName = tc.read(st.t());
        c.cppName = tc.read(st.t());
        c.dxfName = tc.read(st.t());
        c.wasProxy = d.B();
        c.isEntity = d.BS() == 0x1F2;
        if (v >= R2004) {
            d.BL();
            d.BL();
            d.BL();
            d.BL();
            d.BL();
        }
        if (!st.failed()) out.push_back(std::move(c));
    }
    if (st.failed()) return damaged("AcDb:Classes", d.pos() / 8, "class list runs past its end");
    return {};
}

DecodeResult readObjectMap(const Sections& s, std::vector<ObjectMapEntry>& out) {
    const Bytes& b = s.handles;
    std::size_t at = 0;
    for (;;) {
        Handle handle = 0;  // each block starts from zero
        std::int64_t offset = 0;
        if (b.size - at < 2) return damaged("AcDb:Handles", at, "object map truncated");
        std::size_t size = std::size_t(b.data[at]) << 8 | b.data[at + 1];
        if (size == 2) break;
        if (size < 2 || size > b.size - at || b.size - at - size < 2)
            return damaged("AcDb:Handles", at, "object map block runs past its end");
        std::uint16_t stored = std::uint16_t(b.data[at + size] << 8 | b.data[at + size + 1]);
        if (crc16(0xC0C1, b.data + at, size) != stored)
            return damaged("AcDb:Handles", at + size, "wrong CRC");
        BitReader r(b.data + at, size, s.version);
        r.seek(16);
        while (!r.failed() && r.pos() < size * 8) {
            handle += r.UMC();
            offset += r.MC();
            if (r.failed()) break;
            out.push_back({handle, offset});
        }
        if (r.failed()) return damaged("AcDb:Handles", at + r.pos() / 8, "bad object map entry");
        at += size + 2;
    }
    return {};
}

}  // namespace qkshost::dwg
