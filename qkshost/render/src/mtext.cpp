// Plain text out of TEXT and MTEXT contents.
#include <cctype>

#include <cmath>
#include <cstdlib>

#include "mtext_runs.h"
#include "qks/common/plane.h"
#include "qks/common/utf8.h"
#include "qkshost/render/renderer.h"

namespace qkshost::render {
namespace {

// Skips a code's argument, which runs up to and including the next ';'.
std::size_t skipToSemicolon(const std::string& s, std::size_t i) {
    const std::size_t end = s.find(';', i);
    return end == std::string::npos ? s.size() : end + 1;
}

// "%%nnn": a character by its decimal code.
bool decimalCode(const std::string& s, std::size_t i, std::string& out, std::size_t& used) {
    std::size_t n = 0;
    unsigned value = 0;
    while (n < 3 && i + n < s.size() && std::isdigit(static_cast<unsigned char>(s[i + n]))) {
        value = value * 10 + unsigned(s[i + n] - '0');
        ++n;
    }
    if (n != 3 || value == 0 || value > 255) return false;
    qks::appendUtf8(out, value);
    used = n;
    return true;
}

}  // namespace

std::string plainTextContents(const std::string& s) {
    return detail::plainTextWithLines(s, nullptr, nullptr);
}

}  // namespace qkshost::render

