// The page writer's parts: number formatting, text strings, the file's cross-reference table
// and streams, and the canvas's paths and state.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <sstream>

#include "pdf_canvas.h"
#include "pdf_document.h"
#include "pdf_file.h"
#include "pdf_tools.h"

namespace qkshost::pdf::detail {
namespace {

using testing::TempDir;

std::string coordinate(double v) {
    std::string s;
    appendCoordinate(s, v);
    return s;
}

std::string scale(double v) {
    std::string s;
    appendScale(s, v);
    return s;
}

TEST(PdfNumbers, CoordinatesAndScalesAreShortAndExact) {
    const std::pair<double, const char*> coordinates[] = {
        {0, "0"},
        {-0.0, "0"},
        {3, "3"},
        {12.5, "12.5"},
        {-0.125, "-0.125"},
        {0.01, "0.01"},
        {0.001, "0.001"},
        {0.0004, "0"},
        {-0.0004, "0"},
        {2.0996, "2.1"},
        {-1190.551, "-1190.551"},
        {123456.789, "123456.789"},
        {1e12, "1000000000"},
        {-1e12, "-1000000000"},
        {NAN, "0"},
        {HUGE_VAL, "1000000000"},
    };
    for (const auto& [value, text] : coordinates)
        EXPECT_EQ(coordinate(value), text) << value;
    const std::pair<double, const char*> scales[] = {
        {0, "0"},
        {1, "1"},
        {-1, "-1"},
        {2.95726, "2.95726"},
        {0.0213, "0.0213"},
        {1e-7, "0.0000001"},
        {1e-13, "0"},
        {123456789, "123456789"},
        {0.708661417, "0.708661"},
        {-0.5, "-0.5"},
        {NAN, "0"},
    };
    for (const auto& [value, text] : scales)
        EXPECT_EQ(scale(value), text) << value;

    // Whatever the value, the text reads back to it: within half a thousandth for
    // coordinates, six significant digits for scales; never an exponent.
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> magnitude(-9, 6);
    for (int i = 0; i < 20000; ++i) {
        const double v = std::copysign(std::pow(10.0, magnitude(random)), i % 2 ? 1.0 : -1.0);
        const std::string c = coordinate(v), s = scale(v);
        ASSERT_EQ(c.find_first_of("eE"), std::string::npos) << c;
        ASSERT_EQ(s.find_first_of("eE"), std::string::npos) << s;
        ASSERT_NEAR(std::strtod(c.c_str(), nullptr), v, 0.0005 + 1e-9) << c;
        ASSERT_NEAR(std::strtod(s.c_str(), nullptr), v, std::fabs(v) * 1e-5) << s;
    }
}

TEST(PdfText, StringsAreUtf16WithAByteOrderMark) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "<FEFF>"},
        {"A", "<FEFF0041>"},
        {"板1", "<FEFF677F0031>"},
        {"\xF0\x9F\x98\x80", "<FEFFD83DDE00>"},  // outside the basic plane: a pair
        {"\xFF", "<FEFFFFFD>"},                  // not UTF-8
        {"\xC0\x80", "<FEFFFFFDFFFD>"},          // overlong
        {"\xED\xA0\x80", "<FEFFFFFDFFFDFFFD>"},  // a surrogate
        {"\xE6\x9D", "<FEFFFFFDFFFD>"},          // cut short
        {std::string("a\0b", 3), "<FEFF006100000062>"},
    };
    for (const auto& [utf8, expected] : cases) {
        std::string out;
        appendTextString(out, utf8);
        EXPECT_EQ(out, expected);
    }
}

// Byte offset of every "n 0 obj" the cross-reference table lists, checked against the file.
void expectConsistentCrossReference(const std::string& file, int expectedObjects) {
    const std::size_t startxref = file.rfind("startxref\n");
    ASSERT_NE(startxref, std::string::npos);
    const std::size_t xref = std::stoull(file.substr(startxref + 10));
    ASSERT_EQ(file.compare(xref, 5, "xref\n"), 0);
    std::istringstream table(file.substr(xref + 5));
    int first = -1, count = -1;
    table >> first >> count;
    ASSERT_EQ(first, 0);
    ASSERT_EQ(count, expectedObjects + 1);
    for (int n = 0; n < count; ++n) {
        std::string offset, generation, kind;
        table >> offset >> generation >> kind;
        if (kind == "f") continue;
        ASSERT_EQ(kind, "n");
        const std::string head = std::to_string(n) + " 0 obj\n";
        EXPECT_EQ(file.compare(std::stoull(offset), head.size(), head), 0) << "object " << n;
    }
}

std::string inflate(const std::string& packed) {
    std::string out(packed.size() * 20 + (std::size_t(4) << 20), '\0');
    uLongf size = out.size();
    if (uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
                   reinterpret_cast<const Bytef*>(packed.data()), packed.size()) != Z_OK)
        return "<not a zlib stream>";
    out.resize(size);
    return out;
}

