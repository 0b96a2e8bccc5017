// The tag cursor of one DXF read: the tokenizer over the file, the text decoder of its code
// page, the tags of the record being read and the count of repairs made along the way. Every
// section reader reads through it; a malformed value throws the reader's one ParseError.
#pragma once

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "qkshost/drawing/database.h"
#include "qkshost/drawing/text_decoder.h"
#include "tokens.h"

namespace qkshost::dxf::detail {

// The readers fill the kernel's structures throughout, so its names are used unqualified.
using namespace qkshost::drawing;

class TagCursor {
  public:
    explicit TagCursor(std::string_view data) : tok_(data) {}

    // ---------- values ----------
    [[noreturn]] void fail(const Tag& t, const std::string& what) { tok_.fail(t.pos, what); }
    // `pos` is a line (ASCII) or byte offset (binary), as Tag::pos
    [[noreturn]] void failAt(std::size_t pos, const std::string& what) { tok_.fail(pos, what); }
    std::size_t position() const { return tok_.position(); }

    double num(const Tag& t);
    long long integer(const Tag& t);
    int int32(const Tag& t);
    Handle handle(const Tag& t);
    std::string str(const Tag& t) { return codec_.decode(t.text); }
    std::string decode(std::string_view raw) { return codec_.decode(raw); }
    std::string rawText(const Tag& t);
    // Groups that readers of hatches have always taken leniently, as the C library parses
    // numbers: a bad value reads as 0 and never fails the drawing.
    double loose(const Tag& g);
    int looseInt(const Tag& g) { return std::atoi(rawText(g).c_str()); }
    // "0 CODE TEXT" cut to 40 characters, controls shown as '?': for messages
    std::string shown(const Tag& t);

    // ---------- tags ----------
    bool next(Tag& t) { return tok_.next(t); }
    void pushBack(const Tag& t) { tok_.pushBack(t); }
    void expectNext(Tag& t, const char* context);
    // After a "0 NAME" tag: reads the following tags up to (not including) the next group 0
    // into record().
    void readRecord(const char* context);
    // The tags of the record last read; valid until the next readRecord().
    const std::vector<Tag>& record() const { return record_; }
    // At a 102 tag of record(): moves i past its "{APP ... }" group.
    void skipGroup(std::size_t& i) const;
    void skipSection(const char* name);

    // ---------- code page ----------
    // Sets the decoder from the header's version and code page; before any HEADER section
    // the defaults apply (UTF-8 for binary files without a version).
    void configureCodec(const Database& db);
    bool codecSet() const { return codecSet_; }

    // ---------- repairs ----------
    // One input the reader repaired or dropped instead of failing the drawing.
    void warn() { ++warnings_; }
    int warnings() const { return warnings_; }

  private:
    Tokenizer tok_;
    TextDecoder codec_;
    bool codecSet_ = false;
    int warnings_ = 0;
    std::vector<Tag> record_;
};

}  // namespace qkshost::dxf::detail
