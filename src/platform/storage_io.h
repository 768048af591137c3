#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/win_errors.h"

namespace orvane::platform {

// CreateFileA access and sharing bits.
constexpr uint32_t kGenericRead = 0x80000000u;
constexpr uint32_t kGenericWrite = 0x40000000u;
constexpr uint32_t kFileShareRead = 1;
constexpr uint32_t kFileShareWrite = 2;
constexpr uint32_t kFileShareDelete = 4;


struct IoResult {
    bool ok = false;
    uint32_t returned = 0;    // bytes the driver reported back
    uint32_t last_error = 0;  // GetLastError after a failure
};

// One open device (CreateFileA handle); closed when destroyed.
class StorageHandle {
public:
    virtual ~StorageHandle() = default;
    // DeviceIoControl with one buffer as input and output, no overlapped structure:
    // in_len bytes go in, up to out_len bytes come back into the same buffer.
    virtual IoResult Control(uint32_t code, void* buffer, uint32_t in_len, uint32_t out_len) = 0;
};

class StorageIo {
public:
    virtual ~StorageIo() = default;
    // CreateFileA(path, access, share, no security, OPEN_EXISTING, 0, no template).
    // Null on failure, with the system's error in last_error.
    virtual std::unique_ptr<StorageHandle> Open(const std::string& path, uint32_t access, uint32_t share,
                                                uint32_t& last_error) = 0;
    // The device layer's usual open: read/write, shared read/write/delete.
    std::unique_ptr<StorageHandle> OpenReadWrite(const std::string& path, uint32_t& last_error) {
        return Open(path, kGenericRead | kGenericWrite, kFileShareRead | kFileShareWrite | kFileShareDelete,
                    last_error);
    }
    // FormatMessageA text for a system error, without the trailing line break.
    virtual std::string ErrorText(uint32_t error) = 0;
};

}  // namespace orvane::platform
