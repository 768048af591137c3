#pragma once
// Field readers of the machine description: each names the field it refuses.
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

namespace orvane::platform::sim::fields {

using nlohmann::json;

// Thrown inside the loaders only; they turn it into their error text.
struct FieldError {
    std::string message;
};

// Runs a loader's reader; its FieldError becomes the error text, and out is set only when the
// whole object was read.
template <typename T, typename Reader>
bool ReadObject(const json& j, const std::string& path, T& out, std::string& error, Reader read) {
    T value;
    try {
        read(j, path, value);
    } catch (const FieldError& e) {
        error = e.message;
        return false;
    }
    out = std::move(value);
    return true;
}

[[noreturn]] inline void Fail(const std::string& path, const std::string& what) {
    throw FieldError{path + ": " + what};
}

inline void OnlyKeys(const json& obj, const std::string& path, std::initializer_list<const char*> known) {
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        bool ok = std::any_of(known.begin(), known.end(), [&](const char* k) { return it.key() == k; });
        if (!ok) Fail(path.empty() ? it.key() : path + "." + it.key(), "unknown field");
    }
}

inline const json& Object(const json& j, const std::string& path) {
    if (!j.is_object()) Fail(path, "expected an object");
    return j;
}

inline uint64_t Unsigned(const json& j, const std::string& path, uint64_t max) {
    if (!j.is_number_unsigned() || j.get<uint64_t>() > max)
        Fail(path, "expected a whole number from 0 to " + std::to_string(max));
    return j.get<uint64_t>();
}

inline bool Bool(const json& j, const std::string& path) {
    if (!j.is_boolean()) Fail(path, "expected true or false");
    return j.get<bool>();
}

inline std::string Text(const json& j, const std::string& path, size_t max_len = 4096) {
    if (!j.is_string()) Fail(path, "expected a string");
    std::string s = j.get<std::string>();
    if (s.size() > max_len) Fail(path, "longer than " + std::to_string(max_len) + " characters");
    return s;
}

}  // namespace orvane::platform::sim::fields
