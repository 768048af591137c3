#include "pack/manifest.h"

#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <string_view>
#include <utility>

#include "pack/file_io.h"
#include "pack/pack_error.h"
#include "package/eligibility.h"
#include "package/package_info.h"
#include "package/package_layout.h"
#include "platform/json_text.h"
#include "text/text.h"

namespace orvane::pack {
namespace {

using nlohmann::json;
using package::EligibilityRecord;
using package::PackageHeader;
using package::SlotTextEntry;

// Field widths less the terminating NUL where the field needs one.
constexpr size_t kVersionMax = sizeof(PackageHeader::version) - 1;
constexpr size_t kBannerMax = sizeof(PackageHeader::banner) - 1;
constexpr size_t kTargetModelMax = sizeof(PackageHeader::target_model) - 1;
constexpr size_t kFwTextMax = sizeof(EligibilityRecord::szFWS);
constexpr size_t kModelMax = sizeof(EligibilityRecord::szModel);
constexpr size_t kSlotTextMax = sizeof(SlotTextEntry::value);
constexpr uintmax_t kManifestMax = 1024 * 1024;

std::string SlotName(size_t n) { return "slot " + std::string(1, package::SlotDigit(static_cast<int>(n))); }

void CheckKeys(const json& obj, std::initializer_list<std::string_view> known, const std::string& where) {
    for (const auto& [key, value] : obj.items()) {
        bool ok = false;
        for (std::string_view k : known) ok = ok || key == k;
        if (!ok) throw PackError(where + ": unknown key \"" + key + "\"");
    }
}

// What a value is, for a refusal that says what was found instead of what was expected.
std::string Kind(const json& v) {
    switch (v.type()) {
    case json::value_t::null: return "null";
    case json::value_t::boolean: return v.get<bool>() ? "true" : "false";
    case json::value_t::string: return "a text";
    case json::value_t::array: return "a list";
    case json::value_t::object: return "an object";
    default: return "the number " + v.dump();
    }
}

const json& ObjectAt(const json& j, const std::string& where) {
    if (!j.is_object()) throw PackError(where + " must be a JSON object, not " + Kind(j));
    return j;
}

// Texts go into single-byte fields that the program shows and compares as they are:
// printable ASCII only, so no NUL cuts them short and no UTF-8 sequence turns to noise.
std::string Text(const json& obj, const char* key, size_t max, const std::string& where) {
    const json& v = obj.at(key);
    if (!v.is_string()) throw PackError(where + ": \"" + key + "\" must be a text in quotes, not " + Kind(v));
    std::string s = v.get<std::string>();
    for (unsigned char c : s)
        if (c < 0x20 || c > 0x7E)
            throw PackError(where + ": \"" + key + "\" must hold printable ASCII characters only");
    if (s.size() > max)
        throw PackError(where + ": \"" + key + "\" \"" + s + "\" is " + std::to_string(s.size()) +
                        " characters long, the field holds " + std::to_string(max));
    return s;
}

std::string RequiredText(const json& obj, const char* key, size_t max, const std::string& where) {
    if (!obj.contains(key)) throw PackError(where + ": \"" + key + "\" is missing");
    return Text(obj, key, max, where);
}

std::string OptionalText(const json& obj, const char* key, size_t max, const std::string& where) {
    return obj.contains(key) ? Text(obj, key, max, where) : std::string();
}

int Integer(const json& v, int lo, int hi, const std::string& what) {
    if (!v.is_number_integer()) throw PackError(what + " must be a whole number, not " + Kind(v));
    // Non-negative numbers arrive unsigned; past INT64_MAX they would wrap to small values.
    const int64_t n = v.is_number_unsigned() && v.get<uint64_t>() > uint64_t(INT64_MAX) ? INT64_MAX : v.get<int64_t>();
    if (n < lo || n > hi)
        throw PackError(what + " is " + std::to_string(n) + ", outside " + std::to_string(lo) + ".." +
                        std::to_string(hi));
    return static_cast<int>(n);
}

void ReadOptions(const json& j, Manifest& m) {
    ObjectAt(j, "\"options\"");
    for (const auto& [name, value] : j.items()) {
        const package::OptionDigit* digit = nullptr;
        for (const auto& d : package::kOptionDigits)
            if (name == d.name) digit = &d;
        if (digit == nullptr) throw PackError("\"options\": unknown option \"" + name + "\"");
        if (digit->numeric) {
            m.digits[digit->position] = char('0' + Integer(value, 0, 9, "option " + name));
        } else {
            if (!value.is_boolean()) throw PackError("option " + name + " must be true or false, not " + Kind(value));
            m.digits[digit->position] = value.get<bool>() ? '1' : '0';
        }
    }
}

SlotSpec ReadSlot(const json& j, size_t n, const std::filesystem::path& folder) {
    const std::string where = SlotName(n);
    ObjectAt(j, where);
    CheckKeys(j, {"image", "new_fw", "fw_ext", "encipher", "records"}, where);
    SlotSpec s;
    if (!j.contains("image")) throw PackError(where + ": \"image\" is missing");
    if (!j["image"].is_string())
        throw PackError(where + ": \"image\" must name a file in quotes, not " + Kind(j["image"]));
    s.image_name = j["image"].get<std::string>();
    s.new_fw = RequiredText(j, "new_fw", kSlotTextMax, where);
    s.fw_ext = RequiredText(j, "fw_ext", kSlotTextMax, where);
    if (j.contains("encipher")) {
        if (!j["encipher"].is_boolean())
            throw PackError(where + ": \"encipher\" must be true or false, not " + Kind(j["encipher"]));
        s.encipher = j["encipher"].get<bool>();
    }
    if (j.contains("records")) {
        const json& list = j["records"];
        if (!list.is_array()) throw PackError(where + ": \"records\" must be a list, not " + Kind(list));
        if (list.size() > package::kRecordsPerGroup)
            throw PackError(where + ": " + std::to_string(list.size()) + " records given, a slot holds at most " +
                            std::to_string(package::kRecordsPerGroup));
        for (size_t r = 0; r < list.size(); ++r) {
            const std::string rwhere = where + " record " + std::to_string(r + 1);
            ObjectAt(list[r], rwhere);
            CheckKeys(list[r], {"fws", "fwe", "model"}, rwhere);
            RecordSpec rec{OptionalText(list[r], "fws", kFwTextMax, rwhere),
                           OptionalText(list[r], "fwe", kFwTextMax, rwhere),
                           OptionalText(list[r], "model", kModelMax, rwhere)};
            // The program takes a drive whose revision lies from fws to fwe in its own order: a
            // range that starts after it ends takes no drive at all.
            const std::string fws = text::Trim(rec.fws), fwe = text::Trim(rec.fwe);
            if (!fws.empty() && !fwe.empty() && package::CompareFirmware(fws, fwe) > 0)
                throw PackError(rwhere + ": \"fws\" \"" + rec.fws + "\" sorts after \"fwe\" \"" + rec.fwe +
                                "\": the range takes no revision");
            s.records.push_back(std::move(rec));
        }
    }
    // Refused by its size before it is read: no image larger than the image buffer is ever loaded.
    s.image = ReadFileBytes(folder / s.image_name, where + " image", package::kImageBufferSize,
                            where + ": image " + s.image_name);
    if (s.image.empty()) throw PackError(where + ": image " + s.image_name + " is empty");
    return s;
}

void ReadAux(const json& j, Manifest& m, const std::filesystem::path& folder) {
    ObjectAt(j, "\"aux\"");
    for (const auto& [tag, value] : j.items()) {
        int k = -1;
        for (int i = 0; i < package::kAuxCount; ++i)
            if (tag == package::kAuxSlots[i].tag) k = i;
        if (k < 0) throw PackError("\"aux\": unknown auxiliary slot \"" + tag + "\"");
        if (value.is_null()) {
            m.aux[k] = std::nullopt;
            continue;
        }
        if (!value.is_string())
            throw PackError("\"aux\": " + tag + " must name a file (or be null to remove it), not " + Kind(value));
        const std::string name = value.get<std::string>();
        Bytes bytes = ReadFileBytes(folder / name, tag + " executable", package::kAuxPayloadSize,
                                    "\"aux\": " + tag + " executable " + name);
        if (bytes.empty()) throw PackError("\"aux\": " + tag + " executable " + name + " is empty");
        m.aux[k] = std::move(bytes);
    }
}

}  // namespace

Manifest ParseManifest(const json& j, const std::filesystem::path& folder) {
    ObjectAt(j, "the manifest");
    if (j.contains("iFWCount"))
        throw PackError("the manifest: \"iFWCount\" is not set directly, it is the number of \"slots\"");
    CheckKeys(j, {"version", "banner", "target_model", "iVisualStyle", "iLanguage", "iFlashMode", "options", "slots", "aux"},
              "the manifest");
    Manifest m;
    if (j.contains("version")) m.version = Text(j, "version", kVersionMax, "the manifest");
    if (j.contains("banner")) m.banner = Text(j, "banner", kBannerMax, "the manifest");
    if (j.contains("target_model")) m.target_model = Text(j, "target_model", kTargetModelMax, "the manifest");
    if (j.contains("iVisualStyle")) m.iVisualStyle = Integer(j["iVisualStyle"], -128, 127, "iVisualStyle");
    if (j.contains("iLanguage")) m.iLanguage = Integer(j["iLanguage"], -128, 127, "iLanguage");
    if (j.contains("iFlashMode")) m.iFlashMode = Integer(j["iFlashMode"], -128, 127, "iFlashMode");
    if (j.contains("options")) ReadOptions(j["options"], m);
    if (j.contains("slots")) {
        const json& list = j["slots"];
        if (!list.is_array()) throw PackError("\"slots\" must be a list, not " + Kind(list));
        if (list.size() > package::kSlotCount)
            throw PackError(std::to_string(list.size()) + " slots given, a package holds at most " +
                            std::to_string(package::kSlotCount));
        m.slots.emplace();
        for (size_t n = 0; n < list.size(); ++n) m.slots->push_back(ReadSlot(list[n], n, folder));
    }
    if (j.contains("aux")) ReadAux(j["aux"], m, folder);
    return m;
}

Manifest LoadManifest(const std::filesystem::path& file) {
    // A manifest is a few kilobytes; an image named as the manifest by mistake is not read whole.
    Bytes text = ReadFileBytes(file, "manifest", kManifestMax, "manifest " + file.string());
    json j;
    std::string error;
    if (!platform::ParseJsonText(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), j, error,
                                 true))
        throw PackError("manifest " + file.string() + ": " + error);
    std::filesystem::path folder = file.parent_path();
    if (folder.empty()) folder = ".";
    try {
        return ParseManifest(j, folder);
    } catch (const PackError& e) {
        throw PackError("manifest " + file.string() + ": " + e.what());
    }
}

}  // namespace orvane::pack
