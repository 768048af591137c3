// The window's side of a flash job: start the worker, keep the message loop going, take the result.
#include <thread>

#include "app/orvane_main.h"

namespace orvane::app {

namespace {
// The longest the window sleeps between looks at its queue; the completion wakes it earlier.
constexpr double kJobWaitSeconds = 1.0;
}  // namespace

int32_t TOrvaneMain::RunFlashJob(MF_THREAD_PARAMETER job) {
    int32_t result = 0xFF;
    job.result = &result;
    bThreadDone = false;
    platform::Platform& platform = ctx_.platform;
    std::thread worker;
    try {
        worker = std::thread([&platform, job, path = m_DebugLogPath, this] {
            MFlashThread(platform, job, path).Execute();
            // Posted last: the queue's lock orders the result's write before the window reads it.
            platform.pump.Post([this] { ThreadDone(); });
        });
    } catch (const std::exception& e) {
        LogLine(std::string("RunFlashJob: the worker thread could not be started: ") + e.what());
        bThreadDone = true;
        return result;
    }
    while (!bThreadDone) {
        platform.pump.Dispatch();
        if (bThreadDone) break;
        platform.pump.Wait(kJobWaitSeconds);
    }
    worker.join();
    return result;
}

void TOrvaneMain::ThreadDone() {
    bThreadDone = true;
    LogLine("ThreadDone ok \n");
}

}  // namespace orvane::app
