#include "platform/sim/sim_machine.h"

#include <gtest/gtest.h>

#include <string>

namespace orvane::platform::sim {
namespace {

TEST(SimMachine, DefaultMachine) {
    SimMachine m;
    std::string error;
    ASSERT_TRUE(LoadMachine(DefaultMachineJson(), m, error)) << error;
    EXPECT_EQ(error, "");
    const SimSystem& s = m.system;
    EXPECT_EQ(s.version.dwMajorVersion, 10u);
    EXPECT_EQ(s.version.dwMinorVersion, 0u);
    EXPECT_EQ(s.version.dwBuildNumber, 19045u);
    EXPECT_EQ(s.version.dwPlatformId, kPlatformNT);
    EXPECT_EQ(s.version.wProductType, 1);
    EXPECT_EQ(s.version.wSuiteMask & 0x0200, 0);  // Pro, not Home
    EXPECT_EQ(s.architecture, kArchAMD64);
    EXPECT_EQ(s.wow64, Wow64::No);
    EXPECT_EQ(s.admin, AdminCheck::Member);
    EXPECT_TRUE(s.wmi);
    EXPECT_TRUE(s.performance_counter);
    ASSERT_EQ(s.services.count("winmgmt"), 1u);
    EXPECT_EQ(s.services.at("winmgmt").state, kServiceStopped);
    EXPECT_EQ(s.services.at("winmgmt").start_type, "demand");
    ASSERT_EQ(s.registry.count("system\\currentcontrolset\\control\\productoptions"), 1u);
    EXPECT_TRUE(s.instances_running.empty());
    EXPECT_TRUE(m.raw.is_object());
}

TEST(SimMachine, GivenFieldsOverrideTheDefaultsAndRawIsKept) {
    SimMachine m;
    std::string error;
    const char* text = R"({
        "comment": "a workstation without rights",
        "system": {"admin": "not_member", "version": {"dwMajorVersion": 6, "dwMinorVersion": 1},
                   "architecture": 0, "wow64": "yes",
                   "services": {"Spooler": {"state": "running", "stop_seconds": "never"}},
                   "instances_running": ["Orvane"]}
    })";
    ASSERT_TRUE(LoadMachine(text, m, error)) << error;
    EXPECT_EQ(m.system.admin, AdminCheck::NotMember);
    EXPECT_EQ(m.system.version.dwMajorVersion, 6u);
    EXPECT_EQ(m.system.version.dwMinorVersion, 1u);
    EXPECT_EQ(m.system.version.dwBuildNumber, 19045u);  // not given: the built-in machine's
    EXPECT_EQ(m.system.architecture, kArchIntel);
    EXPECT_EQ(m.system.wow64, Wow64::Yes);
    // A given services section replaces the built-in one.
    EXPECT_EQ(m.system.services.count("winmgmt"), 0u);
    ASSERT_EQ(m.system.services.count("spooler"), 1u);
    EXPECT_EQ(m.system.services.at("spooler").state, kServiceRunning);
    EXPECT_FALSE(m.system.services.at("spooler").stop_seconds.has_value());
    EXPECT_EQ(m.system.instances_running, std::vector<std::string>{"Orvane"});
    EXPECT_EQ(m.raw["comment"], "a workstation without rights");
    EXPECT_EQ(m.raw["system"]["admin"], "not_member");
}

TEST(SimMachine, RegistryValues) {
    SimMachine m;
    std::string error;
    ASSERT_TRUE(LoadMachine(R"({"system": {"registry": {
        "\\SOFTWARE\\Test\\": {"Name": "ab", "List": ["x", "yz"]}, "SOFTWARE\\Empty": {}}}})",
                            m, error))
        << error;
    ASSERT_EQ(m.system.registry.size(), 2u);
    const SimRegKey& k = m.system.registry.at("software\\test");
    EXPECT_EQ(k.values.at("Name").type, SimRegValue::kSz);
    EXPECT_EQ(k.values.at("Name").bytes, (std::vector<uint8_t>{'a', 'b', 0}));
    EXPECT_EQ(k.values.at("List").type, SimRegValue::kMultiSz);
    EXPECT_EQ(k.values.at("List").bytes, (std::vector<uint8_t>{'x', 0, 'y', 'z', 0, 0}));
    EXPECT_TRUE(m.system.registry.at("software\\empty").values.empty());
}

