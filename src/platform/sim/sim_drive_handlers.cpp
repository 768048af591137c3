// The drive model's request handlers are installed here (ATA, SCSI and IDE pass-through,
// miniport, ...). None yet: such requests fail as an unknown request does.
#include "platform/sim/sim_storage_io.h"

namespace orvane::platform::sim {

void InstallDriveHandlers(SimStorageIo& io, SimHardware& hw) {
    (void)io;
    (void)hw;
}

}  // namespace orvane::platform::sim
