#include "device/drive_description.h"

#include <algorithm>

#include "device/identify.h"

namespace orvane::device {

void TakeIdentifyTexts(const uint8_t* id, DriveDescription& d) {
    d.model = IdentifyText(id, kIdModelOffset, kIdModelLength);
    d.revision = IdentifyText(id, kIdFwOffset, kIdFwLength);
    d.serial = IdentifyText(id, kIdSerialOffset, kIdSerialLength);
    d.def = d.revision;
    d.def_from_page = false;
}

void TakeVendorPage(const uint8_t* page_bytes, DriveDescription& d) {
    std::string page(reinterpret_cast<const char*>(page_bytes), 8);
    // A blank page (NULs or blanks) carries no DEF text.
    const bool blank = std::all_of(page.begin(), page.end(), [](char c) { return c == ' ' || c == '\0'; });
    if (!blank) {
        d.def = page;
        d.def_from_page = true;
    }
}

DriveDescription DescribeDrive(TAtaDevice& device, int index) {
    DriveDescription d;
    d.opened = device.open_device(index, nullptr, kOpenAta);
    d.transport = device.protocol();
    d.transport_name = device.protocol_name();
    if (!d.opened) return d;
    device.set_timeout(3.0f);
    d.identify_result = device.identify_device();
    if (d.identify_result != ATACMD_OK) return d;
    TakeIdentifyTexts(device.read_buffer(), d);
    // Without the vendor read the drive gets IDENTIFY only and no DEF text is claimed.
    if (!device.vendor_probe()) {
        d.def.clear();
        return d;
    }
    if (device.read_vendor_info() == ATACMD_OK) TakeVendorPage(device.read_buffer(), d);
    return d;
}

}  // namespace orvane::device
