// The vendor firmware-download flows (DOWNLOAD MICROCODE in chunks, normal and enterprise modes),
// the vendor preformat, and the parallel-ATA handshake.
#include "device/download_flows.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "device/ata_device.h"

namespace orvane::device {

namespace {

constexpr uint32_t kSector = 512;
constexpr uint8_t kCmdDownloadMicrocode = 0x92;
constexpr uint8_t kCmdVendor = 0xFF;
constexpr uint8_t kCmdWriteBuffer = 0xE8;
constexpr uint8_t kCmdReadBuffer = 0xE4;
// The sector count register is one byte.
constexpr int kMaxSectorLimit = 255;

// Subcommands (features) of DOWNLOAD MICROCODE.
constexpr uint8_t kSubNormalChunk = 0x03;
constexpr uint8_t kSubNormalActivate = 0x07;
constexpr uint8_t kSubEnterpriseChunk = 0x0E;
constexpr uint8_t kSubEnterpriseReboot = 0x0F;
// Offset 414Ch in CL/CH asks the drive to take the image's boot code as well.
constexpr uint8_t kBootCodeCl = 0x4C;
constexpr uint8_t kBootCodeCh = 0x41;

// The WRITE/READ BUFFER signature of the handshake and the PATA preformat: 'P', 'E', 'A'.
constexpr uint8_t kSigSn = 0x50;
constexpr uint8_t kSigCl = 0x45;
constexpr uint8_t kSigCh = 0x41;
constexpr uint8_t kHandshakeKey[4] = {0x12, 0x34, 0x56, 0x78};
constexpr size_t kHandshakeKeyAt = 28;
constexpr int kWriteBufferAttempts = 3;

constexpr char kPataAnswer[] = "AEP NEWSupport";
constexpr size_t kPataAnswerChars = sizeof kPataAnswer - 1;

// Copies the chunk from ReadBuf into WriteBuf and sends it; iChunk numbers the command's log line.
uint8_t SendChunk(TAtaDevice& d, uint8_t subcommand, uint32_t offset, uint32_t sectors) {
    const uint32_t bytes = sectors * kSector;
    std::memcpy(d.WriteBuf.data(), d.ReadBuf.data() + size_t{offset} * kSector, bytes);
    IdeRegs regs = MakeRegs(subcommand, static_cast<uint8_t>(sectors), 0, static_cast<uint8_t>(offset & 0xFF),
                            static_cast<uint8_t>(offset >> 8), 0, kCmdDownloadMicrocode);
    uint32_t length = bytes;
    const uint8_t result = d.ata_command(regs, d.WriteBuf.data(), nullptr, kDirOut, length);
    ++d.iChunk;
    return result;
}

uint8_t SendFullChunks(TAtaDevice& d, uint8_t subcommand, const ChunkPlan& plan, uint32_t max_sector) {
    for (uint32_t i = 0; i < plan.full; ++i) {
        const uint8_t result = SendChunk(d, subcommand, i * max_sector, max_sector);
        if (result != ATACMD_OK) return result;
    }
    return ATACMD_OK;
}

uint8_t SendRemainder(TAtaDevice& d, uint8_t subcommand, const ChunkPlan& plan, uint32_t max_sector) {
    return SendChunk(d, subcommand, plan.full * max_sector, plan.remainder);
}

uint8_t SendNonData(TAtaDevice& d, uint8_t fr, uint8_t cl, uint8_t ch, uint8_t cmd) {
    IdeRegs regs = MakeRegs(fr, 0, 0, cl, ch, 0, cmd);
    uint32_t length = 0;
    return d.ata_command(regs, nullptr, nullptr, kDirNone, length);
}

uint8_t SendPage(TAtaDevice& d, uint8_t fr, uint8_t cmd, uint8_t direction, uint8_t* buffer) {
    IdeRegs regs = MakeRegs(fr, 0, kSigSn, kSigCl, kSigCh, 0, cmd);
    uint32_t length = kSector;
    return d.ata_command(regs, buffer, nullptr, direction, length);
}

// Sets a flag for a scope and puts back what it was.
class ScopedFlag {
public:
    ScopedFlag(bool& flag, bool value) : flag_(flag), saved_(flag) { flag_ = value; }
    ~ScopedFlag() { flag_ = saved_; }
    ScopedFlag(const ScopedFlag&) = delete;
    ScopedFlag& operator=(const ScopedFlag&) = delete;

private:
    bool& flag_;
    bool saved_;
};

}  // namespace

ChunkPlan PlanChunks(uint32_t size, int max_sector) {
    ChunkPlan plan;
    plan.sectors = size / kSector + (size % kSector != 0 ? 1 : 0);
    if (max_sector < 1) return plan;
    const auto per_chunk = static_cast<uint32_t>(max_sector);
    plan.full = plan.sectors / per_chunk;
    plan.remainder = plan.sectors % per_chunk;
    plan.total = plan.full + (plan.remainder != 0 ? 1 : 0);
    return plan;
}

bool IsPataAnswer(const uint8_t* buffer, size_t n) {
    if (!buffer || n < 4 * (kPataAnswerChars - 1) + 1) return false;
    for (size_t i = 0; i < kPataAnswerChars; ++i)
        if (buffer[4 * i] != static_cast<uint8_t>(kPataAnswer[i])) return false;
    return true;
}

uint32_t MaxChunkSectors(int protocol) {
    switch (protocol) {
    // Whole task file in the record; longer transfers take the caller's buffer in place.
    case kProtoAta:
    case kProtoScsi:  // the 0xCC block carries all eight register bytes
    case kProtoSil:   // the miniport record carries the task file and a 32-bit length
    case kProtoSat:   // PIO data-out, length = SC blocks of 512
    case kProtoProlific:  // 32-bit length in the block
    case kProtoSunplus:   // length in sectors, one byte
    case kProtoCsmi:      // the command FIS carries the task file; data inside CsmiBuf (512 KiB)
        return kMaxSectorLimit;
    // The block's length field has 16 bits: 127 sectors are 65,024 bytes, 128 would not fit.
    case kProtoJmicron:
        return 0xFFFF / kSector;
    // Data travels inside the 512-byte record only.
    case kProtoIde:
        return 1;
    // I-O DATA, Logitec and Cypress blocks carry no SN, CL or CH: every chunk would land at
    // offset 0. 0, 12, 13, SDIO and NVMe carry no ATA commands.
    default:
        return 0;
    }
}

bool TAtaDevice::carries_download(std::string* why) const {
    const bool carries = MaxChunkSectors(iProtocol) > 0;
    if (why) *why = carries ? std::string() : std::string(kDownloadRefusedText);
    return carries;
}

uint8_t TAtaDevice::flash_firmware(const uint8_t* image, uint32_t size, int max_sector, int flash_mode,
                                   bool boot_code, bool reboot) {
    // Everything that can refuse the download does so before the first command.
    std::string why;
    if (!carries_download(&why)) {
        write_debug(Format("(%s) Firmware download refused: %s\n", protocol_name(), why.c_str()));
        return ATACMD_NOT_SUPPORT;
    }
    if (!image || size == 0 || size > ReadBuf.size()) {
        write_debug(Format("Firmware image of %u bytes refused: it must hold 1 to %u bytes\n", size,
                           static_cast<unsigned>(ReadBuf.size())));
        return ATACMD_FAIL;
    }
    if (max_sector < 1 || max_sector > kMaxSectorLimit) {
        write_debug(Format("Firmware download refused: max_sector=%d is not 1 to %d\n", max_sector, kMaxSectorLimit));
        return ATACMD_FAIL;
    }
    const ChunkPlan plan = PlanChunks(size, max_sector);
    const uint32_t per_chunk = static_cast<uint32_t>(max_sector);
    const uint32_t largest = plan.full != 0 ? per_chunk : plan.remainder;
    if (largest > MaxChunkSectors(iProtocol)) {
        write_debug(Format("(%s) Firmware download refused: chunks of %u sectors exceed the %u this connection "
                           "carries\n",
                           protocol_name(), largest, MaxChunkSectors(iProtocol)));
        return ATACMD_NOT_SUPPORT;
    }

    // An image inside ReadBuf: at its start it is used in place; elsewhere it is moved out first,
    // since the buffer is cleared before the copy.
    const auto buf_begin = reinterpret_cast<uintptr_t>(ReadBuf.data());
    const auto at = reinterpret_cast<uintptr_t>(image);
    const bool in_place = at == buf_begin;
    std::vector<uint8_t> moved;
    if (!in_place && at > buf_begin && at < buf_begin + ReadBuf.size()) {
        moved.assign(image, image + size);
        image = moved.data();
    }

    fTimeout = 60.0f;
    // IDENTIFY lands in ReadBuf: an image already there keeps its first sector.
    uint8_t first_sector[kSector];
    if (in_place) std::memcpy(first_sector, ReadBuf.data(), kSector);
    const bool enterprise = is_enterprise() || flash_mode == 2;
    if (in_place) {
        std::memcpy(ReadBuf.data(), first_sector, kSector);
        // The last sector's tail goes out as zeros, as it does after a copy into the cleared buffer.
        std::fill(ReadBuf.begin() + size, ReadBuf.begin() + size_t{plan.sectors} * kSector, 0);
    } else {
        std::fill(ReadBuf.begin(), ReadBuf.end(), 0);
        std::memcpy(ReadBuf.data(), image, size);
    }
    iChunkTotal = static_cast<int32_t>(plan.total);
    iChunk = 0;
    // A drive that restarts into its new firmware stops answering (status 7Fh) and the caller looks
    // for it again; without the restart nothing would notice a command that never reached it.
    const ScopedFlag no_device(no_device_fails_, !reboot);

    const int reboot_flag = reboot ? 1 : 0;
    const int boot_flag = boot_code ? 1 : 0;
    uint8_t result = ATACMD_OK;
    if (!enterprise) {
        write_debug(Format("Normal flash (mode3/mode7): Reboot=%d, Bootcode=%d, iFlashMode=%d, max_sector=%d\n",
                           reboot_flag, boot_flag, flash_mode, max_sector));
        if ((result = SendFullChunks(*this, kSubNormalChunk, plan, per_chunk)) != ATACMD_OK) return result;
        if (plan.remainder != 0 &&
            (result = SendRemainder(*this, kSubNormalChunk, plan, per_chunk)) != ATACMD_OK)
            return result;
        if (flash_mode != 0) return ATACMD_OK;
        fTimeout = 60.0f;
        if (boot_code) return SendNonData(*this, kSubNormalActivate, kBootCodeCl, kBootCodeCh, kCmdDownloadMicrocode);
        return SendNonData(*this, kSubNormalActivate, reboot ? 0 : 1, 0, kCmdDownloadMicrocode);
    }

    write_debug(Format("Enterprise flash flow (mode Eh/Fh): Reboot=%d, Bootcode=%d, iFlashMode=%d, max_sector=%d\n",
                       reboot_flag, boot_flag, flash_mode, max_sector));
    if (boot_code) {
        fTimeout = 60.0f;
        result = SendNonData(*this, kSubEnterpriseChunk, kBootCodeCl, kBootCodeCh, kCmdDownloadMicrocode);
        if (result != ATACMD_OK) {
            write_debug("Enterprise UpdateBoot (mode Eh, offset 414Ch) failed !\n");
            return result;
        }
    }
    write_debug("Enterprise (mode Eh) start !\n");
    if ((result = SendFullChunks(*this, kSubEnterpriseChunk, plan, per_chunk)) != ATACMD_OK) {
        write_debug("Enterprise UpdateBoot (mode Eh) failed !\n");
        return result;
    }
    if (plan.remainder != 0) {
        write_debug("Enterprise (mode Eh) module part \n");
        if ((result = SendRemainder(*this, kSubEnterpriseChunk, plan, per_chunk)) != ATACMD_OK) {
            write_debug("Enterprise UpdateBoot (mode Eh) module part failed !\n");
            return result;
        }
    }
    if (reboot) {
        // The labels are the log's own; the values follow them one place late.
        write_debug(Format("Enterprise Reboot (mode Fh): Reboot=%d, iFlashMode=%d, Mode3p7=%d, max_sector=%d\n",
                           reboot_flag, boot_flag, flash_mode, max_sector));
        fTimeout = 60.0f;
        if ((result = SendNonData(*this, kSubEnterpriseReboot, 0, 0, kCmdDownloadMicrocode)) != ATACMD_OK) {
            write_debug("Enterprise UpdateBoot (mode Fh) failed !\n");
            return result;
        }
    }
    write_debug("Enterprise (mode Eh/Fh) Finished !\n");
    return result;
}

uint8_t TAtaDevice::preformat() {
    fTimeout = 60.0f;
    std::memset(WriteBuf.data(), 0, kSector);
    WriteBuf[0] = 0x07;
    WriteBuf[1] = 0xBE;
    IdeRegs regs = MakeRegs(0xFC, 1, 0, 0, 0, 0, kCmdVendor);
    uint32_t length = kSector;
    const uint8_t result = ata_command(regs, WriteBuf.data(), nullptr, kDirOut, length);
    if (result != ATACMD_OK) return result;
    fTimeout = 120.0f;
    return SendNonData(*this, 0xFD, 0, 0, kCmdVendor);
}

uint8_t TAtaDevice::pata_preformat() {
    fTimeout = 60.0f;
    std::memset(WriteBuf.data(), 0, kSector);
    WriteBuf[0] = 0x07;
    WriteBuf[1] = 0xBE;
    std::memcpy(WriteBuf.data() + kHandshakeKeyAt, kHandshakeKey, sizeof kHandshakeKey);
    return SendPage(*this, 0, kCmdWriteBuffer, kDirOut, WriteBuf.data());
}

uint8_t TAtaDevice::pata_check() {
    fTimeout = 10.0f;
    std::memset(WriteBuf.data(), 0, kSector);
    WriteBuf[0] = 0x51;
    std::memcpy(WriteBuf.data() + kHandshakeKeyAt, kHandshakeKey, sizeof kHandshakeKey);
    uint8_t result = ATACMD_OK;
    for (int attempt = 0; attempt < kWriteBufferAttempts; ++attempt) {
        result = SendPage(*this, 0, kCmdWriteBuffer, kDirOut, WriteBuf.data());
        if (result == ATACMD_OK) break;
    }
    if (result != ATACMD_OK) return result;

    std::memset(ReadBuf.data(), 0, kSector);
    if ((result = SendPage(*this, 0x80, kCmdReadBuffer, kDirIn, ReadBuf.data())) != ATACMD_OK) return result;
    const uint32_t word = uint32_t{ReadBuf[0]} | uint32_t{ReadBuf[1]} << 8 | uint32_t{ReadBuf[2]} << 16 |
                          uint32_t{ReadBuf[3]} << 24;
    if (word != 1) return ATACMD_FAIL;
    return SendPage(*this, 0, kCmdReadBuffer, kDirIn, ReadBuf.data());
}

}  // namespace orvane::device
