// The disk-extents record as a volume's driver answers it: parsed alone, then as the volume lock
// reads it, where a first answer of ERROR_MORE_DATA sizes the buffer for the second.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "device/volume_lock.h"
#include "fuzz/fuzz_input.h"
#include "platform/records/storage.h"

using namespace orvane;

namespace {

// One volume, "E:", whose extents request is answered from the input: each answer is a flag
// byte (bit 0: success, bit 1: ERROR_MORE_DATA otherwise), a returned count and its bytes.
class AnsweringVolume : public platform::StorageHandle {
public:
    explicit AnsweringVolume(fuzz::FuzzInput& in) : in_(in) {}
    platform::IoResult Control(uint32_t code, void* buffer, uint32_t, uint32_t out_len) override {
        if (code != records::IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS) return {code != records::IOCTL_STORAGE_GET_DEVICE_NUMBER, 0, 0};
        const uint8_t flags = in_.Byte();
        uint32_t returned = in_.U32() % (out_len + 9);
        const std::vector<uint8_t> bytes = in_.Bytes(out_len);
        if (!bytes.empty()) std::memcpy(buffer, bytes.data(), bytes.size());
        if (flags & 1) return {true, returned, 0};
        return {false, returned, (flags & 2) ? platform::kErrorMoreData : platform::kErrorInvalidFunction};
    }

private:
    fuzz::FuzzInput& in_;
};

class OneVolume : public platform::StorageIo {
public:
    explicit OneVolume(fuzz::FuzzInput& in) : in_(in) {}
    std::unique_ptr<platform::StorageHandle> Open(const std::string&, uint32_t, uint32_t, uint32_t& err) override {
        err = 0;
        return std::make_unique<AnsweringVolume>(in_);
    }
    std::string ErrorText(uint32_t) override { return ""; }
    bool VolumeNames(std::vector<std::string>& out, uint32_t& err) override {
        out = {"\\\\?\\Volume{0000000E-0000-0000-0000-000000000000}\\"};
        err = 0;
        return true;
    }
    std::vector<std::string> VolumeMountPoints(const std::string&) override { return {"E:\\"}; }
    uint32_t DriveType(const std::string&) override { return platform::kDriveFixed; }

private:
    fuzz::FuzzInput& in_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    fuzz::FuzzInput in(data, size);
    const uint8_t mode = in.Byte();
    if ((mode & 1) == 0) {
        const uint32_t returned = in.U32();
        const std::vector<uint8_t> record = in.Rest();
        // Exactly the record's bytes: a read past them is a finding.
        auto exact = std::make_unique<uint8_t[]>(record.size() + 1);
        if (!record.empty()) std::memcpy(exact.get(), record.data(), record.size());
        const auto disks = device::ParseDiskExtents(exact.get(), static_cast<uint32_t>(record.size()), returned);
        if (!disks) return 0;
        uint32_t count = 0;
        std::memcpy(&count, exact.get(), sizeof count);
        if (disks->empty() || disks->size() != count || returned > record.size()) __builtin_trap();
        if (8 + 24 * disks->size() > returned) __builtin_trap();
        for (size_t i = 0; i < disks->size(); ++i) {
            uint32_t n = 0;
            std::memcpy(&n, exact.get() + 8 + 24 * i, sizeof n);
            if (n != (*disks)[i]) __builtin_trap();
        }
        return 0;
    }
    // Disk 7: locked unless the answers say it lies elsewhere; never both held and refused.
    OneVolume io(in);
    device::VolumeLock lock = device::VolumeLock::Acquire(io, 7);
    if (lock.volumes().size() != 1) __builtin_trap();
    const device::VolumeReport& v = lock.volumes()[0];
    if (!lock.ok() || lock.held() != (v.locked ? 1u : 0u)) __builtin_trap();
    if (v.locked && v.place == device::VolumePlace::OffDisk) __builtin_trap();
    if (!v.locked && v.place != device::VolumePlace::OffDisk) __builtin_trap();
    return 0;
}
