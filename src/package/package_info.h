#pragma once
#include <cstdint>
#include <string>

#include "package/package_layout.h"

namespace orvane::package {

struct PackageOptions {
    int8_t iVisualStyle = 0;
    int8_t iLanguage = 0;
    int8_t iFlashMode = 0;
    int8_t iFWCount = 0;
    bool bUseFWExt = false;
    bool ReBoot = false;
    bool bAutoFlashAll = false;
    bool bAskShutdown = false;
    int iNoticeLevel = 0;
    bool bListMatchedOnly = false;
    bool bAskReboot = false;
    bool bNFlashAuto = false;
    bool bUpdateBoot = false;
    bool bUnattended = false;
    bool Preformat = false;
    bool bBPreformat = false;
    bool bFOld = false;
    bool bAutoStart = false;
    bool bWinFlash = false;
};

// One digit option: its name, its 1-based position and where it lands in PackageOptions.
struct OptionDigit {
    const char* name;
    int position;
    bool numeric;  // iNoticeLevel: the digit's value; the rest: non-zero is true
    bool PackageOptions::*flag;
    int PackageOptions::*number;
};
extern const OptionDigit kOptionDigits[15];

struct SlotInfo {
    int32_t start = 0;
    int32_t size = 0;
    char new_fw[8] = {};   // NUL-padded, read with "%.8s"
    char fw_ext[8] = {};
};

struct AuxInfo {
    size_t offset = 0;  // from the start of the package block
    int32_t size = 0;
};

// The package as the rest of the program sees it; built once at start-up.
struct PackageInfo {
    std::string version;
    std::string banner;
    std::string target_model;
    PackageOptions opt;
    EligibilityRecord records[kSlotCount][kRecordsPerGroup] = {};
    SlotInfo slots[kSlotCount];
    AuxInfo aux[kAuxCount];
    const uint8_t* block = nullptr;  // the block the description was read from
};

struct ParseResult {
    bool ok = false;
    std::string error;  // names the field that was refused
    PackageInfo info;
};

// Reads and checks a package block (size bytes, at least sizeof(PackageBlock)).
ParseResult ParsePackage(const uint8_t* block, size_t size);

// Fills the kImageBufferSize buffer with slot's image and returns the length rounded
// up to 512; -1 when the slot is not one of the package's or does not fit (nothing copied).
int32_t LoadSlotImage(const PackageInfo& info, int slot, uint8_t* buffer);

// Where aux slot k's executable lies in the block, and how long it is.
const uint8_t* AuxImage(const PackageInfo& info, int k);

}  // namespace orvane::package
