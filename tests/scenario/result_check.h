#pragma once
// The "/RESULT:" document of a scenario run: reading it and the checks every run's document
// must pass, and what a row expects of each drive in it.
#include <optional>
#include <string>
#include <vector>

#include "scenario/scenario_rig.h"

namespace orvane::testing::scenario {

// A drive of the document, by its serial number as listed.
struct DriveExpect {
    std::string serial;
    std::string outcome;
    std::optional<std::string> revision_after;  // none: null in the document
    std::string transport = "";                 // "": not checked
};

// A document drive's outcome word and detail in the words the rows are written in ("failed: <why>",
// "refused: <why>", "not found again", "already latest", "boot-time update prepared", "not updated");
// the other words as they stand.
std::string RowOutcome(const json& drive);

// "/RESULT:" for a file in the run's temporary folder, and that file's path.
std::string ResultArgumentFor(AppRun& run, std::string& path);
// The document, parsed; a discarded value when there is none or it is not JSON.
json ReadResultFile(const std::string& path);
// What holds for every run's document as a document: the exit code and its words, the times, a
// duration and transport for every drive acted on. What it says of each drive against the drive
// itself is the truth check's (truth_check.h).
void ExpectSoundDocument(const json& doc, const Outcome& o, const std::string& name);
void ExpectDrives(const json& doc, const std::vector<DriveExpect>& want, const std::string& name);

// The update scenarios' rows by name: what each leaves in the document.
const std::vector<DriveExpect>* ExpectedResultOf(const std::string& row);

}  // namespace orvane::testing::scenario
