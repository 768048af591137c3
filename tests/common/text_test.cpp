// The shared text helpers: case folding only in ASCII (drive texts are single-byte of any code
// page), trimming, and fixed fields that never read past their width.
#include <gtest/gtest.h>

#include "text/format.h"
#include "text/text.h"

namespace orvane::text {
namespace {

TEST(Text, CaseBlindComparison) {
    struct Case {
        const char* a;
        const char* b;
        bool same;
    } const cases[] = {
        {"\\\\.\\PhysicalDrive0", "\\\\.\\PHYSICALDRIVE0", true},
        {"storahci", "StorAHCI", true},
        {"abc", "abcd", false},
        {"", "", true},
        {"\xC4", "\xE4", false},  // Latin-1 letters are left alone
        {"[", "{", false},        // only letters fold
    };
    for (const Case& c : cases) EXPECT_EQ(EqualsNoCase(c.a, c.b), c.same) << c.a << " / " << c.b;
    EXPECT_EQ(ToUpper("wmi\xE4z"), "WMI\xE4Z");
    EXPECT_EQ(ToLower("Select * FROM"), "select * from");
}

TEST(Text, Trimming) {
    EXPECT_EQ(Trim("  1.02  "), "1.02");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(Trim("\\\\Key\\Sub\\", "\\"), "Key\\Sub");
    EXPECT_EQ(TrimEnd(std::string("MODEL  \0\0", 9), std::string_view(" \0", 2)), "MODEL");
    EXPECT_EQ(TrimEnd("  lead kept "), "  lead kept");
}

TEST(Text, FixedFieldsStopAtNulOrWidth) {
    const char full[4] = {'A', 'B', 'C', 'D'};  // no terminator inside the field
    const char shorter[8] = "XY";
    EXPECT_EQ(FieldView(full), "ABCD");
    EXPECT_EQ(FieldText(shorter), "XY");
    EXPECT_EQ(FieldText("1.02\0junk", 9), "1.02");
    EXPECT_EQ(FieldText(full, 2), "AB");
    EXPECT_EQ(FieldView(nullptr, 0), "");  // an empty property value may come with no buffer
}

TEST(Text, FormatWritesLongTexts) {
    EXPECT_EQ(Format("%s:%04X", "TAtaDevice", 0x1F), "TAtaDevice:001F");
    const std::string wide(5000, 'x');
    EXPECT_EQ(Format("[%s]", wide.c_str()).size(), 5002u);
    EXPECT_EQ(Format("%s", ""), "");
}

}  // namespace
}  // namespace orvane::text
