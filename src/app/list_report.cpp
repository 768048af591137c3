#include "app/list_report.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "device/ata_device.h"
#include "device/drive_description.h"
#include "device/nvme_firmware.h"
#include "discovery/dev_mgr.h"
#include "text/text.h"

namespace orvane::app {

namespace {

using discovery::DISK_NODE;
using discovery::FieldView;

constexpr int kCsmiPorts = 16;  // the SCSI ports the drive scan asks for a CSMI driver

const char* BusName(uint8_t bus) {
    static const char* const kNames[] = {"Unknown", "SCSI", "ATAPI", "ATA", "1394", "SSA", "Fibre", "USB", "RAID",
                                         "iSCSI", "SAS", "SATA", "SD", "MMC", "Virtual", "FileBackedVirtual",
                                         "Spaces", "NVMe"};
    return bus < sizeof kNames / sizeof kNames[0] ? kNames[bus] : "Other";
}

// A fixed, possibly unterminated field up to its first NUL.
template <size_t N>
std::string Field(const char (&f)[N]) {
    return std::string(FieldView(f));
}

std::string Describe(int index, const DISK_NODE& n) {
    std::string s = Format("Disk %d: %s\n", index, Field(n.szDevicePath).c_str());
    s += Format("  Instance: %s\n", Field(n.szInstanceId).c_str());
    s += Format("  Description: %s\n", Field(n.szFriendlyName[0] ? n.szFriendlyName : n.szDeviceDesc).c_str());
    s += Format("  Bus type: %u (%s)\n", n.bBusType, BusName(n.bBusType));
    if (n.bHasScsiAddress)
        s += Format("  SCSI address: port %u, path %u, target %u, lun %u\n", n.ScsiAddress.PortNumber,
                    n.ScsiAddress.PathId, n.ScsiAddress.TargetId, n.ScsiAddress.Lun);
    else
        s += "  SCSI address: none\n";
    s += n.bDeviceNumber == 0xFF ? std::string("  Device number: none\n")
                                 : Format("  Device number: %u\n", n.bDeviceNumber);
    s += Format("  Controller IDs: %04X:%04X\n", n.wVendorId, n.wDeviceId);
    s += Format("  Service: %s\n", Field(n.szService).c_str());
    for (const discovery::ANCESTOR_NODE* a = n.pParent.get(); a; a = a->pNext.get())
        s += Format("  Parent: %s [%s] %04X:%04X\n", Field(a->szInstanceId).c_str(), Field(a->szService).c_str(),
                    a->wVendorId, a->wDeviceId);
    s += Format("  Revision: %.8s\n", std::string(FieldView(n.ProductRevisionText)).c_str());
    s += Format("  Serial: %.20s\n", std::string(FieldView(n.SerialNumberText)).c_str());
    if (const discovery::DISK_INFO* i = n.pInfo.get()) {
        s += Format("  Info: %s, %s, %s, index %d, %u partitions, %llu bytes\n", Field(i->DeviceID).c_str(),
                    Field(i->Model).c_str(), Field(i->InterfaceType).c_str(), i->Index, i->Partitions,
                    static_cast<unsigned long long>(i->Size));
        s += Format("  Geometry: %llu cylinders, %u heads, %u sectors per track, %u bytes per sector\n",
                    static_cast<unsigned long long>(i->TotalCylinders), i->TotalHeads, i->SectorsPerTrack,
                    i->BytesPerSector);
    } else {
        s += "  Info: none\n";
    }
    std::string letters;
    for (int l = 0; l < 26; ++l)
        if (n.DriveLetters[l]) letters += std::string(letters.empty() ? "" : " ") + static_cast<char>('A' + l) + ":";
    s += "  Drive letters: " + (letters.empty() ? std::string("none") : letters) + "\n";
    return s;
}

// Identify texts are blank padded; the report shows them without the padding.
std::string Trimmed(const std::string& s) { return text::TrimEnd(s, std::string_view(" \0", 2)); }

// What the drive itself answers to IDENTIFY: the transport open_device settles on and the
// identify texts.
std::string DriveLines(device::TAtaDevice& dev, int index) {
    const device::DriveDescription d = device::DescribeDrive(dev, index);
    if (!d.opened) return Format("  Transport: none (the disk did not open, error %u)\n", dev.dwLastError);
    std::string s = Format("  Transport: %u (%s)\n", d.transport, d.transport_name.c_str());
    if (d.identify_result != device::ATACMD_OK) return s + Format("  Identify: failed (0x%02X)\n", d.identify_result);
    s += Format("  Identify model: %s\n", Trimmed(d.model).c_str());
    s += Format("  Identify revision: %s\n", Trimmed(d.revision).c_str());
    s += Format("  Identify serial: %s\n", Trimmed(d.serial).c_str());
    return s;
}

// A RAID controller's port: its CSMI driver and, per SATA or STP drive behind a phy, what the
// drive answers to IDENTIFY through STP. Empty for a port that does not open.
std::string CsmiPortLines(device::TAtaDevice& dev, int port) {
    if (!dev.open_device(port, nullptr, device::kOpenCsmi)) return "";
    records::CSMI_SAS_PHY_INFO phys{};
    if (!dev.get_phy_info(phys)) return Format("CSMI port %d: no CSMI phy table\n", port);
    const records::CSMI_SAS_DRIVER_INFO& d = dev.CsmiDriverInfo;
    std::string s = Format("CSMI port %d: \"%.81s\", \"%.81s\", revision %u.%u, %u phys\n", port,
                           reinterpret_cast<const char*>(d.szName), reinterpret_cast<const char*>(d.szDescription),
                           d.usMajorRevision, d.usMinorRevision, phys.bNumberOfPhys);
    for (const records::CSMI_SAS_PHY_ENTITY& e : phys.Phy) {
        const records::CSMI_SAS_IDENTIFY& a = e.Attached;
        const bool sata = a.bTargetPortProtocol & 0x01, stp = a.bTargetPortProtocol & 0x04;
        if (e.Identify.bDeviceType == 0 || a.bDeviceType == 0 || !(sata || stp)) continue;
        uint32_t address[2];
        std::memcpy(address, a.bSASAddress, sizeof address);
        dev.set_phy(e.Identify.bPhyIdentifier);
        dev.set_port(e.bPortIdentifier);
        dev.set_sas_address(address[0], address[1]);
        dev.set_timeout(3.0f);
        s += Format("  Phy %u, port %u, %s: ", e.Identify.bPhyIdentifier, e.bPortIdentifier, sata ? "SATA" : "STP");
        const uint8_t result = dev.identify_device();
        if (result != device::ATACMD_OK) {
            s += Format("identify failed (0x%02X)\n", result);
            continue;
        }
        device::DriveDescription id;
        device::TakeIdentifyTexts(dev.read_buffer(), id);
        s += Format("%s, revision %s, serial %s\n", Trimmed(id.model).c_str(), Trimmed(id.revision).c_str(),
                    Trimmed(id.serial).c_str());
    }
    return s;
}

// An NVMe disk's firmware slots, as the driver's firmware interface reports them.
std::string NvmeLines(device::TAtaDevice& dev, const DISK_NODE& n) {
    if (!dev.open_device(-1, std::string(FieldView(n.szDevicePath)).c_str(), device::kOpenNvme))
        return Format("  NVMe firmware: the disk did not open, error %u\n", dev.dwLastError);
    std::vector<uint8_t> buffer(device::kNvmeRequestSize);
    const bool carried = dev.DeviceGetFirmwareInfo(buffer.data(), device::kNvmeRequestSize, false);
    dev.close_device();
    if (!carried) return "  NVMe firmware: the request failed, " + dev.last_error_text() + "\n";
    if (const uint32_t code = device::FirmwareReturnCode(buffer.data()); code != 0)
        return Format("  NVMe firmware: the driver answered 0x%X\n", code);
    const device::NvmeFirmwareInfo info = device::ParseFirmwareInfo(
        buffer.data() + records::kFirmwareDataOffset, device::kNvmeRequestSize - records::kFirmwareDataOffset);
    std::string s = Format("  NVMe firmware: upgrade %s, %d slots, active slot %d, pending %s\n",
                           info.upgrade_support ? "supported" : "not supported", info.slot_count, info.active_slot,
                           info.pending_slot == records::kNoPendingSlot
                               ? "none" : Format("slot %d", info.pending_slot).c_str());
    for (const records::STORAGE_FIRMWARE_SLOT_INFO& slot : info.slots)
        s += Format("  NVMe slot %d: %s, revision %s\n", slot.SlotNumber, slot.ReadOnly ? "read-only" : "writable",
                    device::RevisionText(slot).c_str());
    return s;
}

// What WMI says on its own: a disk that the interface enumeration misses still shows here.
// The answers are those of the device list's enumeration just before: asking again would cost
// as much once more.
std::string WmiLines(const discovery::TDevMgr& mgr) {
    std::vector<discovery::DISK_INFO> drives;
    if (!mgr.last_wmi_drives(drives)) return "WMI disk drives: unavailable\n";
    std::string s = Format("WMI disk drives: %d\n", static_cast<int>(drives.size()));
    for (const auto& i : drives)
        s += Format("  Index %d: %s, %s, %s, %llu bytes\n", i.Index, Field(i.DeviceID).c_str(),
                    Field(i.Model).c_str(), Field(i.InterfaceType).c_str(), static_cast<unsigned long long>(i.Size));
    discovery::DRIVE_LETTER_ENTRY map[discovery::kLetterMapSize];
    if (!mgr.last_drive_letters(map)) return s + "WMI drive letters: unavailable\n";
    std::string letters;
    for (int d = 0; d < discovery::kLetterMapSize; ++d)
        for (int l = 0; l < 26; ++l)
            if (map[d].Letters[l]) letters += Format(" %c: on disk %d,", 'A' + l, d);
    if (!letters.empty()) letters.pop_back();
    return s + "WMI drive letters:" + (letters.empty() ? std::string(" none") : letters) + "\n";
}

}  // namespace

bool WantsListReport(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (text::EqualsNoCase(a, "/LIST")) return true;
    }
    return false;
}

