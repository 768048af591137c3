#pragma once
// Owners for the raw handles of the Win32 layer. Included only by its .cpp files and the window.
#include <windows.h>

#include <utility>

namespace orvane::platform::win32 {

template <typename H, typename Close>
class Owned {
public:
    Owned() = default;
    explicit Owned(H h) : h_(h) {}
    ~Owned() { reset(); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Owned(Owned&& o) noexcept : h_(std::exchange(o.h_, H{})) {}
    Owned& operator=(Owned&& o) noexcept {
        if (this != &o) {
            reset();
            h_ = std::exchange(o.h_, H{});
        }
        return *this;
    }
    H get() const { return h_; }
    H* out() {
        reset();
        return &h_;
    }
    explicit operator bool() const { return h_ != H{}; }
    void reset() {
        if (h_ != H{}) Close{}(h_);
        h_ = H{};
    }

private:
    H h_{};
};

struct CloseKernel {
    void operator()(HANDLE h) const { CloseHandle(h); }
};
struct CloseKey {
    void operator()(HKEY h) const { RegCloseKey(h); }
};
struct CloseService {
    void operator()(SC_HANDLE h) const { CloseServiceHandle(h); }
};
struct CloseLibrary {
    void operator()(HMODULE h) const { FreeLibrary(h); }
};
struct CloseLocal {
    void operator()(void* p) const { LocalFree(p); }
};

using UniqueHandle = Owned<HANDLE, CloseKernel>;
using UniqueKey = Owned<HKEY, CloseKey>;
using UniqueScHandle = Owned<SC_HANDLE, CloseService>;
using UniqueLibrary = Owned<HMODULE, CloseLibrary>;
// What the system allocates with LocalAlloc for the caller (security descriptors, SID texts).
using UniqueLocal = Owned<void*, CloseLocal>;

// An entry point looked up at run time, as the typed pointer the caller wants.
template <typename F>
F ProcAddress(HMODULE module, const char* name) {
    if (!module) return nullptr;
    // Through void(*)(): the one conversion GCC accepts between unrelated function types.
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace orvane::platform::win32
