#include "platform/stdio_files.h"

#include <cstdio>
#include <mutex>

namespace orvane::platform {

bool StdioAppend(const std::string& path, const std::string& text, const char* mode) {
    // The window's thread and the update's worker append to the same log. The Windows C library
    // appends by seeking to the end and then writing, so two appends at once can land on the
    // same place and one line is lost; one at a time, nothing is.
    static std::mutex one_at_a_time;
    const std::lock_guard<std::mutex> hold(one_at_a_time);
    FILE* f = std::fopen(path.c_str(), mode);
    if (!f) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = std::fflush(f) == 0 && ok;
    return std::fclose(f) == 0 && ok;
}

bool StdioWrite(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    // An empty vector's data() may be null, which fwrite must not be given.
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::optional<std::vector<uint8_t>> StdioRead(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return std::nullopt;
    std::vector<uint8_t> out;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    if (!ok) return std::nullopt;
    return out;
}

}  // namespace orvane::platform
