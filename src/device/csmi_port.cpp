#include "device/csmi_port.h"

#include <cstring>

#include "text/format.h"

namespace orvane::device {

namespace {

using text::Format;

constexpr uint8_t kFisRegisterH2D = 0x27;
constexpr uint8_t kFisRegisterD2H = 0x34;
constexpr uint8_t kFisPioSetup = 0x5F;
constexpr uint8_t kFisCommandBit = 0x80;
constexpr uint8_t kDeviceLba = 0xA0;

std::string SasAddressText(const uint8_t* a) {
    return Format("%02x %02x %02x %02x %02x %02x %02x %02x", a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
}

}  // namespace

void FillCsmiHeader(uint8_t* buffer, uint32_t size, uint32_t control_code) {
    SRB_IO_CONTROL srb{};
    srb.HeaderLength = sizeof(SRB_IO_CONTROL);
    const char* signature = control_code == CC_CSMI_SAS_GET_DRIVER_INFO ? CSMI_ALL_SIGNATURE : CSMI_SAS_SIGNATURE;
    std::memcpy(srb.Signature, signature, sizeof CSMI_SAS_SIGNATURE);
    srb.Timeout = CSMI_SAS_TIMEOUT;
    srb.ControlCode = control_code;
    srb.ReturnCode = 0;
    srb.Length = size - sizeof(SRB_IO_CONTROL);
    std::memcpy(buffer, &srb, sizeof srb);
}

uint32_t StpFlags(uint8_t direction) {
    if (direction == kDirOut) return CSMI_SAS_STP_PIO | CSMI_SAS_STP_WRITE;
    if (direction == kDirIn) return CSMI_SAS_STP_PIO | CSMI_SAS_STP_READ;
    return CSMI_SAS_STP_PIO | CSMI_SAS_STP_UNSPECIFIED;
}

void BuildStpPassthrough(uint8_t* buffer, const CsmiTarget& target, const IdeRegs& regs, uint8_t direction,
                         uint32_t length, const uint8_t* data_out) {
    FillCsmiHeader(buffer, StpRequestSize(length), CC_CSMI_SAS_STP_PASSTHRU);
    CSMI_SAS_STP_PASSTHRU p{};
    p.bPhyIdentifier = target.phy;
    p.bPortIdentifier = target.port;
    p.bConnectionRate = 0;
    std::memcpy(p.bDestinationSASAddress, target.sas_address, 8);
    uint8_t* fis = p.bCommandFIS;
    fis[0] = kFisRegisterH2D;
    fis[1] = kFisCommandBit;
    fis[2] = regs.bCommandReg;
    fis[3] = regs.bFeaturesReg;
    fis[4] = regs.bSectorNumberReg;
    fis[5] = regs.bCylLowReg;
    fis[6] = regs.bCylHighReg;
    fis[7] = kDeviceLba;
    fis[11] = 0;
    fis[12] = regs.bSectorCountReg;
    p.uFlags = StpFlags(direction);
    p.uDataLength = length;
    std::memcpy(buffer + offsetof(CSMI_SAS_STP_PASSTHRU_BUFFER, Parameters), &p, sizeof p);
    if (direction == kDirOut && data_out && length) std::memcpy(buffer + kCsmiStpDataOffset, data_out, length);
}

bool DecodeStatusFis(const uint8_t* fis, IdeRegs& out) {
    if (fis[0] != kFisRegisterD2H && fis[0] != kFisPioSetup) return false;
    IdeRegs r{};
    // A PIO setup FIS carries the status at its start in byte 2 and the ending status in byte 15;
    // the command ends with the latter.
    r.bCommandReg = fis[0] == kFisPioSetup ? fis[15] : fis[2];
    r.bFeaturesReg = fis[3];
    r.bSectorNumberReg = fis[4];
    r.bCylLowReg = fis[5];
    r.bCylHighReg = fis[6];
    r.bDriveHeadReg = fis[7];
    r.bSectorCountReg = fis[12];
    out = r;
    return true;
}

std::string DriverInfoLines(const CSMI_SAS_DRIVER_INFO& info) {
    std::string s = "TAtaDevice::get_phy_info : CSMI_SAS_DRIVER_INFO:\n";
    s += Format("  Name:        \"%.81s\"\n", reinterpret_cast<const char*>(info.szName));
    s += Format("  Description: \"%.81s\"\n", reinterpret_cast<const char*>(info.szDescription));
    s += Format("  Revision:    %d.%d\n", info.usMajorRevision, info.usMinorRevision);
    return s;
}

std::string PhyTableLines(const CSMI_SAS_PHY_INFO& info) {
    std::string s;
    for (uint32_t i = 0; i < kCsmiMaxPhys; ++i) {
        const CSMI_SAS_PHY_ENTITY& e = info.Phy[i];
        const CSMI_SAS_IDENTIFY& id = e.Identify;
        const CSMI_SAS_IDENTIFY& at = e.Attached;
        if (id.bDeviceType == 0) continue;
        s += Format("Phy[%d] Port:   0x%02x\n", i, e.bPortIdentifier);
        s += Format("  Type:        0x%02x, 0x%02x\n", id.bDeviceType, at.bDeviceType);
        s += Format("  InitProto:   0x%02x, 0x%02x\n", id.bInitiatorPortProtocol, at.bInitiatorPortProtocol);
        s += Format("  TargetProto: 0x%02x, 0x%02x\n", id.bTargetPortProtocol, at.bTargetPortProtocol);
        s += Format("  PhyIdent:    0x%02x, 0x%02x\n", id.bPhyIdentifier, at.bPhyIdentifier);
        s += "  SASAddress(Identify):  " + SasAddressText(id.bSASAddress) + ", ";
        s += "  SASAddress(Attached):  " + SasAddressText(at.bSASAddress) + "\n";
    }
    return s;
}

}  // namespace orvane::device
