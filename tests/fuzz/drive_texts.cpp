// A drive entry's texts against a package's eligibility records, as the drive list checks them.
// Input: a flags byte (bit 0 bExisted, bit 1 bIsNvme, bit 2 bUseFWExt), iFWCount (signed), the
// records' base (0 the build's own, 1 all empty, 2 all for another model), then the four drive
// fields szModelChk, szModel, szFW, szDEF: each a length byte (cut to the field's width) and that
// many bytes; then records: a position byte (group = byte / 8 % 15, record = byte % 8) and the
// record's 56 bytes (FWS 8, FWE 8, model 40). Each field lies in a buffer of its exact length, so
// a read past it is caught.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "package/eligibility.h"
#include "package/package_block.h"
#include "package/package_info.h"

using namespace orvane::package;

namespace {

const PackageInfo& BuildPackage() {
    static const PackageInfo info = [] {
        ParseResult r = ParsePackage(PackageBlockBytes(), PackageBlockSize());
        if (!r.ok) std::abort();
        return r.info;
    }();
    return info;
}

std::vector<char> Field(orvane::fuzz::FuzzInput& in, size_t width) {
    const size_t n = in.Byte() % (width + 1);
    std::vector<uint8_t> bytes = in.Bytes(n);
    return std::vector<char>(bytes.begin(), bytes.end());
}

std::string_view View(const std::vector<char>& v) { return {v.data(), v.size()}; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    orvane::fuzz::FuzzInput in(data, size);
    const uint8_t flags = in.Byte();
    PackageInfo p = BuildPackage();
    p.opt.iFWCount = static_cast<int8_t>(in.Byte());
    p.opt.bUseFWExt = (flags & 4) != 0;
    const uint8_t base = in.Byte() % 3;
    for (auto& group : p.records) {
        for (EligibilityRecord& rec : group) {
            if (base == 0) continue;
            std::memset(&rec, 0, sizeof rec);
            if (base == 2) std::memcpy(rec.szModel, "NOBODY", 6);
        }
    }

    const std::vector<char> model_chk = Field(in, 40), model = Field(in, 40), fw = Field(in, 8), def = Field(in, 8);
    while (in.left() > 0) {
        const uint8_t at = in.Byte();
        EligibilityRecord& rec = p.records[at / 8 % kSlotCount][at % 8];
        std::vector<uint8_t> bytes = in.Bytes(56);
        if (!bytes.empty()) std::memcpy(&rec, bytes.data(), bytes.size());
    }

    DriveFacts d;
    d.bExisted = (flags & 1) != 0;
    d.bIsNvme = (flags & 2) != 0;
    d.szModelChk = View(model_chk);
    d.szModel = View(model);
    d.szFW = View(fw);
    d.szDEF = View(def);

    std::string log;
    size_t lines = 0;
    const Eligibility e = ChkConstraint(d, p, [&](const std::string& line) {
        log += line;
        log += '\n';
        ++lines;
    });
    if (lines == 0) std::abort();
    if (e.bEnabled) {
        const int groups = p.opt.iFWCount < 0 ? 0 : (p.opt.iFWCount > kSlotCount ? kSlotCount : p.opt.iFWCount);
        if (!d.bExisted || e.wSlot >= groups) std::abort();  // enabled only by a group that exists
    }
    return 0;
}
