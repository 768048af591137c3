// Placeholder until the flows land: nothing is sent, every flow reports "not supported".
#include "device/download_flows.h"

#include "device/ata_device.h"

namespace orvane::device {

ChunkPlan PlanChunks(uint32_t, int) { return {}; }
bool IsPataAnswer(const uint8_t*, size_t) { return false; }

uint8_t TAtaDevice::flash_firmware(const uint8_t*, uint32_t, int, int, bool, bool) { return ATACMD_NOT_SUPPORT; }
uint8_t TAtaDevice::preformat() { return ATACMD_NOT_SUPPORT; }
uint8_t TAtaDevice::pata_preformat() { return ATACMD_NOT_SUPPORT; }
uint8_t TAtaDevice::pata_check() { return ATACMD_NOT_SUPPORT; }
bool TAtaDevice::carries_download(std::string* why) const {
    if (why) *why = kDownloadRefusedText;
    return false;
}

}  // namespace orvane::device
