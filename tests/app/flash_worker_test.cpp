// The flash worker on the simulated machine: the job record, the retry ladder's log, the two
// preformat attempts, the bus refresh, and the window thread's responsiveness while it waits.
#include <gtest/gtest.h>

#include <cctype>

#include "app/app_fixture.h"

namespace orvane::app {
namespace {

using testing::AppRun;
using Strings = std::vector<std::string>;

void Add512Fault(platform::sim::SimMachine& m, int command, int features) {
    for (auto& d : m.storage.disks)
        if (d.drive && d.drive->model == "MERETH SSD 512GB") {
            platform::sim::SimDriveFault f;
            f.command = command;
            f.features = features;
            d.drive->faults.push_back(f);
        }
}

// Selects the built-in machine's 512 GB drive, so that the device object is open on it.
void Select512(AppRun& run, TOrvaneMain& main) {
    const auto& items = run.view().drive_items();
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].text.find("MERETH SSD 512GB") != std::string::npos) {
            run.view().SelectItem(Control::cboDrives, static_cast<int>(i));
            main.cboDrivesChange();
            return;
        }
    FAIL() << "no 512 GB drive listed";
}

// "2026-01-05 09:30:12 " at the start of a line: the worker's date and time.
bool Dated(const std::string& line) {
    static const char kShape[] = "dddd-dd-dd dd:dd:dd ";
    if (line.size() < sizeof kShape - 1) return false;
    for (size_t i = 0; i + 1 < sizeof kShape; ++i)
        if (kShape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(line[i])) : line[i] != kShape[i]) return false;
    return true;
}

// The worker's dated lines with the date taken off: "2026-01-05 09:30:12 retry1 : ..." -> "retry1 : ...".
Strings WorkerLines(const std::string& log, const std::string& what) {
    Strings out;
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos) end = log.size();
        std::string line = log.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (Dated(line) && line.find(what, 20) != std::string::npos) out.push_back(line.substr(20));
        start = end + 1;
    }
    return out;
}

TEST(FlashWorker, AJobWithoutItsDeviceStoresNothing) {
    AppRun run;
    TOrvaneMain& main = run.StartUp();
    for (int kind : {kJobDownload, kJobPreformat, 7}) {
        MF_THREAD_PARAMETER job;
        job.kind = kind;
        EXPECT_EQ(main.RunFlashJob(job), 0xFF) << kind;
        EXPECT_TRUE(main.ThreadIsDone());
    }
    // The completion reaches the log through the window's thread, once per job.
    size_t done = 0;
    for (size_t at = 0; (at = run.Log().find("ThreadDone ok \n\n", at)) != std::string::npos; ++at) ++done;
    EXPECT_EQ(done, 3u);
}

TEST(FlashWorker, ADownloadThatNeverSucceedsClimbsTheWholeLadder) {
    AppRun run([](platform::sim::SimMachine& m) { Add512Fault(m, 0x92, -1); });
    TOrvaneMain& main = run.StartUp();
    Select512(run, main);
    static uint8_t image[4096] = {1, 2, 3};
    MF_THREAD_PARAMETER job;
    job.device = main.Device();
    job.image = image;
    job.size = sizeof image;
    job.max_sector = 1;
    job.kind = kJobDownload;
    EXPECT_NE(main.RunFlashJob(job), 0);
    const std::string log = run.Log();
    EXPECT_EQ(WorkerLines(log, "Start UpdateFW"),
              Strings{"Start UpdateFW , max_sector=1, bIsNvme=0, fwslot=0, commit action=0"});
    EXPECT_EQ(WorkerLines(log, "retry"),
              (Strings{"retry1 : max_sector=1 ", "retry2 : max_sector=64 ", "retry3 : max_sector=64 ",
                       "retry4 : max_sector=64 ", "retry5 : max_sector=64 ", "retry6 : max_sector=64 ",
                       "retry7 : max_sector=64 ", "retry8 : max_sector=8 ", "retry9 : max_sector=7 ",
                       "retry10 : max_sector=4 ", "retry11 : max_sector=1 ", "retry12 : max_sector=64 ",
                       "retry13 : max_sector=8 "}));
    EXPECT_EQ(WorkerLines(log, "End of UpdateFW"), Strings{"End of UpdateFW , max_sector=8 "});
}

