#pragma once
#include <string>

#include "platform/clock.h"
#include "platform/message_pump.h"
#include "platform/system_api.h"

namespace orvane::system {

// Key under HKEY_LOCAL_MACHINE; a leading backslash is allowed.
bool KeyExists(platform::SystemApi& api, const std::string& path);
// Windows PE: no service may be started there.
bool IsPreinstallEnvironment(platform::SystemApi& api);
bool IsServiceRunning(platform::SystemApi& api, const std::string& name);
// Start (start = true) or stop the service and wait for it: up to 2 x seconds polls, about
// 500 ms apart, dispatching the pump's messages (pump may be null on a worker thread).
// True when the service ends in the wanted state.
bool SetServiceState(platform::SystemApi& api, platform::Clock& clock, platform::MessagePump* pump,
                     const std::string& name, bool start, int seconds);

}  // namespace orvane::system
