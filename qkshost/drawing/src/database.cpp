#include "qkshost/drawing/database.h"

#include "object_pool.h"
#include "qkshost/drawing/geometry.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <mutex>

namespace qkshost::drawing {

namespace {
std::mutex registryMutex;
std::unordered_map<std::uint32_t, Database*>& registry() {
    static std::unordered_map<std::uint32_t, Database*> r;
    return r;
}
std::uint32_t nextSerial = 1;

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

std::string upperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return out;
}
}  // namespace

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

const char* statusText(Status s) {
    switch (s) {
        case Status::Ok:
            return "ok";
        case Status::NotFound:
            return "not found";
        case Status::InvalidInput:
            return "invalid input";
        case Status::ReadError:
            return "read error";
        case Status::WriteError:
            return "write error";
        case Status::WrongType:
            return "wrong object type";
        case Status::WasOpenForWrite:
            return "object is open for write";
        case Status::NotOpen:
            return "object is not open";
        case Status::Duplicate:
            return "duplicate name";
        case Status::NotApplicable:
            return "not applicable";
        case Status::Encrypted:
            return "encrypted drawing";
    }
    return "unknown status";
}

bool BlockRecord::isModelSpace() const {
    return equalsNoCase(name, "*Model_Space");
}
bool BlockRecord::isPaperSpace() const {
    return name.size() >= 12 && equalsNoCase(std::string_view(name).substr(0, 12), "*Paper_Space");
}

bool PlotSettings::operator==(const PlotSettings& o) const {
    return pageSetupName == o.pageSetupName && device == o.device && media == o.media &&
           viewName == o.viewName && styleSheet == o.styleSheet && marginLeft == o.marginLeft &&
           marginBottom == o.marginBottom && marginRight == o.marginRight &&
           marginTop == o.marginTop && paperWidth == o.paperWidth && paperHeight == o.paperHeight &&
           originX == o.originX && originY == o.originY && windowMinX == o.windowMinX &&
           windowMinY == o.windowMinY && windowMaxX == o.windowMaxX && windowMaxY == o.windowMaxY &&
           numerator == o.numerator && denominator == o.denominator && flags == o.flags &&
           paperUnits == o.paperUnits && rotation == o.rotation && plotType == o.plotType &&
           standardScaleType == o.standardScaleType && scaleFactor == o.scaleFactor &&
           imageOriginX == o.imageOriginX && imageOriginY == o.imageOriginY;
}

bool Layout::isModel() const {
    return equalsNoCase(name, "Model");
}

Database::Database(bool withDefaults) {
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        serial_ = nextSerial++;
        registry()[serial_] = this;
    }
    if (withDefaults) createDefaults();
}

Database::~Database() {
    std::lock_guard<std::mutex> lock(registryMutex);
    registry().erase(serial_);
}

Database* Database::fromSerial(std::uint32_t serial) {
    std::lock_guard<std::mutex> lock(registryMutex);
    auto it = registry().find(serial);
    return it == registry().end() ? nullptr : it->second;
}

ObjectIndex Database::add(std::unique_ptr<Object> obj) {
    if (!obj) return 0;
    if (objects_.size() >= 0xfffffff0u) return 0;
    ObjectIndex i = ObjectIndex(objects_.size() + 1);
    obj->self = i;
    if (obj->handle == 0 || byHandle_.contains(obj->handle)) obj->handle = newHandle();
    registerHandle(obj->handle, i);
    objects_.push_back(std::move(obj));
    return i;
}

void Database::registerHandle(Handle h, ObjectIndex i) {
    byHandle_.set(h, i);
    if (h >= nextHandle_) nextHandle_ = h + 1;
}

void Database::rebuildHandleMap() {
    byHandle_.clear();
    byHandle_.reserve(objects_.size());
    for (auto& o : objects_)
        registerHandle(o->handle, o->self);
}

ObjectIndex Database::appendEntity(std::unique_ptr<Entity> e, ObjectIndex block) {
    if (!e) return 0;
    if (!block) block = modelSpace_;
    auto* rec = get<BlockRecord>(block);
    if (!rec) return 0;
    if (!e->layer) e->layer = layer0_;
    e->owner = block;
    ObjectIndex i = add(std::move(e));
    if (i) rec->entities.push_back(i);
    return i;
}

void Database::erase(ObjectIndex i) {
    eraseAll({i});
}

