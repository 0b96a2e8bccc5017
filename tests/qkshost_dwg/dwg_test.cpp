// The DWG decoder against independent readings of the same drawings: the DXF twin read by
// ezdxf, the CAD program's own property listings, and damaged copies of the samples.
#include "qkshost/dwg/dwg.h"
#include "qks/testing/shared_drawings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>

using namespace qkshost::dwg;

namespace {

const std::string kDir = qks::testing::sharedDrawings(qks::testing::kDwgSamples);

// Every test reads the samples the CAD program saved, kept outside the project.
class DwgRead : public ::testing::Test {
  protected:
    void SetUp() override {
        if (kDir.empty())
            GTEST_SKIP() << qks::testing::sharedDrawingsAbsent(qks::testing::kDwgSamples);
    }
};

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), {});
}

std::string hex(const std::string& s) {
    static const char* d = "0123456789abcdef";
    std::string r;
    for (unsigned char c : s) {
        r += d[c >> 4];
        r += d[c & 15];
    }
    return r.empty() ? "-" : r;
}

std::string unhex(const std::string& h) {
    std::string r;
    for (std::size_t i = 0; h != "-" && i + 1 < h.size(); i += 2)
        r += char(std::stoi(h.substr(i, 2), nullptr, 16));
    return r;
}

// Anonymous blocks ("*D12") are numbered on loading, differently by version: compare the
// names without their numbers.
std::string anonymous(std::string name) {
    if (name.size() > 2 && name[0] == '*' && name.find('_') == std::string::npos) name.erase(2);
    return name;
}

// One entity as both sides describe it.
struct Entry {
    std::string type, layer, text;
    std::vector<double> nums;
};

void add(std::vector<double>& v, const Vec3& p) {
    v.insert(v.end(), {p.x, p.y, p.z});
}

std::map<Handle, Entry> fromDwg(const Drawing& d) {
    std::map<Handle, std::string> layers;
    for (const Record& r : d.records)
        if (auto* l = std::get_if<LayerRec>(&r.data)) layers[r.common.handle] = l->name;
    std::map<Handle, Entry> out;
    for (const Record& r : d.records) {
        if (!r.isEntity || r.common.dxfName == "BLOCK" || r.common.dxfName == "ENDBLK" ||
            r.common.dxfName == "SEQEND")
            continue;
        Entry e;
        e.type = r.common.dxfName;
        e.layer = hex(layers[r.entity.layer]);
        auto& n = e.nums;
        std::string text;
        if (auto* x = std::get_if<LineRec>(&r.data)) {
            add(n, x->start);
            add(n, x->end);
        } else if (auto* x = std::get_if<CircleRec>(&r.data)) {
            e.type = x->isArc ? "ARC" : "CIRCLE";
            add(n, x->center);
            n.push_back(x->radius);
            if (x->isArc) n.insert(n.end(), {x->startAngle, x->endAngle});
        } else if (auto* x = std::get_if<PointRec>(&r.data)) {
            add(n, x->position);
        } else if (auto* x = std::get_if<EllipseRec>(&r.data)) {
            add(n, x->center);
            add(n, x->majorAxis);
            n.insert(n.end(), {x->ratio, x->startParam, x->endParam});
        } else if (auto* x = std::get_if<LwPolylineRec>(&r.data)) {
            for (const auto& p : x->vertices)
                n.insert(n.end(), {p.x, p.y, p.bulge});
        } else if (auto* x = std::get_if<TextRec>(&r.data)) {
            add(n, x->position);
            n.push_back(x->height);
            text = x->text;
        } else if (auto* x = std::get_if<MTextRec>(&r.data)) {
            add(n, x->position);
            n.push_back(x->textHeight);
            text = x->text;
        } else if (auto* x = std::get_if<InsertRec>(&r.data)) {
            add(n, x->position);
            add(n, x->scale);
        } else if (auto* x = std::get_if<SolidRec>(&r.data)) {
            for (const auto& c : x->corners)
                add(n, c);
        } else if (auto* x = std::get_if<VertexRec>(&r.data)) {
            add(n, x->position);
        } else if (auto* x = std::get_if<SplineRec>(&r.data)) {
            for (const auto& p : x->fitPoints)
                add(n, p);
            if (x->fitPoints.empty()) {
                for (const auto& p : x->controlPoints)
                    add(n, p);
                n.insert(n.end(), x->knots.begin(), x->knots.end());
            }
        } else if (auto* x = std::get_if<DimensionRec>(&r.data)) {
            add(n, x->defPoint);
        }
        e.text = hex(text);
        out[r.common.handle] = std::move(e);
    }
    return out;
}

