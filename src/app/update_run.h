#pragma once
// What one run of the Update command keeps between its steps. The run takes its target once,
// when it starts; every later step reads the run, never the list or the firmware line, which
// the window may still show otherwise.
#include <cstdint>
#include <optional>
#include <string>

#include "app/orvane_main.h"

namespace orvane::app {

// The drive an update acts on.
struct UpdateTarget {
    int entry = -1;
    int item = -1;                // its item in the drive list
    DEV_INFO drive = {};          // the table entry as it stood at the start
    std::string serial;           // TargetSerial: found again by it after the restart
    std::string path;             // TargetPath: its instance identifier
    TargetAddress address;        // scan kind, "/T:" path, CSMI port and address
    bool opened = false;          // the selection opened it
    uint8_t transport = 0;
    std::string transport_name;
    uint32_t slot = 0;
    std::string new_fw, fw_ext;   // what the firmware line showed: the revision and DEF text it gets
    int fw_slot = 1;              // NVMe firmware slot (1-based) and commit action
    int commit_action = 3;
    bool boot = false;            // the primary boot drive
};

struct TOrvaneMain::UpdateRun {
    UpdateRun(platform::Clock& clock, platform::MessagePump& pump)
        : total(clock, &pump), work(clock, &pump), delay(clock, &pump) {}
    UpdateTarget target;
    uint32_t os_code = 0;
    uint32_t image_length = 0;    // the prepared image in m_ImageBuffer
    bool placeholder = false;     // it holds no firmware
    bool success = false;
    bool verified = false;        // found again with the new revision and DEF text
    bool lost = false;            // the last scan of the re-finding did not find it
    bool restart_needed = false;  // the new firmware runs only after the computer restarts
    bool download_sent = false;   // a firmware image went to the drive
    int iLastResult = 0;
    int iLastDetail = 0;
    std::string error;            // the failure's text when it is not the result code's
    std::string still_reports;    // the revision a drive found again reports when it is not the new one
    bool restart_asked = false;
    int boxes_at_start = 0;       // the boxes shown before this update started
    std::string outcome;          // how it ended, for the result record
    int result = -1;              // the drive's entry in the result record
    std::optional<std::string> revision_after;
    device::VolumeLock volumes;   // the drive's volumes, held while its data is destroyed
    system::HiTimer total;
    system::HiTimer work;         // total without the time boxes waited for their answers
    system::HiTimer delay;
};

}  // namespace orvane::app
