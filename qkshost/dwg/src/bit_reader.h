// Bit-stream reader of the DWG bit codes. Reads past the end never touch memory outside the
// buffer: they return zero and latch `failed()`, so a decoder reads a whole object and checks
// once. The reader does not own the bytes.
#pragma once

#include "qkshost/dwg/dwg.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace qkshost::dwg {

// Generation of the drawing, ordered: comparisons like `v >= R2004` select format variants.
enum Version : int { R13 = 0, R14, R2000, R2004, R2007, R2010, R2013, R2018 };

struct HandleRef {
    int code = 0;
    Handle value = 0;
    // The referenced handle: codes 6/8/A/C are offsets from the object's own handle.
    Handle resolve(Handle from) const;
};

class BitReader {
  public:
    BitReader() = default;
    BitReader(const std::uint8_t* data, std::size_t bytes, Version v)
        : data_(data), bytes_(bytes), endBit_(bytes * 8), version_(v) {}

    Version version() const { return version_; }
    std::size_t pos() const { return pos_; }
    std::size_t endBit() const { return endBit_; }
    void seek(std::size_t bit) {
        if (bit > endBit_)
            fail();
        else
            pos_ = bit;
    }
    // Narrows the readable range to [pos, bit): reads beyond it fail.
    void limit(std::size_t bit) {
        if (bit > endBit_)
            fail();
        else
            endBit_ = bit;
    }
    std::size_t remaining() const { return endBit_ - pos_; }
    bool failed() const { return failed_; }
    void fail() {
        failed_ = true;
        pos_ = endBit_;
    }
    const std::uint8_t* data() const { return data_; }

    // raw codes
    bool B();
    int BB();
    int B3();
    std::uint8_t RC();
    std::uint16_t RS();
    std::uint32_t RL();
    std::uint64_t RLL();
    double RD();
    // bit codes
    std::int16_t BS();
    std::int32_t BL();
    std::uint64_t BLL();
    double BD();
    double DD(double def);
    Vec3 BD3();
    Vec3 RD2();  // z = 0
    Vec3 RD3();
    Vec3 BE();
    double BT();
    std::int64_t MC();    // signed modular char
    std::uint64_t UMC();  // unsigned modular char
    std::uint32_t MS();
    HandleRef H();
    int OT();  // object type (BS before 2010, then a two-bit prefixed byte or short)
    Color CMC(BitReader& text);  // names, if any, come from `text`
    Color ENC(bool* hasBookHandle);
    // Strings: code-page bytes before 2007 (decoded by the caller), UTF-16 after.
    std::string TV8();  // raw bytes of an 8-bit string
    std::string TU();   // UTF-16LE string converted to UTF-8
    void skipBits(std::size_t n);
    void alignByte() { seek((pos_ + 7) & ~std::size_t(7)); }

    // True when `count` items of at least `minBits` each could still follow.
    bool fits(std::uint64_t count, std::size_t minBits) const {
        return minBits == 0 || count <= remaining() / minBits;
    }

  private:
    std::uint64_t bits(int n);  // up to 64, MSB first
    const std::uint8_t* data_ = nullptr;
    std::size_t bytes_ = 0;  // the buffer's length, which a limit never shortens
    std::size_t endBit_ = 0;
    std::size_t pos_ = 0;
    bool failed_ = false;
    Version version_ = R2000;
};

void appendUtf8(std::string& out, std::uint32_t cp);

std::uint16_t crc16(std::uint16_t seed, const std::uint8_t* p, std::size_t n);
std::uint32_t crc32(std::uint32_t seed, const std::uint8_t* p, std::size_t n);

}  // namespace qkshost::dwg