void Database::eraseAll(const std::vector<ObjectIndex>& indices) {
    // Marked first, then each owner's list compacted once: erasing many entities of a large
    // block costs one pass over it, not one per entity.
    std::vector<ObjectIndex> owners;
    for (const ObjectIndex i : indices) {
        Object* o = object(i);
        if (!o || o->erased) continue;
        markErased(*o);
        if (get<BlockRecord>(o->owner)) owners.push_back(o->owner);
    }
    std::sort(owners.begin(), owners.end());
    owners.erase(std::unique(owners.begin(), owners.end()), owners.end());
    for (const ObjectIndex owner : owners) {
        auto& v = get<BlockRecord>(owner)->entities;
        v.erase(std::remove_if(v.begin(), v.end(),
                               [this](ObjectIndex e) {
                                   const Object* o = object(e);
                                   return o == nullptr || o->erased;
                               }),
                v.end());
    }
}

void Database::markErased(Object& object_) {
    Object* o = &object_;
    o->erased = true;
    // By kind, not by cast: erasing a large share of a drawing visits every object once.
    if (o->kind() == Kind::Polyline) {
        auto* pl = static_cast<Polyline*>(o);
        for (ObjectIndex v : pl->vertices)
            if (Object* vo = object(v)) vo->erased = true;
        if (Object* s = object(pl->seqEnd)) s->erased = true;
    } else if (o->kind() == Kind::BlockReference) {
        auto* br = static_cast<BlockReference*>(o);
        for (ObjectIndex a : br->attributes)
            if (Object* ao = object(a)) ao->erased = true;
        if (Object* s = object(br->seqEnd)) s->erased = true;
    }
}

Status Database::open(ObjectIndex i, OpenMode mode, Object** out) {
    if (out) *out = nullptr;
    Object* o = object(i);
    if (!o || o->erased) return Status::NotFound;
    if (o->writer) return Status::WasOpenForWrite;
    if (mode == OpenMode::Write) {
        if (o->readers) return Status::WasOpenForWrite;
        o->writer = true;
    } else {
        ++o->readers;
    }
    if (out) *out = o;
    return Status::Ok;
}

void Database::close(ObjectIndex i, OpenMode mode) {
    Object* o = object(i);
    if (!o) return;
    if (mode == OpenMode::Write)
        o->writer = false;
    else if (o->readers)
        --o->readers;
}

ObjectIndex Database::indexFromHandle(Handle h) const {
    ObjectIndex i = byHandle_.find(h);
    Object* o = object(i);
    return (o && !o->erased) ? i : 0;
}

namespace {
// Handles in a drawing are mostly consecutive: keeping their low bits makes neighbours share
// cache lines, and folding in the high bits spreads regular strides over the table.
std::size_t slotOf(Handle h, std::size_t mask) {
    return std::size_t(h ^ (h >> 17) ^ (h >> 31) ^ (h >> 47)) & mask;
}
}  // namespace

Database::HandleMap::~HandleMap() {
    releaseTable(slots_, capacity_ * sizeof(Slot));
}

void Database::HandleMap::clear() {
    std::fill(slots_, slots_ + capacity_, Slot{0, 0});
    size_ = 0;
}

ObjectIndex Database::HandleMap::find(Handle h) const {
    if (capacity_ == 0 || h == 0) return 0;
    std::size_t mask = capacity_ - 1;
    for (std::size_t s = slotOf(h, mask);; s = (s + 1) & mask) {
        if (slots_[s].handle == h) return slots_[s].index;
        if (slots_[s].handle == 0) return 0;
    }
}

void Database::HandleMap::set(Handle h, ObjectIndex i) {
    if (h == 0) return;
    if ((size_ + 1) * 2 > capacity_) reserve(std::max<std::size_t>(16, (size_ + 1) * 2));
    std::size_t mask = capacity_ - 1;
    for (std::size_t s = slotOf(h, mask);; s = (s + 1) & mask) {
        if (slots_[s].handle == h) {
            slots_[s].index = i;
            return;
        }
        if (slots_[s].handle == 0) {
            slots_[s] = {h, i};
            ++size_;
            return;
        }
    }
}

void Database::HandleMap::reserve(std::size_t n) {
    std::size_t cap = 16;
    while (cap < n * 2)
        cap *= 2;
    if (cap <= capacity_) return;
    Slot* fresh = static_cast<Slot*>(allocateTable(cap * sizeof(Slot)));
    std::fill(fresh, fresh + cap, Slot{0, 0});
    Slot* old = slots_;
    const std::size_t oldCapacity = capacity_;
    slots_ = fresh;
    capacity_ = cap;
    size_ = 0;
    for (std::size_t k = 0; k < oldCapacity; ++k)
        if (old[k].handle) set(old[k].handle, old[k].index);
    releaseTable(old, oldCapacity * sizeof(Slot));
}

