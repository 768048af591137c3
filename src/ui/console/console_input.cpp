// The console view's input side: the scripted user, the system's power messages and the loop.
#include <cstdio>
#include <filesystem>

#include "ui/console/console_view.h"

namespace orvane::ui {
namespace {

constexpr int kWaitTimerId = 100;  // beside the window's timers 1 to 3

std::string Hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04X", v);
    return buf;
}

std::string HeldKeys(const std::vector<app::Key>& keys) {
    std::string held;
    for (app::Key k : keys) held += std::string(held.empty() ? " holding " : "+") + KeyName(k);
    return held;
}

std::string ItemCount(size_t count) { return "it has " + std::to_string(count) + (count == 1 ? " item" : " items"); }

// What a forged message would not have got past, in brackets; nothing when the user could.
std::string Despite(const std::string& why) { return why.empty() ? std::string() : " (" + why + ")"; }

}  // namespace

std::string ConsoleView::Unreachable(app::Control c) const {
    if (!shown_) return "the window is not shown";
    if (!visible(c)) return std::string(Name(c)) + " is hidden";
    if (!enabled(c)) return std::string(Name(c)) + " is disabled";
    return {};
}

void ConsoleView::Click(app::Control button, const std::vector<app::Key>& keys) {
    if (!events_) return;
    // The keys are down for as long as the click is handled; a nested click brings its own.
    std::vector<app::Key> before = std::move(keys_held_);
    keys_held_ = keys;
    if (button == app::Control::cmdUpdate) events_->cmdUpdateClick();
    if (button == app::Control::cmdClose) events_->cmdCloseClick();
    keys_held_ = std::move(before);
}

std::string ConsoleView::CloseRefusal() const {
    if (!shown_) return "the window is not shown";
    if (!system_menu_ || close_greyed_) return "the window has no close command";
    return {};
}

bool ConsoleView::Press(app::Control button, const std::vector<app::Key>& keys) {
    std::string why = Unreachable(button);
    if (!why.empty()) {
        Print(std::string("[press] ") + Name(button) + HeldKeys(keys) + " ignored: " + why);
        return false;
    }
    Print(std::string("[press] ") + Name(button) + HeldKeys(keys));
    Click(button, keys);
    return true;
}

bool ConsoleView::Pick(app::Control list, int index) {
    std::string what = std::string("[pick] ") + Name(list) + " item " + std::to_string(index);
    std::string why = Unreachable(list);
    auto it = items_.find(list);
    size_t count = it == items_.end() ? 0 : it->second.size();
    if (why.empty() && static_cast<size_t>(index) >= count) why = ItemCount(count);
    if (!why.empty()) {
        Print(what + " ignored: " + why);
        return false;
    }
    selected_[list] = index;
    Print(what + ": " + it->second[static_cast<size_t>(index)]);
    if (list == app::Control::cboDrives && events_) events_->cboDrivesChange();
    return true;
}

bool ConsoleView::Close() {
    const std::string why = CloseRefusal();
    if (!why.empty()) {
        Print("[close] ignored: " + why);
        return false;
    }
    Print("[close]");
    if (events_) events_->FormClose();
    return true;
}

void ConsoleView::ForgedPress(app::Control button, const std::vector<app::Key>& keys) {
    Print(std::string("[forged] press ") + Name(button) + HeldKeys(keys) + Despite(Unreachable(button)));
    Click(button, keys);
}

void ConsoleView::ForgedPick(app::Control list, int index) {
    // As the list's own select message: an item it does not have leaves none selected.
    auto it = items_.find(list);
    const size_t count = it == items_.end() ? 0 : it->second.size();
    const bool has = index >= 0 && static_cast<size_t>(index) < count;
    selected_[list] = has ? index : -1;
    Print(std::string("[forged] pick ") + Name(list) + " item " + std::to_string(index) + ": " +
          (has ? it->second[static_cast<size_t>(index)] : "none selected, " + ItemCount(count)) +
          Despite(Unreachable(list)));
    if (list == app::Control::cboDrives && events_) events_->cboDrivesChange();
}

void ConsoleView::ForgedTimer(app::Timer t) {
    Print(std::string("[forged] timer ") + TimerName(t) + (timer_running(t) ? "" : " (not running)"));
    if (events_) app::RaiseTimer(*events_, t);
}

