// The main window's event handlers that the window raises (clicks, list, timers, power, close).
#include "app/orvane_main.h"

namespace orvane::app {
namespace {

const FileDialogRequest kFirmwareFileDialog{"Firmware Files (*.BIN) |*.BIN", "BIN", true};

}  // namespace

bool TOrvaneMain::EngineeringChordHeld() const {
    return view_.KeyDown(Key::Control) && view_.KeyDown(Key::Shift) &&
           (view_.KeyDown(Key::K) || view_.KeyDown(Key::F9));
}

void TOrvaneMain::cmdUpdateClick() {
    // The update workflow comes with the drive scan and the flash worker. Until then a click
    // takes only its first decision, so that both paths can be reached, and says the rest is missing.
    if (EngineeringChordHeld()) {
        std::optional<std::string> file = view_.OpenFileDialog(kFirmwareFileDialog);
        if (!file) return;  // cancelled: the program goes on
        LogLine("cmdUpdateClick: flashing the chosen file " + *file + " is not built yet");
        return;
    }
    LogLine("cmdUpdateClick: the update workflow is not built yet");
}

void TOrvaneMain::cmdCloseClick() {
    // Nothing shows this button, so no user reaches it. Its job (identify, then the vendor
    // preformat, which erases the drive) is deliberately not run from here.
}

// Each timer fires once per start, then stops itself; the runs they start are not built yet.
void TOrvaneMain::Timer1Timer() {
    view_.StopTimer(Timer::Timer1);
    LogLine("Timer1Timer: the unattended update is not built yet");
}

void TOrvaneMain::Timer2Timer() { view_.StopTimer(Timer::Timer2); }

void TOrvaneMain::tmrAutoFlashTimer() {
    view_.StopTimer(Timer::tmrAutoFlash);
    LogLine("tmrAutoFlashTimer: the automatic update of every drive is not built yet");
}

uint32_t TOrvaneMain::OnPowerBroadcast(uint32_t event) {
    // The window answers the message itself and never passes it on.
    if (!m_bUpdating || event == kPbtApmQuerySuspendFailed) return 0;
    Box(kWarningCaption, kPowerDeniedText, BoxButtons::Ok, BoxIcon::Information, true);
    return kBroadcastQueryDeny;
}

void TOrvaneMain::FormClose() { EndProgram(); }

}  // namespace orvane::app
