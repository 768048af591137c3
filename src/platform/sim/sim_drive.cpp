#include "platform/sim/sim_drive.h"

#include <algorithm>
#include <cstring>

namespace orvane::platform::sim {

namespace {

constexpr uint8_t kStatusErr = 0x51;  // DRDY | DSC | ERR
constexpr uint8_t kErrAbort = 0x04;

constexpr uint8_t kCmdIdentify = 0xEC;
constexpr uint8_t kCmdVendor = 0xFF;
constexpr uint8_t kCmdReadBuffer = 0xE4;
constexpr uint8_t kVendorWrite = 0xFC;
constexpr uint8_t kVendorRead = 0xFD;

// ATA text fields: two characters per word, the first in the high byte; blank padded.
void PutText(std::vector<uint8_t>& id, int word, int words, const std::string& text) {
    for (int i = 0; i < words * 2; ++i) {
        char c = i < static_cast<int>(text.size()) ? text[i] : ' ';
        id[word * 2 + (i ^ 1)] = static_cast<uint8_t>(c);
    }
}

void PutWord(std::vector<uint8_t>& id, int word, uint16_t v) {
    id[word * 2] = static_cast<uint8_t>(v);
    id[word * 2 + 1] = static_cast<uint8_t>(v >> 8);
}

}  // namespace

std::vector<uint8_t> SimAtaDrive::IdentifyData() const {
    std::vector<uint8_t> id(512, 0);
    const uint32_t sectors = 0x0FFFFFFFu;  // a 48-bit drive reports the 28-bit maximum
    PutWord(id, 0, 0x0040);  // fixed, not removable
    PutWord(id, 1, 16383);
    PutWord(id, 2, desc_.word2);
    PutWord(id, 3, 16);
    PutWord(id, 6, 63);
    PutText(id, 10, 10, desc_.serial);
    PutText(id, 23, 4, desc_.revision);
    PutText(id, 27, 20, desc_.model);
    PutWord(id, 47, 0x8010);
    PutWord(id, 49, 0x2F00);
    PutWord(id, 53, 0x0007);
    PutWord(id, 60, static_cast<uint16_t>(sectors));
    PutWord(id, 61, static_cast<uint16_t>(sectors >> 16));
    PutWord(id, 80, 0x07F0);
    PutWord(id, 83, 0x7400);
    PutWord(id, 86, 0x3400);
    PutWord(id, 100, static_cast<uint16_t>(500118192u));
    PutWord(id, 101, static_cast<uint16_t>(500118192u >> 16));
    PutWord(id, 106, 0x4000);
    PutWord(id, 128, desc_.word128);
    PutWord(id, 159, desc_.word159);
    PutWord(id, 217, 0x0001);  // non-rotating
    // Integrity word: signature A5h, checksum making the 512 bytes sum to 0.
    id[510] = 0xA5;
    uint8_t sum = 0;
    for (int i = 0; i < 511; ++i) sum = static_cast<uint8_t>(sum + id[i]);
    id[511] = static_cast<uint8_t>(-sum);
    return id;
}

const SimDriveFault* SimAtaDrive::FaultFor(uint8_t cmd, uint8_t fr) {
    for (size_t i = 0; i < desc_.faults.size(); ++i) {
        const SimDriveFault& f = desc_.faults[i];
        if (f.command >= 0 && f.command != cmd) continue;
        if (f.features >= 0 && f.features != fr) continue;
        if (++fault_seen_[i] <= f.skip) continue;
        int& hits = fault_hits_[i];
        if (f.times >= 0 && hits >= f.times) continue;
        ++hits;
        return &f;
    }
    return nullptr;
}

SimAtaResult SimAtaDrive::Execute(const uint8_t* regs, const uint8_t* high, uint8_t direction, uint8_t* data,
                                  uint32_t length) {
    SimAtaResult r;
    std::memcpy(r.regs, regs, 7);
    if (high) std::memcpy(r.high, high, 5);
    const uint8_t fr = regs[0], sn = regs[2], cl = regs[3], ch = regs[4], cmd = regs[6];
    history.emplace_back(cmd, fr);
    if (const std::string kind = AtaWriteKind(regs, direction, data, length); !kind.empty()) writes.Add(kind);
    // A restarting drive does not answer.
    if (Restarting()) {
        r.timed_out = true;
        return r;
    }
    if (fw_.awaiting_final && !(cmd == 0x92 && fr == 0x07 && direction == 0)) Settle();
    if (fw_.restarting) {
        r.timed_out = true;
        return r;
    }

    auto abort = [&] {
        r.error = kErrAbort;
        r.status = kStatusErr;
    };
    if (const SimDriveFault* f = FaultFor(cmd, fr)) {
        switch (f->effect) {
        case SimDriveFault::Timeout: r.timed_out = true; return r;
        case SimDriveFault::Status7F: r.error = 0; r.status = 0x7F; break;
        case SimDriveFault::Error: abort(); break;
        }
        r.regs[0] = r.error;
        r.regs[6] = r.status;
        return r;
    }

    auto give = [&](const uint8_t* page, uint32_t n) {
        if (direction != 2 || !data) return abort();
        r.transferred = std::min(n, length);
        std::memcpy(data, page, r.transferred);
    };

    if (desc_.firmware && Firmware(regs, direction, data, length, r)) {
        // taken or refused by the firmware model
    } else if (cmd == kCmdIdentify) {
        give(IdentifyData().data(), 512);
    } else if (cmd == kCmdVendor && fr == kVendorWrite) {
        // The page is released only by the write that carries its key.
        if (direction != 4 || !data || length < 2 || !desc_.def || data[0] != 0x0A || data[1] != 0x07) {
            abort();
        } else {
            vendor_unlocked_ = true;
            r.transferred = std::min<uint32_t>(length, 512);
        }
    } else if (cmd == kCmdVendor && fr == kVendorRead) {
        if (!vendor_unlocked_ || !desc_.def) {
            abort();
        } else {
            uint8_t page[512] = {};
            std::memset(page, ' ', 8);
            std::memcpy(page, desc_.def->data(), desc_.def->size());
            give(page, 512);
            vendor_unlocked_ = false;
        }
    } else if (cmd == kCmdReadBuffer && sn == 'R' && cl == 'P' && ch == 'E') {
        uint8_t page[512] = {};
        if (desc_.fatal) {
            static const char kRecord[] = "FATAL STATE 0x37 SYSTEM AREA";
            std::memcpy(page, kRecord, sizeof kRecord - 1);
        }
        give(page, 512);
    } else {
        abort();
    }
    r.regs[0] = r.error;
    r.regs[6] = r.status;
    return r;
}

}  // namespace orvane::platform::sim