TEST(PdfDocument, CrossReferenceAndStreamsReadBack) {
    TempDir dir;
    const std::string path = dir.file("doc.pdf");
    std::mt19937 random(3);
    std::string noise(300 * 1024, '\0');  // incompressible: many pieces of deflate output
    for (char& c : noise)
        c = char(random());
    const std::string streams[] = {"", "BT ET\n", noise, std::string(100000, 'x')};
    {
        AtomicOutputFile out;
        ASSERT_TRUE(out.open(path).ok());
        PdfDocumentWriter doc(out);
        const int catalog = doc.reserveObject(), pages = doc.reserveObject(),
                  page = doc.reserveObject(), info = doc.reserveObject();
        const int unused = doc.reserveObject();  // reserved, never written: listed as free
        (void)unused;
        std::vector<int> numbers;
        for (const std::string& s : streams) {
            numbers.push_back(doc.reserveObject());
            doc.writeStream(numbers.back(), "/Kind/Test", s);
        }
        doc.writeObject(catalog, "<</Type/Catalog/Pages " + std::to_string(pages) + " 0 R>>");
        doc.writeObject(pages, "<</Type/Pages/Kids[" + std::to_string(page) + " 0 R]/Count 1>>");
        doc.writeObject(page, "<</Type/Page/Parent " + std::to_string(pages) +
                                  " 0 R/MediaBox[0 0 200 100]/Contents " +
                                  std::to_string(numbers[1]) + " 0 R>>");
        doc.writeObject(info, "<</Creator(test)>>");
        doc.finish(catalog, info);
        ASSERT_TRUE(doc.ok());
        ASSERT_TRUE(out.commit().ok());
    }
    const std::string file = testing::readFile(path);
    // Four plain objects, the unused one, four streams and their four lengths.
    expectConsistentCrossReference(file, 13);
    EXPECT_NE(file.find("0000000000 00001 f \n"), std::string::npos) << "the unused object";

    // Each stream inflates to what was written, and its length object gives its size.
    std::size_t at = 0;
    for (const std::string& s : streams) {
        at = file.find("/Kind/Test/Length ", at);
        ASSERT_NE(at, std::string::npos);
        const int lengthObject = std::atoi(file.c_str() + at + 18);
        const std::size_t begin = file.find(">>\nstream\n", at) + 10;
        const std::size_t lengthAt = file.find("\n" + std::to_string(lengthObject) + " 0 obj\n");
        ASSERT_NE(lengthAt, std::string::npos);
        const std::size_t length = std::stoull(file.substr(file.find('\n', lengthAt + 1) + 1));
        EXPECT_EQ(file.compare(begin + length, 11, "\nendstream\n"), 0);
        EXPECT_TRUE(inflate(file.substr(begin, length)) == s) << "stream of " << s.size();
        at = begin + length;
    }
    EXPECT_EQ(testing::qpdfProblems(path), "");
    std::string out;
    EXPECT_EQ(testing::run("pdfinfo " + testing::quote(path) + " 2>&1", out), 0) << out;
    EXPECT_EQ(out.find("Error"), std::string::npos) << out;
    EXPECT_NE(out.find("Pages:           1"), std::string::npos) << out;
}

// The operators and numbers of a content stream, in order.
std::vector<std::string> tokens(const std::string& content) {
    std::istringstream in(content);
    std::vector<std::string> out;
    for (std::string t; in >> t;)
        out.push_back(t);
    return out;
}

struct Curve {
    Point2 p0, p1, p2, p3;
    Point2 at(double t) const {
        const double u = 1 - t;
        return {u * u * u * p0.x + 3 * u * u * t * p1.x + 3 * u * t * t * p2.x + t * t * t * p3.x,
                u * u * u * p0.y + 3 * u * u * t * p1.y + 3 * u * t * t * p2.y + t * t * t * p3.y};
    }
};

// The cubic curves of a content stream holding one path of m, l and c operators.
std::vector<Curve> curvesOf(const std::string& content, Point2& start) {
    std::vector<Curve> curves;
    std::vector<double> numbers;
    Point2 current;
    for (const std::string& t : tokens(content)) {
        if (t == "m" || t == "l") {
            current = {numbers[0], numbers[1]};
            if (t == "m") start = current;
        } else if (t == "c") {
            curves.push_back({current,
                              {numbers[0], numbers[1]},
                              {numbers[2], numbers[3]},
                              {numbers[4], numbers[5]}});
            current = curves.back().p3;
        }
        if (std::isalpha(static_cast<unsigned char>(t[0])))
            numbers.clear();
        else
            numbers.push_back(std::strtod(t.c_str(), nullptr));
    }
    return curves;
}

