#pragma once
// The main window's table of detected drives, filled by the drive scan and read by the
// eligibility check, the drive list and the Update command.
#include <cstdint>
#include <string>

#include "platform/records/firmware.h"

namespace orvane::app {

inline constexpr int kMaxDrives = 16;

// One detected drive. Texts are fixed-width and NUL-padded, not necessarily terminated.
struct DEV_INFO {
    char szDevicePath[512];
    char szModelChk[40];
    char szModel[40];
    char szFW[8];
    char szSN[20];
    char szDEF[8];
    int16_t wPort, wTarget, wLun, wPathId;
    bool bExisted;
    bool bEnabled;
    uint16_t wSlot;
    char szInstanceId[260];
    int32_t order;
    bool bSystemDrive;
    int32_t csmi_port;
    uint64_t SasAddr;
    int32_t scsi_index;
    bool bIsNvme;
    bool bIsNVMe_InBoxDriver;
    // The drive's controller runs an AHCI driver (storahci, msahci, a vendor's *ahci*); logged only.
    bool bIsAhci;
    // The drive's security is enabled and locked: never updated.
    bool bLocked;
    // The package accepts the drive, but it is locked: listed, with the unlock request.
    bool bMatchedLocked;
    // The NVMe drive's own slot information, so that selecting it offers its own slots.
    records::STORAGE_FIRMWARE_INFO FwSlotInfo;
    // Bit n-1 set: slot n is read-only and takes no firmware.
    uint8_t FwSlotReadOnly;
};

// What IdentifyDrive and GetNvmeSlotInfo read; DEF's 8th character is the DEF index character.
struct IDENTIFY_SUMMARY {
    char FW[8];
    char Model[40];
    char SN[20];
    char DEF[8];
};
static_assert(sizeof(IDENTIFY_SUMMARY) == 76);

// ScanSSDDrive kinds.
inline constexpr int kScanAta = 0;
inline constexpr int kScanCsmi = 1;

// The drives the last scan entered.
struct DriveTable {
    DEV_INFO m_DevInfo[kMaxDrives] = {};
    int DriveCount = 0;
};

// How the drives are reached: the scan kind and what the command line named ("/T:" path, "/C:"
// CSMI port and address).
struct TargetAddress {
    int gScanType = kScanAta;
    std::string m_DevPath;
    int m_ScsiPort = 0;
    int m_CsmiIndex = 0;
    int m_CsmiPort = 0;
    uint64_t m_SasAddr = 0;
};

// What IdentifyDrive read from the open device.
struct IdentifyRead {
    uint8_t result = 0xFF;
    IDENTIFY_SUMMARY id = {};
    bool locked = false;  // security enabled and locked
};

// IDENTIFY word 128: security enabled (bit 1) and locked (bit 2).
bool SecurityLocked(const uint8_t* identify);

// A fixed-width field copied from text: NUL-padded, cut at the width.
template <size_t N>
void PutField(char (&field)[N], const std::string& text) {
    for (size_t i = 0; i < N; ++i) field[i] = i < text.size() ? text[i] : '\0';
}

}  // namespace orvane::app
