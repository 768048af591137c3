#pragma once
// What the drive list reports per disk: the transport open_device chose and the identify texts.
#include <cstdint>
#include <string>

#include "device/ata_device.h"

namespace orvane::device {

struct DriveDescription {
    bool opened = false;
    uint8_t transport = kProtoNone;
    std::string transport_name;
    uint8_t identify_result = ATACMD_NOT_SUPPORT;
    // Untrimmed fixed-width texts (empty when IDENTIFY failed).
    std::string model;     // 40
    std::string revision;  // 8
    std::string serial;    // 20
    std::string def;       // 8: the vendor page's text, or the revision when it is missing or blank;
                           // empty when the device object sends no vendor command
    bool def_from_page = false;
};

// The model, revision and serial texts of 512 bytes of IDENTIFY data; DEF starts as the revision.
void TakeIdentifyTexts(const uint8_t* identify, DriveDescription& d);
// DEF from the first 8 bytes of the vendor page, unless they are blank.
void TakeVendorPage(const uint8_t* page, DriveDescription& d);

// Opens device list entry `index` (kind 0) and identifies it. When the device object's probe may
// use the vendor read, the DEF text is read from the vendor page as the scan does; otherwise the
// drive gets IDENTIFY only and `def` stays empty.
DriveDescription DescribeDrive(TAtaDevice& device, int index);

}  // namespace orvane::device
