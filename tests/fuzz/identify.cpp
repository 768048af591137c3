// 512 bytes of IDENTIFY data and the vendor page as a drive returns them (input: identify
// bytes, then the page; a short input leaves the rest zero), read into the drive list's texts.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "device/drive_description.h"
#include "device/identify.h"

using namespace orvane::device;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kSector = 512;
    auto identify = std::make_unique<uint8_t[]>(kSector);
    auto page = std::make_unique<uint8_t[]>(kSector);
    std::memset(identify.get(), 0, kSector);
    std::memset(page.get(), 0, kSector);
    std::memcpy(identify.get(), data, std::min(size, kSector));
    if (size > kSector) std::memcpy(page.get(), data + kSector, std::min(size - kSector, kSector));

    DriveDescription d;
    TakeIdentifyTexts(identify.get(), d);
    if (d.model.size() != kIdModelLength || d.revision.size() != kIdFwLength || d.serial.size() != kIdSerialLength)
        std::abort();
    TakeVendorPage(page.get(), d);
    if (d.def.size() != 8) std::abort();
    return 0;
}
