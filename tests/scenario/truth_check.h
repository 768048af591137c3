#pragma once
// The per-drive truth check: what a run reported (its exit code, boxes, status lines, the
// unattended bar and the "/RESULT:" document) against what every drive of the simulated machine
// holds and received. The drive that is updated is the drive that was chosen, and what is
// reported is what the drive holds.
#include <string>
#include <vector>

#include "scenario/scenario_rig.h"

namespace orvane::testing::scenario {

// What the package installs: the revision its slot's image carries.
struct PackageFacts {
    std::string new_fw;
};

// Every broken promise as "<rule>: <what>"; empty when the run told the truth. The rules:
//   document        there is a document, and its exit code is the program's
//   entry-twice     one entry per drive listed
//   entry-unknown   an entry names a drive of the machine (by the serial it had when listed)
//   unknown-outcome an entry's outcome is one of the known words
//   written         a drive that received a write has an entry (and by no-write, one that says it
//                   was acted on)
//   updated         the drive holds the new firmware, committed, is present, and the entry says so
//   pending         the drive took the new image and waits to run it (or a restart)
//   boot-prepared   nothing reached the drive, and the flasher and image are in place
//   no-write        "already latest", "not updated" and "refused" drives received no write
//   erased          a preformat reached the drive and no download did
//   revision-after  a revision the entry gives is what the drive runs
//   exit-code       0 only when every drive acted on ended well; not 0 when any failed or was refused
//   false-success   a success report ("Flash finished !", "Flash OK!", "Done !", "Next") only when a
//                   drive was updated or is pending; the unattended bar run out to 100 also after
//                   an erase or on a drive already up to date
std::vector<std::string> TruthViolations(const Outcome& o, const json& doc, const PackageFacts& p);

// The rule a violation names.
std::string ViolationRule(const std::string& violation);

// One test failure per violation, named.
void ExpectTruth(const Outcome& o, const json& doc, const PackageFacts& p, const std::string& name);

}  // namespace orvane::testing::scenario
