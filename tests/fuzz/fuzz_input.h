#pragma once
// Shared by the fuzz harnesses: splits one input into the pieces a harness hands its parser.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvane::fuzz {

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : p_(data), left_(size) {}

    size_t left() const { return left_; }
    uint8_t Byte() {
        if (left_ == 0) return 0;
        --left_;
        return *p_++;
    }
    uint32_t U32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= uint32_t(Byte()) << (8 * i);
        return v;
    }
    // Up to n bytes, fewer when the input runs out.
    std::vector<uint8_t> Bytes(size_t n) {
        if (n > left_) n = left_;
        std::vector<uint8_t> out(p_, p_ + n);
        p_ += n;
        left_ -= n;
        return out;
    }
    // A text up to the next '\n' (not included) or the end.
    std::string Line() {
        size_t n = 0;
        while (n < left_ && p_[n] != '\n') ++n;
        std::string s(reinterpret_cast<const char*>(p_), n);
        size_t used = n < left_ ? n + 1 : n;
        p_ += used;
        left_ -= used;
        return s;
    }
    std::vector<uint8_t> Rest() { return Bytes(left_); }

private:
    const uint8_t* p_;
    size_t left_;
};

}  // namespace orvane::fuzz
