// The 2007 file container (the published DWG format description, R2007 organisation). The file
// header, the page map and the section map are system pages; the sections are made of data
// pages. All of them are Reed-Solomon encoded, with the codewords interleaved, and compressed
// with the 2007 LZ77 variant. The parity bytes are not used: errors are not corrected but
// caught by the CRCs and checksums the file carries.
#include "container.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace qkshost::dwg {

namespace {

constexpr std::uint64_t kPageBase = 0x480;  // page offsets count from the end of the file header
constexpr std::size_t kCodeword = 255;
constexpr std::size_t kSystemData = 239;  // data bytes of a system page codeword
constexpr std::size_t kPageData = 251;    // data bytes of a data page codeword
constexpr std::size_t kRecordSize = 0x110;

// The first `n` data bytes of `blocks` interleaved codewords: byte j of codeword b lies at
// j * blocks + b, and each codeword holds `k` data bytes before its parity.
void deinterleave(const std::uint8_t* enc, std::size_t blocks, std::size_t k, std::size_t n,
                  std::uint8_t* out) {
    for (std::size_t b = 0, d = 0; d < n; ++b)
        for (std::size_t j = 0; j < k && d < n; ++j, ++d)
            out[d] = enc[j * blocks + b];
}

// The CRCs and checksums of these files take the bytes in blocks of eight, in an order of
// their own (words of two bytes, from the last to the first); a shorter last block has its
// own order.
template <class F>
void inCheckOrder(const std::uint8_t* p, std::size_t n, F f) {
    static const std::uint8_t kOrder[9][8] = {{},
                                              {0},
                                              {0, 1},
                                              {0, 1, 2},
                                              {2, 3, 0, 1},
                                              {2, 3, 0, 1, 4},
                                              {2, 3, 0, 1, 4, 5},
                                              {2, 3, 0, 1, 4, 5, 6},
                                              {6, 7, 4, 5, 2, 3, 0, 1}};
    for (std::size_t at = 0; at < n; at += 8) {
        std::size_t piece = std::min<std::size_t>(8, n - at);
        for (std::size_t k = 0; k < piece; ++k)
            f(p[at + kOrder[piece][k]]);
    }
}

// 64-bit CRCs: the "normal" one (ECMA-182 polynomial, inverted at the end) over the file
// header, the "mirrored" one (reflected, not inverted) over the pages.
class Crc64 {
  public:
    explicit Crc64(bool mirrored) : mirrored_(mirrored) {
        for (std::uint64_t i = 0; i < 256; ++i) {
            std::uint64_t c = mirrored ? i : i << 56;
            for (int k = 0; k < 8; ++k) {
                if (mirrored)
                    c = (c & 1) ? (c >> 1) ^ 0x95AC9329AC4BC9B5ull : c >> 1;
                else
                    c = (c >> 63) ? (c << 1) ^ 0x42F0E1EBA9EA3693ull : c << 1;
            }
            table_[i] = c;
        }
        for (int i = 0; i < 256; ++i)
            slices_[0][i] = table_[i];
        for (int k = 1; k < 8; ++k)
            for (int i = 0; i < 256; ++i)
                slices_[k][i] = table_[slices_[k - 1][i] & 0xFF] ^ (slices_[k - 1][i] >> 8);
    }
    std::uint64_t operator()(std::uint64_t crc, const std::uint8_t* p, std::size_t n) const {
        if (mirrored_) {
            // Whole blocks eight bytes a step (slicing): the block's bytes in check order as
            // one little-endian word, folded through the eight tables at once.
            std::size_t whole = n / 8 * 8;
            for (std::size_t at = 0; at < whole; at += 8) {
                std::uint64_t x = le64(p + at);
                // 16-bit words from the last to the first
                x = (x >> 48) | ((x >> 16) & 0xFFFF0000ull) | ((x << 16) & 0xFFFF00000000ull) |
                    (x << 48);
                crc ^= x;
                crc = slices_[7][crc & 0xFF] ^ slices_[6][(crc >> 8) & 0xFF] ^
                      slices_[5][(crc >> 16) & 0xFF] ^ slices_[4][(crc >> 24) & 0xFF] ^
                      slices_[3][(crc >> 32) & 0xFF] ^ slices_[2][(crc >> 40) & 0xFF] ^
                      slices_[1][(crc >> 48) & 0xFF] ^ slices_[0][crc >> 56];
            }
            p += whole;
            n -= whole;
        }
        inCheckOrder(p, n, [&](std::uint8_t b) {
            crc = mirrored_ ? table_[(crc ^ b) & 0xFF] ^ (crc >> 8)
                            : table_[((crc >> 56) ^ b) & 0xFF] ^ (crc << 8);
        });
        return mirrored_ ? crc : ~crc;
    }

