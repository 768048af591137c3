#pragma once
#include "platform/wmi.h"

namespace orvane::platform::win32 {

// WMI through COM on the calling thread: one connection per query, released before it returns.
class Win32Wmi : public Wmi {
public:
    WmiStatus Query(const std::string& query, bool connect_max_wait, bool read_values,
                    std::vector<WmiInstance>& out) override;
};

}  // namespace orvane::platform::win32
