#include "platform/sim/sim_system_api.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/sim/sim_platform.h"
#include "system/admin.h"
#include "system/os_info.h"
#include "system/os_version.h"
#include "system/services.h"

namespace orvane::platform::sim {
namespace {

namespace fs = std::filesystem;

// A machine whose folders live in a fresh folder of this test's own.
class SimSystemApiTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = fs::temp_directory_path() / (std::string("orvane-sim-test-") + info->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }

    SimMachine Load(const std::string& system_fields) {
        std::string text = R"({"system": {"temp_dir": )" + Quoted(root_.string()) + system_fields + "}}";
        SimMachine m;
        std::string error;
        EXPECT_TRUE(LoadMachine(text, m, error)) << error;
        return m;
    }
    static std::string Quoted(const std::string& s) { return nlohmann::json(s).dump(); }

    fs::path root_;
};

TEST_F(SimSystemApiTest, FoldersDefaultUnderTheTemporaryFolder) {
    SimMachine m = Load("");
    SimClock clock;
    SimSystemApi api(m, clock);
    std::string temp = api.TempPath();
    ASSERT_FALSE(temp.empty());
    EXPECT_TRUE(temp.back() == '/' || temp.back() == '\\');
    EXPECT_EQ(fs::path(temp), fs::path(root_.string() + temp.back()));
    EXPECT_EQ(api.SystemDirectory(), "C:\\Windows\\System32");
    EXPECT_EQ(api.WindowsDirectory(), "C:\\Windows");
    EXPECT_TRUE(fs::is_directory(api.HostPath(api.SystemDirectory())));
    EXPECT_TRUE(fs::is_directory(api.HostPath(api.WindowsDirectory())));
    EXPECT_EQ(api.HostPath(api.SystemDirectory()).rfind(temp, 0), 0u);
    // x64 Windows has SysWOW64; the program writes the copy program there.
    EXPECT_TRUE(fs::is_directory(api.HostPath(api.WindowsDirectory() + "\\SysWOW64")));
    // A name that only begins like the system directory is not inside it.
    // (Compared as paths: a Windows build's host paths use backslashes.)
    EXPECT_EQ(fs::path(api.HostPath("c:\\windows\\system32x\\a")),
              fs::path(api.HostPath(api.WindowsDirectory())) / "system32x" / "a");
}

TEST_F(SimSystemApiTest, FilesAreRealAndTakeWindowsPaths) {
    SimMachine m = Load("");
    SimClock clock;
    SimSystemApi api(m, clock);
    std::string log = api.TempPath() + "ORVANE_DEBUG.txt";
    EXPECT_TRUE(api.AppendText(log, "first\n"));
    EXPECT_TRUE(api.AppendText(log, "second\n"));
    auto bytes = api.ReadFile(log);
    ASSERT_TRUE(bytes);
#ifdef _WIN32
    EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "first\r\nsecond\r\n");  // the C runtime's text mode
#else
    EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "first\nsecond\n");
#endif

    std::string fw = api.SystemDirectory() + "\\FW.bin";
    EXPECT_TRUE(api.WriteFile(fw, {1, 2, 3}));
    EXPECT_TRUE(api.WriteFile(fw, {4, 5}));  // replaced, not appended
    EXPECT_TRUE(fs::exists(fs::path(api.HostPath(api.SystemDirectory())) / "FW.bin"));
    EXPECT_EQ(api.ReadFile(fw), (std::vector<uint8_t>{4, 5}));
    EXPECT_FALSE(api.ReadFile(api.SystemDirectory() + "\\missing.bin"));
    EXPECT_FALSE(api.WriteFile(api.SystemDirectory() + "\\no-such-folder\\x.bin", {1}));
}

