// The volume list and the volume lock over the real calls. Wine's mount manager lists its drive
// letters as volumes on disk 0 (C: and Z: in a fresh prefix), answers their extents and device
// numbers, takes every lock without looking at open files, and cannot dismount a drive that is a
// Unix folder: there the lock must refuse, never claim the volumes held.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "device/volume_lock.h"
#include "platform/win32/win32_storage_io.h"

namespace orvane::platform::win32 {
namespace {

using device::VolumeLock;
using device::VolumePlace;
using device::VolumeRefusal;

bool UnderWine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

TEST(Win32Volumes, ListsTheVolumesWithTheirMountPoints) {
    Win32StorageIo io;
    std::vector<std::string> names;
    uint32_t err = 12345;
    ASSERT_TRUE(io.VolumeNames(names, err)) << err;
    EXPECT_EQ(err, 0u);
    ASSERT_FALSE(names.empty());
    std::vector<std::string> letters;
    for (const std::string& n : names) {
        EXPECT_EQ(n.rfind("\\\\?\\Volume{", 0), 0u) << n;
        EXPECT_EQ(n.size(), 49u) << n;
        EXPECT_EQ(n.back(), '\\') << n;
        for (const std::string& m : io.VolumeMountPoints(n)) letters.push_back(m);
    }
    // The system's own volume is always among them.
    EXPECT_NE(std::find(letters.begin(), letters.end(), "C:\\"), letters.end());
    EXPECT_EQ(io.DriveType("C:\\"), kDriveFixed);
    EXPECT_EQ(io.VolumeMountPoints("\\\\?\\Volume{00000000-0000-0000-0000-0000000000FF}\\"), std::vector<std::string>{});
    if (UnderWine()) {
        // Wine lists exactly its drive letters, each on the volume it names.
        EXPECT_EQ(letters.size(), names.size());
        EXPECT_NE(std::find(letters.begin(), letters.end(), "Z:\\"), letters.end());
    }
}

TEST(Win32Volumes, LockUnderWineRefusesRatherThanClaimingTheVolumes) {
    if (!UnderWine()) GTEST_SKIP() << "would lock and dismount the volumes of disk 0";
    Win32StorageIo io;
    std::vector<std::string> names;
    uint32_t err = 0;
    ASSERT_TRUE(io.VolumeNames(names, err));

    // Every volume Wine has lies on disk 0: a lock for disk 1 takes none and says why.
    VolumeLock other = VolumeLock::Acquire(io, 1);
    EXPECT_TRUE(other.ok());
    EXPECT_EQ(other.held(), 0u);
    ASSERT_EQ(other.volumes().size(), names.size());
    for (const device::VolumeReport& v : other.volumes()) {
        EXPECT_EQ(v.place, VolumePlace::OffDisk) << v.label;
        EXPECT_FALSE(v.locked) << v.label;
    }

    // Disk 0, and a disk that cannot be told: Wine grants the lock of C:, its first volume, but
    // cannot dismount a folder; the lock gives C: up again and refuses.
    for (int disk : {0, -1}) {
        VolumeLock c = VolumeLock::Acquire(io, disk);
        EXPECT_FALSE(c.ok()) << disk;
        ASSERT_TRUE(c.refusal()) << disk;
        EXPECT_EQ(c.refusal()->step, VolumeRefusal::Dismount) << disk;
        EXPECT_EQ(c.refusal()->label, "C:") << disk;
        EXPECT_EQ(c.refusal()->error, kErrorNotSupported) << disk;
        EXPECT_FALSE(c.refusal()->in_use()) << disk;
        EXPECT_EQ(c.held(), 0u) << disk;
        ASSERT_EQ(c.volumes().size(), 1u) << disk;
        EXPECT_EQ(c.volumes()[0].place, disk < 0 ? VolumePlace::Unknown : VolumePlace::OnDisk) << disk;
    }
}

}  // namespace
}  // namespace orvane::platform::win32
