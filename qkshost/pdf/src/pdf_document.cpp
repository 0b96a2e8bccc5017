#include "pdf_document.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "qks/common/utf8.h"

namespace qkshost::pdf::detail {
namespace {

constexpr double kLargestNumber = 1e9;

void appendUnsigned(std::string& out, std::uint64_t n) {
    char digits[24];
    int i = 0;
    do {
        digits[i++] = char('0' + n % 10);
        n /= 10;
    } while (n != 0);
    while (i > 0)
        out.push_back(digits[--i]);
}

}  // namespace

void appendCoordinate(std::string& out, double v) {
    if (!(v == v)) v = 0.0;  // NaN never reaches a page; guard the file all the same
    v = std::fmax(-kLargestNumber, std::fmin(kLargestNumber, v));
    long long thousandths = std::llround(v * 1000.0);
    if (thousandths == 0) {
        out.push_back('0');
        return;
    }
    if (thousandths < 0) {
        out.push_back('-');
        thousandths = -thousandths;
    }
    const auto whole = static_cast<std::uint64_t>(thousandths / 1000);
    int fraction = static_cast<int>(thousandths % 1000);
    appendUnsigned(out, whole);
    if (fraction == 0) return;
    out.push_back('.');
    out.push_back(char('0' + fraction / 100));
    fraction %= 100;
    if (fraction == 0) return;
    out.push_back(char('0' + fraction / 10));
    fraction %= 10;
    if (fraction != 0) out.push_back(char('0' + fraction));
}

void appendScale(std::string& out, double v) {
    if (!std::isfinite(v)) v = 0.0;
    v = std::fmax(-kLargestNumber, std::fmin(kLargestNumber, v));
    if (std::fabs(v) < 1e-12) {
        out.push_back('0');
        return;
    }
    // PDF has no exponent notation: fixed digits, enough of them for six significant ones.
    const int magnitude = static_cast<int>(std::floor(std::log10(std::fabs(v))));
    const int decimals = std::max(0, std::min(17, 5 - magnitude));
    char buffer[64];
    int n = std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
    if (n <= 0) {
        out.push_back('0');
        return;
    }
    if (std::memchr(buffer, '.', std::size_t(n)) != nullptr) {
        while (n > 1 && buffer[n - 1] == '0')
            --n;
        if (buffer[n - 1] == '.') --n;
    }
    if (n == 2 && buffer[0] == '-' && buffer[1] == '0') {
        out.push_back('0');
        return;
    }
    out.append(buffer, std::size_t(n));
}

void appendHexCode(std::string& out, unsigned code, int bytes) {
    static const char hex[] = "0123456789ABCDEF";
    out.push_back('<');
    for (int shift = bytes * 8 - 4; shift >= 0; shift -= 4)
        out.push_back(hex[(code >> shift) & 0xF]);
    out.push_back('>');
}

void appendUtf16Hex(std::string& out, std::string_view utf8) {
    static const char hex[] = "0123456789ABCDEF";
    auto unit = [&](unsigned u) {
        for (int shift = 12; shift >= 0; shift -= 4)
            out.push_back(hex[(u >> shift) & 0xF]);
    };
    std::size_t i = 0;
    while (i < utf8.size()) {
        std::size_t len = 1;
        unsigned cp = qks::decodeUtf8At(utf8, i, len);  // malformed bytes give U+FFFD
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xD800 + (cp >> 10));
            unit(0xDC00 + (cp & 0x3FF));
        } else {
            unit(cp);
        }
    }
}

void appendTextString(std::string& out, std::string_view utf8) {
    out += "<FEFF";
    appendUtf16Hex(out, utf8);
    out.push_back('>');
}