TEST_F(SimSystemApiTest, Registry) {
    SimMachine m = Load(R"(, "registry": {
        "SYSTEM\\CurrentControlSet\\Control\\Session Manager": {"BootExecute": ["autocheck autochk *"]},
        "SOFTWARE\\Orvane\\Deep\\Key": {"Name": "Value"}})");
    SimClock clock;
    SimSystemApi api(m, clock);
    const struct {
        const char* path;
        bool exists;
    } keys[] = {
        {"SOFTWARE", true},  // a parent of a described key
        {"\\software\\orvane", true},
        {"SOFTWARE\\Orvane\\Deep\\Key", true},
        {"SOFTWARE\\Orv", false},
        {"SOFTWARE\\Orvane\\Deep\\Key\\Below", false},
        {"SYSTEM\\CurrentControlSet\\Control\\MiniNT", false},
    };
    for (const auto& k : keys) EXPECT_EQ(api.RegKeyExists(k.path), k.exists) << k.path;

    EXPECT_EQ(api.RegQueryString("software\\orvane\\deep\\key", "NAME", 80), "Value");
    EXPECT_FALSE(api.RegQueryString("SOFTWARE\\Orvane\\Deep\\Key", "Name", 5));  // 6 bytes with the NUL
    EXPECT_EQ(api.RegQueryString("SOFTWARE\\Orvane\\Deep\\Key", "Name", 6), "Value");
    EXPECT_FALSE(api.RegQueryString("SOFTWARE\\Orvane\\Deep\\Key", "Other", 80));

    const char* sm = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    std::vector<uint8_t> boot = {'a', 0, 'b', ' ', 'c', 0};  // stored exactly as given
    EXPECT_EQ(api.RegSetMultiSz(sm, "BootExecute", boot), RegWrite::Ok);
    auto v = api.RegValue(sm, "bootexecute");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->type, SimRegValue::kMultiSz);
    EXPECT_EQ(v->bytes, boot);
    EXPECT_EQ(api.RegSetMultiSz("SYSTEM\\NoSuchKey", "BootExecute", boot), RegWrite::OpenFailed);

    SimMachine ro = Load(R"(, "registry_write_fails": true)");
    SimSystemApi api2(ro, clock);
    EXPECT_EQ(api2.RegSetMultiSz(sm, "BootExecute", boot), RegWrite::WriteFailed);
    EXPECT_EQ(api2.RegValue(sm, "BootExecute")->bytes,
              (std::vector<uint8_t>{'a', 'u', 't', 'o', 'c', 'h', 'e', 'c', 'k', ' ', 'a', 'u', 't', 'o', 'c', 'h', 'k',
                                    ' ', '*', 0, 0}));
}

TEST_F(SimSystemApiTest, VersionQueries) {
    SimMachine m = Load(R"(, "version": {"dwMajorVersion": 5, "dwMinorVersion": 1, "szCSDVersion": "Service Pack 3",
        "wServicePackMajor": 3, "wSuiteMask": 512, "wProductType": 1}, "architecture": "x86")");
    SimClock clock;
    SimSystemApi api(m, clock);
    OsVersion ex, basic;
    ASSERT_TRUE(api.GetVersionEx(ex));
    ASSERT_TRUE(api.GetVersionBasic(basic));
    EXPECT_EQ(ex.wProductType, 1);
    EXPECT_EQ(basic.szCSDVersion, "Service Pack 3");
    EXPECT_EQ(basic.wServicePackMajor, 0);  // OSVERSIONINFOA has none of these
    EXPECT_EQ(basic.wSuiteMask, 0);
    EXPECT_EQ(basic.wProductType, 0);
    EXPECT_EQ(system::OSVersionCode(api), 0x07023000u);  // XP Home SP3

    SimMachine fails = Load(R"(, "extended_query_fails": true, "basic_query_fails": true)");
    SimSystemApi api2(fails, clock);
    EXPECT_FALSE(api2.GetVersionEx(ex));
    EXPECT_FALSE(api2.GetVersionBasic(basic));
    EXPECT_EQ(system::OSVersionCode(api2), 0u);
}

TEST_F(SimSystemApiTest, TheBuiltInMachineAnswers) {
    SimMachine m;
    std::string error;
    ASSERT_TRUE(LoadMachine(DefaultMachineJson(), m, error));
    m.system.temp_dir = root_.string();
    SimPlatform sim(m, 1000);
    SystemApi& api = sim.platform().system;
    EXPECT_TRUE(system::IsAdmin(api));
    EXPECT_FALSE(system::IsWow64(api));
    EXPECT_EQ(system::OSVersionCode(api), 0x00000000u);  // 10.0 (family 0) on AMD64: no edition bits
    EXPECT_FALSE(system::IsPreinstallEnvironment(api));
    EXPECT_FALSE(system::IsServiceRunning(api, "Winmgmt"));
    system::OSInfo info(api);
    EXPECT_EQ(info.bIsNT, 1);
    EXPECT_EQ(info.bIsNT4, 0);
}

