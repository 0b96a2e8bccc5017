#include "bit_reader.h"

#include <array>
#include <cstring>

namespace qkshost::dwg {

Handle HandleRef::resolve(Handle from) const {
    switch (code) {
        case 0x6:
            return from + 1;
        case 0x8:
            return from - 1;
        case 0xA:
            return from + value;
        case 0xC:
            return from - value;
        default:
            return value;
    }
}

std::uint64_t BitReader::bits(int n) {
    if (failed_ || std::size_t(n) > endBit_ - pos_) {
        fail();
        return 0;
    }
    if (n == 0) return 0;
    const std::size_t at = pos_ >> 3;
    const int off = int(pos_ & 7);
    if (off + n <= 8) {  // within one byte: most fields are a bit or two
        pos_ += std::size_t(n);
        return (data_[at] >> (8 - off - n)) & ((1u << n) - 1);
    }
    if (n <= 56 && bytes_ - at >= 8) {
        // Eight bytes at once, big-endian, so the field is the top bits after the offset.
        std::uint64_t word;
        std::memcpy(&word, data_ + at, 8);
        word = __builtin_bswap64(word);
        pos_ += std::size_t(n);
        return (word << off) >> (64 - n);
    }
    std::uint64_t v = 0;
    while (n > 0) {
        int off = int(pos_ & 7);
        int take = std::min(8 - off, n);
        std::uint8_t b = data_[pos_ >> 3];
        v = (v << take) | ((b >> (8 - off - take)) & ((1u << take) - 1));
        pos_ += take;
        n -= take;
    }
    return v;
}

bool BitReader::B() {
    return bits(1) != 0;
}
int BitReader::BB() {
    return int(bits(2));
}
int BitReader::B3() {
    // up to three bits, stopping at the first zero
    int v = 0;
    for (int i = 0; i < 3; ++i) {
        bool b = B();
        v = (v << 1) | int(b);
        if (!b) break;
    }
    return v;
}
std::uint8_t BitReader::RC() {
    return std::uint8_t(bits(8));
}
std::uint16_t BitReader::RS() {
    std::uint16_t lo = RC();
    return std::uint16_t(lo | (std::uint16_t(RC()) << 8));
}
std::uint32_t BitReader::RL() {
    std::uint32_t lo = RS();
    return lo | (std::uint32_t(RS()) << 16);
}
std::uint64_t BitReader::RLL() {
    std::uint64_t lo = RL();
    return lo | (std::uint64_t(RL()) << 32);
}
double BitReader::RD() {
    std::uint64_t u = RLL();
    double d;
    std::memcpy(&d, &u, 8);
    return d;
}

std::int16_t BitReader::BS() {
    switch (BB()) {
        case 0:
            return std::int16_t(RS());
        case 1:
            return std::int16_t(RC());
        case 2:
            return 0;
        default:
            return 256;
    }
}
std::int32_t BitReader::BL() {
    switch (BB()) {
        case 0:
            return std::int32_t(RL());
        case 1:
            return RC();
        case 2:
            return 0;
        default:
            fail();
            return 0;
    }
}
std::uint64_t BitReader::BLL() {
    int n = int(bits(3));
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i)
        v |= std::uint64_t(RC()) << (8 * i);
    return v;
}
double BitReader::BD() {
    switch (BB()) {
        case 0:
            return RD();
        case 1:
            return 1.0;
        case 2:
            return 0.0;
        default:
            fail();
            return 0.0;
    }
}
double BitReader::DD(double def) {
    int code = BB();
    if (code == 0) return def;
    if (code == 3) return RD();
    unsigned char b[8];
    std::memcpy(b, &def, 8);
    if (code == 2) {
        b[4] = RC();
        b[5] = RC();
    }
    for (int i = 0; i < 4; ++i)
        b[i] = RC();
    double d;
    std::memcpy(&d, b, 8);
    return d;
}
Vec3 BitReader::BD3() {
    Vec3 v;
    v.x = BD();
    v.y = BD();
    v.z = BD();
    return v;
}
Vec3 BitReader::RD2() {
    Vec3 v;
    v.x = RD();
    v.y = RD();
    return v;
}
Vec3 BitReader::RD3() {
    Vec3 v = RD2();
    v.z = RD();
    return v;
}
Vec3 BitReader::BE() {
    if (version_ >= R2000 && B()) return Vec3{0, 0, 1};
    return BD3();
}
double BitReader::BT() {
    if (version_ >= R2000 && B()) return 0.0;
    return BD();
}
std::int64_t BitReader::MC() {
    std::uint64_t v = 0;
    for (int shift = 0; shift < 63; shift += 7) {
        std::uint8_t b = RC();
        if (b & 0x80) {
            v |= std::uint64_t(b & 0x7F) << shift;
            continue;
        }
        bool negative = b & 0x40;
        v |= std::uint64_t(b & 0x3F) << shift;
        return negative ? -std::int64_t(v) : std::int64_t(v);
    }
    fail();
    return 0;
}
std::uint64_t BitReader::UMC() {
    std::uint64_t v = 0;
    for (int shift = 0; shift < 63; shift += 7) {
        std::uint8_t b = RC();
        v |= std::uint64_t(b & 0x7F) << shift;
        if (!(b & 0x80)) return v;
    }
    fail();
    return 0;
}
std::uint32_t BitReader::MS() {
    std::uint32_t v = 0;
    for (int shift = 0; shift < 30; shift += 15) {
        std::uint16_t w = RS();
        v |= std::uint32_t(w & 0x7FFF) << shift;
        if (!(w & 0x8000)) return v;
    }
    fail();
    return 0;
}
HandleRef BitReader::H() {
    HandleRef h;
    h.code = int(bits(4));
    int n = int(bits(4));
    if (n > 8) {
        fail();
        return h;
    }
    for (int i = 0; i < n; ++i)
        h.value = (h.value << 8) | RC();
    return h;
}
int BitReader::OT() {
    if (version_ < R2010) return std::uint16_t(BS());
    switch (BB()) {
        case 0:
            return RC();
        case 1:
            return RC() + 0x1F0;
        default:
            return RS();
    }
}
static Color fromRgbWord(std::uint32_t v, Color c) {
    switch (v >> 24) {
        case 0xC0:
            c.index = 256;
            break;
        case 0xC1:
            c.index = 0;
            break;
        case 0xC2:
            c.rgb = std::int32_t(v & 0xFFFFFF);
            break;
        case 0xC3:
            c.index = std::int16_t(v & 0xFF);
            break;
        default:
            break;
    }
    return c;
}
Color BitReader::CMC(BitReader& text) {
    Color c;
    c.index = BS();
    if (version_ < R2004) return c;
    c = fromRgbWord(std::uint32_t(BL()), c);
    int flags = RC();
    for (int bit = 1; bit <= 2; bit <<= 1)  // colour name, book name: not kept
        if (flags & bit) version_ >= R2007 ? text.TU() : text.TV8();
    return c;
}
Color BitReader::ENC(bool* hasBookHandle) {
    Color c;
    std::uint16_t v = std::uint16_t(BS());
    *hasBookHandle = false;
    if (version_ < R2004) {
        c.index = std::int16_t(v);
        return c;
    }
    std::uint16_t flags = v & 0xFF00;
    c.index = std::int16_t(v & 0x1FF);
    if (flags & 0x8000) c = fromRgbWord(std::uint32_t(BL()), c);
    if (flags & 0x4000) *hasBookHandle = true;
    if (flags & 0x2000) BL();  // transparency
    return c;
}
std::string BitReader::TV8() {
    std::uint16_t n = std::uint16_t(BS());
    if (!fits(n, 8)) {
        fail();
        return {};
    }
    std::string s(n, '\0');
    for (std::uint16_t i = 0; i < n; ++i)
        s[i] = char(RC());
    while (!s.empty() && s.back() == '\0')
        s.pop_back();
    return s;
}
void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}
std::string BitReader::TU() {
    std::uint16_t n = std::uint16_t(BS());
    if (!fits(n, 16)) {
        fail();
        return {};
    }
    std::string s;
    s.reserve(n);
    for (std::uint16_t i = 0; i < n; ++i) {
        std::uint32_t u = RS();
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < n) {
            std::uint32_t lo = RS();
            ++i;
            if (lo >= 0xDC00 && lo < 0xE000)
                u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
            else
                u = 0xFFFD;
        } else if (u >= 0xD800 && u < 0xE000) {
            u = 0xFFFD;
        }
        if (u == 0) continue;
        appendUtf8(s, u);
    }
    return s;
}
void BitReader::skipBits(std::size_t n) {
    if (n > remaining())
        fail();
    else
        pos_ += n;
}

