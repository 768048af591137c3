#pragma once
// The system error codes (GetLastError values) the layers look at and the simulated machine
// answers with, under their Windows meaning.
#include <cstdint>

namespace orvane::platform {

constexpr uint32_t kErrorInvalidFunction = 1;      // ERROR_INVALID_FUNCTION
constexpr uint32_t kErrorFileNotFound = 2;         // ERROR_FILE_NOT_FOUND
constexpr uint32_t kErrorAccessDenied = 5;         // ERROR_ACCESS_DENIED
constexpr uint32_t kErrorInvalidHandle = 6;        // ERROR_INVALID_HANDLE
constexpr uint32_t kErrorNotEnoughMemory = 8;      // ERROR_NOT_ENOUGH_MEMORY
constexpr uint32_t kErrorInvalidData = 13;         // ERROR_INVALID_DATA
constexpr uint32_t kErrorSharingViolation = 32;    // ERROR_SHARING_VIOLATION
constexpr uint32_t kErrorNotSupported = 50;        // ERROR_NOT_SUPPORTED
constexpr uint32_t kErrorInvalidParameter = 87;    // ERROR_INVALID_PARAMETER
constexpr uint32_t kErrorSemTimeout = 121;         // ERROR_SEM_TIMEOUT
constexpr uint32_t kErrorInsufficientBuffer = 122; // ERROR_INSUFFICIENT_BUFFER
constexpr uint32_t kErrorProcNotFound = 127;       // ERROR_PROC_NOT_FOUND
constexpr uint32_t kErrorNotLocked = 158;          // ERROR_NOT_LOCKED
constexpr uint32_t kErrorMoreData = 234;           // ERROR_MORE_DATA
constexpr uint32_t kWaitTimeout = 258;             // WAIT_TIMEOUT
constexpr uint32_t kErrorNoMoreItems = 259;        // ERROR_NO_MORE_ITEMS
constexpr uint32_t kErrorIoDevice = 1117;          // ERROR_IO_DEVICE
constexpr uint32_t kErrorTimeout = 1460;           // ERROR_TIMEOUT
constexpr uint32_t kErrorDeviceRemoved = 1617;     // ERROR_DEVICE_REMOVED
constexpr uint32_t kErrorInvalidUserBuffer = 1784; // ERROR_INVALID_USER_BUFFER

}  // namespace orvane::platform