struct DxfSide {
    std::map<Handle, Entry> entities;
    std::map<std::string, int> layerColor;
    std::set<std::string> blocks, layouts;
    std::map<std::string, std::vector<double>> vars;
    std::map<std::string, std::vector<Handle>> blockContents;  // by block name, in order
};

DxfSide fromDxf(const std::string& path) {
    std::string cmd = "/usr/bin/python3 " QKS_DWG_DXF_SCRIPT " " + path;
    std::unique_ptr<FILE, int (*)(FILE*)> p(popen(cmd.c_str(), "r"), pclose);
    std::string text;
    char buf[4096];
    while (std::size_t n = fread(buf, 1, sizeof buf, p.get()))
        text.append(buf, n);
    DxfSide side;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::istringstream ls(line);
        std::string kind;
        ls >> kind;
        if (kind == "L") {
            std::string name;
            int color = 0, off = 0;
            ls >> name >> color >> off;
            side.layerColor[name] = off ? -color : color;
        } else if (kind == "B" || kind == "Y") {
            std::string name;
            ls >> name;
            if (kind == "B")
                side.blocks.insert(hex(anonymous(unhex(name))));
            else
                side.layouts.insert(name);
        } else if (kind == "V") {
            std::string name;
            ls >> name;
            for (double v; ls >> v;)
                side.vars[name].push_back(v);
        } else if (kind == "E") {
            std::string h;
            Entry e;
            ls >> h >> e.type >> e.layer >> e.text;
            for (double v; ls >> v;)
                e.nums.push_back(v);
            side.entities[std::stoull(h, nullptr, 16)] = std::move(e);
        }
    }
    return side;
}

bool near(double a, double b) {
    return std::fabs(a - b) <= 1e-9 * std::max({1.0, std::fabs(a), std::fabs(b)});
}

}  // namespace

