#pragma once
// The Update command's texts: English in both text sets.

namespace orvane::app::update_text {

inline constexpr const char* kInformationCaption = "Information";
inline constexpr const char* kQuestionCaption = "Question";
inline constexpr const char* kInboxDriverRequired =
    "Microsoft inbox-driver is required for NVMe device (Windows8.1 / Server2012R2 above)";
inline constexpr const char* kWindowsRequired = "Windows8.1 / Server2012R2 above is required for NVMe device (ERR:%Xh)";
inline constexpr const char* kFatalError = "Fatal error is found, please return this drive to the vendor !";
inline constexpr const char* kBootDriveGuard =
    "Because this tool contains erase function and the SSD you selected is primary boot drive.\nOrvane "
    "recommends that you back up your data before flashing and let your SSD be as a secondary drive.";
inline constexpr const char* kLatest = "This drive is the latest firmware.";
inline constexpr const char* kFlashFinished = "Flash finished !";
inline constexpr const char* kRebootQuestion =
    "Reboot Confirmation:\nThe drive will not properly function until you shut down and reboot the system. If you "
    "continue to reboot the system now, press Yes button. Or if you do not reboot now but manually do later, "
    "press No button.\n";
inline constexpr const char* kShutdownQuestion =
    "Shutdown Confirmation:\nThe drive will not properly function until you shut down and reboot the system. If "
    "you continue to shutdown the system now, press Yes button. Or if you do not shutdown now but manually do "
    "later, press No button.\n";
inline constexpr const char* kTimeoutError = "There is something wrong, please check your drive !";
inline constexpr const char* kFlashOk = "Flash OK!";
inline constexpr const char* kFlashFailed = "Flash Failed!";
// Our own texts, for outcomes the workflow must not report as success.
inline constexpr const char* kStillOld = "the drive still reports firmware %s";
inline constexpr const char* kNotFoundAgain =
    "the drive was not found again after the update; check it after restarting the computer";
inline constexpr const char* kFileTooLarge = "The chosen file is larger than the firmware buffer (%u bytes): not flashed.";
inline constexpr const char* kFileUnreadable = "The chosen file cannot be read: not flashed.";
inline constexpr const char* kUpdateRunning =
    "A firmware update is in progress. Closing now would leave the drive with a half-written firmware image; "
    "wait until the update has ended.";
inline constexpr const char* kImageUnusable = "the firmware image of slot %d cannot be prepared";
inline constexpr const char* kImagePlaceholder =
    "the firmware image of slot %d holds no firmware (all of its %d bytes are 0x%02X): nothing was sent";
inline constexpr const char* kOpenFailed =
    "the drive could not be opened for the update; check its connection and run the program again";
inline constexpr const char* kEraseDeclined = "the erase was not confirmed: nothing was erased";
inline constexpr const char* kRefusedWhileUpdating = "%s: refused, an update is running\n";
// Before a drive's data is destroyed its volumes are taken from their file systems.
inline constexpr const char* kVolumeInUse = "Volume %s is in use: close the programs that use it and try again.";
inline constexpr const char* kVolumeMaybeInUse =
    "Volume %s may lie on this drive and is in use: close the programs that use it and try again.";
inline constexpr const char* kVolumeNotLocked =
    "Volume %s cannot be locked and dismounted (error %u): nothing was sent to the drive.";
inline constexpr const char* kVolumesNotListed =
    "The volumes of this computer cannot be listed (error %u): nothing was sent to the drive.";
// The boot-time route.
inline constexpr const char* kFwFileFailed = "Fail to write FW files into system !\n";
inline constexpr const char* kBootSetupFailed = "[0x%X] Fail to write UPDATE files into system !\n";
inline constexpr const char* kBootWarning =
    "WARNING: THIS PROCESS WILL UPDATE THE FIRMWARE ON YOUR SSD.THERE IS A RISK DURING FIRMWARE UPDATE PROCESS.YOUR "
    "SSD MAY NOT FUNCTION PROPERLY IF THE FIRMWARE PROCESS IS INTERRUPTED FOR ANY REASON.AS WE PROVIDES NO WARRANTY "
    "FOR THE DATA ON YOUR DRIVE, IT IS STRONGLY RECOMMENDED THAT YOU SHOULD BACKUP ALL IMPORTANT FILES IN ADVANCE.";
inline constexpr const char* kBootRebootQuestion =
    "The update process needs to REBOOT your computer. Do you want to reboot NOW ?\n";
inline constexpr const char* kBootRouteNvme =
    "The boot-time update speaks ATA only and cannot update an NVMe drive: nothing was written.";
inline constexpr const char* kBootRouteCsmi =
    "The boot-time update cannot reach a drive behind a RAID controller's port: nothing was written.";
inline constexpr const char* kBootNoTransport =
    "The drive answers on no command transport that the boot-time update could use: nothing was written.";
inline constexpr const char* kBootOneDrive = "a boot-time update prepares one drive; run the program again after the restart";
inline constexpr const char* kRunEnded = "the program ended before this drive";
inline constexpr const char* kBootReopenFailed =
    "The drive cannot be opened again to prepare the boot-time update: nothing was written.";

// Why an update that was sent is still pending, for the result and the history.
inline constexpr const char* kPendingActivation = "the drive activates the new firmware at the next restart";
inline constexpr const char* kPendingBoot = "the boot-time flasher updates the drive at the next start";
inline constexpr const char* kPendingNotFound = "not found again after the download; checked at the next start";
inline constexpr const char* kPendingNoReboot =
    "not read again: the package does not restart the drive; the new firmware runs after the next restart";
inline constexpr const char* kPendingNotReadBack = "the drive was not read again after the download";

}  // namespace orvane::app::update_text
