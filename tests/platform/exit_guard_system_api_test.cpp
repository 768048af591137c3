#include "platform/sim/exit_guard_system_api.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/sim/sim_platform.h"
#include "system/os_info.h"

namespace orvane::platform::sim {
namespace {

namespace fs = std::filesystem;

// The guard in front of one simulated system (standing for the real one) on a machine whose
// own simulated system must stay untouched.
class ExitGuardTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / "orvane-exit-guard-test";
        fs::remove_all(root_);
        fs::create_directories(root_);
        std::string error;
        const std::string text = R"({"system": {"temp_dir": )" + nlohmann::json(root_.string()).dump() +
                                 R"(, "wow64": "yes", "forced_exit": "exit_failed", "registry": {
            "SYSTEM\\CurrentControlSet\\Control\\Session Manager": {"BootExecute": ["autocheck autochk *"]}}}})";
        ASSERT_TRUE(LoadMachine(text, machine_, error)) << error;
    }
    void TearDown() override { fs::remove_all(root_); }

    fs::path root_;
    SimMachine machine_;
};

TEST_F(ExitGuardTest, ForcedExitsAreRecordedAndNeverReachTheSystem) {
    SimClock clock;
    SimSystemApi inner(machine_, clock);
    ExitGuardSystemApi guard(inner);
    SimPlatform sim(machine_, 1.0, &guard);
    ASSERT_EQ(&sim.platform().system, &guard);

    // Through the program's own restart and shutdown (NT route), then the 9x one.
    system::OSInfo os(sim.platform().system);
    EXPECT_TRUE(os.Reboot()) << "answered as done, though the inner system would fail it";
    EXPECT_TRUE(os.Shutdown());
    EXPECT_TRUE(guard.ExitWindowsForced(ExitKind::Reboot));

    EXPECT_EQ(guard.ExitRequests(), (std::vector<ExitKind>{ExitKind::Reboot, ExitKind::Shutdown, ExitKind::Reboot}));
    EXPECT_EQ(guard.ExitDirect(), (std::vector<bool>{false, false, true}));
    EXPECT_TRUE(inner.exit_requests.empty());
    EXPECT_TRUE(sim.system().exit_requests.empty());
}

TEST_F(ExitGuardTest, EverythingElseReachesTheWrappedSystem) {
    SimClock clock;
    SimSystemApi inner(machine_, clock);
    ExitGuardSystemApi guard(inner);
    SimPlatform sim(machine_, 1.0, &guard);
    SystemApi& api = sim.platform().system;

    EXPECT_EQ(api.IsWow64Process(), Wow64::Yes);
    EXPECT_FALSE(api.Is64BitProcess());
    EXPECT_EQ(api.SystemDirectory(), inner.SystemDirectory());

    const std::string fw = api.SystemDirectory() + "\\FW.bin";
    ASSERT_TRUE(api.WriteFile(fw, {1, 2, 3}));
    EXPECT_TRUE(fs::exists(inner.HostPath(fw)));
    EXPECT_EQ(api.ReadFile(fw), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_TRUE(api.RemoveFile(fw));
    EXPECT_FALSE(fs::exists(inner.HostPath(fw)));

    const char* sm = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    std::vector<uint8_t> boot = {'a', 0, 'b', 0, 0};
    EXPECT_EQ(api.RegSetMultiSz(sm, "BootExecute", boot), RegWrite::Ok);
    ASSERT_TRUE(inner.RegValue(sm, "BootExecute"));
    EXPECT_EQ(inner.RegValue(sm, "BootExecute")->bytes, boot);
    EXPECT_FALSE(sim.system().RegValue(sm, "BootExecute")->bytes == boot) << "the machine's own system was written";
    std::vector<uint8_t> read;
    EXPECT_EQ(api.RegQueryMultiSz(sm, "BootExecute", read), RegRead::Ok);
    EXPECT_EQ(read, boot);
    EXPECT_EQ(api.RegDeleteValue(sm, "BootExecute"), RegWrite::Ok);
    EXPECT_FALSE(inner.RegValue(sm, "BootExecute"));

    EXPECT_TRUE(api.StartHidden("cmd.exe", "/c C:\\Windows\\SysWOW64\\CopyFile.exe"));
    ASSERT_EQ(inner.started.size(), 1u);
    EXPECT_EQ(inner.started[0].parameters, "/c C:\\Windows\\SysWOW64\\CopyFile.exe");
    EXPECT_TRUE(api.EnableShutdownPrivilege());
    EXPECT_EQ(inner.shutdown_privilege_enabled, 1);
    EXPECT_TRUE(sim.system().started.empty());
}

}  // namespace
}  // namespace orvane::platform::sim