TEST_F(DwgRead, MatchesItsDxfTwin) {
    const char* versions[] = {"r14", "2000", "2004", "2007", "2010", "2013", "2018"};
    const std::set<std::string> counted = {"LINE",   "CIRCLE", "ARC",    "POINT",     "ELLIPSE",
                                           "TEXT",   "MTEXT",  "INSERT", "SOLID",     "SPLINE",
                                           "ATTRIB", "ATTDEF", "HATCH",  "DIMENSION", "LWPOLYLINE"};
    for (const char* v : versions) {
        SCOPED_TRACE(v);
        std::string base = kDir + "/example_" + v;
        Drawing d;
        DecodeResult r = decode(slurp(base + ".dwg"), d);
        ASSERT_EQ(r.status, Status::Ok) << r.message;
        DxfSide dxf = fromDxf(base + ".dxf");
        ASSERT_FALSE(dxf.entities.empty());
        auto dwg = fromDwg(d);
        std::map<std::string, int> dwgCount, dxfCount;
        for (const auto& [h, e] : dwg) {
            ++dwgCount[e.type];
            auto it = dxf.entities.find(h);
            if (it == dxf.entities.end()) {
                if (std::string(v) == "r14") continue;  // its twin is a later save
                ADD_FAILURE() << "no DXF twin for " << std::hex << h << " " << e.type;
                continue;
            }
            const Entry& x = it->second;
            EXPECT_EQ(e.type, x.type) << std::hex << h;
            EXPECT_EQ(e.layer, x.layer) << std::hex << h;
            EXPECT_EQ(e.text, x.text) << std::hex << h;
            if (e.nums.size() != x.nums.size()) {
                ADD_FAILURE() << std::hex << h << " " << e.type << " " << e.nums.size()
                              << " numbers != " << x.nums.size();
                continue;
            }
            for (std::size_t i = 0; i < e.nums.size(); ++i)
                EXPECT_TRUE(near(e.nums[i], x.nums[i]))
                    << std::hex << h << " " << e.type << " #" << i << " " << e.nums[i]
                    << " != " << x.nums[i];
        }
        if (std::string(v) == "r14") continue;  // its DXF twin holds more (a later save)
        const Header& hd = d.header;
        std::map<std::string, std::vector<double>> vars = {{"$INSUNITS", {double(hd.insunits)}},
                                                           {"$LTSCALE", {hd.ltscale}},
                                                           {"$PSLTSCALE", {double(hd.psltscale)}},
                                                           {"$EXTMIN", {hd.extmin.x, hd.extmin.y}},
                                                           {"$EXTMAX", {hd.extmax.x, hd.extmax.y}}};
        ASSERT_EQ(vars.size(), dxf.vars.size());
        for (const auto& [name, values] : vars) {
            const auto& want = dxf.vars[name];
            ASSERT_EQ(values.size(), want.size()) << name;
            for (std::size_t i = 0; i < values.size(); ++i)
                EXPECT_TRUE(near(values[i], want[i])) << name << " " << values[i];
        }
        EXPECT_GT(hd.handseed, d.records.back().common.handle);  // the next handle is free
        for (const auto& [h, e] : dxf.entities)
            ++dxfCount[e.type];
        for (const auto& k : counted)
            EXPECT_EQ(dwgCount[k], dxfCount[k]) << k;
        std::set<std::string> blocks, layouts;
        std::map<std::string, int> layerColor;
        for (const Record& rec : d.records) {
            if (auto* b = std::get_if<BlockRecordRec>(&rec.data)) {
                blocks.insert(hex(anonymous(b->name)));
                // named blocks keep their names: their contents are listed in the same order
                auto it = dxf.blockContents.find(b->name);
                if ((b->name[0] != '*' || b->name == "*Model_Space") &&
                    it != dxf.blockContents.end()) {
                    EXPECT_EQ(b->entities, it->second) << b->name;
                }
            }
            if (auto* l = std::get_if<LayoutRec>(&rec.data)) layouts.insert(hex(l->name));
            if (auto* l = std::get_if<LayerRec>(&rec.data))
                layerColor[hex(l->name)] = l->off ? -l->color.index : l->color.index;
        }
        EXPECT_EQ(layerColor, dxf.layerColor);
        EXPECT_EQ(blocks, dxf.blocks);
        EXPECT_EQ(layouts, dxf.layouts);
        EXPECT_GT(d.skipped(), 0u);  // the sample holds a region and other unmodelled kinds
    }
}

namespace {

std::uint16_t crc16(const std::string& s, std::uint16_t c = 0xC0C1) {
    for (unsigned char b : s) {
        c ^= b;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ 0xA001 : c >> 1;
    }
    return c;
}

std::uint32_t le32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int k = 3; k >= 0; --k)
        v = v << 8 | std::uint8_t(s[at + k]);
    return v;
}
void put32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k)
        s[at + k] = char(v >> (8 * k));
}

// First data page of the 2004 container holding section `section` (page headers are masked
// with their own address).
std::size_t dataPage(const std::string& f, std::uint32_t section) {
    for (std::size_t at = 0x100; at + 32 <= f.size(); at += 0x20) {
        std::uint32_t mask = 0x4164536Bu ^ std::uint32_t(at);
        if ((le32(f, at) ^ mask) == 0x4163043Bu && (le32(f, at + 4) ^ mask) == section) return at;
    }
    return 0;
}

