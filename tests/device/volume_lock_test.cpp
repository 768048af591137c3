// Which volumes the lock takes, all or none, against a storage layer that answers each volume's
// requests as a table row says; and the disk-extents record as drivers return it.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <tuple>
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

// A volume's handle; what reached it goes to `events`: "lock E:", "dismount E:", "close E:" (by the
// volume's first mount or name).
class FakeVolumeHandle : public platform::StorageHandle {
public:
    FakeVolumeHandle(Strings& events, const FakeVolume& v)
        : events_(events), v_(v), label_(v.mounts.empty() ? v.name : v.mounts[0]) {}
    ~FakeVolumeHandle() override { events_.push_back("close " + label_); }
    IoResult Control(uint32_t code, void* buffer, uint32_t, uint32_t out_len) override {
        auto* b = static_cast<uint8_t*>(buffer);
        auto step = [&](const char* what, uint32_t error) {
            events_.push_back(what + label_);
            return IoResult{error == 0, 0, error};
        };
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
            case d::FSCTL_LOCK_VOLUME: return step("lock ", v_.lock_error);
            case d::FSCTL_DISMOUNT_VOLUME: return step("dismount ", v_.dismount_error);
            default: return IoResult{false, 0, platform::kErrorInvalidFunction};
        }
    }

private:
    Strings& events_;
    const FakeVolume& v_;
    std::string label_;
};

class FakeVolumes : public platform::StorageIo {
public:
    explicit FakeVolumes(std::vector<FakeVolume> v) : volumes_(std::move(v)) {}
    uint32_t list_error = 0;
    Strings events;
    Strings opened;  // the paths and the access asked for

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
                                                  uint32_t& last_error) override {
        const bool rw = access == (platform::kGenericRead | platform::kGenericWrite) &&
                        share == (platform::kFileShareRead | platform::kFileShareWrite);
        opened.push_back(path + (rw ? "" : " (other access)"));
        const FakeVolume* v = Find(path + "\\");
        last_error = v ? v->open_error : platform::kErrorFileNotFound;
        return last_error ? nullptr : std::make_unique<FakeVolumeHandle>(events, *v);
    }
    std::string ErrorText(uint32_t) override { return ""; }

private:
    const FakeVolume* Find(const std::string& name) const {
        for (const FakeVolume& v : volumes_)
            if (v.name == name) return &v;
        return nullptr;
    }
    std::vector<FakeVolume> volumes_;
};

const std::string kGuidE = "\\\\?\\Volume{0000000E-0000-0000-0000-000000000000}\\";
const std::string kGuidD = "\\\\?\\Volume{0000000D-0000-0000-0000-000000000000}\\";
const std::string kGuidF = "\\\\?\\Volume{0000000F-0000-0000-0000-000000000000}\\";
const std::string kGuidX = "\\\\?\\Volume{00000000-0000-0000-0000-00000000000A}\\";

// A volume name as it is opened: without its last backslash.
std::string Path(const std::string& name) { return name.substr(0, name.size() - 1); }

using Extents = std::vector<uint32_t>;
FakeVolume Vol(const std::string& name, Strings mounts, std::optional<Extents> extents) {
    FakeVolume v;
    v.name = name;
    v.mounts = std::move(mounts);
    v.extents = std::move(extents);
    return v;
}
// The same volume with one more trait of its answers.
template <typename T>
FakeVolume With(FakeVolume v, T FakeVolume::*field, T value) {
    v.*field = std::move(value);
    return v;
}

