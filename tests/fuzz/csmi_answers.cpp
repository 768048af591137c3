// A CSMI driver's answers as the device object reads them: the driver information, the phy
// table and an STP pass-through carrying IDENTIFY. Input: one flag byte (bit n: request n
// fails), the STP answer's returned count (4 bytes), then the bytes each answer writes over
// its request in turn (204, 2,080, the rest); a short input leaves the rest as sent.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "common/fake_system_api.h"
#include "device/ata_device.h"
#include "fuzz/fuzz_input.h"
#include "system/fake_clock.h"

using namespace orvane;

namespace {

struct Answers {
    uint8_t fails = 0;
    uint32_t stp_returned = 0;
    std::vector<uint8_t> driver, phys, stp;
};

class FuzzStorage : public platform::StorageIo {
public:
    Answers answers;
    int requests = 0;

    std::unique_ptr<platform::StorageHandle> Open(const std::string&, uint32_t, uint32_t, uint32_t&) override {
        return std::make_unique<Handle>(*this);
    }
    std::string ErrorText(uint32_t) override { return {}; }

private:
    class Handle : public platform::StorageHandle {
    public:
        explicit Handle(FuzzStorage& s) : s_(s) {}
        platform::IoResult Control(uint32_t, void* buffer, uint32_t in_len, uint32_t out_len) override {
            const int n = s_.requests++;
            const std::vector<uint8_t>& bytes = n == 0 ? s_.answers.driver : n == 1 ? s_.answers.phys : s_.answers.stp;
            if (s_.answers.fails & (1u << std::min(n, 2))) return {false, 0, 121};
            if (!bytes.empty()) std::memcpy(buffer, bytes.data(), std::min<size_t>(bytes.size(), out_len));
            const uint32_t returned = n < 2 ? std::min<uint32_t>(in_len, out_len) : s_.answers.stp_returned;
            return {true, returned, 0};
        }

    private:
        FuzzStorage& s_;
    };
};

struct Rig {
    test::FakeSystemApi sys;
    test::FakeClock clock;
    test::FakePump pump{clock};
    FuzzStorage storage;
    platform::Platform platform{sys, clock, pump, &storage, nullptr, nullptr};
    device::TAtaDevice dev{platform, "C:\\TEMP\\ORVANE_DEBUG.txt"};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One device object for the whole run: its buffers are large, and each input starts it afresh.
    static Rig* rig = new Rig;
    fuzz::FuzzInput in(data, size);
    Answers& a = rig->storage.answers;
    a.fails = in.Byte();
    a.stp_returned = in.U32();
    a.driver = in.Bytes(sizeof(records::CSMI_SAS_DRIVER_INFO_BUFFER));
    a.phys = in.Bytes(sizeof(records::CSMI_SAS_PHY_INFO_BUFFER));
    a.stp = in.Rest();
    rig->storage.requests = 0;
    rig->sys.files.clear();

    device::TAtaDevice& dev = rig->dev;
    if (!dev.open_device(0, nullptr, device::kOpenCsmi)) std::abort();
    records::CSMI_SAS_PHY_INFO info{};
    const bool listed = dev.get_phy_info(info);
    if (listed && info.bNumberOfPhys > records::kCsmiMaxPhys) std::abort();
    // Aim at the first entry whose attached device is SATA or STP, as the scan does.
    const records::CSMI_SAS_PHY_ENTITY* target = nullptr;
    for (const auto& e : info.Phy)
        if (listed && !target && e.Identify.bDeviceType && (e.Attached.bTargetPortProtocol & 0x05)) target = &e;
    if (target) {
        uint32_t address[2];
        std::memcpy(address, target->Attached.bSASAddress, sizeof address);
        dev.set_phy(target->Identify.bPhyIdentifier);
        dev.set_port(target->bPortIdentifier);
        dev.set_sas_address(address[0], address[1]);
    }
    rig->storage.requests = 2;  // the STP answer, whatever the table did
    dev.bLastStatus = 0;
    const uint8_t result = dev.identify_device();
    // A status with ERR or DF never ends as success through the command itself.
    if (dev.bLastStatus != 0 && !(dev.bLastStatus & 0x21)) std::abort();
    (void)result;
    return 0;
}
