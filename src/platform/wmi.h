#pragma once
#include <string>
#include <utility>
#include <vector>

namespace orvane::platform {

// One instance of a WMI class as name/value texts (arrays joined by ", ").
using WmiInstance = std::vector<std::pair<std::string, std::string>>;

class Wmi {
public:
    virtual ~Wmi() = default;
    virtual bool Available() = 0;
    // "Select * from <cls>" in ROOT\CIMV2; false when the query could not run.
    virtual bool Query(const std::string& cls, std::vector<WmiInstance>& out) = 0;
};

}  // namespace orvane::platform
