#pragma once
// A scripted SystemApi for unit tests: every answer is a public field, every request is recorded.
#include <cctype>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/system_api.h"

namespace orvane::test {

struct FakeService {
    uint32_t state = platform::kServiceStopped;
    bool query_ok = true;
    bool start_ok = true;  // StartServiceA
    bool stop_ok = true;   // ControlService(stop)
    // Seconds of FakeSystemApi::now() a requested change takes; none: it never completes.
    std::optional<double> settle_seconds = 0.0;
    uint32_t wait_hint_ms = 0;

    // What the code under test did.
    int starts = 0;
    int stops = 0;
    int queries = 0;
    uint32_t last_access = 0;

    // Internal: the change in progress.
    uint32_t target = 0;
    double until = 0;
};

class FakeSystemApi : public platform::SystemApi {
public:
    // Version facts.
    bool ex_ok = true;
    bool basic_ok = true;
    platform::OsVersion version;
    uint16_t architecture = platform::kArchIntel;
    bool server_r2 = false;
    platform::Wow64 wow64 = platform::Wow64::No;
    platform::AdminCheck admin = platform::AdminCheck::Member;

    std::string temp_path = "C:\\TEMP\\";
    std::string system_dir = "C:\\WINDOWS\\system32";
    std::string windows_dir = "C:\\WINDOWS";
    std::string module_file = "C:\\Orvane\\Orvane.exe";

    // Files in memory, by exact path.
    std::map<std::string, std::vector<uint8_t>> files;
    bool files_fail = false;

    // Registry under HKLM: keys (parents of a key exist too) and values.
    void AddKey(const std::string& path) { keys_.insert(Id(path)); }
    void SetString(const std::string& path, const std::string& name, const std::string& value) {
        AddKey(path);
        values_[{Id(path), Lower(name)}] = std::vector<uint8_t>(value.begin(), value.end());
        values_[{Id(path), Lower(name)}].push_back(0);
    }
    std::optional<std::vector<uint8_t>> Value(const std::string& path, const std::string& name) const {
        auto it = values_.find({Id(path), Lower(name)});
        if (it == values_.end()) return std::nullopt;
        return it->second;
    }
    platform::RegWrite reg_write_result = platform::RegWrite::Ok;
    platform::RegRead reg_read_result = platform::RegRead::Ok;  // anything else: every read answers it
    std::set<std::string> unwritable;  // exact paths WriteFile refuses
    std::set<std::string> unreadable;  // exact paths ReadFile fails on, though they are there
    std::vector<std::string> removed;  // RemoveFile paths, in order
    bool remove_ok = true;
    std::vector<std::string> started;  // "program parameters" of each StartHidden
    bool start_ok = true;
    int privilege_calls = 0;
    bool privilege_ok = true;
    bool process64 = false;
    std::vector<std::string> reg_reads;  // "path|name" of every RegQueryString, "path" of every RegKeyExists

    std::map<std::string, FakeService> services;  // by exact name
    std::function<double()> now = [] { return 0.0; };
    int open_service_handles = 0;
    int service_opens = 0;

    platform::ExitResult exit_result = platform::ExitResult::Done;
    bool direct_exit_result = true;
    std::vector<platform::ExitKind> forced_exits;
    std::vector<platform::ExitKind> direct_exits;

    std::set<std::string> mutexes;

    int version_ex_calls = 0;
    int version_basic_calls = 0;

    bool GetVersionEx(platform::OsVersion& out) override {
        ++version_ex_calls;
        if (!ex_ok) return false;
        out = version;
        return true;
    }
    bool GetVersionBasic(platform::OsVersion& out) override {
        ++version_basic_calls;
        if (!basic_ok) return false;
        out = platform::OsVersion{};
        out.dwMajorVersion = version.dwMajorVersion;
        out.dwMinorVersion = version.dwMinorVersion;
        out.dwBuildNumber = version.dwBuildNumber;
        out.dwPlatformId = version.dwPlatformId;
        out.szCSDVersion = version.szCSDVersion;
        return true;
    }
    uint16_t ProcessorArchitecture() override { return architecture; }
    bool IsServerR2() override { return server_r2; }
    platform::Wow64 IsWow64Process() override { return wow64; }
    platform::AdminCheck CheckAdministrators() override { return admin; }

