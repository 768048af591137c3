#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/package_bytes.h"
#include "package/package_info.h"

namespace orvane::package {
namespace {

using testing::PackageBytes;
constexpr size_t kAux = 7878938;  // the auxiliary area, right after the image area

struct Case {
    const char* name;
    std::function<void(PackageBytes&)> edit;
    const char* error_mentions;  // nullptr: accepted
};

TEST(PackageParser, RefusesWhatWouldNotLoadSafely) {
    const Case cases[] = {
        {"read digit not a digit", [](PackageBytes& p) { p.Digit(26, 'x'); }, "bWinFlash"},
        {"notice level digit blank", [](PackageBytes& p) { p.Digit(6, ' '); }, "iNoticeLevel"},
        {"digit 1 is a letter", [](PackageBytes& p) { p.Digit(1, 'Y'); }, "bUseFWExt"},
        {"unread digit may hold anything", [](PackageBytes& p) { p.Digit(2, 'x').Digit(28, '#'); }, nullptr},
        {"iFWCount 16", [](PackageBytes& p) { p.FWCount(16); }, "iFWCount"},
        {"iFWCount -1", [](PackageBytes& p) { p.FWCount(-1); }, "iFWCount"},
        {"iFWCount 15", [](PackageBytes& p) { p.FWCount(15); }, nullptr},
        {"iFWCount 0", [](PackageBytes& p) { p.FWCount(0); }, nullptr},
        {"size 524,288", [](PackageBytes& p) { p.Size(0, "0000524288"); }, nullptr},
        {"size 524,289", [](PackageBytes& p) { p.Size(0, "0000524289"); }, "size of slot 1"},
        {"deciphered 524,272", [](PackageBytes& p) { p.Digit(26, '0').Size(0, "0000524272"); }, nullptr},
        {"deciphered 524,273", [](PackageBytes& p) { p.Digit(26, '0').Size(0, "0000524273"); }, "524272"},
        {"image ends at the area's end", [](PackageBytes& p) { p.Start(0, "0007864220").Size(0, "0000000100"); },
         nullptr},
        {"image leaves the area", [](PackageBytes& p) { p.Start(0, "0007864221").Size(0, "0000000100"); },
         "leaves the image area"},
        {"start past int32", [](PackageBytes& p) { p.Start(0, "9999999999"); },
         "start of slot 1 (9999999999) is larger than 2147483647"},
        {"size 2^31", [](PackageBytes& p) { p.Size(0, "2147483648"); },
         "size of slot 1 (2147483648) is larger than 2147483647"},
        {"size past int32 then a letter", [](PackageBytes& p) { p.Size(0, "99999999x9"); },
         "size of slot 1 is not a decimal number"},
        {"aux size past int32", [](PackageBytes& p) { p.Put(kAux + 704 + 12, "4294967295"); },
         "auxiliary size XP_X86_SIZE= (4294967295) is larger than 2147483647"},
        {"start with a blank", [](PackageBytes& p) { p.Start(0, "00000 0000"); },
         "start of slot 1 is not a decimal number"},
        {"size empty", [](PackageBytes& p) { p.Byte(9682 + 11, 0); }, "size of slot 1"},
        {"size stops at its NUL", [](PackageBytes& p) { p.Size(0, std::string("394240\0abc", 10)); }, nullptr},
        {"slot F checked when in use",
         [](PackageBytes& p) { p.FWCount(15).Size(14, "00000x0000"); }, "size of slot F"},
        {"slot 2 unused may hold anything", [](PackageBytes& p) { p.Size(1, "garbage!!!"); }, nullptr},
        {"aux size not a number", [](PackageBytes& p) { p.Put(kAux + 704 + 12, "12345678x0"); }, "XP_X86_SIZE="},
        {"aux filling the area", [](PackageBytes& p) { p.Put(kAux + 704 + 323 + 14, "0002097152"); }, nullptr},
        {"aux leaving the area", [](PackageBytes& p) { p.Put(kAux + 704 + 323 + 14, "0002097153"); },
         "COPYFIXP_SIZE="},
        {"aux sizes adding up past the area",
         [](PackageBytes& p) {
             p.Put(kAux + 704 + 12, "0001048576");       // XP_X86
             p.Put(kAux + 704 + 23 + 12, "0001048577");  // XP_X64
         },
         "XP_X64_SIZE="},
    };
    for (const Case& c : cases) {
        PackageBytes p;
        c.edit(p);
        ParseResult r = ParsePackage(p.data(), p.size());
        if (c.error_mentions == nullptr) {
            EXPECT_TRUE(r.ok) << c.name << ": " << r.error;
        } else {
            EXPECT_FALSE(r.ok) << c.name;
            EXPECT_NE(r.error.find(c.error_mentions), std::string::npos) << c.name << ": " << r.error;
        }
    }
}

TEST(PackageParser, RefusesATruncatedBlock) {
    PackageBytes p;
    EXPECT_FALSE(ParsePackage(p.data(), p.size() - 1).ok);
    EXPECT_FALSE(ParsePackage(nullptr, 0).ok);
}

TEST(PackageParser, AuxExecutablesFollowOneAnother) {
    PackageBytes p;
    p.Put(kAux + 704 + 12, "0000000100");       // XP_X86
    p.Put(kAux + 704 + 46 + 14, "0000000020");  // 2003_X86
    ParseResult r = ParsePackage(p.data(), p.size());
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.info.aux[0].offset, kAux + 1052);
    EXPECT_EQ(r.info.aux[0].size, 100);
    EXPECT_EQ(r.info.aux[1].offset, kAux + 1052 + 100);
    EXPECT_EQ(r.info.aux[2].offset, kAux + 1052 + 100);
    EXPECT_EQ(r.info.aux[2].size, 20);
    EXPECT_EQ(r.info.aux[3].offset, kAux + 1052 + 120);
    EXPECT_EQ(AuxImage(r.info, 2), p.data() + kAux + 1052 + 100);
}

TEST(SlotLoader, CopiesTheImageAndRoundsUpTo512) {
    struct Row {
        const char* start;
        const char* size;
        int32_t expected;
    } rows[] = {
        {"0000000000", "0000394240", 394240},
        {"0000000007", "0000000001", 512},
        {"0000001000", "0000000000", 0},
        {"0000000000", "0000000513", 1024},
        {"0000000000", "0000524288", 524288},
    };
    for (const Row& row : rows) {
        PackageBytes p;
        p.Start(0, row.start).Size(0, row.size);
        const size_t start = std::stoul(row.start), size = std::stoul(row.size);
        for (size_t i = 0; i < size; ++i) p.Byte(14618 + start + i, static_cast<uint8_t>(1 + i % 251));
        // A byte right after the image must not be copied.
        p.Byte(14618 + start + size, 0xEE);
        ParseResult r = ParsePackage(p.data(), p.size());
        ASSERT_TRUE(r.ok) << r.error;
        std::vector<uint8_t> buffer(kImageBufferSize, 0xCC);
        EXPECT_EQ(LoadSlotImage(r.info, 0, buffer.data()), row.expected) << row.size;
        for (size_t i = 0; i < size; ++i)
            ASSERT_EQ(buffer[i], static_cast<uint8_t>(1 + i % 251)) << row.size << " at " << i;
        for (size_t i = size; i < kImageBufferSize; ++i) ASSERT_EQ(buffer[i], 0) << row.size << " at " << i;
    }
}

TEST(SlotLoader, RefusesASlotOutsideThePackage) {
    PackageBytes p;
    ParseResult r = ParsePackage(p.data(), p.size());
    ASSERT_TRUE(r.ok);
    std::vector<uint8_t> buffer(kImageBufferSize);
    EXPECT_EQ(LoadSlotImage(r.info, 1, buffer.data()), -1);
    EXPECT_EQ(LoadSlotImage(r.info, -1, buffer.data()), -1);
}

}  // namespace
}  // namespace orvane::package
