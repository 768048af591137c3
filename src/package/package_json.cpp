#include "package/package_json.h"
#include "text/text.h"

#include <cstring>
#include <string>

namespace orvane::package {
namespace {

// Field bytes are single-byte text of any code page; reading them as Latin-1 keeps
// every byte and always gives valid UTF-8, which the JSON writer insists on.
std::string Latin1Field(const char* field, size_t width) {
    std::string out;
    for (size_t i = 0; i < width && field[i] != '\0'; ++i) {
        auto c = static_cast<unsigned char>(field[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// The rule the eligibility check applies to a group's first record.
bool IsPlaceholder(const EligibilityRecord& r) {
    std::string fws = text::Trim(Latin1Field(r.szFWS, 8));
    std::string fwe = text::Trim(Latin1Field(r.szFWE, 8));
    std::string model = text::Trim(Latin1Field(r.szModel, 40));
    return fws.compare(0, 4, "#FLS") == 0 && fwe.starts_with('#') && model.starts_with('#');
}

}  // namespace

nlohmann::json DescribePackage(const PackageInfo& info) {
    using nlohmann::json;
    const PackageOptions& o = info.opt;
    json j;
    j["version"] = Latin1Field(info.version.c_str(), info.version.size());
    j["banner"] = Latin1Field(info.banner.c_str(), info.banner.size());
    j["target_model"] = Latin1Field(info.target_model.c_str(), info.target_model.size());
    j["iVisualStyle"] = o.iVisualStyle;
    j["iLanguage"] = o.iLanguage;
    j["iFlashMode"] = o.iFlashMode;
    j["iFWCount"] = o.iFWCount;

    json options = json::object();
    for (const OptionDigit& d : kOptionDigits) {
        if (d.numeric)
            options[d.name] = o.*d.number;
        else
            options[d.name] = o.*d.flag;
    }
    j["options"] = options;

    json slots = json::array();
    const int in_use = o.iFWCount < 0 ? 0 : (o.iFWCount > kSlotCount ? kSlotCount : o.iFWCount);
    for (int n = 0; n < in_use; ++n) {
        const SlotInfo& s = info.slots[n];
        json slot = {{"start", s.start},
                     {"size", s.size},
                     {"new_fw", Latin1Field(s.new_fw, 8)},
                     {"fw_ext", Latin1Field(s.fw_ext, 8)}};
        const auto& group = info.records[n];
        if (!IsPlaceholder(group[0])) {
            json records = json::array();
            for (const EligibilityRecord& r : group) {
                if (IsPlaceholder(r)) continue;
                records.push_back({{"fws", text::Trim(Latin1Field(r.szFWS, 8))},
                                   {"fwe", text::Trim(Latin1Field(r.szFWE, 8))},
                                   {"model", text::Trim(Latin1Field(r.szModel, 40))}});
            }
            slot["records"] = records;
        }
        slots.push_back(slot);
    }
    j["slots"] = slots;

    json aux = json::object();
    for (int k = 0; k < kAuxCount; ++k)
        if (info.aux[k].size != 0) aux[kAuxSlots[k].tag] = {{"size", info.aux[k].size}};
    j["aux"] = aux;
    return j;
}

}  // namespace orvane::package
