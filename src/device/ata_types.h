#pragma once
#include <cstdint>

namespace orvane::device {

// Command results shared by every device operation, the flash jobs and the Update command.
enum : uint8_t {
    ATACMD_OK = 0,
    ATACMD_ERR = 1,
    ATACMD_TIMEOUT = 2,
    ATACMD_FAIL = 0xFE,
    ATACMD_NOT_SUPPORT = 0xFF,
};

// Direction codes: the ATA_FLAGS_DATA_IN / _OUT values.
enum : uint8_t {
    kDirNone = 0,
    kDirIn = 2,
    kDirOut = 4,
};

// Command transports (iProtocol).
enum : uint8_t {
    kProtoNone = 0,
    kProtoAta = 1,
    kProtoIde = 2,
    kProtoScsi = 3,
    kProtoSil = 4,
    kProtoSat = 5,
    kProtoJmicron = 6,
    kProtoProlific = 7,
    kProtoSunplus = 8,
    kProtoIodata = 9,
    kProtoLogitec = 10,
    kProtoCypress = 11,
    kProtoRegs12 = 12,
    kProtoRegs13 = 13,
    kProtoCsmi = 14,
    kProtoSdio = 15,
    kProtoNvme = 16,
    kProtoCount = 17,
};

// The display name shown in logs; numbers past the table read "SYSTEM NOT SUPPORT".
const char* ProtocolName(int protocol);

// Register block in IDEREGS order. On return bFeaturesReg holds the error register
// and bCommandReg the status register.
struct IdeRegs {
    uint8_t bFeaturesReg = 0;
    uint8_t bSectorCountReg = 0;
    uint8_t bSectorNumberReg = 0;
    uint8_t bCylLowReg = 0;
    uint8_t bCylHighReg = 0;
    uint8_t bDriveHeadReg = 0;
    uint8_t bCommandReg = 0;
    uint8_t bReserved = 0;
};
static_assert(sizeof(IdeRegs) == 8);

inline IdeRegs MakeRegs(uint8_t fr, uint8_t sc, uint8_t sn, uint8_t cl, uint8_t ch, uint8_t dh, uint8_t cmd) {
    return IdeRegs{fr, sc, sn, cl, ch, dh, cmd, 0};
}

// The system's answer to a failed request, as a command result.
uint8_t ResultOfLastError(uint32_t last_error);

}  // namespace orvane::device
