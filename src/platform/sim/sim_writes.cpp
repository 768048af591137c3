#include "platform/sim/sim_writes.h"

#include <algorithm>

namespace orvane::platform::sim {

namespace {

constexpr uint8_t kCmdMicrocode = 0x92;
constexpr uint8_t kCmdVendor = 0xFF;
constexpr uint8_t kCmdWriteBuffer = 0xE8;
constexpr uint8_t kCmdSmart = 0xB0;
constexpr uint8_t kDirIn = 2;

// Commands that only read: identify, read buffer, the read sectors and log families, the
// power-mode check, read native max, NOP.
constexpr uint8_t kReads[] = {0xEC, 0xA1, 0xE4, 0x20, 0x24, 0x25, 0x29, 0x2F, 0x47,
                              0xC4, 0xC8, 0xF8, 0x27, 0xE5, 0x00};
// SMART READ DATA, READ THRESHOLDS, READ LOG, RETURN STATUS.
constexpr uint8_t kSmartReads[] = {0xD0, 0xD1, 0xD5, 0xDA};

bool Starts(const uint8_t* data, uint32_t length, uint8_t a, uint8_t b) {
    return data && length >= 2 && data[0] == a && data[1] == b;
}

}  // namespace

void SimWriteLog::Add(const std::string& kind) {
    if (!entries_.empty() && entries_.back().kind == kind)
        ++entries_.back().count;
    else
        entries_.push_back(SimWrite{kind, 1});
}

nlohmann::json SimWriteLog::Json() const {
    nlohmann::json out = nlohmann::json::array();
    for (const SimWrite& w : entries_) out.push_back({{"kind", w.kind}, {"count", w.count}});
    return out;
}

std::string AtaWriteKind(const uint8_t* regs, uint8_t direction, const uint8_t* data, uint32_t length) {
    const uint8_t fr = regs[0], cmd = regs[6];
    const bool carries = direction != 0 || data || length;
    if (cmd == kCmdMicrocode) return carries ? write_kind::kDownload : write_kind::kCommit;
    if (cmd == kCmdVendor) {
        // FDh reading the vendor page, and the key (0Ah 07h) that opens it, change nothing.
        if (fr == 0xFD && direction == kDirIn) return {};
        if (fr == 0xFC && Starts(data, length, 0x0A, 0x07)) return {};
        if ((fr == 0xFC && Starts(data, length, 0x07, 0xBE)) || (fr == 0xFD && !carries)) return write_kind::kPreformat;
        return write_kind::kVendorWrite;
    }
    if (cmd == kCmdWriteBuffer)
        return Starts(data, length, 0x07, 0xBE) ? write_kind::kPreformat : write_kind::kVendorWrite;
    if (cmd == kCmdSmart)
        return std::find(std::begin(kSmartReads), std::end(kSmartReads), fr) != std::end(kSmartReads)
                   ? std::string()
                   : write_kind::kSmartWrite;
    if (std::find(std::begin(kReads), std::end(kReads), cmd) != std::end(kReads)) return {};
    // Anything else may change the drive: recorded under its own name so that a test sees it.
    static const char kHex[] = "0123456789ABCDEF";
    return std::string("ata-") + kHex[cmd >> 4] + kHex[cmd & 15] + "h";
}

}  // namespace orvane::platform::sim
