#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "platform/system_api.h"

namespace orvane::system {

// Top byte of the version code.
enum OsFamily : uint8_t {
    kFamilyOther = 0x00,  // any NT version not listed, 10.0 among them
    kFamilyWin32s = 0x01,
    kFamilyWin95 = 0x02,
    kFamilyWin98 = 0x03,
    kFamilyWinMe = 0x04,
    kFamilyNT4 = 0x05,
    kFamily2000 = 0x06,
    kFamilyXP = 0x07,
    kFamily2003 = 0x08,
    kFamily2003R2 = 0x09,
    kFamilyVista = 0x0A,
    kFamily2008 = 0x0C,
    kFamily2008R2 = 0x0D,
    kFamilyWin7 = 0x0E,
    kFamily2012 = 0x0F,
    kFamilyWin8 = 0x10,
    kFamilyWin81 = 0x11,
    kFamily2012R2 = 0x12,
};

inline uint8_t OsFamilyOf(uint32_t code) { return static_cast<uint8_t>(code >> 24); }

// Everything the version code is computed from, as the system answered it.
struct VersionFacts {
    bool ex_ok = false;     // GetVersionExA with OSVERSIONINFOEXA worked
    bool basic_ok = false;  // the basic query worked (only asked when the extended one failed)
    platform::OsVersion version;
    uint16_t architecture = platform::kArchIntel;
    bool server_r2 = false;                   // GetSystemMetrics(SM_SERVERR2)
    std::optional<std::string> product_type;  // HKLM ...\ProductOptions "ProductType"; none when unreadable
    bool q246009 = false;                     // NT 4 SP6a hotfix key present
};

// Ask the system for the facts; registry values are read only where the code needs them.
VersionFacts ReadVersionFacts(platform::SystemApi& api);
// The 32-bit version code; 0 when the version cannot be read.
uint32_t OSVersionCode(const VersionFacts& facts);
uint32_t OSVersionCode(platform::SystemApi& api);

}  // namespace orvane::system
