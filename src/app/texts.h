#pragma once

namespace orvane::app {

// The texts that exist in English and in Traditional Chinese (UTF-8).
struct TextSet {
    const char* Label1;
    const char* lblUpdateMsg;
    const char* lblTo;
    const char* lblMsg;
    const char* cmdUpdate;
    const char* cmdClose;
    const char* Label2;
    const char* Label3;
    const char* Label4;
    const char* NoFirmware;
    const char* ErrorCaption;  // "Error ..." of the device and rights boxes
    const char* DeviceInitFailed;
    const char* AccessDenied;
    const char* NoMatched;
    const char* DetectedDrives;
    const char* UnlockPassword;
    const char* NoticeSupports;
    const char* NoticeSsd;
    const char* NoticeHead;
    const char* Notice1;
    const char* Notice2;
    const char* Notice3;
    const char* NoticeContinue;
    const char* UpdatedFrom;  // firmware-line captions of a selected drive
    const char* UpdatedTo;
    const char* NotAllowed;  // the refusal shown for a drive that may not be updated
    // A pending update of an earlier run found failed at this start: the box's caption, its
    // first line, then per drive a line with model, serial and why, then what to do.
    const char* HistoryFailedCaption;
    const char* HistoryFailedHead;
    const char* HistoryFailedAdvice;
    // The NVMe selectors: their captions, the mark of a slot that takes no firmware, and each
    // activation choice by its number (the number first: the list's index is the action).
    const char* FwSlotCaption;
    const char* ActivationCaption;
    const char* ReadOnlySlot;  // "%d (read-only)"
    const char* CommitActions[4];
    // "/ERASE": the firmware line, the button and the question that names the disk ("%s").
    const char* EraseLine;
    const char* EraseButton;
    const char* EraseCaption;
    const char* EraseQuestion;
    // An update that ended without success, shown before the program ends: the caption and
    // what to do when something reached the drive, or when nothing did; then the log's path ("%s").
    const char* FailedCaption;
    const char* FailedAdvice;
    const char* RefusedCaption;
    const char* RefusedAdvice;
    const char* LogAt;
};

const TextSet& Texts(int iLanguage);

// Texts that are the same in both sets.
inline constexpr const char* kUnattendedCaption = "Updating firmware";
inline constexpr const char* kWarningText =
    "WARNING: THIS PROCESS WILL UPDATE THE FIRMWARE ON YOUR SSD.  THERE IS A RISK DURING FIRMWARE UPDATE "
    "PROCESS.  YOUR SSD MAY NOT FUNCTION PROPERLY IF THE FIRMWARE PROCESS IS INTERRUPTED FOR ANY REASON.  AS "
    "WE PROVIDES NO WARRANTY FOR THE DATA ON YOUR DRIVE, IT IS STRONGLY RECOMMENDED THAT YOU SHOULD BACKUP "
    "ALL IMPORTANT FILES IN ADVANCE.";
inline constexpr const char* kPowerDeniedText = "Firmware is updating, all power change events are denied !";
inline constexpr const char* kWarningCaption = "Warning";
inline constexpr const char* kErrorCaption = "Error";

}  // namespace orvane::app
