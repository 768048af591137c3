// The real Win32 layer, run under Wine: what the system answers and how the waits behave.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_message_pump.h"
#include "platform/win32/win32_system_api.h"
#include "system/admin.h"
#include "system/hi_timer.h"
#include "system/os_info.h"
#include "system/os_version.h"
#include "system/services.h"

#include <windows.h>

#include "win32/process_times.h"
#undef GetVersionEx
#undef OpenService
#undef CreateMutex

namespace orvane::platform::win32 {
namespace {

std::string Unique(const char* stem) {
    return std::string(stem) + "-" + std::to_string(GetCurrentProcessId());
}

using test::ProcessCpuSeconds;

TEST(Win32SystemApi, VersionAndProcessor) {
    Win32SystemApi api;
    OsVersion ex, basic;
    ASSERT_TRUE(api.GetVersionEx(ex));
    ASSERT_TRUE(api.GetVersionBasic(basic));
    EXPECT_EQ(ex.dwPlatformId, kPlatformNT);
    EXPECT_GE(ex.dwMajorVersion, 5u);
    EXPECT_EQ(basic.dwMajorVersion, ex.dwMajorVersion);
    EXPECT_EQ(basic.dwBuildNumber, ex.dwBuildNumber);
    EXPECT_NE(ex.wProductType, 0);
    uint16_t arch = api.ProcessorArchitecture();
    EXPECT_TRUE(arch == kArchIntel || arch == kArchAMD64) << arch;

    uint32_t code = system::OSVersionCode(api);
    // Wine's default prefix reports Windows 7 SP1 workstation.
    if (ex.dwMajorVersion == 6 && ex.dwMinorVersion == 1 && ex.wProductType == 1) {
        EXPECT_EQ(system::OsFamilyOf(code), 0x0E);
        EXPECT_EQ(code & 0xF000, static_cast<uint32_t>(ex.wServicePackMajor) << 12);
    }
#ifdef _WIN64
    EXPECT_EQ(api.IsWow64Process(), Wow64::No);
#else
    // A 32-bit program on 64-bit Windows.
    if (arch == kArchAMD64) {
        EXPECT_TRUE(system::IsWow64(api));
    }
#endif
    system::OSInfo info(api);
    EXPECT_EQ(info.bIsNT, 1);
    EXPECT_EQ(info.bIsNT4, 0);
}

TEST(Win32SystemApi, AdministratorsUnderWine) {
    Win32SystemApi api;
    EXPECT_EQ(api.CheckAdministrators(), AdminCheck::Member);
    EXPECT_TRUE(system::IsAdmin(api));
}

TEST(Win32SystemApi, Folders) {
    Win32SystemApi api;
    std::string temp = api.TempPath();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), '\\');
    for (const std::string& dir : {temp, api.SystemDirectory(), api.WindowsDirectory()}) {
        DWORD attr = GetFileAttributesA(dir.c_str());
        EXPECT_TRUE(attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY)) << dir;
    }
    EXPECT_NE(api.SystemDirectory().back(), '\\');
    std::string self = api.ModuleFileName();
    EXPECT_NE(self.find("orvane_win32_tests"), std::string::npos) << self;
}

TEST(Win32SystemApi, AppendTextStoresCrLfAndFilesRoundTrip) {
    Win32SystemApi api;
    std::string log = api.TempPath() + Unique("orvane-append") + ".txt";
    DeleteFileA(log.c_str());
    EXPECT_TRUE(api.AppendText(log, "first\n"));
    EXPECT_TRUE(api.AppendText(log, "second\n"));
    auto bytes = api.ReadFile(log);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "first\r\nsecond\r\n");
    DeleteFileA(log.c_str());

    std::string bin = api.TempPath() + Unique("orvane-bin") + ".bin";
    std::vector<uint8_t> data = {'a', '\n', 0, 0xFF, '\r'};
    EXPECT_TRUE(api.WriteFile(bin, data));
    EXPECT_EQ(api.ReadFile(bin), data);
    DeleteFileA(bin.c_str());
    EXPECT_FALSE(api.ReadFile(bin));
}

