#include "platform/sim/sim_image_tag.h"

#include <cstring>

namespace orvane::platform::sim {

namespace {

// An 8-byte padded text: printable characters, then blanks or NULs to the end.
bool PaddedText(const uint8_t* p, std::string& out) {
    size_t n = 8;
    while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == 0)) --n;
    for (size_t i = 0; i < n; ++i)
        if (p[i] < 0x20 || p[i] > 0x7E) return false;
    out.assign(reinterpret_cast<const char*>(p), n);
    return true;
}

void PutPadded(uint8_t* p, const std::string& text) {
    std::memset(p, ' ', 8);
    std::memcpy(p, text.data(), text.size());
}

}  // namespace

std::optional<SimImageTag> FindImageTag(const uint8_t* data, size_t size) {
    if (!data || size < kImageTagSize) return std::nullopt;
    for (size_t at = 0; at + kImageTagSize <= size; ++at) {
        if (std::memcmp(data + at, kImageTagMagic, 8) != 0) continue;
        SimImageTag tag;
        tag.offset = at;
        const uint8_t* p = data + at + 8;
        tag.length = static_cast<uint32_t>(p[16]) | static_cast<uint32_t>(p[17]) << 8 |
                     static_cast<uint32_t>(p[18]) << 16 | static_cast<uint32_t>(p[19]) << 24;
        if (!PaddedText(p, tag.revision) || tag.revision.empty() || !PaddedText(p + 8, tag.def)) continue;
        if (tag.length < at + kImageTagSize) continue;
        return tag;
    }
    return std::nullopt;
}

bool StampImageTag(std::vector<uint8_t>& image, size_t offset, const std::string& revision, const std::string& def) {
    auto printable = [](const std::string& t) {
        for (char c : t)
            if (c < 0x20 || c > 0x7E) return false;
        return true;
    };
    if (revision.empty() || revision.size() > 8 || def.size() > 8 || !printable(revision) || !printable(def))
        return false;
    if (offset > image.size() || image.size() - offset < kImageTagSize || image.size() > 0xFFFFFFFFu) return false;
    uint8_t* p = image.data() + offset;
    std::memcpy(p, kImageTagMagic, 8);
    PutPadded(p + 8, revision);
    PutPadded(p + 16, def);
    const uint32_t n = static_cast<uint32_t>(image.size());
    for (int i = 0; i < 4; ++i) p[24 + i] = static_cast<uint8_t>(n >> (8 * i));
    return true;
}

}  // namespace orvane::platform::sim
