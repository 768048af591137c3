#include "discovery/dev_mgr.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "discovery/setup_property.h"
#include "discovery/text_convert.h"

namespace orvane::discovery {

using namespace platform;

TDevMgr::TDevMgr(Platform& platform, MessagePump* pump, LogWriter log)
    : platform_(platform), pump_(pump), log_(std::move(log)) {
    if (platform_.tree) {
        libraries_ = platform_.tree->Load();
        bound_ = platform_.tree->Bound();
    }
    OsVersion v;
    if (platform_.system.GetVersionEx(v)) {
        wProductType = v.wProductType;
    } else if (!platform_.system.GetVersionBasic(v)) {
        v = OsVersion{};
    }
    dwOSMajor = v.dwMajorVersion;
    dwOSMinor = v.dwMinorVersion;
    dwPlatformId = v.dwPlatformId;
    bIsNT = dwPlatformId == kPlatformNT ? 1 : 0;
}

// The nodes (with their chains and records) go before the libraries.
TDevMgr::~TDevMgr() {
    pNodes.clear();
    libraries_.reset();
}

bool TDevMgr::setup_api_missing() const {
    if (!platform_.tree) return true;
    for (int i = 0; i < kRequiredSetupEntries; ++i)
        if (!bound_[i]) return true;
    return false;
}

void TDevMgr::Log(const std::string& text) const {
    if (log_) log_(text);
}

bool TDevMgr::enumerate_devices() {
    if (setup_api_missing()) return false;
    // WMI's disk drives, asked once: their number is the count the scan expects, their records
    // describe the nodes afterwards.
    std::vector<std::unique_ptr<DISK_INFO>> records;
    const bool wmi_ok = query_disk_drives(records);
    iExpectedCount = static_cast<int16_t>(wmi_ok ? static_cast<uint16_t>(records.size()) : count_disks());

    DRIVE_LETTER_ENTRY (&letters)[kLetterMapSize] = letters_;
    letters_ok_ = map_drive_letters(letters, kLetterMapSize);
    wmi_drives_.clear();
    wmi_drives_ok_ = false;

    pNodes.clear();
    iNodeCount = 0;
    left_out_.clear();
    const int size = std::max<int>(iExpectedCount, 0);
    // Each pass starts from fresh nodes so nothing of an earlier pass lingers.
    for (int pass = 0; pass < kMaxEnumeratePasses; ++pass) {
        try {
            pNodes.clear();
            pNodes.resize(static_cast<size_t>(size));
        } catch (...) {
            pNodes.clear();
            return false;
        }
        try {
            iNodeCount = scan_disks(pNodes.data(), size);
        } catch (...) {
            iNodeCount = 0;
            found_ = 0;
            pNodes.clear();
            pNodes.resize(static_cast<size_t>(size));
        }
        if (found_ == iExpectedCount) break;
    }
    for (const std::string& path : left_out_)
        Log("Disk list holds " + std::to_string(kMaxListedDisks) + " disks; left out: " + path + "\n");

    if (wmi_ok) {
        wmi_drives_ok_ = true;
        for (const auto& rec : records) wmi_drives_.push_back(*rec);
        for (const auto& rec : records) {
            DISK_NODE* node = nullptr;
            for (int i = 0; i < iNodeCount && !node; ++i)
                if (static_cast<uint32_t>(pNodes[i].bDeviceNumber) == static_cast<uint32_t>(rec->Index))
                    node = &pNodes[i];
            if (!node) continue;
            node->pInfo = std::make_unique<DISK_INFO>(*rec);
            std::string_view id = FieldView(rec->DeviceID);
            size_t at = id.find("PHYSICALDRIVE");
            int64_t d = -1;
            if (at != std::string_view::npos && ToInt64(id.substr(at + 13), d) && d >= 0 && d < kLetterMapSize)
                std::memcpy(node->DriveLetters, letters[d].Letters, sizeof node->DriveLetters);
        }
    } else {
        for (int i = 0; i < iNodeCount; ++i) BuildFallbackInfo(pNodes[i]);
    }
    return true;
}

void TDevMgr::BuildFallbackInfo(DISK_NODE& node) {
    if (!platform_.storage) return;
    uint32_t err = 0;
    std::string path(FieldView(node.szDevicePath));
    auto disk = platform_.storage->OpenReadWrite(path, err);
    if (!disk) return;
    auto info = std::make_unique<DISK_INFO>();
    DISK_GEOMETRY g;
    if (get_drive_geometry(disk.get(), g)) {
        info->TotalCylinders = static_cast<uint64_t>(g.Cylinders);
        info->TracksPerCylinder = g.TracksPerCylinder;
        info->SectorsPerTrack = g.SectorsPerTrack;
        info->BytesPerSector = g.BytesPerSector;
        info->TotalHeads = 255;  // fixed, as the records always carried it
        info->TotalTracks = info->TotalCylinders * g.TracksPerCylinder;
        info->TotalSectors = info->TotalTracks * g.SectorsPerTrack;
        info->Size = info->TotalSectors * g.BytesPerSector;
    }
    info->Partitions = static_cast<uint32_t>(count_partitions(disk.get()));
    info->Signature = get_disk_signature(disk.get());
    SCSI_ADDRESS a{};
    if (get_scsi_address(path, a)) {
        info->SCSIBus = a.PathId;
        info->SCSILogicalUnit = a.Lun;
        info->SCSIPort = a.PortNumber;
        info->SCSITargetId = a.TargetId;
    } else {
        info->SCSIBus = info->SCSILogicalUnit = info->SCSIPort = info->SCSITargetId = -1;
    }
    CopyText(info->InterfaceType, FieldView(node.szEnumerator));
    std::string drive;
    if (find_physical_drive(path, drive)) CopyText(info->DeviceID, drive);
    info->Index = get_device_number(path);
    node.pInfo = std::move(info);
}

namespace {

uint32_t AddressKey(const SCSI_ADDRESS& a) {
    return uint32_t{a.PortNumber} * 4096 + uint32_t{a.PathId} * 256 + uint32_t{a.TargetId} * 16 + a.Lun;
}

// Selection by SCSI address; among equal keys the later node wins, nodes without an address
// follow in their order.
void SortByAddress(DISK_NODE* nodes, int n) {
    std::vector<DISK_NODE> scratch;
    scratch.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) nodes[i].bTaken = 0;
    for (;;) {
        int best = -1;
        for (int i = 0; i < n; ++i) {
            if (nodes[i].bTaken || !nodes[i].bHasScsiAddress) continue;
            if (best < 0 || AddressKey(nodes[i].ScsiAddress) <= AddressKey(nodes[best].ScsiAddress)) best = i;
        }
        if (best < 0) break;
        nodes[best].bTaken = 1;
        scratch.push_back(std::move(nodes[best]));
    }
    for (int i = 0; i < n; ++i)
        if (!nodes[i].bTaken) scratch.push_back(std::move(nodes[i]));
    for (int i = 0; i < n; ++i) nodes[i] = std::move(scratch[static_cast<size_t>(i)]);
}

}  // namespace

