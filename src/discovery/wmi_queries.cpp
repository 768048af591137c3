// The three WMI questions of a scan: how many disks, each disk's properties, and which drive
// letters lie on which disk.
#include <cstring>
#include <string_view>

#include "discovery/dev_mgr.h"
#include "discovery/text_convert.h"
#include "system/services.h"

namespace orvane::discovery {

using namespace platform;

namespace {

constexpr char kWmiService[] = "Winmgmt";
constexpr int kServiceStartRounds = 3;
constexpr int kServiceStartSeconds = 20;

// Win32_DiskDrive property texts into the record; a text that does not convert is skipped.
void StoreProperty(DISK_INFO& info, const std::string& name, const std::string& value) {
    struct TextField {
        const char* name;
        char* field;
        size_t size;
    } const texts[] = {{"DeviceID", info.DeviceID, sizeof info.DeviceID},
                       {"Caption", info.Caption, sizeof info.Caption},
                       {"InterfaceType", info.InterfaceType, sizeof info.InterfaceType},
                       {"MediaType", info.MediaType, sizeof info.MediaType},
                       {"Model", info.Model, sizeof info.Model},
                       {"Name", info.Name, sizeof info.Name}};
    for (const TextField& t : texts) {
        if (name != t.name) continue;
        size_t n = std::min(value.size(), t.size - 1);
        std::memset(t.field, 0, t.size);
        std::memcpy(t.field, value.data(), n);
        return;
    }
    if (name == "FirmwareRevision") {
        // Eight characters fill the field with no terminator; readers take at most 8.
        std::memset(info.FirmwareRevision, 0, sizeof info.FirmwareRevision);
        std::memcpy(info.FirmwareRevision, value.data(), std::min(value.size(), sizeof info.FirmwareRevision));
        return;
    }
    struct Int32Field {
        const char* name;
        int32_t* field;
    } const signed32[] = {{"Index", &info.Index},
                          {"SCSIBus", &info.SCSIBus},
                          {"SCSILogicalUnit", &info.SCSILogicalUnit},
                          {"SCSIPort", &info.SCSIPort},
                          {"SCSITargetId", &info.SCSITargetId}};
    for (const Int32Field& f : signed32) {
        if (name != f.name) continue;
        int64_t v = 0;
        if (Trim(value).empty()) *f.field = -1;
        else if (ToInt64(value, v) && v >= INT32_MIN && v <= INT32_MAX) *f.field = static_cast<int32_t>(v);
        return;
    }
    if (name == "Partitions") {
        int64_t v = 0;
        if (Trim(value).empty()) info.Partitions = 0;
        else if (ToInt64(value, v) && v >= 0 && v <= UINT32_MAX) info.Partitions = static_cast<uint32_t>(v);
        return;
    }
    struct Low32Field {
        const char* name;
        uint32_t* field;
    } const low32[] = {{"Signature", &info.Signature},
                       {"TotalHeads", &info.TotalHeads},
                       {"BytesPerSector", &info.BytesPerSector},
                       {"SectorsPerTrack", &info.SectorsPerTrack},
                       {"TracksPerCylinder", &info.TracksPerCylinder}};
    for (const Low32Field& f : low32) {
        if (name != f.name) continue;
        int64_t v = 0;
        if (Trim(value).empty()) *f.field = 0;
        else if (ToInt64(value, v)) *f.field = static_cast<uint32_t>(static_cast<uint64_t>(v) & 0xFFFFFFFFu);
        return;
    }
    struct U64Field {
        const char* name;
        uint64_t* field;
    } const wide[] = {{"Size", &info.Size},
                      {"TotalCylinders", &info.TotalCylinders},
                      {"TotalSectors", &info.TotalSectors},
                      {"TotalTracks", &info.TotalTracks}};
    for (const U64Field& f : wide) {
        if (name != f.name) continue;
        uint64_t v = 0;
        if (Trim(value).empty()) *f.field = 0;
        else if (ToUInt64(value, v)) *f.field = v;
        return;
    }
}

// The quoted text after "DeviceID=", as the association's references carry it. Key names in
// WMI object paths are case-insensitive (Wine writes "DeviceId=").
std::string_view AfterDeviceId(std::string_view s) {
    size_t at = text::ToUpper(s).find("DEVICEID=");
    return at == std::string_view::npos ? std::string_view() : s.substr(at + 9);
}

}  // namespace

bool TDevMgr::Connect() {
    SystemApi& api = platform_.system;
    bool started = true;
    for (int round = 0; round < kServiceStartRounds; ++round) {
        if (system::IsServiceRunning(api, kWmiService)) {
            started = true;
            break;
        }
        if (system::IsPreinstallEnvironment(api)) return false;
        started = system::SetServiceState(api, platform_.clock, pump_, kWmiService, true, kServiceStartSeconds);
    }
    return started;
}

WmiStatus TDevMgr::RunQuery(const std::string& cls, bool read_values, std::vector<WmiInstance>& out) {
    out.clear();
    if (!platform_.wmi || !Connect()) return WmiStatus{false, WmiStep::None, 0};
    bool max_wait = dwOSMajor > 5 || (dwOSMajor == 5 && dwOSMinor >= 1);
    return platform_.wmi->Query("Select * from " + cls, max_wait, read_values, out);
}

bool TDevMgr::wmi_query(const std::string& cls, std::vector<std::string>* list, int* count, const char* property) {
    std::vector<WmiInstance> rows;
    if (!RunQuery(cls, list != nullptr, rows).ok) return false;
    if (list)
        for (const WmiInstance& row : rows)
            for (const auto& [name, value] : row)
                if (!property || name == property) list->push_back(name + "=" + value);
    if (count) *count = static_cast<int>(rows.size());
    return true;
}

uint16_t TDevMgr::count_disks() {
    int count = 0;
    if (wmi_query("Win32_DiskDrive", nullptr, &count, nullptr)) return static_cast<uint16_t>(count);
    if (setup_api_missing()) return 0;
    std::vector<DISK_NODE> scratch(kPhysicalDrivesProbed);
    return static_cast<uint16_t>(enum_disk_interfaces(GUID_DEVINTERFACE_DISK, scratch.data(), kPhysicalDrivesProbed));
}

bool TDevMgr::query_disk_drives(std::vector<std::unique_ptr<DISK_INFO>>& list) {
    std::vector<WmiInstance> rows;
    if (!RunQuery("Win32_DiskDrive", true, rows).ok) return false;
    for (const WmiInstance& row : rows) {
        auto info = std::make_unique<DISK_INFO>();
        for (const auto& [name, value] : row) StoreProperty(*info, name, value);
        list.push_back(std::move(info));
    }
    return true;
}

bool TDevMgr::map_drive_letters(DRIVE_LETTER_ENTRY* map, int size) {
    for (int i = 0; i < size; ++i) map[i] = DRIVE_LETTER_ENTRY{};
    // One query for both sides: each row pairs a partition with its letter, and a second query
    // would cost as much again (and could see another set of rows).
    std::vector<WmiInstance> rows;
    if (!RunQuery("Win32_LogicalDiskToPartition", true, rows).ok) return false;
    std::vector<std::string> a, b;
    for (const WmiInstance& row : rows)
        for (const auto& [name, value] : row) {
            if (name == "Antecedent") a.push_back(name + "=" + value);
            if (name == "Dependent") b.push_back(name + "=" + value);
        }
    if (a.size() != rows.size() || b.size() != rows.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        // "...Win32_DiskPartition.DeviceID="Disk #0, Partition #1"": the disk's number.
        std::string_view ref = AfterDeviceId(a[i]);
        size_t hash = ref.find('#');
        if (hash == std::string_view::npos) return false;
        std::string_view number = ref.substr(hash + 1);
        number = number.substr(0, number.find(','));
        int64_t n = 0;
        if (!ToInt64(number, n)) return false;

        // "...Win32_LogicalDisk.DeviceID="C:"": the letter.
        std::string_view dep = AfterDeviceId(b[i]);
        if (!dep.empty()) dep.remove_prefix(1);
        if (!dep.empty()) dep.remove_suffix(1);
        char letter = dep.empty() ? 0 : text::ToUpper(dep.substr(0, 1))[0];

        // A disk number outside the map is not followed.
        if (n < 0 || n >= size) continue;
        map[n].dwDiskNumber = static_cast<uint32_t>(n);
        if (letter >= 'A' && letter <= 'Z') map[n].Letters[letter - 'A'] = 1;
    }
    return true;
}

}  // namespace orvane::discovery
