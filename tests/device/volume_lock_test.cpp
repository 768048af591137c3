// Which volumes the lock takes, all or none, against a storage layer that answers each volume's
// requests as a table row says; and the disk-extents record as drivers return it.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "device/volume_lock.h"
#include "platform/records/storage.h"

namespace orvane::device {
namespace {

namespace d = orvane::records;
using platform::IoResult;
using Strings = std::vector<std::string>;

struct FakeVolume {
    std::string name;             // "\\?\Volume{...}\"
    Strings mounts;
    uint32_t drive_type = platform::kDriveFixed;
    uint32_t open_error = 0;
    std::optional<std::vector<uint32_t>> extents;  // none: the request fails
    bool more_data = false;       // the first answer is ERROR_MORE_DATA with the count only
    std::optional<std::pair<uint32_t, uint32_t>> number;  // device type, disk number
    uint32_t lock_error = 0, dismount_error = 0;
};

// What reached the layer: "lock E:", "dismount E:", "close E:" (by the volume's first mount or name).
class FakeVolumes : public platform::StorageIo {
public:
    explicit FakeVolumes(std::vector<FakeVolume> v) : volumes_(std::move(v)) {}
    uint32_t list_error = 0;
    Strings events;

    bool VolumeNames(Strings& out, uint32_t& last_error) override {
        out.clear();
        for (const FakeVolume& v : volumes_) out.push_back(v.name);
        last_error = list_error;
        return list_error == 0;
    }
    Strings VolumeMountPoints(const std::string& name) override { return Find(name) ? Find(name)->mounts : Strings{}; }
    uint32_t DriveType(const std::string& root) override {
        for (const FakeVolume& v : volumes_)
            if (v.name == root || (!v.mounts.empty() && v.mounts[0] == root)) return v.drive_type;
        return platform::kDriveNoRootDir;
    }
    std::unique_ptr<platform::StorageHandle> Open(const std::string& path, uint32_t access, uint32_t share,
                                                  uint32_t& last_error) override;
    std::string ErrorText(uint32_t) override { return ""; }

