#include "app/debug_log.h"

namespace orvane::app {

std::string DebugLog::DefaultPath(platform::SystemApi& api) {
    std::string folder = api.TempPath();
    if (folder.size() > 1024) folder.resize(1024);
    return folder + kDebugLogName;
}

void DebugLog::Line(const std::string& text) const { api_.AppendText(path_, text + "\n"); }

void DebugLog::Write(const std::string& text) const { api_.AppendText(path_, text); }

}  // namespace orvane::app
