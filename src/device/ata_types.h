#pragma once
#include <cstdint>

#include "platform/records/pass_through.h"

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

// The device layer speaks the published records (register block, pass-through and miniport
// records) that the simulated drivers answer too.
using namespace ::orvane::records;

// The system's answer to a failed request, as a command result.
uint8_t ResultOfLastError(uint32_t last_error);

}  // namespace orvane::device
