// The system calls the update leans on, run under Wine: the running version as the system records
// it, and the request that keeps the machine awake while a download runs.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

#include "platform/win32/win32_system_api.h"
#include "system/power_guard.h"

#include <windows.h>
#undef GetVersionEx

namespace orvane::platform::win32 {
namespace {

const char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

std::optional<DWORD> RegDword(const char* name) {
    DWORD value = 0, size = sizeof value;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, kCurrentVersionKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

std::optional<std::string> RegText(const char* name) {
    char buf[64] = {};
    DWORD size = sizeof buf;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, kCurrentVersionKey, name, RRF_RT_REG_SZ, nullptr, buf, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return std::string(buf);
}

// What the system records for itself: Windows 10 and later keep the major and minor numbers as
// numbers (their "CurrentVersion" text stays "6.3"); older systems only have the text.
struct RecordedVersion {
    DWORD major = 0, minor = 0, build = 0;
};

bool ReadRecordedVersion(RecordedVersion& v) {
    auto major = RegDword("CurrentMajorVersionNumber");
    auto minor = RegDword("CurrentMinorVersionNumber");
    if (major && minor) {
        v.major = *major;
        v.minor = *minor;
    } else {
        auto text = RegText("CurrentVersion");
        if (!text || std::sscanf(text->c_str(), "%lu.%lu", &v.major, &v.minor) != 2) return false;
    }
    auto build = RegText("CurrentBuildNumber");
    if (!build) return false;
    v.build = static_cast<DWORD>(std::stoul(*build));
    return true;
}

TEST(Win32SystemApi, TrueVersionIsTheOneTheSystemRecords) {
    RecordedVersion recorded;
    ASSERT_TRUE(ReadRecordedVersion(recorded)) << "no version under HKLM\\" << kCurrentVersionKey;
    Win32SystemApi api;
    OsVersion truth, reported;
    ASSERT_TRUE(api.GetTrueVersion(truth));
    ASSERT_TRUE(api.GetVersionEx(reported));
    EXPECT_EQ(truth.dwMajorVersion, recorded.major);
    EXPECT_EQ(truth.dwMinorVersion, recorded.minor);
    EXPECT_EQ(truth.dwBuildNumber, recorded.build);
    EXPECT_EQ(truth.dwPlatformId, kPlatformNT);
    EXPECT_EQ(truth.wProductType, reported.wProductType);
    // GetVersionExA may understate the version for a program without the newer systems in its
    // manifest (this test program has none), never overstate it.
    EXPECT_GE(truth.dwMajorVersion * 100 + truth.dwMinorVersion, reported.dwMajorVersion * 100 + reported.dwMinorVersion);
    RecordProperty("true_version", std::to_string(truth.dwMajorVersion) + "." + std::to_string(truth.dwMinorVersion) +
                                       "." + std::to_string(truth.dwBuildNumber));
    RecordProperty("reported_version",
                   std::to_string(reported.dwMajorVersion) + "." + std::to_string(reported.dwMinorVersion));
}

// SetThreadExecutionState answers with the state it replaces: asking again for what should be
// held reads the state back without changing it.
TEST(Win32SystemApi, KeepAwakeHoldsTheSystemAwakeUntilReleased) {
    Win32SystemApi api;
    const EXECUTION_STATE held = ES_CONTINUOUS | ES_SYSTEM_REQUIRED;
    struct Step {
        const char* name;
        bool on;
        EXECUTION_STATE expect;
    } steps[] = {
        {"on", true, held},
        {"on again", true, held},
        {"off", false, ES_CONTINUOUS},
        {"off again", false, ES_CONTINUOUS},
        {"on after off", true, held},
        {"off at the end", false, ES_CONTINUOUS},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        api.KeepAwake(s.on);
        EXECUTION_STATE now = SetThreadExecutionState(s.expect);
        EXPECT_EQ(now, s.expect);
    }
}

// The power record is the system's own, field for field, and the guard reads it as the update
// would: a machine without a system battery (Wine's on a host without one) is never refused.
TEST(Win32SystemApi, PowerStatusIsTheSystems) {
    static_assert(sizeof(SYSTEM_POWER_STATUS) == 12, "the record's published size");
    Win32SystemApi api;
    SYSTEM_POWER_STATUS direct{};
    ASSERT_TRUE(::GetSystemPowerStatus(&direct));
    const std::optional<PowerStatus> ours = api.GetPowerStatus();
    ASSERT_TRUE(ours.has_value());
    EXPECT_EQ(ours->ac_line, direct.ACLineStatus);
    EXPECT_EQ(ours->battery_flag, direct.BatteryFlag);
    EXPECT_EQ(ours->battery_percent, direct.BatteryLifePercent);
    const bool known_ac = direct.ACLineStatus == 0 || direct.ACLineStatus == 1 || direct.ACLineStatus == 255;
    EXPECT_TRUE(known_ac) << "ACLineStatus " << int(direct.ACLineStatus);
    EXPECT_TRUE(direct.BatteryLifePercent <= 100 || direct.BatteryLifePercent == 255);
    std::printf("power: AC=%u FLAG=%u PERCENT=%u\n", direct.ACLineStatus, direct.BatteryFlag, direct.BatteryLifePercent);
    if (direct.BatteryFlag != 255 && (direct.BatteryFlag & 128)) {
        EXPECT_FALSE(system::JudgePower(ours).refused);
    }
}

}  // namespace
}  // namespace orvane::platform::win32
