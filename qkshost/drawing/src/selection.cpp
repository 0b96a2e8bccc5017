#include "qkshost/drawing/selection.h"

#include "qkshost/drawing/geometry.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace qkshost::drawing {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

bool parseNumber(std::string_view s, double& v) {
    s = trim(s);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc() && r.ptr == s.data() + s.size() && !s.empty() && std::isfinite(v);
}

// "x,y" (an optional ",z" is accepted and ignored)
bool parsePoint(std::string_view s, double& x, double& y) {
    std::size_t c = s.find(',');
    if (c == std::string_view::npos) return false;
    std::string_view rest = s.substr(c + 1);
    std::size_t c2 = rest.find(',');
    if (c2 != std::string_view::npos) {
        double z;
        if (!parseNumber(rest.substr(c2 + 1), z)) return false;
        rest = rest.substr(0, c2);
    }
    return parseNumber(s.substr(0, c), x) && parseNumber(rest, y);
}

std::vector<std::string_view> words(std::string_view s) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i])))
            ++i;
        std::size_t j = i;
        while (j < s.size() && !std::isspace(static_cast<unsigned char>(s[j])))
            ++j;
        if (j > i) out.push_back(s.substr(i, j - i));
        i = j;
    }
    return out;
}

struct Rect {
    double x0, y0, x1, y1;
    bool contains(double x, double y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};

bool segmentHitsRect(const Point3d& a, const Point3d& b, const Rect& r) {
    if (r.contains(a.x, a.y) || r.contains(b.x, b.y)) return true;
    // Liang-Barsky clipping
    double t0 = 0, t1 = 1, dx = b.x - a.x, dy = b.y - a.y;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x - r.x0, r.x1 - a.x, a.y - r.y0, r.y1 - a.y};
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0) {
            if (q[k] < 0) return false;
            continue;
        }
        double t = q[k] / p[k];
        if (p[k] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1) return false;
    }
    return true;
}

bool crosses(const Database& db, ObjectIndex i, const Extents3d& box, const Rect& r) {
    if (box.max.x < r.x0 || box.min.x > r.x1 || box.max.y < r.y0 || box.min.y > r.y1) return false;
    if (r.contains(box.min.x, box.min.y) && r.contains(box.max.x, box.max.y)) return true;
    const Object* o = db.object(i);
    if (!isCurve(*o)) return true;  // texts, references: their box decides
    double t0, t1;
    if (curveStartParam(db, i, t0) != Status::Ok || curveEndParam(db, i, t1) != Status::Ok)
        return true;
    const int n = 256;
    Point3d prev;
    if (curvePointAtParam(db, i, t0, prev) != Status::Ok) return true;
    for (int k = 1; k <= n; ++k) {
        Point3d p;
        if (curvePointAtParam(db, i, t0 + (t1 - t0) * k / n, p) != Status::Ok) return true;
        if (segmentHitsRect(prev, p, r)) return true;
        prev = p;
    }
    return false;
}

}  // namespace

Status evaluateSelection(const Database& db, std::string_view line, SelectionResult& result,
                         ObjectIndex space) {
    result = SelectionResult{};
    line = trim(line);
    if (line.empty()) {
        result.cancelled = true;
        return Status::Ok;
    }
    auto* rec = db.get<BlockRecord>(space ? space : db.modelSpace());
    if (!rec) {
        result.message = "no such space";
        return Status::NotFound;
    }
    std::vector<std::string_view> w = words(line);
    std::string_view key = w[0];
    auto selectable = [&](ObjectIndex i) -> const Entity* {
        auto* e = dynamic_cast<const Entity*>(db.object(i));
        if (!e || e->erased) return nullptr;
        auto* l = db.get<LayerRecord>(e->layer ? e->layer : db.layer0());
        if (l && l->frozen()) return nullptr;
        return e;
    };
    if (equalsNoCase(key, "ALL")) {
        if (w.size() != 1) {
            result.message = "ALL takes no arguments";
            return Status::InvalidInput;
        }
        for (ObjectIndex i : rec->entities)
            if (selectable(i)) result.entities.push_back(i);
        return Status::Ok;
    }
    if (equalsNoCase(key, "W") || equalsNoCase(key, "C")) {
        double x0, y0, x1, y1;
        if (w.size() != 3 || !parsePoint(w[1], x0, y0) || !parsePoint(w[2], x1, y1)) {
            result.message = "expected: " + std::string(key) + " x1,y1 x2,y2";
            return Status::InvalidInput;
        }
        Rect r{std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)};
        bool window = equalsNoCase(key, "W");
        for (ObjectIndex i : rec->entities) {
            if (!selectable(i)) continue;
            Extents3d box;
            if (entityExtents(db, i, box) != Status::Ok) continue;
            bool inside = r.contains(box.min.x, box.min.y) && r.contains(box.max.x, box.max.y);
            if (window ? inside : crosses(db, i, box, r)) result.entities.push_back(i);
        }
        return Status::Ok;
    }
    if (equalsNoCase(key, "L")) {
        std::string_view rest = trim(line.substr(1));
        if (rest.empty()) {
            result.message = "expected: L name[,name]";
            return Status::InvalidInput;
        }
        std::vector<ObjectIndex> layers;
        while (!rest.empty()) {
            std::size_t c = rest.find(',');
            std::string_view name = trim(rest.substr(0, c));
            if (ObjectIndex l = db.findLayer(name)) layers.push_back(l);
            if (c == std::string_view::npos) break;
            rest = rest.substr(c + 1);
        }
        for (ObjectIndex i : rec->entities)
            if (auto* e = selectable(i)) {
                ObjectIndex l = e->layer ? e->layer : db.layer0();
                if (std::find(layers.begin(), layers.end(), l) != layers.end())
                    result.entities.push_back(i);
            }
        return Status::Ok;
    }
    if (equalsNoCase(key, "H")) {
        if (w.size() < 2) {
            result.message = "expected: H handle ...";
            return Status::InvalidInput;
        }
        std::vector<ObjectIndex> wanted;
        for (std::size_t k = 1; k < w.size(); ++k) {
            ObjectIndex i = db.indexFromHandleText(w[k]);
            const Object* o = db.object(i);
            if (!i || !o->isEntity() || o->owner != rec->self) {
                result.message +=
                    (result.message.empty() ? "not found:" : "") + (" " + std::string(w[k]));
                continue;
            }
            wanted.push_back(i);
        }
        for (ObjectIndex i : rec->entities)
            if (selectable(i) && std::find(wanted.begin(), wanted.end(), i) != wanted.end())
                result.entities.push_back(i);
        return Status::Ok;
    }
    result.message = "unknown selection mode '" + std::string(key) + "' (ALL, W, C, L or H)";
    return Status::InvalidInput;
}

}  // namespace qkshost::drawing
