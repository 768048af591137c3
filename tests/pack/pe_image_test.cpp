#include "pack/pe_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "pack/pack_error.h"

namespace orvane::pack {
namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& f, size_t at, uint16_t v) {
    f[at] = uint8_t(v);
    f[at + 1] = uint8_t(v >> 8);
}
void Put32(Bytes& f, size_t at, uint32_t v) {
    Put16(f, at, uint16_t(v));
    Put16(f, at + 2, uint16_t(v >> 16));
}

// A tiny program laid out by hand: DOS header pointing at 0x40, the PE headers, one section
// whose data fills 0x200..0x400, every other byte zero. Offsets as the published layout puts them.
constexpr size_t kChecksumAt = 0x98;        // 0x58 (optional header) + 64, both widths
constexpr size_t kSecurity32 = 0xd8;        // 0x58 + 96 + 4 * 8
constexpr size_t kSecurity64 = 0xe8;        // 0x58 + 112 + 4 * 8
Bytes TinyProgram(bool pe32_plus) {
    Bytes f(0x400, 0);
    f[0] = 'M', f[1] = 'Z';
    Put32(f, 0x3c, 0x40);
    f[0x40] = 'P', f[0x41] = 'E';
    Put16(f, 0x44, pe32_plus ? 0x8664 : 0x14c);  // Machine
    Put16(f, 0x46, 1);                           // NumberOfSections
    Put16(f, 0x54, pe32_plus ? 0xf0 : 0xe0);     // SizeOfOptionalHeader
    Put16(f, 0x58, pe32_plus ? 0x20b : 0x10b);   // Magic
    Put32(f, pe32_plus ? 0xc4 : 0xb4, 16);       // NumberOfRvaAndSizes
    const size_t section = pe32_plus ? 0x148 : 0x138;
    Put32(f, section + 16, 0x200);  // SizeOfRawData
    Put32(f, section + 20, 0x200);  // PointerToRawData
    return f;
}

// The tiny program with a 16-byte certificate table appended at 0x400.
Bytes SignedProgram(bool pe32_plus) {
    Bytes f = TinyProgram(pe32_plus);
    const size_t entry = pe32_plus ? kSecurity64 : kSecurity32;
    Put32(f, entry, 0x400);
    Put32(f, entry + 4, 16);
    f.resize(0x410, 0xc5);
    return f;
}

void SetEntry(Bytes& f, bool pe32_plus, uint32_t offset, uint32_t size) {
    Put32(f, pe32_plus ? kSecurity64 : kSecurity32, offset);
    Put32(f, (pe32_plus ? kSecurity64 : kSecurity32) + 4, size);
}

struct LayoutCase {
    const char* name;
    std::function<Bytes()> make;
    const char* error = nullptr;  // refused by ReadPeLayout with this text; nullptr: read
    bool is_pe = false;           // read as a program at all
    bool plus = false;
    size_t security_entry_at = 0;
    const char* strip_error = nullptr;  // refused by StripCertificateTable; nullptr: stripped or nothing to strip
    size_t size_after = 0;              // the file's size after stripping
};