ObjectIndex Database::indexFromHandleText(std::string_view hex) const {
    while (!hex.empty() && (hex.front() == ' ' || hex.front() == '\t'))
        hex.remove_prefix(1);
    while (!hex.empty() && (hex.back() == ' ' || hex.back() == '\t'))
        hex.remove_suffix(1);
    if (hex.empty() || hex.size() > 16) return 0;
    Handle h = 0;
    auto r = std::from_chars(hex.data(), hex.data() + hex.size(), h, 16);
    if (r.ec != std::errc() || r.ptr != hex.data() + hex.size() || h == 0) return 0;
    return indexFromHandle(h);
}

std::string Database::handleText(Handle h) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(h));
    return buf;
}

ObjectIndex Database::findIn(const std::vector<ObjectIndex>& table, std::string_view name) const {
    for (ObjectIndex i : table) {
        auto* r = static_cast<SymbolRecord*>(object(i));
        if (r && !r->erased && equalsNoCase(r->name, name)) return i;
    }
    return 0;
}

ObjectIndex Database::findLayer(std::string_view n) const {
    return findIn(layers_, n);
}
ObjectIndex Database::findTextStyle(std::string_view n) const {
    return findIn(styles_, n);
}
ObjectIndex Database::findLinetype(std::string_view n) const {
    return findIn(linetypes_, n);
}
ObjectIndex Database::findBlock(std::string_view n) const {
    return findIn(blocks_, n);
}
ObjectIndex Database::findDimStyle(std::string_view n) const {
    return findIn(dimStyles_, n);
}
ObjectIndex Database::findAppId(std::string_view n) const {
    return findIn(appIds_, n);
}

void Database::addToTable(ObjectIndex record) {
    switch (object(record)->kind()) {
        case Kind::LayerRecord:
            layers_.push_back(record);
            break;
        case Kind::TextStyleRecord:
            styles_.push_back(record);
            break;
        case Kind::LinetypeRecord:
            linetypes_.push_back(record);
            break;
        case Kind::BlockRecord:
            blocks_.push_back(record);
            break;
        case Kind::DimStyleRecord:
            dimStyles_.push_back(record);
            break;
        case Kind::AppIdRecord:
            appIds_.push_back(record);
            break;
        default:
            break;
    }
}

namespace {
// Symbol names: not empty, at most 255 bytes, none of the characters the CAD program refuses.
bool validSymbolName(std::string_view n) {
    if (n.empty() || n.size() > 255) return false;
    for (char c : n)
        if (static_cast<unsigned char>(c) < 32 ||
            std::string_view("<>/\\\":;?*|=`").find(c) != std::string_view::npos)
            return false;
    return true;
}
}  // namespace

namespace {
// Adds a record of type T named `name` to `table` unless the name is taken or illegal.
template <class T, class Init>
Status addSymbol(Database& db, std::vector<ObjectIndex>& table, std::string_view name,
                 ObjectIndex existing, ObjectIndex* out, Init&& init) {
    if (out) *out = 0;
    if (!validSymbolName(name)) return Status::InvalidInput;
    if (existing) {
        if (out) *out = existing;
        return Status::Duplicate;
    }
    auto r = std::make_unique<T>();
    r->name = std::string(name);
    init(*r);
    ObjectIndex i = db.add(std::move(r));
    table.push_back(i);
    if (out) *out = i;
    return Status::Ok;
}
}  // namespace

Status Database::addLayer(std::string_view name, int color, ObjectIndex* out) {
    ObjectIndex lt = continuous();
    return addSymbol<LayerRecord>(*this, layers_, name, findLayer(name), out, [&](LayerRecord& l) {
        l.color = (color >= 1 && color <= 255) ? color : 7;
        l.linetype = lt;
    });
}

Status Database::addTextStyle(std::string_view name, std::string_view fontFile, ObjectIndex* out) {
    return addSymbol<TextStyleRecord>(
        *this, styles_, name, findTextStyle(name), out,
        [&](TextStyleRecord& s) { s.fontFile = std::string(fontFile); });
}

Status Database::addLinetype(std::string_view name, ObjectIndex* out) {
    return addSymbol<LinetypeRecord>(*this, linetypes_, name, findLinetype(name), out,
                                     [](LinetypeRecord&) {});
}