// One command of an enterprise download over ATA pass-through answered 7Fh, no drive on the bus:
// without the drive's restart the chunk was not taken, the attempt fails and the ladder goes on;
// with the restart it counts as sent (the caller then looks for the drive and its firmware).
TEST(FlashWorker, ANoDriveAnswerIsRetriedUnlessTheDriveRestarts) {
    struct Case {
        const char* name;
        bool reboot;
        int features, skip;  // the DOWNLOAD MICROCODE subcommand answered 7Fh once, after `skip` of them
        Strings retries;
    } cases[] = {
        {"the last of 8 chunks, no restart", false, 0x0E, 7, {"retry1 : max_sector=1 "}},
        {"the activation, restart", true, 0x0F, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AppRun run([&](platform::sim::SimMachine& m) {
            for (auto& d : m.storage.disks)
                if (d.drive && d.drive->model == "MERETH SSD 512GB")
                    d.drive->faults.push_back({0x92, c.features, platform::sim::SimDriveFault::Status7F, 1, c.skip});
        });
        TOrvaneMain& main = run.StartUp();
        Select512(run, main);
        ASSERT_EQ(main.Device()->protocol(), device::kProtoAta);
        static uint8_t image[4096] = {1, 2, 3};
        MF_THREAD_PARAMETER job;
        job.device = main.Device();
        job.image = image;
        job.size = sizeof image;
        job.max_sector = 1;
        job.flash_mode = 2;
        job.reboot = c.reboot;
        job.kind = kJobDownload;
        EXPECT_EQ(main.RunFlashJob(job), 0);
        EXPECT_EQ(WorkerLines(run.Log(), "retry"), c.retries);
        const platform::sim::SimAtaDrive* drive = nullptr;
        for (auto& d : run.sim().hardware().storage.disks)
            if (d.drive && d.drive->model == "MERETH SSD 512GB") drive = &d.drive_stack->drive();
        ASSERT_TRUE(drive);
        // Every chunk reached the drive: without the restart, by the retry.
        EXPECT_EQ(drive->firmware().image.size(), sizeof image);
    }
}

TEST(FlashWorker, AnNvmeDownloadIsTriedOnceAndFailsAsFail) {
    AppRun run([](platform::sim::SimMachine& m) {
        for (auto& d : m.storage.disks)
            if (d.nvme) d.nvme->firmware_requests = false;
    });
    TOrvaneMain& main = run.StartUp();
    static uint8_t image[4096] = {};
    MF_THREAD_PARAMETER job;
    job.device = main.Device();
    job.image = image;
    job.size = sizeof image;
    job.max_sector = 1;
    job.kind = kJobDownload;
    job.nvme = 1;
    job.fw_slot = 2;
    job.commit_action = 3;
    EXPECT_EQ(main.RunFlashJob(job), 0xFE);
    const std::string log = run.Log();
    EXPECT_EQ(WorkerLines(log, "Start UpdateFW"),
              Strings{"Start UpdateFW , max_sector=1, bIsNvme=1, fwslot=2, commit action=3"});
    EXPECT_TRUE(WorkerLines(log, "retry").empty());
    EXPECT_EQ(WorkerLines(log, "End of UpdateFW").size(), 1u);
}

TEST(FlashWorker, AFailingPreformatIsTriedTwiceOneSecondApart) {
    AppRun run([](platform::sim::SimMachine& m) { Add512Fault(m, 0xFF, 0xFC); });
    TOrvaneMain& main = run.StartUp();
    Select512(run, main);
    MF_THREAD_PARAMETER job;
    job.device = main.Device();
    job.kind = kJobPreformat;
    const double before = run.sim().clock().Now();
    EXPECT_NE(main.RunFlashJob(job), 0);
    EXPECT_GE(run.sim().clock().Now() - before, 1.0);
    EXPECT_EQ(WorkerLines(run.Log(), "Preformat ..."), (Strings{"Preformat ...", "Preformat ..."}));
}

TEST(FlashWorker, ARefreshWithoutAPathOnlyRescansTheControllers) {
    AppRun run;
    TOrvaneMain& main = run.StartUp();
    const size_t rescans = run.sim().tree().Reenumerated().size();
    MF_THREAD_PARAMETER job;
    job.kind = kJobRefreshBus;
    EXPECT_EQ(main.RunFlashJob(job), 1);
    EXPECT_TRUE(run.sim().tree().Removed().empty());
    EXPECT_GT(run.sim().tree().Reenumerated().size(), rescans);

    // With a path, that disk is removed first.
    job.path = main.Selected().TargetPath;
    ASSERT_FALSE(job.path.empty());
    EXPECT_EQ(main.RunFlashJob(job), 1);
    EXPECT_EQ(run.sim().tree().Removed(), Strings{main.Selected().TargetPath});
    // With the window's device object present the job is not a refresh: nothing is stored.
    job.device = main.Device();
    EXPECT_EQ(main.RunFlashJob(job), 0xFF);
}

TEST(FlashWorker, TheWindowKeepsDispatchingWhileTheJobRuns) {
    AppRun run([](platform::sim::SimMachine& m) { Add512Fault(m, 0x92, -1); });
    TOrvaneMain& main = run.StartUp();
    Select512(run, main);
    int ticks_during_job = 0;
    run.sim().pump().SetTimer(99, 0.5, [&] {
        if (!main.ThreadIsDone()) ++ticks_during_job;
    });
    static uint8_t image[512] = {};
    MF_THREAD_PARAMETER job;
    job.device = main.Device();
    job.image = image;
    job.size = sizeof image;
    job.max_sector = 1;
    job.kind = kJobDownload;
    main.RunFlashJob(job);
    run.sim().pump().KillTimer(99);
    // Thirteen attempts one second apart: a half-second timer ticks meanwhile. How often depends on
    // how the host schedules the simulated clock (fewer under Wine), so only a few are asked for.
    EXPECT_GE(ticks_during_job, 3);
}

}  // namespace
}  // namespace orvane::app