TEST(PeImage, ReadsAndStripsOrRefusesUntouched) {
    const LayoutCase cases[] = {
        {"PE32 unsigned", [] { return TinyProgram(false); }, nullptr, true, false, kSecurity32, nullptr, 0x400},
        {"PE32+ unsigned", [] { return TinyProgram(true); }, nullptr, true, true, kSecurity64, nullptr, 0x400},
        {"PE32 signed", [] { return SignedProgram(false); }, nullptr, true, false, kSecurity32, nullptr, 0x400},
        {"PE32+ signed", [] { return SignedProgram(true); }, nullptr, true, true, kSecurity64, nullptr, 0x400},
        {"no security entry (4 directories)",
         [] {
             Bytes f = SignedProgram(false);
             Put32(f, 0xb4, 4);
             return f;
         },
         nullptr, true, false, 0, nullptr, 0x410},
        {"ELF file", [] { return Bytes{0x7f, 'E', 'L', 'F', 2, 1, 1, 0}; }, nullptr, false},
        {"MZ without PE signature",
         [] {
             Bytes f = TinyProgram(false);
             f[0x41] = 'X';
             return f;
         },
         nullptr, false},
        {"DOS header pointing past the end",
         [] {
             Bytes f = TinyProgram(false);
             Put32(f, 0x3c, 0xfffffffe);
             return f;
         },
         nullptr, false},
        {"MZ shorter than a DOS header", [] { return Bytes{'M', 'Z', 0, 0}; }, nullptr, false},
        {"cut inside the file header",
         [] {
             Bytes f = TinyProgram(false);
             f.resize(0x50);
             return f;
         },
         "PE headers are cut short"},
        {"unknown optional header magic",
         [] {
             Bytes f = TinyProgram(true);
             Put16(f, 0x58, 0x107);
             return f;
         },
         "neither PE32 nor PE32+ (magic 263)"},
        {"cut inside the optional header",
         [] {
             Bytes f = TinyProgram(false);
             f.resize(0xa0);
             return f;
         },
         "optional header is cut short (224 bytes declared, 72 in the file)"},
        {"optional header too small for CheckSum",
         [] {
             Bytes f = TinyProgram(false);
             Put16(f, 0x54, 0x40);
             return f;
         },
         "optional header is cut short"},
        {"section table past the end",
         [] {
             Bytes f = TinyProgram(false);
             Put16(f, 0x46, 60);
             return f;
         },
         "section table is cut short"},
        {"something after the table",
         [] {
             Bytes f = SignedProgram(true);
             f.push_back(0);
             return f;
         },
         nullptr, true, true, kSecurity64, "is not at the end of the file"},
        {"table running past the end",
         [] {
             Bytes f = SignedProgram(false);
             SetEntry(f, false, 0x400, 0x100);
             return f;
         },
         nullptr, true, false, kSecurity32, "lies outside the file"},
        {"offset without a size",
         [] {
             Bytes f = SignedProgram(false);
             SetEntry(f, false, 0x400, 0);
             return f;
         },
         nullptr, true, false, kSecurity32, "half declared"},
        {"misaligned table",
         [] {
             Bytes f = TinyProgram(false);
             f.resize(0x414, 0);
             SetEntry(f, false, 0x404, 0x10);
             return f;
         },
         nullptr, true, false, kSecurity32, "not 8-byte aligned"},
        {"table over the section's data",
         [] {
             Bytes f = TinyProgram(true);
             SetEntry(f, true, 0x300, 0x100);
             return f;
         },
         nullptr, true, true, kSecurity64, "overlaps section 1's data"},
        {"table over the headers",
         [] {
             Bytes f = TinyProgram(false);
             SetEntry(f, false, 0x100, 0x300);
             return f;
         },
         nullptr, true, false, kSecurity32, "overlaps the program's headers"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = c.make();
        const Bytes before = file;
        std::optional<PeLayout> pe;
        try {
            pe = ReadPeLayout(file);
            EXPECT_EQ(c.error, nullptr) << "read";
        } catch (const PackError& e) {
            if (c.error == nullptr) {
                ADD_FAILURE() << e.what();
                continue;
            }
            EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
            continue;
        }
        ASSERT_EQ(pe.has_value(), c.is_pe);
        if (!pe) continue;
        EXPECT_EQ(pe->pe32_plus, c.plus);
        EXPECT_EQ(pe->checksum_at, kChecksumAt);
        EXPECT_EQ(pe->security_entry_at, c.security_entry_at);
        try {
            const bool stripped = StripCertificateTable(file, *pe);
            EXPECT_EQ(c.strip_error, nullptr) << "stripped";
            EXPECT_EQ(stripped, before.size() != c.size_after);
            ASSERT_EQ(file.size(), c.size_after);
            if (c.security_entry_at != 0) {
                EXPECT_EQ(std::memcmp(&file[c.security_entry_at], "\0\0\0\0\0\0\0\0", 8), 0);
            }
            // Nothing but the directory entry and the cut differs.
            Bytes expected(before.begin(), before.begin() + long(c.size_after));
            if (c.security_entry_at != 0) std::fill_n(expected.begin() + long(c.security_entry_at), 8, 0);
            EXPECT_EQ(file, expected);
        } catch (const PackError& e) {
            if (c.strip_error == nullptr) {
                ADD_FAILURE() << e.what();
            } else {
                EXPECT_NE(std::string(e.what()).find(c.strip_error), std::string::npos) << e.what();
            }
            EXPECT_EQ(file, before) << "changed by a refused strip";
        }
    }
}

// The sums below were added up by hand from the words TinyProgram sets (little-endian):
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
        Bytes f = TinyProgram(plus);
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
        EXPECT_EQ(f[kChecksumAt], expected & 0xff);
        EXPECT_EQ(f[kChecksumAt + 1], expected >> 8);
        EXPECT_EQ(f[kChecksumAt + 2], 0);
        EXPECT_EQ(f[kChecksumAt + 3], 0);
        // The field it wrote does not count towards the sum.
        EXPECT_EQ(ComputePeChecksum(f, *pe), expected);
    }
}

}  // namespace
}  // namespace orvane::pack