TEST_F(SimSystemApiTest, ServicesChangeStateInSimulatedTime) {
    SimMachine m = Load(R"(, "services": {
        "Winmgmt": {"state": "stopped", "start_seconds": 3},
        "Stuck": {"state": "stopped", "start_seconds": "never"},
        "Off": {"state": "stopped", "start_type": "disabled"},
        "Busy": {"state": "running", "stop_seconds": 1.5, "wait_hint_ms": 300}})");
    SimPlatform sim(m, SimClock::kStopped);  // the polls' waits move the clock, real time does not
    auto& p = sim.platform();
    double t0 = sim.clock().Now();
    EXPECT_TRUE(system::SetServiceState(p.system, p.clock, &p.pump, "Winmgmt", true, 20));
    double took = sim.clock().Now() - t0;
    // Seen running at the first half-second poll after its start, well before the 20 s budget.
    EXPECT_GE(took, 3.0);
    EXPECT_LE(took, 3.5 + 1e-6);
    EXPECT_TRUE(system::IsServiceRunning(p.system, "winmgmt"));  // names without case

    EXPECT_FALSE(system::SetServiceState(p.system, p.clock, &p.pump, "Off", true, 20));
    EXPECT_EQ(sim.system().ServiceState("Off"), kServiceStopped);
    EXPECT_FALSE(system::SetServiceState(p.system, p.clock, &p.pump, "Stuck", true, 1));
    EXPECT_EQ(sim.system().ServiceState("Stuck"), kServiceStartPending);
    EXPECT_TRUE(system::SetServiceState(p.system, p.clock, &p.pump, "Busy", false, 5));
    EXPECT_EQ(sim.system().ServiceState("Busy"), kServiceStopped);
    EXPECT_FALSE(system::SetServiceState(p.system, p.clock, &p.pump, "NoSuch", true, 5));
    EXPECT_EQ(sim.system().OpenServiceHandles(), 0);
}

TEST_F(SimSystemApiTest, ServiceAccessRightsAreEnforced) {
    SimMachine m = Load(R"(, "services": {"W": {"state": "stopped", "start_seconds": 0}})");
    SimClock clock;
    SimSystemApi api(m, clock);
    auto query_only = api.OpenService("W", kServiceQuery);
    ASSERT_TRUE(query_only);
    EXPECT_FALSE(query_only->Start());
    auto start_only = api.OpenService("W", kServiceStart);
    ServiceStatus st;
    EXPECT_FALSE(start_only->Query(st));
    EXPECT_TRUE(start_only->Start());
    EXPECT_TRUE(query_only->Query(st));
    EXPECT_EQ(st.dwCurrentState, kServiceRunning);
    EXPECT_EQ(api.OpenServiceHandles(), 2);
    query_only.reset();
    start_only.reset();
    EXPECT_EQ(api.OpenServiceHandles(), 0);
}

TEST_F(SimSystemApiTest, MutexesAndOtherInstances) {
    SimMachine m = Load(R"(, "instances_running": ["Orvane"])");
    SimClock clock;
    SimSystemApi api(m, clock);
    EXPECT_TRUE(api.MutexExists("Orvane"));
    EXPECT_FALSE(api.MutexExists("Other"));
    EXPECT_TRUE(api.CreateMutex("Other"));
    EXPECT_TRUE(api.MutexExists("Other"));
}

TEST_F(SimSystemApiTest, ExitRequestsAreOnlyRecorded) {
    const struct {
        const char* result;
        ExitResult forced;
        bool direct;
    } rows[] = {
        {"done", ExitResult::Done, true},
        {"token_failed", ExitResult::TokenFailed, true},
        {"exit_failed", ExitResult::ExitFailed, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.result);
        SimMachine m = Load(std::string(R"(, "forced_exit": ")") + r.result + "\"");
        SimClock clock;
        SimSystemApi api(m, clock);
        EXPECT_EQ(api.ForcedExit(ExitKind::Reboot), r.forced);
        EXPECT_EQ(api.ExitWindowsForced(ExitKind::Shutdown), r.direct);
        EXPECT_EQ(api.exit_requests, (std::vector<ExitKind>{ExitKind::Reboot, ExitKind::Shutdown}));
        EXPECT_EQ(api.exit_direct, (std::vector<bool>{false, true}));
    }
}

