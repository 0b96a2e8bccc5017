// Output names: sanitising, composing, numbering repeats across a job, file-stem labels.
#include <gtest/gtest.h>

#include <set>

#include "qks/drawing/naming.h"

namespace {

using namespace qks::drawing;

TEST(OutputNaming, SanitizeFileName) {
    const std::string longName(120, 'x');
    const std::string longChinese = [] {
        std::string s;
        for (int i = 0; i < 100; ++i)
            s += "图";
        return s;
    }();
    std::string cutChinese;
    for (int i = 0; i < 96; ++i)
        cutChinese += "图";
    const std::pair<std::string, std::string> cases[] = {
        {"  a/b:c.  ", "a_b_c"},
        {"...", "layout"},
        {"", "layout"},
        {"   ", "layout"},
        {longName, std::string(96, 'x')},
        {longChinese, cutChinese},
        {"a\\b*c?d\"e<f>g|h", "a_b_c_d_e_f_g_h"},
        {"tab\there", "tab_here"},
        {"line\nfeed\r", "line_feed_"},  // controls become "_" before the trim
        {"图号 A-01", "图号 A-01"},
        // Titles that try to leave the output folder stay inside it.
        {"../../x", ".._.._x"},
        {".", "layout"},
        {"..", "layout"},
        {" .. ", "layout"},
        {"/etc/passwd", "_etc_passwd"},
        {"C:\\Windows\\x", "C__Windows_x"},
        {std::string(95, 'y') + " .", std::string(95, 'y')},
        {std::string(95, 'z') + ".b", std::string(95, 'z') + "."},  // cut last: may end in a dot
        {"bad\xFFutf8", "bad\xEF\xBF\xBDutf8"},
    };
    for (const auto& [in, out] : cases) {
        const std::string name = qks::drawing::sanitizeFileName(in);
        EXPECT_EQ(name, out) << in;
        EXPECT_EQ(name.find('/'), std::string::npos);
        EXPECT_NE(name, ".");
        EXPECT_NE(name, "..");
    }
}

TEST(OutputNaming, ComposeOutputName) {
    struct Case {
        const char *label, *prefix, *base, *expected;
    } cases[] = {
        {"", "", "Layout1", "Layout1"},
        {"a", "", "Layout1", "a_Layout1"},
        {"", "P", "model", "P_model"},
        {"label", "prefix", "model", "label_prefix_model"},
        {"", "", "", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(qks::drawing::composeOutputName(c.label, c.prefix, c.base), c.expected);
}

TEST(OutputNaming, UniqueNamesAcrossAJob) {
    struct Case {
        const char* what;
        std::vector<std::string> titles;
        std::vector<std::string> expected;
    } cases[] = {
        {"repeats are numbered", {"A1", "A1", "A1"}, {"A1", "A1_2", "A1_3"}},
        {"prefix and repeated title", {"P_A-01", "P_A-01"}, {"P_A-01", "P_A-01_2"}},
        {"names compare after sanitising", {"a/b", "a:b", "a_b"}, {"a_b", "a_b_2", "a_b_3"}},
        {"case matters", {"Sheet", "sheet"}, {"Sheet", "sheet"}},
        {"a later title equal to a handed-out number",
         {"A1", "A1", "A1_2"},
         {"A1", "A1_2", "A1_2_2"}},
        {"a number already taken by a title", {"A1", "A1_2", "A1"}, {"A1", "A1_2", "A1_3"}},
        {"chains of numbers",
         {"A1_2", "A1", "A1", "A1_2", "A1_3"},
         {"A1_2", "A1", "A1_3", "A1_2_2", "A1_3_2"}},
        {"names that never collide stay as written", {"x_2", "x", "y"}, {"x_2", "x", "y"}},
    };
    for (const auto& c : cases) {
        qks::drawing::NameCounts counts;
        std::vector<std::string> names;
        for (const auto& t : c.titles)
            names.push_back(qks::drawing::uniqueOutputName(t, counts));
        EXPECT_EQ(names, c.expected) << c.what;
        EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size()) << c.what;
    }
}

TEST(OutputNaming, FileStemLabel) {
    const std::pair<std::string, std::string> cases[] = {
        {"/data/a.dwg", "a"},        {"C:\\drawings\\b.v2.dxf", "b.v2"}, {"noext", "noext"},
        {"/x/.hidden", "layout"},    {"/x/图纸 1.dxf", "图纸 1"},        {"/x/dir.d/name", "name"},
        {"/x/trailing./", "layout"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(qks::drawing::fileStemLabel(in), out) << in;
}

}  // namespace
