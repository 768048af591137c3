#pragma once
// The timers' state: the unattended window's progress bar, and the automatic walk over every
// listed drive.
#include <string>
#include <vector>

#include "system/hi_timer.h"

namespace orvane::app {

struct ProgressBar {
    ProgressBar(platform::Clock& clock, platform::MessagePump* pump) : timer(clock, pump) {}
    int iPhase = 0;              // 1 downloading, 2 download returned, 3 verified, 4 refreshing, 5 finished
    int position = 0;            // ProgressBar1's position
    int iProgressInterval = 100; // the next period of Timer2
    unsigned interval = 100;     // the period Timer2 runs with now
    bool running = false;        // Timer2 is armed
    system::HiTimer timer;       // since the unattended update started
};

// One tick of the bar `t` seconds into the update: steps it by one unless its phase holds it
// at a ceiling, and sets the next interval. False when it held.
bool StepProgress(ProgressBar& bar, double t);

// A drive the walk sent firmware to before its last drive: verified by the walk's last scan.
struct WalkDrive {
    int result = -1;  // its entry in the result record
    std::string serial;
    std::string new_fw, fw_ext;
};

struct Walk {
    bool active = false;
    bool bNextPending = false;      // more drives follow the current one
    std::vector<WalkDrive> unverified;
    bool restart_needed = false;    // a drive of the walk runs its new firmware only after a restart
    bool rescanned = false;         // the last drive's re-finding scanned after every download
    bool finished = false;          // the drives before the last were verified
    int updated = 0;                // drives the walk ran an update for
    int failures = 0;
    int first_error = 0;
};

}  // namespace orvane::app
