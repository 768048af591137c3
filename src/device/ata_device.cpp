#include "device/ata_device.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "device/ata_builders.h"
#include "platform/win_errors.h"
#include "system/os_version.h"
#include "text/text.h"

namespace orvane::device {

namespace {

constexpr const char* kProtocolNames[kProtoCount] = {
    "SYSTEM NOT SUPPORT", "ATA PASSTHROUGH", "IDE PASS THROUGH", "SCSI PASS THROUGH", "SIL PASS THROUGH",
    "SAT ATA PASS THROUGH", "JMICRON", "PROLIFIC", "SUNPLUS", "IODATA", "LOGITEC", "CYPRESS",
    "SYSTEM NOT SUPPORT", "SYSTEM NOT SUPPORT", "CSMI", "SDIO", "NVMe",
};

constexpr uint16_t kPciVendorSil = 0x1095;

}  // namespace

const char* ProtocolName(int protocol) {
    if (protocol < 0 || protocol >= kProtoCount) return kProtocolNames[0];
    return kProtocolNames[protocol];
}

uint8_t ResultOfLastError(uint32_t last_error) {
    switch (last_error) {
    case platform::kErrorSemTimeout:
    case platform::kWaitTimeout:
    case platform::kErrorTimeout:
        return ATACMD_TIMEOUT;
    case platform::kErrorInvalidFunction:
    case platform::kErrorNotSupported:
        return ATACMD_NOT_SUPPORT;
    default:
        return ATACMD_FAIL;
    }
}


uint8_t PreferredTransport(uint32_t os_code, uint8_t bus_type, uint16_t vid, uint16_t did) {
    const uint8_t family = system::OsFamilyOf(os_code);
    const unsigned service_pack = (os_code >> 12) & 0xF;
    // ATA pass-through exists from Windows XP SP2 on; older systems have IDE pass-through.
    const bool newer = family == system::kFamilyOther || family > system::kFamilyXP ||
                       (family == system::kFamilyXP && service_pack >= 2);
    const uint8_t os_value = newer ? kProtoAta : kProtoIde;
    switch (bus_type) {
    case discovery::BusTypeScsi:
    case discovery::BusTypeAtapi:
    case discovery::BusTypeiScsi:
    case discovery::BusTypeSas:
        return kProtoScsi;
    case discovery::BusTypeUsb:
        if ((vid == 0x093B && did == 0x0062) || (vid == 0x1C6B && did == 0xA121)) return kProtoSat;
        switch (vid) {
        case 0x152D: case 0x093B: case 0x0951: return kProtoJmicron;
        case 0x067B: return kProtoProlific;
        case 0x04FC: case 0x1BCF: case 0x07AB: case 0x0930: return kProtoSunplus;
        case 0x040D: return kProtoSat;
        case 0x04BB: return kProtoIodata;
        case 0x0789: return kProtoLogitec;
        case 0x04B4: return kProtoCypress;
        case 0x1F75: return os_value;
        default: return kProtoSat;
        }
    default:
        // ATA, SATA, RAID and unknown buses: what the system's own requests offer.
        return os_value;
    }
}

TAtaDevice::TAtaDevice(platform::Platform& platform, std::string debug_log_path)
    : Timer0(platform.clock, nullptr),
      CmdTimer(platform.clock, nullptr),
      Timer2(platform.clock, nullptr),
      pOSInfo(std::make_unique<system::OSInfo>(platform.system)),
      ReadBuf(kDeviceBufferSize, 0),
      WriteBuf(kDeviceBufferSize, 0),
      CsmiBuf(kCsmiBufferSize, 0),
      DebugLogPath(std::move(debug_log_path)),
      platform_(platform) {
    dev_mgr_ = std::make_unique<discovery::TDevMgr>(platform, &platform.pump,
                                                    [this](const std::string& line) { write_debug(line); });
    if (dev_mgr_->enumerate_devices()) {
        list_ready_ = true;
        pDevList = dev_mgr_->node_list();
        iDevCount = dev_mgr_->node_count();
    }
}

TAtaDevice::~TAtaDevice() { close_device(); }

void TAtaDevice::write_debug(const std::string& text) { platform_.system.AppendText(DebugLogPath, text); }

void TAtaDevice::set_sas_address(uint32_t low, uint32_t high) {
    std::memcpy(SASAddress, &low, 4);
    std::memcpy(SASAddress + 4, &high, 4);
}

const discovery::DISK_NODE* TAtaDevice::device_entry(int index) const {
    if (index == -1) return pCurEntry;
    if (index < 0 || index >= iDevCount || !pDevList) return nullptr;
    return &pDevList[index];
}

uint8_t TAtaDevice::bus_type(int index) const {
    const discovery::DISK_NODE* e = device_entry(index);
    return e ? e->bBusType : 0;
}

void TAtaDevice::close_device() {
    hDevice.reset();
    pOpenEntry = nullptr;
    open_address_asked_ = open_address_known_ = false;
}

bool TAtaDevice::OpenAddress(uint8_t& path_id, uint8_t& target_id, uint8_t& lun) {
    if (pOpenEntry && pOpenEntry->bHasScsiAddress) {
        path_id = pOpenEntry->ScsiAddress.PathId;
        target_id = pOpenEntry->ScsiAddress.TargetId;
        lun = pOpenEntry->ScsiAddress.Lun;
        return true;
    }
    if (!open_address_asked_ && hDevice) {
        open_address_asked_ = true;
        records::SCSI_ADDRESS a{};
        const IoResult io = hDevice->Control(records::IOCTL_SCSI_GET_ADDRESS, &a, sizeof a, sizeof a);
        open_address_known_ = io.ok && io.returned >= sizeof a;
        if (open_address_known_) open_address_ = a;
    }
    if (!open_address_known_) return false;
    path_id = open_address_.PathId;
    target_id = open_address_.TargetId;
    lun = open_address_.Lun;
    return true;
}

bool TAtaDevice::open_device(int index, const char* path, int kind) {
    const bool by_index = path == nullptr || *path == '\0';
    if (kind == kOpenAta && by_index) {
        if (index < 0 || index >= iDevCount || !pDevList) return false;
        iDevIndex = index;
        pCurEntry = &pDevList[index];
        wVendorId = pCurEntry->wVendorId;
        wDeviceId = pCurEntry->wDeviceId;
    }
    close_device();
    if (!reopening_) {
        last_open_index_ = index;
        last_open_path_ = by_index ? std::string() : std::string(path);
        last_open_kind_ = kind;
    }

    std::string target;
    if (!by_index) {
        target = path;
    } else if (kind == kOpenCsmi) {
        target = Format("\\\\.\\SCSI%d:", index);
    } else if (pCurEntry) {
        target = std::string(discovery::FieldView(pCurEntry->szDevicePath));
    } else {
        return false;  // nothing was ever made current
    }

    uint32_t error = 0;
    if (platform_.storage) hDevice = platform_.storage->OpenReadWrite(target, error);

    if (kind == kOpenCsmi) {
        iProtocol = kProtoCsmi;
    } else if (kind == kOpenNvme) {
        iProtocol = kProtoNvme;
    } else if (!hDevice) {
        // Nothing to probe: a disk that vanished after the enumeration gets no command at all.
        iProtocol = kProtoNone;
    } else {
        // The entry that describes this path: the preferred transport, and the address the
        // miniport's commands carry. An open by path leaves the current entry as it was.
        const discovery::DISK_NODE* entry = nullptr;
        if (pCurEntry && (by_index || text::EqualsNoCase(pCurEntry->szDevicePath, target.c_str()))) entry = pCurEntry;
        for (int i = 0; !entry && i < iDevCount; ++i)
            if (text::EqualsNoCase(pDevList[i].szDevicePath, target.c_str())) entry = &pDevList[i];
        pOpenEntry = entry;
        Probe(entry);
    }
    // No transport this object selects works without a handle (12 and 13 are never chosen).
    if (!hDevice) {
        dwLastError = error;
        return false;
    }
    if (iProtocol == kProtoJmicron) detect_bridge_port();
    write_debug(Format("(%s) CreateFile OK\n", protocol_name()));
    return true;
}

uint8_t TAtaDevice::PreferredFor(const discovery::DISK_NODE* entry) {
    const uint32_t os_code = system::OSVersionCode(platform_.system);
    uint8_t preferred = entry ? PreferredTransport(os_code, entry->bBusType, entry->wVendorId, entry->wDeviceId)
                              : PreferredTransport(os_code, 0, 0, 0);
    if (entry && entry->wVendorId == kPciVendorSil && hDevice && sil_driver_version() >= 2.2 - 1e-9)
        preferred = kProtoSil;
    return preferred;
}

bool TAtaDevice::ProbeWith(uint8_t transport, bool identify) {
    iProtocol = transport;
    // A JMicron command needs the bridge port; without it nothing is sent.
    if (transport == kProtoJmicron) detect_bridge_port();
    return (identify ? identify_device() : read_vendor_info()) == ATACMD_OK;
}

void TAtaDevice::Probe(const discovery::DISK_NODE* entry) {
    // The preferred transport goes first: behind a USB bridge its own blocks are the way to the
    // drive, and the plain order would spend commands on requests the bridge does not carry.
    const uint8_t preferred = PreferredFor(entry);
    bool found = (vendor_probe_ && ProbeWith(preferred, false)) || ProbeWith(preferred, true);
    static constexpr uint8_t kOrder[] = {kProtoAta, kProtoScsi, kProtoSat};
    for (int round = vendor_probe_ ? 0 : 1; round < 2 && !found; ++round) {
        for (uint8_t t : kOrder) {
            if (t == preferred) continue;
            if (ProbeWith(t, round == 1)) {
                found = true;
                break;
            }
        }
    }
    if (!found) iProtocol = kProtoNone;
    write_debug(Format("PRO: %s\n", protocol_name()));
}

bool TAtaDevice::EnsureOpen() {
    if (hDevice) return true;
    // The same drive as the last open, by the same index or path; never open was nothing to
    // reopen. During a reopen the probe's own commands must not reopen again.
    if (reopening_ || (last_open_path_.empty() && last_open_index_ < 0)) return false;
    reopening_ = true;
    open_device(last_open_index_, last_open_path_.empty() ? nullptr : last_open_path_.c_str(), last_open_kind_);
    reopening_ = false;
    return hDevice != nullptr;
}

uint32_t TAtaDevice::TimeoutSeconds() const { return fTimeout > 0 ? static_cast<uint32_t>(fTimeout) : 0; }

uint8_t TAtaDevice::Failed(const IoResult& io, const char* format) {
    dwLastError = io.last_error;
    write_debug(Format(format, io.last_error, io.last_error));
    return ResultOfLastError(io.last_error);
}

void TAtaDevice::LogCommand(uint8_t cmd, uint8_t fr, uint8_t sc, uint8_t sn, uint8_t cl, uint8_t ch,
                            bool line_break) {
    write_debug(Format("(%s) Cmd:%02X FR:%02X SC:%02X SN:%02X CL:%02X CH:%02X  %d / %d%s", protocol_name(), cmd, fr,
                       sc, sn, cl, ch, iChunk + 1, iChunkTotal, line_break ? "\n" : ""));
}

void TAtaDevice::SetNoRegs() { OutRegs = IdeRegs{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}; }

uint8_t TAtaDevice::ata_command(IdeRegs& regs, uint8_t* buffer, IdeRegs* prev, uint8_t direction, uint32_t& length) {
    switch (iProtocol) {
    case kProtoAta: case kProtoIde: case kProtoScsi: case kProtoSil: case kProtoSat: case kProtoJmicron:
    case kProtoProlific: case kProtoSunplus: case kProtoIodata: case kProtoLogitec: case kProtoCypress:
    case kProtoCsmi:
        break;
    default:
        // 0, 12, 13, 15, 16 carry no ATA commands.
        return ATACMD_NOT_SUPPORT;
    }
    // Reopen first: the reopening probe runs commands of its own on CmdTimer.
    if (!EnsureOpen()) return ATACMD_FAIL;
    CmdTimer.Start();
    uint8_t result = ATACMD_NOT_SUPPORT;
    switch (iProtocol) {
    case kProtoAta: result = ata_passthrough(regs, buffer, prev, direction, length); break;
    case kProtoIde: result = ide_passthrough(regs, buffer, direction, length); break;
    case kProtoScsi: result = scsi_passthrough(regs, buffer, direction, length); break;
    case kProtoSil: result = sil_passthrough(regs, buffer, prev, direction, length); break;
    case kProtoSat: result = sat_passthrough(regs, buffer, prev, direction, length); break;
    case kProtoJmicron: result = jmicron_command(regs, buffer, direction, length); break;
    case kProtoProlific: result = prolific_command(regs, buffer, prev, direction, length); break;
    case kProtoSunplus: result = sunplus_command(regs, buffer, prev, direction, length); break;
    case kProtoIodata: result = simple_bridge_command(IodataBlock(regs, iBridgePort), regs, buffer, direction, length); break;
    case kProtoLogitec: result = simple_bridge_command(LogitecBlock(regs, iBridgePort), regs, buffer, direction, length); break;
    case kProtoCypress: result = simple_bridge_command(CypressBlock(regs, iBridgePort), regs, buffer, direction, length); break;
    case kProtoCsmi: result = csmi_passthrough(regs, buffer, direction, length); break;
    }
    CmdTimer.Stop();
    return result;
}

}  // namespace orvane::device
