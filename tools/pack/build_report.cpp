#include "pack/build_report.h"

#include <algorithm>
#include <cstddef>
#include <memory>

#include "pack/sha256.h"
#include "package/aes_cipher.h"
#include "package/package_layout.h"
#include "text/text.h"

namespace orvane::pack {
namespace {

using namespace orvane::package;

std::string SlotName(int n) { return "slot " + std::string(1, SlotDigit(n)); }

int SlotsInUse(const PackageInfo& info) { return info.opt.iFWCount < 0 ? 0 : std::min<int>(info.opt.iFWCount, kSlotCount); }

// The build's placeholder, which the eligibility check reads as "no constraint" in a group's first record.
bool IsPlaceholder(const EligibilityRecord& r) {
    return text::TrimmedField(r.szFWS).starts_with("#FLS") && text::TrimmedField(r.szFWE).starts_with('#') &&
           text::TrimmedField(r.szModel).starts_with('#');
}

}  // namespace

std::string SlotImageDigest(const PackageInfo& info, int n) {
    const SlotInfo& s = info.slots[n];
    const uint8_t* stored = info.block + offsetof(PackageBlock, image) + static_cast<size_t>(s.start);
    if (info.opt.bWinFlash) return Sha256Hex(stored, static_cast<size_t>(s.size));
    std::vector<uint8_t> plain(stored, stored + s.size);
    uint8_t key[16];
    AssemblePackageKey(key);
    auto cipher = std::make_unique<AesCipher>();
    cipher->SetKey(key);
    cipher->Run(plain.data(), plain.size(), CipherDirection::Decipher);
    return Sha256Hex(plain.data(), plain.size());
}

std::vector<std::string> SlotSummaryLines(const Manifest& m, const PackageInfo& written) {
    std::vector<std::string> lines;
    for (int n = 0; n < SlotsInUse(written); ++n) {
        const SlotInfo& s = written.slots[n];
        std::string size, digest;
        if (m.slots) {
            const Bytes& image = (*m.slots)[static_cast<size_t>(n)].image;
            size = std::to_string(image.size()) + " bytes" +
                   (written.opt.bWinFlash ? "" : " (enciphered: " + std::to_string(s.size) + " stored)");
            digest = Sha256Hex(image.data(), image.size());
        } else {
            size = std::to_string(s.size) + " bytes (kept from the base" +
                   (written.opt.bWinFlash ? ")" : ", deciphered)");
            digest = SlotImageDigest(written, n);
        }
        lines.push_back(SlotName(n) + ": " + size + ", new revision " + text::TrimmedField(s.new_fw) + ", DEF " +
                        text::TrimmedField(s.fw_ext) + ", SHA-256 " + digest);
    }
    return lines;
}

std::vector<std::string> PackageWarnings(const PackageInfo& written) {
    // The target model is what the program names as supported; a drive of that model is
    // eligible only through a record that names no model or names that one.
    const std::string target = text::Trim(written.target_model);
    if (target.empty() || SlotsInUse(written) == 0) return {};
    std::vector<std::string> models;
    for (int n = 0; n < SlotsInUse(written); ++n) {
        const auto& group = written.records[n];
        if (IsPlaceholder(group[0])) return {};
        for (const EligibilityRecord& r : group) {
            if (IsPlaceholder(r)) continue;
            const std::string model = text::TrimmedField(r.szModel);
            if (model.empty() || model == target) return {};
            models.push_back(model);
        }
    }
    std::string list;
    for (const std::string& model : models) list += (list.empty() ? "\"" : ", \"") + model + "\"";
    return {"the target model \"" + target + "\" matches none of the records' models (" + list +
            "): no drive of that model is eligible"};
}

}  // namespace orvane::pack
