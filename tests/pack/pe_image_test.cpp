#include "pack/pe_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "pack/pack_error.h"
#include "pack_fixture.h"

namespace orvane::pack::test {
namespace {

// The bases a case starts from: the headers with the section's data filling 0x200..0x400; the
// signed ones carry a 16-byte certificate table at 0x400.
enum Base { Pe32, Pe32Plus, Signed32, Signed32Plus };
Bytes Make(Base base) {
    const bool plus = base == Pe32Plus || base == Signed32Plus;
    Bytes f = PeHeaders(plus, 0x200, 0x200);
    if (base == Signed32 || base == Signed32Plus) AppendCertificates(f, plus, 16, 0xc5);
    return f;
}

void SetEntry(Bytes& f, size_t entry_at, uint32_t offset, uint32_t size) {
    Put32(f, entry_at, offset);
    Put32(f, entry_at + 4, size);
}

// Runs f; whether it threw a PackError, its text holding `want` (nullptr: it should not throw).
template <class F>
bool Refused(F&& f, const char* want) {
    try {
        f();
    } catch (const PackError& e) {
        EXPECT_NE(want, nullptr) << e.what();
        if (want != nullptr) {
            EXPECT_NE(std::string(e.what()).find(want), std::string::npos) << e.what();
        }
        return true;
    }
    EXPECT_EQ(want, nullptr) << "not refused";
    return false;
}

struct LayoutCase {
    const char* name;
    Base base;
    void (*mutate)(Bytes&);
    const char* error = nullptr;  // refused by ReadPeLayout with this text; nullptr: read
    bool is_pe = false;           // read as a program at all
    bool plus = false;
    size_t security_entry_at = 0;
    const char* strip_error = nullptr;  // refused by StripCertificateTable; nullptr: stripped or nothing to strip
    size_t size_after = 0;              // the file's size after stripping
};

TEST(PeImage, ReadsAndStripsOrRefusesUntouched) {
    const LayoutCase cases[] = {
        {"PE32 unsigned", Pe32, nullptr, nullptr, true, false, kSecurity32, nullptr, 0x400},
        {"PE32+ unsigned", Pe32Plus, nullptr, nullptr, true, true, kSecurity64, nullptr, 0x400},
        {"PE32 signed", Signed32, nullptr, nullptr, true, false, kSecurity32, nullptr, 0x400},
        {"PE32+ signed", Signed32Plus, nullptr, nullptr, true, true, kSecurity64, nullptr, 0x400},
        {"no security entry (4 directories)", Signed32, [](Bytes& f) { Put32(f, 0xb4, 4); }, nullptr, true, false, 0,
         nullptr, 0x410},
        {"ELF file", Pe32, [](Bytes& f) { f = {0x7f, 'E', 'L', 'F', 2, 1, 1, 0}; }},
        {"MZ without PE signature", Pe32, [](Bytes& f) { f[0x41] = 'X'; }},
        {"DOS header pointing past the end", Pe32, [](Bytes& f) { Put32(f, 0x3c, 0xfffffffe); }},
        {"MZ shorter than a DOS header", Pe32, [](Bytes& f) { f = {'M', 'Z', 0, 0}; }},
        {"cut inside the file header", Pe32, [](Bytes& f) { f.resize(0x50); }, "PE headers are cut short"},
        {"unknown optional header magic", Pe32Plus, [](Bytes& f) { Put16(f, 0x58, 0x107); },
         "neither PE32 nor PE32+ (magic 263)"},
        {"cut inside the optional header", Pe32, [](Bytes& f) { f.resize(0xa0); },
         "optional header is cut short (224 bytes declared, 72 in the file)"},
        {"optional header too small for CheckSum", Pe32, [](Bytes& f) { Put16(f, 0x54, 0x40); },
         "optional header is cut short"},
        {"section table past the end", Pe32, [](Bytes& f) { Put16(f, 0x46, 60); }, "section table is cut short"},
        {"something after the table", Signed32Plus, [](Bytes& f) { f.push_back(0); }, nullptr, true, true,
         kSecurity64, "is not at the end of the file"},
        {"table running past the end", Signed32, [](Bytes& f) { SetEntry(f, kSecurity32, 0x400, 0x100); }, nullptr,
         true, false, kSecurity32, "lies outside the file"},
        {"offset without a size", Signed32, [](Bytes& f) { SetEntry(f, kSecurity32, 0x400, 0); }, nullptr, true,
         false, kSecurity32, "half declared"},
        {"misaligned table", Pe32, [](Bytes& f) { f.resize(0x414); SetEntry(f, kSecurity32, 0x404, 0x10); },
         nullptr, true, false, kSecurity32, "not 8-byte aligned"},
        {"table over the section's data", Pe32Plus, [](Bytes& f) { SetEntry(f, kSecurity64, 0x300, 0x100); },
         nullptr, true, true, kSecurity64, "overlaps section 1's data"},
        {"table over the headers", Pe32, [](Bytes& f) { SetEntry(f, kSecurity32, 0x100, 0x300); }, nullptr, true,
         false, kSecurity32, "overlaps the program's headers"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = Make(c.base);
        if (c.mutate) c.mutate(file);
        const Bytes before = file;
        std::optional<PeLayout> pe;
        if (Refused([&] { pe = ReadPeLayout(file); }, c.error)) continue;
        ASSERT_EQ(pe.has_value(), c.is_pe);
        if (!pe) continue;
        EXPECT_EQ(pe->pe32_plus, c.plus);
        EXPECT_EQ(pe->checksum_at, kChecksumAt);
        EXPECT_EQ(pe->security_entry_at, c.security_entry_at);
        bool stripped = false;
        if (Refused([&] { stripped = StripCertificateTable(file, *pe); }, c.strip_error)) {
            EXPECT_EQ(file, before) << "changed by a refused strip";
            continue;
        }
        EXPECT_EQ(stripped, before.size() != c.size_after);
        ASSERT_EQ(file.size(), c.size_after);
        // Nothing but the directory entry (cleared) and the cut differs.
        Bytes expected(before.begin(), before.begin() + long(c.size_after));
        if (c.security_entry_at != 0) {
            EXPECT_EQ(std::memcmp(&file[c.security_entry_at], "\0\0\0\0\0\0\0\0", 8), 0);
            std::fill_n(expected.begin() + long(c.security_entry_at), 8, 0);
        }
        EXPECT_EQ(file, expected);
    }
}

// The sums below were added up by hand from the words PeHeaders sets (little-endian):
// 'MZ' 5A4D, e_lfanew 0040, 'PE' 4550, NumberOfSections 0001, the section's 0200 and 0200,
// NumberOfRvaAndSizes 0010, then per width Machine, SizeOfOptionalHeader and Magic; plus the
// words planted here: FFFF FFFF (a carry out of 16 bits, folded back) and 0003, and a last odd
// byte 07 (counted as the word 0007). The CheckSum field holds DEADBEEF, counted as zero.
// PE32:  5A4D+0040+4550+0001+0400+0010+014C+00E0+010B+0003+0007 = A72F (the FFFFs fold away)
// PE32+: 5A4D+0040+4550+0001+0400+0010+8664+00F0+020B+0003+0007 = 12D57 -> 2D58
// Plus the length 0x401: A72F + 401 = AB30, 2D58 + 401 = 3159.
TEST(PeImage, ChecksumOfAHandBuiltImage) {
    for (bool plus : {false, true}) {
        SCOPED_TRACE(plus ? "PE32+" : "PE32");
        Bytes f = Make(plus ? Pe32Plus : Pe32);
        Put32(f, kChecksumAt, 0xdeadbeef);
        Put32(f, 0x200, 0xffffffff);
        Put16(f, 0x204, 3);
        f.push_back(7);
        const std::optional<PeLayout> pe = ReadPeLayout(f);
        ASSERT_TRUE(pe);
        const uint32_t expected = plus ? 0x3159 : 0xab30;
        EXPECT_EQ(ComputePeChecksum(f, *pe), expected);
        EXPECT_EQ(StoredPeChecksum(f, *pe), 0xdeadbeefu);
        WritePeChecksum(f, *pe);
        EXPECT_EQ(Get32(f, kChecksumAt), expected);
        // The field it wrote does not count towards the sum.
        EXPECT_EQ(ComputePeChecksum(f, *pe), expected);
    }
}

}  // namespace
}  // namespace orvane::pack::test
