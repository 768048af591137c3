// The drive model's request handlers: a disk whose "drive" object describes its drive answers
// the pass-through, miniport and rescan requests through the SimDriveStack made for it here.
#include <memory>

#include "platform/win_errors.h"
#include "platform/sim/sim_clock.h"
#include "platform/sim/sim_drive.h"
#include "platform/sim/sim_storage_io.h"

namespace orvane::platform::sim {

namespace {


}  // namespace

void InstallDriveHandlers(SimStorageIo& io, SimHardware& hw) {
    std::function<void(double)> pass_time;
    if (SimClock* clock = hw.clock) pass_time = [clock](double seconds) { clock->Advance(seconds); };
    for (SimDisk& disk : hw.storage.disks)
        if (disk.drive) disk.drive_stack = std::make_shared<SimDriveStack>(*disk.drive, pass_time);

    io.AddHandler([](SimHardware&, SimIoTarget& target, uint32_t code, uint8_t* buffer, uint32_t in_len,
                     uint32_t out_len) -> std::optional<IoResult> {
        if (!target.disk || !SimDriveStack::Handles(code)) return std::nullopt;
        SimDriveStack* stack = target.disk->drive_stack.get();
        // A disk without a drive model: its driver knows none of these requests.
        if (!stack) return IoResult{false, 0, kErrorInvalidFunction};
        return stack->Control(code, buffer, in_len, out_len);
    });
}

}  // namespace orvane::platform::sim
