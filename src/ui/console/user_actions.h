#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "app/view.h"

namespace orvane::ui {

// One step of a scripted user (orvane-sim --actions).
struct UserAction {
    enum class Kind {
        Select,  // pick an item of a list (cboDrives raises its change event)
        Press,   // press a button, holding keys
        File,    // answer the open-file dialog with a file
        Cancel,  // cancel the open-file dialog
        Wait,    // let simulated time pass before the next action
        Power,   // the system's power-broadcast message
        Close,   // close the window
    };
    Kind kind = Kind::Close;
    std::string text;  // as written
    app::Control control = app::Control::cmdUpdate;
    int index = 0;
    std::vector<app::Key> keys;
    std::string file;
    double seconds = 0;
    uint32_t power_event = 0;
};

// Parses a comma-separated script such as "select:2,press:Update". On a bad item returns false
// and says which item and why.
bool ParseActions(const std::string& text, std::vector<UserAction>& out, std::string& error);

// The help text of the action syntax, for --help.
extern const char* const kActionsHelp;

const char* KeyName(app::Key key);

}  // namespace orvane::ui