    const FakeVolume* Find(const std::string& name) const {
        for (const FakeVolume& v : volumes_)
            if (v.name == name) return &v;
        return nullptr;
    }
    std::vector<FakeVolume> volumes_;
    Strings opened;  // the paths and the access asked for
};

class FakeVolumeHandle : public platform::StorageHandle {
public:
    FakeVolumeHandle(FakeVolumes& io, const FakeVolume& v, std::string label) : io_(io), v_(v), label_(std::move(label)) {}
    ~FakeVolumeHandle() override { io_.events.push_back("close " + label_); }
    IoResult Control(uint32_t code, void* buffer, uint32_t, uint32_t out_len) override {
        auto* b = static_cast<uint8_t*>(buffer);
        switch (code) {
            case d::IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS: {
                if (!v_.extents) return IoResult{false, 0, platform::kErrorInvalidFunction};
                const auto count = static_cast<uint32_t>(v_.extents->size());
                const uint32_t size = 8 + 24 * count;
                std::memcpy(b, &count, 4);
                if (out_len < size) {
                    if (!v_.more_data) return IoResult{false, 0, platform::kErrorInsufficientBuffer};
                    return IoResult{false, 4, platform::kErrorMoreData};
                }
                for (uint32_t i = 0; i < count; ++i) {
                    std::memset(b + 8 + 24 * i, 0xEE, 24);
                    std::memcpy(b + 8 + 24 * i, &(*v_.extents)[i], 4);
                }
                return IoResult{true, size, 0};
            }
            case d::IOCTL_STORAGE_GET_DEVICE_NUMBER: {
                if (!v_.number) return IoResult{false, 0, platform::kErrorInvalidFunction};
                const uint32_t n[3] = {v_.number->first, v_.number->second, 1};
                std::memcpy(b, n, sizeof n);
                return IoResult{true, sizeof n, 0};
            }
            case d::FSCTL_LOCK_VOLUME:
                io_.events.push_back("lock " + label_);
                return IoResult{v_.lock_error == 0, 0, v_.lock_error};
            case d::FSCTL_DISMOUNT_VOLUME:
                io_.events.push_back("dismount " + label_);
                return IoResult{v_.dismount_error == 0, 0, v_.dismount_error};
            default:
                return IoResult{false, 0, platform::kErrorInvalidFunction};
        }
    }

private:
    FakeVolumes& io_;
    const FakeVolume& v_;
    std::string label_;
};

std::unique_ptr<platform::StorageHandle> FakeVolumes::Open(const std::string& path, uint32_t access, uint32_t share,
                                                           uint32_t& last_error) {
    opened.push_back(path + (access == (platform::kGenericRead | platform::kGenericWrite) &&
                                     share == (platform::kFileShareRead | platform::kFileShareWrite)
                                 ? ""
                                 : " (other access)"));
    for (const FakeVolume& v : volumes_) {
        if (path + "\\" != v.name) continue;
        last_error = v.open_error;
        if (v.open_error) return nullptr;
        return std::make_unique<FakeVolumeHandle>(*this, v, v.mounts.empty() ? v.name : v.mounts[0]);
    }
    last_error = platform::kErrorFileNotFound;
    return nullptr;
}

const std::string kGuidE = "\\\\?\\Volume{0000000E-0000-0000-0000-000000000000}\\";
const std::string kGuidD = "\\\\?\\Volume{0000000D-0000-0000-0000-000000000000}\\";
const std::string kGuidF = "\\\\?\\Volume{0000000F-0000-0000-0000-000000000000}\\";
const std::string kGuidX = "\\\\?\\Volume{00000000-0000-0000-0000-00000000000A}\\";

// A volume name as it is opened: without its last backslash.
std::string Path(const std::string& name) { return name.substr(0, name.size() - 1); }

FakeVolume Vol(const std::string& name, Strings mounts, std::optional<std::vector<uint32_t>> extents) {
    FakeVolume v;
    v.name = name;
    v.mounts = std::move(mounts);
    v.extents = std::move(extents);
    return v;
}

TEST(VolumeLock, TakesTheDisksVolumesAllOrNone) {
    using R = VolumeRefusal;
    struct Case {
        const char* name;
        std::vector<FakeVolume> volumes;
        int disk = 1;
        uint32_t list_error = 0;
        size_t held = 0;
        std::optional<R> refusal;     // step, label, error
        Strings events;               // what reached the volumes, in order
        Strings opened = {};          // the paths opened, when the case checks them
    };
    FakeVolume in_use = Vol(kGuidF, {"F:\\"}, std::vector<uint32_t>{1});
    in_use.lock_error = platform::kErrorAccessDenied;
    FakeVolume stuck = Vol(kGuidF, {"F:\\"}, std::vector<uint32_t>{1});
    stuck.dismount_error = platform::kErrorNotSupported;
    FakeVolume gone = Vol(kGuidF, {"F:\\"}, std::vector<uint32_t>{1});
    gone.open_error = platform::kErrorFileNotFound;
    FakeVolume cd = Vol(kGuidD, {"D:\\"}, std::nullopt);
    cd.drive_type = platform::kDriveCdRom;
    FakeVolume dvd_number = Vol(kGuidD, {"D:\\"}, std::nullopt);
    dvd_number.number = {d::FILE_DEVICE_DVD, 1};
    FakeVolume basic_on = Vol(kGuidE, {"E:\\"}, std::nullopt);
    basic_on.number = {d::FILE_DEVICE_DISK, 1};
    FakeVolume basic_off = Vol(kGuidD, {"D:\\"}, std::nullopt);
    basic_off.number = {d::FILE_DEVICE_DISK, 0};
    FakeVolume tape = Vol(kGuidD, {"D:\\"}, std::nullopt);
    tape.number = {0x1F, 1};  // not a disk's device type: where it lies stays unknown
    FakeVolume spanned = Vol(kGuidE, {"E:\\"}, std::vector<uint32_t>{});
    for (uint32_t i = 0; i < 20; ++i) spanned.extents->push_back(i == 19 ? 1 : 0);
    spanned.more_data = true;
    FakeVolume unsaid = spanned;  // the same answer without a count to grow the buffer by
    unsaid.more_data = false;

    const Case cases[] = {
        {"no volumes at all", {}, 1, 0, 0, std::nullopt, {}},
        {"the list cannot be read", {Vol(kGuidE, {"E:\\"}, std::vector<uint32_t>{1})}, 1, 21, 0,
         R{R::List, "", 21}, {}, {}},
        {"one on the disk, one on another", {Vol(kGuidD, {"D:\\"}, std::vector<uint32_t>{0}),
                                             Vol(kGuidE, {"E:\\"}, std::vector<uint32_t>{1})},
         1, 0, 1, std::nullopt, {"close D:\\", "lock E:\\", "dismount E:\\"}, {Path(kGuidD), Path(kGuidE)}},
        {"a volume over two disks, one of them this one",
         {Vol(kGuidE, {"E:\\"}, std::vector<uint32_t>{0, 1})}, 1, 0, 1, std::nullopt, {"lock E:\\", "dismount E:\\"}},
        {"twenty extents: the buffer grows to the count the first answer gives", {spanned}, 1, 0, 1, std::nullopt,
         {"lock E:\\", "dismount E:\\"}},
        {"twenty extents without a count: where it lies is unknown, so it is locked", {unsaid}, 1, 0, 1,
         std::nullopt, {"lock E:\\", "dismount E:\\"}},
        {"no extents: the device number says this disk", {basic_on}, 1, 0, 1, std::nullopt,
         {"lock E:\\", "dismount E:\\"}},
        {"no extents: the device number says another disk", {basic_off}, 1, 0, 0, std::nullopt, {"close D:\\"}},
        {"a DVD by its device type", {dvd_number}, 1, 0, 0, std::nullopt, {"close D:\\"}},
        {"a CD drive by its drive type is not even opened", {cd}, 1, 0, 0, std::nullopt, {}, {}},
        {"a device type other than a disk's counts as unknown", {tape}, 1, 0, 1, std::nullopt,
         {"lock D:\\", "dismount D:\\"}},
        {"nothing says where it lies: locked as if on the disk", {Vol(kGuidE, {"E:\\"}, std::nullopt)}, 1, 0, 1,
         std::nullopt, {"lock E:\\", "dismount E:\\"}},
        {"the disk is unknown: a volume on disk 0 is locked too",
         {Vol(kGuidD, {"D:\\"}, std::vector<uint32_t>{0})}, -1, 0, 1, std::nullopt, {"lock D:\\", "dismount D:\\"}},
        {"a volume in use: the one locked before it is let go",
         {Vol(kGuidE, {"E:\\"}, std::vector<uint32_t>{1}), in_use, Vol(kGuidX, {"G:\\"}, std::vector<uint32_t>{1})},
         1, 0, 0, R{R::Lock, "F:", 5}, {"lock E:\\", "dismount E:\\", "lock F:\\", "close F:\\", "close E:\\"}},
        {"a dismount that fails refuses", {stuck}, 1, 0, 0, R{R::Dismount, "F:", 50},
         {"lock F:\\", "dismount F:\\", "close F:\\"}},
        {"a volume that cannot be opened refuses", {Vol(kGuidE, {"E:\\"}, std::vector<uint32_t>{1}), gone}, 1, 0, 0,
         R{R::Open, "F:", 2}, {"lock E:\\", "dismount E:\\", "close E:\\"}},
        {"a volume in a folder and one mounted nowhere",
         {Vol(kGuidE, {"C:\\Data\\"}, std::vector<uint32_t>{1}), Vol(kGuidX, {}, std::vector<uint32_t>{1})}, 1, 0, 2,
         std::nullopt, {"lock C:\\Data\\", "dismount C:\\Data\\", "lock " + kGuidX, "dismount " + kGuidX},
         {Path(kGuidE), Path(kGuidX)}},
        {"a drive letter names it before the folders it is also mounted in; opened by its name",
         {Vol(kGuidE, {"E:\\", "C:\\Data\\"}, std::vector<uint32_t>{1})}, 1, 0, 1, std::nullopt,
         {"lock E:\\", "dismount E:\\"}, {Path(kGuidE)}},
    };
    for (const Case& c : cases) {
        FakeVolumes io(c.volumes);
        io.list_error = c.list_error;
        {
            VolumeLock lock = VolumeLock::Acquire(io, c.disk);
            EXPECT_EQ(lock.held(), c.held) << c.name;
            EXPECT_EQ(lock.ok(), !c.refusal) << c.name;
            if (c.refusal && lock.refusal()) {
                EXPECT_EQ(lock.refusal()->step, c.refusal->step) << c.name;
                EXPECT_EQ(lock.refusal()->label, c.refusal->label) << c.name;
                EXPECT_EQ(lock.refusal()->error, c.refusal->error) << c.name;
            }
            EXPECT_EQ(io.events, c.events) << c.name;
            if (!c.opened.empty()) {
                EXPECT_EQ(io.opened, c.opened) << c.name;
            }
        }
        // The held volumes are let go when the lock goes, the last one first.
        Strings closes;
        for (size_t i = c.events.size(); i < io.events.size(); ++i) closes.push_back(io.events[i]);
        Strings expected;
        for (auto it = c.events.rbegin(); it != c.events.rend() && c.held; ++it)
            if (it->rfind("lock ", 0) == 0) expected.push_back("close " + it->substr(5));
        EXPECT_EQ(closes, expected) << c.name;
    }
}

TEST(VolumeLock, RefusalSaysWhetherTheVolumeIsInUse) {
    using R = VolumeRefusal;
    EXPECT_TRUE((R{R::Lock, "E:", 5}.in_use()));
    EXPECT_TRUE((R{R::Lock, "E:", 32}.in_use()));
    EXPECT_FALSE((R{R::Lock, "E:", 21}.in_use()));
    EXPECT_FALSE((R{R::Dismount, "E:", 5}.in_use()));
    EXPECT_FALSE((R{R::Open, "E:", 5}.in_use()));
}

TEST(DiskExtents, ParsesWholeRecordsOnly) {
    // Count, 4 bytes of padding, then 24 bytes per extent: disk number, padding, start, length.
    const std::vector<uint8_t> two = {
        2, 0, 0, 0, 0xCC, 0xCC, 0xCC, 0xCC,
        3, 0, 0, 0, 0xCC, 0xCC, 0xCC, 0xCC, 0, 0, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0, 0, 0, 0,
        0x0A, 1, 0, 0, 0xCC, 0xCC, 0xCC, 0xCC, 0, 0, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0, 0, 0, 0,
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        uint32_t returned;
        std::optional<std::vector<uint32_t>> disks;
    } const cases[] = {
        {"two extents", two, 56, std::vector<uint32_t>{3, 0x10A}},
        {"a short answer for its count", two, 55, std::nullopt},
        {"more returned than the buffer holds", two, 57, std::nullopt},
        {"the header alone", std::vector<uint8_t>(two.begin(), two.begin() + 8), 8, std::nullopt},
        {"no extents", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         32, std::nullopt},
        {"a count past any volume's", {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                       0, 0, 0, 0, 0, 0, 0, 0, 0},
         32, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseDiskExtents(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()), c.returned), c.disks)
            << c.name;
    }
    EXPECT_EQ(ParseDiskExtents(nullptr, 32, 32), std::nullopt);
}

}  // namespace
}  // namespace orvane::device
