// An NVMe driver's get-information answer (input: the requested slot, then the answer's bytes),
// read by the parser, the revision and slot rules, and the device object's verbose log of it.
#include <cstring>
#include <memory>

#include "common/fake_system_api.h"
#include "device/ata_device.h"
#include "device/nvme_firmware.h"
#include "fuzz/fuzz_input.h"
#include "system/fake_clock.h"

using namespace orvane;
using namespace orvane::device;

namespace {

// A driver that answers every request with the bytes of the current input as its data.
class AnswerStorage : public platform::StorageIo {
public:
    std::vector<uint8_t> answer;

    std::unique_ptr<platform::StorageHandle> Open(const std::string&, uint32_t, uint32_t, uint32_t& error) override {
        error = 0;
        return std::make_unique<Handle>(*this);
    }
    std::string ErrorText(uint32_t) override { return std::string(); }

private:
    class Handle : public platform::StorageHandle {
    public:
        explicit Handle(AnswerStorage& s) : s_(s) {}
        platform::IoResult Control(uint32_t, void* buffer, uint32_t in_len, uint32_t out_len) override {
            const uint32_t room = std::min(in_len, out_len) - records::kFirmwareDataOffset;
            if (!s_.answer.empty())
                std::memcpy(static_cast<uint8_t*>(buffer) + records::kFirmwareDataOffset, s_.answer.data(),
                            std::min<size_t>(room, s_.answer.size()));
            return {true, out_len, 0};
        }

    private:
        AnswerStorage& s_;
    };
};

struct Rig {
    test::FakeSystemApi sys;
    test::FakeClock clock;
    test::FakePump pump{clock};
    AnswerStorage storage;
    platform::Platform platform{sys, clock, pump, &storage, nullptr, nullptr};
    TAtaDevice dev{platform, "C:\\TEMP\\ORVANE_DEBUG.txt"};
    Rig() { dev.open_device(0, "\\\\.\\PhysicalDrive0", kOpenNvme); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Rig rig;
    fuzz::FuzzInput in(data, size);
    const uint8_t requested = in.Byte();
    const std::vector<uint8_t> answer = in.Rest();

    // Exactly the answer's bytes: a read past them is a finding.
    auto exact = std::make_unique<uint8_t[]>(answer.size() + 1);
    if (!answer.empty()) std::memcpy(exact.get(), answer.data(), answer.size());
    const NvmeFirmwareInfo info = ParseFirmwareInfo(exact.get(), answer.size());
    if (info.slots.size() > info.slot_count) __builtin_trap();
    if (info.complete && info.slots.size() > (answer.size() - 16) / 16) __builtin_trap();
    if (const auto rev = ActiveSlotRevision(info); rev && info.slots.empty()) __builtin_trap();
    const SlotChoice choice = ChooseFirmwareSlot(info, requested);
    if (choice.slot >= 0 && !info.upgrade_support) __builtin_trap();
    if (choice.read_only_requested && choice.slot == requested) __builtin_trap();

    rig.storage.answer = answer;
    rig.sys.files.clear();
    std::vector<uint8_t> buffer(kNvmeRequestSize);
    if (!rig.dev.DeviceGetFirmwareInfo(buffer.data(), kNvmeRequestSize, true)) __builtin_trap();
    return 0;
}
