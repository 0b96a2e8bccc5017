#include "qks/contract/view_format.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace qks::contract {
namespace {

// Record tags.
constexpr char kInfoTag = 'I';
constexpr char kDocumentTag = 'D';
constexpr char kLayoutTag = 'A';
constexpr char kLayerTag = 'Y';
constexpr char kDashTag = 'P';
constexpr char kClipTag = 'C';
constexpr char kStringTag = 'S';
constexpr char kEntityTag = 'E';
constexpr char kStyleTag = 'F';
constexpr char kItemTag = 'T';
constexpr char kTextTag = 'X';
constexpr char kFillTag = 'O';
constexpr char kPointTag = 'V';
constexpr char kLoopTag = 'L';

class Writer {
  public:
    explicit Writer(std::string& out) : out_(out) {}

    template <typename T>
    void put(T value) {
        static_assert(std::is_arithmetic_v<T>);
        // Little-endian on every platform the toolkit builds for; kept as a byte copy so the
        // format does not depend on alignment.
        char bytes[sizeof(T)];
        std::memcpy(bytes, &value, sizeof(T));
        out_.append(bytes, sizeof(T));
    }
    void putString(std::string_view text) {
        put<std::uint32_t>(static_cast<std::uint32_t>(text.size()));
        out_.append(text.data(), text.size());
    }
    void putBytes(const void* data, std::size_t size) {
        out_.append(static_cast<const char*>(data), size);
    }
    // Starts a record; end() fills in its length.
    void begin(char tag) {
        out_.push_back(tag);
        lengthAt_ = out_.size();
        put<std::uint32_t>(0);
    }
    void end() {
        const auto length = static_cast<std::uint32_t>(out_.size() - lengthAt_ - 4);
        std::memcpy(&out_[lengthAt_], &length, 4);
    }

  private:
    std::string& out_;
    std::size_t lengthAt_ = 0;
};

class Reader {
  public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    bool ok() const { return ok_; }
    std::size_t left() const { return bytes_.size() - at_; }
    bool atEnd() const { return at_ >= bytes_.size(); }

    template <typename T>
    T get() {
        T value{};
        if (!ok_ || left() < sizeof(T)) {
            ok_ = false;
            return value;
        }
        std::memcpy(&value, bytes_.data() + at_, sizeof(T));
        at_ += sizeof(T);
        return value;
    }
    std::string getString() {
        const auto size = get<std::uint32_t>();
        if (!ok_ || size > left()) {
            ok_ = false;
            return {};
        }
        std::string text(bytes_.substr(at_, size));
        at_ += size;
        return text;
    }
    std::string_view take(std::size_t size) {
        if (!ok_ || size > left()) {
            ok_ = false;
            return {};
        }
        const std::string_view part = bytes_.substr(at_, size);
        at_ += size;
        return part;
    }

