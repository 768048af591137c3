// The USB bridges' register read-back: each decoder gets exactly the bytes its read returns.
#include <cstring>
#include <memory>

#include "device/scsi_blocks.h"
#include "fuzz/fuzz_input.h"

using namespace orvane::device;

namespace {

template <typename Decoder>
void DecodeExact(orvane::fuzz::FuzzInput& in, uint32_t length, Decoder decode) {
    std::vector<uint8_t> got = in.Bytes(length);
    if (got.size() < length) return;
    auto exact = std::make_unique<uint8_t[]>(length);
    std::memcpy(exact.get(), got.data(), length);
    IdeRegs regs{};
    decode(exact.get(), regs);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    orvane::fuzz::FuzzInput in(data, size);
    int port = JmicronPortOf(in.Byte());
    if (port < -1 || port > 1) __builtin_trap();
    (void)JmicronReadBlock(JmicronRegisterAddress(port), static_cast<uint16_t>(kJmicronRegsLength));
    DecodeExact(in, kJmicronRegsLength, JmicronRegs);
    DecodeExact(in, kProlificRegsLength, ProlificRegs);
    DecodeExact(in, kSunplusRegsLength, SunplusRegs);
    return 0;
}
