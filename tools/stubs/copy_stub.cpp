// Stand-in for the copy program: the 32-bit Orvane.exe on 64-bit Windows writes the flasher and its
// image into the 32-bit view of the system directory, but Windows runs BootExecute programs from the
// native one. This copies both there.
#include <windows.h>

#include <cstdio>
#include <initializer_list>

#ifndef ORV_COPY_FAMILY
#error "ORV_COPY_FAMILY (the Windows family this copy program is for) must be defined"
#endif

namespace {

using DisableFn = BOOL(WINAPI*)(PVOID*);
using RevertFn = BOOL(WINAPI*)(PVOID);

// Turns file-system redirection off for this 32-bit process while it lives, so "system32" means the
// native folder. Looked up at run time: kernel32 of 32-bit XP has no such calls.
class NativeView {
public:
    NativeView() {
        const HMODULE kernel = GetModuleHandleA("kernel32.dll");
        if (!kernel) return;
        const auto disable = reinterpret_cast<DisableFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(kernel, "Wow64DisableWow64FsRedirection")));
        revert_ = reinterpret_cast<RevertFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(kernel, "Wow64RevertWow64FsRedirection")));
        active_ = disable && revert_ && disable(&old_);
    }
    ~NativeView() {
        if (active_) revert_(old_);
    }
    NativeView(const NativeView&) = delete;
    NativeView& operator=(const NativeView&) = delete;
    bool active() const { return active_; }

private:
    RevertFn revert_ = nullptr;
    PVOID old_ = nullptr;
    bool active_ = false;
};

}  // namespace

int main() {
    std::printf("Copy-program stand-in for %s\n", ORV_COPY_FAMILY);
    char windows[MAX_PATH];
    const UINT n = GetWindowsDirectoryA(windows, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        std::fprintf(stderr, "error: no Windows directory (error %lu)\n", GetLastError());
        return 1;
    }
    const NativeView view;
    if (!view.active()) {
        std::fprintf(stderr, "error: cannot reach the native system directory (error %lu)\n", GetLastError());
        return 1;
    }
    for (const char* name : {"Ostrel.exe", "FW.bin"}) {
        char from[MAX_PATH * 2], to[MAX_PATH * 2];
        std::snprintf(from, sizeof from, "%s\\SysWOW64\\%s", windows, name);
        std::snprintf(to, sizeof to, "%s\\System32\\%s", windows, name);
        if (!CopyFileA(from, to, FALSE)) {
            std::fprintf(stderr, "error: cannot copy %s to %s (error %lu)\n", from, to, GetLastError());
            return 1;
        }
        std::printf("copied %s to %s\n", from, to);
    }
    return 0;
}