int TDevMgr::scan_disks(DISK_NODE* nodes, int max) {
    found_ = 0;
    left_out_.clear();
    ancestors_.clear();
    if (setup_api_missing()) return 0;
    int n = enum_disk_interfaces(GUID_DEVINTERFACE_DISK, nodes, max);
    for (int i = 0; i < n; ++i) {
        DISK_NODE& node = nodes[i];
        std::string path(FieldView(node.szDevicePath));
        // One read-only open for the disk's own queries.
        const auto disk = open_for_query(path);
        node.bHasScsiAddress = get_scsi_address(disk.get(), node.ScsiAddress) ? 1 : 0;
        node.iDeviceNumber = get_device_number(disk.get());
        node.bDeviceNumber = static_cast<uint8_t>(node.iDeviceNumber & 0xFF);
        node.bBusType = get_bus_type(disk.get());
        uint8_t ids[256];
        if (get_device_ids(disk.get(), ids)) {
            STORAGE_DEVICE_DESCRIPTOR desc;
            std::memcpy(&desc, ids, sizeof desc);
            // Offsets come from the driver: copy only what lies inside the buffer.
            auto take = [&](uint32_t offset, char* field, size_t width) {
                if (offset == 0 || offset >= sizeof ids) return;
                std::memcpy(field, ids + offset, std::min<size_t>(width, sizeof ids - offset));
            };
            take(desc.ProductRevisionOffset, node.ProductRevisionText, sizeof node.ProductRevisionText);
            take(desc.SerialNumberOffset, node.SerialNumberText, sizeof node.SerialNumberText);
        }
        get_adapter_limits(path, node.dwMaxTransferLength, node.dwMaxPhysicalPages);
    }
    SortByAddress(nodes, n);
    found_ = n;
    int kept = std::min(n, kMaxListedDisks);
    for (int i = kept; i < n; ++i) {
        left_out_.emplace_back(FieldView(nodes[i].szDevicePath));
        nodes[i] = DISK_NODE{};
    }
    for (int i = 0; i < kept; ++i) identify_controller(nodes[i]);
    ancestors_.clear();
    return kept;
}