namespace {

// One deflater per thread, reset between streams: setting one up allocates a quarter of a
// megabyte, and a page has several streams.
class Deflater {
  public:
    Deflater() {
        // Level 1: on page content about three times faster than the default level, for a
        // file a third larger.
        ready_ = deflateInit(&stream_, 1) == Z_OK;
    }
    ~Deflater() {
        if (ready_) deflateEnd(&stream_);
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // Compresses `data`, handing the output to `sink` in pieces; false on failure.
    template <class Sink>
    bool run(std::string_view data, Sink&& sink) {
        if (!ready_ || deflateReset(&stream_) != Z_OK) return false;
        stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        std::size_t left = data.size();
        int status = Z_OK;
        do {
            // zlib counts input in 32-bit units.
            const std::size_t step = std::min<std::size_t>(left, 1u << 30);
            stream_.avail_in = static_cast<uInt>(step);
            left -= step;
            const int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
            do {
                stream_.next_out = out_.data();
                stream_.avail_out = static_cast<uInt>(out_.size());
                status = deflate(&stream_, flush);
                if (status == Z_STREAM_ERROR) return false;
                const std::size_t produced = out_.size() - stream_.avail_out;
                if (produced > 0 && !sink(reinterpret_cast<const char*>(out_.data()), produced))
                    return false;
            } while (stream_.avail_out == 0);
        } while (left > 0);
        return status == Z_STREAM_END;
    }

  private:
    z_stream stream_{};
    bool ready_ = false;
    std::vector<Bytef> out_ = std::vector<Bytef>(64 * 1024);
};

Deflater& threadDeflater() {
    thread_local Deflater deflater;
    return deflater;
}

}  // namespace

PdfDocumentWriter::PdfDocumentWriter(AtomicOutputFile& out) : out_(out) {
    // The comment of high bytes marks the file as binary for transfer programs.
    write("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
}

void PdfDocumentWriter::write(std::string_view bytes) {
    if (!ok_) return;
    ok_ = out_.write(bytes.data(), bytes.size());
    position_ += bytes.size();
}

int PdfDocumentWriter::reserveObject() {
    offsets_.push_back(0);
    return static_cast<int>(offsets_.size() - 1);
}

void PdfDocumentWriter::writeObject(int number, std::string_view body) {
    offsets_[std::size_t(number)] = position_;
    std::string head;
    appendUnsigned(head, std::uint64_t(number));
    head += " 0 obj\n";
    write(head);
    write(body);
    write("\nendobj\n");
}

void PdfDocumentWriter::writeStream(int number, std::string_view dictionary,
                                    std::string_view data) {
    std::string head;
    appendUnsigned(head, std::uint64_t(number));
    head += " 0 obj\n<<";
    head += dictionary;
    // The compressed bytes go straight to the file; their count follows as an object of its
    // own, so no copy of the stream is held.
    const int length = reserveObject();
    head += "/Length ";
    appendUnsigned(head, std::uint64_t(length));
    head += " 0 R/Filter/FlateDecode>>\nstream\n";
    offsets_[std::size_t(number)] = position_;
    write(head);
    std::uint64_t size = 0;
    const bool packed = threadDeflater().run(data, [&](const char* p, std::size_t n) {
        write(std::string_view(p, n));
        size += n;
        return ok_;
    });
    if (!packed) ok_ = false;  // the stream is cut short: the file must not be kept
    write("\nendstream\nendobj\n");
    std::string value;
    appendUnsigned(value, size);
    writeObject(length, value);
}

void PdfDocumentWriter::finish(int catalog, int info) {
    const std::uint64_t xref = position_;
    std::string table = "xref\n0 ";
    appendUnsigned(table, offsets_.size());
    table += "\n0000000000 65535 f \n";
    for (std::size_t i = 1; i < offsets_.size(); ++i) {
        // An object reserved but never written is listed as free, so readers find no dangling
        // reference to garbage.
        char entry[24];
        std::snprintf(entry, sizeof entry,
                      offsets_[i] ? "%010llu 00000 n \n" : "%010llu 00001 f \n",
                      (unsigned long long)offsets_[i]);
        table += entry;
    }
    table += "trailer\n<</Size ";
    appendUnsigned(table, offsets_.size());
    table += "/Root ";
    appendUnsigned(table, std::uint64_t(catalog));
    table += " 0 R/Info ";
    appendUnsigned(table, std::uint64_t(info));
    table += " 0 R>>\nstartxref\n";
    appendUnsigned(table, xref);
    table += "\n%%EOF\n";
    write(table);
}

}  // namespace qkshost::pdf::detail
