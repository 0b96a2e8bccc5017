#include "container.h"

namespace qkshost::dwg {

namespace {
// Input cursor that fails instead of reading past its end.
struct In {
    const std::uint8_t* p;
    std::size_t n, i = 0;
    bool bad = false;
    int byte() {
        if (i >= n) {
            bad = true;
            return 0x11;  // behaves as the end opcode so every loop stops
        }
        return p[i++];
    }
    // run of 0x00 bytes each worth 0xFF, closed by a non-zero byte
    std::size_t run(std::size_t total) {
        for (;;) {
            int b = byte();
            if (bad) return 0;
            if (b != 0) return total + std::size_t(b);
            total += 0xFF;
        }
    }
};
}  // namespace

bool lz77DecompressR18(const std::uint8_t* src, std::size_t srcLen, std::uint8_t* dst,
                       std::size_t dstLen, std::size_t* produced) {
    In in{src, srcLen};
    std::size_t out = 0;
    bool ok = true;
    auto literal = [&](std::size_t count) {
        if (count > dstLen - out || count > in.n - in.i) {
            ok = false;
            return;
        }
        for (std::size_t k = 0; k < count; ++k)
            dst[out++] = in.p[in.i++];
    };
    // A literal length byte; a byte with its high nibble set is the next opcode instead.
    auto literalRun = [&](int b, int* nextOp) {
        if (b & 0xF0) {
            *nextOp = b;
            return;
        }
        std::size_t count = b == 0 ? in.run(0x0F) + 3 : std::size_t(b) + 3;
        literal(count);
        *nextOp = in.byte();
    };
    int op = in.byte();
    if ((op & 0xF0) == 0) {
        literalRun(op, &op);
    } else if (op > 0x11) {
        // A stream cannot open with a copy: a first byte above the end opcode counts that many
        // literals past 0x11 (AutoCAD 2021 writes a short page map so).
        literal(std::size_t(op - 0x11));
        op = in.byte();
    }
    while (ok && !in.bad && op != 0x11) {
        std::size_t count = 0, offset = 0;
        int lit = 0;
        auto twoByte = [&](std::size_t add) {
            int first = in.byte();
            offset = (std::size_t(first) >> 2) | (std::size_t(in.byte()) << 6);
            offset += add;
            lit = first & 3;
        };
        if (op >= 0x40) {
            count = std::size_t(op >> 4) - 1;
            int op2 = in.byte();
            offset = (std::size_t(op2) << 2) | ((op & 0x0C) >> 2);
            lit = op & 3;
        } else if (op >= 0x20) {
            count = std::size_t(op & 0x1F);
            count = (count == 0 ? in.run(0) + 0x1F : count) + 2;
            twoByte(0);
        } else if (op >= 0x10) {
            // bit 3 selects the upper 16 KiB window, the low three bits the length
            count = std::size_t(op & 7);
            count = (count == 0 ? in.run(0) + 7 : count) + 2;
            twoByte(0x3FFF + (std::size_t(op & 8) << 11));
        } else {
            ok = false;
            break;
        }
        if (in.bad) break;
        std::size_t back = offset + 1;
        if (back > out || count > dstLen - out) {
            ok = false;
            break;
        }
        for (std::size_t k = 0; k < count; ++k, ++out)
            dst[out] = dst[out - back];
        if (lit == 0) {
            literalRun(in.byte(), &op);
        } else {
            literal(std::size_t(lit));
            op = in.byte();
        }
    }
    *produced = out;
    return ok && !in.bad;
}

}  // namespace qkshost::dwg
