// The strict conversions of setup and WMI texts: numbers and GUIDs.
#include <charconv>
#include <cstdlib>
#include <string>

#include "discovery/text_convert.h"
#include "text/text.h"

using namespace orvane::discovery;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view s(reinterpret_cast<const char*>(data), size);
    std::string_view t = Trim(s);
    if (t.size() > s.size()) std::abort();
    if (orvane::text::ToUpper(s).size() != s.size()) std::abort();

    int64_t i = 0;
    uint64_t u = 0;
    bool signed_ok = ToInt64(s, i);
    bool unsigned_ok = ToUInt64(s, u);
    // Plain digits convert to the same value both ways as long as they fit.
    if (signed_ok && unsigned_ok && i >= 0 && static_cast<uint64_t>(i) != u) std::abort();

    orvane::platform::Guid g{};
    if (ParseUuid(s, g)) {
        // A GUID that parsed prints back as the same text in braces, in upper case.
        std::string braced = GuidBraced(g);
        if (braced != "{" + orvane::text::ToUpper(s) + "}") std::abort();
    }
    return 0;
}