  private:
    std::string_view bytes_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

// A table: its record is known in length before it is written, so the values go straight to
// the sink after what was formatted so far, without a copy into one string. The payload is the
// count, a pad length and that many zero bytes, then the values, padded so that they start at a
// multiple of 8 bytes into the file: a reader of a mapped file then finds them aligned.
// `written` counts the bytes handed to the sink so far.
template <typename T>
void putArray(Writer& w, std::string& out, const ViewSink& sink, std::size_t& written, char tag,
              const std::vector<T>& values) {
    static_assert(std::is_trivially_copyable_v<T>);
    const std::size_t bytes = values.size() * sizeof(T);
    const std::size_t headerEnd = written + out.size() + 1 + 4 + 4 + 1;
    const std::size_t pad = (8 - headerEnd % 8) % 8;
    out.push_back(tag);
    w.put<std::uint32_t>(static_cast<std::uint32_t>(4 + 1 + pad + bytes));
    w.put<std::uint32_t>(static_cast<std::uint32_t>(values.size()));
    w.put<std::uint8_t>(static_cast<std::uint8_t>(pad));
    out.append(pad, '\0');
    sink(out);
    written += out.size();
    out.clear();
    if (bytes > 0) sink(std::string_view(reinterpret_cast<const char*>(values.data()), bytes));
    written += bytes;
}

// A table's record, appended to what earlier records of the table gave; false when the bytes cannot
// hold the count it names (so a forged count never allocates).
template <typename T>
bool getArray(Reader& r, std::vector<T>& values) {
    const auto count = r.get<std::uint32_t>();
    r.take(r.get<std::uint8_t>());
    if (!r.ok() || count > r.left() / sizeof(T)) return false;
    const std::string_view bytes = r.take(count * sizeof(T));
    if (!r.ok()) return false;
    // Straight from the bytes when they lie aligned (a mapped file's tables do, as the writer
    // pads them), which spares zeroing the table first.
    if (reinterpret_cast<std::uintptr_t>(bytes.data()) % alignof(T) == 0) {
        const T* first = reinterpret_cast<const T*>(bytes.data());
        values.insert(values.end(), first, first + count);
    } else {
        const std::size_t before = values.size();
        values.resize(before + count);
        if (!bytes.empty()) std::memcpy(values.data() + before, bytes.data(), bytes.size());
    }
    return true;
}

// Room for the large tables, whose rows may come in several records: one allocation each. A
// count only counts as far as its record's bytes can hold it.
void reserveTables(std::string_view bytes, ViewFile& view) {
    std::size_t entities = 0, items = 0, points = 0;
    Reader file(bytes);
    while (!file.atEnd()) {
        const auto tag = static_cast<char>(file.get<std::uint8_t>());
        Reader r(file.take(file.get<std::uint32_t>()));
        if (!file.ok()) break;
        const std::size_t count = r.get<std::uint32_t>(), room = r.left();
        if (tag == kEntityTag) entities += std::min(count, room / sizeof(ViewEntity));
        if (tag == kItemTag) items += std::min(count, room / sizeof(ViewItem));
        if (tag == kPointTag) points += std::min(count, room / sizeof(float));
    }
    view.entities.reserve(entities);
    view.items.reserve(items);
    view.points.reserve(points);
}

bool finite(float v) {
    return std::isfinite(v);
}

void drawNothing(ViewItem& item) {
    item.firstPoint = 0;
    item.pointCount = 0;
    item.detail = 0;
}

// Makes a style safe to follow; false when what it says cannot be drawn at all.
bool checkStyle(ViewStyle& style, const ViewFile& view) {
    if (style.layer >= view.layers.size()) style.layer = 0;
    if (style.dash > view.dashes.size()) style.dash = 0;
    if (style.clip > view.clips.size()) style.clip = 0;
    if (!finite(style.weightMm)) style.weightMm = -1.0f;
    if (static_cast<std::uint8_t>(style.kind) <= 2 &&
        static_cast<std::uint8_t>(style.hAlign) <= 2 &&
        static_cast<std::uint8_t>(style.vAlign) <= 3)
        return true;
    style.kind = ViewItemKind::Stroke;
    style.hAlign = ViewHAlign::Left;
    style.vAlign = ViewVAlign::Baseline;
    return false;
}

bool goodText(const ViewText& text, const ViewFile& view) {
    return text.text < view.strings.size() && text.font < view.strings.size() &&
           finite(text.height) && text.height > 0 && finite(text.rotation) &&
           finite(text.widthFactor) && finite(text.oblique);
}

// Makes every index of the tables safe to follow; see readView.
void checkIndices(ViewFile& view) {
    const std::size_t points = view.points.size() / 2;
    std::vector<bool> badPoint;  // empty while every point is finite
    for (std::size_t i = 0; i < points; ++i) {
        if (finite(view.points[2 * i]) && finite(view.points[2 * i + 1])) continue;
        if (badPoint.empty()) badPoint.assign(points, false);
        badPoint[i] = true;
    }
    if (view.styles.empty()) view.styles.emplace_back();
    std::vector<bool> goodStyle(view.styles.size());
    for (std::size_t i = 0; i < view.styles.size(); ++i)
        goodStyle[i] = checkStyle(view.styles[i], view);
    for (ViewItem& item : view.items) {
        if (item.style >= view.styles.size() || !goodStyle[item.style]) {
            item.style = 0;
            drawNothing(item);
            continue;
        }
        if (item.firstPoint > points || item.pointCount > points - item.firstPoint) {
            drawNothing(item);
            continue;
        }
        if (!badPoint.empty())
            for (std::uint32_t i = 0; i < item.pointCount; ++i)
                if (badPoint[item.firstPoint + i]) {
                    drawNothing(item);
                    break;
                }
        const ViewItemKind kind = view.styles[item.style].kind;
        if (kind == ViewItemKind::Fill) {
            // Loops start inside the item's points, the first at 0, rising.
            bool good = item.detail < view.fills.size();
            const ViewLoops loops = good ? view.fills[item.detail] : ViewLoops{};
            const std::size_t starts = view.loopStarts.size();
            good = good && loops.loopCount > 0 && loops.firstLoop <= starts &&
                   loops.loopCount <= starts - loops.firstLoop;
            for (std::uint32_t l = 0; good && l < loops.loopCount; ++l) {
                const std::uint32_t start = view.loopStarts[loops.firstLoop + l];
                good = (l == 0 ? start == 0 : start > view.loopStarts[loops.firstLoop + l - 1]) &&
                       start < item.pointCount;
            }
            if (!good) drawNothing(item);
        } else if (kind == ViewItemKind::Text) {
            if (item.pointCount < 1 || item.detail >= view.texts.size() ||
                !goodText(view.texts[item.detail], view))
                drawNothing(item);
        } else {
            item.detail = 0;
        }
    }
    // What no item draws any more is zeroed, so the tables hold finite numbers only.
    if (!badPoint.empty())
        for (std::size_t i = 0; i < points; ++i)
            if (badPoint[i]) view.points[2 * i] = view.points[2 * i + 1] = 0;
    for (ViewText& text : view.texts)
        if (!goodText(text, view)) text = ViewText{};
    const std::size_t items = view.items.size();
    const auto layers = static_cast<std::uint32_t>(view.layers.size());
    for (ViewEntity& entity : view.entities) {
        if (entity.layer >= layers) entity.layer = 0;
        if (entity.firstItem > items || entity.itemCount > items - entity.firstItem) {
            entity.firstItem = 0;
            entity.itemCount = 0;
        }
    }
}

}  // namespace

std::uint32_t ViewFile::addString(std::string text) {
    if (strings.empty()) strings.emplace_back();
    if (text.empty()) return 0;
    strings.push_back(std::move(text));
    return static_cast<std::uint32_t>(strings.size() - 1);
}

std::uint32_t ViewFile::addStyle(const ViewStyle& style) {
    if (!styles.empty() && styles.back() == style)
        return static_cast<std::uint32_t>(styles.size() - 1);
    // Drawings have a few hundred styles at most; past that a repeat costs 20 bytes, not a
    // search.
    if (styles.size() <= 1024)
        for (std::size_t i = 0; i < styles.size(); ++i)
            if (styles[i] == style) return static_cast<std::uint32_t>(i);
    styles.push_back(style);
    return static_cast<std::uint32_t>(styles.size() - 1);
}

std::string viewHandleText(std::uint64_t handle) {
    char buffer[17];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, handle, 16);
    std::string text(buffer, result.ptr);
    for (char& c : text)
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

void formatView(const std::vector<const ViewFile*>& parts, const ViewSink& sink) {
    if (parts.empty()) return;
    const ViewFile& view = *parts.front();
    std::string out(kViewMagic);
    std::size_t written = 0;
    Writer w(out);
    w.begin(kInfoTag);
    w.put<std::uint64_t>(view.serial);
    w.putString(view.notice);
    w.putString(view.space);
    w.put<std::uint8_t>(view.paper ? 1 : 0);
    w.put<double>(view.originX);
    w.put<double>(view.originY);
    w.end();
    for (const ViewDocument& document : view.documents) {
        w.begin(kDocumentTag);
        w.put<std::uint8_t>(document.current ? 1 : 0);
        w.putString(document.path);
        w.end();
    }
    for (const std::string& layout : view.layouts) {
        w.begin(kLayoutTag);
        w.putString(layout);
        w.end();
    }
    for (const ViewLayer& layer : view.layers) {
        w.begin(kLayerTag);
        w.putString(layer.name);
        w.put<std::uint32_t>(layer.rgb);
        w.put<std::uint8_t>((layer.on ? 1 : 0) | (layer.frozen ? 2 : 0));
        w.putString(layer.linetype);
        w.put<float>(layer.weightMm);
        w.end();
    }
    for (const ViewFile* part : parts)
        for (const ViewDash& dash : part->dashes)
            putArray(w, out, sink, written, kDashTag, dash.lengths);
    for (const ViewFile* part : parts) {
        putArray(w, out, sink, written, kClipTag, part->clips);
        w.begin(kStringTag);
        w.put<std::uint32_t>(static_cast<std::uint32_t>(part->strings.size()));
        for (const std::string& text : part->strings)
            w.putString(text);
        w.end();
    }
    // Table by table, each part's rows after the earlier parts' ones.
    const auto tables = [&](char tag, auto member) {
        for (const ViewFile* part : parts)
            putArray(w, out, sink, written, tag, part->*member);
    };
    tables(kEntityTag, &ViewFile::entities);
    tables(kStyleTag, &ViewFile::styles);
    tables(kItemTag, &ViewFile::items);
    tables(kTextTag, &ViewFile::texts);
    tables(kFillTag, &ViewFile::fills);
    tables(kPointTag, &ViewFile::points);
    tables(kLoopTag, &ViewFile::loopStarts);
    if (!out.empty()) sink(out);
}

void formatView(const ViewFile& view, const ViewSink& sink) {
    formatView(std::vector<const ViewFile*>{&view}, sink);
}

std::string formatView(const ViewFile& view) {
    std::string bytes;
    formatView(view, [&bytes](std::string_view part) { bytes.append(part); });
    return bytes;
}

std::optional<ViewFile> readView(std::string_view bytes, std::string* error) {
    const auto fail = [error](const char* why) -> std::optional<ViewFile> {
        if (error) *error = why;
        return std::nullopt;
    };
    if (bytes.substr(0, kViewMagic.size()) != kViewMagic) return fail("not a display list");
    ViewFile view;
    reserveTables(bytes.substr(kViewMagic.size()), view);
    Reader file(bytes.substr(kViewMagic.size()));
    bool info = false;
    while (!file.atEnd()) {
        const auto tag = static_cast<char>(file.get<std::uint8_t>());
        const auto length = file.get<std::uint32_t>();
        const std::string_view payload = file.take(length);
        if (!file.ok()) return fail("display list cut short");
        Reader r(payload);
        switch (tag) {
            case kInfoTag:
                view.serial = r.get<std::uint64_t>();
                view.notice = r.getString();
                view.space = r.getString();
                view.paper = r.get<std::uint8_t>() != 0;
                view.originX = r.get<double>();
                view.originY = r.get<double>();
                if (!std::isfinite(view.originX) || !std::isfinite(view.originY))
                    view.originX = view.originY = 0;
                info = r.ok();
                break;
            case kDocumentTag: {
                ViewDocument document;
                document.current = r.get<std::uint8_t>() != 0;
                document.path = r.getString();
                if (r.ok()) view.documents.push_back(std::move(document));
                break;
            }
            case kLayoutTag: {
                std::string layout = r.getString();
                if (r.ok()) view.layouts.push_back(std::move(layout));
                break;
            }
            case kLayerTag: {
                ViewLayer layer;
                layer.name = r.getString();
                layer.rgb = r.get<std::uint32_t>() & 0xffffffu;
                const auto flags = r.get<std::uint8_t>();
                layer.on = (flags & 1) != 0;
                layer.frozen = (flags & 2) != 0;
                layer.linetype = r.getString();
                layer.weightMm = r.get<float>();
                if (!std::isfinite(layer.weightMm)) layer.weightMm = -1.0f;
                if (r.ok()) view.layers.push_back(std::move(layer));
                break;
            }
            case kDashTag: {
                ViewDash dash;
                if (getArray(r, dash.lengths)) {
                    for (float& length : dash.lengths)
                        if (!std::isfinite(length) || length < 0) length = 0;
                    view.dashes.push_back(std::move(dash));
                }
                break;
            }
            case kClipTag:
                if (!getArray(r, view.clips)) view.clips.clear();
                for (ViewRect& clip : view.clips)
                    if (!finite(clip.x0) || !finite(clip.y0) || !finite(clip.x1) ||
                        !finite(clip.y1))
                        clip = {};
                break;
            case kStringTag: {
                const auto count = r.get<std::uint32_t>();
                // A string takes at least its 4-byte length.
                if (!r.ok() || count > r.left() / 4) break;
                view.strings.reserve(view.strings.size() + count);
                for (std::uint32_t i = 0; i < count && r.ok(); ++i)
                    view.strings.push_back(r.getString());
                if (!r.ok()) view.strings.clear();
                break;
            }
            case kEntityTag:
                if (!getArray(r, view.entities)) view.entities.clear();
                break;
            case kStyleTag:
                if (!getArray(r, view.styles)) view.styles.clear();
                break;
            case kItemTag:
                if (!getArray(r, view.items)) view.items.clear();
                break;
            case kTextTag:
                if (!getArray(r, view.texts)) view.texts.clear();
                break;
            case kFillTag:
                if (!getArray(r, view.fills)) view.fills.clear();
                break;
            case kPointTag:
                if (!getArray(r, view.points)) view.points.clear();
                if (view.points.size() % 2 == 1) view.points.pop_back();
                break;
            case kLoopTag:
                if (!getArray(r, view.loopStarts)) view.loopStarts.clear();
                break;
            default:
                break;
        }
    }
    if (!info) return fail("display list without its header");
    if (view.layers.empty()) {
        view.layers.emplace_back();
        view.layers.back().name = "0";
    }
    if (view.strings.empty()) view.strings.emplace_back();
    checkIndices(view);
    return view;
}

std::string formatViewPrompt(const ViewPrompt& prompt) {
    std::string out = "SELECT\t" + std::to_string(prompt.serial) + "\t";
    for (const char c : prompt.prompt)
        out.push_back(c == '\n' || c == '\r' || c == '\t' ? ' ' : c);
    out.push_back('\n');
    return out;
}

std::optional<ViewPrompt> readViewPrompt(std::string_view text) {
    constexpr std::string_view kWord = "SELECT\t";
    if (text.substr(0, kWord.size()) != kWord) return std::nullopt;
    text.remove_prefix(kWord.size());
    const auto tab = text.find('\t');
    if (tab == std::string_view::npos || tab == 0) return std::nullopt;
    ViewPrompt prompt;
    const auto [end, status] = std::from_chars(text.data(), text.data() + tab, prompt.serial);
    if (status != std::errc() || end != text.data() + tab) return std::nullopt;
    std::string_view rest = text.substr(tab + 1);
    rest = rest.substr(0, rest.find('\n'));
    if (!rest.empty() && rest.back() == '\r') rest.remove_suffix(1);
    prompt.prompt = std::string(rest);
    return prompt;
}

}  // namespace qks::contract
