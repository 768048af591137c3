// The read-back of a download: an image's bytes as the simulated drive received them, read for
// their tag; then the same bytes sent to a drive as mode-3 chunks and committed.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "platform/sim/sim_drive.h"
#include "platform/sim/sim_image_tag.h"

using namespace orvane::platform::sim;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;  // offsets in sectors stay within 16 bits
    orvane::fuzz::FuzzInput in(data, size);
    const uint8_t stamp_at = in.Byte();
    const std::vector<uint8_t> image = in.Rest();

    // Exactly the image's bytes: a read past them is a finding.
    auto exact = std::make_unique<uint8_t[]>(image.size() + 1);
    if (!image.empty()) std::memcpy(exact.get(), image.data(), image.size());
    const auto tag = FindImageTag(exact.get(), image.size());
    if (tag) {
        if (tag->offset + kImageTagSize > image.size() || tag->length < tag->offset + kImageTagSize) __builtin_trap();
        if (tag->revision.empty() || tag->revision.size() > 8 || tag->def.size() > 8) __builtin_trap();
        if (std::memcmp(exact.get() + tag->offset, kImageTagMagic, 8) != 0) __builtin_trap();
    }

    // A stamp is always found again, at its place or at an earlier tag.
    std::vector<uint8_t> stamped = image;
    if (StampImageTag(stamped, stamp_at, "R1", "D1")) {
        const auto again = FindImageTag(stamped.data(), stamped.size());
        if (!again || again->offset > stamp_at) __builtin_trap();
    }

    // Sent to a drive in chunks of up to 8 sectors and committed by 7. A tag whose length ends
    // early completes the image there, and the drive restarts under the rest: sending stops.
    SimDriveDesc desc;
    desc.revision = "OLD00001";
    desc.serial = "S1";
    desc.firmware = SimFirmwareDesc{};
    SimAtaDrive drive(desc);
    std::vector<uint8_t> padded(image);
    padded.resize((image.size() + 511) / 512 * 512);
    for (size_t at = 0; at < padded.size(); at += 8 * 512) {
        const size_t n = std::min<size_t>(8 * 512, padded.size() - at);
        const uint8_t regs[7] = {3, static_cast<uint8_t>(n / 512), 0, static_cast<uint8_t>(at / 512),
                                 static_cast<uint8_t>(at / 512 >> 8), 0, 0x92};
        if (drive.Execute(regs, nullptr, 4, padded.data() + at, static_cast<uint32_t>(n)).status != 0x50) break;
    }
    const uint8_t commit[7] = {7, 0, 0, 0, 0, 0, 0x92};
    drive.Execute(commit, nullptr, 0, nullptr, 0);
    drive.Settle();
    if (drive.Restarting()) __builtin_trap();  // no clock: a restart is over at once
    const int committed = drive.firmware().committed;
    if (committed > 1 || drive.firmware().chunks_refused > 1) __builtin_trap();
    const auto sent = FindImageTag(padded.data(), padded.size());
    if (!sent && (drive.desc().revision != "OLD00001" || committed != (padded.empty() ? 0 : 1))) __builtin_trap();
    if (sent && drive.desc().revision != "OLD00001" && drive.desc().revision != sent->revision) __builtin_trap();
    if (sent && sent->length <= padded.size() && (committed != 1 || drive.desc().revision != sent->revision))
        __builtin_trap();
    return 0;
}
