#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace orvane::platform {

// One instance of a WMI class as name/value texts, in the order GetNames delivers the names
// (array values joined by ", ").
using WmiInstance = std::vector<std::pair<std::string, std::string>>;

// The connection step that failed.
enum class WmiStep : uint8_t { None, CoInitialize, CreateLocator, ConnectServer, SetProxyBlanket, ExecQuery };

struct WmiStatus {
    bool ok = false;
    WmiStep failed = WmiStep::None;
    int32_t hresult = 0;
};

class Wmi {
public:
    virtual ~Wmi() = default;
    // One connection to "ROOT\CIMV2" (COM initialised and uninitialised around it), ExecQuery
    // ("WQL", query, forward only | return immediately), then every instance in delivery order.
    // connect_max_wait: ConnectServer with WBEM_FLAG_CONNECT_USE_MAX_WAIT. read_values false:
    // the instances are only counted (empty entries), their names are not read.
    virtual WmiStatus Query(const std::string& query, bool connect_max_wait, bool read_values,
                            std::vector<WmiInstance>& out) = 0;
};

}  // namespace orvane::platform
