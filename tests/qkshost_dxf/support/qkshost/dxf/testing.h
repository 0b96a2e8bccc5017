// Helpers of the suites that work on DXF fixtures (the DXF codec's and the kernel's): fixture
// paths, temporary folders, running the independent ezdxf checker, and a canonical
// description of every entity for comparisons.
#pragma once

#include "qks/testing/temp_dir.h"
#include "qkshost/drawing/database.h"
#include "qkshost/drawing/geometry.h"
#include "qkshost/dxf/dxf.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace qkshost::dxf::testing {

using namespace qkshost::drawing;

inline std::string fixture(const std::string& name) {
    return std::string(QKS_DXF_FIXTURES) + "/" + name;
}

inline std::vector<std::string> fixtureNames() {
    return {"entities_r2018.dxf", "entities_r2018_binary.dxf",
            "mirrored_r2000.dxf", "nested_r2010.dxf",
            "gbk_r12.dxf",        "gbk_r12_binary.dxf",
            "gbk_r2000.dxf",      "layouts_r2018.dxf",
            "hatches_r2018.dxf"};
}

using qks::testing::TempDir;

inline std::unique_ptr<Database> readFixture(const std::string& name, ReadResult* out = nullptr) {
    auto db = std::make_unique<Database>(false);
    ReadResult r = readDxfFile(*db, fixture(name));
    if (out) *out = r;
    EXPECT_EQ(r.status, Status::Ok) << name << ": " << r.message;
    return db;
}

inline bool haveEzdxf() {
    static int state = -1;
    if (state < 0) state = std::system("/usr/bin/python3 -c 'import ezdxf' >/dev/null 2>&1") == 0;
    return state == 1;
}

