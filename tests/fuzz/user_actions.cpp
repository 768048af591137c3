// The scripted user's actions, as orvane-sim reads them from --actions: the whole input is the
// script.
#include <cstdlib>
#include <string>

#include "ui/console/user_actions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<orvane::ui::UserAction> actions;
    std::string error;
    if (!orvane::ui::ParseActions(text, actions, error)) {
        // A refusal says why and leaves nothing half-read.
        if (error.empty() || !actions.empty()) std::abort();
        return 0;
    }
    // One action per comma-separated item, each kept as written.
    size_t items = 1;
    for (char c : text) items += c == ',';
    if (actions.size() != items) std::abort();
    std::string joined;
    for (size_t i = 0; i < actions.size(); ++i) joined += (i ? "," : "") + actions[i].text;
    if (joined != text) std::abort();
    for (const auto& a : actions) {
        if (a.kind == orvane::ui::UserAction::Kind::Timer && !a.forged) std::abort();
        if (a.index < 0 || a.seconds < 0) std::abort();
    }
    return 0;
}
