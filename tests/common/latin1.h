#pragma once
// A JSON parser's UTF-8 for U+0000..U+00FF back to one byte each: how the result document's
// "\u00XX" escapes of single-byte drive texts are read back.
#include <optional>
#include <string>

namespace orvane::test {

// None when the text holds a character above U+00FF or is not UTF-8.
inline std::optional<std::string> Latin1(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out += static_cast<char>(b);
        } else if ((b == 0xC2 || b == 0xC3) && i + 1 < utf8.size()) {
            out += static_cast<char>(((b & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        } else {
            return std::nullopt;
        }
    }
    return out;
}

}  // namespace orvane::test
