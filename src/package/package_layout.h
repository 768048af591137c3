#pragma once
// The package block as it lies in the executable's initialised data. The packer
// overwrites these bytes in a copy of the built program; the program reads them
// at fixed positions.
#include <cstddef>
#include <cstdint>

namespace orvane::package {

constexpr int kSlotCount = 15;
constexpr int kRecordsPerGroup = 8;
constexpr size_t kImageAreaSize = 7'864'320;
constexpr size_t kImageBufferSize = 524'288;
// An image that is deciphered needs one spare 16-byte block in the buffer.
constexpr size_t kMaxCipheredImage = kImageBufferSize - 16;
constexpr int kAuxCount = 14;
// Room for the auxiliary executables themselves, after the area's directory.
constexpr size_t kAuxPayloadSize = 2 * 1024 * 1024;

#pragma pack(push, 1)

struct EligibilityRecord {
    char szFWS[8];
    char szFWE[8];
    char szModel[40];
    char reserved[20];
};
static_assert(sizeof(EligibilityRecord) == 76);

// "BIN_START1=" + ten decimal digits + NUL
struct SlotNumberEntry {
    char label[11];
    char digits[10];
    char nul;
};
static_assert(sizeof(SlotNumberEntry) == 22);

// "NEW_FW1=" + eight characters + NUL
struct SlotTextEntry {
    char label[8];
    char value[8];
    char nul;
};
static_assert(sizeof(SlotTextEntry) == 17);

struct PackageHeader {
    char credit[21];
    char version[13];
    char phone[15];
    char banner[64];
    char date[12];
    char target_model[65];
    EligibilityRecord records[kSlotCount][kRecordsPerGroup];
    char option_marker[9];
    int8_t iVisualStyle;
    int8_t iLanguage;
    int8_t iFlashMode;
    int8_t iFWCount;
    char digits[28];
    char digits_nul;
    SlotNumberEntry start[kSlotCount];
    SlotNumberEntry size[kSlotCount];
    SlotTextEntry new_fw[kSlotCount];
    SlotTextEntry fw_ext[kSlotCount];
    char boot_code[4096];
};

// The directory at the head of the auxiliary-executable area.
struct AuxDirectory {
    char aes_buf[256];
    char slots[kAuxCount][32];
    char size_fields[348];
};

struct PackageBlock {
    PackageHeader header;
    uint8_t image[kImageAreaSize];
    AuxDirectory aux;
    uint8_t aux_payload[kAuxPayloadSize];
};

#pragma pack(pop)

static_assert(offsetof(PackageHeader, version) == 21);
static_assert(offsetof(PackageHeader, phone) == 34);
static_assert(offsetof(PackageHeader, banner) == 49);
static_assert(offsetof(PackageHeader, date) == 113);
static_assert(offsetof(PackageHeader, target_model) == 125);
static_assert(offsetof(PackageHeader, records) == 190);
static_assert(offsetof(PackageHeader, option_marker) == 9310);
static_assert(offsetof(PackageHeader, iVisualStyle) == 9319);
static_assert(offsetof(PackageHeader, iFWCount) == 9322);
static_assert(offsetof(PackageHeader, digits) == 9323);
static_assert(offsetof(PackageHeader, digits_nul) == 9351);
static_assert(offsetof(PackageHeader, start) == 9352);
static_assert(offsetof(PackageHeader, size) == 9682);
static_assert(offsetof(PackageHeader, new_fw) == 10012);
static_assert(offsetof(PackageHeader, fw_ext) == 10267);
static_assert(offsetof(PackageHeader, boot_code) == 10522);
static_assert(sizeof(PackageHeader) == 14618);
static_assert(offsetof(AuxDirectory, slots) == 256);
static_assert(offsetof(AuxDirectory, size_fields) == 704);
static_assert(sizeof(AuxDirectory) == 1052);
static_assert(offsetof(PackageBlock, image) == 14618);
static_assert(offsetof(PackageBlock, aux) == 14618 + kImageAreaSize);

// Auxiliary slots in area order: tag text and size-field label.
struct AuxSlotName {
    const char* tag;
    const char* size_label;
};
inline constexpr AuxSlotName kAuxSlots[kAuxCount] = {
    {"EXE_XP_X86", "XP_X86_SIZE="},          {"EXE_XP_X64", "XP_X64_SIZE="},
    {"EXE_2003_X86", "2003_X86_SIZE="},      {"EXE_2003_X64", "2003_X64_SIZE="},
    {"EXE_VISTA_X86", "VISTA_X86_SIZE="},    {"EXE_VISTA_X64", "VISTA_X64_SIZE="},
    {"EXE_2008_X86", "2008_X86_SIZE="},      {"EXE_2008_X64", "2008_X64_SIZE="},
    {"EXE_WIN7_X86", "WIN7_X86_SIZE="},      {"EXE_WIN7_X64", "WIN7_X64_SIZE="},
    {"EXE_COPYFILE_WIN7", "COPYFILE_SIZE="}, {"EXE_COPYFILE_2K3", "COPYF2K3_SIZE="},
    {"EXE_COPYFILE_2K8", "COPYF2K8_SIZE="},  {"EXE_COPYFILE_XP", "COPYFIXP_SIZE="},
};

// Offset of aux slot k's size field inside AuxDirectory::size_fields (labels differ in length).
constexpr size_t AuxSizeFieldOffset(int k) {
    size_t off = 0;
    for (int i = 0; i < k; ++i) {
        size_t n = 0;
        while (kAuxSlots[i].size_label[n]) ++n;
        off += n + 11;
    }
    return off;
}
static_assert(AuxSizeFieldOffset(kAuxCount) == 348);

// Slot digit used in labels and placeholders: 1..9, A..F.
constexpr char SlotDigit(int slot) { return slot < 9 ? char('1' + slot) : char('A' + slot - 9); }

// The option digits, 1-based positions in the 28-character field.
namespace digit {
constexpr int bUseFWExt = 1;
constexpr int ReBoot = 3;
constexpr int bAutoFlashAll = 4;
constexpr int bAskShutdown = 5;
constexpr int iNoticeLevel = 6;
constexpr int bListMatchedOnly = 9;
constexpr int bAskReboot = 11;
constexpr int bNFlashAuto = 14;
constexpr int bUpdateBoot = 18;
constexpr int bUnattended = 19;
constexpr int Preformat = 21;
constexpr int bBPreformat = 22;
constexpr int bFOld = 23;
constexpr int bAutoStart = 24;
constexpr int bWinFlash = 26;
}  // namespace digit

}  // namespace orvane::package