void ConsoleView::ForgedClose() {
    Print("[forged] close" + Despite(CloseRefusal()));
    if (events_) events_->FormClose();
}

uint32_t ConsoleView::PowerBroadcast(uint32_t event) {
    // The window answers the message itself: the logic's answer, else TRUE.
    uint32_t answer = events_ ? events_->OnPowerBroadcast(event) : 0;
    if (answer == 0) answer = 1;
    Print("[power] event " + Hex(event) + " -> " +
          (answer == app::kBroadcastQueryDeny ? std::string("BROADCAST_QUERY_DENY") : "TRUE"));
    return answer;
}

bool ConsoleView::KeyDown(app::Key key) const {
    for (app::Key k : keys_held_)
        if (k == key) return true;
    return false;
}

std::optional<std::string> ConsoleView::OpenFileDialog(const app::FileDialogRequest& request) {
    dialogs_.push_back(request);
    std::string line = "[dialog] open \"" + request.filter + "\" ext=" + request.default_ext +
                       (request.must_exist ? " must-exist" : "");
    // A dialog is answered by the action that follows the one that opened it.
    if (next_action_ < actions_.size()) {
        const UserAction& a = actions_[next_action_];
        if (a.kind == UserAction::Kind::File) {
            ++next_action_;
            std::error_code ec;
            if (!request.must_exist || std::filesystem::is_regular_file(a.file, ec)) {
                Print(line + " -> " + a.file);
                return a.file;
            }
            // The dialog does not take a file that is not there; its user gives up.
            Print(line + " -> " + a.file + " does not exist: cancelled");
            return std::nullopt;
        }
        if (a.kind == UserAction::Kind::Cancel) ++next_action_;
    }
    Print(line + " -> cancelled");
    return std::nullopt;
}

void ConsoleView::PostNextAction() {
    if (action_posted_ || next_action_ >= actions_.size()) return;
    action_posted_ = true;
    pump_.Post([this] { TakeNextAction(); });
}

void ConsoleView::TakeNextAction() {
    action_posted_ = false;
    if (next_action_ >= actions_.size()) return;
    const UserAction& a = actions_[next_action_++];
    if (a.kind == UserAction::Kind::Wait) {
        Print("[wait] " + a.text.substr(a.text.find(':') + 1) + " ms");
        pump_.SetTimer(kWaitTimerId, a.seconds, [this] {
            pump_.KillTimer(kWaitTimerId);
            PostNextAction();
        });
        return;
    }
    // The next one is queued before this one runs: a handler that waits and dispatches takes it,
    // as a click reaches a window while an earlier click's handler pumps messages.
    PostNextAction();
    Run(a);
}

void ConsoleView::Run(const UserAction& a) {
    if (a.forged) {
        switch (a.kind) {
            case UserAction::Kind::Select: ForgedPick(a.control, a.index); return;
            case UserAction::Kind::Press: ForgedPress(a.control, a.keys); return;
            case UserAction::Kind::Close: ForgedClose(); return;
            default: break;
        }
    }
    switch (a.kind) {
        case UserAction::Kind::Select: Pick(a.control, a.index); break;
        case UserAction::Kind::Press: Press(a.control, a.keys); break;
        case UserAction::Kind::File:
        case UserAction::Kind::Cancel: Print("[dialog] " + a.text + " ignored: no dialog is open"); break;
        case UserAction::Kind::Power: PowerBroadcast(a.power_event); break;
        case UserAction::Kind::Close: Close(); break;
        case UserAction::Kind::Timer: ForgedTimer(a.timer); break;
        case UserAction::Kind::Wait: break;
    }
}

void ConsoleView::RunMessageLoop(platform::MessagePump& pump) {
    // A window that never shows still gets the system's messages and the ignored clicks.
    StartScript();
    while (!pump.Quitting()) {
        pump.Dispatch();
        if (pump.Quitting()) break;
        if (pump_.Pending() > 0) continue;
        if ((script_started_ && actions_left() > 0) || pump_.AnyTimer()) {
            pump.Wait(60.0);  // ends at the next posted work or due timer
            continue;
        }
        // Nobody is left at the window: it goes as when its user closes it.
        if (!shown_ || !events_) break;
        Print("[window] nothing left to do: closing it");
        events_->FormClose();
        if (!pump.Quitting()) break;
    }
}

}  // namespace orvane::ui