    std::string TempPath() override { return temp_path; }
    std::string SystemDirectory() override { return system_dir; }
    std::string WindowsDirectory() override { return windows_dir; }

    bool AppendText(const std::string& path, const std::string& text) override {
        if (files_fail) return false;
        auto& f = files[path];
        f.insert(f.end(), text.begin(), text.end());
        return true;
    }
    bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) override {
        if (files_fail || unwritable.count(path)) return false;
        files[path] = bytes;
        return true;
    }
    std::optional<std::vector<uint8_t>> ReadFile(const std::string& path) override {
        auto it = files.find(path);
        if (files_fail || it == files.end() || unreadable.count(path)) return std::nullopt;
        return it->second;
    }

    bool RegKeyExists(const std::string& path) override {
        reg_reads.push_back(path);
        std::string id = Id(path);
        for (const auto& k : keys_)
            if (k == id || k.compare(0, id.size() + 1, id + "\\") == 0) return true;
        return false;
    }
    std::optional<std::string> RegQueryString(const std::string& path, const std::string& name,
                                              size_t max_bytes) override {
        reg_reads.push_back(path + "|" + name);
        auto v = Value(path, name);
        if (!v || v->size() > max_bytes) return std::nullopt;
        std::string s(v->begin(), v->end());
        return s.substr(0, s.find('\0'));
    }
    platform::RegWrite RegSetMultiSz(const std::string& path, const std::string& name,
                                     const std::vector<uint8_t>& bytes) override {
        if (!RegKeyExists(path)) return platform::RegWrite::OpenFailed;
        if (reg_write_result != platform::RegWrite::Ok) return reg_write_result;
        values_[{Id(path), Lower(name)}] = bytes;
        return platform::RegWrite::Ok;
    }

    platform::RegRead RegQueryMultiSz(const std::string& path, const std::string& name,
                                      std::vector<uint8_t>& out) override {
        out.clear();
        reg_reads.push_back(path + "|" + name);
        if (reg_read_result != platform::RegRead::Ok) return reg_read_result;
        if (!RegKeyExists(path)) return platform::RegRead::KeyMissing;
        auto v = Value(path, name);
        if (!v) return platform::RegRead::ValueMissing;
        out = *v;
        return platform::RegRead::Ok;
    }
    platform::RegWrite RegDeleteValue(const std::string& path, const std::string& name) override {
        if (!RegKeyExists(path)) return platform::RegWrite::OpenFailed;
        if (reg_write_result != platform::RegWrite::Ok) return reg_write_result;
        values_.erase({Id(path), Lower(name)});
        return platform::RegWrite::Ok;
    }
    bool RemoveFile(const std::string& path) override {
        removed.push_back(path);
        files.erase(path);
        return remove_ok;
    }
    bool ReplaceFile(const std::string& from, const std::string& to) override {
        auto it = files.find(from);
        if (files_fail || unwritable.count(to) || it == files.end()) return false;
        files[to] = it->second;
        files.erase(from);
        return true;
    }
    bool StartHidden(const std::string& program, const std::string& parameters) override {
        started.push_back(program + " " + parameters);
        return start_ok;
    }
    bool EnableShutdownPrivilege() override {
        ++privilege_calls;
        return privilege_ok;
    }
    bool Is64BitProcess() override { return process64; }

    std::unique_ptr<platform::ServiceHandle> OpenService(const std::string& name, uint32_t access) override {
        auto it = services.find(name);
        if (it == services.end()) return nullptr;
        it->second.last_access = access;
        ++service_opens;
        return std::make_unique<Handle>(*this, it->second, access);
    }