Status Database::addBlock(std::string_view name, ObjectIndex* out) {
    // anonymous names (*D1, *Paper_Space0) are legal block names
    std::string_view checked = (name.size() > 1 && name[0] == '*') ? name.substr(1) : name;
    if (!validSymbolName(checked)) {
        if (out) *out = 0;
        return Status::InvalidInput;
    }
    ObjectIndex got = 0;
    Status st =
        addSymbol<BlockRecord>(*this, blocks_, checked, findBlock(name), &got, [](BlockRecord&) {});
    if (out) *out = got;
    if (st == Status::Ok) {
        auto* rec = get<BlockRecord>(got);
        rec->name = std::string(name);
        rec->beginHandle = newHandle();
        rec->endHandle = newHandle();
    }
    return st;
}

Status Database::addDimStyle(std::string_view name, ObjectIndex* out) {
    return addSymbol<DimStyleRecord>(*this, dimStyles_, name, findDimStyle(name), out,
                                     [](DimStyleRecord&) {});
}

ObjectIndex Database::addAnonymousBlock(std::string_view prefix) {
    const std::string key = upperAscii(prefix);
    auto found = anonymousNumbers_.find(key);
    if (found == anonymousNumbers_.end()) {
        // First use of this prefix: start above every number the drawing holds already.
        unsigned highest = 0;
        for (ObjectIndex b : blocks_) {
            const auto* record = get<BlockRecord>(b);
            if (!record || record->name.size() <= key.size() ||
                upperAscii(std::string_view(record->name).substr(0, key.size())) != key)
                continue;
            const std::string_view digits = std::string_view(record->name).substr(key.size());
            unsigned n = 0;
            const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), n);
            if (r.ec == std::errc() && r.ptr == digits.data() + digits.size())
                highest = std::max(highest, n);
        }
        found = anonymousNumbers_.emplace(key, highest).first;
    }
    // Blocks named later by other means (a copy, a reader) are still stepped over.
    for (;;) {
        const std::string name = std::string(prefix) + std::to_string(++found->second);
        if (findBlock(name)) continue;
        ObjectIndex block = 0;
        return addBlock(name, &block) == Status::Ok ? block : 0;
    }
}

ObjectIndex Database::ensureAppId(std::string_view name) {
    if (ObjectIndex e = findAppId(name)) return e;
    auto a = std::make_unique<AppIdRecord>();
    a->name = std::string(name);
    ObjectIndex i = add(std::move(a));
    appIds_.push_back(i);
    return i;
}

Status Database::rename(ObjectIndex record, std::string_view newName) {
    auto* r = dynamic_cast<SymbolRecord*>(object(record));
    if (!r) return Status::WrongType;
    if (!validSymbolName(newName)) return Status::InvalidInput;
    const std::vector<ObjectIndex>* table = nullptr;
    switch (r->kind()) {
        case Kind::LayerRecord:
            table = &layers_;
            break;
        case Kind::TextStyleRecord:
            table = &styles_;
            break;
        case Kind::LinetypeRecord:
            table = &linetypes_;
            break;
        case Kind::BlockRecord:
            table = &blocks_;
            break;
        case Kind::DimStyleRecord:
            table = &dimStyles_;
            break;
        case Kind::AppIdRecord:
            table = &appIds_;
            break;
        default:
            return Status::WrongType;
    }
    ObjectIndex other = findIn(*table, newName);
    if (other && other != record) return Status::Duplicate;
    r->name = std::string(newName);
    return Status::Ok;
}

std::string Database::layerName(const Entity& e) const {
    auto* l = get<LayerRecord>(e.layer ? e.layer : layer0_);
    return l ? l->name : "0";
}

std::string Database::linetypeName(const Entity& e) const {
    auto* l = get<LinetypeRecord>(e.linetype);
    return l ? l->name : "ByLayer";
}

std::string Database::blockName(ObjectIndex block) const {
    auto* b = get<BlockRecord>(block);
    return b ? b->name : std::string();
}

ObjectIndex Database::findLayout(std::string_view name) const {
    for (ObjectIndex i : layouts_) {
        auto* l = get<Layout>(i);
        if (l && !l->erased && equalsNoCase(l->name, name)) return i;
    }
    return 0;
}

ObjectIndex Database::activeLayout() const {
    if (tileMode) {
        if (auto* m = get<BlockRecord>(modelSpace_)) return m->layout;
    }
    if (auto* p = get<BlockRecord>(paperSpace_)) return p->layout;
    return 0;
}

