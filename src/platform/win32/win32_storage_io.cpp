#include "platform/win32/win32_storage_io.h"

#include <windows.h>

#include "platform/win32/win32_handles.h"

namespace orvane::platform::win32 {

namespace {

class Win32StorageHandle : public StorageHandle {
public:
    explicit Win32StorageHandle(HANDLE h) : handle_(h) {}

    IoResult Control(uint32_t code, void* buffer, uint32_t in_len, uint32_t out_len) override {
        DWORD returned = 0;
        BOOL ok = DeviceIoControl(handle_.get(), code, buffer, in_len, buffer, out_len, &returned, nullptr);
        if (!ok) return IoResult{false, returned, GetLastError()};
        return IoResult{true, returned, 0};
    }

private:
    UniqueHandle handle_;
};

struct FreeLocal {
    void operator()(char* p) const { LocalFree(p); }
};
using LocalText = Owned<char*, FreeLocal>;

}  // namespace

std::unique_ptr<StorageHandle> Win32StorageIo::Open(const std::string& path, uint32_t access, uint32_t share,
                                                    uint32_t& last_error) {
    HANDLE h = CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        last_error = GetLastError();
        return nullptr;
    }
    last_error = 0;
    return std::make_unique<Win32StorageHandle>(h);
}

std::string Win32StorageIo::ErrorText(uint32_t error) {
    LocalText text;
    // Without IGNORE_INSERTS a message with "%1" would read arguments that were never passed.
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                             reinterpret_cast<char*>(text.out()), 0, nullptr);
    if (n == 0 || !text) return std::string();
    std::string s(text.get(), n);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

}  // namespace orvane::platform::win32
