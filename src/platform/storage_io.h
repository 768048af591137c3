#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace orvane::platform {

struct IoResult {
    bool ok = false;
    uint32_t returned = 0;    // bytes the driver reported back
    uint32_t last_error = 0;  // GetLastError after a failure
};

// One open device (CreateFileA handle); closed when destroyed.
class StorageHandle {
public:
    virtual ~StorageHandle() = default;
    // DeviceIoControl with one buffer as input and output: in_len bytes go in,
    // up to out_len bytes come back into the same buffer.
    virtual IoResult Control(uint32_t code, void* buffer, uint32_t in_len, uint32_t out_len) = 0;
};

class StorageIo {
public:
    virtual ~StorageIo() = default;
    // GENERIC_READ|GENERIC_WRITE, shared read/write/delete, OPEN_EXISTING.
    // Null on failure, with the system's error in last_error.
    virtual std::unique_ptr<StorageHandle> Open(const std::string& path, uint32_t& last_error) = 0;
    // FormatMessageA text for a system error, without the trailing line break.
    virtual std::string ErrorText(uint32_t error) = 0;
};

}  // namespace orvane::platform
