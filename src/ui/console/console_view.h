#pragma once
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "app/view.h"
#include "platform/sim/sim_message_pump.h"
#include "ui/console/user_actions.h"

namespace orvane::ui {

// The window as lines of text: what the window would show, one event per line. Message boxes
// are answered from a list, then with Yes/OK. A script of user actions plays the user; timers
// run on the simulated machine's message pump, in simulated time.
class ConsoleView : public app::View {
public:
    ConsoleView(std::FILE* out, platform::sim::SimMessagePump& pump, std::vector<std::string> answers = {},
                std::vector<UserAction> actions = {});
    ~ConsoleView() override;
    ConsoleView(const ConsoleView&) = delete;
    ConsoleView& operator=(const ConsoleView&) = delete;

    void SetEvents(app::WindowEvents* events) override;
    void SetCaption(const std::string& text) override;
    void SetSystemMenu(bool present) override { system_menu_ = present; }
    void SetText(app::Control c, const std::string& text) override;
    void SetVisible(app::Control c, bool visible) override;
    void SetEnabled(app::Control c, bool enabled) override;
    app::BoxAnswer MessageBox(const app::BoxRequest& box) override;
    void GreyCloseCommand() override { close_greyed_ = true; }
    void RemoveSystemMenuItem(int position) override;
    // The console has no application window for another copy to find.
    void SetApplicationTitle(const std::string&) override {}
    bool ActivateOtherInstance(const std::string& title) override;
    // Prints the firmware line as the window now shows it.
    void LayoutFirmwareLine() override;
    void ShowCompactPanel() override;
    // Every position is kept; every tenth and the end are printed.
    void SetProgress(int position) override;
    void ShowStatus(const std::string& text) override;
    void SetItems(app::Control list, const std::vector<std::string>& items) override;
    void SelectItem(app::Control list, int index) override;
    void SetDriveItems(const std::vector<app::DriveItem>& items) override;
    void SetTextColour(app::Control c, app::Rgb colour) override;
    int SelectedItem(app::Control list) const override;
    bool KeyDown(app::Key key) const override;
    bool Shown(app::Control c) const override { return visible(c); }
    std::optional<std::string> OpenFileDialog(const app::FileDialogRequest& request) override;
    void SetTimerInterval(app::Timer t, unsigned ms) override { intervals_[t] = ms; }
    void StartTimer(app::Timer t) override;
    void StopTimer(app::Timer t) override;
    void Show() override;
    void HideAnimated() override;
    // Dispatches until the program ends. Once no action is left and no timer runs, nobody is
    // at the window any more: it is closed as a user closes it.
    void RunMessageLoop(platform::MessagePump& pump) override;

    // What the user and the system do to the window; each returns false when the window ignored it.
    bool Press(app::Control button, const std::vector<app::Key>& keys = {});
    bool Pick(app::Control list, int index);
    bool Close();
    // The power-broadcast message; the window's answer (TRUE when the logic has none).
    uint32_t PowerBroadcast(uint32_t event);
    // The same messages sent by another program: the logic gets each whatever the control's
    // state or whether the window shows. A forged pick of an item the list does not have leaves
    // none selected, as the list's own select message does.
    void ForgedPress(app::Control button, const std::vector<app::Key>& keys = {});
    void ForgedPick(app::Control list, int index);
    void ForgedTimer(app::Timer t);
    void ForgedClose();

    // What a test may look at.
    const std::vector<app::BoxRequest>& boxes() const { return boxes_; }
    const std::vector<app::FileDialogRequest>& dialogs() const { return dialogs_; }
    const std::string& caption() const { return caption_; }
    bool shown() const { return shown_; }
    bool ever_shown() const { return ever_shown_; }
    bool system_menu() const { return system_menu_; }
    bool close_greyed() const { return close_greyed_; }
    // The standard window menu, as its items stand after the removals.
    const std::vector<std::string>& system_menu_items() const { return system_menu_items_; }
    const std::string& status() const { return status_; }
    const std::vector<int>& progress() const { return progress_; }
    std::string text(app::Control c) const;
    // Every text the diagnostic label took: each tick of the progress bar names its phase there.
    const std::vector<std::string>& label8_history() const { return label8_history_; }
    app::Rgb text_colour(app::Control c) const;
    const std::vector<app::DriveItem>& drive_items() const { return drive_items_; }
    std::vector<std::string> items(app::Control list) const {
        auto it = items_.find(list);
        return it == items_.end() ? std::vector<std::string>() : it->second;
    }
    bool visible(app::Control c) const;
    bool enabled(app::Control c) const;
    bool timer_running(app::Timer t) const;
    // Actions not yet taken.
    size_t actions_left() const { return actions_.size() - next_action_; }

private:
    void Print(const std::string& line);
    static const char* Name(app::Control c);
    // Why the user cannot reach the control now; empty when they can.
    std::string Unreachable(app::Control c) const;
    // Why the user cannot close the window now; empty when they can.
    std::string CloseRefusal() const;
    // The button's click handler, with the keys held while it runs.
    void Click(app::Control button, const std::vector<app::Key>& keys);
    void StartScript();
    void PostNextAction();
    void TakeNextAction();
    void Run(const UserAction& a);

    std::FILE* out_;
    platform::sim::SimMessagePump& pump_;
    app::WindowEvents* events_ = nullptr;
    std::vector<std::string> answers_;
    size_t next_answer_ = 0;
    std::vector<UserAction> actions_;
    size_t next_action_ = 0;
    bool script_started_ = false;
    bool action_posted_ = false;
    std::vector<app::Key> keys_held_;
    std::vector<app::BoxRequest> boxes_;
    std::vector<app::FileDialogRequest> dialogs_;
    std::vector<std::pair<app::Control, std::string>> texts_;
    std::vector<std::string> label8_history_;
    std::map<app::Control, bool> visible_;
    std::map<app::Control, bool> enabled_;
    std::map<app::Control, std::vector<std::string>> items_;
    std::map<app::Control, int> selected_;
    std::map<app::Control, app::Rgb> colours_;
    std::vector<app::DriveItem> drive_items_;
    std::vector<std::string> system_menu_items_{"Restore", "Move", "Size", "Minimize", "Maximize", "-", "Close"};
    std::string caption_;
    bool ever_shown_ = false;
    std::string status_;
    std::vector<int> progress_;
    std::map<app::Timer, unsigned> intervals_;
    bool system_menu_ = true;
    bool close_greyed_ = false;
    bool shown_ = false;
};

}  // namespace orvane::ui
