// The file containers: where the header variables, classes, object map and objects of a DWG
// file lie, as byte ranges. R13-R15 files hold them at plain offsets; 2004 and later files
// hold them in compressed, paged sections, which are decompressed into owned buffers.
#pragma once

#include "bit_reader.h"

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
Result damaged(std::string_view section, std::uint64_t offset, std::string_view what);

Result openContainer(std::string_view file, Sections& out);

// LZ77 variant of 2004 and later. Never reads past src nor writes past dst; false on bad data.
bool lz77DecompressR18(const std::uint8_t* src, std::size_t srcLen, std::uint8_t* dst,
                       std::size_t dstLen, std::size_t* produced);

}  // namespace qkshost::dwg
