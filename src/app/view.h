#pragma once
#include <string>

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

enum class Timer { Timer1, Timer2, tmrAutoFlash };

enum class BoxButtons { Ok, YesNo };
enum class BoxIcon { None, Error, Information, Warning };
enum class BoxAnswer { Ok, Yes, No };

struct BoxRequest {
    std::string caption;
    std::string text;  // UTF-8
    BoxButtons buttons = BoxButtons::Ok;
    BoxIcon icon = BoxIcon::None;
    bool topmost = false;
};

// What the window shows and asks. The Win32 window and the console view implement it;
// texts are UTF-8.
class View {
public:
    virtual ~View() = default;
    virtual void SetCaption(const std::string& text) = 0;
    virtual void SetSystemMenu(bool present) = 0;
    virtual void SetText(Control c, const std::string& text) = 0;
    virtual void SetVisible(Control c, bool visible) = 0;
    virtual void SetEnabled(Control c, bool enabled) = 0;
    virtual BoxAnswer MessageBox(const BoxRequest& box) = 0;
    virtual void RemoveSystemMenuItem(int position) = 0;
    virtual void GreyCloseCommand() = 0;
    // The framework's application title (names the single-instance mutex).
    virtual void SetApplicationTitle(const std::string& title) = 0;
    // Bring the other running copy's window forward; false when it was not found.
    virtual bool ActivateOtherInstance(const std::string& title) = 0;
    // FormShow's placement of the firmware line.
    virtual void LayoutFirmwareLine() = 0;
    virtual void ShowCompactPanel() = 0;
    // cbMsg with one item, or nothing.
    virtual void ShowStatus(const std::string& text) = 0;
    virtual void StartTimer(Timer t) = 0;
    virtual void StopTimer(Timer t) = 0;
    virtual void Show() = 0;
    // FormDestroy: hide with the short shrinking animation.
    virtual void HideAnimated() = 0;
    // Runs the message loop until the pump is asked to quit (or, for the console, until idle).
    virtual void RunMessageLoop(platform::MessagePump& pump) = 0;
};

}  // namespace orvane::app