TEST_F(SimSystemApiTest, ModuleFileName) {
    SimMachine m = Load("");
    SimClock clock;
    SimSystemApi api(m, clock);
    std::string self = api.ModuleFileName();
    ASSERT_FALSE(self.empty());
    EXPECT_TRUE(fs::exists(self)) << self;
    SimMachine named = Load(R"(, "module_file": "C:\\Tools\\Orvane.exe")");
    SimSystemApi api2(named, clock);
    EXPECT_EQ(api2.ModuleFileName(), "C:\\Tools\\Orvane.exe");
}

TEST_F(SimSystemApiTest, Wow64SeesTheSystemDirectoryInSysWow64) {
    const struct {
        const char* name;
        const char* fields;
        bool lands_in_syswow64;
        bool process64;
    } rows[] = {
        {"x86 program on x64 Windows", R"(, "architecture": "amd64", "wow64": "yes")", true, false},
        {"x64 program", R"(, "architecture": "amd64", "wow64": "no")", false, true},
        {"x86 Windows", R"(, "architecture": "x86", "wow64": "no")", false, false},
        {"x86 Windows without IsWow64Process", R"(, "architecture": "x86", "wow64": "missing")", false, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        fs::remove_all(root_ / "sys");
        fs::remove_all(root_ / "win");
        SimMachine m = Load(std::string(R"(, "system_dir": )") + Quoted((root_ / "sys").string()) +
                            R"(, "windows_dir": )" + Quoted((root_ / "win").string()) + r.fields);
        SimClock clock;
        SimSystemApi api(m, clock);
        EXPECT_EQ(api.Is64BitProcess(), r.process64);
        EXPECT_EQ(api.SystemDirectory(), "C:\\Windows\\System32");  // the program's name for it is the same
        const std::string fw = "c:\\windows\\SYSTEM32\\FW.bin";
        ASSERT_TRUE(api.WriteFile(fw, {1, 2}));
        EXPECT_EQ(fs::exists(root_ / "win" / "SysWOW64" / "FW.bin"), r.lands_in_syswow64);
        EXPECT_EQ(fs::exists(root_ / "sys" / "FW.bin"), !r.lands_in_syswow64);
        EXPECT_EQ(api.ReadFile(fw), (std::vector<uint8_t>{1, 2}));
        // The Windows directory itself is not redirected.
        ASSERT_TRUE(api.WriteFile("C:\\Windows\\x.txt", {3}));
        EXPECT_TRUE(fs::exists(root_ / "win" / "x.txt"));
        EXPECT_TRUE(api.RemoveFile(fw));
        EXPECT_FALSE(api.ReadFile(fw));
        EXPECT_TRUE(api.RemoveFile(fw));  // already gone is no failure
    }
}

TEST_F(SimSystemApiTest, UnwritableFilesAndStarts) {
    SimMachine m = Load(R"(, "unwritable_files": ["Ostrel.exe"], "start_fails": false)");
    SimClock clock;
    SimSystemApi api(m, clock);
    EXPECT_FALSE(api.WriteFile(api.SystemDirectory() + "\\OSTREL.EXE", {1}));
    EXPECT_FALSE(api.WriteFile(api.TempPath() + "ostrel.exe", {1}));  // any folder
    EXPECT_FALSE(fs::exists(fs::path(api.HostPath(api.SystemDirectory())) / "OSTREL.EXE"));
    EXPECT_TRUE(api.WriteFile(api.SystemDirectory() + "\\FW.bin", {1}));
    EXPECT_TRUE(api.WriteFile(api.SystemDirectory() + "\\Ostrel.exe.bak", {1}));

    EXPECT_TRUE(api.StartHidden("cmd.exe", "/c copy a b"));
    EXPECT_TRUE(api.StartHidden("other.exe", ""));
    ASSERT_EQ(api.started.size(), 2u);
    EXPECT_EQ(api.started[0].program, "cmd.exe");
    EXPECT_EQ(api.started[0].parameters, "/c copy a b");
    EXPECT_EQ(api.started[1].program, "other.exe");

    SimMachine fails = Load(R"(, "start_fails": true)");
    SimSystemApi api2(fails, clock);
    EXPECT_FALSE(api2.StartHidden("cmd.exe", "/c x"));
    EXPECT_TRUE(api2.started.empty());
}

TEST_F(SimSystemApiTest, ShutdownPrivilege) {
    const struct {
        const char* forced_exit;
        bool granted;
    } rows[] = {{"done", true}, {"exit_failed", true}, {"token_failed", false}, {"privilege_failed", false}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.forced_exit);
        SimMachine m = Load(std::string(R"(, "forced_exit": ")") + r.forced_exit + "\"");
        SimClock clock;
        SimSystemApi api(m, clock);
        EXPECT_EQ(api.EnableShutdownPrivilege(), r.granted);
        EXPECT_EQ(api.shutdown_privilege_enabled, 1);
        EXPECT_TRUE(api.exit_requests.empty());  // asking for the privilege restarts nothing
    }
}

