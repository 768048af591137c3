#pragma once
// The flash worker: one download, preformat or bus refresh runs on a thread of its own while
// the window's thread keeps its message loop going.
//
// What the two threads share, and in which order:
//   - the job record: copied into the thread before it starts; the worker touches nothing else
//     of the window's except the device object the record names, which the window leaves alone
//     until the job's completion has reached it;
//   - the result: written by the worker, then the completion is posted to the window's message
//     queue (the queue's lock orders the write before the window reads it);
//   - the debug log: each writer opens, appends and closes the file per line.
#include <cstdint>
#include <string>
#include <thread>

#include "device/ata_device.h"
#include "platform/platform.h"

namespace orvane::app {

inline constexpr int kJobDownload = 1;
inline constexpr int kJobPreformat = 2;
inline constexpr int kJobRefreshBus = 3;

// One job, filled by the Update command (all fields zero first).
struct MF_THREAD_PARAMETER {
    device::TAtaDevice* device = nullptr;  // absent for kJobRefreshBus
    const uint8_t* image = nullptr;
    uint32_t size = 0;
    int32_t max_sector = 0;
    uint8_t reboot = 0;
    int32_t flash_mode = 0;
    uint8_t update_boot = 0;
    int32_t kind = 0;
    int32_t* result = nullptr;  // filled by RunFlashJob
    std::string path;           // kJobRefreshBus: the disk to remove first; empty: none
    uint8_t nvme = 0;
    int32_t fw_slot = 0;        // 1-based
    int32_t commit_action = 0;
};

// The chunk size of the download attempt after attempt `attempt` (1-based) failed with `current`.
int NextMaxSector(int attempt, int current);

// The worker's body, apart from the thread that runs it so that it can be run and tested alone.
class MFlashThread {
public:
    // log_path: the debug log the worker's own lines go to.
    MFlashThread(platform::Platform& platform, MF_THREAD_PARAMETER job, std::string log_path);
    // Runs the job and stores its result through job.result.
    void Execute();

private:
    void Download();
    void Preformat();
    void RefreshBus();
    // The worker's own line, dated; false when the log could not be written.
    bool Write(const std::string& text);
    std::string Now();

    platform::Platform& platform_;
    MF_THREAD_PARAMETER job_;
    std::string log_path_;
};

}  // namespace orvane::app
