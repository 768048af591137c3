#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/sim_storage.h"
#include "platform/storage_io.h"

namespace orvane::platform::sim {

// What a request is sent to: a disk ("\\.\PHYSICALDRIVE%d" or its interface path) or a
// controller's SCSI port ("\\.\SCSI%d:").
struct SimIoTarget {
    SimDisk* disk = nullptr;
    SimController* port = nullptr;
};

// A handler answers a request or declines it (nullopt) so the next one, and finally the
// built-in discovery answers, get it. Called with the hardware's mutex held.
using SimIoHandler = std::function<std::optional<IoResult>(SimHardware& hw, SimIoTarget& target, uint32_t code,
                                                           uint8_t* buffer, uint32_t in_len, uint32_t out_len)>;

// StorageIo over the simulated machine. Unknown requests fail with ERROR_INVALID_FUNCTION.
class SimStorageIo : public StorageIo {
public:
    explicit SimStorageIo(SimHardware& hw);

    std::unique_ptr<StorageHandle> Open(const std::string& path, uint32_t access, uint32_t share,
                                        uint32_t& last_error) override;
    std::string ErrorText(uint32_t error) override;

    // Tried before the built-in answers, in the order added.
    void AddHandler(SimIoHandler handler) { handlers_.push_back(std::move(handler)); }

    struct Request {
        std::string path;
        uint32_t code = 0;
    };
    // Every request sent, for tests that check what was touched.
    std::vector<Request> Requests() const;
    int OpenCount() const;

private:
    friend class SimStorageHandle;
    IoResult Dispatch(const std::string& path, SimIoTarget target, uint32_t code, uint8_t* buffer, uint32_t in_len,
                      uint32_t out_len);

    SimHardware& hw_;
    std::vector<SimIoHandler> handlers_;
    std::vector<Request> requests_;
    int opens_ = 0;
};

// Makes each described disk's drive and driver stack and installs the handlers that answer
// their pass-through, miniport and rescan requests (sim_drive_handlers.cpp). SimPlatform calls
// it once, after the machine's clock is set.
void InstallDriveHandlers(SimStorageIo& io, SimHardware& hw);

}  // namespace orvane::platform::sim
