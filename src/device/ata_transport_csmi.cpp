// CSMI: the driver and phy information of a RAID or SAS controller's port, and ATA commands
// carried to a drive behind one of its phys as STP pass-through requests.
#include <algorithm>
#include <cstring>

#include "device/ata_device.h"
#include "device/csmi_port.h"
#include "platform/win_errors.h"

namespace orvane::device {

namespace {

SRB_IO_CONTROL HeaderOf(const uint8_t* buffer) {
    SRB_IO_CONTROL srb;
    std::memcpy(&srb, buffer, sizeof srb);
    return srb;
}

}  // namespace

uint8_t TAtaDevice::csmi_ioctl(uint32_t control_code, uint8_t* buffer, uint32_t size) {
    if (control_code != CC_CSMI_SAS_GET_DRIVER_INFO && control_code != CC_CSMI_SAS_GET_PHY_INFO &&
        control_code != CC_CSMI_SAS_STP_PASSTHRU)
        return ATACMD_ERR;
    if (!buffer || size < sizeof(SRB_IO_CONTROL)) return ATACMD_FAIL;
    FillCsmiHeader(buffer, size, control_code);
    IoResult io;
    if (EnsureOpen())
        io = hDevice->Control(IOCTL_SCSI_MINIPORT, buffer, size, size);
    else
        io.last_error = platform::kErrorInvalidHandle;  // what the request on no handle answers
    if (io.ok) return ATACMD_OK;
    dwLastError = io.last_error;
    write_debug(Format("csmi_ioctl ERR=0x%X\n", io.last_error));
    return ResultOfLastError(io.last_error);
}

bool TAtaDevice::get_phy_info(records::CSMI_SAS_PHY_INFO& out) {
    CSMI_SAS_DRIVER_INFO_BUFFER driver{};
    if (csmi_ioctl(CC_CSMI_SAS_GET_DRIVER_INFO, reinterpret_cast<uint8_t*>(&driver), sizeof driver) != ATACMD_OK)
        return false;
    // A driver that refused the request left the record as it was: nothing of it is the port's.
    if (driver.IoctlHeader.ReturnCode != kCsmiStatusSuccess) {
        write_debug(Format("CSMI_SAS_DRIVER_INFO: ReturnCode=%u\n", driver.IoctlHeader.ReturnCode));
        return false;
    }
    CsmiDriverInfo = driver.Information;
    write_debug(DriverInfoLines(driver.Information));

    CSMI_SAS_PHY_INFO_BUFFER phys{};
    if (csmi_ioctl(CC_CSMI_SAS_GET_PHY_INFO, reinterpret_cast<uint8_t*>(&phys), sizeof phys) != ATACMD_OK)
        return false;
    if (phys.IoctlHeader.ReturnCode != kCsmiStatusSuccess) {
        write_debug(Format("CSMI_SAS_PHY_INFO: ReturnCode=%u\n", phys.IoctlHeader.ReturnCode));
        return false;
    }
    std::memcpy(&out, &phys.Information, sizeof out);
    if (out.bNumberOfPhys > kCsmiMaxPhys) {
        write_debug(Format("Error! NumberOfPhys=%d > max_number_of_phys=%d\n", out.bNumberOfPhys, kCsmiMaxPhys));
        return false;
    }
    write_debug(Format("CSMI_SAS_PHY_INFO: NumberOfPhys=%d, max_number_of_phys=%d\n", out.bNumberOfPhys,
                       kCsmiMaxPhys));
    write_debug(PhyTableLines(out));
    return true;
}

uint8_t TAtaDevice::csmi_passthrough(IdeRegs& regs, uint8_t* buffer, uint8_t direction, uint32_t& length) {
    // The request and its data travel in CsmiBuf; a longer transfer would run past it.
    if (length > kCsmiBufferSize - StpRequestSize(0)) {
        write_debug(Format("CSMI: %u bytes exceed the pass-through buffer\n", length));
        return ATACMD_FAIL;
    }
    std::fill(CsmiBuf.begin(), CsmiBuf.end(), 0);
    CsmiTarget target;
    target.phy = static_cast<uint8_t>(bPhyIdentifier);
    target.port = static_cast<uint8_t>(bPortIdentifier);
    std::memcpy(target.sas_address, SASAddress, 8);
    BuildStpPassthrough(CsmiBuf.data(), target, regs, direction, length, buffer);

    LogCommand(regs.bCommandReg, regs.bFeaturesReg, regs.bSectorCountReg, regs.bSectorNumberReg, regs.bCylLowReg,
               regs.bCylHighReg, false);
    const IoResult io = hDevice->Control(IOCTL_SCSI_MINIPORT, CsmiBuf.data(), kCsmiBufferSize, kCsmiBufferSize);
    if (!io.ok) {
        SetNoRegs();
        return Failed(io, ", GetLastError=%Xh(%d)\n");
    }
    write_debug(Format(", OK=%d\n", 1));

    // The request was carried; whether the drive took the command is in the CSMI return code and
    // the status FIS, not in the request's success.
    const SRB_IO_CONTROL srb = HeaderOf(CsmiBuf.data());
    if (srb.ReturnCode != kCsmiStatusSuccess) {
        SetNoRegs();
        write_debug(Format("CSMI STP ReturnCode=%u: the controller refused the command\n", srb.ReturnCode));
        return ATACMD_ERR;
    }
    const uint8_t* fis = CsmiBuf.data() + offsetof(CSMI_SAS_STP_PASSTHRU_BUFFER, Status.bStatusFIS);
    const bool have_status = DecodeStatusFis(fis, OutRegs);
    if (!have_status) SetNoRegs();
    const uint8_t status = OutRegs.bCommandReg;
    if (have_status && (status & (kAtaStatusErr | kAtaStatusDf))) {
        write_debug(Format("CSMI STP Status Register: 0x%X, Error Register: 0x%X\n", status, OutRegs.bFeaturesReg));
        bLastStatus = status;
        return ATACMD_ERR;
    }
    if (direction == kDirIn && buffer)
        std::memcpy(buffer, CsmiBuf.data() + kCsmiStpDataOffset, std::min(length, io.returned));
    length = io.returned;
    return ATACMD_OK;
}

}  // namespace orvane::device
