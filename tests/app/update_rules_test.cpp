// The Update command's text rules: the retry ladder, the latest-firmware test, the mode-3 and
// fatal-state families, the NVMe system requirement.
#include <gtest/gtest.h>

#include <cstring>

#include "app/flash_worker.h"
#include "app/update_rules.h"

namespace orvane::app {
namespace {

TEST(RetryLadder, ThirteenAttemptsStartingFromOneSector) {
    // The chunk sizes of the thirteen attempts, and the size the end line reports.
    const int expected[] = {1, 1, 64, 64, 64, 64, 64, 64, 8, 7, 4, 1, 64};
    int max_sector = 1;
    for (int attempt = 1; attempt <= 13; ++attempt) {
        EXPECT_EQ(max_sector, expected[attempt - 1]) << "attempt " << attempt;
        max_sector = NextMaxSector(attempt, max_sector);
    }
    EXPECT_EQ(max_sector, 8);
}

TEST(RetryLadder, ASizeOutsideTheLadderStays) {
    EXPECT_EQ(NextMaxSector(8, 16), 16);
    EXPECT_EQ(NextMaxSector(9, 255), 255);
    EXPECT_EQ(NextMaxSector(3, 16), 64);  // before the eighth attempt the size is set, not stepped
}

template <size_t N>
void Put(char (&field)[N], const char* text) {
    std::memset(field, 0, N);
    std::memcpy(field, text, std::min(N, std::strlen(text)));
}

TEST(LatestFirmware, ByRevisionAndByDefText) {
    struct Row {
        const char* name;
        const char* drive_fw;
        const char* drive_def;
        const char* new_fw;
        const char* fw_ext;
        bool use_ext, nflash_auto, fold;
        bool latest;
        int compare_size;
    } rows[] = {
        {"older drive", "S0614B0 ", "GM802020", "S0614C0", "GM802030", false, false, false, false, 7},
        {"newer drive, bFOld clear", "S0614D0 ", "", "S0614C0", "", false, false, false, true, 7},
        {"newer drive, bFOld set", "S0614D0 ", "", "S0614C0", "", false, false, true, false, 7},
        {"equal, bNFlashAuto clear: flashed again", "S0614C0 ", "", "S0614C0", "", false, false, true, false, 7},
        {"equal, bNFlashAuto set", "S0614C0 ", "", "S0614C0", "", false, true, true, true, 7},
        {"1.02 compares four bytes", "1.02    ", "", "1.02", "", false, true, false, true, 4},
        // The length is the trimmed text's, the bytes are the field's own: " 1.0" against "1.02".
        {"blanks around the new text", "1.02    ", "", " 1.02 ", "", false, false, true, false, 4},
        {"blanks around the new text, bFOld clear", "1.02    ", "", " 1.02 ", "", false, false, false, true, 4},
        {"DEF rule: equal", "ANY     ", "GM802030", "ZZZ", "GM802030", true, true, true, true, 8},
        {"DEF rule: older", "ZZZZZZZZ", "GM802020", "A", "GM802030", true, true, false, false, 8},
        {"DEF rule: newer, bFOld clear", "00000000", "GM802040", "Z", "GM802030", true, false, false, true, 8},
    };
    for (const Row& r : rows) {
        char fw[8], def[8];
        Put(fw, r.drive_fw);
        Put(def, r.drive_def);
        package::SlotInfo slot;
        Put(slot.new_fw, r.new_fw);
        Put(slot.fw_ext, r.fw_ext);
        package::PackageOptions o;
        o.bUseFWExt = r.use_ext;
        o.bNFlashAuto = r.nflash_auto;
        o.bFOld = r.fold;
        const LatestCheck c = IsLatestFirmware(fw, def, slot, o);
        EXPECT_EQ(c.latest, r.latest) << r.name;
        EXPECT_EQ(c.compare_size, r.compare_size) << r.name;
    }
}

TEST(FlashModeChoice, FirstCharacterAndLengthOfTheDefText) {
    struct Row {
        const char* def;
        bool mode3;
    } rows[] = {
        {"GM802030", true}, {"gm802030", true}, {"F1234567", true}, {"Z1234567", true}, {"31234567", true},
        {"J1234567", true}, {"L1234567", true}, {"W1234567", true}, {"71234567", true},
        {"GM8020", false},    // six characters: never
        {" GM80203", true},   // trimmed first: seven characters starting with G
        {"KT715130", false}, {"A1234567", false}, {"", false},
    };
    for (const Row& r : rows) {
        char def[8];
        Put(def, r.def);
        EXPECT_EQ(ForcesMode3(def), r.mode3) << r.def;
    }
}

TEST(FatalState, OnlyTheFourFamiliesWithADigitOneToEight) {
    struct Row {
        const char* def;
        bool may;
    } rows[] = {
        {"KT715111", true}, {"KT815180", true}, {"KT915140", true}, {"KTA15120", true},
        {"KT715101", false}, {"KT715191", false}, {"KT715A11", false}, {"KTB15111", false}, {"GM802030", false},
    };
    for (const Row& r : rows) {
        char def[8];
        Put(def, r.def);
        EXPECT_EQ(MayReportFatal(def), r.may) << r.def;
    }
}

TEST(NvmeRequirement, WindowsEightPointOneOrLater) {
    struct Row {
        uint32_t major, minor, platform;
        bool ok;
    } rows[] = {
        {10, 0, 2, true}, {6, 3, 2, true}, {6, 2, 2, false}, {6, 1, 2, false}, {5, 1, 2, false}, {4, 90, 1, false},
    };
    for (const Row& r : rows) {
        platform::OsVersion v;
        v.dwMajorVersion = r.major;
        v.dwMinorVersion = r.minor;
        v.dwPlatformId = r.platform;
        EXPECT_EQ(NvmeCapableVersion(v), r.ok) << r.major << "." << r.minor;
    }
}

}  // namespace
}  // namespace orvane::app
