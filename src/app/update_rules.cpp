#include "app/update_rules.h"

#include <cstring>

#include "text/text.h"

namespace orvane::app {

namespace {

// memcmp's sign as the rules read it: the drive's bytes against the package's.
int Compare(const char* drive, const char* package, size_t n) {
    return std::memcmp(drive, package, n);
}

}  // namespace

LatestCheck IsLatestFirmware(const char (&drive_fw)[8], const char (&drive_def)[8], const package::SlotInfo& slot,
                             const package::PackageOptions& o) {
    LatestCheck c;
    int cmp = 0;
    if (!o.bUseFWExt) {
        const std::string new_fw = text::Trim(text::FieldText(slot.new_fw));
        c.compare_size = static_cast<int>(new_fw.size());
        cmp = Compare(drive_fw, slot.new_fw, new_fw.size());
    } else {
        c.compare_size = 8;
        cmp = Compare(drive_def, slot.fw_ext, 8);
    }
    c.latest = (o.bNFlashAuto && cmp == 0) || (!o.bFOld && cmp > 0);
    return c;
}

bool ForcesMode3(const char (&def)[8]) {
    const std::string e = text::ToUpper(text::Trim(text::FieldText(def)));
    return e.size() > 6 && std::strchr("FZ3GJLW7", e[0]) != nullptr;
}

bool MayReportFatal(const char (&def)[8]) {
    static const char* const kFamilies[] = {"KT7151", "KT8151", "KT9151", "KTA151"};
    for (const char* f : kFamilies)
        if (std::memcmp(def, f, 6) == 0) return def[6] >= '1' && def[6] <= '8';
    return false;
}

bool NvmeCapableVersion(const platform::OsVersion& v) {
    return v.dwPlatformId == platform::kPlatformNT &&
           (v.dwMajorVersion > 6 || (v.dwMajorVersion == 6 && v.dwMinorVersion >= 3));
}

}  // namespace orvane::app