namespace qkshost::render::detail {
namespace {

// The argument of a code: from `i` up to the next ';' (or the end).
std::string argumentAt(const std::string& s, std::size_t i) {
    const std::size_t end = s.find(';', i);
    return s.substr(i, end == std::string::npos ? std::string::npos : end - i);
}

// A number at the start of `text`; false when there is none or it is not finite.
bool leadingNumber(const std::string& text, double& value) {
    const char* begin = text.c_str();
    char* end = nullptr;
    value = std::strtod(begin, &end);
    return end != begin && std::isfinite(value);
}

// Applies a format code's argument to `f`.
void applyFormat(char code, const std::string& arg, MTextFormat& f, const MTextFormat& base) {
    double v = 0.0;
    switch (code) {
        case 'H':
        case 'h':
            if (!leadingNumber(arg, v) || !(v > 0)) break;
            // "x" makes the value a factor of the height in force.
            f.height =
                (!arg.empty() && (arg.back() == 'x' || arg.back() == 'X')) ? f.height * v : v;
            break;
        case 'W':
        case 'w':
            if (leadingNumber(arg, v) && v > 0)
                f.widthFactor = (!arg.empty() && (arg.back() == 'x' || arg.back() == 'X'))
                                    ? f.widthFactor * v
                                    : v;
            break;
        case 'Q':
        case 'q':
            if (leadingNumber(arg, v) && std::fabs(v) < 85) f.oblique = v * qks::kPi / 180.0;
            break;
        case 'f':
        case 'F': {
            // "\fFamily|b1|i0|c134|p34;", "\Ftxt.shx,hztxt.shx|c134;"
            const std::size_t end = arg.find_first_of("|,");
            const std::string family = arg.substr(0, end);
            f.font = family.empty() ? base.font : family;
            break;
        }
        case 'C':
            if (leadingNumber(arg, v)) {
                const int aci = int(v);
                // 0 (by block) and 256 (by layer): the entity's own colour again.
                f.hasColour = aci >= 1 && aci <= 255;
                if (f.hasColour) f.colour = pdf::PlotColour::aci(aci);
            }
            break;
        case 'c':
            if (leadingNumber(arg, v) && v >= 0 && v <= 0xFFFFFF) {
                const auto rgb = static_cast<unsigned>(v);
                f.hasColour = true;
                f.colour = pdf::PlotColour::trueColour(std::uint8_t(rgb >> 16),
                                                       std::uint8_t(rgb >> 8), std::uint8_t(rgb));
            }
            break;
        default:
            break;
    }
}

}  // namespace

std::vector<MTextRun> parseMText(const std::string& s, const MTextFormat& base) {
    std::vector<MTextRun> runs;
    std::vector<MTextFormat> groups;  // formats in force where each open '{' was
    MTextFormat format = base;
    std::string out;
    // Ends the run in progress; the next text starts one in the format now in force.
    auto flush = [&](const MTextFormat& next) {
        if (!out.empty()) {
            std::string text = plainTextContents(out);
            if (!runs.empty() && runs.back().format == format && runs.back().stack == 0)
                runs.back().text += text;
            else
                runs.push_back({std::move(text), format, 0, {}});
            out.clear();
        }
        format = next;
    };
    for (std::size_t i = 0; i < s.size();) {
        const char c = s[i];
        if (c == '{') {
            groups.push_back(format);
            ++i;
            continue;
        }
        if (c == '}') {
            if (!groups.empty()) {
                flush(groups.back());
                groups.pop_back();
            }
            ++i;
            continue;
        }
        if (c != '\\' || i + 1 >= s.size()) {
            out += c;
            ++i;
            continue;
        }
        const char code = s[i + 1];
        switch (code) {
            case 'P':
            case 'X':  // line break between dimension text lines
            case 'N':  // column break
                out += '\n';
                i += 2;
                break;
            case '~':
                out += ' ';
                i += 2;
                break;
            case '\\':
            case '{':
            case '}':
                out += code;
                i += 2;
                break;
            case 'L':
            case 'l':
            case 'O':
            case 'o': {
                MTextFormat next = format;
                (code == 'L' || code == 'l' ? next.underline : next.overline) =
                    code == 'L' || code == 'O';
                if (next != format) flush(next);
                i += 2;
                break;
            }
            case 'K':  // strike-through: not drawn
            case 'k':
                i += 2;
                break;
            case 'S': {  // stacked text "a^b", "a/b", "a#b" up to ';'
                const std::string body = argumentAt(s, i + 2);
                std::string upper, lower;
                char stack = 0;
                for (std::size_t k = 0; k < body.size(); ++k) {
                    const char b = body[k];
                    std::string& part = stack ? lower : upper;
                    if (b == '\\' && k + 1 < body.size()) {
                        part += body[++k];
                    } else if (!stack && (b == '^' || b == '/' || b == '#')) {
                        stack = b;
                    } else {
                        part += b;
                    }
                }
                i = skipToSemicolon(s, i + 2);
                if (!stack) {
                    out += upper;
                    break;
                }
                flush(format);
                runs.push_back({plainTextContents(upper), format, stack, plainTextContents(lower)});
                break;
            }
            case 'U':  // \U+XXXX
                if (i + 6 < s.size() && s[i + 2] == '+') {
                    unsigned cp = 0;
                    std::size_t k = i + 3, n = 0;
                    while (n < 4 && k < s.size() &&
                           std::isxdigit(static_cast<unsigned char>(s[k]))) {
                        cp = cp * 16 + unsigned(std::isdigit(static_cast<unsigned char>(s[k]))
                                                    ? s[k] - '0'
                                                    : std::tolower(s[k]) - 'a' + 10);
                        ++k;
                        ++n;
                    }
                    if (n == 4) {
                        qks::appendUtf8(out, cp);
                        i = k;
                        break;
                    }
                }
                out += code;
                i += 2;
                break;
            case 'f':
            case 'F':
            case 'H':
            case 'h':
            case 'W':
            case 'w':
            case 'Q':
            case 'q':
            case 'C':
            case 'c': {
                MTextFormat next = format;
                applyFormat(code, argumentAt(s, i + 2), next, base);
                if (next != format) flush(next);
                i = skipToSemicolon(s, i + 2);
                break;
            }
            case 'T':
            case 't':
            case 'A':
            case 'a':
            case 'p':
                i = skipToSemicolon(s, i + 2);
                break;
            default:
                // An unknown escape keeps its character, as the CAD program shows it.
                out += code;
                i += 2;
                break;
        }
    }
    flush(format);
    return runs;
}

std::string plainTextWithLines(const std::string& s, std::vector<pdf::TextPrimitive::Span>* under,
                               std::vector<pdf::TextPrimitive::Span>* over) {
    std::string out;
    out.reserve(s.size());
    // Where the open underline and overline began in `out`; npos: none open.
    std::size_t underFrom = std::string::npos, overFrom = std::string::npos;
    auto toggle = [&](std::size_t& from, std::vector<pdf::TextPrimitive::Span>* spans) {
        if (from == std::string::npos) {
            from = out.size();
            return;
        }
        if (spans != nullptr && out.size() > from) spans->push_back({from, out.size()});
        from = std::string::npos;
    };
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && s[i + 1] == '%') {
            const char c = char(std::tolower(static_cast<unsigned char>(s[i + 2])));
            std::size_t used = 0;
            if (c == 'c') {
                out += "\xC3\x98";  // diameter sign, as the CAD fonts draw it
            } else if (c == 'd') {
                out += "\xC2\xB0";
            } else if (c == 'p') {
                out += "\xC2\xB1";
            } else if (c == '%') {
                out += '%';
            } else if (c == 'u') {
                toggle(underFrom, under);
            } else if (c == 'o') {
                toggle(overFrom, over);
            } else if (decimalCode(s, i + 2, out, used)) {
                i += 1 + used;
                continue;
            } else {
                out += s[i];
                continue;
            }
            i += 2;
            continue;
        }
        out += s[i];
    }
    // A line still open runs to the end of the text.
    if (underFrom != std::string::npos) toggle(underFrom, under);
    if (overFrom != std::string::npos) toggle(overFrom, over);
    return out;
}

}  // namespace qkshost::render::detail

