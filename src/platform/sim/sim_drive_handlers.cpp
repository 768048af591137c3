// The drive model's request handlers: a disk whose "drive" object describes its drive answers
// the pass-through, miniport and rescan requests through a SimDriveStack kept with the disk.
#include <memory>

#include "platform/win_errors.h"
#include "platform/sim/sim_clock.h"
#include "platform/sim/sim_drive.h"
#include "platform/sim/sim_storage_io.h"

namespace orvane::platform::sim {

namespace {


// The disk's stack, made on its first request; null when the disk describes no drive or
// describes it wrongly (ValidateDriveSpecs names the fault at load).
SimDriveStack* StackOf(SimDisk& disk, SimClock* clock) {
    if (auto* held = std::any_cast<std::shared_ptr<SimDriveStack>>(&disk.drive_state)) return held->get();
    if (!disk.drive.is_object() || disk.drive.empty()) return nullptr;
    SimDriveSpec spec;
    std::string error;
    if (!ParseDriveSpec(disk.drive, "drive", spec, error)) return nullptr;
    std::function<void(double)> pass_time;
    if (clock) pass_time = [clock](double seconds) { clock->Advance(seconds); };
    auto stack = std::make_shared<SimDriveStack>(std::move(spec), std::move(pass_time));
    disk.drive_state = stack;
    return stack.get();
}

}  // namespace

bool ValidateDriveSpecs(const SimStorage& storage, std::string& error) {
    for (size_t i = 0; i < storage.disks.size(); ++i) {
        const nlohmann::json& j = storage.disks[i].drive;
        if (j.is_object() && j.empty()) continue;
        SimDriveSpec spec;
        if (!ParseDriveSpec(j, "disks[" + std::to_string(i) + "].drive", spec, error)) return false;
    }
    return true;
}

void InstallDriveHandlers(SimStorageIo& io, SimHardware&) {
    io.AddHandler([](SimHardware& hw, SimIoTarget& target, uint32_t code, uint8_t* buffer, uint32_t in_len,
                     uint32_t out_len) -> std::optional<IoResult> {
        if (!target.disk || !SimDriveStack::Handles(code)) return std::nullopt;
        SimDriveStack* stack = StackOf(*target.disk, hw.clock);
        // A disk without a drive model: its driver knows none of these requests.
        if (!stack) return IoResult{false, 0, kErrorInvalidFunction};
        return stack->Control(code, buffer, in_len, out_len);
    });
}

}  // namespace orvane::platform::sim
