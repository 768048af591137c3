#include <cstring>
#include <string>

#include "package/package_info.h"
#include "text/text.h"

namespace orvane::package {

const OptionDigit kOptionDigits[15] = {
    {"bUseFWExt", digit::bUseFWExt, false, &PackageOptions::bUseFWExt, nullptr},
    {"ReBoot", digit::ReBoot, false, &PackageOptions::ReBoot, nullptr},
    {"bAutoFlashAll", digit::bAutoFlashAll, false, &PackageOptions::bAutoFlashAll, nullptr},
    {"bAskShutdown", digit::bAskShutdown, false, &PackageOptions::bAskShutdown, nullptr},
    {"iNoticeLevel", digit::iNoticeLevel, true, nullptr, &PackageOptions::iNoticeLevel},
    {"bListMatchedOnly", digit::bListMatchedOnly, false, &PackageOptions::bListMatchedOnly, nullptr},
    {"bAskReboot", digit::bAskReboot, false, &PackageOptions::bAskReboot, nullptr},
    {"bNFlashAuto", digit::bNFlashAuto, false, &PackageOptions::bNFlashAuto, nullptr},
    {"bUpdateBoot", digit::bUpdateBoot, false, &PackageOptions::bUpdateBoot, nullptr},
    {"bUnattended", digit::bUnattended, false, &PackageOptions::bUnattended, nullptr},
    {"Preformat", digit::Preformat, false, &PackageOptions::Preformat, nullptr},
    {"bBPreformat", digit::bBPreformat, false, &PackageOptions::bBPreformat, nullptr},
    {"bFOld", digit::bFOld, false, &PackageOptions::bFOld, nullptr},
    {"bAutoStart", digit::bAutoStart, false, &PackageOptions::bAutoStart, nullptr},
    {"bWinFlash", digit::bWinFlash, false, &PackageOptions::bWinFlash, nullptr},
};

namespace {

// The decimal conversion the fields are written for: digits up to the NUL.
enum class Decimal { Ok, NotANumber, TooLarge };
// Anything else in front of the NUL or no digit at all is not a number; past int32 is too large.
Decimal ReadDecimal(const char* digits, size_t width, int32_t& out) {
    size_t n = strnlen(digits, width);
    if (n == 0) return Decimal::NotANumber;
    int64_t v = 0;
    bool too_large = false;
    for (size_t i = 0; i < n; ++i) {
        if (digits[i] < '0' || digits[i] > '9') return Decimal::NotANumber;
        if (!too_large) v = v * 10 + (digits[i] - '0');
        too_large = too_large || v > INT32_MAX;
    }
    if (too_large) return Decimal::TooLarge;
    out = static_cast<int32_t>(v);
    return Decimal::Ok;
}

// "is not a decimal number" or "(9999999999) is larger than 2147483647", after the field's name.
std::string DecimalProblem(Decimal d, const char* digits, size_t width) {
    if (d == Decimal::NotANumber) return " is not a decimal number";
    return " (" + std::string(digits, strnlen(digits, width)) + ") is larger than " + std::to_string(INT32_MAX);
}

std::string SlotName(int n) { return std::string(1, SlotDigit(n)); }

}  // namespace

ParseResult ParsePackage(const uint8_t* bytes, size_t size) {
    ParseResult r;
    if (bytes == nullptr || size < sizeof(PackageBlock)) {
        r.error = "the package block is truncated";
        return r;
    }
    const auto& blk = *reinterpret_cast<const PackageBlock*>(bytes);
    const PackageHeader& h = blk.header;
    PackageInfo& info = r.info;
    info.block = bytes;
    info.version = text::FieldText(h.version);
    info.banner = text::FieldText(h.banner);
    info.target_model = text::FieldText(h.target_model);

    PackageOptions& o = info.opt;
    o.iVisualStyle = h.iVisualStyle;
    o.iLanguage = h.iLanguage;
    o.iFlashMode = h.iFlashMode;
    o.iFWCount = h.iFWCount;
    for (const OptionDigit& d : kOptionDigits) {
        char c = h.digits[d.position - 1];
        if (c < '0' || c > '9') {
            r.error = "option digit " + std::to_string(d.position) + " (" + d.name + ") is not a digit 0-9";
            return r;
        }
        if (d.numeric)
            o.*d.number = c - '0';
        else
            o.*d.flag = c != '0';
    }
    if (o.iFWCount < 0 || o.iFWCount > kSlotCount) {
        r.error = "iFWCount " + std::to_string(o.iFWCount) + " is outside 0..15";
        return r;
    }
    std::memcpy(info.records, h.records, sizeof(info.records));

    const size_t limit = o.bWinFlash ? kImageBufferSize : kMaxCipheredImage;
    for (int n = 0; n < kSlotCount; ++n) {
        SlotInfo& s = info.slots[n];
        std::memcpy(s.new_fw, h.new_fw[n].value, 8);
        std::memcpy(s.fw_ext, h.fw_ext[n].value, 8);
        bool in_use = n < o.iFWCount;
        Decimal start_ok = ReadDecimal(h.start[n].digits, 10, s.start);
        Decimal size_ok = ReadDecimal(h.size[n].digits, 10, s.size);
        if (!in_use) continue;
        if (start_ok != Decimal::Ok) {
            r.error = "start of slot " + SlotName(n) + DecimalProblem(start_ok, h.start[n].digits, 10);
            return r;
        }
        if (size_ok != Decimal::Ok) {
            r.error = "size of slot " + SlotName(n) + DecimalProblem(size_ok, h.size[n].digits, 10);
            return r;
        }
        if (static_cast<size_t>(s.size) > limit) {
            r.error = "size of slot " + SlotName(n) + " (" + std::to_string(s.size) + ") exceeds " +
                      std::to_string(limit) + " bytes";
            return r;
        }
        if (static_cast<size_t>(s.start) + static_cast<size_t>(s.size) > kImageAreaSize) {
            r.error = "slot " + SlotName(n) + " (start " + std::to_string(s.start) + ", size " +
                      std::to_string(s.size) + ") leaves the image area";
            return r;
        }
    }

    // The executables lie one after another, in slot order, after the area's directory.
    size_t next = offsetof(PackageBlock, aux_payload);
    const size_t end = next + kAuxPayloadSize;
    for (int k = 0; k < kAuxCount; ++k) {
        const char* field = blk.aux.size_fields + AuxSizeFieldOffset(k) + std::strlen(kAuxSlots[k].size_label);
        AuxInfo& a = info.aux[k];
        if (Decimal d = ReadDecimal(field, 10, a.size); d != Decimal::Ok) {
            r.error = std::string("auxiliary size ") + kAuxSlots[k].size_label + DecimalProblem(d, field, 10);
            return r;
        }
        a.offset = next;
        if (static_cast<size_t>(a.size) > end - next) {
            r.error = std::string("auxiliary size ") + kAuxSlots[k].size_label + std::to_string(a.size) +
                      " leaves the auxiliary area";
            return r;
        }
        next += static_cast<size_t>(a.size);
    }
    r.ok = true;
    return r;
}

const uint8_t* AuxImage(const PackageInfo& info, int k) {
    if (info.block == nullptr || k < 0 || k >= kAuxCount) return nullptr;
    return info.block + info.aux[k].offset;
}

int32_t LoadSlotImage(const PackageInfo& info, int slot, uint8_t* buffer) {
    if (info.block == nullptr || slot < 0 || slot >= info.opt.iFWCount) return -1;
    const SlotInfo& s = info.slots[slot];
    // The start-up refuses such a slot already; a description made some other way must not
    // make this copy run past the buffer or the image area.
    if (s.start < 0 || s.size < 0 || static_cast<size_t>(s.size) > kImageBufferSize ||
        static_cast<size_t>(s.start) + static_cast<size_t>(s.size) > kImageAreaSize)
        return -1;
    std::memset(buffer, 0, kImageBufferSize);
    const uint8_t* image = info.block + offsetof(PackageBlock, image);
    std::memcpy(buffer, image + s.start, static_cast<size_t>(s.size));
    return (s.size + 511) / 512 * 512;
}

}  // namespace orvane::package