// The object map of an R2000 file replaced by one entry far outside the file.
std::string mapOutsideFile(std::string f) {
    std::size_t at = le32(f, 0x19 + 2 * 9 + 1);
    std::string entry = "\x01\xFF\xFF\xFF\xFF\x03";
    std::string block = std::string("\x00", 1) + char(2 + entry.size()) + entry;
    std::uint16_t c = crc16(block);
    block += char(c >> 8);
    block += char(c & 0xFF);
    std::string end("\x00\x02", 2);
    c = crc16(end);
    end += char(c >> 8);
    end += char(c & 0xFF);
    return f.replace(at, block.size() + end.size(), block + end);
}

}  // namespace

TEST_F(DwgRead, DamagedInputsGiveOneClearError) {
    const std::string r2000 = slurp(kDir + "/example_2000.dwg");
    const std::string r2004 = slurp(kDir + "/example_2004.dwg");
    ASSERT_FALSE(r2000.empty());
    ASSERT_FALSE(r2004.empty());
    std::string wrongCrc = r2000;
    wrongCrc[0x13] ^= 1;
    std::string sectionMap = r2004;
    std::size_t mapAt = sectionMap.find(std::string("\x3B\x00\x63\x41", 4));
    ASSERT_NE(mapAt, std::string::npos);
    sectionMap[mapAt + 40] ^= 0x55;
    std::string pastEnd = r2004;
    std::size_t page = dataPage(pastEnd, 1);  // the header variables
    ASSERT_NE(page, 0u);
    put32(pastEnd, page + 8, 0x7FFFFFF0u ^ 0x4164536Bu ^ std::uint32_t(page));
    // The 2007 sample: its file header's record (codewords of three interleaved bytes, the
    // record from the 32nd data byte on) and its header variables' page at 0x6C840.
    const std::string r2007 = slurp(kDir + "/example_2007.dwg");
    ASSERT_FALSE(r2007.empty());
    std::string headerRecord = r2007;
    headerRecord[0x80 + 3 * 0x30] ^= 0x10;
    std::string dataPage2007 = r2007;
    dataPage2007[0x6C840 + 100] ^= 0x01;
    std::string locked = r2004;
    locked[0x18] = 1;
    std::string lockedAndDamaged = locked;
    lockedAndDamaged[0x80] ^= 0x20;
    std::string badVersion = r2000;
    badVersion[5] = '9';

    struct Case {
        const char* what;
        std::string bytes;
        Status status;
        std::string message;
    } cases[] = {
        {"not a drawing", "0\nSECTION\n", Status::NotDwg, "not a DWG file"},
        {"unknown version", badVersion, Status::Unsupported,
         "DWG version AC1019 is not supported (R13 to 2018 are)"},
        {"truncated R2000", r2000.substr(0, 20000), Status::Damaged,
         "file header at offset 25: section locator points outside the file"},
        {"truncated 2004", r2004.substr(0, 0x400), Status::Damaged,
         "section page map at offset 187552: page lies outside the file"},
        {"wrong CRC", wrongCrc, Status::Damaged, "file header at offset 79: wrong CRC"},
        {"bad section map", sectionMap, Status::Damaged,
         "section map at offset " + std::to_string(mapAt + 16) + ": wrong page checksum"},
        {"compressed length past the end", pastEnd, Status::Damaged,
         "AcDb:Header at offset " + std::to_string(page + 8) +
             ": compressed length runs past the end of the file"},
        {"2007 file header truncated", r2007.substr(0, 0x300), Status::Damaged,
         "file header at offset 768: the file ends inside the file header"},
        {"2007 file header record", headerRecord, Status::Damaged,
         "file header at offset 128: wrong CRC of the header record"},
        {"2007 data page", dataPage2007, Status::Damaged,
         "AcDb:Header at offset 444480: wrong page CRC"},
        {"2007 truncated before its section map", r2007.substr(0, 0x6CB40 + 0x100), Status::Damaged,
         "section map at offset 445248: page lies outside the file"},
        {"object map outside the file", mapOutsideFile(r2000), Status::Damaged,
         "object map at offset 1073741823: object map points outside the file"},
        {"password", locked, Status::Encrypted,
         "file header at offset 24: the drawing is password-protected"},
        {"protection wrapper", "%TSD-Header-###%" + r2004, Status::Encrypted,
         "the drawing is wrapped by a protection system"},
        {"other protection wrapper", std::string("E-SafeNet\0\0LOCK", 15) + r2000,
         Status::Encrypted, "the drawing is wrapped by a protection system"},
        {"password flag of a header that does not read", lockedAndDamaged, Status::Damaged,
         "file header at offset 128: bad encrypted header"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Drawing d;
        DecodeResult r = decode(c.bytes, d);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.message, c.message);
    }
    for (std::size_t cut : {std::size_t(6), std::size_t(0x90), std::size_t(0x6000)}) {
        Drawing d;
        for (const std::string* f : {&r2000, &r2004, &r2007})
            EXPECT_NE(decode(f->substr(0, cut), d).status, Status::Ok) << cut;
    }
}

