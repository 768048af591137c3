// The volume list of Win32StorageIo: the volume manager's names, their mount points and their
// drive types. Names and mount points are wide texts; a name is ASCII, a mount folder is kept
// in UTF-8 for the log and the messages.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_storage_io.h"

namespace orvane::platform::win32 {

namespace {

std::string Utf8(const wchar_t* wide, size_t length) {
    if (length == 0) return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

struct CloseVolumeFind {
    void operator()(HANDLE h) const { FindVolumeClose(h); }
};

}  // namespace

bool Win32StorageIo::VolumeNames(std::vector<std::string>& out, uint32_t& last_error) {
    out.clear();
    // A volume name is "\\?\Volume{GUID}\": 49 characters and its NUL.
    wchar_t name[MAX_PATH];
    HANDLE first = FindFirstVolumeW(name, MAX_PATH);
    if (first == INVALID_HANDLE_VALUE) {
        last_error = GetLastError();
        return false;
    }
    // FindVolumeClose, not CloseHandle: the search handle is not a kernel object.
    const Owned<HANDLE, CloseVolumeFind> search(first);
    for (;;) {
        out.push_back(Utf8(name, wcslen(name)));
        if (!FindNextVolumeW(first, name, MAX_PATH)) break;
    }
    const DWORD err = GetLastError();
    last_error = err == ERROR_NO_MORE_FILES ? 0 : err;
    return last_error == 0;
}

std::vector<std::string> Win32StorageIo::VolumeMountPoints(const std::string& volume_name) {
    const std::wstring name = Wide(volume_name);
    std::vector<wchar_t> paths(MAX_PATH + 1);
    DWORD needed = 0;
    BOOL ok = GetVolumePathNamesForVolumeNameW(name.c_str(), paths.data(), static_cast<DWORD>(paths.size()), &needed);
    if (!ok && GetLastError() == ERROR_MORE_DATA && needed > paths.size()) {
        paths.assign(needed, L'\0');
        ok = GetVolumePathNamesForVolumeNameW(name.c_str(), paths.data(), static_cast<DWORD>(paths.size()), &needed);
    }
    std::vector<std::string> letters, folders;
    if (!ok) return letters;
    // A list of NUL-terminated texts ended by an empty one.
    for (size_t at = 0; at < paths.size() && paths[at];) {
        const size_t len = wcsnlen(paths.data() + at, paths.size() - at);
        std::string path = Utf8(paths.data() + at, len);
        (path.size() == 3 && path[1] == ':' ? letters : folders).push_back(std::move(path));
        at += len + 1;
    }
    letters.insert(letters.end(), folders.begin(), folders.end());
    return letters;
}

uint32_t Win32StorageIo::DriveType(const std::string& root) { return GetDriveTypeW(Wide(root).c_str()); }

}  // namespace orvane::platform::win32
