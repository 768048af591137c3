// The main window's event handlers that the window raises (clicks, list, timers, power, close).
#include "app/orvane_main.h"
#include "app/update_texts.h"

namespace orvane::app {
bool TOrvaneMain::EngineeringChordHeld() const {
    return view_.KeyDown(Key::Control) && view_.KeyDown(Key::Shift) &&
           (view_.KeyDown(Key::K) || view_.KeyDown(Key::F9));
}

uint32_t TOrvaneMain::OnPowerBroadcast(uint32_t event) {
    // The window answers the message itself and never passes it on.
    if (!m_bUpdating || event == kPbtApmQuerySuspendFailed) return 0;
    Box(kWarningCaption, kPowerDeniedText, BoxButtons::Ok, BoxIcon::Information, true);
    return kBroadcastQueryDeny;
}

void TOrvaneMain::FormClose() {
    // A half-sent image must not be abandoned: the window stays until the update has ended.
    if (m_bUpdating) {
        LogLine("FormClose: refused, an update is running");
        Box(kWarningCaption, update_text::kUpdateRunning, BoxButtons::Ok, BoxIcon::Warning, true);
        return;
    }
    EndProgram();
}

}  // namespace orvane::app
