// The bytes of a PDF file: numbered objects, streams, the cross-reference table and trailer,
// and a content-stream builder whose numbers are formatted without the C library (a large page
// holds a hundred thousand of them).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pdf_file.h"

namespace qkshost::pdf::detail {

// Appends `v` with at most three decimals, trailing zeros dropped ("12.5", "-0.125", "3"):
// coordinates in points, where a thousandth is far below what any printer resolves. Values
// beyond +-1e9 are clamped (no reader needs more, and some refuse larger reals).
void appendCoordinate(std::string& out, double v);
// Appends a matrix coefficient or other scale with six significant digits.
void appendScale(std::string& out, double v);
// Appends `text` as a PDF text string: UTF-16BE with a byte-order mark, in hex.
void appendTextString(std::string& out, std::string_view utf8);
// Appends the UTF-16BE hex digits of `utf8` alone (no mark, no brackets); malformed UTF-8
// becomes U+FFFD.
void appendUtf16Hex(std::string& out, std::string_view utf8);
// Appends a character code of `bytes` bytes as a hex string, "<00A1>".
void appendHexCode(std::string& out, unsigned code, int bytes);

// Writes a PDF file front to back into `out`. Objects are numbered by reserveObject() and may
// be written in any order; finish() writes the cross-reference table and trailer. Every write
// failure is remembered; ok() tells.
class PdfDocumentWriter {
  public:
    explicit PdfDocumentWriter(AtomicOutputFile& out);

    int reserveObject();
    // Writes "n 0 obj <dictionary> endobj".
    void writeObject(int number, std::string_view body);
    // Writes a stream object, compressed (/FlateDecode, at a fast level: a large page's
    // content stream would otherwise take much of the page's time); `dictionary` holds the
    // entries besides /Length and /Filter, without the surrounding << >>.
    void writeStream(int number, std::string_view dictionary, std::string_view data);
    // Writes the cross-reference table and trailer naming the catalog and document info.
    void finish(int catalog, int info);

    bool ok() const { return ok_; }

  private:
    void write(std::string_view bytes);

    AtomicOutputFile& out_;
    std::vector<std::uint64_t> offsets_{0};  // by object number; 0 is the free list head
    std::uint64_t position_ = 0;
    bool ok_ = true;
};

}  // namespace qkshost::pdf::detail
