#pragma once
#include <stdexcept>

namespace orvane::pack {

// A refusal or failure, with the message shown to the user as it is.
struct PackError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace orvane::pack