  private:
    std::uint64_t table_[256];
    std::uint64_t slices_[8][256];  // mirrored: slices_[k] = a byte followed by k zero bytes
    bool mirrored_;
};

// The seed of a CRC is mixed with the length of the data first, one of two ways.
std::uint64_t seedByLength1(std::uint64_t seed, std::uint64_t length) {
    seed = (seed + length) * 0x343FDull + 0x269EC3ull;
    seed |= seed * (0x343FDull << 32) + (0x269EC3ull << 32);
    return ~seed;
}
std::uint64_t seedByLength2(std::uint64_t seed, std::uint64_t length) {
    seed = (seed + length) * 0x343FDull + 0x269EC3ull;
    seed = seed * ((std::uint64_t(1) << 32) + 0x343FDull) + (length + 0x269EC3ull);
    return ~seed;
}

// `seed` already mixed with the length
std::uint64_t normalCrc(std::uint64_t seed, const std::uint8_t* p, std::size_t n) {
    static const Crc64 crc(false);
    return crc(seed, p, n);
}
std::uint64_t mirroredCrc(std::uint64_t seed, const std::uint8_t* p, std::size_t n) {
    static const Crc64 crc(true);
    return crc(seedByLength1(seed, n), p, n);
}

// The 32-bit checksum of a data page's decompressed bytes.
std::uint32_t pageChecksum(const std::uint8_t* p, std::size_t n) {
    std::uint32_t seed = std::uint32_t(n) * 0x343FDu + 0x269EC3u;
    std::uint32_t s1 = seed & 0xFFFF, s2 = seed >> 16;
    for (std::size_t at = 0; at < n;) {
        std::size_t chunk = std::min<std::size_t>(0x15B0, n - at);
        // Whole blocks of eight at once: s2 gains eight times s1 and each byte weighted by
        // the sums it still enters (the same sums, modulo 2^32, as adding byte by byte).
        const std::uint8_t* q = p + at;
        std::size_t whole = chunk / 8 * 8;
        for (std::size_t k = 0; k < whole; k += 8, q += 8) {
            const std::uint32_t x[8] = {q[6], q[7], q[4], q[5], q[2], q[3], q[0], q[1]};
            s2 += 8 * s1 + 8 * x[0] + 7 * x[1] + 6 * x[2] + 5 * x[3] + 4 * x[4] + 3 * x[5] +
                  2 * x[6] + x[7];
            s1 += x[0] + x[1] + x[2] + x[3] + x[4] + x[5] + x[6] + x[7];
        }
        inCheckOrder(q, chunk - whole, [&](std::uint8_t b) {
            s1 += b;
            s2 += s1;
        });
        at += chunk;
        s1 %= 0xFFF1;
        s2 %= 0xFFF1;
    }
    return (s2 << 16) | (s1 & 0xFFFF);
}

// Bytes `plain` long, stored as `packed` bytes: LZ77 data, or the bytes themselves when
// compression would not shrink them.
bool unpack(const std::vector<std::uint8_t>& packed, std::vector<std::uint8_t>& out,
            std::size_t plain) {
    out.assign(plain, 0);
    if (packed.size() >= plain) {
        std::memcpy(out.data(), packed.data(), plain);
        return true;
    }
    std::size_t produced = 0;
    return lz77DecompressR21(packed.data(), packed.size(), out.data(), plain, &produced) &&
           produced == plain;
}

struct SystemPage {
    std::uint64_t offset, packed, plain, factor, packedCrc, plainCrc;
};

// A system page: the packed data, padded to a multiple of 8 bytes, repeated `factor` times
// and RS encoded. The first copy is read.
DecodeResult readSystemPage(std::string_view file, const SystemPage& page, std::uint64_t crcSeed,
                            const char* name, std::vector<std::uint8_t>& out) {
    auto* p = reinterpret_cast<const std::uint8_t*>(file.data());
    std::uint64_t at = kPageBase + std::min<std::uint64_t>(page.offset, file.size());
    if (page.plain > kMaxSection || page.packed > kMaxSection || page.packed == 0 ||
        page.factor == 0 || page.factor > kMaxSection / 8)
        return damaged(name, at, "bad page sizes in the file header");
    std::uint64_t total = ((page.packed + 7) & ~std::uint64_t(7)) * page.factor;
    std::uint64_t blocks = (total + kSystemData - 1) / kSystemData;
    if (page.offset > file.size() || at > file.size() || blocks * kCodeword > file.size() - at)
        return damaged(name, at, "page lies outside the file");
    std::vector<std::uint8_t> packed(page.packed);
    deinterleave(p + at, blocks, kSystemData, packed.size(), packed.data());
    if (mirroredCrc(crcSeed, packed.data(), packed.size()) != page.packedCrc)
        return damaged(name, at, "wrong CRC");
    if (!unpack(packed, out, page.plain)) return damaged(name, at, "compressed data is damaged");
    if (mirroredCrc(crcSeed, out.data(), out.size()) != page.plainCrc)
        return damaged(name, at, "wrong CRC of the decompressed data");
    return {};
}

struct PageInfo {
    std::uint64_t offset = 0, size = 0;  // in the file, from kPageBase
};

struct SectionDesc {
    std::uint64_t size = 0, encrypted = 0, encoding = 0;
    std::string name;
    struct Page {
        std::uint64_t offset, id, plain, packed, checksum, crc;
    };
    std::vector<Page> pages;
};

DecodeResult readSection(std::string_view file,
                         const std::unordered_map<std::uint64_t, PageInfo>& map,
                         const SectionDesc& d, std::uint64_t crcSeed,
                         std::vector<std::uint8_t>& out) {
    auto* p = reinterpret_cast<const std::uint8_t*>(file.data());
    const char* name = d.name.c_str();
    if (d.encrypted == 1) return passwordProtected(d.name);
    // a section is no larger than its pages can hold, and every page takes room in the file
    // (pages may exceed the section's nominal page size: that is no bound)
    if (d.size > kMaxSection || d.size > std::max<std::uint64_t>(d.pages.size(), 1) * kMaxPage ||
        d.pages.size() > file.size() / 32)
        return damaged(name, 0, "section size too large");
    // 4: codewords interleaved; 1: the data bytes first, then the parity
    if (d.encoding != 1 && d.encoding != 4) return damaged(name, 0, "unknown page encoding");
    out.assign(std::size_t(d.size), 0);
    std::vector<std::uint8_t> packed, plain;
    for (const auto& pg : d.pages) {
        auto it = map.find(pg.id);
        if (it == map.end()) return damaged(name, 0, "page number missing from the page map");
        const PageInfo& info = it->second;
        std::uint64_t at = kPageBase + std::min<std::uint64_t>(info.offset, file.size());
        if (info.offset > file.size() || at > file.size() || info.size > file.size() - at)
            return damaged(name, at, "page lies outside the file");
        if (pg.plain > kMaxPage || pg.packed > info.size)
            return damaged(name, at, "page size too large");
        if (pg.offset > out.size()) return damaged(name, at, "page lies outside its section");
        // as many codewords as the data, padded to a multiple of 8 bytes, needs
        std::uint64_t blocks = (((pg.packed + 7) & ~std::uint64_t(7)) + kPageData - 1) / kPageData;
        if (d.encoding == 4 && blocks * kCodeword > info.size)
            return damaged(name, at, "compressed length runs past the end of its page");
        packed.resize(std::size_t(pg.packed));
        if (d.encoding == 4)
            deinterleave(p + at, blocks, kPageData, packed.size(), packed.data());
        else
            std::memcpy(packed.data(), p + at, packed.size());
        if (mirroredCrc(crcSeed, packed.data(), packed.size()) != pg.crc)
            return damaged(name, at, "wrong page CRC");
        if (!unpack(packed, plain, std::size_t(pg.plain)))
            return damaged(name, at, "compressed data is damaged");
        if (pageChecksum(plain.data(), plain.size()) != pg.checksum)
            return damaged(name, at, "wrong page checksum");
        std::size_t keep = std::size_t(std::min<std::uint64_t>(pg.plain, out.size() - pg.offset));
        std::memcpy(out.data() + pg.offset, plain.data(), keep);
    }
    return {};
}

// A UTF-16 section name; the names are ASCII.
std::string sectionName(const std::uint8_t* p, std::size_t bytes) {
    std::string s;
    for (std::size_t k = 0; k + 1 < bytes; k += 2) {
        unsigned c = p[k] | p[k + 1] << 8;
        if (c == 0) break;
        s += c < 0x80 ? char(c) : '?';
    }
    return s;
}

// The file header at 0x80: three interleaved codewords holding a check sequence and its CRC,
// then the compressed record with its CRC.
DecodeResult readFileHeader(const std::uint8_t* p, std::uint8_t (&record)[kRecordSize]) {
    std::uint8_t head[3 * kSystemData];
    deinterleave(p + 0x80, 3, kSystemData, sizeof head, head);
    // the check sequence: a key, then the key rotated by its low five bits
    std::uint64_t key = le64(head + 8);
    int shift = int(key & 0x1F);
    std::uint64_t check[2] = {key, shift ? key << shift | key >> (64 - shift) : key};
    std::uint8_t checkBytes[16];
    for (int k = 0; k < 16; ++k)
        checkBytes[k] = std::uint8_t(check[k / 8] >> (8 * (k % 8)));
    if (normalCrc(seedByLength1(0, 16), checkBytes, 16) != le64(head))
        return damaged("file header", 0x80, "wrong CRC");
    std::int32_t length = std::int32_t(le32(head + 0x18));
    std::size_t stored = length < 0 ? std::size_t(-std::int64_t(length)) : std::size_t(length);
    if (length == 0 || stored > sizeof head - 0x20 || (length < 0 && stored < kRecordSize))
        return damaged("file header", 0x80, "bad length of the header record");
    if (normalCrc(seedByLength2(0, stored), head + 0x20, stored) != le64(head + 0x10))
        return damaged("file header", 0x80, "wrong CRC of the header record");
    std::size_t produced = kRecordSize;
    if (length < 0)
        std::memcpy(record, head + 0x20, kRecordSize);
    else if (!lz77DecompressR21(head + 0x20, stored, record, kRecordSize, &produced) ||
             produced != kRecordSize)
        return damaged("file header", 0x80, "compressed data is damaged");
    // the record's own CRC is taken with its field zeroed
    std::uint64_t crc = le64(record + 0x108);
    std::memset(record + 0x108, 0, 8);
    if (normalCrc(seedByLength2(0, kRecordSize), record, kRecordSize) != crc)
        return damaged("file header", 0x80, "wrong CRC of the decompressed record");
    return {};
}

}  // namespace