// The window's thread and the update's worker append to one log at the same time; the C library
// appends by a seek to the end and a write, which two threads can interleave.
TEST(Win32SystemApi, AppendsFromTwoThreadsLoseNoLine) {
    Win32SystemApi api;
    const std::string log = api.TempPath() + Unique("orvane-append-threads") + ".txt";
    DeleteFileA(log.c_str());
    constexpr int kLines = 400;
    // Long lines: the longer a write takes, the likelier another lands in the middle of it.
    auto line = [](char who, int i) { return std::string(1, who) + std::to_string(i) + std::string(16384, '.'); };
    auto writer = [&](char who) {
        for (int i = 0; i < kLines; ++i) api.AppendText(log, line(who, i) + "\n");
    };
    std::thread a(writer, 'a'), b(writer, 'b');
    a.join();
    b.join();
    const auto bytes = api.ReadFile(log);
    ASSERT_TRUE(bytes);
    std::multiset<std::string> lines;
    std::istringstream in(std::string(bytes->begin(), bytes->end()));
    for (std::string l; std::getline(in, l);) lines.insert(l);
    std::multiset<std::string> expected;
    for (char who : {'a', 'b'})
        for (int i = 0; i < kLines; ++i) expected.insert(line(who, i) + "\r");
    EXPECT_EQ(lines.size(), expected.size());
    EXPECT_TRUE(lines == expected) << "a line is lost or mixed with another";
    DeleteFileA(log.c_str());
}

TEST(Win32SystemApi, Registry) {
    Win32SystemApi api;
    EXPECT_TRUE(api.RegKeyExists("SOFTWARE"));
    EXPECT_TRUE(api.RegKeyExists("\\SOFTWARE"));
    EXPECT_TRUE(api.RegKeyExists("SYSTEM\\CurrentControlSet\\Control\\Session Manager"));
    EXPECT_FALSE(api.RegKeyExists("SOFTWARE\\Orvane-No-Such-Key-7f3a"));
    EXPECT_FALSE(system::IsPreinstallEnvironment(api));

    auto pt = api.RegQueryString("SYSTEM\\CurrentControlSet\\Control\\ProductOptions", "ProductType", 80);
    ASSERT_TRUE(pt);
    EXPECT_FALSE(pt->empty());
    EXPECT_FALSE(api.RegQueryString("SYSTEM\\CurrentControlSet\\Control\\ProductOptions", "ProductType", 2));
    EXPECT_FALSE(api.RegQueryString("SYSTEM\\CurrentControlSet\\Control\\ProductOptions", "NoSuchValue", 80));

    std::vector<uint8_t> multi = {'a', 0, 'b', 'c', 0};
    EXPECT_EQ(api.RegSetMultiSz("SOFTWARE\\Orvane-No-Such-Key-7f3a", "V", multi), RegWrite::OpenFailed);

    // A scratch key of the test's own, to see the bytes land as given.
    std::string scratch = "SOFTWARE\\" + Unique("OrvaneTest");
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, scratch.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(k);
    EXPECT_EQ(api.RegSetMultiSz(scratch, "BootExecute", multi), RegWrite::Ok);
    BYTE got[64];
    DWORD size = sizeof got, type = 0;
    EXPECT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, scratch.c_str(), "BootExecute", RRF_RT_ANY | RRF_NOEXPAND, &type, got,
                           &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(std::vector<uint8_t>(got, got + size), multi);
    EXPECT_EQ(api.RegQueryString(scratch, "BootExecute", 64), "a");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, scratch.c_str());
    EXPECT_FALSE(api.RegKeyExists(scratch));
}

TEST(Win32SystemApi, Services) {
    Win32SystemApi api;
    auto svc = api.OpenService("Winmgmt", kServiceQuery);
    ASSERT_TRUE(svc);
    ServiceStatus st;
    ASSERT_TRUE(svc->Query(st));
    EXPECT_GE(st.dwCurrentState, kServiceStopped);
    EXPECT_LE(st.dwCurrentState, 7u);  // SERVICE_PAUSED
    EXPECT_EQ(system::IsServiceRunning(api, "Winmgmt"), st.dwCurrentState == kServiceRunning);
    EXPECT_FALSE(svc->Start()) << "opened for query only";
    EXPECT_FALSE(api.OpenService("Orvane-No-Such-Service", kServiceQuery));
    EXPECT_FALSE(system::IsServiceRunning(api, "Orvane-No-Such-Service"));
}