namespace {
// The checksum of a 2004 system page: Adler-32's sums from `seed`.
std::uint32_t pageSum(std::uint32_t seed, const std::string& bytes) {
    std::uint32_t s1 = seed & 0xFFFF, s2 = seed >> 16;
    for (unsigned char b : bytes) {
        s1 = (s1 + b) % 0xFFF1;
        s2 = (s2 + s1) % 0xFFF1;
    }
    return s2 << 16 | s1;
}
}  // namespace

// A compressed stream may open with one byte counting its literals past 0x11 (AutoCAD 2021
// writes a short page map so): the 2004 sample's page map, opened with 0x22 for the 0x0E of
// its 17 literals, reads as before.
TEST_F(DwgRead, ReadsAStreamOpenedWithALiteralCount) {
    const std::string r2004 = slurp(kDir + "/example_2004.dwg");
    const std::size_t map = 187552;  // the section page map (see the truncated 2004 case)
    ASSERT_EQ(le32(r2004, map), 0x41630E3Bu);
    ASSERT_EQ(r2004[map + 20], 0x0E);
    std::string opened = r2004;
    opened[map + 20] = char(0x11 + 17);
    put32(opened, map + 16, 0);
    put32(opened, map + 16,
          pageSum(pageSum(0, opened.substr(map, 20)),
                  opened.substr(map + 20, le32(opened, map + 8))));
    Drawing before, after;
    ASSERT_EQ(decode(r2004, before).status, Status::Ok);
    const DecodeResult r = decode(opened, after);
    ASSERT_EQ(r.status, Status::Ok) << r.message;
    EXPECT_EQ(after.records.size(), before.records.size());
}

namespace {

// "Name = value" lines of a property listing; points as three numbers.
std::map<std::string, std::string> listing(const std::string& path) {
    std::map<std::string, std::string> props;
    std::istringstream in(slurp(path));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::size_t eq = line.find(" = ");
        if (line.rfind(";   ", 0) != 0 || eq == std::string::npos) continue;
        std::string key = line.substr(4, eq - 4);
        if (std::size_t ro = key.find(" (RO)"); ro != std::string::npos) key.erase(ro);
        std::string value = line.substr(eq + 3);
        if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
        if (value.size() >= 2 && value.front() == '(') value = value.substr(1, value.size() - 2);
        props[key] = value;
    }
    return props;
}

// The listing prints six significant digits.
void expectListed(const std::map<std::string, std::string>& p, const std::string& key,
                  std::vector<double> got) {
    auto it = p.find(key);
    ASSERT_NE(it, p.end()) << key;
    std::istringstream in(it->second);
    for (double g : got) {
        double want = 0;
        in >> want;
        EXPECT_NEAR(g, want, 1e-5 * std::max(1.0, std::fabs(want)) + 5e-5) << key;
    }
}

}  // namespace

