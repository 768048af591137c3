#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane::platform {

// The C library's file calls, shared by the real and the simulated system layers.
// mode: "a+t" or "a" for appending text (text mode stores "\n" as CR LF on Windows).
bool StdioAppend(const std::string& path, const std::string& text, const char* mode);
bool StdioWrite(const std::string& path, const std::vector<uint8_t>& bytes);
std::optional<std::vector<uint8_t>> StdioRead(const std::string& path);

}  // namespace orvane::platform
