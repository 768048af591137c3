#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/window_events.h"
#include "platform/message_pump.h"

namespace orvane::app {

// The main window's components that the logic talks to.
enum class Control {
    Image1, Label1, Label9, lblMsg, lblFWExt, cboDrives, cbMsg,
    lblUpdateMsg, lblOldFW, lblTo, lblNewFW,
    lblFwSlot, cboFwSlot, lblCommitAction, cboCommitAction,
    cmdClose, cmdUpdate, Panel1,
    Label2, Label3, Label4, Label5, Label6, Label7, Label8, ProgressBar1,
};

// A text colour as the window takes it.
struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};
inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kDarkRed{128, 0, 0};

// One item of the drive list: its text and which icon it carries.
struct DriveItem {
    std::string text;
    bool eligible = false;  // the "may be updated" icon; the other one otherwise
};

// The keys whose state the logic reads (GetKeyState).
enum class Key { Control, Shift, K, F9 };

enum class BoxButtons { Ok, YesNo };
enum class BoxIcon { None, Error, Information, Warning, Question };
enum class BoxAnswer { Ok, Yes, No };

struct BoxRequest {
    std::string caption;
    std::string text;  // UTF-8
    BoxButtons buttons = BoxButtons::Ok;
    BoxIcon icon = BoxIcon::None;
    bool topmost = false;
    // Yes/No boxes: No is the default button, so that Enter does not confirm.
    bool default_no = false;
};

// The window's open-file dialog; the filter is written as the framework takes it ("Text|pattern").
struct FileDialogRequest {
    std::string filter;
    std::string default_ext;
    bool must_exist = false;
};

// What the window shows and asks. The Win32 window and the console view implement it;
// texts are UTF-8.
class View {
public:
    virtual ~View() = default;
    // Where the window delivers its events; null: nowhere (before the logic exists, after it went).
    virtual void SetEvents(WindowEvents* events) = 0;
    virtual void SetCaption(const std::string& text) = 0;
    virtual void SetSystemMenu(bool present) = 0;
    virtual void SetText(Control c, const std::string& text) = 0;
    virtual void SetVisible(Control c, bool visible) = 0;
    virtual void SetEnabled(Control c, bool enabled) = 0;
    virtual BoxAnswer MessageBox(const BoxRequest& box) = 0;
    virtual void GreyCloseCommand() = 0;
    // Removes the system menu's item at this position (counted from 0), if there is one.
    virtual void RemoveSystemMenuItem(int position) = 0;
    // The framework's application title (names the single-instance mutex).
    virtual void SetApplicationTitle(const std::string& title) = 0;
    // Bring the other running copy's window forward; false when it was not found.
    virtual bool ActivateOtherInstance(const std::string& title) = 0;
    // FormShow's placement of the firmware line.
    virtual void LayoutFirmwareLine() = 0;
    virtual void ShowCompactPanel() = 0;
    // ProgressBar1's position, 0 to 100.
    virtual void SetProgress(int position) = 0;
    // cbMsg with one item, or nothing.
    virtual void ShowStatus(const std::string& text) = 0;
    // A drop-down list's items; selecting from the logic raises no change event, as in the framework.
    virtual void SetItems(Control list, const std::vector<std::string>& items) = 0;
    virtual void SelectItem(Control list, int index) = 0;
    // cboDrives' items, each drawn with its icon.
    virtual void SetDriveItems(const std::vector<DriveItem>& items) = 0;
    virtual void SetTextColour(Control c, Rgb colour) = 0;
    virtual int SelectedItem(Control list) const = 0;  // -1: none
    // Whether the key is held down at the time of the event being handled.
    virtual bool KeyDown(Key key) const = 0;
    // The control is shown: a click on a hidden one came from no user.
    virtual bool Shown(Control c) const = 0;
    // The chosen file's path (single-byte, as the file calls take it), or nothing when cancelled.
    virtual std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) = 0;
    // Each timer runs at its interval until stopped: the designed one (TimerIntervalMs) until
    // SetTimerInterval gives another, which takes effect at the next start.
    virtual void SetTimerInterval(Timer t, unsigned ms) = 0;
    virtual void StartTimer(Timer t) = 0;
    virtual void StopTimer(Timer t) = 0;
    virtual void Show() = 0;
    // FormDestroy: hide with the short shrinking animation.
    virtual void HideAnimated() = 0;
    // Runs the message loop until the pump is asked to quit (or, for the console, until idle).
    virtual void RunMessageLoop(platform::MessagePump& pump) = 0;
};

}  // namespace orvane::app
