// LZ77 variant of 2007 drawings (the published DWG format description, R2007 decompression).
// Unlike the 2004 variant, literal runs are stored with their bytes shuffled in blocks of up
// to 32, and a back-reference's length and offset share bits with the opcode that follows.
#include "container.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace qkshost::dwg {

namespace {

// Byte order of a literal run of 1..32 bytes: entry n gives, for each output byte, the input
// byte it comes from. The writer copies runs in pieces (a piece of 2 or 3 bytes reversed, of 4
// or 8 in order, of 16 as its two halves swapped); each row lists its pieces in output order
// as {size, input offset}.
using Order = std::array<std::array<std::uint8_t, 32>, 33>;

Order makeOrder() {
    struct Piece {
        std::uint8_t size, from;
    };
    static const Piece kPieces[33][6] = {
        {},
        {{1, 0}},
        {{2, 0}},
        {{3, 0}},
        {{4, 0}},
        {{1, 4}, {4, 0}},
        {{1, 5}, {4, 1}, {1, 0}},
        {{2, 5}, {4, 1}, {1, 0}},
        {{8, 0}},
        {{1, 8}, {8, 0}},
        {{1, 9}, {8, 1}, {1, 0}},
        {{2, 9}, {8, 1}, {1, 0}},
        {{4, 8}, {8, 0}},
        {{1, 12}, {4, 8}, {8, 0}},
        {{1, 13}, {4, 9}, {8, 1}, {1, 0}},
        {{2, 13}, {4, 9}, {8, 1}, {1, 0}},
        {{16, 0}},
        {{8, 9}, {1, 8}, {8, 0}},
        {{1, 17}, {16, 1}, {1, 0}},
        {{3, 16}, {16, 0}},
        {{4, 16}, {16, 0}},
        {{1, 20}, {4, 16}, {16, 0}},
        {{2, 20}, {4, 16}, {16, 0}},
        {{3, 20}, {4, 16}, {16, 0}},
        {{8, 16}, {16, 0}},
        {{8, 17}, {1, 16}, {16, 0}},
        {{1, 25}, {8, 17}, {1, 16}, {16, 0}},
        {{2, 25}, {8, 17}, {1, 16}, {16, 0}},
        {{4, 24}, {8, 16}, {16, 0}},
        {{1, 28}, {4, 24}, {8, 16}, {16, 0}},
        {{2, 28}, {4, 24}, {8, 16}, {16, 0}},
        {{1, 30}, {4, 26}, {8, 18}, {16, 2}, {2, 0}},
        {{16, 16}, {16, 0}},
    };
    Order order{};
    for (int n = 1; n <= 32; ++n) {
        int out = 0;
        for (const Piece& p : kPieces[n]) {
            for (int k = 0; k < p.size; ++k) {
                int from = k;
                if (p.size == 2 || p.size == 3) from = p.size - 1 - k;
                if (p.size == 16) from = (k + 8) % 16;
                order[n][out++] = std::uint8_t(p.from + from);
            }
        }
    }
    return order;
}

const Order& literalOrder() {
    static const Order order = makeOrder();
    return order;
}

// Input cursor that fails instead of reading past its end.
struct Src {
    const std::uint8_t* p;
    std::size_t n, i = 0;
    bool bad = false;
    std::size_t byte() {
        if (i >= n) {
            bad = true;
            return 0;
        }
        return p[i++];
    }
};

// Length of a literal run announced by an opcode below 0x10: longer runs continue in one byte,
// then in 16-bit words while they are all ones.
std::size_t literalLength(Src& in, std::size_t op) {
    std::size_t length = op + 8;
    if (length != 0x17) return length;
    std::size_t n = in.byte();
    length += n;
    if (n == 0xFF) {
        do {
            n = in.byte();
            n |= in.byte() << 8;
            length += n;
        } while (n == 0xFFFF && !in.bad);
    }
    return length;
}

// Length and distance of a back-reference; `op` becomes the byte whose low bits say what
// follows it.
void backReference(Src& in, std::size_t& op, std::size_t& length, std::size_t& distance) {
    switch (op >> 4) {
        case 0:
            length = (op & 0x0F) + 0x13;
            distance = in.byte();
            op = in.byte();
            length += (op >> 3) & 0x10;
            distance += ((op & 0x78) << 5) + 1;
            break;
        case 1:
            length = (op & 0x0F) + 3;
            distance = in.byte();
            op = in.byte();
            distance += ((op & 0xF8) << 5) + 1;
            break;
        case 2:
            distance = in.byte();
            distance |= in.byte() << 8;
            length = op & 7;
            if ((op & 8) == 0) {
                op = in.byte();
                length += op & 0xF8;
            } else {
                ++distance;
                length += in.byte() << 3;
                op = in.byte();
                length += ((op & 0xF8) << 8) + 0x100;
            }
            break;
        default:
            length = op >> 4;
            distance = op & 0x0F;
            op = in.byte();
            distance += ((op & 0xF8) << 1) + 1;
            break;
    }
}

}  // namespace

bool lz77DecompressR21(const std::uint8_t* src, std::size_t srcLen, std::uint8_t* dst,
                       std::size_t dstLen, std::size_t* produced) {
    const Order& order = literalOrder();
    Src in{src, srcLen};
    std::size_t out = 0;
    *produced = 0;
    if (srcLen == 0) return true;
    std::size_t op = in.byte(), length = 0;
    if ((op & 0xF0) == 0x20) {
        in.i += 2;
        length = in.byte() & 7;
    }
    while (!in.bad && in.i < in.n) {
        if (length == 0) length = literalLength(in, op);
        if (in.bad || length > in.n - in.i || length > dstLen - out) return false;
        for (std::size_t done = 0; done < length;) {
            std::size_t piece = std::min<std::size_t>(32, length - done);
            if (piece == 32) {  // the common full piece: its four blocks of 8 reversed
                for (std::size_t k = 0; k < 4; ++k)
                    std::memcpy(dst + out + 8 * k, in.p + in.i + 24 - 8 * k, 8);
            } else {
                for (std::size_t k = 0; k < piece; ++k)
                    dst[out + k] = in.p[in.i + order[piece][k]];
            }
            in.i += piece;
            out += piece;
            done += piece;
        }
        *produced = out;
        if (in.i >= in.n) break;
        op = in.byte();
        std::size_t distance = 0;
        backReference(in, op, length, distance);
        for (;;) {
            if (in.bad || distance == 0 || distance > out || length > dstLen - out) return false;
            if (distance >= length) {
                std::memcpy(dst + out, dst + out - distance, length);
                out += length;
            } else {  // overlapping: the run repeats what it has just written
                for (std::size_t k = 0; k < length; ++k, ++out)
                    dst[out] = dst[out - distance];
            }
            *produced = out;
            length = op & 7;
            if (length != 0 || in.i >= in.n) break;
            op = in.byte();
            if ((op >> 4) == 0) break;
            if ((op >> 4) == 0x0F) op &= 0x0F;
            backReference(in, op, length, distance);
        }
    }
    return !in.bad;
}

}  // namespace qkshost::dwg
