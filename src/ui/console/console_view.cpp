#include "ui/console/console_view.h"
#include "text/format.h"
#include "text/text.h"

#include <cstdlib>
#include <algorithm>
#include <cctype>

namespace orvane::ui {
namespace {

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

int TimerId(app::Timer t) { return 1 + static_cast<int>(t); }

const app::Timer kTimers[] = {app::Timer::Timer1, app::Timer::Timer2, app::Timer::tmrAutoFlash};

// Hidden and disabled as the window is laid out.
bool HiddenAtStart(app::Control c) {
    using app::Control;
    switch (c) {
        case Control::lblMsg: case Control::lblFWExt: case Control::cbMsg: case Control::lblFwSlot:
        case Control::cboFwSlot: case Control::lblCommitAction: case Control::cboCommitAction:
        case Control::cmdClose: case Control::Panel1: case Control::Label8:
            return true;
        default:
            return false;
    }
}

}  // namespace

ConsoleView::ConsoleView(std::FILE* out, platform::sim::SimMessagePump& pump, std::vector<std::string> answers,
                         std::vector<UserAction> actions)
    : out_(out), pump_(pump), answers_(std::move(answers)), actions_(std::move(actions)) {}

ConsoleView::~ConsoleView() {
    for (app::Timer t : kTimers) pump_.KillTimer(TimerId(t));
}

void ConsoleView::SetEvents(app::WindowEvents* events) { events_ = events; }

void ConsoleView::StartScript() {
    if (script_started_) return;
    script_started_ = true;
    PostNextAction();
}

const char* ConsoleView::Name(app::Control c) {
    using app::Control;
    switch (c) {
        case Control::Image1: return "Image1";
        case Control::Label1: return "Label1";
        case Control::Label9: return "Label9";
        case Control::lblMsg: return "lblMsg";
        case Control::lblFWExt: return "lblFWExt";
        case Control::cboDrives: return "cboDrives";
        case Control::cbMsg: return "cbMsg";
        case Control::lblUpdateMsg: return "lblUpdateMsg";
        case Control::lblOldFW: return "lblOldFW";
        case Control::lblTo: return "lblTo";
        case Control::lblNewFW: return "lblNewFW";
        case Control::lblFwSlot: return "lblFwSlot";
        case Control::cboFwSlot: return "cboFwSlot";
        case Control::lblCommitAction: return "lblCommitAction";
        case Control::cboCommitAction: return "cboCommitAction";
        case Control::cmdClose: return "cmdClose";
        case Control::cmdUpdate: return "cmdUpdate";
        case Control::Panel1: return "Panel1";
        case Control::Label2: return "Label2";
        case Control::Label3: return "Label3";
        case Control::Label4: return "Label4";
        case Control::Label5: return "Label5";
        case Control::Label6: return "Label6";
        case Control::Label7: return "Label7";
        case Control::Label8: return "Label8";
        case Control::ProgressBar1: return "ProgressBar1";
    }
    return "?";
}

void ConsoleView::Print(const std::string& line) {
    if (!out_) return;
    std::fputs(line.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

void ConsoleView::SetCaption(const std::string& text) {
    caption_ = text;
    Print("[caption] " + text);
}

void ConsoleView::SetText(app::Control c, const std::string& text) {
    auto it = std::find_if(texts_.begin(), texts_.end(), [c](const auto& p) { return p.first == c; });
    if (it != texts_.end())
        it->second = text;
    else
        texts_.emplace_back(c, text);
    if (c == app::Control::Label8) label8_history_.push_back(text);
    // The progress timer rewrites the diagnostic label ten times a second; only its stop shows.
    if (c == app::Control::Label8 && text.rfind("STOP", 0) != 0) return;
    Print(std::string("[label] ") + Name(c) + ": " + Escaped(text));
}

std::string ConsoleView::text(app::Control c) const {
    for (const auto& p : texts_)
        if (p.first == c) return p.second;
    return {};
}

bool ConsoleView::visible(app::Control c) const {
    auto it = visible_.find(c);
    return it != visible_.end() ? it->second : !HiddenAtStart(c);
}

bool ConsoleView::enabled(app::Control c) const {
    auto it = enabled_.find(c);
    return it != enabled_.end() ? it->second : c != app::Control::cbMsg;
}

void ConsoleView::SetVisible(app::Control c, bool visible) {
    visible_[c] = visible;
    Print(std::string("[") + (visible ? "show" : "hide") + "] " + Name(c));
}

void ConsoleView::SetEnabled(app::Control c, bool enabled) {
    enabled_[c] = enabled;
    Print(std::string("[") + (enabled ? "enable" : "disable") + "] " + Name(c));
}

app::BoxAnswer ConsoleView::MessageBox(const app::BoxRequest& box) {
    boxes_.push_back(box);
    const bool yes_no = box.buttons == app::BoxButtons::YesNo;
    // A box nobody answers takes its default button.
    app::BoxAnswer answer = !yes_no ? app::BoxAnswer::Ok : box.default_no ? app::BoxAnswer::No : app::BoxAnswer::Yes;
    double think = 0;
    if (next_answer_ < answers_.size()) {
        std::string a = text::ToLower(answers_[next_answer_++]);
        // "no@30": the user reads the box for 30 simulated seconds before answering.
        if (const size_t at = a.find('@'); at != std::string::npos) {
            think = std::strtod(a.c_str() + at + 1, nullptr);
            a.resize(at);
        }
        if (yes_no && a == "no") answer = app::BoxAnswer::No;
        if (yes_no && a == "yes") answer = app::BoxAnswer::Yes;
    }
    if (think > 0) pump_.clock().Advance(think);
    const char* buttons = !yes_no ? "OK" : box.default_no ? "YESNO default=NO" : "YESNO";
    const char* said = answer == app::BoxAnswer::Yes ? "YES" : answer == app::BoxAnswer::No ? "NO" : "OK";
    Print("[box] caption=\"" + box.caption + "\" text=\"" + Escaped(box.text) + "\" buttons=" + buttons +
          " -> " + said);
    return answer;
}

bool ConsoleView::ActivateOtherInstance(const std::string& title) {
    Print("[instance] another copy is running: " + title + " brought forward");
    return true;
}

void ConsoleView::ShowCompactPanel() { Print("[panel] compact unattended view"); }

void ConsoleView::SetProgress(int position) {
    bool changed = progress_.empty() || progress_.back() != position;
    progress_.push_back(position);
    if (changed && position % 10 == 0) Print(text::Format("[progress] %d", position));
}

void ConsoleView::ShowStatus(const std::string& text) {
    status_ = text;
    Print("[status] " + Escaped(text));
}

void ConsoleView::SetItems(app::Control list, const std::vector<std::string>& items) {
    items_[list] = items;
    selected_[list] = -1;
    std::string line = std::string("[items] ") + Name(list) + ":";
    for (const std::string& item : items) line += " \"" + Escaped(item) + "\"";
    Print(line);
}

void ConsoleView::LayoutFirmwareLine() {
    using app::Control;
    std::string line = "[firmware line] " + text(Control::lblUpdateMsg);
    for (Control c : {Control::lblOldFW, Control::lblTo, Control::lblNewFW})
        if (visible(c)) line += " " + text(c);
    Print(Escaped(line));
}

void ConsoleView::RemoveSystemMenuItem(int position) {
    if (position < 0 || position >= static_cast<int>(system_menu_items_.size())) return;
    Print("[menu] removed \"" + system_menu_items_[position] + "\"");
    system_menu_items_.erase(system_menu_items_.begin() + position);
}

void ConsoleView::SetDriveItems(const std::vector<app::DriveItem>& items) {
    drive_items_ = items;
    items_[app::Control::cboDrives].clear();
    selected_[app::Control::cboDrives] = -1;
    Print("[items] cboDrives: " + std::to_string(items.size()));
    for (const app::DriveItem& item : items) {
        items_[app::Control::cboDrives].push_back(item.text);
        Print(std::string("[item] ") + (item.eligible ? "eligible     " : "not eligible ") + "\"" + Escaped(item.text) + "\"");
    }
}

void ConsoleView::SetTextColour(app::Control c, app::Rgb colour) {
    colours_[c] = colour;
    Print(text::Format("[colour] %s: %d,%d,%d", Name(c), colour.r, colour.g, colour.b));
}

app::Rgb ConsoleView::text_colour(app::Control c) const {
    auto it = colours_.find(c);
    return it == colours_.end() ? app::kBlack : it->second;
}

void ConsoleView::SelectItem(app::Control list, int index) {
    auto it = items_.find(list);
    int count = it == items_.end() ? 0 : static_cast<int>(it->second.size());
    selected_[list] = index >= 0 && index < count ? index : -1;
    Print(std::string("[select] ") + Name(list) + ": " + std::to_string(selected_[list]));
}

int ConsoleView::SelectedItem(app::Control list) const {
    auto it = selected_.find(list);
    return it == selected_.end() ? -1 : it->second;
}

void ConsoleView::StartTimer(app::Timer t) {
    // Starting a running timer starts its period again, as SetTimer does.
    auto it = intervals_.find(t);
    const unsigned ms = it == intervals_.end() ? app::TimerIntervalMs(t) : it->second;
    // The progress timer re-arms itself every tick: its ticks show as the bar's position.
    const bool quiet = t == app::Timer::Timer2;
    pump_.SetTimer(TimerId(t), ms / 1000.0, [this, t, quiet] {
        if (!quiet) Print(std::string("[timer] ") + TimerName(t) + " fired");
        if (events_) app::RaiseTimer(*events_, t);
    });
    if (!quiet) Print(std::string("[timer] ") + TimerName(t) + " started");
}

void ConsoleView::StopTimer(app::Timer t) {
    pump_.KillTimer(TimerId(t));
    if (t != app::Timer::Timer2) Print(std::string("[timer] ") + TimerName(t) + " stopped");
}

bool ConsoleView::timer_running(app::Timer t) const { return pump_.TimerRunning(TimerId(t)); }

void ConsoleView::Show() {
    shown_ = true;
    ever_shown_ = true;
    Print("[window] shown");
    // The user acts once the window is there.
    StartScript();
}

void ConsoleView::HideAnimated() {
    if (shown_) Print("[window] closed");
    shown_ = false;
}

}  // namespace orvane::ui
