#include "platform/sim/sim_wmi.h"
#include "text/text.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace orvane::platform::sim {

namespace {

constexpr int32_t kRegdbClassNotReg = static_cast<int32_t>(0x80040154u);
constexpr int32_t kWbemInvalidClass = static_cast<int32_t>(0x80041010u);
constexpr int32_t kWbemInvalidQuery = static_cast<int32_t>(0x80041017u);

std::string InterfaceType(uint8_t bus) {
    switch (bus) {
        case 7: return "USB";
        case 2: case 3: case 11: return "IDE";
        case 4: return "1394";
        default: return "SCSI";
    }
}

std::map<std::string, std::string> DiskDrive(const SimDisk& d, int index) {
    std::map<std::string, std::string> p;
    const SimGeometry& g = d.geometry;
    uint64_t tracks = g.cylinders * g.tracks_per_cylinder;
    uint64_t sectors = tracks * g.sectors_per_track;
    std::string id = "\\\\.\\PHYSICALDRIVE" + std::to_string(index);
    std::string model = !d.friendly_name.empty() ? d.friendly_name
                        : d.vendor.empty()      ? d.product
                                                : d.vendor + " " + d.product;
    p["Availability"] = "";
    p["BytesPerSector"] = std::to_string(g.bytes_per_sector);
    p["Capabilities"] = "3, 4";
    p["CapabilityDescriptions"] = "Random Access, Supports Writing";
    p["Caption"] = model;
    p["DeviceID"] = id;
    p["FirmwareRevision"] = d.revision;
    p["Index"] = std::to_string(index);
    p["InterfaceType"] = InterfaceType(d.bus_type);
    p["Manufacturer"] = "(Standard disk drives)";
    p["MediaLoaded"] = "TRUE";
    p["MediaType"] = d.removable ? "Removable Media" : d.bus_type == 7 ? "External hard disk media"
                                                                       : "Fixed hard disk media";
    p["Model"] = model;
    p["Name"] = id;
    p["Partitions"] = std::to_string(d.partitions.size());
    p["PNPDeviceID"] = d.instance_id;
    if (d.scsi_address) {
        p["SCSIBus"] = std::to_string(d.scsi_address->path);
        p["SCSILogicalUnit"] = std::to_string(d.scsi_address->lun);
        p["SCSIPort"] = std::to_string(d.scsi_address->port);
        p["SCSITargetId"] = std::to_string(d.scsi_address->target);
    }
    p["SectorsPerTrack"] = std::to_string(g.sectors_per_track);
    p["SerialNumber"] = d.serial;
    if (d.signature) p["Signature"] = std::to_string(d.signature);
    p["Size"] = std::to_string(sectors * g.bytes_per_sector);
    p["Status"] = "OK";
    p["TotalCylinders"] = std::to_string(g.cylinders);
    p["TotalHeads"] = std::to_string(g.tracks_per_cylinder);
    p["TotalSectors"] = std::to_string(sectors);
    p["TotalTracks"] = std::to_string(tracks);
    p["TracksPerCylinder"] = std::to_string(g.tracks_per_cylinder);
    for (const auto& [name, value] : d.wmi) p[name] = value;
    return p;
}

WmiInstance Instance(const std::map<std::string, std::string>& props) {
    return WmiInstance(props.begin(), props.end());
}

}  // namespace

SimWmi::SimWmi(SimHardware& hw, bool available) : hw_(hw), available_(available) {}

WmiStatus SimWmi::Query(const std::string& query, bool connect_max_wait, bool read_values,
                        std::vector<WmiInstance>& out) {
    std::lock_guard<std::recursive_mutex> lock(hw_.mutex);
    queries_.push_back(query);
    out.clear();
    const SimStorage& s = hw_.storage;
    if (!available_ || s.wmi_unavailable) return WmiStatus{false, WmiStep::CreateLocator, kRegdbClassNotReg};

    const std::string head = "select * from ";
    const std::string lower = text::ToLower(query);
    if (lower.compare(0, head.size(), head) != 0) return WmiStatus{false, WmiStep::ExecQuery, kWbemInvalidQuery};
    std::string cls = lower.substr(head.size());

    std::vector<std::map<std::string, std::string>> rows;
    if (cls == "win32_diskdrive") {
        int next = 0;
        for (const SimDisk& d : s.disks) {
            if (d.removed || d.device_number < 0) continue;
            rows.push_back(DiskDrive(d, d.device_number));
            next = std::max(next, d.device_number + 1);
        }
        if (s.wmi_counts_extra_disk) {
            SimDisk ghost;
            ghost.product = "Disk the interfaces miss";
            rows.push_back(DiskDrive(ghost, next));
        }
    } else if (cls == "win32_logicaldisktopartition") {
        for (const SimDisk& d : s.disks) {
            if (d.removed || d.device_number < 0) continue;
            for (size_t k = 0; k < d.partitions.size(); ++k) {
                if (!d.partitions[k].letter) continue;
                std::map<std::string, std::string> r;
                r["Antecedent"] = "\\\\SIMHOST\\root\\cimv2:Win32_DiskPartition.DeviceID=\"Disk #" +
                                  std::to_string(d.device_number) + ", Partition #" + std::to_string(k) + "\"";
                r["Dependent"] = std::string("\\\\SIMHOST\\root\\cimv2:Win32_LogicalDisk.DeviceID=\"") +
                                 d.partitions[k].letter + ":\"";
                r["EndingAddress"] = std::to_string(d.partitions[k].length);
                r["StartingAddress"] = "1048576";
                rows.push_back(r);
            }
        }
    } else {
        return WmiStatus{false, WmiStep::ExecQuery, kWbemInvalidClass};
    }
    for (const auto& r : rows) out.push_back(read_values ? Instance(r) : WmiInstance{});
    return WmiStatus{true, WmiStep::None, 0};
}

std::vector<std::string> SimWmi::Queries() const {
    std::lock_guard<std::recursive_mutex> lock(hw_.mutex);
    return queries_;
}

}  // namespace orvane::platform::sim