int RunListReport(AppContext& ctx, std::FILE* out) {
    platform::SystemApi& api = ctx.platform.system;
    DebugLog log(api, DebugLog::DefaultPath(api));
    auto emit = [&](const std::string& text) {
        if (out) {
            std::fputs(text.c_str(), out);
            std::fflush(out);
        }
        log.Write(text);
    };
    // The disks are the device object's own list, the one the drive scan opens. Its lines and
    // its device manager's go to the debug log only, so the disks the list left out are
    // repeated on the console here.
    device::TAtaDevice dev(ctx.platform, log.path());
    // A support tool runs on drives of any maker: standard commands only, so the probe uses
    // IDENTIFY alone and the vendor page (DEF) is not read.
    dev.set_vendor_probe(false);
    discovery::TDevMgr& mgr = dev.device_manager();
    if (out)
        for (const std::string& path : mgr.left_out())
            std::fputs(Format("Disk list holds %d disks; left out: %s\n", discovery::kMaxListedDisks, path.c_str())
                           .c_str(),
                       out);
    if (!dev.device_list_ready()) {
        emit(mgr.setup_api_missing() ? "Disk list: the setup services are missing\n"
                                     : "Disk list: the enumeration failed\n");
        return 0;
    }
    emit(Format("Disks: %d\n", dev.device_count()));
    for (int i = 0; i < dev.device_count(); ++i) {
        emit(Describe(i, *dev.device_entry(i)));
        emit(DriveLines(dev, i));
        if (dev.device_entry(i)->bBusType == records::BusTypeNvme) emit(NvmeLines(dev, *dev.device_entry(i)));
    }
    // Drives behind a RAID controller are no disks of the list: only their port reaches them.
    for (int port = 0; port < kCsmiPorts; ++port) emit(CsmiPortLines(dev, port));
    emit(WmiLines(mgr));
    return 0;
}

}  // namespace orvane::app
