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
constexpr char kEntityTag = 'E';

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
    void putFloats(const std::vector<float>& values) {
        out_.append(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(float));
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
    // `count` values, refused when the bytes cannot hold them (so a forged count never
    // allocates).
    bool getFloats(std::uint32_t count, std::vector<float>& values) {
        if (!ok_ || count > left() / sizeof(float)) {
            ok_ = false;
            return false;
        }
        values.resize(count);
        std::memcpy(values.data(), bytes_.data() + at_, count * sizeof(float));
        at_ += count * sizeof(float);
        return true;
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

void putItem(Writer& w, const ViewItem& item) {
    w.put<std::uint8_t>(static_cast<std::uint8_t>(item.kind));
    w.put<std::uint32_t>(item.layer);
    w.put<std::uint32_t>(item.rgb);
    w.put<float>(item.weightMm);
    w.put<std::uint16_t>(item.dash);
    w.put<std::uint16_t>(item.clip);
    switch (item.kind) {
        case ViewItemKind::Stroke:
            w.put<std::uint8_t>(item.closed ? 1 : 0);
            w.put<std::uint32_t>(static_cast<std::uint32_t>(item.points.size() / 2));
            w.putFloats(item.points);
            break;
        case ViewItemKind::Fill:
            w.put<std::uint32_t>(static_cast<std::uint32_t>(item.loopStarts.size()));
            for (const std::uint32_t start : item.loopStarts)
                w.put<std::uint32_t>(start);
            w.put<std::uint32_t>(static_cast<std::uint32_t>(item.points.size() / 2));
            w.putFloats(item.points);
            break;
        case ViewItemKind::Text:
            w.put<float>(item.points.size() >= 2 ? item.points[0] : 0.0f);
            w.put<float>(item.points.size() >= 2 ? item.points[1] : 0.0f);
            for (const float v : {item.height, item.rotation, item.widthFactor, item.oblique})
                w.put<float>(v);
            w.put<std::uint8_t>(static_cast<std::uint8_t>(item.hAlign));
            w.put<std::uint8_t>(static_cast<std::uint8_t>(item.vAlign));
            w.putString(item.font);
            w.putString(item.text);
            break;
    }
}

bool allFinite(const std::vector<float>& values) {
    for (const float v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

// One item; false when the bytes end inside it. `keep` is false for an item that parsed but
// cannot be drawn (non-finite numbers, an unknown kind).
bool getItem(Reader& r, ViewItem& item, bool& keep) {
    const auto kind = r.get<std::uint8_t>();
    item.layer = r.get<std::uint32_t>();
    item.rgb = r.get<std::uint32_t>() & 0xffffffu;
    item.weightMm = r.get<float>();
    item.dash = r.get<std::uint16_t>();
    item.clip = r.get<std::uint16_t>();
    if (!std::isfinite(item.weightMm)) item.weightMm = -1.0f;
    keep = true;
    switch (kind) {
        case 0: {
            item.kind = ViewItemKind::Stroke;
            item.closed = r.get<std::uint8_t>() != 0;
            const auto count = r.get<std::uint32_t>();
            if (!r.ok() || count > r.left() / 8 || !r.getFloats(count * 2, item.points))
                return false;
            keep = allFinite(item.points) && count >= 1;
            break;
        }
        case 1: {
            item.kind = ViewItemKind::Fill;
            const auto loops = r.get<std::uint32_t>();
            if (!r.ok() || loops > r.left() / 4) return false;
            item.loopStarts.resize(loops);
            for (std::uint32_t& start : item.loopStarts)
                start = r.get<std::uint32_t>();
            const auto count = r.get<std::uint32_t>();
            if (!r.ok() || count > r.left() / 8 || !r.getFloats(count * 2, item.points))
                return false;
            // Loops start in order inside the points, the first at 0.
            std::uint32_t previous = 0;
            for (std::size_t i = 0; i < item.loopStarts.size(); ++i) {
                const std::uint32_t start = item.loopStarts[i];
                if ((i == 0 && start != 0) || start < previous || start >= count) keep = false;
                previous = start;
            }
            keep = keep && !item.loopStarts.empty() && allFinite(item.points);
            break;
        }
        case 2: {
            item.kind = ViewItemKind::Text;
            item.points = {r.get<float>(), r.get<float>()};
            item.height = r.get<float>();
            item.rotation = r.get<float>();
            item.widthFactor = r.get<float>();
            item.oblique = r.get<float>();
            const auto h = r.get<std::uint8_t>();
            const auto v = r.get<std::uint8_t>();
            item.hAlign = h <= 2 ? static_cast<ViewHAlign>(h) : ViewHAlign::Left;
            item.vAlign = v <= 3 ? static_cast<ViewVAlign>(v) : ViewVAlign::Baseline;
            item.font = r.getString();
            item.text = r.getString();
            keep = allFinite(item.points) && std::isfinite(item.height) && item.height > 0 &&
                   std::isfinite(item.rotation) && std::isfinite(item.widthFactor) &&
                   std::isfinite(item.oblique);
            break;
        }
        default:
            // An item of a kind this reader does not know: its size is unknown, so the rest
            // of the record cannot be read.
            return false;
    }
    return r.ok();
}

}  // namespace

std::string formatView(const ViewFile& view) {
    std::string out(kViewMagic);
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
    for (const ViewDash& dash : view.dashes) {
        w.begin(kDashTag);
        w.put<std::uint32_t>(static_cast<std::uint32_t>(dash.lengths.size()));
        w.putFloats(dash.lengths);
        w.end();
    }
    for (const ViewRect& clip : view.clips) {
        w.begin(kClipTag);
        for (const float v : {clip.x0, clip.y0, clip.x1, clip.y1})
            w.put<float>(v);
        w.end();
    }
    for (const ViewEntity& entity : view.entities) {
        w.begin(kEntityTag);
        w.putString(entity.handle);
        w.put<std::uint32_t>(entity.layer);
        w.put<std::uint32_t>(static_cast<std::uint32_t>(entity.items.size()));
        for (const ViewItem& item : entity.items)
            putItem(w, item);
        w.end();
    }
    return out;
}

std::optional<ViewFile> readView(std::string_view bytes, std::string* error) {
    const auto fail = [error](const char* why) -> std::optional<ViewFile> {
        if (error) *error = why;
        return std::nullopt;
    };
    if (bytes.substr(0, kViewMagic.size()) != kViewMagic) return fail("not a display list");
    Reader file(bytes.substr(kViewMagic.size()));
    ViewFile view;
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
                const auto count = r.get<std::uint32_t>();
                if (r.getFloats(count, dash.lengths)) {
                    for (float& length : dash.lengths)
                        if (!std::isfinite(length) || length < 0) length = 0;
                    view.dashes.push_back(std::move(dash));
                }
                break;
            }
            case kClipTag: {
                ViewRect clip{r.get<float>(), r.get<float>(), r.get<float>(), r.get<float>()};
                if (!std::isfinite(clip.x0) || !std::isfinite(clip.y0) || !std::isfinite(clip.x1) ||
                    !std::isfinite(clip.y1))
                    clip = {};
                if (r.ok()) view.clips.push_back(clip);
                break;
            }
            case kEntityTag: {
                ViewEntity entity;
                entity.handle = r.getString();
                entity.layer = r.get<std::uint32_t>();
                const auto count = r.get<std::uint32_t>();
                // An item takes at least 16 bytes.
                if (!r.ok() || count > r.left() / 16) break;
                entity.items.reserve(count);
                for (std::uint32_t i = 0; i < count; ++i) {
                    ViewItem item;
                    bool keep = true;
                    if (!getItem(r, item, keep)) break;
                    if (keep) entity.items.push_back(std::move(item));
                }
                if (r.ok()) view.entities.push_back(std::move(entity));
                break;
            }
            default:
                break;
        }
    }
    if (!info) return fail("display list without its header");
    // Indices past their tables fall back to the first entry (or none), as the header says.
    const auto layers = static_cast<std::uint32_t>(view.layers.size());
    for (ViewEntity& entity : view.entities) {
        if (entity.layer >= layers) entity.layer = 0;
        for (ViewItem& item : entity.items) {
            if (item.layer >= layers) item.layer = entity.layer;
            if (item.dash > view.dashes.size()) item.dash = 0;
            if (item.clip > view.clips.size()) item.clip = 0;
        }
    }
    if (view.layers.empty()) view.layers.push_back(ViewLayer{"0"});
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