    platform::ExitResult ForcedExit(platform::ExitKind kind) override {
        forced_exits.push_back(kind);
        return exit_result;
    }
    bool ExitWindowsForced(platform::ExitKind kind) override {
        direct_exits.push_back(kind);
        return direct_exit_result;
    }

    bool MutexExists(const std::string& name) override { return mutexes.count(name) != 0; }
    bool CreateMutex(const std::string& name) override {
        mutexes.insert(name);
        return true;
    }

    std::string ModuleFileName() override { return module_file; }
    platform::LocalTime LocalTimeNow() override { return local_time; }
    bool GetTrueVersion(platform::OsVersion& out) override {
        if (!ex_ok) return false;
        out = version;
        return true;
    }
    std::vector<bool> keep_awake_calls;
    void KeepAwake(bool on) override { keep_awake_calls.push_back(on); }
    platform::LocalTime local_time{2026, 3, 4, 10, 20, 30, 0};
    std::string ProgramDataDirectory() override { return program_data; }
    bool MakeProtectedDirectory(const std::string& path) override {
        protected_dirs.push_back(path);
        return protect_ok;
    }
    std::string ComputerName() override { return computer_name; }
    int UtcOffsetMinutes() override { return utc_offset_minutes; }
    std::optional<double> SecondsSinceSystemStart() override { return uptime; }
    std::optional<double> uptime = 3600.0;
    std::optional<platform::PowerStatus> GetPowerStatus() override { return power; }
    std::optional<platform::PowerStatus> power = platform::PowerStatus{1, 128, 255};
    std::string program_data = "C:\\ProgramData";
    std::vector<std::string> protected_dirs;
    bool protect_ok = true;
    std::string computer_name = "FAKE-PC";
    int utc_offset_minutes = 60;

private:
    class Handle : public platform::ServiceHandle {
    public:
        Handle(FakeSystemApi& api, FakeService& svc, uint32_t access) : api_(api), svc_(svc), access_(access) {
            ++api_.open_service_handles;
        }
        ~Handle() override { --api_.open_service_handles; }
        bool Query(platform::ServiceStatus& out) override {
            ++svc_.queries;
            if (!(access_ & platform::kServiceQuery) || !svc_.query_ok) return false;
            out = Status();
            return true;
        }
        bool Start() override {
            ++svc_.starts;
            if (!(access_ & platform::kServiceStart) || !svc_.start_ok) return false;
            Begin(platform::kServiceRunning);
            return true;
        }
        bool ControlStop(platform::ServiceStatus& out) override {
            ++svc_.stops;
            if (!(access_ & platform::kServiceStop) || !svc_.stop_ok) return false;
            Begin(platform::kServiceStopped);
            out = Status();
            return true;
        }

    private:
        void Begin(uint32_t target) {
            svc_.target = target;
            svc_.until = svc_.settle_seconds ? api_.now() + *svc_.settle_seconds : 1e300;
        }
        platform::ServiceStatus Status() {
            if (svc_.target && api_.now() >= svc_.until) {
                svc_.state = svc_.target;
                svc_.target = 0;
            }
            platform::ServiceStatus st;
            st.dwCurrentState = svc_.state;
            if (svc_.target == platform::kServiceRunning) st.dwCurrentState = platform::kServiceStartPending;
            if (svc_.target == platform::kServiceStopped) st.dwCurrentState = platform::kServiceStopPending;
            st.dwWaitHint = svc_.wait_hint_ms;
            return st;
        }
        FakeSystemApi& api_;
        FakeService& svc_;
        uint32_t access_;
    };

    static std::string Lower(std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    }
    // Keys compare without case and without surrounding backslashes, as the registry does.
    static std::string Id(const std::string& path) {
        size_t b = path.find_first_not_of('\\');
        if (b == std::string::npos) return "";
        size_t e = path.find_last_not_of('\\');
        return Lower(path.substr(b, e - b + 1));
    }

    std::set<std::string> keys_;
    std::map<std::pair<std::string, std::string>, std::vector<uint8_t>> values_;
};

}  // namespace orvane::test
