#include "contract_text.h"

#include <QChar>

namespace qks::studio::detail {
namespace {

bool isContinuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

// The code point of a whole, valid UTF-8 sequence of at most three bytes, or -1. White space
// lies entirely in the basic plane, so longer sequences never matter here.
long decodeShort(std::string_view s) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    if (s.size() == 1 && b(0) < 0x80) return b(0);
    if (s.size() == 2 && b(0) >= 0xC2 && b(0) <= 0xDF && isContinuation(b(1)))
        return ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
    if (s.size() == 3 && (b(0) & 0xF0) == 0xE0 && isContinuation(b(1)) && isContinuation(b(2))) {
        const long cp = ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
        if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
        return cp;
    }
    return -1;
}

// A sequence that starts with a lead byte decodes the same wherever it stands, since no byte
// before it can claim a lead byte as its continuation.
bool isSpaceSequence(std::string_view s) {
    const long cp = decodeShort(s);
    return cp >= 0 && QChar::isSpace(static_cast<uint>(cp));
}

std::size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    return 0;
}

std::string_view trimmed(std::string_view line) {
    while (!line.empty()) {
        const std::size_t n = sequenceLength(static_cast<unsigned char>(line.front()));
        if (n == 0 || n > line.size() || !isSpaceSequence(line.substr(0, n))) break;
        line.remove_prefix(n);
    }
    while (!line.empty()) {
        std::size_t n = 0;
        for (std::size_t k = 1; k <= 3 && k <= line.size(); ++k) {
            if (isSpaceSequence(line.substr(line.size() - k))) {
                n = k;
                break;
            }
        }
        if (n == 0) break;
        line.remove_suffix(n);
    }
    return line;
}

std::int32_t toInt(std::string_view field) {
    return fieldText(field).toInt();
}

double toDouble(std::string_view field) {
    return fieldText(field).toDouble();
}

}  // namespace

QString fieldText(std::string_view field) {
    for (const char c : field) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            // fromUtf8 drops a byte-order mark only at the start of its input: decode behind
            // a placeholder character, then cut it off.
            QByteArray bytes;
            bytes.reserve(static_cast<int>(field.size()) + 1);
            bytes.append(' ');
            bytes.append(field.data(), static_cast<int>(field.size()));
            return QString::fromUtf8(bytes).mid(1);
        }
    }
    return QString::fromLatin1(field.data(), static_cast<int>(field.size()));
}

const contract::ReadRules& studioReadRules() {
    static const contract::ReadRules rules{trimmed, toInt, toDouble};
    return rules;
}

Contour toContour(const std::vector<contract::Point>& points) {
    Contour out;
    out.reserve(static_cast<int>(points.size()));
    for (const contract::Point& p : points)
        out.append(QPointF(p.x, p.y));
    return out;
}

std::vector<contract::Point> toPoints(const Contour& contour) {
    std::vector<contract::Point> out;
    out.reserve(static_cast<std::size_t>(contour.size()));
    for (const QPointF& p : contour)
        out.push_back({p.x(), p.y()});
    return out;
}

std::string_view fileText(const QByteArray& bytes) {
    std::string_view text(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    text = text.substr(0, text.find('\0'));  // QString::fromUtf8(QByteArray) ends at a NUL
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    return text;
}

}  // namespace qks::studio::detail
