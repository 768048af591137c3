#include "pack/package_writer.h"

#include <cstring>
#include <memory>
#include <string>

#include "pack/pack_error.h"
#include "package/aes_cipher.h"
#include "package/package_info.h"

namespace orvane::pack {
namespace {

using namespace orvane::package;

// Fifteen images of the largest loadable size fill the image area exactly, so images
// that pass the per-image limit can never overflow it.
static_assert(kSlotCount * kImageBufferSize <= kImageAreaSize);

std::string SlotName(size_t n) { return "slot " + std::string(1, SlotDigit(static_cast<int>(n))); }

template <size_t N>
void PutText(char (&field)[N], const std::string& text, char pad) {
    std::memset(field, pad, N);
    std::memcpy(field, text.data(), text.size());
}

void PutDigits(char* field, uint32_t value) {
    for (int i = 9; i >= 0; --i) {
        field[i] = char('0' + value % 10);
        value /= 10;
    }
}

// The build's placeholder: the eligibility check reads a group starting with it as "no constraint".
void PutPlaceholder(EligibilityRecord& r, int group, int record) {
    r = EligibilityRecord{};
    std::memcpy(r.szFWS, "#FLSH", 5);
    r.szFWS[5] = SlotDigit(group);
    r.szFWS[6] = char('1' + record);
    r.szFWE[0] = '#';
    r.szModel[0] = '#';
}

Bytes Encipher(const Bytes& plain) {
    // Padded to 512 so the program's rounding adds nothing: its deciphered image is the
    // plain image followed by zeros, as the image flashed from Windows is.
    Bytes out = plain;
    out.resize((plain.size() + 511) / 512 * 512, 0);
    uint8_t key[16];
    AssemblePackageKey(key);
    auto cipher = std::make_unique<AesCipher>();
    cipher->SetKey(key);
    cipher->Run(out.data(), out.size(), CipherDirection::Encipher);
    return out;
}

bool EffectiveFlag(const Manifest& m, int position, bool base) {
    auto it = m.digits.find(position);
    return it == m.digits.end() ? base : it->second != '0';
}

// The images as they will be stored, checked against the limits of the way they are read.
std::vector<Bytes> StoredImages(const Manifest& m, bool win_flash) {
    std::vector<Bytes> stored;
    const size_t limit = win_flash ? kImageBufferSize : kMaxEncipheredImage;
    for (size_t n = 0; n < m.slots->size(); ++n) {
        const SlotSpec& s = (*m.slots)[n];
        if (s.encipher && *s.encipher == win_flash)
            throw PackError(SlotName(n) + ": \"encipher\" is " + (*s.encipher ? "true" : "false") +
                            " but bWinFlash is " + (win_flash ? "true: the program flashes images as stored"
                                                              : "false: the program deciphers every image"));
        if (s.image.size() > limit)
            throw PackError(SlotName(n) + ": image " + s.image_name + " is " + std::to_string(s.image.size()) +
                            " bytes, at most " + std::to_string(limit) + " fit" +
                            (win_flash ? "" : " when the image is enciphered"));
        stored.push_back(win_flash ? s.image : Encipher(s.image));
    }
    return stored;
}

void WriteSlots(PackageBlock& blk, const Manifest& m, const std::vector<Bytes>& stored, PackPlan& plan) {
    PackageHeader& h = blk.header;
    const int count = static_cast<int>(stored.size());
    h.iFWCount = static_cast<int8_t>(count);
    std::memset(blk.image, 0, sizeof(blk.image));
    size_t next = 0;
    for (int n = 0; n < kSlotCount; ++n) {
        for (int r = 0; r < kRecordsPerGroup; ++r) PutPlaceholder(h.records[n][r], n, r);
        if (n >= count) {
            PutDigits(h.start[n].digits, 0);
            PutDigits(h.size[n].digits, 0);
            PutText(h.new_fw[n].value, "N/A", ' ');
            PutText(h.fw_ext[n].value, "N/A", ' ');
            continue;
        }
        const SlotSpec& s = (*m.slots)[static_cast<size_t>(n)];
        const Bytes& image = stored[static_cast<size_t>(n)];
        std::memcpy(blk.image + next, image.data(), image.size());
        PutDigits(h.start[n].digits, static_cast<uint32_t>(next));
        PutDigits(h.size[n].digits, static_cast<uint32_t>(image.size()));
        plan.slots.push_back({static_cast<int32_t>(next), static_cast<int32_t>(image.size())});
        next += image.size();
        PutText(h.new_fw[n].value, s.new_fw, '\0');
        PutText(h.fw_ext[n].value, s.fw_ext, '\0');
        for (size_t r = 0; r < s.records.size(); ++r) {
            EligibilityRecord& rec = h.records[n][r];
            rec = EligibilityRecord{};
            PutText(rec.szFWS, s.records[r].fws, '\0');
            PutText(rec.szFWE, s.records[r].fwe, '\0');
            PutText(rec.szModel, s.records[r].model, ' ');
        }
    }
}

// Every executable as it will be stored: the manifest's, or the base's where the manifest is silent.
std::vector<Bytes> AuxExecutables(const Manifest& m, const PackageInfo& base) {
    std::vector<Bytes> out(kAuxCount);
    size_t total = 0;
    for (int k = 0; k < kAuxCount; ++k) {
        auto it = m.aux.find(k);
        if (it == m.aux.end()) {
            const uint8_t* p = AuxImage(base, k);
            out[static_cast<size_t>(k)].assign(p, p + base.aux[k].size);
        } else if (it->second) {
            out[static_cast<size_t>(k)] = *it->second;
        }
        total += out[static_cast<size_t>(k)].size();
    }
    if (total > kAuxPayloadSize)
        throw PackError("the auxiliary executables take " + std::to_string(total) + " bytes, the area holds " +
                        std::to_string(kAuxPayloadSize));
    return out;
}

void WriteAux(PackageBlock& blk, const std::vector<Bytes>& exes, PackPlan& plan) {
    std::memset(blk.aux_payload, 0, sizeof(blk.aux_payload));
    size_t next = 0;
    for (int k = 0; k < kAuxCount; ++k) {
        const Bytes& exe = exes[static_cast<size_t>(k)];
        // An empty vector's data() may be null, which memcpy may not be given even for 0 bytes.
        if (!exe.empty()) std::memcpy(blk.aux_payload + next, exe.data(), exe.size());
        next += exe.size();
        char* field = blk.aux.size_fields + AuxSizeFieldOffset(k) + std::strlen(kAuxSlots[k].size_label);
        PutDigits(field, static_cast<uint32_t>(exe.size()));
        plan.aux_sizes[k] = static_cast<int32_t>(exe.size());
    }
}

}  // namespace

PackPlan WritePackage(uint8_t* block, const Manifest& m) {
    const ParseResult base = ParsePackage(block, sizeof(PackageBlock));
    if (!base.ok) throw PackError("the base program's package does not read: " + base.error);
    const bool win_flash = EffectiveFlag(m, digit::bWinFlash, base.info.opt.bWinFlash);
    if (!m.slots && win_flash != base.info.opt.bWinFlash && base.info.opt.iFWCount > 0)
        throw PackError(std::string("bWinFlash changes whether the program deciphers the images, but the base's ") +
                        "images are kept as they are stored: give the \"slots\" again");

    std::vector<Bytes> stored;
    if (m.slots) stored = StoredImages(m, win_flash);
    std::vector<Bytes> exes;
    if (!m.aux.empty()) exes = AuxExecutables(m, base.info);

    PackPlan plan;
    auto& blk = *reinterpret_cast<PackageBlock*>(block);
    PackageHeader& h = blk.header;
    if (m.version) PutText(h.version, *m.version, '\0');
    if (m.banner) PutText(h.banner, *m.banner, '\0');
    if (m.target_model) PutText(h.target_model, *m.target_model, '\0');
    if (m.iVisualStyle) h.iVisualStyle = static_cast<int8_t>(*m.iVisualStyle);
    if (m.iLanguage) h.iLanguage = static_cast<int8_t>(*m.iLanguage);
    if (m.iFlashMode) h.iFlashMode = static_cast<int8_t>(*m.iFlashMode);
    for (const auto& [position, c] : m.digits) h.digits[position - 1] = c;

    if (m.slots) {
        WriteSlots(blk, m, stored, plan);
        plan.fw_count = static_cast<int>(stored.size());
    } else {
        plan.fw_count = base.info.opt.iFWCount;
        for (int n = 0; n < plan.fw_count; ++n) plan.slots.push_back({base.info.slots[n].start, base.info.slots[n].size});
    }
    if (!m.aux.empty()) {
        WriteAux(blk, exes, plan);
    } else {
        for (int k = 0; k < kAuxCount; ++k) plan.aux_sizes[k] = base.info.aux[k].size;
    }
    return plan;
}

void CheckWrittenPackage(const uint8_t* block, const PackPlan& plan) {
    const ParseResult r = ParsePackage(block, sizeof(PackageBlock));
    if (!r.ok) throw PackError("self-check: the packed program's package does not read: " + r.error);
    bool same = r.info.opt.iFWCount == plan.fw_count;
    for (size_t n = 0; same && n < plan.slots.size(); ++n)
        same = r.info.slots[n].start == plan.slots[n].start && r.info.slots[n].size == plan.slots[n].size;
    for (int k = 0; same && k < kAuxCount; ++k) same = r.info.aux[k].size == plan.aux_sizes[k];
    if (!same) throw PackError("self-check: the packed program's slot or auxiliary tables differ from what was written");
}

}  // namespace orvane::pack