namespace qkshost::render {

std::string plainMTextContents(const std::string& s) {
    std::string out;
    for (const detail::MTextRun& run : detail::parseMText(s, {}))
        out += run.stack ? run.text + "/" + run.lower : run.text;
    return out;
}

}  // namespace qkshost::render

namespace qkshost::render::detail {
namespace {

// Scripts written without spaces, where a line may break between any two characters.
bool breaksAnywhere(char32_t c) {
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFFEF) ||
           (c >= 0x20000 && c <= 0x3FFFF);
}

}  // namespace

std::vector<std::string> wrapParagraph(const std::string& paragraph, double width,
                                       const std::function<double(const std::string&)>& measure) {
    // Pieces that stay together: a word, a run of spaces, or one character of a script that
    // breaks anywhere.
    std::vector<std::string> pieces;
    std::size_t i = 0;
    while (i < paragraph.size()) {
        std::size_t len = 0;
        const char32_t c = qks::decodeUtf8At(paragraph, i, len);
        if (c == ' ' || breaksAnywhere(c)) {
            std::size_t end = i + len;
            if (c == ' ')
                while (end < paragraph.size() && paragraph[end] == ' ')
                    ++end;
            pieces.push_back(paragraph.substr(i, end - i));
            i = end;
            continue;
        }
        std::size_t end = i + len;
        while (end < paragraph.size()) {
            std::size_t l = 0;
            const char32_t d = qks::decodeUtf8At(paragraph, end, l);
            if (d == ' ' || breaksAnywhere(d)) break;
            end += l;
        }
        pieces.push_back(paragraph.substr(i, end - i));
        i = end;
    }

    std::vector<std::string> lines;
    std::string line;
    auto trimmed = [](std::string s) {
        while (!s.empty() && s.back() == ' ')
            s.pop_back();
        return s;
    };
    // A line far narrower than the width by the sum of its pieces measured alone needs no
    // exact measure, which keeps long paragraphs linear.
    double sum = 0.0;
    for (const std::string& piece : pieces) {
        if (line.empty() && piece[0] == ' ') continue;  // no line starts with the break's space
        const double alone = measure(piece);
        if (!line.empty() && piece[0] != ' ' && sum + alone > 0.8 * width &&
            measure(trimmed(line + piece)) > width) {
            lines.push_back(trimmed(line));
            line = piece;
            sum = alone;
            continue;
        }
        line += piece;
        sum += alone;
    }
    if (!line.empty() || lines.empty()) lines.push_back(trimmed(line));
    return lines;
}

}  // namespace qkshost::render::detail

