#include "system/os_version.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/fake_system_api.h"

namespace orvane::system {
namespace {

using platform::kArchAMD64;
using platform::kArchIA64;
using platform::kArchIntel;
using test::FakeSystemApi;

constexpr uint32_t kNT = platform::kPlatformNT;
constexpr uint32_t k9x = platform::kPlatformWindows;
constexpr uint8_t kWs = 1;   // workstation
constexpr uint8_t kDc = 2;   // domain controller
constexpr uint8_t kSrv = 3;  // server

const char kHotfix[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009";
const char kProductOptions[] = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";

std::string Hex(uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%08X", v);
    return b;
}

// The extended query works: family, edition and service pack from the record.
struct Row {
    const char* name;
    uint32_t platform, major, minor;
    const char* csd;
    uint16_t sp;
    uint16_t suite;
    uint8_t product;
    uint16_t arch;
    bool r2;
    bool hotfix;
    uint32_t expect;
};

const Row kRows[] = {
    // name                              plat maj min  csd                sp  suite   prod arch        r2     hotfix expect
    {"Win32s",                            0,   3, 10, "",                 0, 0,      0,   kArchIntel, false, false, 0x01000000},
    {"95",                                k9x, 4, 0,  "",                 0, 0,      0,   kArchIntel, false, false, 0x02000000},
    {"95 OSR2 (B)",                       k9x, 4, 0,  " B",               0, 0,      0,   kArchIntel, false, false, 0x02030000},
    {"95 OSR2.5 (C)",                     k9x, 4, 0,  " C",               0, 0,      0,   kArchIntel, false, false, 0x02030000},
    {"95 with another letter",            k9x, 4, 0,  " A",               0, 0,      0,   kArchIntel, false, false, 0x02000000},
    {"98",                                k9x, 4, 10, " ",                0, 0,      0,   kArchIntel, false, false, 0x03000000},
    {"98 SE (A)",                         k9x, 4, 10, " A ",              0, 0,      0,   kArchIntel, false, false, 0x03030000},
    {"98 takes no service-pack bits",     k9x, 4, 10, "",                 1, 0,      0,   kArchIntel, false, false, 0x03000000},
    {"Me",                                k9x, 4, 90, "",                 0, 0,      0,   kArchIntel, false, false, 0x04000000},
    {"NT 3.51 server SP5",                kNT, 3, 51, "Service Pack 5",   5, 0,      kSrv, kArchIntel, false, false, 0x05075000},
    {"NT 4 workstation SP5",              kNT, 4, 0,  "Service Pack 5",   5, 0,      kWs, kArchIntel, false, false, 0x05135000},
    {"NT 4 workstation SP6a (Q246009)",   kNT, 4, 0,  "Service Pack 6",   6, 0,      kWs, kArchIntel, false, true,  0x05136400},
    {"NT 4 workstation SP6 no hotfix",    kNT, 4, 0,  "Service Pack 6",   6, 0,      kWs, kArchIntel, false, false, 0x05136000},
    {"NT 4 other SP text ignores hotfix", kNT, 4, 0,  "Service Pack 6a",  6, 0,      kWs, kArchIntel, false, true,  0x05136000},
    {"NT 4 server enterprise SP4",        kNT, 4, 0,  "Service Pack 4",   4, 0x0002, kSrv, kArchIntel, false, false, 0x05044000},
    {"NT 4 server SP6a",                  kNT, 4, 0,  "Service Pack 6",   6, 0,      kSrv, kArchIntel, false, true,  0x05076400},
    {"2000 Professional SP4",             kNT, 5, 0,  "Service Pack 4",   4, 0,      kWs, kArchIntel, false, false, 0x06014000},
    {"2000 Server SP4",                   kNT, 5, 0,  "Service Pack 4",   4, 0,      kSrv, kArchIntel, false, false, 0x06074000},
    {"2000 Advanced Server",              kNT, 5, 0,  "",                 0, 0x0002, kSrv, kArchIntel, false, false, 0x06040000},
    {"2000 Datacenter",                   kNT, 5, 0,  "",                 0, 0x0080, kSrv, kArchIntel, false, false, 0x06080000},
    {"2000 domain controller",            kNT, 5, 0,  "",                 0, 0,      kDc, kArchIntel, false, false, 0x06070000},
    {"XP Professional SP2",               kNT, 5, 1,  "Service Pack 2",   2, 0x0100, kWs, kArchIntel, false, false, 0x07012000},
    {"XP Home SP3",                       kNT, 5, 1,  "Service Pack 3",   3, 0x0300, kWs, kArchIntel, false, false, 0x07023000},
    {"XP x64 SP2",                        kNT, 5, 2,  "Service Pack 2",   2, 0,      kWs, kArchAMD64, false, false, 0x07012001},
    {"2003 Standard SP1",                 kNT, 5, 2,  "Service Pack 1",   1, 0x0010, kSrv, kArchIntel, false, false, 0x08071000},
    {"2003 Enterprise",                   kNT, 5, 2,  "",                 0, 0x0002, kSrv, kArchIntel, false, false, 0x08040000},
    {"2003 Datacenter",                   kNT, 5, 2,  "",                 0, 0x0082, kSrv, kArchIntel, false, false, 0x08080000},
    {"2003 Web Edition (blade)",          kNT, 5, 2,  "",                 0, 0x0400, kSrv, kArchIntel, false, false, 0x08110000},
    {"2003 blade among other suites",     kNT, 5, 2,  "",                 0, 0x0410, kSrv, kArchIntel, false, false, 0x08070000},
    {"2003 domain controller",            kNT, 5, 2,  "",                 0, 0,      kDc, kArchIntel, false, false, 0x08070000},
    {"2003 x64 Standard SP2",             kNT, 5, 2,  "Service Pack 2",   2, 0,      kSrv, kArchAMD64, false, false, 0x08072001},
    {"2003 x64 Enterprise",               kNT, 5, 2,  "",                 0, 0x0002, kSrv, kArchAMD64, false, false, 0x08040001},
    {"2003 x64 Datacenter",               kNT, 5, 2,  "",                 0, 0x0082, kSrv, kArchAMD64, false, false, 0x08080001},
    {"2003 Itanium Datacenter",           kNT, 5, 2,  "",                 0, 0x0082, kSrv, kArchIA64,  false, false, 0x08080003},
    {"2003 Itanium Enterprise",           kNT, 5, 2,  "",                 0, 0x0002, kSrv, kArchIA64,  false, false, 0x08040003},
    {"2003 Itanium other",                kNT, 5, 2,  "",                 0, 0,      kSrv, kArchIA64,  false, false, 0x08000000},
    {"2003 R2 Enterprise SP2",            kNT, 5, 2,  "Service Pack 2",   2, 0x0002, kSrv, kArchIntel, true,  false, 0x09042000},
    {"2003 R2 x64 Standard",              kNT, 5, 2,  "",                 0, 0,      kSrv, kArchAMD64, true,  false, 0x09070001},
    {"Vista Home SP2",                    kNT, 6, 0,  "Service Pack 2",   2, 0x0300, kWs, kArchIntel, false, false, 0x0A022000},
    {"Vista x64 SP1",                     kNT, 6, 0,  "Service Pack 1",   1, 0x0100, kWs, kArchAMD64, false, false, 0x0A001000},
    {"2008 Enterprise SP2",               kNT, 6, 0,  "Service Pack 2",   2, 0x0002, kSrv, kArchIntel, false, false, 0x0C042000},
    {"2008 Datacenter (bit only for 5.0)", kNT, 6, 0, "",                 0, 0x0080, kSrv, kArchAMD64, false, false, 0x0C070000},
    {"2008 R2 Standard SP1",              kNT, 6, 1,  "Service Pack 1",   1, 0x0010, kSrv, kArchAMD64, false, false, 0x0D071000},
    {"7 Professional SP1",                kNT, 6, 1,  "Service Pack 1",   1, 0x0100, kWs, kArchIntel, false, false, 0x0E011000},
    {"7 Home Premium",                    kNT, 6, 1,  "",                 0, 0x0300, kWs, kArchIntel, false, false, 0x0E020000},
    {"7 x64 SP1",                         kNT, 6, 1,  "Service Pack 1",   1, 0x0100, kWs, kArchAMD64, false, false, 0x0E001000},
    {"2012",                              kNT, 6, 2,  "",                 0, 0x0080, kSrv, kArchAMD64, false, false, 0x0F070000},
    {"8 Pro",                             kNT, 6, 2,  "",                 0, 0x0100, kWs, kArchIntel, false, false, 0x10010000},
    {"8.1",                               kNT, 6, 3,  "",                 0, 0x0100, kWs, kArchIntel, false, false, 0x11010000},
    {"8.1 x64",                           kNT, 6, 3,  "",                 0, 0x0100, kWs, kArchAMD64, false, false, 0x11000000},
    {"2012 R2",                           kNT, 6, 3,  "",                 0, 0x0110, kSrv, kArchAMD64, false, false, 0x12070000},
    {"10 Pro",                            kNT, 10, 0, "",                 0, 0x0100, kWs, kArchIntel, false, false, 0x00010000},
    {"10 Home",                           kNT, 10, 0, "",                 0, 0x0300, kWs, kArchIntel, false, false, 0x00020000},
    {"10 Pro x64",                        kNT, 10, 0, "",                 0, 0x0100, kWs, kArchAMD64, false, false, 0x00000000},
    {"10 server",                         kNT, 10, 0, "",                 0, 0x0110, kSrv, kArchAMD64, false, false, 0x00070000},
    {"6.4 (not tabled)",                  kNT, 6, 4,  "",                 0, 0,      kWs, kArchIntel, false, false, 0x00010000},
};

TEST(OSVersionCode, ExtendedQueryTable) {
    for (const Row& r : kRows) {
        SCOPED_TRACE(r.name);
        FakeSystemApi api;
        api.version.dwPlatformId = r.platform;
        api.version.dwMajorVersion = r.major;
        api.version.dwMinorVersion = r.minor;
        api.version.szCSDVersion = r.csd;
        api.version.wServicePackMajor = r.sp;
        api.version.wSuiteMask = r.suite;
        api.version.wProductType = r.product;
        api.architecture = r.arch;
        api.server_r2 = r.r2;
        if (r.hotfix) api.AddKey(kHotfix);
        // Never consulted while the extended record is there.
        api.SetString(kProductOptions, "ProductType", "LanmanNT");
        EXPECT_EQ(Hex(OSVersionCode(api)), Hex(r.expect));
    }
}

// Only OSVERSIONINFOA: the edition comes from the registry's ProductType.
struct BasicRow {
    const char* name;
    const char* csd;
    const char* product_type;  // null: value missing
    bool hotfix;
    uint32_t expect;
};

const std::string kEightyChars(80, 'W');  // 81 bytes with its NUL

const BasicRow kBasicRows[] = {
    {"WinNT", "Service Pack 3", "WinNT", false, 0x05130000},
    {"winnt in any case", "Service Pack 3", "winnt", false, 0x05130000},
    {"LanmanNT", "Service Pack 3", "LanmanNT", false, 0x05070000},
    {"ServerNT", "", "SERVERNT", false, 0x05040000},
    {"unknown product type", "", "Terminal", false, 0x05000000},
    {"value missing", "Service Pack 3", nullptr, false, 0x00000000},
    {"value longer than 80 bytes", "", kEightyChars.c_str(), false, 0x00000000},
    {"SP6a hotfix", "Service Pack 6", "WinNT", true, 0x05136400},
    {"SP6 without hotfix has no SP number", "Service Pack 6", "WinNT", false, 0x05130000},
};

TEST(OSVersionCode, BasicQueryTable) {
    for (const BasicRow& r : kBasicRows) {
        SCOPED_TRACE(r.name);
        FakeSystemApi api;
        api.ex_ok = false;
        api.version.dwPlatformId = kNT;
        api.version.dwMajorVersion = 4;
        api.version.szCSDVersion = r.csd;
        api.version.wServicePackMajor = 6;  // the basic record cannot carry it
        if (r.product_type) api.SetString(kProductOptions, "ProductType", r.product_type);
        if (r.hotfix) api.AddKey(kHotfix);
        EXPECT_EQ(Hex(OSVersionCode(api)), Hex(r.expect));
        EXPECT_EQ(api.version_basic_calls, 1);
    }
}

// The hotfix key counts only for NT 4 with the "Service Pack 6" text, whoever read the facts.
TEST(OSVersionCode, HotfixFactOutsideSp6IsIgnored) {
    const struct {
        const char* name;
        uint32_t major, minor;
        const char* csd;
        uint16_t sp;
        uint32_t expect;
    } rows[] = {
        {"NT 4 SP5", 4, 0, "Service Pack 5", 5, 0x05135000},
        {"2000 SP6 text", 5, 0, "Service Pack 6", 6, 0x06016000},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        VersionFacts f;
        f.ex_ok = true;
        f.version = {r.major, r.minor, 1381, kNT, r.csd, r.sp, 0, 0, kWs};
        f.q246009 = true;
        EXPECT_EQ(Hex(OSVersionCode(f)), Hex(r.expect));
    }
}

TEST(OSVersionCode, NothingReadableGivesZero) {
    FakeSystemApi api;
    api.version.dwPlatformId = kNT;
    api.version.dwMajorVersion = 6;
    api.version.dwMinorVersion = 1;
    api.version.wProductType = kWs;
    api.ex_ok = false;
    api.basic_ok = false;
    EXPECT_EQ(OSVersionCode(api), 0u);
}

TEST(OSVersionCode, ExtendedRecordNeedsNoRegistry) {
    FakeSystemApi api;
    api.version = {10, 0, 19045, kNT, "", 0, 0, 0x0100, kWs};
    api.architecture = kArchAMD64;
    OSVersionCode(api);
    EXPECT_TRUE(api.reg_reads.empty());
    EXPECT_EQ(api.version_basic_calls, 0);
}

}  // namespace
}  // namespace orvane::system