TEST(VolumeLock, TakesTheDisksVolumesAllOrNone) {
    using R = VolumeRefusal;
    struct Case {
        const char* name;
        std::vector<FakeVolume> volumes;
        size_t held;
        Strings events;               // what reached the volumes, in order
        std::optional<R> refusal = std::nullopt;  // step, label, error
        Strings opened = {};          // the paths opened, when the case checks them
        int disk = 1;
        uint32_t list_error = 0;
    };
    const FakeVolume e1 = Vol(kGuidE, {"E:\\"}, Extents{1}), f1 = Vol(kGuidF, {"F:\\"}, Extents{1});
    const FakeVolume d_unplaced = Vol(kGuidD, {"D:\\"}, std::nullopt);
    using Number = std::optional<std::pair<uint32_t, uint32_t>>;
    FakeVolume spanned = Vol(kGuidE, {"E:\\"}, Extents(20, 0));
    spanned.extents->back() = 1;
    spanned.more_data = true;
    const Strings takes_e = {"lock E:\\", "dismount E:\\"};

    const Case cases[] = {
        {"no volumes at all", {}, 0, {}},
        {"the list cannot be read", {e1}, 0, {}, R{R::List, "", 21}, {}, 1, 21},
        {"one on the disk, one on another", {Vol(kGuidD, {"D:\\"}, Extents{0}), e1}, 1,
         {"close D:\\", "lock E:\\", "dismount E:\\"}, std::nullopt, {Path(kGuidD), Path(kGuidE)}},
        {"a volume over two disks, one of them this one", {Vol(kGuidE, {"E:\\"}, Extents{0, 1})}, 1, takes_e},
        {"twenty extents: the buffer grows to the count the first answer gives", {spanned}, 1, takes_e},
        {"twenty extents, all on another disk: read whole, so it is left alone",
         {With(spanned, &FakeVolume::extents, std::optional<Extents>(Extents(20, 0)))}, 0, {"close E:\\"}},
        {"twenty extents without a count: where it lies is unknown, so it is locked",
         {With(spanned, &FakeVolume::more_data, false)}, 1, takes_e},
        {"no extents: the device number says this disk",
         {With(Vol(kGuidE, {"E:\\"}, std::nullopt), &FakeVolume::number, Number{{d::FILE_DEVICE_DISK, 1}})}, 1, takes_e},
        {"no extents: the device number says another disk",
         {With(d_unplaced, &FakeVolume::number, Number{{d::FILE_DEVICE_DISK, 0}})}, 0, {"close D:\\"}},
        {"a DVD by its device type", {With(d_unplaced, &FakeVolume::number, Number{{d::FILE_DEVICE_DVD, 1}})}, 0,
         {"close D:\\"}},
        {"a CD drive by its drive type is not even opened",
         {With(d_unplaced, &FakeVolume::drive_type, platform::kDriveCdRom)}, 0, {}, std::nullopt, {}},
        // 0x1F is not a disk's device type: where it lies stays unknown.
        {"a device type other than a disk's counts as unknown",
         {With(d_unplaced, &FakeVolume::number, Number{{0x1F, 1}})}, 1, {"lock D:\\", "dismount D:\\"}},
        {"nothing says where it lies: locked as if on the disk", {Vol(kGuidE, {"E:\\"}, std::nullopt)}, 1, takes_e},
        {"the same after a volume on another disk", {Vol(kGuidD, {"D:\\"}, Extents{0}), Vol(kGuidE, {"E:\\"}, std::nullopt)},
         1, {"close D:\\", "lock E:\\", "dismount E:\\"}},
        {"the disk is unknown: a volume on disk 0 is locked too", {Vol(kGuidD, {"D:\\"}, Extents{0})}, 1,
         {"lock D:\\", "dismount D:\\"}, std::nullopt, {}, -1},
        {"a volume in use: the one locked before it is let go",
         {e1, With(f1, &FakeVolume::lock_error, platform::kErrorAccessDenied), Vol(kGuidX, {"G:\\"}, Extents{1})}, 0,
         {"lock E:\\", "dismount E:\\", "lock F:\\", "close F:\\", "close E:\\"}, R{R::Lock, "F:", 5}},
        {"a dismount that fails refuses", {With(f1, &FakeVolume::dismount_error, platform::kErrorNotSupported)}, 0,
         {"lock F:\\", "dismount F:\\", "close F:\\"}, R{R::Dismount, "F:", 50}},
        {"a volume that cannot be opened refuses", {e1, With(f1, &FakeVolume::open_error, platform::kErrorFileNotFound)},
         0, {"lock E:\\", "dismount E:\\", "close E:\\"}, R{R::Open, "F:", 2}},
        {"a volume in a folder and one mounted nowhere",
         {Vol(kGuidE, {"C:\\Data\\"}, Extents{1}), Vol(kGuidX, {}, Extents{1})}, 2,
         {"lock C:\\Data\\", "dismount C:\\Data\\", "lock " + kGuidX, "dismount " + kGuidX}, std::nullopt,
         {Path(kGuidE), Path(kGuidX)}},
        {"a drive letter names it before the folders it is also mounted in; opened by its name",
         {Vol(kGuidE, {"E:\\", "C:\\Data\\"}, Extents{1})}, 1, takes_e, std::nullopt, {Path(kGuidE)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeVolumes io(c.volumes);
        io.list_error = c.list_error;
        {
            VolumeLock lock = VolumeLock::Acquire(io, c.disk);
            EXPECT_EQ(lock.held(), c.held);
            EXPECT_EQ(lock.ok(), !c.refusal);
            if (c.refusal && lock.refusal()) {
                const R &got = *lock.refusal(), &want = *c.refusal;
                EXPECT_EQ(std::tie(got.step, got.label, got.error), std::tie(want.step, want.label, want.error));
            }
            EXPECT_EQ(io.events, c.events);
            if (!c.opened.empty()) {
                EXPECT_EQ(io.opened, c.opened);
            }
        }
        // The held volumes are let go when the lock goes, the last one first.
        const Strings closes(io.events.begin() + static_cast<std::ptrdiff_t>(c.events.size()), io.events.end());
        Strings expected;
        for (auto it = c.events.rbegin(); it != c.events.rend() && c.held; ++it)
            if (it->rfind("lock ", 0) == 0) expected.push_back("close " + it->substr(5));
        EXPECT_EQ(closes, expected);
    }
}

TEST(VolumeLock, RefusalSaysWhetherTheVolumeIsInUse) {
    using R = VolumeRefusal;
    const std::pair<R, bool> cases[] = {{R{R::Lock, "E:", 5}, true},       {R{R::Lock, "E:", 32}, true},
                                        {R{R::Lock, "E:", 21}, false},     {R{R::Dismount, "E:", 5}, false},
                                        {R{R::Open, "E:", 5}, false}};
    for (const auto& [refusal, in_use] : cases)
        EXPECT_EQ(refusal.in_use(), in_use) << "step " << refusal.step << ", error " << refusal.error;
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
        {"no extents", std::vector<uint8_t>(32, 0), 32, std::nullopt},
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