TEST_F(DwgRead, MatchesThePropertyListings) {
    const char* files[] = {"2000/Arc", "2000/Text", "2007/Arc",  "2007/Line",
                           "2018/Arc", "2018/Line", "2018/Text", "2018/circle"};
    for (const char* name : files) {
        SCOPED_TRACE(name);
        auto props = listing(kDir + "/" + name + ".txt");
        Drawing d;
        DecodeResult r = decode(slurp(kDir + "/" + name + ".dwg"), d);
        ASSERT_EQ(r.status, Status::Ok) << r.message;
        const Record* rec = d.find(std::stoull(props["Handle"], nullptr, 16));
        ASSERT_NE(rec, nullptr);
        const Record* layer = d.find(rec->entity.layer);
        ASSERT_NE(layer, nullptr);
        EXPECT_EQ(std::get<LayerRec>(layer->data).name, props["Layer"]);
        EXPECT_EQ(rec->entity.lineweight, std::stoi(props["Lineweight"]));
        if (auto* c = std::get_if<CircleRec>(&rec->data)) {
            expectListed(props, "Center", {c->center.x, c->center.y, c->center.z});
            expectListed(props, "Radius", {c->radius});
            if (c->isArc) {
                double r0 = c->radius;
                expectListed(props, "StartPoint",
                             {c->center.x + r0 * std::cos(c->startAngle),
                              c->center.y + r0 * std::sin(c->startAngle), c->center.z});
                expectListed(props, "EndPoint",
                             {c->center.x + r0 * std::cos(c->endAngle),
                              c->center.y + r0 * std::sin(c->endAngle), c->center.z});
            }
        } else if (auto* l = std::get_if<LineRec>(&rec->data)) {
            expectListed(props, "StartPoint", {l->start.x, l->start.y, l->start.z});
            expectListed(props, "EndPoint", {l->end.x, l->end.y, l->end.z});
        } else if (auto* t = std::get_if<TextRec>(&rec->data)) {
            expectListed(props, "InsertionPoint", {t->position.x, t->position.y, t->position.z});
            expectListed(props, "Height", {t->height});
            EXPECT_EQ(t->text, props["TextString"]);
        } else if (auto* m = std::get_if<MTextRec>(&rec->data)) {
            expectListed(props, "InsertionPoint", {m->position.x, m->position.y, m->position.z});
            expectListed(props, "Height", {m->textHeight});
            EXPECT_EQ(m->text, props["TextString"]);
        } else {
            ADD_FAILURE() << "unexpected kind " << rec->common.dxfName;
        }
    }
}

namespace {
int seenCodePage = -1;
std::string bracketed(std::string_view bytes, int codePage) {
    seenCodePage = codePage;
    return "[" + std::string(bytes) + "]";
}
}  // namespace

// Texts before 2007 pass through the code-page seam with $DWGCODEPAGE; later ones are UTF-16
// and do not.
TEST_F(DwgRead, EightBitTextsGoThroughTheCodePageSeam) {
    for (const char* v : {"2000", "2018"}) {
        SCOPED_TRACE(v);
        seenCodePage = -1;
        ReadOptions options;
        options.decodeCodePage = bracketed;
        Drawing d;
        DecodeResult r = decode(slurp(kDir + "/example_" + v + ".dwg"), d, options);
        ASSERT_EQ(r.status, Status::Ok) << r.message;
        EXPECT_EQ(d.header.codePage, 30);  // ANSI_1252
        bool eightBit = std::string(v) == "2000";
        EXPECT_EQ(seenCodePage, eightBit ? 30 : -1);
        std::string layer0;
        for (const Record& rec : d.records)
            if (auto* l = std::get_if<LayerRec>(&rec.data);
                l && l->name.find('0') != std::string::npos)
                layer0 = l->name;
        EXPECT_EQ(layer0, eightBit ? "[0]" : "0");
    }
}
