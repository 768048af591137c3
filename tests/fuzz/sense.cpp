// Sense data as a device returns it, fixed or descriptor format, and the ATA registers read
// from the Status Return descriptor the summary points at.
#include <cstdlib>

#include "device/scsi_blocks.h"

using namespace orvane::device;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SenseSummary s = ParseSense(data, size);
    if (s.status_desc < 0) return 0;
    // The descriptor the registers are read from lies wholly inside the sense bytes.
    if (static_cast<size_t>(s.status_desc) + 14 > size) std::abort();
    IdeRegs regs{}, prev{};
    SatStatusRegs(data + s.status_desc, regs, &prev);
    return 0;
}