namespace qkshost::render::detail {

std::vector<std::vector<MTextRun>> layoutMTextLines(
    const std::vector<MTextRun>& runs, double width,
    const std::function<double(const MTextRun&)>& measure) {
    // A piece stays together on a line: a word, a run of spaces, or one character of a script
    // that breaks anywhere; a word may change format within itself.
    struct Piece {
        std::vector<MTextRun> parts;
        bool space = false;
    };
    std::vector<std::vector<MTextRun>> lines;
    std::vector<Piece> pieces;
    enum class Kind { None, Space, Word, Single } last = Kind::None;

    auto addChar = [&](const std::string& ch, const MTextFormat& format, Kind kind) {
        const bool joins = kind != Kind::Single && kind == last && !pieces.empty();
        if (!joins) pieces.push_back({{}, kind == Kind::Space});
        Piece& piece = pieces.back();
        if (piece.parts.empty() || piece.parts.back().format != format)
            piece.parts.push_back({std::string(), format});
        piece.parts.back().text += ch;
        last = kind;
    };
    // The runs of a line, spaces at its end dropped.
    auto lineRuns = [&](const std::vector<Piece*>& line) {
        std::size_t end = line.size();
        while (end > 0 && line[end - 1]->space)
            --end;
        std::vector<MTextRun> out;
        for (std::size_t k = 0; k < end; ++k)
            for (const MTextRun& part : line[k]->parts) {
                if (!out.empty() && out.back().format == part.format && !out.back().stack &&
                    !part.stack)
                    out.back().text += part.text;
                else
                    out.push_back(part);
            }
        if (out.empty())
            out.push_back({std::string(), runs.empty() ? MTextFormat{} : runs[0].format});
        return out;
    };
    // Measured run by run, as the line will be drawn: pieces measured one by one can come out
    // narrower than the same text measured whole.
    auto lineWidth = [&](const std::vector<Piece*>& line) {
        double w = 0.0;
        for (const MTextRun& run : lineRuns(line))
            if (!run.text.empty()) w += measure(run);
        return w;
    };
    auto endParagraph = [&](const MTextFormat& format) {
        // Each piece measured once on its own: a line far narrower than the width by that sum
        // needs no exact measure, which keeps long paragraphs linear.
        std::vector<double> alone(pieces.size(), 0.0);
        if (width > 0)
            for (std::size_t k = 0; k < pieces.size(); ++k)
                for (const MTextRun& part : pieces[k].parts)
                    alone[k] += measure(part);
        std::vector<Piece*> line;
        double sum = 0.0;
        for (std::size_t k = 0; k < pieces.size(); ++k) {
            Piece& piece = pieces[k];
            if (line.empty() && piece.space) continue;  // no line starts with the break's space
            if (width > 0 && !line.empty() && !piece.space && sum + alone[k] > 0.8 * width) {
                line.push_back(&piece);
                const bool fits = lineWidth(line) <= width;
                line.pop_back();
                if (!fits) {
                    lines.push_back(lineRuns(line));
                    line.clear();
                    sum = 0.0;
                }
            }
            line.push_back(&piece);
            sum += alone[k];
        }
        if (line.empty())
            lines.push_back({{std::string(), format}});
        else
            lines.push_back(lineRuns(line));
        pieces.clear();
        last = Kind::None;
    };

    for (const MTextRun& run : runs) {
        if (run.stack) {  // a stack stays whole
            pieces.push_back({{run}, false});
            last = Kind::Single;
            continue;
        }
        std::size_t i = 0;
        while (i < run.text.size()) {
            if (run.text[i] == '\n') {
                endParagraph(run.format);
                ++i;
                continue;
            }
            std::size_t len = 0;
            const char32_t c = qks::decodeUtf8At(run.text, i, len);
            addChar(run.text.substr(i, len), run.format,
                    c == ' '            ? Kind::Space
                    : breaksAnywhere(c) ? Kind::Single
                                        : Kind::Word);
            i += len;
        }
    }
    endParagraph(runs.empty() ? MTextFormat{} : runs.back().format);
    return lines;
}

}  // namespace qkshost::render::detail
