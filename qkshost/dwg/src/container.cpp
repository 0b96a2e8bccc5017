#include "container.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace qkshost::dwg {

DecodeResult damaged(std::string_view section, std::uint64_t offset, std::string_view what) {
    DecodeResult r;
    r.status = Status::Damaged;
    r.message =
        std::string(section) + " at offset " + std::to_string(offset) + ": " + std::string(what);
    return r;
}

DecodeResult readPagedSections(Sections& out, const ReadSection& read) {
    const char* names[4] = {"AcDb:Header", "AcDb:Classes", "AcDb:Handles", "AcDb:AcDbObjects"};
    Bytes* targets[4] = {&out.header, &out.classes, &out.handles, &out.objects};
    out.owned.resize(4);
    for (int k = 0; k < 4; ++k) {
        if (DecodeResult r = read(names[k], out.owned[k]); r.status != Status::Ok) return r;
        *targets[k] = Bytes{out.owned[k].data(), out.owned[k].size()};
    }
    return {};
}

DecodeResult passwordProtected(std::string_view where) {
    DecodeResult r;
    r.status = Status::Encrypted;
    r.message = std::string(where) + ": the drawing is password-protected";
    return r;
}

namespace {

const std::uint8_t kFileHeaderEnd[16] = {0x95, 0xA0, 0x4E, 0x28, 0x99, 0x82, 0x1A, 0xE5,
                                         0x5E, 0x41, 0xE0, 0x5F, 0x9D, 0x3A, 0x4D, 0x00};

DecodeResult openR15(std::string_view file, Sections& out) {
    auto* p = reinterpret_cast<const std::uint8_t*>(file.data());
    std::size_t n = file.size();
    if (n < 0x19) return damaged("file header", n, "the file ends inside the file header");
    out.maintenance = p[0x0B];
    out.codePage = p[0x13] | p[0x14] << 8;
    std::uint32_t count = le32(p + 0x15);
    if (count > 16 || 0x19 + std::size_t(count) * 9 + 18 > n)
        return damaged("file header", 0x15, "bad number of section locators");
    std::size_t end = 0x19 + std::size_t(count) * 9;
    std::uint16_t crc = std::uint16_t(p[end] | p[end + 1] << 8);
    std::uint16_t calc = crc16(0, p, end);
    static const std::uint16_t kXor[] = {0, 0, 0, 0xA598, 0x8101, 0x3CC4, 0x8461};
    if (count < 7) calc ^= kXor[count];
    if (crc != calc) return damaged("file header", end, "wrong CRC");
    if (std::memcmp(p + end + 2, kFileHeaderEnd, 16) != 0)
        return damaged("file header", end + 2, "missing end sentinel");
    Bytes* targets[3] = {&out.header, &out.classes, &out.handles};
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* rec = p + 0x19 + i * 9;
        int number = rec[0];
        std::uint32_t seeker = le32(rec + 1), size = le32(rec + 5);
        if (number > 2) continue;
        if (seeker > n || size > n - seeker)
            return damaged("file header", 0x19 + i * 9, "section locator points outside the file");
        *targets[number] = Bytes{p + seeker, size};
    }
    if (!out.header.data || !out.classes.data || !out.handles.data)
        return damaged("file header", 0x15, "a section locator is missing");
    out.objects = Bytes{p, n};
    return {};
}

// ---------- 2004 and later ----------

struct PageInfo {
    std::uint64_t address = 0;
    std::uint32_t size = 0;
};

std::uint32_t pageChecksum(std::uint32_t seed, const std::uint8_t* d, std::size_t n) {
    std::uint32_t s1 = seed & 0xFFFF, s2 = seed >> 16;
    while (n) {
        std::size_t chunk = std::min<std::size_t>(0x15B0, n);
        n -= chunk;
        for (std::size_t i = 0; i < chunk; ++i) {
            s1 += *d++;
            s2 += s1;
        }
        s1 %= 0xFFF1;
        s2 %= 0xFFF1;
    }
    return (s2 << 16) | (s1 & 0xFFFF);
}

