// IDENTIFY DEVICE, the vendor information page, the signed READ BUFFER page.
#include <cstring>

#include "device/ata_device.h"
#include "device/identify.h"

namespace orvane::device {

namespace {

constexpr uint32_t kPage = 512;

// Low bytes of the specific-configuration values 37C8h, 738Ch, 8C73h and C837h.
bool ValidWord2(uint8_t low) { return low == 0x37 || low == 0x73 || low == 0x8C || low == 0xC8; }

}  // namespace

uint8_t TAtaDevice::identify_device() {
    ReadBuf[4] = 0;
    IdeRegs regs = MakeRegs(0, 1, 0, 0, 0, 0, 0xEC);
    uint32_t length = kPage;
    const uint8_t result = ata_command(regs, ReadBuf.data(), nullptr, kDirIn, length);
    const uint8_t word2_low = ReadBuf[4];
    if (word2_low == 0) return ATACMD_FAIL;
    if (ValidWord2(word2_low)) return ATACMD_OK;
    return result;
}

uint8_t TAtaDevice::read_vendor_info() {
    fTimeout = 20.0f;
    std::memset(WriteBuf.data(), 0, kPage);
    WriteBuf[0] = 0x0A;
    WriteBuf[1] = 0x07;
    IdeRegs regs = MakeRegs(0xFC, 1, 0, 0, 0, 0, 0xFF);
    uint32_t length = kPage;
    uint8_t result = ata_command(regs, WriteBuf.data(), nullptr, kDirOut, length);
    if (result != ATACMD_OK) return result;
    fTimeout = 60.0f;
    std::memset(ReadBuf.data(), 0, kPage);
    regs = MakeRegs(0xFD, 1, 0, 0, 0, 0, 0xFF);
    length = kPage;
    return ata_command(regs, ReadBuf.data(), nullptr, kDirIn, length);
}

uint8_t TAtaDevice::vendor_read_buffer(uint8_t a, uint8_t b) {
    fTimeout = 20.0f;
    IdeRegs regs = MakeRegs(a, b, 'R', 'P', 'E', 0, 0xE4);
    uint32_t length = kPage;
    return ata_command(regs, ReadBuf.data(), nullptr, kDirIn, length);
}

bool TAtaDevice::is_enterprise() {
    if (identify_device() != ATACMD_OK) return false;
    const uint8_t w159 = ReadBuf[318];
    return w159 != 0 && w159 != 0xFF && (w159 & 0x07) != 0;
}

std::string IdentifyText(const uint8_t* identify, size_t offset, size_t length) {
    std::string out(length, '\0');
    for (size_t i = 0; i + 1 < length; i += 2) {
        out[i] = static_cast<char>(identify[offset + i + 1]);
        out[i + 1] = static_cast<char>(identify[offset + i]);
    }
    return out;
}

}  // namespace orvane::device