// Runs the checker; returns its exit status and fills its output.
inline int runChecker(const std::string& mode, const std::string& file, std::string& output) {
    std::string cmd =
        "/usr/bin/python3 '" + std::string(QKS_DXF_CHECKER) + "' " + mode + " '" + file + "' 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return -1;
    char buf[4096];
    output.clear();
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        output.append(buf, n);
    int st = ::pclose(p);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// One entity reduced to what a round trip must keep.
struct EntityFacts {
    std::string block, type, layer;
    std::vector<double> numbers;
    std::string text;
};

inline void push(std::vector<double>& v, const Point3d& p) {
    v.push_back(p.x);
    v.push_back(p.y);
    v.push_back(p.z);
}

inline EntityFacts facts(const Database& db, const Entity& e) {
    EntityFacts f;
    f.block = db.blockName(e.owner);
    f.type = e.dxfName();
    f.layer = db.layerName(e);
    auto& n = f.numbers;
    switch (e.kind()) {
        case Kind::Line: {
            auto& l = static_cast<const Line&>(e);
            push(n, l.start);
            push(n, l.end);
            break;
        }
        case Kind::Circle: {
            auto& c = static_cast<const Circle&>(e);
            push(n, c.center);
            n.push_back(c.radius);
            break;
        }
        case Kind::Arc: {
            auto& c = static_cast<const Arc&>(e);
            push(n, c.center);
            n.insert(n.end(), {c.radius, c.startAngle, c.endAngle});
            break;
        }
        case Kind::Ellipse: {
            auto& c = static_cast<const Ellipse&>(e);
            push(n, c.center);
            n.insert(n.end(), {c.majorAxis.x, c.majorAxis.y, c.majorAxis.z, c.ratio, c.startParam,
                               c.endParam});
            break;
        }
        case Kind::LwPolyline: {
            auto& p = static_cast<const LwPolyline&>(e);
            for (auto& v : p.vertices)
                n.insert(n.end(), {v.x, v.y, v.startWidth, v.endWidth, v.bulge});
            n.push_back(p.flags);
            break;
        }
        case Kind::Polyline: {
            auto& p = static_cast<const Polyline&>(e);
            for (ObjectIndex vi : p.vertices)
                if (auto* v = db.get<Vertex>(vi)) {
                    push(n, v->position);
                    n.push_back(v->bulge);
                }
            n.push_back(p.flags);
            break;
        }
        case Kind::Spline: {
            auto& s = static_cast<const Spline&>(e);
            for (auto& p : s.controlPoints)
                push(n, p);
            for (auto& p : s.fitPoints)
                push(n, p);
            n.insert(n.end(), s.knots.begin(), s.knots.end());
            n.insert(n.end(), s.weights.begin(), s.weights.end());
            n.push_back(s.degree);
            break;
        }
        case Kind::Point:
            push(n, static_cast<const PointEntity&>(e).position);
            break;
        case Kind::Text:
        case Kind::Attribute:
        case Kind::AttributeDefinition: {
            auto& t = static_cast<const TextBase&>(e);
            push(n, t.position);
            n.insert(n.end(), {t.height, t.rotation, t.widthFactor});
            f.text = t.text;
            break;
        }
        case Kind::MText: {
            auto& t = static_cast<const MText&>(e);
            push(n, t.position);
            n.insert(n.end(), {t.height, t.width, double(t.attachment)});
            f.text = t.text;
            break;
        }
        case Kind::BlockReference: {
            auto& r = static_cast<const BlockReference&>(e);
            push(n, r.position);
            n.insert(n.end(),
                     {r.scaleX, r.scaleY, r.scaleZ, r.rotation, double(r.attributes.size())});
            f.text = db.blockName(r.block);
            break;
        }
        case Kind::Solid:
            for (auto& p : static_cast<const Solid&>(e).corners)
                push(n, p);
            break;
        default:
            break;
    }
    if (auto* pe = dynamic_cast<const PlanarEntity*>(&e))
        n.insert(n.end(), {pe->extrusion.x, pe->extrusion.y, pe->extrusion.z});
    return f;
}

// Every entity of every block, keyed by handle.
inline std::map<Handle, EntityFacts> allFacts(const Database& db) {
    std::map<Handle, EntityFacts> out;
    for (ObjectIndex b : db.blocks()) {
        auto* rec = db.get<BlockRecord>(b);
        for (ObjectIndex i : rec->entities) {
            auto* e = dynamic_cast<const Entity*>(db.object(i));
            if (e && !e->erased) out[e->handle] = facts(db, *e);
        }
    }
    return out;
}

inline void expectSameFacts(const std::map<Handle, EntityFacts>& a,
                            const std::map<Handle, EntityFacts>& b, const std::string& what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    for (auto& [h, fa] : a) {
        auto it = b.find(h);
        ASSERT_TRUE(it != b.end()) << what << ": entity " << std::hex << h << " lost";
        const EntityFacts& fb = it->second;
        EXPECT_EQ(fa.type, fb.type) << what << " " << std::hex << h;
        EXPECT_EQ(fa.layer, fb.layer) << what << " " << std::hex << h;
        EXPECT_EQ(fa.block, fb.block) << what << " " << std::hex << h;
        EXPECT_EQ(fa.text, fb.text) << what << " " << std::hex << h;
        ASSERT_EQ(fa.numbers.size(), fb.numbers.size()) << what << " " << std::hex << h;
        for (std::size_t k = 0; k < fa.numbers.size(); ++k)
            EXPECT_NEAR(fa.numbers[k], fb.numbers[k], 1e-9) << what << " " << std::hex << h;
    }
}

template <class T>
std::vector<const T*> entitiesOf(const Database& db, ObjectIndex block = 0) {
    std::vector<const T*> v;
    auto* rec = db.get<BlockRecord>(block ? block : db.modelSpace());
    if (!rec) return v;
    for (ObjectIndex i : rec->entities)
        if (auto* e = db.get<T>(i)) v.push_back(e);
    return v;
}

}  // namespace qkshost::dxf::testing