TEST(PdfCanvas, ArcsStayWithinATenthOfAPoint) {
    struct Case {
        double radius, a1, a2;
        bool negative;
        int mostCurves;
    };
    const Case cases[] = {
        {0.5, 0, 2 * M_PI, false, 2}, {2, 0, 2 * M_PI, false, 2}, {10, 0.3, 1.9, false, 1},
        {500, 0, 2 * M_PI, false, 8}, {500, 1, -2, true, 4},      {1e5, 0, M_PI / 2, false, 16},
        {50, 2, 1, false, 4},          // an end below the start gains a turn
        {50, 0, 9 * M_PI, false, 16},  // more than two turns are cut to two
        {50, 1, 2, true, 4},           // clockwise with an end above: the long way round
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "r=" << c.radius << " " << c.a1 << ".." << c.a2);
        std::string content;
        PagePath path;
        PdfCanvas canvas(content, path);
        canvas.translate(300, 200);
        if (c.negative)
            canvas.arcNegative(0, 0, c.radius, c.a1, c.a2);
        else
            canvas.arc(0, 0, c.radius, c.a1, c.a2);
        canvas.stroke();
        Point2 start;
        const std::vector<Curve> curves = curvesOf(content, start);
        ASSERT_FALSE(curves.empty()) << content;
        EXPECT_LE(int(curves.size()), c.mostCurves);
        EXPECT_NEAR(start.x, 300 + c.radius * std::cos(c.a1), 0.001);
        EXPECT_NEAR(start.y, 200 + c.radius * std::sin(c.a1), 0.001);
        double swept = 0;
        for (const Curve& k : curves) {
            double before = std::atan2(k.p0.y - 200, k.p0.x - 300);
            for (int i = 0; i <= 40; ++i) {
                const Point2 p = k.at(i / 40.0);
                ASSERT_NEAR(std::hypot(p.x - 300, p.y - 200), c.radius, 0.1 + 0.001);
                const double angle = std::atan2(p.y - 200, p.x - 300);
                swept += std::remainder(angle - before, 2 * M_PI);
                before = angle;
            }
        }
        // The direction of travel and the sweep (modulo whole turns) are the arc's.
        double expected = c.a2 - c.a1;
        if (!c.negative && expected < 0) expected += 2 * M_PI;
        if (c.negative && expected > 0) expected -= 2 * M_PI;
        if (std::fabs(expected) > 4 * M_PI)
            expected = std::copysign(2 * M_PI + std::fmod(std::fabs(expected), 2 * M_PI), expected);
        EXPECT_NEAR(swept, expected, 1e-3);
    }
}

// The graphics state is written when it changes and only then; a restore brings back what was
// written before the save, and the canvas knows it.
TEST(PdfCanvas, StateIsWrittenOnlyWhenItChanges) {
    std::string content;
    PagePath path;
    PdfCanvas canvas(content, path);
    canvas.setColour({255, 0, 0});
    canvas.setLineWidth(2);
    for (int i = 0; i < 3; ++i) {
        canvas.moveTo(i, 0);
        canvas.lineTo(i, 10);
        canvas.stroke();
    }
    canvas.save();
    canvas.setColour({0, 0, 255});
    canvas.setLineWidth(3);
    canvas.setDash({4, 2}, 1);
    canvas.moveTo(0, 0);
    canvas.lineTo(5, 5);
    canvas.stroke();
    canvas.restore();
    canvas.moveTo(0, 0);
    canvas.lineTo(5, 5);
    canvas.stroke();
    canvas.rectangle(0, 0, 5, 5);
    canvas.fill();
    canvas.rectangle(1, 1, 5, 5);
    canvas.fill();
    EXPECT_EQ(content,
              "1 0 0 RG\n2 w\n0 0 m\n0 10 l\nS\n1 0 m\n1 10 l\nS\n2 0 m\n2 10 l\nS\n"
              "q\n0 0 1 RG\n3 w\n[4 2] 1 d\n0 0 m\n5 5 l\nS\nQ\n"
              "0 0 m\n5 5 l\nS\n"  // Q brought back red and 2
              "1 0 0 rg\n0 0 5 5 re\nf\n1 1 5 5 re\nf\n");
}

// A pen stretched unevenly by the transform is drawn under that transform: its width and dashes
// stretch with it; a pen scaled alike in every direction stays in page space.
TEST(PdfCanvas, StrokesFollowTheTransformOfTheirPen) {
    std::string content;
    PagePath path;
    PdfCanvas canvas(content, path);
    canvas.setLineWidth(1);
    canvas.setMatrix({2, 0, 0, 2, 10, 10});  // uniform: width 2 in page space
    canvas.moveTo(0, 0);
    canvas.lineTo(1, 0);
    canvas.stroke();
    canvas.setMatrix({3, 0, 0, 1, 10, 10});  // uneven: stroked under "cm"
    canvas.setDash({2, 1}, 0);
    canvas.moveTo(0, 0);
    canvas.lineTo(1, 1);
    canvas.stroke();
    canvas.setMatrix({0, 0, 0, 0, 0, 0});  // flat: nothing to stroke with
    canvas.moveTo(0, 0);
    canvas.lineTo(1, 1);
    canvas.stroke();
    EXPECT_EQ(content,
              "0 0 0 RG\n2 w\n10 10 m\n12 10 l\nS\n"
              "q 3 0 0 1 10 10 cm\n1 w\n[2 1] 0 d\n0 0 m\n1 1 l\nS\nQ\n");
}

}  // namespace
}  // namespace qkshost::pdf::detail
