// The history on disk: a failure to read or write it is logged and never stops an update, and a
// file this program cannot use is left where someone can look at it, never written over.
#include "app/result_file.h"
#include "app/update_history.h"
#include "text/format.h"

namespace orvane::app {

namespace {

// Two loads in one second (a quick restart, the simulated machine's fast clock) must not put
// the second damaged file over the first.
constexpr int kAsideTries = 9;

}  // namespace

HistoryFile::HistoryFile(platform::SystemApi& api, Log log) : api_(api), log_(std::move(log)) {
    const std::string data = api_.ProgramDataDirectory();
    if (data.empty()) return;
    folder_ = data + "\\Orvane";
    path_ = folder_ + "\\history.json";
}

History HistoryFile::Load() {
    newer_ = blocked_ = false;
    if (path_.empty()) return {};
    const std::optional<std::vector<uint8_t>> bytes = api_.ReadFile(path_);
    std::string why = "cannot be read";
    if (bytes) {
        HistoryParse p = ParseHistory(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
        if (p.status == HistoryStatus::Ok) return std::move(p.history);
        if (p.status == HistoryStatus::Newer) {
            newer_ = true;
            log_(text::Format("HISTORY: %s has schema %d, newer than this program's %d; left alone\n", path_.c_str(),
                              p.schema, kHistorySchema));
            return {};
        }
        why = p.why;
    }

    const platform::LocalTime t = api_.LocalTimeNow();
    const std::string stamp = text::Format(".damaged-%04u%02u%02u-%02u%02u%02u", t.year, t.month, t.day, t.hour,
                                           t.minute, t.second);
    std::string aside;
    for (int k = 1; k <= kAsideTries && aside.empty(); ++k) {
        const std::string candidate = path_ + stamp + (k > 1 ? "-" + std::to_string(k) : "");
        if (!api_.ReadFile(candidate)) aside = candidate;
    }
    const std::string name = (aside.empty() ? path_ + stamp : aside).substr(folder_.size() + 1);
    if (!aside.empty() && api_.ReplaceFile(path_, aside)) {
        log_("HISTORY: " + path_ + " is damaged (" + why + "); set aside as " + name + "\n");
        return {};
    }
    // Nothing to read and nothing to move: there is no history yet.
    if (!bytes) return {};
    blocked_ = true;
    log_("HISTORY: " + path_ + " is damaged (" + why + "); cannot set it aside as " + name +
         ", so it stays as it is and is not written over\n");
    return {};
}

bool HistoryFile::Store(const History& h) {
    if (path_.empty()) {
        log_("HISTORY: the system names no application-data folder; not written\n");
        return false;
    }
    if (newer_ || blocked_) {
        log_("HISTORY: not written (" + path_ + " is left as it is)\n");
        return false;
    }
    if (!api_.MakeProtectedDirectory(folder_)) {
        log_("HISTORY: cannot make " + folder_ + "\n");
        return false;
    }
    const std::string why = WriteResultFile(api_, path_, HistoryJson(h));
    if (!why.empty()) {
        log_("HISTORY: not written (" + why + ")\n");
        return false;
    }
    return true;
}

}  // namespace orvane::app
