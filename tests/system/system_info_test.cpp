#include <gtest/gtest.h>

#include "common/fake_system_api.h"
#include "system/admin.h"
#include "system/os_info.h"
#include "system/services.h"

namespace orvane::system {
namespace {

using platform::AdminCheck;
using platform::ExitKind;
using platform::ExitResult;
using platform::Wow64;
using test::FakeSystemApi;

TEST(IsAdmin, OnlyMembershipCounts) {
    const struct {
        AdminCheck check;
        bool expect;
    } rows[] = {
        {AdminCheck::Member, true},
        {AdminCheck::NotMember, false},
        {AdminCheck::ApiMissing, false},  // no CheckTokenMembership
        {AdminCheck::SidFailed, false},
        {AdminCheck::CallFailed, false},
    };
    for (const auto& r : rows) {
        FakeSystemApi api;
        api.admin = r.check;
        EXPECT_EQ(IsAdmin(api), r.expect) << static_cast<int>(r.check);
    }
}

TEST(IsWow64, OnlyA32BitProcessOn64BitWindows) {
    const struct {
        Wow64 answer;
        bool expect;
    } rows[] = {{Wow64::Yes, true}, {Wow64::No, false}, {Wow64::Missing, false}};
    for (const auto& r : rows) {
        FakeSystemApi api;
        api.wow64 = r.answer;
        EXPECT_EQ(IsWow64(api), r.expect) << static_cast<int>(r.answer);
    }
}

TEST(OSInfo, PlatformFlags) {
    const struct {
        const char* name;
        uint32_t platform, major;
        bool basic_ok;
        uint8_t nt, nt4;
    } rows[] = {
        {"NT 4", platform::kPlatformNT, 4, true, 1, 1},
        {"NT 3.51", platform::kPlatformNT, 3, true, 1, 0},
        {"10", platform::kPlatformNT, 10, true, 1, 0},
        {"98", platform::kPlatformWindows, 4, true, 0, 0},
        {"version unreadable", platform::kPlatformNT, 4, false, 0, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        FakeSystemApi api;
        api.ex_ok = false;  // the flags come from the basic record alone
        api.basic_ok = r.basic_ok;
        api.version.dwPlatformId = r.platform;
        api.version.dwMajorVersion = r.major;
        OSInfo info(api);
        EXPECT_EQ(info.bIsNT, r.nt);
        EXPECT_EQ(info.bIsNT4, r.nt4);
    }
}

TEST(OSInfo, ExitRoutes) {
    const struct {
        const char* name;
        uint32_t platform;
        ExitResult forced;
        bool direct_ok;
        bool reboot;
        bool expect;
        size_t forced_calls, direct_calls;
    } rows[] = {
        {"NT reboot", platform::kPlatformNT, ExitResult::Done, true, true, true, 1, 0},
        {"NT shutdown", platform::kPlatformNT, ExitResult::Done, true, false, true, 1, 0},
        {"NT token refused", platform::kPlatformNT, ExitResult::TokenFailed, true, true, false, 1, 0},
        {"NT privilege not granted", platform::kPlatformNT, ExitResult::PrivilegeFailed, true, true, false, 1, 0},
        {"NT exit refused", platform::kPlatformNT, ExitResult::ExitFailed, true, false, false, 1, 0},
        {"9x goes straight to the exit", platform::kPlatformWindows, ExitResult::TokenFailed, true, true, true, 0, 1},
        {"9x exit refused", platform::kPlatformWindows, ExitResult::Done, false, false, false, 0, 1},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        FakeSystemApi api;
        api.version.dwPlatformId = r.platform;
        api.version.dwMajorVersion = 4;
        api.exit_result = r.forced;
        api.direct_exit_result = r.direct_ok;
        OSInfo info(api);
        EXPECT_EQ(r.reboot ? info.Reboot() : info.Shutdown(), r.expect);
        ASSERT_EQ(api.forced_exits.size(), r.forced_calls);
        ASSERT_EQ(api.direct_exits.size(), r.direct_calls);
        auto kind = r.forced_calls ? api.forced_exits[0] : api.direct_exits[0];
        EXPECT_EQ(kind, r.reboot ? ExitKind::Reboot : ExitKind::Shutdown);
    }
}

TEST(SystemKeys, PreinstallEnvironmentIsTheMiniNTKey) {
    FakeSystemApi api;
    api.AddKey("SYSTEM\\CurrentControlSet\\Control\\Session Manager");
    EXPECT_FALSE(IsPreinstallEnvironment(api));
    api.AddKey("SYSTEM\\CurrentControlSet\\Control\\MiniNT");
    EXPECT_TRUE(IsPreinstallEnvironment(api));
    EXPECT_EQ(api.reg_reads.back(), "\\SYSTEM\\CurrentControlSet\\Control\\MiniNT");
}

}  // namespace
}  // namespace orvane::system
