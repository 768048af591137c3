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

// Made since Windows started: the restart it waits for has not come.
bool AwaitsRestart(const HistoryEntry& e, std::optional<int64_t> system_start) {
    const std::optional<int64_t> made = UtcSeconds(e.time);
    return system_start && made && *made >= *system_start;
}

}  // namespace

std::optional<int64_t> UtcSeconds(std::string_view t) {
    // YYYY-MM-DDThh:mm:ss+hh:mm
    if (t.size() != 25 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' || t[16] != ':' ||
        (t[19] != '+' && t[19] != '-') || t[22] != ':')
        return std::nullopt;
    auto num = [&](size_t at, size_t len, int64_t& out) {
        out = 0;
        for (size_t i = at; i < at + len; ++i) {
            if (t[i] < '0' || t[i] > '9') return false;
            out = out * 10 + (t[i] - '0');
        }
        return true;
    };
    int64_t y, mo, d, h, mi, s, oh, om;
    if (!num(0, 4, y) || !num(5, 2, mo) || !num(8, 2, d) || !num(11, 2, h) || !num(14, 2, mi) || !num(17, 2, s) ||
        !num(20, 2, oh) || !num(23, 2, om) || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59)
        return std::nullopt;
    // Days from the civil date (proleptic Gregorian).
    const int64_t yy = y - (mo <= 2);
    const int64_t era = (yy >= 0 ? yy : yy - 399) / 400;
    const int64_t yoe = yy - era * 400;
    const int64_t doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t days = era * 146097 + doe - 719468;
    const int64_t offset = (oh * 60 + om) * 60 * (t[19] == '-' ? -1 : 1);
    return days * 86400 + h * 3600 + mi * 60 + s - offset;
}

void AddEntry(History& h, HistoryEntry e, const std::optional<std::string>& def_before,
              std::optional<int64_t> system_start) {
    for (HistoryEntry& old : h.entries) {
        if (old.state != history_state::kPending || !SameDrive(old.serial, e.serial)) continue;
        if (AwaitsRestart(old, system_start)) {
            // Sent again before the restart that would have shown whether it took.
            old.state = history_state::kFailed;
            old.detail = "overtaken by the update of " + e.time + " before a restart";
            old.decided_time = e.time;
            continue;
        }
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
                                         const std::string& now, std::optional<int64_t> system_start) {
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
        if (AwaitsRestart(e, system_start)) continue;
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
