// The real storage requests under Wine: opening disks, the requests Wine answers, the ones it
// refuses, and the system's error texts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/ata_types.h"
#include "platform/records/storage.h"
#include "platform/win32/win32_storage_io.h"

namespace orvane::platform::win32 {
namespace {

namespace d = orvane::records;

constexpr char kDisk0[] = "\\\\.\\PhysicalDrive0";

TEST(Win32StorageIo, OpensPathsWineExposesAndRefusesOthers) {
    struct Case {
        const char* path;
        bool opens;
        uint32_t error;
    } const cases[] = {
        {kDisk0, true, 0},
        {"\\\\.\\C:", true, 0},
        {"\\\\.\\SCSI0:", false, kErrorFileNotFound},
        {"\\\\.\\OrvaneNoSuchDevice", false, kErrorFileNotFound},
    };
    Win32StorageIo io;
    for (const Case& c : cases) {
        uint32_t err = 12345;
        auto h = io.OpenReadWrite(c.path, err);
        EXPECT_EQ(h != nullptr, c.opens) << c.path;
        EXPECT_EQ(err, c.error) << c.path;
    }
}

TEST(Win32StorageIo, DeviceNumberAndGeometryOfDiskZero) {
    Win32StorageIo io;
    uint32_t err = 0;
    auto disk = io.Open(kDisk0, kGenericRead, kFileShareRead | kFileShareWrite, err);
    ASSERT_TRUE(disk) << err;

    // Filled with a pattern so a request that writes nothing cannot pass.
    d::STORAGE_DEVICE_NUMBER n;
    std::memset(&n, 0xA5, sizeof n);
    IoResult r = disk->Control(d::IOCTL_STORAGE_GET_DEVICE_NUMBER, &n, sizeof n, sizeof n);
    ASSERT_TRUE(r.ok) << r.last_error;
    EXPECT_EQ(r.returned, sizeof n);
    EXPECT_EQ(n.DeviceType, d::FILE_DEVICE_DISK);
    EXPECT_EQ(n.DeviceNumber, 0u);

    d::DISK_GEOMETRY g{};
    r = disk->Control(d::IOCTL_DISK_GET_DRIVE_GEOMETRY, &g, sizeof g, sizeof g);
    ASSERT_TRUE(r.ok) << r.last_error;
    EXPECT_EQ(r.returned, sizeof g);
    EXPECT_GT(g.Cylinders, 0);
    EXPECT_EQ(g.BytesPerSector, 512u);
}

TEST(Win32StorageIo, AtaPassThroughIsNotSupportedUnderWine) {
    Win32StorageIo io;
    uint32_t err = 0;
    auto disk = io.OpenReadWrite(kDisk0, err);
    ASSERT_TRUE(disk) << err;
    // IDENTIFY DEVICE with its 512 bytes behind the record.
    std::vector<uint8_t> buf(sizeof(device::ATA_PASS_THROUGH_EX) + 512, 0);
    device::ATA_PASS_THROUGH_EX apt{};
    apt.Length = sizeof apt;
    apt.AtaFlags = device::ATA_FLAGS_DATA_IN | device::ATA_FLAGS_DRDY_REQUIRED;
    apt.DataTransferLength = 512;
    apt.TimeOutValue = 10;
    apt.DataBufferOffset = sizeof apt;
    apt.CurrentTaskFile[6] = 0xEC;
    std::memcpy(buf.data(), &apt, sizeof apt);
    auto size = static_cast<uint32_t>(buf.size());
    IoResult r = disk->Control(device::IOCTL_ATA_PASS_THROUGH, buf.data(), size, size);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.last_error, kErrorNotSupported);
    EXPECT_EQ(device::ResultOfLastError(r.last_error), device::ATACMD_NOT_SUPPORT);
}

TEST(Win32StorageIo, ErrorTextsHaveNoLineBreakAtTheEnd) {
    Win32StorageIo io;
    std::vector<std::string> seen;
    for (uint32_t code : {kErrorFileNotFound, kErrorAccessDenied, kErrorNotSupported, kErrorInvalidParameter}) {
        std::string text = io.ErrorText(code);
        ASSERT_FALSE(text.empty()) << code;
        EXPECT_NE(text.back(), '\n') << code;
        EXPECT_NE(text.back(), '\r') << code;
        for (const std::string& other : seen) EXPECT_NE(text, other) << code;
        seen.push_back(text);
    }
    // ERROR_BAD_EXE_FORMAT's text has an insert ("%1 is not a valid Win32 application."): it
    // stays as written, no argument is read for it.
    EXPECT_NE(io.ErrorText(193).find("%1"), std::string::npos) << io.ErrorText(193);
    // A code the system has no text for.
    EXPECT_EQ(io.ErrorText(0x2BADF00Du), "");
}

}  // namespace
}  // namespace orvane::platform::win32