// A system page (page map or section map): 20-byte header, then compressed data.
DecodeResult readSystemPage(std::string_view file, std::uint64_t address, std::uint32_t type,
                            const char* name, std::vector<std::uint8_t>& out) {
    auto* p = reinterpret_cast<const std::uint8_t*>(file.data());
    if (address > file.size() || file.size() - address < 20)
        return damaged(name, address, "page lies outside the file");
    const std::uint8_t* h = p + address;
    if (le32(h) != type) return damaged(name, address, "wrong page type");
    std::uint32_t plain = le32(h + 4), packed = le32(h + 8), method = le32(h + 12);
    if (packed > file.size() - address - 20)
        return damaged(name, address + 8, "compressed length runs past the end of the file");
    // LZ77 expands at most 255-fold (a run of zero bytes, each worth 255 output bytes)
    if (plain > kMaxSection || plain > std::size_t(packed) * 256 + 1024)
        return damaged(name, address + 4, "page size too large");
    std::uint8_t head[20];
    std::memcpy(head, h, 20);
    std::memset(head + 16, 0, 4);
    std::uint32_t sum = pageChecksum(pageChecksum(0, head, 20), h + 20, packed);
    if (sum != le32(h + 16)) return damaged(name, address + 16, "wrong page checksum");
    out.assign(plain, 0);
    if (method != 2) {
        if (packed < plain) return damaged(name, address + 8, "page shorter than its data");
        std::memcpy(out.data(), h + 20, plain);
        return {};
    }
    std::size_t produced = 0;
    if (!lz77DecompressR18(h + 20, packed, out.data(), plain, &produced) || produced != plain)
        return damaged(name, address + 20, "compressed data is damaged");
    return {};
}

struct SectionDesc {
    std::uint64_t size = 0;
    std::uint32_t maxPage = 0, compressed = 2, encrypted = 0;
    std::string name;
    struct Page {
        std::uint32_t number, packed;
        std::uint64_t offset;
    };
    std::vector<Page> pages;
};

DecodeResult readSection(std::string_view file,
                         const std::unordered_map<std::uint32_t, PageInfo>& map,
                         const SectionDesc& d, std::vector<std::uint8_t>& out) {
    auto* p = reinterpret_cast<const std::uint8_t*>(file.data());
    const char* name = d.name.c_str();
    if (d.encrypted == 1) return passwordProtected(d.name);
    // a section is no larger than its pages can hold, and every page is at least its header
    if (d.size > kMaxSection || d.size > std::uint64_t(d.pages.size()) * d.maxPage ||
        d.pages.size() > file.size() / 32)
        return damaged(name, 0, "section size too large");
    out.assign(std::size_t(d.size), 0);
    std::vector<std::uint8_t> page;
    for (const auto& pg : d.pages) {
        auto it = map.find(pg.number);
        if (it == map.end()) return damaged(name, 0, "page number missing from the page map");
        std::uint64_t at = it->second.address;
        if (at > file.size() || file.size() - at < 32)
            return damaged(name, at, "page lies outside the file");
        std::uint8_t hdr[32];
        std::uint32_t mask = 0x4164536Bu ^ std::uint32_t(at);
        for (int k = 0; k < 8; ++k) {
            std::uint32_t v = le32(p + at + 4 * k) ^ mask;
            std::memcpy(hdr + 4 * k, &v, 4);
        }
        if (le32(hdr) != 0x4163043Bu) return damaged(name, at, "wrong data page type");
        std::uint32_t packed = le32(hdr + 8);
        std::uint64_t start = pg.offset;
        if (packed > file.size() - at - 32)
            return damaged(name, at + 8, "compressed length runs past the end of the file");
        if (start > out.size()) return damaged(name, at, "page lies outside its section");
        // a page holds up to the section's page size; the last one ends with the section
        std::size_t plain = std::size_t(std::min<std::uint64_t>(d.maxPage, out.size() - start));
        if (d.compressed != 2) {
            if (packed < plain) return damaged(name, at + 8, "page shorter than its data");
            std::memcpy(out.data() + start, p + at + 32, plain);
            continue;
        }
        // pages decompress to their full page size (padding past the section's end included)
        if (d.maxPage > kMaxPage) return damaged("section map", 0, "page size too large");
        page.assign(d.maxPage, 0);
        std::size_t produced = 0;
        if (!lz77DecompressR18(p + at + 32, packed, page.data(), page.size(), &produced))
            return damaged(name, at + 32, "compressed data is damaged");
        std::memcpy(out.data() + start, page.data(), plain);
    }
    return {};
}