Status Database::setCurrentLayout(ObjectIndex layout) {
    auto* l = get<Layout>(layout);
    if (!l || l->erased) return Status::NotFound;
    auto* rec = get<BlockRecord>(l->block);
    if (!rec) return Status::NotFound;
    if (rec->isModelSpace()) {
        tileMode = true;
        return Status::Ok;
    }
    tileMode = false;
    if (l->block == paperSpace_) return Status::Ok;
    // The active paper layout owns the block named *Paper_Space: swap names with it.
    auto* active = get<BlockRecord>(paperSpace_);
    if (active) std::swap(active->name, rec->name);
    paperSpace_ = l->block;
    return Status::Ok;
}

Status Database::setCurrentLayout(std::string_view name) {
    ObjectIndex l = findLayout(name);
    return l ? setCurrentLayout(l) : Status::NotFound;
}

ObjectIndex Database::createLayout(std::string_view name, ObjectIndex block, int tabOrder) {
    auto l = std::make_unique<Layout>();
    l->name = std::string(name);
    l->block = block;
    l->tabOrder = tabOrder;
    bool model = equalsNoCase(name, "Model");
    if (model) {
        l->layoutFlags = 1;
        l->plot.flags = 1712;
        l->plot.plotType = 1;
        l->plot.standardScaleType = 0;
        l->plot.paperUnits = 0;
    }
    ObjectIndex i = add(std::move(l));
    if (auto* rec = get<BlockRecord>(block)) rec->layout = i;
    layouts_.push_back(i);
    return i;
}

void Database::createDefaults() {
    for (const char* n : {"ByBlock", "ByLayer", "Continuous"})
        addLinetype(n);
    if (auto* c = get<LinetypeRecord>(continuous())) c->description = "Solid line";
    addLayer("0", 7, &layer0_);
    addTextStyle("Standard", "txt", &currentTextStyle);
    ensureAppId("ACAD");
    addDimStyle("Standard", &currentDimStyle);
    addBlock("*Model_Space", &modelSpace_);
    addBlock("*Paper_Space", &paperSpace_);
    createLayout("Model", modelSpace_, 0);
    createLayout("Layout1", paperSpace_, 1);
    currentLayer = layer0_;
}

void Database::ensureStructure() {
    // the default records every drawing must have, created when the file lacked them
    for (const char* n : {"ByBlock", "ByLayer", "Continuous"})
        if (!findLinetype(n)) addLinetype(n);
    layer0_ = findLayer("0");
    if (!layer0_) addLayer("0", 7, &layer0_);
    if (!findTextStyle("Standard")) addTextStyle("Standard", "txt");
    ensureAppId("ACAD");
    if (!findDimStyle("Standard")) addDimStyle("Standard");
    modelSpace_ = findBlock("*Model_Space");
    if (!modelSpace_) addBlock("*Model_Space", &modelSpace_);
    paperSpace_ = findBlock("*Paper_Space");
    if (!paperSpace_) addBlock("*Paper_Space", &paperSpace_);
    // every layout block needs its layout, and every layout a live block
    std::vector<ObjectIndex> keep;
    for (ObjectIndex li : layouts_) {
        auto* l = get<Layout>(li);
        auto* rec = l ? get<BlockRecord>(l->block) : nullptr;
        if (!rec || !rec->isLayout() || (rec->layout && rec->layout != li)) {
            if (l) l->erased = true;
            continue;
        }
        rec->layout = li;
        keep.push_back(li);
    }
    layouts_ = keep;
    int tab = 1;
    for (ObjectIndex b : std::vector<ObjectIndex>(blocks_)) {
        auto* rec = get<BlockRecord>(b);
        if (!rec->isLayout() || rec->layout) continue;
        if (rec->isModelSpace())
            createLayout("Model", b, 0);
        else {
            std::string name = "Layout" + std::to_string(tab);
            while (findLayout(name))
                name = "Layout" + std::to_string(++tab);
            createLayout(name, b, tab);
        }
    }
    if (!currentLayer || !get<LayerRecord>(currentLayer)) currentLayer = layer0_;
    if (!currentTextStyle || !get<TextStyleRecord>(currentTextStyle))
        currentTextStyle = findTextStyle("Standard");
    if (!currentDimStyle || !get<DimStyleRecord>(currentDimStyle))
        currentDimStyle = findDimStyle("Standard");
}

Extents3d Database::extents() const {
    Extents3d box;
    if (auto* ms = get<BlockRecord>(modelSpace_))
        for (ObjectIndex i : ms->entities) {
            Extents3d e;
            if (entityExtents(*this, i, e) == Status::Ok) box.add(e);
        }
    return box;
}

}  // namespace qkshost::drawing
