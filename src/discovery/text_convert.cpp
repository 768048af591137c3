#include "discovery/text_convert.h"
#include "text/text.h"

#include <cctype>
#include <cstdio>
#include <limits>

namespace orvane::discovery {

std::string_view Trim(std::string_view s) { return text::TrimView(s, " \t\r\n"); }

bool ToUInt64(std::string_view s, uint64_t& out) {
    s = Trim(s);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return false;
    uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        uint64_t digit = static_cast<uint64_t>(c - '0');
        if (v > (std::numeric_limits<uint64_t>::max() - digit) / 10) return false;
        v = v * 10 + digit;
    }
    out = v;
    return true;
}

bool ToInt64(std::string_view s, int64_t& out) {
    s = Trim(s);
    bool negative = !s.empty() && s.front() == '-';
    if (negative) s.remove_prefix(1);
    if (negative && !s.empty() && (s.front() == '+' || s.front() == '-')) return false;
    uint64_t v = 0;
    if (!ToUInt64(s, v)) return false;
    constexpr uint64_t kMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    if (v > kMax + (negative ? 1 : 0)) return false;
    out = negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
    return true;
}

bool ParseUuid(std::string_view s, platform::Guid& out) {
    if (s.size() != 36) return false;
    uint8_t bytes[16];
    size_t at = 0;
    for (int i = 0; i < 16; ++i) {
        if (at == 8 || at == 13 || at == 18 || at == 23) {
            if (s[at] != '-') return false;
            ++at;
        }
        int v = 0;
        for (int k = 0; k < 2; ++k) {
            char c = text::LowerChar(s[at++]);
            if (c >= '0' && c <= '9') v = v * 16 + (c - '0');
            else if (c >= 'a' && c <= 'f') v = v * 16 + (c - 'a' + 10);
            else return false;
        }
        bytes[i] = static_cast<uint8_t>(v);
    }
    out.Data1 = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
    out.Data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
    out.Data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
    for (int i = 0; i < 8; ++i) out.Data4[i] = bytes[8 + i];
    return true;
}

std::string GuidBraced(const platform::Guid& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

}  // namespace orvane::discovery