DecodeResult openR2004(std::string_view file, Sections& out) {
    auto* p = reinterpret_cast<const std::uint8_t*>(file.data());
    if (file.size() < 0x100) return damaged("file header", file.size(), "file too short");
    out.maintenance = p[0x0B];
    out.codePage = p[0x13] | p[0x14] << 8;
    std::uint8_t h[0x6C];
    std::uint32_t seed = 1;
    for (int i = 0; i < 0x6C; ++i) {
        seed = seed * 0x343FD + 0x269EC3;
        h[i] = p[0x80 + i] ^ std::uint8_t(seed >> 16);
    }
    if (std::memcmp(h, "AcFssFcAJMB", 12) != 0)
        return damaged("file header", 0x80, "bad encrypted header");
    // Only a file whose own header reads is taken at its word that it is password-protected:
    // a damaged or foreign file sets that flag as often as not.
    if (le32(p + 0x18) & 3) return passwordProtected("file header at offset 24");
    std::uint32_t storedCrc = le32(h + 0x68);
    std::memset(h + 0x68, 0, 4);
    if (crc32(0, h, 0x6C) != storedCrc) return damaged("file header", 0x80 + 0x68, "wrong CRC");
    std::uint32_t pageMapId = le32(h + 0x50), sectionMapId = le32(h + 0x5C);
    (void)pageMapId;
    std::uint64_t pageMapAt = le64(h + 0x54) + 0x100;

    std::vector<std::uint8_t> buf;
    if (DecodeResult r = readSystemPage(file, pageMapAt, 0x41630E3Bu, "section page map", buf);
        r.status != Status::Ok)
        return r;
    std::unordered_map<std::uint32_t, PageInfo> pages;
    std::uint64_t address = 0x100;
    for (std::size_t i = 0; i + 8 <= buf.size();) {
        std::int32_t number = std::int32_t(le32(buf.data() + i));
        std::uint32_t size = le32(buf.data() + i + 4);
        i += 8;
        if (number < 0)
            i += 16;
        else
            pages[std::uint32_t(number)] = PageInfo{address, size};
        address += size;
    }
    auto sm = pages.find(sectionMapId);
    if (sm == pages.end()) return damaged("section page map", 0, "no page for the section map");
    if (DecodeResult r = readSystemPage(file, sm->second.address, 0x4163003Bu, "section map", buf);
        r.status != Status::Ok)
        return r;
    if (buf.size() < 20) return damaged("section map", 0, "section map too short");
    std::uint32_t count = le32(buf.data());
    std::vector<SectionDesc> descs;
    std::size_t at = 20;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (buf.size() - at < 0x60) return damaged("section map", at, "section map truncated");
        SectionDesc d;
        const std::uint8_t* q = buf.data() + at;
        d.size = le64(q);
        std::uint32_t pageCount = le32(q + 8);
        d.maxPage = le32(q + 12);
        d.compressed = le32(q + 20);
        d.encrypted = le32(q + 28);
        d.name.assign(reinterpret_cast<const char*>(q + 32), 64);
        d.name.resize(std::strlen(d.name.c_str()));
        at += 0x60;
        if (pageCount > (buf.size() - at) / 16)
            return damaged("section map", at, "page count runs past the section map");
        for (std::uint32_t k = 0; k < pageCount; ++k, at += 16)
            d.pages.push_back(
                {le32(buf.data() + at), le32(buf.data() + at + 4), le64(buf.data() + at + 8)});
        descs.push_back(std::move(d));
    }
    return readPagedSections(out, [&](std::string_view name, std::vector<std::uint8_t>& buf) {
        auto it = std::find_if(descs.begin(), descs.end(),
                               [&](const SectionDesc& d) { return d.name == name; });
        if (it == descs.end()) return damaged("section map", 0, "no " + std::string(name));
        return readSection(file, pages, *it, buf);
    });
}

}  // namespace

DecodeResult openContainer(std::string_view file, Sections& out) {
    static const struct {
        const char* tag;
        Version v;
    } kVersions[] = {{"AC1012", R13},   {"AC1014", R14},   {"AC1015", R2000}, {"AC1018", R2004},
                     {"AC1021", R2007}, {"AC1024", R2010}, {"AC1027", R2013}, {"AC1032", R2018}};
    if (isProtectionWrapper(file))
        return DecodeResult{Status::Encrypted, "the drawing is wrapped by a protection system"};
    if (!looksLikeDwg(file)) return DecodeResult{Status::NotDwg, "not a DWG file"};
    std::string_view tag = file.substr(0, 6);
    for (const auto& k : kVersions) {
        if (tag != k.tag) continue;
        out.version = k.v;
        if (k.v == R2007) return openR2007(file, out);
        return k.v <= R2000 ? openR15(file, out) : openR2004(file, out);
    }
    return DecodeResult{Status::Unsupported,
                        "DWG version " + std::string(tag) + " is not supported (R13 to 2018 are)"};
}

}  // namespace qkshost::dwg