TEST(SimMachine, ErrorsNameTheField) {
    const struct {
        const char* json;
        const char* error_starts;
    } rows[] = {
        {"{", "not valid JSON"},
        {R"({"system": {"version": {"dwMajorVersion": 1e400}}})", "system.version.dwMajorVersion: the number 1e400 is out of range"},
        {R"({"disks": [{}, {"size": -1e999}]})", "disks[1].size: the number -1e999 is out of range"},
        {"[]", "(top level): expected an object"},
        {R"({"disk": []})", "disk: unknown field"},
        {R"({"system": 3})", "system: expected an object"},
        {R"({"system": {"admim": "member"}})", "system.admim: unknown field"},
        {R"({"system": {"version": {"dwMajorVersion": -1}}})", "system.version.dwMajorVersion: expected a whole number"},
        {R"({"system": {"version": {"dwMinorVersion": 1.5}}})", "system.version.dwMinorVersion: expected a whole number"},
        {R"({"system": {"version": {"wServicePackMajor": 65536}}})", "system.version.wServicePackMajor: expected a whole number from 0 to 65535"},
        {R"({"system": {"version": {"wProductType": 256}}})", "system.version.wProductType:"},
        {R"({"system": {"version": {"szCSDVersion": 5}}})", "system.version.szCSDVersion: expected a string"},
        {R"({"system": {"version": {"dwMajor": 5}}})", "system.version.dwMajor: unknown field"},
        {R"({"system": {"architecture": "arm"}})", "system.architecture: expected one of \"x86\", \"amd64\", \"ia64\""},
        {R"({"system": {"wow64": true}})", "system.wow64: expected one of"},
        {R"({"system": {"admin": "yes"}})", "system.admin: expected one of"},
        {R"({"system": {"forced_exit": "maybe"}})", "system.forced_exit: expected one of"},
        {R"({"system": {"server_r2": "no"}})", "system.server_r2: expected true or false"},
        {R"({"system": {"registry": {"SOFTWARE\\A": {"V": 1}}}})", "system.registry.SOFTWARE\\A.V: expected a string"},
        {R"({"system": {"registry": {"SOFTWARE\\A": {"V": ["a", 2]}}}})", "system.registry.SOFTWARE\\A.V[1]: expected a string"},
        {R"({"system": {"registry": {"SOFTWARE\\A": {}, "software\\a": {}}}})", "system.registry.software\\a: the same key twice"},
        {R"({"system": {"services": {"W": {"state": "started"}}}})", "system.services.W.state: expected one of"},
        {R"({"system": {"services": {"W": {"statee": "running"}}}})", "system.services.W.statee: unknown field"},
        {R"({"system": {"services": {"W": {"start_seconds": -1}}}})", "system.services.W.start_seconds: expected seconds"},
        {R"({"system": {"services": {"W": {"start_type": "manual"}}}})", "system.services.W.start_type: expected one of"},
        {R"({"system": {"instances_running": "Orvane"}})", "system.instances_running: expected an array"},
        {R"({"system": {"instances_running": [1]}})", "system.instances_running[0]: expected a string"},
        {R"({"system": {"system_dir": false}})", "system.system_dir: expected a string"},
        {R"({"system": {"unwritable_files": "FW.bin"}})", "system.unwritable_files: expected an array"},
        {R"({"system": {"unwritable_files": ["FW.bin", 1]}})", "system.unwritable_files[1]: expected a string"},
        {R"({"system": {"start_fails": "yes"}})", "system.start_fails: expected true or false"},
        {R"({"system": {"start_fail": true}})", "system.start_fail: unknown field"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.json);
        SimMachine m;
        m.system.admin = AdminCheck::SidFailed;  // must survive a failed load
        std::string error;
        EXPECT_FALSE(LoadMachine(r.json, m, error));
        EXPECT_EQ(error.rfind(r.error_starts, 0), 0u) << error;
        EXPECT_EQ(m.system.admin, AdminCheck::SidFailed);
    }
    // A CSD text must fit OSVERSIONINFOEXA's 128-byte field.
    SimMachine m;
    std::string error;
    std::string csd(128, 'x');
    EXPECT_FALSE(LoadMachine(R"({"system": {"version": {"szCSDVersion": ")" + csd + "\"}}}", m, error));
    EXPECT_EQ(error.rfind("system.version.szCSDVersion: longer than 127", 0), 0u) << error;
    EXPECT_TRUE(LoadMachine(R"({"system": {"version": {"szCSDVersion": ")" + csd.substr(1) + "\"}}}", m, error))
        << error;
}

}  // namespace
}  // namespace orvane::platform::sim
