#include "qks/drawing/drawing_text.h"

namespace qks::drawing {

host::ObjectId ensureChineseTextStyle(host::DrawingEdits& ds, host::DatabaseId database,
                                      std::string_view name) {
    if (const host::ObjectId existing = ds.findTextStyle(database, name)) return existing;
    host::TextStyleSpec style;
    style.name = std::string(name);
    style.fontFile = "simsun.ttc";
    style.typeface = "SimSun";
    style.characterSet = 134;  // GB2312
    host::ObjectId id;
    const host::Status status = ds.addTextStyle(database, style, &id);
    return host::succeeded(status) || status == host::Status::Duplicate ? id : host::ObjectId{};
}

std::string plainMText(const std::string& contents) {
    std::string out;
    for (std::size_t i = 0; i < contents.size(); ++i) {
        const char c = contents[i];
        if (c == '{' || c == '}') continue;
        if (c != '\\' || i + 1 >= contents.size()) {
            out.push_back(c);
            continue;
        }
        const char code = contents[++i];
        switch (code) {
            case 'P':
            case 'X':
            case '~':
                out.push_back(' ');
                break;
            case '\\':
            case '{':
            case '}':
                out.push_back(code);
                break;
            case 'L':
            case 'l':
            case 'O':
            case 'o':
            case 'K':
            case 'k':
                break;
            case 'S': {  // stacked text "a^b;": kept as "a/b"
                const auto end = contents.find(';', i);
                const std::string stack = contents.substr(
                    i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
                for (const char s : stack)
                    out.push_back(s == '^' || s == '#' ? '/' : s);
                i = end == std::string::npos ? contents.size() : end;
                break;
            }
            default: {  // \f…; \H…; \C…; \W…; \Q…; \T…; \A…; and the like: a value up to ';'
                const auto end = contents.find(';', i);
                i = end == std::string::npos ? contents.size() : end;
                break;
            }
        }
    }
    return out;
}

}  // namespace qks::drawing
