#include "package/eligibility.h"

#include <algorithm>

#include "text/format.h"
#include "text/text.h"

namespace orvane::package {
namespace {

using Log = std::function<void(const std::string&)>;
using text::Format;

constexpr size_t kModelWidth = 40;
constexpr size_t kFwWidth = 8;

// A field's working text: its bytes up to its width or first NUL, without blanks at either end.
// The caller's view may be shorter than the field; it is never read past its end.
std::string Working(std::string_view field, size_t width) {
    field = field.substr(0, std::min(field.size(), width));
    field = field.substr(0, field.find('\0'));
    return text::Trim(field);
}

std::string Working(const char* field, size_t width) { return text::Trim(text::FieldView(field, width)); }

void PassLevel(int level, bool match, const Log& log) {
    log(Format("  iPassLevel:%d %s\n", level, match ? "match" : "mis-match"));
}

struct RecordTexts {
    std::string fws, fwe, model;
};

// Levels 0 to 4 of one record against the drive; true when the record accepts it (level 4).
bool RecordAccepts(const RecordTexts& rec, const std::string& drive_model, const std::string& drive_fw,
                   const Log& log) {
    int level = 1;
    if (!rec.model.empty()) {
        log(Format("   MODEL:%.40s\n  CMODEL:%.40s", drive_model.c_str(), rec.model.c_str()));
        level = drive_model == rec.model ? 1 : 0;
    }
    PassLevel(level, level == 1, log);
    if (level == 0) return false;

    level = 2;
    if (rec.fws.empty()) {
        level = 3;
    } else {
        log(Format("   FWS[%.8s]|CFW[%.8s]", drive_fw.c_str(), rec.fws.c_str()));
        if (drive_fw.size() != rec.fws.size()) {
            log(Format("LEN ERR : FW%d CFWS%d CFWE%d \n", static_cast<int>(drive_fw.size()),
                       static_cast<int>(rec.fws.size()), static_cast<int>(rec.fwe.size())));
            return false;
        }
        if (CompareFirmware(drive_fw, rec.fws) >= 0) level = 3;
    }
    PassLevel(level, level == 3, log);
    if (level == 2) return false;

    if (rec.fwe.empty()) {
        level = 4;
    } else {
        log(Format("   FWE[%.8s]|CFW[%.8s]", drive_fw.c_str(), rec.fwe.c_str()));
        if (CompareFirmware(drive_fw, rec.fwe) <= 0) level = 4;
    }
    PassLevel(level, level == 4, log);
    return level == 4;
}

// A group whose first record the packer left as the build's placeholder sets no constraint.
bool IsUnfilled(const RecordTexts& rec) {
    return rec.fws.starts_with("#FLS") && rec.model.starts_with('#') && rec.fwe.starts_with('#');
}

}  // namespace

// string_view compares like memcmp, then by length.
int CompareFirmware(std::string_view a, std::string_view b) { return a.compare(b); }

Eligibility ChkConstraint(const DriveFacts& drive, const PackageInfo& package, const Log& log) {
    const bool use_ext = package.opt.bUseFWExt;
    log(Format("ChkConstraint: bExisted:%d, bUseFWExt:%d\n", drive.bExisted ? 1 : 0, use_ext ? 1 : 0));
    Eligibility result;
    if (!drive.bExisted) return result;

    const std::string fw = Working(use_ext ? drive.szDEF : drive.szFW, kFwWidth);
    const bool has_model = !drive.szModel.empty() && drive.szModel.front() != '\0';
    const std::string model = has_model ? Working(drive.szModelChk, kModelWidth) : std::string();

    if (drive.bIsNvme) {
        log(Format("  DEF0 | %40s | %.8s", model.c_str(), fw.c_str()));
    } else {
        // The DEF index character is the extended text's 8th; without it, the revision's first.
        const size_t at = use_ext ? 7 : 0;
        const std::string index = at < fw.size() ? fw.substr(at, 1) : std::string();
        log(Format("  DEF%.1s | %40s | %.7s", index.c_str(), model.c_str(), fw.c_str()));
    }

    // Only the 15 groups the table has, whatever iFWCount says.
    const int groups = std::clamp<int>(package.opt.iFWCount, 0, kSlotCount);
    for (int g = 0; g < groups; ++g) {
        for (int r = 0; r < kRecordsPerGroup; ++r) {
            const EligibilityRecord& raw = package.records[g][r];
            const RecordTexts rec{Working(raw.szFWS, sizeof raw.szFWS), Working(raw.szFWE, sizeof raw.szFWE),
                                  Working(raw.szModel, sizeof raw.szModel)};
            log(Format("  _FC STR:%.8s %.8s %.40s \n", rec.fws.c_str(), rec.fwe.c_str(), rec.model.c_str()));
            if (r == 0 && IsUnfilled(rec)) {
                result.bEnabled = true;
                log("NO constraint was set, exit check");
                break;
            }
            if (RecordAccepts(rec, model, fw, log)) {
                result.bEnabled = true;
                break;
            }
        }
        if (result.bEnabled) {
            result.wSlot = static_cast<uint16_t>(g);
            break;
        }
    }
    return result;
}

}  // namespace orvane::package