namespace {
template <class T, T Poly>
constexpr std::array<T, 256> makeTable() {
    std::array<T, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        T c = T(i);
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? T((c >> 1) ^ Poly) : T(c >> 1);
        t[i] = c;
    }
    return t;
}
constexpr auto kCrc16 = makeTable<std::uint16_t, 0xA001>();
constexpr auto kCrc32 = makeTable<std::uint32_t, 0xEDB88320u>();
}  // namespace

namespace {

// kCrc16 extended to four bytes a step (slicing): table k gives the CRC of a byte followed by
// k zero bytes.
struct Crc16Slices {
    std::uint16_t t[4][256];
    Crc16Slices() {
        for (int i = 0; i < 256; ++i)
            t[0][i] = kCrc16[i];
        for (int k = 1; k < 4; ++k)
            for (int i = 0; i < 256; ++i)
                t[k][i] = std::uint16_t((t[k - 1][i] >> 8) ^ kCrc16[t[k - 1][i] & 0xFF]);
    }
};

}  // namespace

std::uint16_t crc16(std::uint16_t seed, const std::uint8_t* p, std::size_t n) {
    static const Crc16Slices slices;
    const auto& t = slices.t;
    std::uint32_t c = seed;
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        c ^= std::uint32_t(p[i]) | std::uint32_t(p[i + 1]) << 8;
        c = t[3][c & 0xFF] ^ t[2][c >> 8] ^ t[1][p[i + 2]] ^ t[0][p[i + 3]];
    }
    for (; i < n; ++i)
        c = (c >> 8) ^ kCrc16[(c ^ p[i]) & 0xFF];
    return std::uint16_t(c);
}
std::uint32_t crc32(std::uint32_t seed, const std::uint8_t* p, std::size_t n) {
    std::uint32_t c = ~seed;
    for (std::size_t i = 0; i < n; ++i)
        c = (c >> 8) ^ kCrc32[(c ^ p[i]) & 0xFF];
    return ~c;
}

}  // namespace qkshost::dwg
