// The machine-wide data folder, and a folder in it that only Administrators and SYSTEM may change.
#include "platform/win32/win32_system_api.h"

#include <windows.h>
#include <aclapi.h>
#include <objbase.h>
#include <sddl.h>
#include <shlobj.h>

#include <cstdint>
#include <vector>

#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_protected_folder.h"

namespace orvane::platform::win32 {

namespace {

struct CloseCoTask {
    void operator()(PWSTR p) const { CoTaskMemFree(p); }
};
using CoTaskString = Owned<PWSTR, CloseCoTask>;

// "" when a character has no exact form in the ANSI code page: a best-fit stand-in would
// name another folder.
std::string ToAnsi(const wchar_t* wide) {
    const bool utf8 = GetACP() == CP_UTF8;  // takes neither the flag nor the default-char test
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL lossy = FALSE;
    BOOL* lossy_out = utf8 ? nullptr : &lossy;
    const int n = WideCharToMultiByte(CP_ACP, flags, wide, -1, nullptr, 0, nullptr, lossy_out);
    if (n <= 1 || lossy) return {};
    std::string out(static_cast<size_t>(n), '\0');
    if (WideCharToMultiByte(CP_ACP, flags, wide, -1, out.data(), n, nullptr, lossy_out) != n || lossy) return {};
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

// "C:\" keeps its separator: without it, it would mean the drive's current folder.
std::string WithoutTrailingSeparator(std::string path) {
    while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path;
}

// SYSTEM and Administrators: the only ones who may change the folder or what it holds.
constexpr char kProtectedSddl[] = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)";

constexpr ACCESS_MASK kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                      FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                      GENERIC_ALL;

struct SidOwner {
    PSID sid = nullptr;
    ~SidOwner() {
        if (sid) FreeSid(sid);
    }
};

bool BuiltinSid(DWORD sub1, DWORD sub2, BYTE count, SidOwner& out) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    return AllocateAndInitializeSid(&nt, count, sub1, sub2, 0, 0, 0, 0, 0, 0, &out.sid) != FALSE;
}

// The user the process runs as: where a file system keeps no owner but the one it maps every
// file to (Wine), the owner reads back as this user instead of Administrators.
bool ProcessUserIs(PSID sid) {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    UniqueHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return false;
    std::vector<uint64_t> buf((size + 7) / 8);  // aligned for the record's pointer
    if (!GetTokenInformation(token.get(), TokenUser, buf.data(), size, &size)) return false;
    return EqualSid(reinterpret_cast<TOKEN_USER*>(buf.data())->User.Sid, sid) != FALSE;
}

}  // namespace

bool StandsProtected(PSECURITY_DESCRIPTOR sd) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    if (!sd || !GetSecurityDescriptorOwner(sd, &owner, &defaulted) ||
        !GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted))
        return false;
    SidOwner admins, system;
    if (!BuiltinSid(SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 2, admins) ||
        !BuiltinSid(SECURITY_LOCAL_SYSTEM_RID, 0, 1, system))
        return false;
    // A missing DACL lets everyone in (FAT, for one).
    if (!owner || !present || !dacl) return false;
    if (!EqualSid(owner, admins.sid) && !EqualSid(owner, system.sid) && !ProcessUserIs(owner)) return false;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) return false;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
        // Object and callback ACEs are not expected on a folder: not judged, so not trusted.
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (!(allowed->Mask & kChangeRights)) continue;
        PSID who = &allowed->SidStart;
        if (!EqualSid(who, admins.sid) && !EqualSid(who, system.sid) && !EqualSid(who, owner)) return false;
    }
    return true;
}

std::string Win32SystemApi::ProgramDataDirectory() {
    using KnownFolderFn = HRESULT(WINAPI*)(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR*);
    // Looked up by name: shell32 before Vista does not have it.
    UniqueLibrary shell(LoadLibraryA("shell32.dll"));
    if (auto known = ProcAddress<KnownFolderFn>(shell.get(), "SHGetKnownFolderPath")) {
        CoTaskString wide;  // freed whether the call succeeds or not
        if (SUCCEEDED(known(FOLDERID_ProgramData, 0, nullptr, wide.out())) && wide)
            return WithoutTrailingSeparator(ToAnsi(wide.get()));
    }
    char buf[MAX_PATH + 1] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buf))) return {};
    return WithoutTrailingSeparator(buf);
}

bool Win32SystemApi::MakeProtectedDirectory(const std::string& path) {
    UniqueLocal sd;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(
            kProtectedSddl, SDDL_REVISION_1, reinterpret_cast<PSECURITY_DESCRIPTOR*>(sd.out()), nullptr))
        return false;
    SECURITY_ATTRIBUTES sa{sizeof sa, sd.get(), FALSE};
    if (!CreateDirectoryA(path.c_str(), &sa) && GetLastError() != ERROR_ALREADY_EXISTS) return false;

    // What stands there now, ours or one a user made first, is judged and changed through one
    // handle that does not follow a junction, so it cannot be swapped between check and change.
    HANDLE raw = CreateFileA(path.c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                             nullptr);
    if (raw == INVALID_HANDLE_VALUE) return false;
    UniqueHandle dir(raw);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(dir.get(), &info)) return false;
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;

    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    if (!GetSecurityDescriptorOwner(sd.get(), &owner, &defaulted) ||
        !GetSecurityDescriptorDacl(sd.get(), &present, &dacl, &defaulted) || !owner || !present || !dacl)
        return false;
    // Set on a folder just made as well, so both cases end the same way.
    if (SetSecurityInfo(dir.get(), SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                        owner, nullptr, dacl, nullptr) != ERROR_SUCCESS)
        return false;
    UniqueLocal now;
    if (GetSecurityInfo(dir.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                        nullptr, nullptr, nullptr, reinterpret_cast<PSECURITY_DESCRIPTOR*>(now.out())) != ERROR_SUCCESS)
        return false;
    return StandsProtected(now.get());
}

}  // namespace orvane::platform::win32
