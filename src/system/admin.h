#pragma once
#include "platform/system_api.h"

namespace orvane::system {

// Member of the local Administrators group; every failure along the way counts as no.
bool IsAdmin(platform::SystemApi& api);
// A 32-bit process on 64-bit Windows; false where IsWow64Process does not exist.
bool IsWow64(platform::SystemApi& api);

}  // namespace orvane::system
