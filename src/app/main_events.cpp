// The main window's event handlers that the window raises (clicks, list, timers, power, close).
// While an update runs, those that would change its target or touch the device are refused.
#include "app/orvane_main.h"
#include "app/update_texts.h"

namespace orvane::app {

uint32_t TOrvaneMain::OnPowerBroadcast(uint32_t event) {
    // The window answers the message itself and never passes it on.
    if (!m_bUpdating || event == kPbtApmQuerySuspendFailed) return 0;
    Box(kWarningCaption, kPowerDeniedText, BoxButtons::Ok, BoxIcon::Information, true);
    return kBroadcastQueryDeny;
}

void TOrvaneMain::FormClose() {
    // A half-sent image must not be abandoned: the window stays until the update has ended.
    if (m_bUpdating || walk_.active) {
        LogLine("FormClose: refused, an update is running");
        Box(kWarningCaption, update_text::kUpdateRunning, BoxButtons::Ok, BoxIcon::Warning, true);
        return;
    }
    EndProgram();
}

void TOrvaneMain::cboDrivesChange() {
    if (RefusedWhileUpdating("cboDrivesChange")) {
        // The list goes on showing the drive being updated.
        if (selection_.item >= 0) view_.SelectItem(Control::cboDrives, selection_.item);
        return;
    }
    SelectDrive();
}

void TOrvaneMain::cmdCloseClick() {
    // Nothing shows this button: no user reaches this vendor preformat, which erases the drive.
    if (RefusedWhileUpdating("cmdCloseClick") || !m_Device) return;
    // A click on the hidden button is a message some other program sent: it must not erase.
    if (!view_.Shown(Control::cmdClose)) {
        LogLine("cmdCloseClick: refused, the button is not shown\n");
        return;
    }
    // The preformat destroys the data of the drive the device is open on: its volumes first.
    device::VolumeLock volumes;
    const DEV_INFO none{};
    const DEV_INFO& e = selection_.entry >= 0 ? drives_.m_DevInfo[selection_.entry] : none;
    if (!LockDriveVolumes(e, address_, volumes).empty()) return;
    m_Device->identify_device();
    system::HiTimer delay(ctx_.platform.clock, &ctx_.platform.pump);
    delay.DelayMs(500);
    m_Device->preformat();
}

}  // namespace orvane::app
