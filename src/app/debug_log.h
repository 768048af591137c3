#pragma once
#include <string>

#include "platform/system_api.h"
#include "text/format.h"

namespace orvane::app {

inline constexpr const char* kDebugLogName = "ORVANE_DEBUG.txt";

// The debug log: every writer opens, appends and closes the file per line.
class DebugLog {
public:
    DebugLog(platform::SystemApi& api, std::string path) : api_(api), path_(std::move(path)) {}
    // The temporary-files folder (at most 1,024 characters) and the log's name.
    static std::string DefaultPath(platform::SystemApi& api);

    // LogLine: the text and one more line end.
    void Line(const std::string& text) const;
    // write_debug and the worker's lines: the text as it is.
    void Write(const std::string& text) const;
    const std::string& path() const { return path_; }

private:
    platform::SystemApi& api_;
    std::string path_;
};

// "2026-01-05 09:30:00": the local date and time as the log's lines carry it.
inline std::string LogDateTime(const platform::LocalTime& t) {
    return text::Format("%04u-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day, t.hour, t.minute, t.second);
}

using text::Format;

}  // namespace orvane::app
