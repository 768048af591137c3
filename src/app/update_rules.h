#pragma once
// The Update command's decisions that depend on texts alone.
#include "package/package_info.h"
#include "platform/system_api.h"

namespace orvane::app {

struct LatestCheck {
    bool latest = false;
    int compare_size = 0;  // bytes compared; the log's "FW compare size" (revision rule only)
};

// Whether the drive already has the package's firmware: by revision (bUseFWExt clear; as many
// bytes as the slot's trimmed new-firmware text) or by the 8-byte DEF text.
LatestCheck IsLatestFirmware(const char (&drive_fw)[8], const char (&drive_def)[8], const package::SlotInfo& slot,
                             const package::PackageOptions& o);

// A DEF text whose controller takes only the mode-3 download.
bool ForcesMode3(const char (&def)[8]);

// A DEF text of the controllers that can report the fatal state.
bool MayReportFatal(const char (&def)[8]);

// NVMe updates need Windows 8.1 / Server 2012 R2 (6.3) or later.
bool NvmeCapableVersion(const platform::OsVersion& v);

}  // namespace orvane::app
