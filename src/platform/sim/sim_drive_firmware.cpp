// The drive's firmware model: DOWNLOAD MICROCODE by subcommand and offset, the commit and the
// restart that follows it, the vendor preformat pair and the PATA handshake.
#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/sim/sim_drive.h"
#include "platform/sim/sim_image_tag.h"

namespace orvane::platform::sim {

namespace {

constexpr uint8_t kStatusErr = 0x51;
constexpr uint8_t kErrAbort = 0x04;

constexpr uint8_t kCmdMicrocode = 0x92;
constexpr uint8_t kCmdWriteBuffer = 0xE8;
constexpr uint8_t kCmdReadBuffer = 0xE4;
constexpr uint8_t kCmdVendor = 0xFF;

constexpr uint8_t kModeOffsets = 0x03;     // chunk by offset, activated when complete
constexpr uint8_t kModeCommit = 0x07;      // final subcommand of the normal flow
constexpr uint8_t kModeDeferred = 0x0E;    // chunk by offset, kept for an activation
constexpr uint8_t kModeActivate = 0x0F;

// CL, CH of the boot-code offset 414Ch.
constexpr uint8_t kBootLow = 0x4C, kBootHigh = 0x41;

// The signed buffer pages carry 'P' 'E' 'A' in SN, CL, CH.
bool SignedPea(const uint8_t* regs) { return regs[2] == 'P' && regs[3] == 'E' && regs[4] == 'A'; }

bool HandshakeKey(const uint8_t* p) { return p[28] == 0x12 && p[29] == 0x34 && p[30] == 0x56 && p[31] == 0x78; }

}  // namespace

SimAtaDrive::SimAtaDrive(SimDriveDesc desc) : desc_(std::move(desc)), first_serial_(desc_.serial) {
    if (desc_.firmware && desc_.firmware->pending) {
        fw_.pending.emplace(desc_.firmware->pending->revision, desc_.firmware->pending->def);
        desc_.firmware->pending.reset();
    }
}

bool SimAtaDrive::Firmware(const uint8_t* regs, uint8_t direction, uint8_t* data, uint32_t length, SimAtaResult& r) {
    const uint8_t fr = regs[0], cmd = regs[6];
    const bool out512 = direction == 4 && data && length >= 512;
    bool handled = true, ok = false;
    if (cmd == kCmdMicrocode) {
        ok = Microcode(regs, direction, data, length);
    } else if (cmd == kCmdVendor && fr == 0xFC && direction == 4 && data && length >= 2 && data[0] == 0x07 &&
               data[1] == 0xBE) {
        fw_.preformat_armed = ok = true;
        r.transferred = std::min<uint32_t>(length, 512);
    } else if (cmd == kCmdVendor && fr == 0xFD && direction == 0) {
        ok = fw_.preformat_armed;
        if (ok) ++fw_.preformats;
        fw_.preformat_armed = false;
    } else if (cmd == kCmdWriteBuffer && SignedPea(regs)) {
        if (out512 && data[0] == 0x51 && HandshakeKey(data)) {
            fw_.pata_armed = ok = true;
        } else if (out512 && data[0] == 0x07 && data[1] == 0xBE && HandshakeKey(data)) {
            // Only a parallel-ATA drive takes the preformat by this page.
            ok = desc_.firmware->pata;
            if (ok) ++fw_.preformats;
        }
        if (ok) r.transferred = 512;
    } else if (cmd == kCmdReadBuffer && SignedPea(regs) && (fr == 0x80 || fr == 0)) {
        ok = fw_.pata_armed && direction == 2 && data;
        if (ok) {
            uint8_t page[512] = {};
            if (fr == 0x80) {
                page[0] = 1;
            } else if (desc_.firmware->pata) {
                static const char kSpelled[] = "AEP NEWSupport";
                for (size_t i = 0; i + 1 < sizeof kSpelled; ++i) page[i * 4] = static_cast<uint8_t>(kSpelled[i]);
            }
            r.transferred = std::min<uint32_t>(length, 512);
            std::memcpy(data, page, r.transferred);
        }
    } else {
        handled = false;
    }
    if (handled && !ok) {
        r.error = kErrAbort;
        r.status = kStatusErr;
        r.transferred = 0;
    }
    return handled;
}

bool SimAtaDrive::Microcode(const uint8_t* regs, uint8_t direction, const uint8_t* data, uint32_t length) {
    const uint8_t fr = regs[0], sc = regs[1], cl = regs[3], ch = regs[4];
    const SimFirmwareDesc& f = *desc_.firmware;
    const bool known = std::find(f.modes.begin(), f.modes.end(), fr) != f.modes.end();
    const bool chunk = direction != 0 || data || length;
    if (chunk) {
        const bool by_offset = known && (fr == kModeOffsets || fr == kModeDeferred);
        if (by_offset && Chunk(fr, sc, static_cast<uint32_t>(cl) | static_cast<uint32_t>(ch) << 8, direction, data,
                               length))
            return true;
        // A refused chunk leaves nothing of the image: the host must start again from offset 0.
        ++fw_.chunks_refused;
        fw_.image.clear();
        fw_.image_mode = 0;
        fw_.awaiting_final = false;
        return false;
    }
    if (!known) return false;
    if (fr == kModeCommit) {
        // Commits the mode-3 image: CL 0 now, CL 1 at the next machine restart, 414Ch with the boot code.
        const bool boot = cl == kBootLow && ch == kBootHigh;
        if (fw_.image.empty() || fw_.image_mode != kModeOffsets || (!boot && (ch != 0 || cl > 1))) return false;
        if (const auto tag = FindImageTag(fw_.image.data(), fw_.image.size()); tag && tag->length > fw_.image.size())
            return false;  // incomplete
        fw_.awaiting_final = false;
        if (boot) ++fw_.boot_code_updates;
        if (cl == 1 && !boot)
            MakePending();
        else
            Commit(Now());
        return true;
    }
    if (fr == kModeDeferred) {
        // The boot-code announcement of the enterprise flow; it carries no data.
        if (cl != kBootLow || ch != kBootHigh) return false;
        fw_.boot_announced = true;
        return true;
    }
    if (fr == kModeActivate) {
        if (fw_.image_mode != kModeDeferred || fw_.image.empty()) return false;
        if (const auto tag = FindImageTag(fw_.image.data(), fw_.image.size()); tag && tag->length > fw_.image.size())
            return false;
        if (fw_.boot_announced) ++fw_.boot_code_updates;
        Commit(Now());
        return true;
    }
    return false;
}

bool SimAtaDrive::Chunk(uint8_t mode, uint32_t sectors, uint32_t offset, uint8_t direction, const uint8_t* data,
                        uint32_t length) {
    if (direction != 4 || !data || sectors == 0 ||
        sectors > static_cast<uint32_t>(desc_.firmware->max_chunk_sectors) || length != sectors * 512)
        return false;
    // Offset 0 starts a new image; every other chunk continues where the last one ended.
    if (offset == 0) {
        fw_.image.clear();
        fw_.image_mode = mode;
        fw_.awaiting_final = false;
        fw_.boot_announced = fw_.boot_announced && mode == kModeDeferred;
    } else if (mode != fw_.image_mode || offset * 512 != fw_.image.size()) {
        return false;
    }
    fw_.image.insert(fw_.image.end(), data, data + length);
    const auto tag = FindImageTag(fw_.image.data(), fw_.image.size());
    if (!tag || tag->length > fw_.image.size()) return true;
    // Complete: every byte the tag counts has arrived.
    if (mode == kModeOffsets) {
        fw_.awaiting_final = true;
        fw_.complete_at = Now();
    } else {
        MakePending();
    }
    return true;
}

void SimAtaDrive::MakePending() {
    const auto tag = FindImageTag(fw_.image.data(), fw_.image.size());
    if (tag)
        fw_.pending.emplace(tag->revision, tag->def.empty() ? desc_.def : std::optional<std::string>(tag->def));
    else
        fw_.pending.emplace(desc_.revision, desc_.def);
    // A deferred image stays for the activation (0Fh); a mode-3 one is used up.
    if (fw_.image_mode != kModeDeferred) {
        fw_.image.clear();
        fw_.image_mode = 0;
    }
}

void SimAtaDrive::Commit(double since) {
    const auto tag = FindImageTag(fw_.image.data(), fw_.image.size());
    next_revision_ = tag ? tag->revision : desc_.revision;
    next_def_ = tag && !tag->def.empty() ? std::optional<std::string>(tag->def) : desc_.def;
    next_serial_ = desc_.serial;
    const SimFirmwareDesc& f = *desc_.firmware;
    if (f.comes_back == SimFirmwareDesc::Old) {
        next_revision_ = desc_.revision;
        next_def_ = desc_.def;
    } else if (f.comes_back == SimFirmwareDesc::OtherSerial) {
        next_serial_ = f.other_serial;
    }
    ++fw_.committed;
    fw_.pending.reset();
    fw_.image.clear();
    fw_.image_mode = 0;
    fw_.awaiting_final = false;
    fw_.boot_announced = false;
    fw_.preformat_armed = fw_.pata_armed = false;
    vendor_unlocked_ = false;
    fw_.restarting = true;
    fw_.back_at = f.comes_back == SimFirmwareDesc::Never ? std::numeric_limits<double>::infinity()
                  : now_                                 ? since + f.restart_seconds
                                                         : since;
    Restarting();
}

void SimAtaDrive::Settle() {
    if (fw_.awaiting_final) Commit(fw_.complete_at);
}

bool SimAtaDrive::Restarting() {
    if (!fw_.restarting) return false;
    if (Now() < fw_.back_at) return true;
    fw_.restarting = false;
    ApplyIdentity(next_revision_, next_def_, next_serial_);
    return false;
}

void SimAtaDrive::ApplyIdentity(const std::string& revision, const std::optional<std::string>& def,
                                const std::string& serial) {
    if (revision != desc_.revision || serial != desc_.serial) {
        // The first change since the disk last looked is the one its descriptor still shows.
        if (!changed_) changed_ = IdentityChange{desc_.revision, desc_.serial};
    }
    desc_.revision = revision;
    desc_.def = def;
    desc_.serial = serial;
}

std::optional<SimAtaDrive::IdentityChange> SimAtaDrive::TakeIdentityChange() {
    std::optional<IdentityChange> c;
    c.swap(changed_);
    return c;
}

void SimAtaDrive::MachineRestart() {
    if (!desc_.firmware) return;
    Settle();
    if (fw_.restarting && fw_.back_at != std::numeric_limits<double>::infinity()) fw_.back_at = Now();
    Restarting();
    if (fw_.restarting) return;
    if (fw_.pending) {
        ApplyIdentity(fw_.pending->first, fw_.pending->second, desc_.serial);
        ++fw_.committed;
        fw_.pending.reset();
    }
    fw_.image.clear();
    fw_.image_mode = 0;
    fw_.boot_announced = fw_.preformat_armed = fw_.pata_armed = false;
}

bool SimAtaDrive::FlashAtBoot(const std::vector<uint8_t>& image, std::string& why) {
    if (!desc_.firmware) {
        why = "the drive takes no firmware";
        return false;
    }
    const auto& modes = desc_.firmware->modes;
    if (std::find(modes.begin(), modes.end(), kModeOffsets) == modes.end() &&
        std::find(modes.begin(), modes.end(), kModeDeferred) == modes.end()) {
        why = "the drive takes no download by offsets";
        return false;
    }
    if (image.empty()) {
        why = "the image is empty";
        return false;
    }
    if (const auto tag = FindImageTag(image.data(), image.size()); tag && tag->length > image.size()) {
        why = "the image is shorter than its tag says";
        return false;
    }
    if (Restarting()) {
        why = "the drive does not answer";
        return false;
    }
    writes.Add(write_kind::kDownload);
    writes.Add(write_kind::kCommit);
    fw_.pending.reset();
    fw_.image = image;
    fw_.image_mode = kModeOffsets;
    Commit(Now());
    if (fw_.back_at != std::numeric_limits<double>::infinity()) fw_.back_at = Now();
    Restarting();
    return true;
}

}  // namespace orvane::platform::sim
