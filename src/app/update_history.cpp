// Deciding pending updates: from what a later update read before it began, or from what a start found.
#include "app/update_history.h"

#include <algorithm>
#include <map>

#include "text/text.h"

namespace orvane::app {

namespace {

// Drives pad their texts with blanks; the package's are trimmed.
std::string Bare(std::string_view s) { return text::Trim(s); }

// A drive without a serial cannot be told from another one: such entries never match.
bool SameDrive(const std::string& a, const std::string& b) {
    const std::string x = Bare(a);
    return !x.empty() && x == Bare(b);
}

std::string Firmware(const std::string& revision, const std::optional<std::string>& def, bool name_def) {
    std::string s = "firmware " + Bare(revision);
    if (name_def && def) s += " (DEF " + Bare(*def) + ")";
    return s;
}

void Decide(HistoryEntry& e, bool verified, std::string detail, const std::string& now,
            const std::string& revision) {
    e.state = verified ? history_state::kVerified : history_state::kFailed;
    // A verified entry keeps why it had been pending.
    if (!verified) e.detail = std::move(detail);
    e.decided_time = now;
    e.revision_found = Bare(revision);
}

struct Match {
    bool revision = false, def = false;
};

// def: what the drive reports, none when unknown (then only the revision counts).
Match Compare(const HistoryEntry& e, const std::string& revision, const std::optional<std::string>& def) {
    Match m;
    m.revision = Bare(revision) == Bare(e.target_revision);
    m.def = e.target_def.empty() || !def || Bare(*def) == Bare(e.target_def);
    return m;
}

}  // namespace

void AddEntry(History& h, HistoryEntry e, const std::optional<std::string>& def_before) {
    for (HistoryEntry& old : h.entries) {
        if (old.state != history_state::kPending || !SameDrive(old.serial, e.serial)) continue;
        const Match m = Compare(old, e.revision_before, def_before);
        const bool only_def = m.revision && !m.def;
        Decide(old, m.revision && m.def,
               "the drive reported " + Firmware(e.revision_before, def_before, only_def) + " at the next update",
               e.time, e.revision_before);
    }
    h.entries.push_back(std::move(e));
    if (h.entries.size() > kHistoryKept)
        h.entries.erase(h.entries.begin(), h.entries.end() - static_cast<std::ptrdiff_t>(kHistoryKept));
}

std::vector<HistoryChange> VerifyPending(History& h, const std::vector<SeenDrive>& seen, bool counts_start,
                                         const std::string& now) {
    // Each serial's newest pending entry: an older one was overtaken by a later update.
    // Entries without a serial are not one drive's: each is counted on its own.
    std::map<std::string, size_t> newest;
    std::vector<size_t> order;
    for (size_t i = 0; i < h.entries.size(); ++i) {
        if (h.entries[i].state != history_state::kPending) continue;
        const std::string serial = Bare(h.entries[i].serial);
        if (serial.empty())
            order.push_back(i);
        else
            newest[serial] = i;
    }
    for (const auto& [serial, i] : newest) order.push_back(i);
    std::sort(order.begin(), order.end());

    std::vector<HistoryChange> changes;
    for (const size_t i : order) {
        HistoryEntry& e = h.entries[i];
        const SeenDrive* found = nullptr;
        for (const SeenDrive& d : seen)
            if (SameDrive(e.serial, d.serial)) {
                found = &d;
                break;
            }
        if (!found && !counts_start) continue;
        changes.push_back({i, e.state});
        if (found) {
            const std::optional<std::string> def = found->def;
            const Match m = Compare(e, found->revision, def);
            Decide(e, m.revision && m.def,
                   "the drive still reports " + Firmware(found->revision, def, m.revision && !m.def) +
                       " after the restart",
                   now, found->revision);
        } else if (++e.starts_without_drive >= kStartsUntilFailed) {
            e.state = history_state::kFailed;
            e.detail = "not found after " + std::to_string(kStartsUntilFailed) + " starts";
            e.decided_time = now;
        }
    }
    return changes;
}

}  // namespace orvane::app
