#include "system/boot_setup.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>

#include "system/os_version.h"
#include "text/format.h"
#include "text/text.h"

namespace orvane::system {

using platform::RegRead;
using platform::RegWrite;
using platform::Wow64;

int ChooseFlasher(uint8_t family, bool windows64) {
    switch (family) {
        // A 32-bit native program cannot run at boot on 64-bit Windows, and the table has no XP x64 flasher.
        case kFamilyXP: return windows64 ? kFlasherNone : kFlasherXpX86;
        case kFamily2003:
        case kFamily2003R2: return windows64 ? kFlasher2003X64 : kFlasher2003X86;
        case kFamilyVista:
        case kFamily2008:
        case kFamily2008R2: return windows64 ? kFlasher2008X64 : kFlasher2008X86;
        default: return windows64 ? kFlasherWin7X64 : kFlasherWin7X86;
    }
}

namespace {

// Where the first whole occurrence of key starts; nullopt when there is none.
std::optional<size_t> FindKey(const uint8_t* image, size_t size, std::string_view key) {
    if (!image || key.empty() || key.size() > size) return std::nullopt;
    const uint8_t* end = image + size;
    const uint8_t* at = std::search(image, end, key.begin(), key.end(),
                                    [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); });
    if (at == end) return std::nullopt;
    return static_cast<size_t>(at - image);
}

}  // namespace

PatchResult PatchSetting(uint8_t* image, size_t size, std::string_view key, std::string_view value) {
    const std::optional<size_t> at = FindKey(image, size, key);
    if (!at) return PatchResult::KeyMissing;
    const size_t pos = *at + key.size();
    // Only inside the image: a key near its end must not send the value past it.
    if (value.size() > size - pos) return PatchResult::NoRoom;
    std::memcpy(image + pos, value.data(), value.size());
    return PatchResult::Written;
}

SettingsPatch PatchSettings(uint8_t* image, size_t size, const Settings& settings) {
    // Each found setting's place: its key's first byte, its value's first byte, its value's end.
    struct Place {
        size_t key = 0, value = 0, end = 0;
    };
    std::vector<std::optional<Place>> places(settings.size());
    SettingsPatch out;
    auto stop = [&](size_t setting, size_t runs_into) {
        out.result = PatchResult::NoRoom;
        out.setting = setting;
        out.runs_into = runs_into;
        return out;
    };
    for (size_t i = 0; i < settings.size(); ++i) {
        const auto& [key, value] = settings[i];
        const std::optional<size_t> at = FindKey(image, size, key);
        if (!at) continue;
        const size_t value_at = *at + key.size();
        if (value.size() > size - value_at) return stop(i, SettingsPatch::kImageEnd);
        places[i] = Place{*at, value_at, value_at + value.size()};
    }
    // A value written over another setting's key or value would hand the flasher a wrong setting.
    for (size_t i = 0; i < places.size(); ++i)
        for (size_t j = 0; j < places.size(); ++j)
            if (i != j && places[i] && places[j] && places[i]->value < places[i]->end &&
                places[i]->value < places[j]->end && places[j]->key < places[i]->end)
                return stop(i, j);
    for (size_t i = 0; i < places.size(); ++i)
        if (places[i]) std::memcpy(image + places[i]->value, settings[i].second.data(), settings[i].second.size());
    return out;
}

Settings FlasherSettings(const BootSettings& s) {
    auto flag = [](uint8_t v) { return std::string(v == 1 ? "1" : "0"); };
    return {
        {"UPDATEBOOT=", flag(s.bUpdateBoot)},
        {"B_PREFORMAT=", flag(s.bBPreformat)},
        {"A_PREFORMAT=", flag(s.Preformat)},
        {"PROTOCOL=", std::to_string(s.protocol)},
        {"SSDREBOOT=", flag(s.ReBoot)},
        {"_____FW=", s.new_fw},
        {"_FW_EXT=", s.fw_ext},
        {"DRIVECOUNT=", "0001"},
        {"VENDID1=", s.model.substr(0, 40)},
        {"FW1=", s.revision.substr(0, 8)},
        {"SN1=", s.serial.substr(0, 20)},
    };
}

std::string StripExe(const std::string& name) {
    const size_t at = text::ToUpper(name).find(".EXE");
    return at == std::string::npos ? name : name.substr(0, at);
}

std::vector<std::string> SplitMultiSz(const std::vector<uint8_t>& bytes) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < bytes.size()) {
        size_t j = i;
        while (j < bytes.size() && bytes[j] != 0) ++j;
        if (j == i) break;  // the empty string that ends the list
        out.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(i), bytes.begin() + static_cast<std::ptrdiff_t>(j));
        i = j + 1;
    }
    return out;
}

