#pragma once
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/view.h"

namespace orvane::ui {

// The window as lines of text: what the window would show, one event per line.
// Message boxes are answered from a list, then with Yes/OK.
class ConsoleView : public app::View {
public:
    explicit ConsoleView(std::FILE* out, std::vector<std::string> answers = {})
        : out_(out), answers_(std::move(answers)) {}

    // Raised for a running timer while the loop waits; unset: timers never fire.
    std::function<void(app::Timer)> on_timer;

    void SetCaption(const std::string& text) override;
    void SetSystemMenu(bool present) override { system_menu_ = present; }
    void SetText(app::Control c, const std::string& text) override;
    void SetVisible(app::Control c, bool visible) override;
    void SetEnabled(app::Control c, bool enabled) override;
    app::BoxAnswer MessageBox(const app::BoxRequest& box) override;
    void RemoveSystemMenuItem(int position) override;
    void GreyCloseCommand() override { close_greyed_ = true; }
    void SetApplicationTitle(const std::string& title) override { title_ = title; }
    bool ActivateOtherInstance(const std::string& title) override;
    void LayoutFirmwareLine() override {}
    void ShowCompactPanel() override;
    void ShowStatus(const std::string& text) override;
    void StartTimer(app::Timer t) override;
    void StopTimer(app::Timer t) override;
    void Show() override;
    void HideAnimated() override;
    void RunMessageLoop(platform::MessagePump& pump) override;

    // What a test may look at.
    const std::vector<app::BoxRequest>& boxes() const { return boxes_; }
    const std::string& caption() const { return caption_; }
    bool shown() const { return shown_; }
    bool system_menu() const { return system_menu_; }
    bool close_greyed() const { return close_greyed_; }
    const std::string& status() const { return status_; }
    std::string text(app::Control c) const;

private:
    void Print(const std::string& line);
    static const char* Name(app::Control c);

    std::FILE* out_;
    std::vector<std::string> answers_;
    size_t next_answer_ = 0;
    std::vector<app::BoxRequest> boxes_;
    std::vector<std::pair<app::Control, std::string>> texts_;
    std::string caption_;
    std::string title_;
    std::string status_;
    bool system_menu_ = true;
    bool close_greyed_ = false;
    bool shown_ = false;
    int timers_running_ = 0;
};

}  // namespace orvane::ui
