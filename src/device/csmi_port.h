#pragma once
// The CSMI requests of a RAID or SAS controller's port, as bytes: the SRB header, the STP
// pass-through that carries one ATA command to a drive behind a phy, the status FIS that comes
// back, and the log lines of the driver and phy answers. No I/O here.
#include <cstdint>
#include <string>

#include "device/ata_types.h"
#include "platform/records/csmi.h"

namespace orvane::device {

// SRB_IO_CONTROL.ReturnCode of a CSMI request the driver carried out.
constexpr uint32_t kCsmiStatusSuccess = 0;

// The status register bits that end a command in error: ERR and DF.
constexpr uint8_t kAtaStatusErr = 0x01;
constexpr uint8_t kAtaStatusDf = 0x20;

// Header of a CSMI request of `size` bytes: length 28, "CSMIALL" for the driver information
// (code 1) and "CSMISAS" for the others, timeout 60, ReturnCode 0, Length = size - 28.
void FillCsmiHeader(uint8_t* buffer, uint32_t size, uint32_t control_code);

// Where an STP pass-through goes: the phy and port identifiers and the attached SAS address.
struct CsmiTarget {
    uint8_t phy = 0;
    uint8_t port = 0;
    uint8_t sas_address[8] = {};
};

// The flags of an STP pass-through for a direction code: PIO, and read, write or unspecified.
uint32_t StpFlags(uint8_t direction);

// Bytes of an STP pass-through request carrying `length` data bytes, as its header counts them:
// the published record, whose one declared data byte is padded to 4, then the data.
constexpr uint32_t StpRequestSize(uint32_t length) {
    return static_cast<uint32_t>(sizeof(SRB_IO_CONTROL)) + CsmiStpLength(length);
}

// Fills an STP pass-through request into `buffer` (zeroed by the caller, at least
// StpRequestSize(length) bytes): header with Length = length + 140, the target, connection rate
// 0, the register host-to-device FIS (the caller's DH and high-order registers are not carried),
// the flags, the data length and, for a write, the data at offset 164.
void BuildStpPassthrough(uint8_t* buffer, const CsmiTarget& target, const IdeRegs& regs, uint8_t direction,
                         uint32_t length, const uint8_t* data_out);

// The registers of a returned status FIS: a device-to-host register FIS (34h), or a PIO setup
// FIS (5Fh) with its ending status. False (out untouched) for any other FIS type.
bool DecodeStatusFis(const uint8_t* fis, IdeRegs& out);

// The debug-log lines of a driver information answer and of a phy table (entries whose own
// device type is 0 are left out).
std::string DriverInfoLines(const CSMI_SAS_DRIVER_INFO& info);
std::string PhyTableLines(const CSMI_SAS_PHY_INFO& info);

}  // namespace orvane::device
