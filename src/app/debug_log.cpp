#include "app/debug_log.h"

#include <cstdio>
#include <ctime>
#include <vector>

namespace orvane::app {

std::string DebugLog::DefaultPath(platform::SystemApi& api) {
    std::string folder = api.TempPath();
    if (folder.size() > 1024) folder.resize(1024);
    return folder + kDebugLogName;
}

void DebugLog::Line(const std::string& text) const { api_.AppendText(path_, text + "\n"); }

void DebugLog::Write(const std::string& text) const { api_.AppendText(path_, text); }

std::string LogDateTime() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &now);
#else
    localtime_r(&now, &tm);
#endif
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y/%m/%d %H:%M:%S", &tm);
    return buf;
}

}  // namespace orvane::app
