#pragma once
// Strict conversions of the texts the setup services and WMI hand back: anything that is not
// wholly a number (or a GUID) is refused rather than read as far as it goes.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/device_tree.h"

namespace orvane::discovery {

std::string_view Trim(std::string_view s);
// Decimal, optional sign, blanks around allowed; false on anything else or overflow.
bool ToInt64(std::string_view s, int64_t& out);
bool ToUInt64(std::string_view s, uint64_t& out);
// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" without braces, as UuidFromStringA takes it.
bool ParseUuid(std::string_view s, platform::Guid& out);
// "{XXXXXXXX-XXXX-...}" in upper case.
std::string GuidBraced(const platform::Guid& g);

}  // namespace orvane::discovery
