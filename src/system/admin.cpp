#include "system/admin.h"

namespace orvane::system {

bool IsAdmin(platform::SystemApi& api) {
    return api.CheckAdministrators() == platform::AdminCheck::Member;
}

bool IsWow64(platform::SystemApi& api) {
    return api.IsWow64Process() == platform::Wow64::Yes;
}

}  // namespace orvane::system