DecodeResult openR2007(std::string_view file, Sections& out) {
    auto* p = reinterpret_cast<const std::uint8_t*>(file.data());
    if (file.size() < kPageBase)
        return damaged("file header", file.size(), "the file ends inside the file header");
    out.maintenance = p[0x0B];
    out.codePage = p[0x13] | p[0x14] << 8;
    if (le32(p + 0x18) & 3) return passwordProtected("file header at offset 24");
    std::uint8_t record[kRecordSize];
    if (DecodeResult r = readFileHeader(p, record); r.status != Status::Ok) return r;
    auto field = [&](std::size_t at) { return le64(record + at); };
    const std::uint64_t crcSeed = field(0xF0);

    std::vector<std::uint8_t> buf;
    SystemPage pageMap{field(0x38), field(0x50), field(0x58),
                       field(0x18), field(0x10), field(0x80)};
    if (DecodeResult r = readSystemPage(file, pageMap, crcSeed, "page map", buf);
        r.status != Status::Ok)
        return r;
    std::unordered_map<std::uint64_t, PageInfo> pages;
    std::uint64_t address = 0;
    for (std::size_t i = 0; i + 16 <= buf.size(); i += 16) {
        std::uint64_t size = le64(buf.data() + i);
        std::int64_t id = std::int64_t(le64(buf.data() + i + 8));
        if (size > file.size()) return damaged("page map", i, "page larger than the file");
        // a negative id marks a free page; the ids of pages in use are positive
        pages[id < 0 ? 0 - std::uint64_t(id) : std::uint64_t(id)] = PageInfo{address, size};
        address += size;
    }
    auto sm = pages.find(field(0xC0));
    if (sm == pages.end()) return damaged("page map", 0, "no page for the section map");
    SystemPage sectionMap{sm->second.offset, field(0xB0), field(0xC8),
                          field(0xD8),       field(0xD0), field(0xA8)};
    if (DecodeResult r = readSystemPage(file, sectionMap, crcSeed, "section map", buf);
        r.status != Status::Ok)
        return r;
    std::vector<SectionDesc> descs;
    for (std::size_t at = 0; buf.size() - at >= 64;) {
        SectionDesc d;
        const std::uint8_t* q = buf.data() + at;
        d.size = le64(q);
        d.encrypted = le64(q + 16);
        std::uint64_t nameBytes = le64(q + 32);  // UTF-16, with its terminator
        d.encoding = le64(q + 48);
        std::uint64_t pageCount = le64(q + 56);
        at += 64;
        if (nameBytes > buf.size() - at)
            return damaged("section map", at, "section name runs past the section map");
        d.name = sectionName(buf.data() + at, std::size_t(nameBytes));
        at += std::size_t(nameBytes);
        if (pageCount > (buf.size() - at) / 56)
            return damaged("section map", at, "page count runs past the section map");
        for (std::uint64_t k = 0; k < pageCount; ++k, at += 56) {
            const std::uint8_t* e = buf.data() + at;
            d.pages.push_back(
                {le64(e), le64(e + 16), le64(e + 24), le64(e + 32), le64(e + 40), le64(e + 48)});
        }
        descs.push_back(std::move(d));
    }
    return readPagedSections(out, [&](std::string_view name, std::vector<std::uint8_t>& buf) {
        auto it = std::find_if(descs.begin(), descs.end(),
                               [&](const SectionDesc& d) { return d.name == name; });
        if (it == descs.end()) return damaged("section map", 0, "no " + std::string(name));
        return readSection(file, pages, *it, crcSeed, buf);
    });
}

}  // namespace qkshost::dwg
