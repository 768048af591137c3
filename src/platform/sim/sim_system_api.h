#pragma once
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/sim/sim_clock.h"
#include "platform/sim/sim_machine.h"
#include "platform/system_api.h"

namespace orvane::platform::sim {

// The strings of a REG_MULTI_SZ value, up to the empty one that ends the list.
std::vector<std::string> MultiSzStrings(const std::vector<uint8_t>& bytes);
// The bytes a REG_MULTI_SZ value stores for these strings: each with its NUL, then a NUL.
std::vector<uint8_t> MultiSzBytes(const std::vector<std::string>& strings);

// SystemApi answered from the machine description. Files are real files in host folders
// (backslashes in paths become '/'); registry, services and mutexes live in memory;
// restart and shutdown are only recorded.
class SimSystemApi : public SystemApi {
public:
    SimSystemApi(const SimMachine& machine, SimClock& clock);

    bool GetVersionEx(OsVersion& out) override;
    bool GetVersionBasic(OsVersion& out) override;
    uint16_t ProcessorArchitecture() override;
    bool IsServerR2() override;
    Wow64 IsWow64Process() override;
    AdminCheck CheckAdministrators() override;

    std::string TempPath() override;
    std::string SystemDirectory() override;
    std::string WindowsDirectory() override;

    bool AppendText(const std::string& path, const std::string& text) override;
    bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) override;
    std::optional<std::vector<uint8_t>> ReadFile(const std::string& path) override;

    bool RegKeyExists(const std::string& path) override;
    std::optional<std::string> RegQueryString(const std::string& path, const std::string& name,
                                              size_t max_bytes) override;
    RegWrite RegSetMultiSz(const std::string& path, const std::string& name,
                           const std::vector<uint8_t>& bytes) override;
    RegRead RegQueryMultiSz(const std::string& path, const std::string& name, std::vector<uint8_t>& out) override;
    RegWrite RegDeleteValue(const std::string& path, const std::string& name) override;
    bool RemoveFile(const std::string& path) override;
    bool ReplaceFile(const std::string& from, const std::string& to) override;
    // Recorded, not run: the machine has no programs to run.
    bool StartHidden(const std::string& program, const std::string& parameters) override;
    bool EnableShutdownPrivilege() override;
    // The simulated process: 64-bit on 64-bit Windows unless it runs under WOW64.
    bool Is64BitProcess() override;

    std::unique_ptr<ServiceHandle> OpenService(const std::string& name, uint32_t access) override;

    ExitResult ForcedExit(ExitKind kind) override;
    bool ExitWindowsForced(ExitKind kind) override;

    bool MutexExists(const std::string& name) override;
    bool CreateMutex(const std::string& name) override;

    std::string ModuleFileName() override;
    // The machine's start time (2026-01-05 09:30:00) plus its clock's simulated seconds.
    LocalTime LocalTimeNow() override;
    // The machine's version as described: the simulated program sees its true version.
    bool GetTrueVersion(OsVersion& out) override;
    void KeepAwake(bool on) override;
    // "C:\\ProgramData" (on the system drive), mapped onto program_data_dir.
    std::string ProgramDataDirectory() override;
    // Makes the host folder; the permissions are only recorded (protected_dirs, lower case).
    bool MakeProtectedDirectory(const std::string& path) override;
    std::string ComputerName() override;
    int UtcOffsetMinutes() override;
    std::optional<double> SecondsSinceSystemStart() override;
    std::optional<PowerStatus> GetPowerStatus() override { return system_.power; }
    std::set<std::string> protected_dirs;
    // The machine restarts: it is down this long, then Windows runs this long before the program.
    void Restart(double down_seconds = 60, double boot_seconds = 30);
    // "local_time" and "uptime_seconds" as they stand, for a saved machine.
    nlohmann::json ClockJson();
    // Each KeepAwake call in turn, and whether the machine is kept awake now.
    std::vector<bool> keep_awake_calls;
    bool kept_awake() const { return !keep_awake_calls.empty() && keep_awake_calls.back(); }

    // What a test looks at afterwards.
    struct Started {
        std::string program, parameters;
    };
    std::vector<Started> started;
    int shutdown_privilege_enabled = 0;
    // The registry as it stands (keys by id), for a saved machine.
    std::map<std::string, SimRegKey> Registry() const;
    // The same in the machine file's form (REG_SZ as a string, REG_MULTI_SZ as an array).
    nlohmann::json RegistryJson() const;
    std::vector<ExitKind> exit_requests;  // both routes, in order
    std::vector<bool> exit_direct;        // parallel: true for the 9x route
    // Called at each forced restart or shutdown, the moment a real machine would end the program.
    std::function<void(ExitKind)> on_forced_exit;
    std::optional<SimRegValue> RegValue(const std::string& path, const std::string& name) const;
    uint32_t ServiceState(const std::string& name) const;
    int OpenServiceHandles() const;
    // The host file a Windows path names: the system and Windows directories map onto their
    // host folders; a WOW64 process's system directory is the Windows directory's SysWOW64.
    std::string HostPath(const std::string& windows_path) const;
    bool Unwritable(const std::string& path) const;
    // The machine's facts with the host folders in effect (the defaults filled in).
    const SimSystem& facts() const { return system_; }

private:
    friend class SimServiceHandle;
    struct ServiceRun {
        SimService config;
        uint32_t state = kServiceStopped;  // settled state
        uint32_t target = 0;               // 0: nothing pending
        double until = 0;                  // simulated time the pending change completes
    };
    uint32_t Settle(ServiceRun& s);

    SimSystem system_;
    SimClock& clock_;
    mutable std::mutex mutex_;  // the worker thread and the window thread both call in
    std::map<std::string, SimRegKey> registry_;
    std::map<std::string, ServiceRun> services_;
    double start_shift_ = 0;   // seconds the clock moved on at restarts
    double uptime_shift_ = 0;
    std::set<std::string> mutexes_;
    int open_services_ = 0;
};

}  // namespace orvane::platform::sim