TEST(Win32SystemApi, MutexCreatedThenSeen) {
    std::string name = Unique("OrvaneTestMutex");
    {
        Win32SystemApi api;
        EXPECT_FALSE(api.MutexExists(name));
        EXPECT_TRUE(api.CreateMutex(name));
        EXPECT_TRUE(api.MutexExists(name));
        Win32SystemApi other;  // another object of the process sees it too
        EXPECT_TRUE(other.MutexExists(name));
    }
    // Its owner is gone: the name went with the last handle.
    Win32SystemApi api;
    EXPECT_FALSE(api.MutexExists(name));
}

TEST(Win32Clock, CounterAndTick) {
    Win32Clock clock;
    EXPECT_GT(clock.Frequency(), 0);
    int64_t c0 = clock.Counter();
    uint64_t t0 = clock.TickMs();
    Sleep(30);
    int64_t c1 = clock.Counter();
    double secs = static_cast<double>(c1 - c0) / static_cast<double>(clock.Frequency());
    EXPECT_GE(secs, 0.025);
    EXPECT_LT(secs, 1.0);
    // Wine's tick moves in steps of about 16 ms.
    EXPECT_GE(clock.TickMs() - t0, 10u);
    EXPECT_LT(clock.TickMs() - t0, 1000u);
}

TEST(Win32HiTimer, DelayIsAccurateAndSleeps) {
    Win32Clock clock;
    Win32MessagePump pump;
    system::HiTimer timer(clock, &pump);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        auto r0 = std::chrono::steady_clock::now();
        double cpu0 = ProcessCpuSeconds();
        timer.DelayMs(200);
        double cpu = ProcessCpuSeconds() - cpu0;
        double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - r0).count();
        EXPECT_GE(took, 0.200);
        EXPECT_LE(took, 0.260);
        EXPECT_LT(cpu, 0.040) << "the delay burned the processor";
        EXPECT_GE(timer.TotalSeconds(), 0.200);
        EXPECT_LE(timer.TotalSeconds(), took);
        RecordProperty("cpu_ms_round_" + std::to_string(round), static_cast<int>(cpu * 1000));
        RecordProperty("took_us_round_" + std::to_string(round), static_cast<int>(took * 1e6));
    }
}

TEST(Win32HiTimer, PostedWorkRunsOnThePumpThreadDuringADelay) {
    Win32Clock clock;
    Win32MessagePump pump;
    system::HiTimer timer(clock, &pump);
    DWORD ran_on = 0;
    double ran_at = -1;
    auto r0 = std::chrono::steady_clock::now();
    std::thread poster([&] {
        Sleep(50);
        pump.Post([&] {
            ran_on = GetCurrentThreadId();
            ran_at = std::chrono::duration<double>(std::chrono::steady_clock::now() - r0).count();
        });
    });
    timer.DelayMs(300);
    poster.join();
    EXPECT_EQ(ran_on, GetCurrentThreadId());
    EXPECT_GE(ran_at, 0.045);
    EXPECT_LT(ran_at, 0.150) << "the wait did not wake for the posted work";
}

TEST(Win32HiTimer, QuitLeavesWmQuitAndDelaysStillSleep) {
    Win32Clock clock;
    {
        Win32MessagePump pump;
        system::HiTimer timer(clock, &pump);
        std::thread([&] { pump.Quit(); }).join();  // from another thread
        EXPECT_TRUE(pump.Quitting());
        bool ran = false;
        pump.Post([&] { ran = true; });
        auto r0 = std::chrono::steady_clock::now();
        double cpu0 = ProcessCpuSeconds();
        timer.DelayMs(200);
        double cpu = ProcessCpuSeconds() - cpu0;
        double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - r0).count();
        EXPECT_TRUE(ran);
        EXPECT_GE(took, 0.200);
        EXPECT_LE(took, 0.260);
        EXPECT_LT(cpu, 0.040) << "a pending WM_QUIT made the delay spin";
    }
    // The outer loop still finds WM_QUIT; take it so later tests start with a clean queue.
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

}  // namespace
}  // namespace orvane::platform::win32