int TDevMgr::enum_disk_interfaces(const Guid& cls, DISK_NODE* nodes, int max) {
    DeviceTree& tree = *platform_.tree;
    auto set = tree.GetClassDevs(&cls, kDigcfPresent | kDigcfDeviceInterface);
    if (!set) return 0;

    constexpr size_t kDetailSize = 512;
    constexpr size_t kPathAt = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    std::vector<uint8_t> detail(kDetailSize, 0);
    const uint32_t cb = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    std::memcpy(detail.data(), &cb, sizeof cb);
    for (int i = 0; i < max; ++i) {
        SP_DEVICE_INTERFACE_DATA iface{};
        iface.cbSize = sizeof iface;
        if (!set->EnumDeviceInterfaces(cls, static_cast<uint32_t>(i), iface)) break;
        if (!set->GetDeviceInterfaceDetail(iface, detail.data(), kDetailSize, nullptr)) break;
        CopyText(nodes[i].szDevicePath, FirstString(detail.data() + kPathAt, kDetailSize - kPathAt));
    }

    int rounds = 0;
    for (int i = 0; i < max; ++i) {
        SP_DEVINFO_DATA dev{};
        dev.cbSize = sizeof dev;
        if (!set->EnumDeviceInfo(static_cast<uint32_t>(i), dev)) break;
        DISK_NODE& node = nodes[i];
        char id[sizeof node.szInstanceId] = {};
        if (tree.GetDeviceId(dev.DevInst, id, sizeof id - 1) == kCrSuccess) CopyText(node.szInstanceId, id);
        ReadPropertyFields(tree, *set, dev,
                           {Field(kSpdrpDeviceDesc, node.szDeviceDesc), Field(kSpdrpEnumeratorName, node.szEnumerator),
                            Field(kSpdrpPhysicalDeviceObjectName, node.szPdoName), Field(kSpdrpDriver, node.szDriverKey),
                            Field(kSpdrpService, node.szService), Field(kSpdrpLocationInformation, node.szLocation),
                            Field(kSpdrpHardwareId, node.szHardwareId), Field(kSpdrpCompatibleIds, node.szCompatibleId),
                            Field(kSpdrpFriendlyName, node.szFriendlyName)},
                           PropertyRead::Probe);
        std::string text;
        if (ReadPropertyText(tree, *set, dev, kSpdrpClassGuid, text) && text.size() >= 38 && text[0] == '{' &&
            text[37] == '}')
            ParseUuid(std::string_view(text).substr(1, 36), node.ClassGuid);
        ++rounds;
    }
    uint32_t err = tree.LastError();
    if (err != 0 && err != kErrorNoMoreItems) return 0;
    return rounds;
}

}  // namespace orvane::discovery
