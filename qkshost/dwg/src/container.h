// The file containers: where the header variables, classes, object map and objects of a DWG
// file lie, as byte ranges. R13-R15 files hold them at plain offsets; 2004 and later files
// hold them in compressed, paged sections, which are decompressed into owned buffers.
#pragma once

#include "bit_reader.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qkshost::dwg {

struct Bytes {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

struct Sections {
    Version version = R2000;
    int maintenance = 0;
    int codePage = 0;
    Bytes header, classes, handles, objects;
    std::vector<std::vector<std::uint8_t>> owned;  // decompressed sections (2004+)
};

// A failure message naming the section and the byte offset.
DecodeResult damaged(std::string_view section, std::uint64_t offset, std::string_view what);
// The failure of a drawing saved with a password; `where` names what says so.
DecodeResult passwordProtected(std::string_view where);

inline std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}
inline std::uint64_t le64(const std::uint8_t* p) {
    return le32(p) | std::uint64_t(le32(p + 4)) << 32;
}

DecodeResult openContainer(std::string_view file, Sections& out);

// The header variables, classes, object map and objects of a paged file (2004 and later): each
// is read by `read` from the section of that name into a buffer `out` owns.
using ReadSection =
    std::function<DecodeResult(std::string_view name, std::vector<std::uint8_t>& buf)>;
DecodeResult readPagedSections(Sections& out, const ReadSection& read);

// The container of 2007 drawings (the others are read in container.cpp).
DecodeResult openR2007(std::string_view file, Sections& out);

constexpr std::size_t kMaxSection = std::size_t(256) << 20;  // bound of any decompressed section
constexpr std::size_t kMaxPage = std::size_t(1) << 20;       // bound of one data page

// LZ77 variant of 2004 and later. Never reads past src nor writes past dst; false on bad data.
bool lz77DecompressR18(const std::uint8_t* src, std::size_t srcLen, std::uint8_t* dst,
                       std::size_t dstLen, std::size_t* produced);

// LZ77 variant of 2007. Never reads past src nor writes past dst; false on bad data.
bool lz77DecompressR21(const std::uint8_t* src, std::size_t srcLen, std::uint8_t* dst,
                       std::size_t dstLen, std::size_t* produced);

}  // namespace qkshost::dwg
