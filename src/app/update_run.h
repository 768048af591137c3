#pragma once
// What one run of the Update command keeps between its steps.
#include <cstdint>
#include <optional>
#include <string>

#include "app/orvane_main.h"

namespace orvane::app {

struct TOrvaneMain::UpdateRun {
    UpdateRun(platform::Clock& clock, platform::MessagePump& pump) : total(clock, &pump), delay(clock, &pump) {}
    uint32_t os_code = 0;
    bool boot = false;            // the primary boot drive
    bool success = false;
    bool verified = false;        // found again with the new revision and DEF text
    bool lost = false;            // the last scan of the re-finding did not find it
    bool restart_needed = false;  // the new firmware runs only after the computer restarts
    std::string error;            // the failure's text when it is not the result code's
    int drive = -1;
    // For the result record: its entry there, how the run ended, what the drive reported after.
    int result = -1;
    std::string outcome;
    std::string transport;
    bool download_sent = false;   // a firmware image went to the drive
    std::optional<std::string> revision_after;
    system::HiTimer total;
    system::HiTimer delay;
};

}  // namespace orvane::app
