// WMI answers as the scan reads them: Win32_DiskDrive properties into the disk records, and
// Win32_LogicalDiskToPartition references into the drive-letter map. Input lines:
// "D<name>=<value>" or "L<name>=<value>" add a property to the current instance of that class,
// "+D" / "+L" start a new instance.
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "discovery/dev_mgr.h"
#include "fuzz/fuzz_input.h"
#include "platform/sim/sim_platform.h"

using namespace orvane;

namespace {

class FuzzWmi : public platform::Wmi {
public:
    std::map<std::string, std::vector<platform::WmiInstance>> classes;
    platform::WmiStatus Query(const std::string& query, bool, bool read_values,
                              std::vector<platform::WmiInstance>& out) override {
        out = classes[query];
        if (!read_values)
            for (auto& row : out) row.clear();
        return {true, platform::WmiStep::None, 0};
    }
};

struct Rig {
    Rig() {
        std::string error;
        if (!platform::sim::LoadMachine(platform::sim::DefaultMachineJson(), machine, error)) std::abort();
        sim = std::make_unique<platform::sim::SimPlatform>(machine, 1e6);
        sim->platform().wmi = &wmi;
        mgr = std::make_unique<discovery::TDevMgr>(sim->platform(), &sim->pump());
    }
    platform::sim::SimMachine machine;
    std::unique_ptr<platform::sim::SimPlatform> sim;
    FuzzWmi wmi;
    std::unique_ptr<discovery::TDevMgr> mgr;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Rig rig;
    const std::string kDisks = "Select * from Win32_DiskDrive", kLetters = "Select * from Win32_LogicalDiskToPartition";
    rig.wmi.classes.clear();
    auto& disks = rig.wmi.classes[kDisks];
    auto& letters = rig.wmi.classes[kLetters];
    fuzz::FuzzInput in(data, size);
    while (in.left() > 0) {
        std::string line = in.Line();
        if (line.empty()) continue;
        bool start = line[0] == '+';
        if (start) line.erase(0, 1);
        if (line.empty()) continue;
        auto& rows = line[0] == 'L' ? letters : disks;
        if (start || rows.empty()) rows.emplace_back();
        if (start) continue;
        size_t eq = line.find('=');
        std::string name = line.substr(1, eq == std::string::npos ? std::string::npos : eq - 1);
        std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
        rows.back().emplace_back(name, value);
    }
    std::vector<std::unique_ptr<discovery::DISK_INFO>> list;
    (void)rig.mgr->query_disk_drives(list);
    for (const auto& d : list) {
        // Every text field keeps its terminator.
        if (d->DeviceID[sizeof d->DeviceID - 1] != 0 || d->Model[sizeof d->Model - 1] != 0) std::abort();
    }
    discovery::DRIVE_LETTER_ENTRY map[26];
    (void)rig.mgr->map_drive_letters(map, 26);
    (void)rig.mgr->count_disks();
    return 0;
}
