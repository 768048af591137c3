#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "app/view.h"
#include "app/window_events.h"

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
        Timer,   // a timer message, whether the timer runs or not
    };
    Kind kind = Kind::Close;
    std::string text;  // as written
    // Sent to the window by another program: delivered to the logic whatever the control's state.
    bool forged = false;
    app::Timer timer = app::Timer::Timer1;
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
const char* TimerName(app::Timer timer);

}  // namespace orvane::ui
