// The flasher's settings writer over any image, key and value, alone and as the eleven settings;
// and a new BootExecute list built from any bytes a machine may hold as the old one.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "system/boot_setup.h"

using namespace orvane::system;

namespace {

constexpr size_t kGuard = 64;
constexpr uint8_t kGuardByte = 0xA5;

// memcmp wants real pointers even for no bytes; an empty vector has none.
bool Same(const void* a, const void* b, size_t n) { return n == 0 || std::memcmp(a, b, n) == 0; }

void CheckPatch(const std::string& key, const std::string& value, const std::vector<uint8_t>& image) {
    std::vector<uint8_t> buf(kGuard + image.size() + kGuard, kGuardByte);
    std::copy(image.begin(), image.end(), buf.begin() + kGuard);
    uint8_t* at = buf.data() + kGuard;
    const PatchResult r = PatchSetting(at, image.size(), key, value);

    for (size_t i = 0; i < kGuard; ++i)
        if (buf[i] != kGuardByte || buf[buf.size() - 1 - i] != kGuardByte) __builtin_trap();

    // The first place the whole key stands, found the plain way.
    size_t found = std::string::npos;
    if (!key.empty())
        for (size_t p = 0; p + key.size() <= image.size() && found == std::string::npos; ++p)
            if (std::memcmp(image.data() + p, key.data(), key.size()) == 0) found = p;

    if (found == std::string::npos) {
        if (r != PatchResult::KeyMissing) __builtin_trap();
    } else {
        const size_t end = found + key.size();
        const bool fits = value.size() <= image.size() - end;
        if (r != (fits ? PatchResult::Written : PatchResult::NoRoom)) __builtin_trap();
    }

    if (r != PatchResult::Written) {
        if (!Same(at, image.data(), image.size())) __builtin_trap();
        return;
    }
    const size_t end = found + key.size();
    if (!Same(at, image.data(), end)) __builtin_trap();
    if (!Same(at + end, value.data(), value.size())) __builtin_trap();
    const size_t tail = end + value.size();
    if (!Same(at + tail, image.data() + tail, image.size() - tail)) __builtin_trap();
}

// The eleven settings with the input's texts in them. Every key counts where the image had it
// before any value was written; a value past the image or over another setting stops it all.
void CheckSettings(const std::string& text, const std::string& other, const std::vector<uint8_t>& image) {
    BootSettings s;
    s.model = s.revision = s.serial = text;
    s.new_fw = s.fw_ext = other;
    const Settings settings = FlasherSettings(s);
    std::vector<uint8_t> buf(kGuard + image.size() + kGuard, kGuardByte);
    std::copy(image.begin(), image.end(), buf.begin() + kGuard);
    uint8_t* at = buf.data() + kGuard;
    const SettingsPatch r = PatchSettings(at, image.size(), settings);

    for (size_t i = 0; i < kGuard; ++i)
        if (buf[i] != kGuardByte || buf[buf.size() - 1 - i] != kGuardByte) __builtin_trap();

    // Each key's first place in the image as given, found the plain way: [key, value, end).
    struct Place {
        bool found = false;
        size_t key = 0, value = 0, end = 0;
    };
    std::vector<Place> places(settings.size());
    bool stops = false;
    for (size_t i = 0; i < settings.size(); ++i) {
        const std::string& key = settings[i].first;
        for (size_t p = 0; p + key.size() <= image.size(); ++p)
            if (std::memcmp(image.data() + p, key.data(), key.size()) == 0) {
                places[i] = {true, p, p + key.size(), p + key.size() + settings[i].second.size()};
                stops = stops || places[i].end > image.size();
                break;
            }
    }
    for (size_t i = 0; i < places.size(); ++i)
        for (size_t j = 0; j < places.size(); ++j) {
            const Place& a = places[i];
            const Place& b = places[j];
            if (i != j && a.found && b.found && a.value != a.end && a.value < b.end && b.key < a.end) stops = true;
        }

    if (stops) {
        if (r.result != PatchResult::NoRoom || r.setting >= settings.size() || r.runs_into == r.setting ||
            (r.runs_into != SettingsPatch::kImageEnd && r.runs_into >= settings.size()))
            __builtin_trap();
        if (!Same(at, image.data(), image.size())) __builtin_trap();
        return;
    }
    if (r.result != PatchResult::Written) __builtin_trap();
    std::vector<uint8_t> expect = image;
    for (size_t i = 0; i < places.size(); ++i)
        if (places[i].found) std::copy(settings[i].second.begin(), settings[i].second.end(), expect.begin() + places[i].value);
    if (!Same(at, expect.data(), expect.size())) __builtin_trap();
}

bool NamesFlasher(std::string e) {
    for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return e.find("ostrel") != std::string::npos;
}

// Each string NUL-ended, none empty, then one more NUL.
bool WellFormed(const std::vector<uint8_t>& v) {
    if (v.size() < 2 || v[v.size() - 1] != 0 || v[v.size() - 2] != 0 || v[0] == 0) return false;
    for (size_t i = 1; i + 1 < v.size(); ++i)
        if (v[i] == 0 && v[i - 1] == 0) return false;
    return true;
}

void CheckBootExecute(const std::vector<uint8_t>& existing) {
    const std::string entry = "Ostrel FW.bin";
    const std::vector<uint8_t>* inputs[] = {&existing, nullptr};
    for (const std::vector<uint8_t>* in : inputs) {
        const std::vector<uint8_t> out = BuildBootExecute(in, "Ostrel", "FW.bin");
        if (!WellFormed(out)) __builtin_trap();
        const std::vector<std::string> got = SplitMultiSz(out);
        if (got.empty() || got.back() != entry || std::count(got.begin(), got.end(), entry) != 1) __builtin_trap();
        if (!in) {
            if (got.size() != 2 || got[0] != kAutocheckEntry) __builtin_trap();
            continue;
        }
        // What the machine ran before is still there, in its order; only an entry naming the
        // flasher may go, and nothing is gained but the new entry.
        size_t j = 0;
        for (const std::string& e : SplitMultiSz(existing)) {
            if (j + 1 < got.size() && got[j] == e)
                ++j;
            else if (!NamesFlasher(e))
                __builtin_trap();
        }
        if (j != got.size() - 1) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 16)) return 0;
    orvane::fuzz::FuzzInput in(data, size);
    const std::string key = in.Line();
    const std::string value = in.Line();
    const std::vector<uint8_t> rest = in.Rest();
    CheckPatch(key, value, rest);
    CheckSettings(value, key, rest);
    CheckBootExecute(rest);
    return 0;
}
