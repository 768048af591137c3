#pragma once
#include "platform/clock.h"
#include "platform/device_tree.h"
#include "platform/message_pump.h"
#include "platform/storage_io.h"
#include "platform/system_api.h"
#include "platform/wmi.h"

namespace orvane::platform {

// The thin layers one run of the program talks to: the real machine or a simulated one.
struct Platform {
    SystemApi& system;
    Clock& clock;
    MessagePump& pump;
    StorageIo* storage = nullptr;
    DeviceTree* tree = nullptr;
    Wmi* wmi = nullptr;
};

}  // namespace orvane::platform
