// Decoding of drawing texts to UTF-8: the drawing's code page (files before R2007), UTF-8 (DXF
// of R2007 and later), and the \U+XXXX and \M+NXXXX escapes the CAD program writes for
// characters outside the code page. Shared by the DXF and DWG codecs, so a drawing's texts
// read the same from either. Invalid input never fails: it becomes U+FFFD.
#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

namespace qkshost::drawing {

class TextDecoder {
  public:
    TextDecoder() = default;
    ~TextDecoder();
    TextDecoder(const TextDecoder&) = delete;
    TextDecoder& operator=(const TextDecoder&) = delete;

    // $DWGCODEPAGE value such as ANSI_936; utf8 = the file stores UTF-8 (R2007 and later).
    void setCodePage(std::string_view dwgCodePage, bool utf8);
    // Appends the decoded text to out.
    void decode(std::string_view raw, std::string& out);
    std::string decode(std::string_view raw) {
        std::string s;
        decode(raw, s);
        return s;
    }

  private:
    void convertRun(std::string_view run, iconv_t cd, std::string& out);
    iconv_t open(const char* charset);
    iconv_t cd_ = iconv_t(-1);
    iconv_t mbcs_[6] = {iconv_t(-1), iconv_t(-1), iconv_t(-1),
                        iconv_t(-1), iconv_t(-1), iconv_t(-1)};
    bool utf8_ = true;
};

}  // namespace qkshost::drawing
