#include "ui/console/user_actions.h"

#include <algorithm>
#include <cctype>

namespace orvane::ui {
namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Decimal digits only, at most max_digits of them.
bool ParseDecimal(const std::string& s, size_t max_digits, uint64_t& value) {
    if (s.empty() || s.size() > max_digits) return false;
    value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
}

bool ParsePowerEvent(const std::string& s, uint32_t& event) {
    static const struct { const char* name; uint32_t value; } kNames[] = {
        {"query-suspend", 0x0000},        {"query-suspend-failed", 0x0002}, {"suspend", 0x0004},
        {"resume-suspend", 0x0007},       {"power-status-change", 0x000A},  {"resume-automatic", 0x0012},
    };
    std::string lower = Lower(s);
    for (const auto& n : kNames)
        if (lower == n.name) {
            event = n.value;
            return true;
        }
    uint64_t v = 0;
    if (lower.rfind("0x", 0) == 0) {
        std::string hex = lower.substr(2);
        if (hex.empty() || hex.size() > 8) return false;
        for (char c : hex) {
            if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
            v = v * 16 + static_cast<uint64_t>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : c - 'a' + 10);
        }
    } else if (!ParseDecimal(lower, 10, v) || v > 0xFFFFFFFFu) {
        return false;
    }
    event = static_cast<uint32_t>(v);
    return true;
}

bool ParseKey(const std::string& s, app::Key& key) {
    std::string k = Lower(s);
    if (k == "ctrl" || k == "control") key = app::Key::Control;
    else if (k == "shift") key = app::Key::Shift;
    else if (k == "k") key = app::Key::K;
    else if (k == "f9") key = app::Key::F9;
    else return false;
    return true;
}

// One item; false with the reason in `why`.
bool ParseTimer(const std::string& s, app::Timer& timer) {
    for (app::Timer t : {app::Timer::Timer1, app::Timer::Timer2, app::Timer::tmrAutoFlash})
        if (Lower(s) == Lower(TimerName(t))) {
            timer = t;
            return true;
        }
    return false;
}

bool ParseOne(const std::string& item, UserAction& a, std::string& why) {
    size_t colon = item.find(':');
    std::string name = Lower(item.substr(0, colon));
    // "!": the same message, sent by another program rather than made by the user.
    a.forged = !name.empty() && name[0] == '!';
    if (a.forged) name.erase(0, 1);
    static const std::string kForgeable[] = {"select", "slot", "commit", "press", "close", "timer"};
    if (a.forged && std::find(std::begin(kForgeable), std::end(kForgeable), name) == std::end(kForgeable)) {
        why = "'" + name + "' cannot be forged (select, slot, commit, press, close, timer)";
        return false;
    }
    bool has_value = colon != std::string::npos;
    std::string value = has_value ? item.substr(colon + 1) : std::string();
    a.text = item;

    auto needs_value = [&] {
        if (has_value && !value.empty()) return true;
        why = "'" + name + "' needs a value (" + name + ":...)";
        return false;
    };
    auto no_value = [&] {
        if (!has_value) return true;
        why = "'" + name + "' takes no value";
        return false;
    };

    if (name == "select" || name == "slot" || name == "commit") {
        if (!needs_value()) return false;
        uint64_t n = 0;
        if (!ParseDecimal(value, 4, n)) {
            why = "the item number must be a whole number from 0 (at most 4 digits)";
            return false;
        }
        a.kind = UserAction::Kind::Select;
        a.control = name == "select" ? app::Control::cboDrives
                    : name == "slot" ? app::Control::cboFwSlot
                                     : app::Control::cboCommitAction;
        a.index = static_cast<int>(n);
        return true;
    }
    if (name == "press") {
        if (!needs_value()) return false;
        size_t plus = value.find('+');
        std::string button = Lower(value.substr(0, plus));
        if (button == "update") a.control = app::Control::cmdUpdate;
        else if (button == "close") a.control = app::Control::cmdClose;
        else {
            why = "no button '" + value.substr(0, plus) + "' (Update, Close)";
            return false;
        }
        a.kind = UserAction::Kind::Press;
        while (plus != std::string::npos) {
            size_t next = value.find('+', plus + 1);
            std::string key_name = value.substr(plus + 1, next == std::string::npos ? std::string::npos : next - plus - 1);
            app::Key key;
            if (!ParseKey(key_name, key)) {
                why = "no key '" + key_name + "' (Ctrl, Shift, K, F9)";
                return false;
            }
            a.keys.push_back(key);
            plus = next;
        }
        return true;
    }
    if (name == "file") {
        if (!needs_value()) return false;
        a.kind = UserAction::Kind::File;
        a.file = value;
        return true;
    }
    if (name == "cancel" || name == "close") {
        if (!no_value()) return false;
        a.kind = name == "cancel" ? UserAction::Kind::Cancel : UserAction::Kind::Close;
        return true;
    }
    if (name == "wait") {
        if (!needs_value()) return false;
        uint64_t ms = 0;
        if (!ParseDecimal(value, 9, ms)) {
            why = "the wait is a whole number of milliseconds (at most 9 digits)";
            return false;
        }
        a.kind = UserAction::Kind::Wait;
        a.seconds = static_cast<double>(ms) / 1000.0;
        return true;
    }
    if (name == "power") {
        if (!needs_value()) return false;
        if (!ParsePowerEvent(value, a.power_event)) {
            why = "no power event '" + value + "' (a name from --help, or a number)";
            return false;
        }
        a.kind = UserAction::Kind::Power;
        return true;
    }
    if (name == "timer") {
        if (!needs_value()) return false;
        if (!ParseTimer(value, a.timer)) {
            why = "no timer '" + value + "' (Timer1, Timer2, tmrAutoFlash)";
            return false;
        }
        a.kind = UserAction::Kind::Timer;
        a.forged = true;  // no user makes a timer message
        return true;
    }
    why = "unknown action '" + name + "'";
    return false;
}

}  // namespace

