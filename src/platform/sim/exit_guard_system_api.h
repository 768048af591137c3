#pragma once
#include <mutex>
#include <vector>

#include "platform/system_api.h"

namespace orvane::platform::sim {

// Another system layer (the real one, in a test run) with its forced restart and shutdown
// recorded instead of done: everything else goes through unchanged.
class ExitGuardSystemApi : public SystemApi {
public:
    explicit ExitGuardSystemApi(SystemApi& inner) : inner_(inner) {}

    bool GetVersionEx(OsVersion& out) override { return inner_.GetVersionEx(out); }
    bool GetVersionBasic(OsVersion& out) override { return inner_.GetVersionBasic(out); }
    uint16_t ProcessorArchitecture() override { return inner_.ProcessorArchitecture(); }
    bool IsServerR2() override { return inner_.IsServerR2(); }
    Wow64 IsWow64Process() override { return inner_.IsWow64Process(); }
    AdminCheck CheckAdministrators() override { return inner_.CheckAdministrators(); }

    std::string TempPath() override { return inner_.TempPath(); }
    std::string SystemDirectory() override { return inner_.SystemDirectory(); }
    std::string WindowsDirectory() override { return inner_.WindowsDirectory(); }

    bool AppendText(const std::string& path, const std::string& text) override {
        return inner_.AppendText(path, text);
    }
    bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) override {
        return inner_.WriteFile(path, bytes);
    }
    std::optional<std::vector<uint8_t>> ReadFile(const std::string& path) override { return inner_.ReadFile(path); }

    bool RegKeyExists(const std::string& path) override { return inner_.RegKeyExists(path); }
    std::optional<std::string> RegQueryString(const std::string& path, const std::string& name,
                                              size_t max_bytes) override {
        return inner_.RegQueryString(path, name, max_bytes);
    }
    RegWrite RegSetMultiSz(const std::string& path, const std::string& name,
                           const std::vector<uint8_t>& bytes) override {
        return inner_.RegSetMultiSz(path, name, bytes);
    }
    RegRead RegQueryMultiSz(const std::string& path, const std::string& name, std::vector<uint8_t>& out) override {
        return inner_.RegQueryMultiSz(path, name, out);
    }
    RegWrite RegDeleteValue(const std::string& path, const std::string& name) override {
        return inner_.RegDeleteValue(path, name);
    }
    bool RemoveFile(const std::string& path) override { return inner_.RemoveFile(path); }
    bool ReplaceFile(const std::string& from, const std::string& to) override {
        return inner_.ReplaceFile(from, to);
    }
    bool StartHidden(const std::string& program, const std::string& parameters) override {
        return inner_.StartHidden(program, parameters);
    }
    bool EnableShutdownPrivilege() override { return inner_.EnableShutdownPrivilege(); }
    bool Is64BitProcess() override { return inner_.Is64BitProcess(); }

    std::unique_ptr<ServiceHandle> OpenService(const std::string& name, uint32_t access) override {
        return inner_.OpenService(name, access);
    }

    // Recorded only; answered as done, so the program ends as it would after a real request.
    ExitResult ForcedExit(ExitKind kind) override;
    bool ExitWindowsForced(ExitKind kind) override;

    bool MutexExists(const std::string& name) override { return inner_.MutexExists(name); }
    bool CreateMutex(const std::string& name) override { return inner_.CreateMutex(name); }
    std::string ModuleFileName() override { return inner_.ModuleFileName(); }
    LocalTime LocalTimeNow() override { return inner_.LocalTimeNow(); }
    bool GetTrueVersion(OsVersion& out) override { return inner_.GetTrueVersion(out); }
    void KeepAwake(bool on) override { inner_.KeepAwake(on); }
    std::string ProgramDataDirectory() override { return inner_.ProgramDataDirectory(); }
    bool MakeProtectedDirectory(const std::string& path) override { return inner_.MakeProtectedDirectory(path); }
    std::string ComputerName() override { return inner_.ComputerName(); }
    int UtcOffsetMinutes() override { return inner_.UtcOffsetMinutes(); }
    std::optional<double> SecondsSinceSystemStart() override { return inner_.SecondsSinceSystemStart(); }
    std::optional<PowerStatus> GetPowerStatus() override { return inner_.GetPowerStatus(); }

    // The requests in order, as SimSystemApi keeps them; exit_direct is true for the 9x route.
    std::vector<ExitKind> ExitRequests() const;
    std::vector<bool> ExitDirect() const;

private:
    SystemApi& inner_;
    mutable std::mutex mutex_;
    std::vector<ExitKind> exit_requests_;
    std::vector<bool> exit_direct_;
};

}  // namespace orvane::platform::sim
