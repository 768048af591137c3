#pragma once
#include <windows.h>
#include <wbemcli.h>

#include <string>

namespace orvane::platform::win32 {

// A property value as the name/value lists carry it: texts in the system code page, integers
// in decimal (a CIM uint32, which WMI hands over as VT_I4, unsigned), booleans TRUE/FALSE,
// empty for null, array elements joined with ", ".
std::string WmiValueText(const VARIANT& value, CIMTYPE type);

}  // namespace orvane::platform::win32
