#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/package_bytes.h"
#include "package/package_block.h"
#include "package/package_info.h"

namespace orvane::package {
namespace {

std::string At(const uint8_t* p, size_t offset, size_t n) { return std::string(reinterpret_cast<const char*>(p) + offset, n); }

TEST(PackageLayout, BuildBlockHoldsEveryFieldAtItsOffset) {
    const uint8_t* b = PackageBlockBytes();
    const std::string nul(1, '\0');
    struct Row {
        size_t offset;
        std::string bytes;
    } rows[] = {
        {0, "["},
        {21, "v3.1.10" + nul},
        {49, "Mereth Orvane Utility for Windows" + nul},
        {113, "2016/01/25" + nul},
        {125, "MERETH QZ4-AB256" + nul},
        {190, "1.0!" + nul},
        {198, "1.0~" + nul},
        {206, "TOLBERN TQ-256K7KW                      "},
        {266, "#FLSH12"},
        {274, "#" + nul},
        {282, "#" + nul},
        {798, "#FLSH21"},
        {9234, "#FLSHF8"},
        {9310, "PARA_OPT="},
        {9319, std::string("\x00\x00\x01\x01", 4)},
        {9323, "0000000011101000000000002100" + nul},
        {9352, "BIN_START1=0000000000" + nul},
        {9374, "BIN_START2=0000000000" + nul},
        {9660, "BIN_STARTF=0000000000" + nul},
        {9682, "BIN_SIZE1B=0000394240" + nul},
        {9704, "BIN_SIZE2 =0000000000" + nul},
        {9990, "BIN_SIZEF =0000000000" + nul},
        {10012, "NEW_FW1=1.02" + std::string(5, '\0')},
        {10029, "NEW_FW2=N/A     " + nul},
        {10250, "NEW_FWF=N/A     " + nul},
        {10267, "FW_EXT1=GM802030" + nul},
        {10284, "FW_EXT2=N/A     " + nul},
        {10522, "BOOT_CODE_HERE" + nul},
        {14618, std::string(64, '\0')},
        {7878938 - 16, std::string(16, '\0')},
        {7878938, "AES_BUF_HERE" + nul},
        {7878938 + 256, "EXE_XP_X86" + nul},
        {7878938 + 256 + 32 * 9, "EXE_WIN7_X64" + nul},
        {7878938 + 256 + 32 * 13, "EXE_COPYFILE_XP" + nul},
        {7878938 + 704, "XP_X86_SIZE=0000000000" + nul},
        {7878938 + 704 + 23, "XP_X64_SIZE=0000000000" + nul},
        {7878938 + 704 + 46, "2003_X86_SIZE=0000000000" + nul},
        {7878938 + 704 + 96, "VISTA_X86_SIZE=0000000000" + nul},
        {7878938 + 704 + 323, "COPYFIXP_SIZE=0000000000" + nul},
    };
    for (const Row& r : rows) EXPECT_EQ(At(b, r.offset, r.bytes.size()), r.bytes) << "offset " << r.offset;
    // Record 1 of group 1: its reserved tail is blank of placeholders.
    EXPECT_EQ(At(b, 246, 20), std::string(20, '\0'));
}

TEST(PackageLayout, BuildBlockParsesToTheStoredPackage) {
    ParseResult r = ParsePackage(PackageBlockBytes(), PackageBlockSize());
    ASSERT_TRUE(r.ok) << r.error;
    const PackageOptions& o = r.info.opt;
    EXPECT_EQ(r.info.version, "v3.1.10");
    EXPECT_EQ(r.info.banner, "Mereth Orvane Utility for Windows");
    EXPECT_EQ(r.info.target_model, "MERETH QZ4-AB256");
    EXPECT_EQ(o.iFWCount, 1);
    EXPECT_EQ(o.iFlashMode, 1);
    EXPECT_EQ(o.iVisualStyle, 0);
    EXPECT_EQ(o.iLanguage, 0);
    EXPECT_EQ(o.iNoticeLevel, 0);
    EXPECT_TRUE(o.bListMatchedOnly);
    EXPECT_TRUE(o.bAskReboot);
    EXPECT_TRUE(o.bWinFlash);
    for (bool flag : {o.bUseFWExt, o.ReBoot, o.bAutoFlashAll, o.bAskShutdown, o.bNFlashAuto, o.bUpdateBoot,
                      o.bUnattended, o.Preformat, o.bBPreformat, o.bFOld, o.bAutoStart})
        EXPECT_FALSE(flag);
    EXPECT_EQ(r.info.slots[0].start, 0);
    EXPECT_EQ(r.info.slots[0].size, 394240);
    EXPECT_EQ(std::string(r.info.slots[0].new_fw, 8), std::string("1.02\0\0\0\0", 8));
    EXPECT_EQ(std::string(r.info.slots[0].fw_ext, 8), "GM802030");
    EXPECT_EQ(std::string(r.info.records[0][0].szFWS, 4), "1.0!");
    EXPECT_EQ(std::string(r.info.records[0][1].szFWS, 7), "#FLSH12");
}

TEST(PackageLayout, EachDigitSetsItsOwnOption) {
    struct Row {
        int digit;
        bool PackageOptions::*flag;
    } rows[] = {
        {1, &PackageOptions::bUseFWExt},   {3, &PackageOptions::ReBoot},       {4, &PackageOptions::bAutoFlashAll},
        {5, &PackageOptions::bAskShutdown}, {14, &PackageOptions::bNFlashAuto}, {18, &PackageOptions::bUpdateBoot},
        {19, &PackageOptions::bUnattended}, {21, &PackageOptions::Preformat},   {22, &PackageOptions::bBPreformat},
        {23, &PackageOptions::bFOld},       {24, &PackageOptions::bAutoStart},
    };
    for (const Row& row : rows) {
        testing::PackageBytes p;
        p.Digit(row.digit, '7');
        ParseResult r = ParsePackage(p.data(), p.size());
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_TRUE(r.info.opt.*row.flag) << "digit " << row.digit;
        int set = 0;
        for (const Row& other : rows) set += (r.info.opt.*other.flag) ? 1 : 0;
        EXPECT_EQ(set, 1) << "digit " << row.digit << " set another option too";
    }
    testing::PackageBytes p;
    p.Digit(6, '2').Digit(9, '0').Digit(11, '0').Digit(26, '0');
    ParseResult r = ParsePackage(p.data(), p.size());
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.info.opt.iNoticeLevel, 2);
    EXPECT_FALSE(r.info.opt.bListMatchedOnly);
    EXPECT_FALSE(r.info.opt.bAskReboot);
    EXPECT_FALSE(r.info.opt.bWinFlash);
}

TEST(PackageLayout, OptionBytesAreSigned) {
    testing::PackageBytes p;
    p.Byte(9319, 0xFF).Byte(9320, 1).Byte(9321, 0x80);
    ParseResult r = ParsePackage(p.data(), p.size());
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.info.opt.iVisualStyle, -1);
    EXPECT_EQ(r.info.opt.iLanguage, 1);
    EXPECT_EQ(r.info.opt.iFlashMode, -128);
}

}  // namespace
}  // namespace orvane::package
