#include "esicup.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <utility>

namespace {

// Just enough JSON for the instance files: objects, arrays, strings, numbers.
struct Json {
    enum class Type { Null, Number, String, Array, Object } type = Type::Null;
    double number = 0.0;
    std::string text;
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;
    const Json* get(const std::string& key) const {
        for (const auto& m : members)
            if (m.first == key) return &m.second;
        return nullptr;
    }
};

class Parser {
  public:
    explicit Parser(const std::string& s) : s_(s) {}
    bool parse(Json& out) { return value(out) && (skip(), pos_ == s_.size()); }

  private:
    void skip() {
        while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_])))
            ++pos_;
    }
    bool string(std::string& out) {
        if (s_[pos_] != '"') return false;
        ++pos_;
        while (pos_ < s_.size() && s_[pos_] != '"') {
            if (s_[pos_] == '\\' && pos_ + 1 < s_.size()) ++pos_;
            out.push_back(s_[pos_++]);
        }
        if (pos_ >= s_.size()) return false;
        ++pos_;
        return true;
    }
    bool value(Json& out) {
        skip();
        if (pos_ >= s_.size()) return false;
        const char c = s_[pos_];
        if (c == '{') {
            out.type = Json::Type::Object;
            ++pos_;
            skip();
            if (s_[pos_] == '}') return ++pos_, true;
            while (true) {
                skip();
                std::string key;
                if (!string(key)) return false;
                skip();
                if (s_[pos_++] != ':') return false;
                Json v;
                if (!value(v)) return false;
                out.members.emplace_back(std::move(key), std::move(v));
                skip();
                if (s_[pos_] == ',') {
                    ++pos_;
                    continue;
                }
                if (s_[pos_] == '}') return ++pos_, true;
                return false;
            }
        }
        if (c == '[') {
            out.type = Json::Type::Array;
            ++pos_;
            skip();
            if (s_[pos_] == ']') return ++pos_, true;
            while (true) {
                Json v;
                if (!value(v)) return false;
                out.items.push_back(std::move(v));
                skip();
                if (s_[pos_] == ',') {
                    ++pos_;
                    continue;
                }
                if (s_[pos_] == ']') return ++pos_, true;
                return false;
            }
        }
        if (c == '"') {
            out.type = Json::Type::String;
            return string(out.text);
        }
        char* end = nullptr;
        out.number = std::strtod(s_.c_str() + pos_, &end);
        if (end == s_.c_str() + pos_) {
            for (const char* word : {"null", "true", "false"}) {
                const std::string w(word);
                if (s_.compare(pos_, w.size(), w) == 0) {
                    pos_ += w.size();
                    out.type = Json::Type::Null;
                    return true;
                }
            }
            return false;
        }
        out.type = Json::Type::Number;
        pos_ = static_cast<std::size_t>(end - s_.c_str());
        return true;
    }
    const std::string& s_;
    std::size_t pos_ = 0;
};

}  // namespace

bool readEsicup(const std::string& path, EsicupInstance& instance, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Json root;
    if (!Parser(text).parse(root)) {
        error = "not JSON: " + path;
        return false;
    }
    if (const Json* name = root.get("name")) instance.name = name->text;
    const Json* height = root.get("strip_height");
    const Json* items = root.get("items");
    if (!height || !items) {
        error = "no strip_height or items: " + path;
        return false;
    }
    instance.stripHeight = height->number;
    for (const Json& item : items->items) {
        EsicupItem out;
        if (const Json* d = item.get("demand")) out.demand = static_cast<int>(d->number);
        if (const Json* o = item.get("allowed_orientations"))
            for (const Json& a : o->items)
                out.orientations.push_back(a.number);
        const Json* shape = item.get("shape");
        const Json* data = shape ? shape->get("data") : nullptr;
        if (!data) continue;
        for (const Json& p : data->items)
            if (p.items.size() >= 2) out.shape.push_back({p.items[0].number, p.items[1].number});
        if (out.shape.size() > 1 && out.shape.front() == out.shape.back()) out.shape.pop_back();
        instance.items.push_back(std::move(out));
    }
    return true;
}