namespace {

// The program an entry runs: its first word.
std::string EntryProgram(const std::string& entry) {
    const size_t b = entry.find_first_not_of(' ');
    if (b == std::string::npos) return {};
    return entry.substr(b, entry.find(' ', b) - b);
}

}  // namespace

std::vector<uint8_t> BuildBootExecute(const std::vector<uint8_t>* existing, const std::string& program,
                                      const std::string& image_name) {
    std::vector<std::string> entries;
    if (existing) {
        for (const std::string& e : SplitMultiSz(*existing))
            if (!text::EqualsNoCase(EntryProgram(e), program)) entries.push_back(e);
    } else {
        entries.push_back(kAutocheckEntry);
    }
    entries.push_back(program + " " + image_name);
    std::vector<uint8_t> out;
    for (const std::string& e : entries) {
        out.insert(out.end(), e.begin(), e.end());
        out.push_back(0);
    }
    out.push_back(0);
    return out;
}

void UndoBootUpdate(platform::SystemApi& api, const BootSetupResult& done) {
    if (done.registered) {
        if (done.had_value)
            api.RegSetMultiSz(kSessionManagerKey, kBootExecuteValue, done.previous_value);
        else
            api.RegDeleteValue(kSessionManagerKey, kBootExecuteValue);
    }
    if (!done.flasher_path.empty()) api.RemoveFile(done.flasher_path);
}

BootSetupResult SetUpBootUpdate(platform::SystemApi& api, const FlasherTable* table, const BootSettings& s) {
    BootSetupResult r;
    if (s.flasher_name.empty() || !table) return r;

    const uint8_t family = OsFamilyOf(OSVersionCode(api));
    const bool wow64 = api.IsWow64Process() == Wow64::Yes;
    // A 64-bit build is not a WOW64 process, yet runs only on 64-bit Windows.
    const bool windows64 = wow64 || api.Is64BitProcess();
    const std::string program = StripExe(s.flasher_name);
    const std::string path = api.SystemDirectory() + "\\" + program + ".exe";
    r.flasher = ChooseFlasher(family, windows64);

    auto fail = [&](uint32_t code, std::string why) {
        UndoBootUpdate(api, r);
        r.code = code;
        r.detail = std::move(why);
        r.flasher_path.clear();
        r.registered = false;
        return r;
    };
    if (r.flasher == kFlasherNone)
        return fail(kBootNoFlasherForWidth,
                    text::Format("no boot-time flasher for 64-bit Windows of family 0x%02X: a 32-bit one cannot "
                                 "run at boot there",
                                 family));
    const FlasherEntry& entry = (*table)[static_cast<size_t>(r.flasher)];
    if (entry.size < 0 || (entry.size > 0 && !entry.image))
        return fail(kBootNoFlasher, text::Format("flasher %d has no image", r.flasher));

    // The settings go into a copy: the package stays as the program carries it.
    std::vector<uint8_t> image(entry.image, entry.image + entry.size);
    const Settings settings = FlasherSettings(s);
    const SettingsPatch patch = PatchSettings(image.data(), image.size(), settings);
    if (patch.result == PatchResult::NoRoom) {
        const auto& [key, value] = settings[patch.setting];
        const std::string where = patch.runs_into == SettingsPatch::kImageEnd
                                      ? std::string("does not fit")
                                      : "runs into " + settings[patch.runs_into].first;
        return fail(kBootSettingNoRoom,
                    text::Format("%s%s %s in flasher %d", key.c_str(), value.c_str(), where.c_str(), r.flasher));
    }

    // Read what the machine already runs at boot before anything is written: it is kept.
    std::vector<uint8_t> before;
    const RegRead read = api.RegQueryMultiSz(kSessionManagerKey, kBootExecuteValue, before);
    if (read == RegRead::KeyMissing) return fail(kBootKeyOpenFailed, "the session manager key cannot be opened");
    if (read == RegRead::WrongType || read == RegRead::Failed)
        return fail(kBootValueUnreadable, "BootExecute cannot be read as a list");
    r.had_value = read == RegRead::Ok;
    r.previous_value = before;

    if (!api.WriteFile(path, image)) {
        // A write that failed part-way leaves a cut-short flasher behind.
        api.RemoveFile(path);
        return fail(kBootFlasherFileFailed, "cannot create " + path);
    }
    r.flasher_path = path;

    const std::vector<uint8_t> value = BuildBootExecute(r.had_value ? &before : nullptr, program, s.image_name);
    switch (api.RegSetMultiSz(kSessionManagerKey, kBootExecuteValue, value)) {
        case RegWrite::Ok: break;
        case RegWrite::OpenFailed: return fail(kBootKeyOpenFailed, "the session manager key cannot be opened");
        case RegWrite::WriteFailed: return fail(kBootRegistryWriteFailed, "BootExecute cannot be written");
    }
    r.registered = true;
    return r;
}

}  // namespace orvane::system
