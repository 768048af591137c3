// The drive scan: the device object's disks (or the CSMI ports' drives) into drives_.m_DevInfo.
#include "app/drive_scan.h"

#include <cstring>
#include <vector>

#include "app/orvane_main.h"
#include "device/identify.h"
#include "device/nvme_firmware.h"
#include "text/text.h"

namespace orvane::app {
namespace {

constexpr double kIdentifyTimeout = 3.0;
constexpr int kAtaAttempts = 3;
constexpr int kCsmiTargetAttempts = 6;

// The DEF index character as the log shows it; a NUL shows nothing.
std::string IndexChar(const IDENTIFY_SUMMARY& id) { return id.DEF[7] ? std::string(1, id.DEF[7]) : std::string(); }

std::string F(const char (&field)[8]) { return text::FieldText(field); }


}  // namespace

bool SecurityLocked(const uint8_t* identify) {
    const uint16_t w128 = static_cast<uint16_t>(identify[256] | identify[257] << 8);
    return (w128 & 0x0006) == 0x0006;
}

int TOrvaneMain::ScanSSDDrive(int kind) {
    const uint64_t saved_sas = address_.m_SasAddr;
    std::memset(drives_.m_DevInfo, 0, sizeof drives_.m_DevInfo);
    if (!m_Device) return 0;
    if (kind == kScanAta) return ScanAta(0);
    if (m_Package.opt.bUnattended) return ScanCsmiTarget(saved_sas);
    return ScanCsmiPorts(0);
}

std::string TOrvaneMain::NowText() const { return LogDateTime(ctx_.platform.system.LocalTimeNow()); }

int TOrvaneMain::ScanAta(int n) {
    device::TAtaDevice& dev = *m_Device;
    const int d = dev.device_count();
    LogLine(Format("\n\n============== (ATA) SCANNING COUNT(%d) %s ==============\n", d, NowText().c_str()));
    // Asked once per scan; each disk's own number came with the scan's one open of it. Two
    // unknown numbers compare equal: a disk that cannot say counts as the system disk.
    const int system_disk = SystemDiskNumber();
    for (int i = 0; i < d && n < kMaxDrives; ++i) {
        const discovery::DISK_NODE* node = dev.device_entry(i);
        if (!node) continue;
        DEV_INFO& e = drives_.m_DevInfo[n];
        e = DEV_INFO{};
        const std::string service = node->pParent ? text::FieldText(node->pParent->szService) : std::string();
        LogLine(Format("SCAN: %d\n", i));
        LogLine(Format("%d DID : %s, PATH: %s\n VID: %Xh , DID: %Xh, Service: %s, Bustype: %Xh\n", i,
                       text::FieldText(node->szInstanceId).c_str(), text::FieldText(node->szDevicePath).c_str(),
                       node->wVendorId, node->wDeviceId, service.c_str(), node->bBusType));
        std::memcpy(e.szInstanceId, node->szInstanceId, sizeof e.szInstanceId);
        std::memcpy(e.szDevicePath, node->szDevicePath, sizeof e.szDevicePath);

        const std::string upper = text::ToUpper(service);
        e.bIsNvme = node->bBusType == 17 && upper.find("NVME") != std::string::npos;
        e.bIsNVMe_InBoxDriver = node->bBusType == 17 && upper.find("STORNVME") != std::string::npos;
        e.bIsAhci = upper.find("AHCI") != std::string::npos;
        LogLine(Format("Parent InstanceId: %s / Service: %s, bIsNvme=%d, bIsNVMe_InBoxDriver=%d\n",
                       node->pParent ? text::FieldText(node->pParent->szInstanceId).c_str() : "", service.c_str(),
                       e.bIsNvme, e.bIsNVMe_InBoxDriver));

        e.bExisted = true;
        e.order = i;
        e.wPort = node->ScsiAddress.PortNumber;
        e.wPathId = node->ScsiAddress.PathId;
        e.wTarget = node->ScsiAddress.TargetId;
        e.wLun = node->ScsiAddress.Lun;

        if (e.bIsNvme) {
            PutField(e.szModel, text::FieldText(node->szFriendlyName, 40));
            std::memcpy(e.szModelChk, e.szModel, sizeof e.szModel);
            std::memcpy(e.szFW, node->ProductRevisionText, sizeof e.szFW);
            std::memcpy(e.szDEF, node->ProductRevisionText, sizeof e.szDEF);
            std::memcpy(e.szSN, node->SerialNumberText, sizeof e.szSN);
            LogLine(Format("[%d] %.40s %.8s \n", i, text::FieldText(e.szModel).c_str(), F(e.szFW).c_str()));
        }
        e.bSystemDrive = node->iDeviceNumber == system_disk;
        // "/T:" names the one drive to update. An NVMe drive is opened by its own path, so unless it
        // is that drive it must not enter the table, where it could become the update's target.
        if (e.bIsNvme && !address_.m_DevPath.empty() && !SamePhysicalDisk(address_.m_DevPath, text::FieldText(e.szDevicePath))) {
            LogLine(Format("[%d] not the drive of DEV_PATH, not scanned\n", i));
            continue;
        }

        LogLine(Format("before ScanSSDDrive_i: %d  iErrorLevel:%d \n", i, iErrorLevel));
        bool opened = false;
        try {
            if (e.bIsNvme) {
                opened = dev.open_device(i, text::FieldText(e.szDevicePath).c_str(), device::kOpenNvme);
            } else {
                opened = dev.open_device(i, address_.m_DevPath.empty() ? nullptr : address_.m_DevPath.c_str(), device::kOpenAta);
            }
        } catch (const std::exception&) {
            iErrorLevel = 3;
            LogLine(Format("Exception !ScanSSDDrive_i: %d   \n", i));
            return -1;
        }
        LogLine(Format("after ScanSSDDrive_i: %d  iErrorLevel:%d \n", i, iErrorLevel));
        if (!opened) continue;

        bool counted = false;
        if (e.bIsNvme) {
            if (!e.bIsNVMe_InBoxDriver) {
                LogLine("No MS Inbox-driver found !");
                continue;
            }
            for (int attempt = 0; attempt < kAtaAttempts && !counted; ++attempt) {
                if (attempt > 0) m_Stopwatch.DelayMs(500);
                char revision[8] = {};
                uint8_t read_only = 0;
                const auto info = GetNvmeSlotInfo(revision, read_only);
                if (!info) continue;
                std::memcpy(e.szFW, revision, sizeof e.szFW);
                std::memcpy(e.szDEF, revision, sizeof e.szDEF);
                e.FwSlotInfo = *info;
                e.FwSlotReadOnly = read_only;
                LogLine(Format("Refresh by slot info : [%d] %.40s %.8s \n", i, text::FieldText(e.szModel).c_str(),
                               F(e.szFW).c_str()));
                counted = true;
            }
        } else {
            for (int attempt = 0; attempt < kAtaAttempts && !counted; ++attempt) {
                if (attempt > 0) m_Stopwatch.DelayMs(500);
                const IdentifyRead read = IdentifyDrive();
                if (read.result != device::ATACMD_OK) continue;
                TakeIdentify(e, read);
                LogLine(Format("[%d-%s] %.40s %.8s | %.7s\n", i, IndexChar(read.id).c_str(),
                               text::FieldText(e.szModel).c_str(), F(e.szFW).c_str(), F(e.szDEF).c_str()));
                counted = true;
            }
        }
        if (counted) ++n;
    }
    dev.close_device();
    LogLine(Format("ATA_DEV_CNT: %d / %d \n", n, d));
    LogLine(Format("============== END SCANNING %s ==============\n\n", NowText().c_str()));
    return n;
}

int TOrvaneMain::ScanCsmiPorts(int n) {
    device::TAtaDevice& dev = *m_Device;
    LogLine(Format("============== (CSMI) SCANNING %s =============\n", NowText().c_str()));
    for (int c = 0; c < 16 && n < kMaxDrives; ++c) {
        LogLine(Format("----------------\nScanning csmi%d,0 \n----------------", c));
        records::CSMI_SAS_PHY_INFO phys{};
        if (!dev.open_device(c, nullptr, device::kOpenCsmi) || !dev.get_phy_info(phys)) continue;
        LogLine(Format("max_number_of_phys=%d, phy_info.bNumberOfPhys=%d\n", records::kCsmiMaxPhys,
                       phys.bNumberOfPhys));
        for (int p = 0; p < static_cast<int>(records::kCsmiMaxPhys) && n < kMaxDrives; ++p) {
            const records::CSMI_SAS_PHY_ENTITY& phy = phys.Phy[p];
            if (phy.Identify.bDeviceType == 0) continue;
            if (phy.Attached.bDeviceType == 0) {
                LogLine(Format("csmi%d,%d : no device (attach)", c, p));
                continue;
            }
            if (phy.Attached.bTargetPortProtocol != 1 && phy.Attached.bTargetPortProtocol != 4) {
                LogLine(Format("csmi%d,%d : no sata device on port", c, p));
                continue;
            }
            uint64_t sas = 0;
            for (int b = 7; b >= 0; --b) sas = sas << 8 | phy.Attached.bSASAddress[b];
            dev.set_phy(phy.Identify.bPhyIdentifier);
            dev.set_port(phy.bPortIdentifier);
            dev.set_sas_address(static_cast<uint32_t>(sas), static_cast<uint32_t>(sas >> 32));
            IdentifyRead read;
            for (int attempt = 0; attempt < kAtaAttempts && read.result != device::ATACMD_OK; ++attempt)
                read = IdentifyDrive();
            if (read.result != device::ATACMD_OK) continue;
            DEV_INFO& e = drives_.m_DevInfo[n];
            e = DEV_INFO{};
            e.wPort = static_cast<int16_t>(c);
            e.wTarget = phy.Identify.bPhyIdentifier;
            e.wLun = 0;
            e.wPathId = phy.bPortIdentifier;
            e.bExisted = true;
            e.order = c;
            e.csmi_port = phy.bPortIdentifier;
            e.SasAddr = sas;
            e.scsi_index = phy.Identify.bPhyIdentifier;
            TakeIdentify(e, read);
            LogLine(Format("csmi%d,%d : phy_no: %d, csmi_port: %d, scsi_index: %d, SAS_ADDR: %llu\n", c, p, p,
                           e.csmi_port, e.scsi_index, static_cast<unsigned long long>(sas)));
            LogLine(Format("I :[SCSI%d|%016llX] %.40s %.8s\n", c, static_cast<unsigned long long>(sas),
                           text::FieldText(e.szModel).c_str(), F(e.szFW).c_str()));
            ++n;
        }
    }
    dev.close_device();
    LogLine(Format("CSMI_DEV_CNT: %d\n", n));
    LogLine(Format("============== END SCANNING %s ==============\n\n", NowText().c_str()));
    return n;
}

void TOrvaneMain::ApplyCsmiTarget() {
    m_Device->set_phy(static_cast<uint32_t>(address_.m_CsmiIndex));
    m_Device->set_port(static_cast<uint32_t>(address_.m_CsmiPort));
    m_Device->set_sas_address(static_cast<uint32_t>(address_.m_SasAddr), static_cast<uint32_t>(address_.m_SasAddr >> 32));
    LogLine(Format("SCSI_PORT:%d, INDEX:%X, PORT:%X, SAS_ADDR: %016llX\n", address_.m_ScsiPort, address_.m_CsmiIndex, address_.m_CsmiPort,
                   static_cast<unsigned long long>(address_.m_SasAddr)));
}

int TOrvaneMain::ScanCsmiTarget(uint64_t saved_sas) {
    DEV_INFO& e = drives_.m_DevInfo[0];
    e.wPort = static_cast<int16_t>(address_.m_ScsiPort);
    e.bExisted = true;
    e.order = 0;
    if (!m_Device->open_device(address_.m_ScsiPort, nullptr, device::kOpenCsmi)) return 0;
    ApplyCsmiTarget();
    for (int attempt = 0; attempt < kCsmiTargetAttempts; ++attempt) {
        if (attempt == 3) {
            // The "/C:" value may carry the phy and port in its low word and the address above.
            address_.m_CsmiIndex = static_cast<int>(saved_sas >> 16 & 0xFF);
            address_.m_CsmiPort = static_cast<int>(saved_sas >> 24 & 0xFF);
            address_.m_SasAddr = saved_sas >> 32;
            ApplyCsmiTarget();
        }
        const IdentifyRead read = IdentifyDrive();
        if (read.result != device::ATACMD_OK) continue;
        TakeIdentify(e, read);
        // The entry is reached as the command line named it.
        e.order = address_.m_ScsiPort;
        e.scsi_index = address_.m_CsmiIndex;
        e.csmi_port = address_.m_CsmiPort;
        e.SasAddr = address_.m_SasAddr;
        LogLine(Format("IDENTIFY: %40s %8s\n", text::FieldText(e.szModel).c_str(), F(e.szFW).c_str()));
        return 1;
    }
    return 0;
}

void TOrvaneMain::TakeIdentify(DEV_INFO& e, const IdentifyRead& read) {
    std::memcpy(e.szFW, read.id.FW, sizeof e.szFW);
    std::memcpy(e.szModel, read.id.Model, sizeof e.szModel);
    std::memcpy(e.szModelChk, read.id.Model, sizeof e.szModelChk);
    std::memcpy(e.szSN, read.id.SN, sizeof e.szSN);
    std::memcpy(e.szDEF, read.id.DEF, sizeof e.szDEF);
    e.bLocked = read.locked;
}

IdentifyRead TOrvaneMain::IdentifyDrive() {
    device::TAtaDevice& dev = *m_Device;
    dev.set_timeout(static_cast<float>(kIdentifyTimeout));
    IdentifyRead read;
    IDENTIFY_SUMMARY& id = read.id;
    read.result = dev.identify_device();
    if (read.result == device::ATACMD_OK) {
        const uint8_t* data = dev.read_buffer();
        PutField(id.Model, device::IdentifyText(data, device::kIdModelOffset, device::kIdModelLength));
        PutField(id.FW, device::IdentifyText(data, device::kIdFwOffset, device::kIdFwLength));
        PutField(id.SN, device::IdentifyText(data, device::kIdSerialOffset, device::kIdSerialLength));
        read.locked = SecurityLocked(data);
        LogLine(Format("IDENTIFY(frmOrvane): %.40s %.8s, %.20s\n", text::FieldText(id.Model).c_str(),
                       F(id.FW).c_str(), text::FieldText(id.SN).c_str()));
    }
    if (dev.read_vendor_info() != device::ATACMD_OK) {
        std::memcpy(id.DEF, id.FW, sizeof id.DEF);
        LogLine(Format("Cannot get DEF%s(frmOrvane): %.7s\n", IndexChar(id).c_str(), F(id.DEF).c_str()));
    } else {
        std::memcpy(id.DEF, dev.read_buffer(), sizeof id.DEF);
        if (text::TrimView(text::FieldView(id.DEF)).empty()) {
            LogLine("DEF[Idx] (frmOrvane) is Empty, copy FW \n");
            std::memcpy(id.DEF, id.FW, sizeof id.DEF);
        }
        LogLine(Format("DEF%s(frmOrvane): %.7s\n", IndexChar(id).c_str(), F(id.DEF).c_str()));
    }
    return read;
}

std::optional<records::STORAGE_FIRMWARE_INFO> TOrvaneMain::GetNvmeSlotInfo(char (&revision)[8],
                                                                           uint8_t& read_only_slots) {
    std::memset(revision, 0, sizeof revision);
    read_only_slots = 0;
    std::vector<uint8_t> buffer(device::kNvmeRequestSize, 0);
    LogLine("Get firmware slot information data ... ");
    if (!m_Device->DeviceGetFirmwareInfo(buffer.data(), device::kNvmeRequestSize, true)) return std::nullopt;
    if (const uint32_t code = device::FirmwareReturnCode(buffer.data()); code != 0) {
        LogLine(Format("Get firmware information failed. SRB ReturnCode %d", static_cast<int>(code)));
        return std::nullopt;
    }
    const size_t data_offset = records::kFirmwareDataOffset;
    const device::NvmeFirmwareInfo info =
        device::ParseFirmwareInfo(buffer.data() + data_offset, buffer.size() - data_offset);
    if (const auto active = device::ActiveSlotRevision(info)) std::memcpy(revision, active->data(), sizeof revision);
    for (const records::STORAGE_FIRMWARE_SLOT_INFO& s : info.slots)
        if (s.ReadOnly && s.SlotNumber >= 1 && s.SlotNumber <= 8) read_only_slots |= static_cast<uint8_t>(1u << (s.SlotNumber - 1));
    records::STORAGE_FIRMWARE_INFO slots{};
    std::memcpy(&slots, buffer.data() + data_offset, sizeof slots);
    LogLine(Format("Current firmware : %s", F(revision).c_str()));
    LogLine(Format("Slot information : \nVersion %d, Size %d, UpgradeSupport %d\nSlotCount %d, ActiveSlot %d, "
                   "PendingActSlot %d",
                   slots.Version, slots.Size, slots.UpgradeSupport, slots.SlotCount, slots.ActiveSlot,
                   slots.PendingActivateSlot));
    return slots;
}

bool TOrvaneMain::OpenEntry(const DEV_INFO& e, const TargetAddress& address) {
    device::TAtaDevice& dev = *m_Device;
    if (address.gScanType == kScanCsmi) {
        // The port alone reaches no drive: its phy and address as the scan found them.
        if (!dev.open_device(e.order, nullptr, device::kOpenCsmi)) return false;
        dev.set_phy(static_cast<uint32_t>(e.scsi_index));
        dev.set_port(static_cast<uint32_t>(e.csmi_port));
        dev.set_sas_address(static_cast<uint32_t>(e.SasAddr), static_cast<uint32_t>(e.SasAddr >> 32));
        return true;
    }
    if (e.bIsNvme) return dev.open_device(e.order, text::FieldText(e.szDevicePath).c_str(), device::kOpenNvme);
    return dev.open_device(e.order, address.m_DevPath.empty() ? nullptr : address.m_DevPath.c_str(), device::kOpenAta);
}

bool TOrvaneMain::SamePhysicalDisk(const std::string& a, const std::string& b) {
    discovery::TDevMgr& mgr = m_Device->device_manager();
    const int n = mgr.get_device_number(a);
    return n >= 0 && n == mgr.get_device_number(b);
}

int TOrvaneMain::SystemDiskNumber() {
    const std::string dir = ctx_.platform.system.SystemDirectory();
    const std::string volume = "\\\\.\\" + dir.substr(0, dir.find(':')) + ":";
    return m_Device->device_manager().get_device_number(volume);
}

}  // namespace orvane::app
