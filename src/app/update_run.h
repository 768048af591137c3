#pragma once
// What one run of the Update command keeps between its steps.
#include <cstdint>
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
    system::HiTimer total;
    system::HiTimer delay;
};

}  // namespace orvane::app
