#include "platform/sim/exit_guard_system_api.h"

namespace orvane::platform::sim {

ExitResult ExitGuardSystemApi::ForcedExit(ExitKind kind) {
    std::lock_guard<std::mutex> lock(mutex_);
    exit_requests_.push_back(kind);
    exit_direct_.push_back(false);
    return ExitResult::Done;
}

bool ExitGuardSystemApi::ExitWindowsForced(ExitKind kind) {
    std::lock_guard<std::mutex> lock(mutex_);
    exit_requests_.push_back(kind);
    exit_direct_.push_back(true);
    return true;
}

std::vector<ExitKind> ExitGuardSystemApi::ExitRequests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return exit_requests_;
}

std::vector<bool> ExitGuardSystemApi::ExitDirect() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return exit_direct_;
}

}  // namespace orvane::platform::sim
