#pragma once
// The CSMI records a RAID or SAS controller's driver answers through IOCTL_SCSI_MINIPORT,
// after an SRB_IO_CONTROL header. The published layout packs to 8; every field here falls on
// its natural boundary, so both widths lay them out alike.
#include <cstddef>
#include <cstdint>

#include "platform/records/pass_through.h"

namespace orvane::records {

// Control codes, each under its signature.
constexpr uint32_t CC_CSMI_SAS_GET_DRIVER_INFO = 1;   // "CSMIALL"
constexpr uint32_t CC_CSMI_SAS_GET_PHY_INFO = 20;     // "CSMISAS"
constexpr uint32_t CC_CSMI_SAS_STP_PASSTHRU = 25;     // "CSMISAS"
constexpr char CSMI_ALL_SIGNATURE[] = "CSMIALL";
constexpr char CSMI_SAS_SIGNATURE[] = "CSMISAS";
constexpr uint32_t CSMI_ALL_TIMEOUT = 60;
constexpr uint32_t CSMI_SAS_TIMEOUT = 60;

// CSMI_SAS_PHY_INFO limits and the STP pass-through flags.
constexpr uint32_t kCsmiMaxPhys = 32;
constexpr uint32_t CSMI_SAS_STP_READ = 0x01;
constexpr uint32_t CSMI_SAS_STP_WRITE = 0x02;
constexpr uint32_t CSMI_SAS_STP_UNSPECIFIED = 0x04;
constexpr uint32_t CSMI_SAS_STP_PIO = 0x10;

struct CSMI_SAS_DRIVER_INFO {
    uint8_t szName[81];
    uint8_t szDescription[81];
    uint16_t usMajorRevision;
    uint16_t usMinorRevision;
    uint16_t usBuildRevision;
    uint16_t usReleaseRevision;
    uint16_t usCSMIMajorRevision;
    uint16_t usCSMIMinorRevision;
};

struct CSMI_SAS_DRIVER_INFO_BUFFER {
    SRB_IO_CONTROL IoctlHeader;
    CSMI_SAS_DRIVER_INFO Information;
};

struct CSMI_SAS_IDENTIFY {
    uint8_t bDeviceType;
    uint8_t bRestricted;
    uint8_t bInitiatorPortProtocol;
    uint8_t bTargetPortProtocol;
    uint8_t bRestricted2[8];
    uint8_t bSASAddress[8];
    uint8_t bPhyIdentifier;
    uint8_t bSignalClass;
    uint8_t bReserved[6];
};

struct CSMI_SAS_PHY_ENTITY {
    CSMI_SAS_IDENTIFY Identify;
    uint8_t bPortIdentifier;
    uint8_t bNegotiatedLinkRate;
    uint8_t bMinimumLinkRate;
    uint8_t bMaximumLinkRate;
    uint8_t bPhyChangeCount;
    uint8_t bAutoDiscover;
    uint8_t bPhyFeatures;
    uint8_t bReserved;
    CSMI_SAS_IDENTIFY Attached;
};

struct CSMI_SAS_PHY_INFO {
    uint8_t bNumberOfPhys;
    uint8_t bReserved[3];
    CSMI_SAS_PHY_ENTITY Phy[kCsmiMaxPhys];
};

struct CSMI_SAS_PHY_INFO_BUFFER {
    SRB_IO_CONTROL IoctlHeader;
    CSMI_SAS_PHY_INFO Information;
};

struct CSMI_SAS_STP_PASSTHRU {
    uint8_t bPhyIdentifier;
    uint8_t bPortIdentifier;
    uint8_t bConnectionRate;
    uint8_t bReserved;
    uint8_t bDestinationSASAddress[8];
    uint8_t bReserved2[4];
    uint8_t bCommandFIS[20];
    uint32_t uFlags;
    uint32_t uDataLength;
};

struct CSMI_SAS_STP_PASSTHRU_STATUS {
    uint8_t bConnectionStatus;
    uint8_t bReserved[3];
    uint8_t bStatusFIS[20];
    uint32_t uSCR[16];
    uint32_t uDataBytes;
};

// The data follows the record; the published record declares one byte of it, so its size
// (and the header's Length, which counts from after the SRB header) includes that byte
// rounded up to the record's alignment.
struct CSMI_SAS_STP_PASSTHRU_BUFFER {
    SRB_IO_CONTROL IoctlHeader;
    CSMI_SAS_STP_PASSTHRU Parameters;
    CSMI_SAS_STP_PASSTHRU_STATUS Status;
    uint8_t bDataBuffer[1];
};

static_assert(sizeof(CSMI_SAS_DRIVER_INFO) == 174);
static_assert(sizeof(CSMI_SAS_DRIVER_INFO_BUFFER) == 204);
static_assert(offsetof(CSMI_SAS_DRIVER_INFO_BUFFER, Information.szDescription) == 109);
static_assert(offsetof(CSMI_SAS_DRIVER_INFO_BUFFER, Information.usMajorRevision) == 190);
static_assert(sizeof(CSMI_SAS_IDENTIFY) == 28);
static_assert(sizeof(CSMI_SAS_PHY_ENTITY) == 64);
static_assert(offsetof(CSMI_SAS_PHY_ENTITY, bPortIdentifier) == 28);
static_assert(offsetof(CSMI_SAS_PHY_ENTITY, Attached) == 36);
static_assert(sizeof(CSMI_SAS_PHY_INFO) == 2052);
static_assert(sizeof(CSMI_SAS_PHY_INFO_BUFFER) == 2080);
static_assert(offsetof(CSMI_SAS_STP_PASSTHRU_BUFFER, Parameters.bDestinationSASAddress) == 32);
static_assert(offsetof(CSMI_SAS_STP_PASSTHRU_BUFFER, Parameters.bCommandFIS) == 44);
static_assert(offsetof(CSMI_SAS_STP_PASSTHRU_BUFFER, Parameters.uFlags) == 64);
static_assert(offsetof(CSMI_SAS_STP_PASSTHRU_BUFFER, Parameters.uDataLength) == 68);
static_assert(offsetof(CSMI_SAS_STP_PASSTHRU_BUFFER, bDataBuffer) == 164);
static_assert(sizeof(CSMI_SAS_STP_PASSTHRU_BUFFER) - sizeof(SRB_IO_CONTROL) == 140);

// Where the STP data starts, and the header's Length for a transfer of n bytes.
constexpr uint32_t kCsmiStpDataOffset = offsetof(CSMI_SAS_STP_PASSTHRU_BUFFER, bDataBuffer);
constexpr uint32_t CsmiStpLength(uint32_t n) {
    return static_cast<uint32_t>(sizeof(CSMI_SAS_STP_PASSTHRU_BUFFER) - sizeof(SRB_IO_CONTROL)) + n;
}

}  // namespace orvane::records
