// The update history file as found on a machine: whatever it holds, reading never fails
// badly, and a history read is written back so that it reads as the same history.
#include <cstdlib>

#include "app/update_history.h"

using namespace orvane::app;

namespace {

// The rules on what was read: a non-pending entry never changes, the changes come in entry
// order, and the kept history never grows past its cap.
void CheckRules(History h) {
    std::vector<SeenDrive> seen;
    for (size_t i = 0; i < h.entries.size(); i += 2)
        seen.push_back({h.entries[i].serial, h.entries[i].revision_before, h.entries[i].target_def});
    const History before = h;
    const std::vector<HistoryChange> changes = VerifyPending(h, seen, true, "2026-03-04T10:20:30+01:00");
    size_t next = 0;
    for (const HistoryChange& c : changes) {
        if (c.entry < next || c.entry >= h.entries.size() || c.state_before != history_state::kPending) std::abort();
        next = c.entry + 1;
    }
    for (size_t i = 0; i < h.entries.size(); ++i)
        if (before.entries[i].state != history_state::kPending && !(h.entries[i] == before.entries[i])) std::abort();
    if (!h.entries.empty()) AddEntry(h, h.entries.back());
    if (h.entries.size() > kHistoryKept) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const HistoryParse p = ParseHistory(std::string_view(reinterpret_cast<const char*>(data), size));
    if (p.status == HistoryStatus::Damaged && p.why.empty()) std::abort();
    if (p.status != HistoryStatus::Ok) return 0;
    const std::string doc = HistoryJson(p.history);
    for (char c : doc)
        if (static_cast<unsigned char>(c) >= 0x80) std::abort();
    const HistoryParse again = ParseHistory(doc);
    if (again.status != HistoryStatus::Ok || !(again.history == p.history) || HistoryJson(again.history) != doc)
        std::abort();
    CheckRules(p.history);
    return 0;
}
