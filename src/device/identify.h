#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace orvane::device {

// IDENTIFY DEVICE text fields: byte offset and length in the 512-byte data.
constexpr size_t kIdSerialOffset = 20, kIdSerialLength = 20;  // words 10 to 19
constexpr size_t kIdFwOffset = 46, kIdFwLength = 8;           // words 23 to 26
constexpr size_t kIdModelOffset = 54, kIdModelLength = 40;    // words 27 to 46
constexpr size_t kIdWord159Low = 318;

// An IDENTIFY text in reading order: the two bytes of every word swapped; kept untrimmed.
// length is even.
std::string IdentifyText(const uint8_t* identify, size_t offset, size_t length);

}  // namespace orvane::device