const char* const kActionsHelp =
    "  actions, separated by commas, from the time the window shows; the next one is taken each time\n"
    "  the window's thread dispatches messages (also inside a running handler's waits):\n"
    "    select:N          pick item N (from 0) of the drive list; raises its change event\n"
    "    slot:N, commit:N  pick item N of the NVMe firmware slot / commit action list\n"
    "    press:B[+KEY...]  press button B (Update or Close) holding the keys (Ctrl, Shift, K, F9)\n"
    "    file:PATH, cancel answer the open-file dialog that the action before opened\n"
    "    wait:MS           let MS milliseconds of simulated time pass before the next action\n"
    "    power:EVENT       the system's power broadcast: query-suspend, query-suspend-failed,\n"
    "                      suspend, resume-suspend, power-status-change, resume-automatic, or a number\n"
    "    close             close the window (as its close box does)\n"
    "    timer:T           a timer message (Timer1, Timer2, tmrAutoFlash), whether the timer runs or not\n"
    "  A press or pick on a hidden or disabled control, or before the window shows, is ignored.\n"
    "  Another program can still send the window the message: '!' before select, slot, commit, press\n"
    "  or close forges it (!select:N, !press:Update+Ctrl, !close), delivered to the logic whatever the\n"
    "  control's state; timer messages are always forged. The transcript marks them [forged].\n";

const char* TimerName(app::Timer timer) {
    switch (timer) {
        case app::Timer::Timer1: return "Timer1";
        case app::Timer::Timer2: return "Timer2";
        case app::Timer::tmrAutoFlash: return "tmrAutoFlash";
    }
    return "?";
}

const char* KeyName(app::Key key) {
    switch (key) {
        case app::Key::Control: return "Ctrl";
        case app::Key::Shift: return "Shift";
        case app::Key::K: return "K";
        case app::Key::F9: return "F9";
    }
    return "?";
}

bool ParseActions(const std::string& text, std::vector<UserAction>& out, std::string& error) {
    out.clear();
    size_t start = 0;
    int number = 1;
    for (;;) {
        size_t comma = text.find(',', start);
        std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        UserAction a;
        std::string why;
        if (item.empty())
            why = "empty action";
        else
            ParseOne(item, a, why);
        if (!why.empty()) {
            error = "action " + std::to_string(number) + " '" + item + "': " + why;
            out.clear();
            return false;
        }
        out.push_back(std::move(a));
        if (comma == std::string::npos) return true;
        start = comma + 1;
        ++number;
    }
}

}  // namespace orvane::ui