TEST_F(SimSystemApiTest, MultiStringReadAndValueDelete) {
    SimMachine m = Load(R"(, "registry": {
        "SYSTEM\\CurrentControlSet\\Control\\Session Manager": {"BootExecute": ["autocheck autochk *", "vendtool"],
                                                               "Text": "one"},
        "SYSTEM\\CurrentControlSet\\Control\\Other\\Below": {"V": "x"}})");
    SimClock clock;
    SimSystemApi api(m, clock);
    const char* sm = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    const char* parent = "SYSTEM\\CurrentControlSet\\Control\\Other";  // exists: a key below it is described
    ASSERT_TRUE(api.RegKeyExists(parent));

    const std::string list("autocheck autochk *\0vendtool\0\0", 30);
    const struct {
        const char* path;
        const char* name;
        RegRead result;
        std::string bytes;
    } reads[] = {
        {sm, "BootExecute", RegRead::Ok, list},
        {"system\\currentcontrolset\\control\\session manager", "BOOTEXECUTE", RegRead::Ok, list},
        {sm, "Text", RegRead::WrongType, ""},
        {sm, "Missing", RegRead::ValueMissing, ""},
        {parent, "BootExecute", RegRead::ValueMissing, ""},
        {"SYSTEM\\NoSuchKey", "BootExecute", RegRead::KeyMissing, ""},
    };
    for (const auto& r : reads) {
        SCOPED_TRACE(std::string(r.path) + "|" + r.name);
        std::vector<uint8_t> out = {9, 9};
        EXPECT_EQ(api.RegQueryMultiSz(r.path, r.name, out), r.result);
        EXPECT_EQ(std::string(out.begin(), out.end()), r.bytes);
    }

    // Bytes come back exactly as stored, malformed ones too.
    const std::vector<uint8_t> odd = {'a', 0, 'b'};
    ASSERT_EQ(api.RegSetMultiSz(sm, "BootExecute", odd), RegWrite::Ok);
    std::vector<uint8_t> out;
    EXPECT_EQ(api.RegQueryMultiSz(sm, "BootExecute", out), RegRead::Ok);
    EXPECT_EQ(out, odd);

    EXPECT_EQ(api.RegDeleteValue(sm, "bootexecute"), RegWrite::Ok);
    EXPECT_EQ(api.RegQueryMultiSz(sm, "BootExecute", out), RegRead::ValueMissing);
    EXPECT_FALSE(api.RegValue(sm, "BootExecute"));
    EXPECT_TRUE(api.RegValue(sm, "Text"));  // only the one value
    EXPECT_EQ(api.RegDeleteValue(sm, "BootExecute"), RegWrite::Ok);  // not there: still Ok
    EXPECT_EQ(api.RegDeleteValue(parent, "V"), RegWrite::Ok);
    EXPECT_EQ(api.RegDeleteValue("SYSTEM\\NoSuchKey", "V"), RegWrite::OpenFailed);

    SimMachine ro = Load(R"(, "registry_write_fails": true)");
    SimSystemApi api2(ro, clock);
    EXPECT_EQ(api2.RegDeleteValue(sm, "BootExecute"), RegWrite::WriteFailed);
    EXPECT_EQ(api2.RegQueryMultiSz(sm, "BootExecute", out), RegRead::Ok);  // kept
}

}  // namespace
}  // namespace orvane::platform::sim
