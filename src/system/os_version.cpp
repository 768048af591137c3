#include "system/os_version.h"
#include "text/text.h"

#include <cctype>

namespace orvane::system {

namespace {

using platform::OsVersion;

constexpr uint16_t kSuiteEnterprise = 0x0002;
constexpr uint16_t kSuiteDatacenter = 0x0080;
constexpr uint16_t kSuitePersonal = 0x0200;
constexpr uint16_t kSuiteBlade = 0x0400;
constexpr uint8_t kProductWorkstation = 1;
constexpr uint8_t kProductDomainController = 2;
constexpr uint8_t kProductServer = 3;

const char kProductOptionsKey[] = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
const char kQ246009Key[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009";

uint32_t Family(uint8_t family) { return static_cast<uint32_t>(family) << 24; }

char CsdChar2(const OsVersion& v) { return v.szCSDVersion.size() > 1 ? v.szCSDVersion[1] : '\0'; }

bool IsNT4Sp6Text(const OsVersion& v) {
    return v.dwMajorVersion == 4 && text::EqualsNoCase(v.szCSDVersion, "Service Pack 6");
}

uint32_t NineXCode(const OsVersion& v) {
    if (v.dwMajorVersion != 4) return 0;
    switch (v.dwMinorVersion) {
        case 0: {
            char c = CsdChar2(v);
            return c == 'B' || c == 'C' ? 0x02030000 : Family(kFamilyWin95);
        }
        case 10: return CsdChar2(v) == 'A' ? 0x03030000 : Family(kFamilyWin98);
        case 90: return Family(kFamilyWinMe);
        default: return 0;
    }
}

uint32_t NtBase(const VersionFacts& f) {
    const OsVersion& v = f.version;
    bool workstation = v.wProductType == kProductWorkstation;
    if (v.dwMajorVersion <= 4) return Family(kFamilyNT4);
    if (v.dwMajorVersion == 5) {
        switch (v.dwMinorVersion) {
            case 0: return Family(kFamily2000);
            case 1: return Family(kFamilyXP);
            case 2:
                if (f.server_r2) return Family(kFamily2003R2);
                if (workstation && f.architecture == platform::kArchAMD64) return 0x07010001;  // XP x64
                return Family(kFamily2003);
            default: return 0;
        }
    }
    if (v.dwMajorVersion == 6) {
        switch (v.dwMinorVersion) {
            case 0: return Family(workstation ? kFamilyVista : kFamily2008);
            case 1: return Family(workstation ? kFamilyWin7 : kFamily2008R2);
            case 2: return Family(workstation ? kFamilyWin8 : kFamily2012);
            case 3: return Family(workstation ? kFamilyWin81 : kFamily2012R2);
            default: return 0;
        }
    }
    return 0;
}

// Edition from the extended record; may replace the whole code (NT 4 workstation).
uint32_t WithExtendedEdition(uint32_t code, const VersionFacts& f) {
    const OsVersion& v = f.version;
    uint16_t suite = v.wSuiteMask;
    bool datacenter = suite & kSuiteDatacenter;
    bool enterprise = suite & kSuiteEnterprise;
    if (v.wProductType == kProductWorkstation && f.architecture != platform::kArchAMD64) {
        if (v.dwMajorVersion == 4) return 0x05130000;
        return code | (suite & kSuitePersonal ? 0x20000 : 0x10000);
    }
    if (v.wProductType != kProductServer && v.wProductType != kProductDomainController) return code;
    if (!(v.dwMajorVersion == 5 && v.dwMinorVersion == 2)) {
        if (v.dwMajorVersion == 5 && v.dwMinorVersion == 0 && datacenter) return code | 0x80000;
        return code | (enterprise ? 0x40000 : 0x70000);
    }
    switch (f.architecture) {
        case platform::kArchAMD64: return code | (datacenter ? 0x80001 : enterprise ? 0x40001 : 0x70001);
        case platform::kArchIA64:
            if (datacenter) return code | 0x80003;
            if (enterprise) return code | 0x40003;
            return code;
        default:
            if (datacenter) return code | 0x80000;
            if (enterprise) return code | 0x40000;
            if (suite == kSuiteBlade) return code | 0x110000;
            return code | 0x70000;
    }
}

}  // namespace

VersionFacts ReadVersionFacts(platform::SystemApi& api) {
    VersionFacts f;
    f.ex_ok = api.GetVersionEx(f.version);
    if (!f.ex_ok) {
        f.version = OsVersion{};
        f.basic_ok = api.GetVersionBasic(f.version);
        if (!f.basic_ok) return f;
    }
    f.architecture = api.ProcessorArchitecture();
    if (f.version.dwPlatformId != platform::kPlatformNT) return f;
    f.server_r2 = api.IsServerR2();
    if (!f.ex_ok) f.product_type = api.RegQueryString(kProductOptionsKey, "ProductType", 80);
    if (IsNT4Sp6Text(f.version)) f.q246009 = api.RegKeyExists(kQ246009Key);
    return f;
}

uint32_t OSVersionCode(const VersionFacts& f) {
    if (!f.ex_ok && !f.basic_ok) return 0;
    const OsVersion& v = f.version;
    if (v.dwPlatformId == platform::kPlatformWin32s) return Family(kFamilyWin32s);
    if (v.dwPlatformId == platform::kPlatformWindows) return NineXCode(v);
    if (v.dwPlatformId != platform::kPlatformNT) return 0;

    uint32_t code = NtBase(f);
    if (f.ex_ok) {
        code = WithExtendedEdition(code, f);
    } else {
        if (!f.product_type) return 0;
        if (text::EqualsNoCase(*f.product_type, "WINNT"))
            code |= 0x130000;
        else if (text::EqualsNoCase(*f.product_type, "LANMANNT"))
            code |= 0x70000;
        else if (text::EqualsNoCase(*f.product_type, "SERVERNT"))
            code |= 0x40000;
    }

    // SP6a shows up only as the hotfix key; the record says "Service Pack 6".
    if (IsNT4Sp6Text(v) && f.q246009) return code + 0x6400;
    return code + ((static_cast<uint32_t>(v.wServicePackMajor) & 0xF) << 12);
}

uint32_t OSVersionCode(platform::SystemApi& api) {
    return OSVersionCode(ReadVersionFacts(api));
}

}  // namespace orvane::system
