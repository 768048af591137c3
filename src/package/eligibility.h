#pragma once
// Which drives the package may go to, and from which firmware slot: the drive's model and
// firmware text against each slot's group of eligibility records.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "package/package_info.h"

namespace orvane::package {

// One drive entry's facts as the drive table holds them: whole fixed-width fields (40, 40, 8, 8 bytes),
// NUL-padded and not necessarily terminated.
struct DriveFacts {
    bool bExisted = false;
    bool bIsNvme = false;
    std::string_view szModelChk, szModel, szFW, szDEF;
};

struct Eligibility {
    bool bEnabled = false;
    uint16_t wSlot = 0;  // meaningful only when bEnabled
};

// The order of firmware revisions in a record's range: byte by byte as unsigned codes, a proper
// prefix first. Negative when a sorts before b.
int CompareFirmware(std::string_view a, std::string_view b);

// Runs the check for one drive entry against the package's options (iFWCount, bUseFWExt) and record
// table; `log` receives each debug-log line exactly as written (one call per line the check writes),
// to be handed to the window's line writer, which ends each with one more line end.
Eligibility ChkConstraint(const DriveFacts& drive, const PackageInfo& package,
                          const std::function<void(const std::string&)>& log);

}  // namespace orvane::package
