// The build's own package block. It must stay a writable object in initialised
// data: the packer rewrites these bytes in the executable file, so the program
// may not let the compiler fold them into constants.
#include "package/package_block.h"
#include "package/package_layout.h"

namespace orvane::package {
namespace {

template <size_t N>
constexpr void Put(char (&field)[N], const char* text) {
    size_t i = 0;
    for (; text[i] && i < N; ++i) field[i] = text[i];
}

constexpr void PutDigits(char (&field)[10], uint32_t value) {
    for (int i = 9; i >= 0; --i) {
        field[i] = char('0' + value % 10);
        value /= 10;
    }
}

constexpr PackageHeader MakeHeader() {
    PackageHeader h{};
    Put(h.credit, "[Mereth FW Team]");
    Put(h.version, "v3.1.10");
    Put(h.phone, "+886-3-5550100");
    Put(h.banner, "Mereth Orvane Utility for Windows");
    Put(h.date, "2016/01/25");
    Put(h.target_model, "MERETH QZ4-AB256");

    for (int g = 0; g < kSlotCount; ++g) {
        for (int r = 0; r < kRecordsPerGroup; ++r) {
            EligibilityRecord& rec = h.records[g][r];
            Put(rec.szFWS, "#FLSH");
            rec.szFWS[5] = SlotDigit(g);
            rec.szFWS[6] = char('1' + r);
            Put(rec.szFWE, "#");
            Put(rec.szModel, "#");
        }
    }
    EligibilityRecord& first = h.records[0][0];
    first = EligibilityRecord{};
    Put(first.szFWS, "1.0!");
    Put(first.szFWE, "1.0~");
    Put(first.szModel, "TOLBERN TQ-256K7KW                      ");

    Put(h.option_marker, "PARA_OPT=");
    h.iVisualStyle = 0;
    h.iLanguage = 0;
    h.iFlashMode = 1;
    h.iFWCount = 1;
    Put(h.digits, "0000000011101000000000002100");

    for (int n = 0; n < kSlotCount; ++n) {
        Put(h.start[n].label, "BIN_START?=");
        h.start[n].label[9] = SlotDigit(n);
        PutDigits(h.start[n].digits, 0);
        Put(h.size[n].label, n == 0 ? "BIN_SIZE1B=" : "BIN_SIZE? =");
        if (n != 0) h.size[n].label[8] = SlotDigit(n);
        PutDigits(h.size[n].digits, n == 0 ? 394240 : 0);
        Put(h.new_fw[n].label, "NEW_FW?=");
        h.new_fw[n].label[6] = SlotDigit(n);
        Put(h.new_fw[n].value, n == 0 ? "1.02" : "N/A     ");
        Put(h.fw_ext[n].label, "FW_EXT?=");
        h.fw_ext[n].label[6] = SlotDigit(n);
        Put(h.fw_ext[n].value, n == 0 ? "GM802030" : "N/A     ");
    }
    Put(h.boot_code, "BOOT_CODE_HERE");
    return h;
}

constexpr AuxDirectory MakeAuxDirectory() {
    AuxDirectory a{};
    Put(a.aes_buf, "AES_BUF_HERE");
    size_t off = 0;
    for (int k = 0; k < kAuxCount; ++k) {
        const char* tag = kAuxSlots[k].tag;
        for (size_t i = 0; tag[i]; ++i) a.slots[k][i] = tag[i];
        const char* label = kAuxSlots[k].size_label;
        size_t n = 0;
        for (; label[n]; ++n) a.size_fields[off + n] = label[n];
        for (size_t i = 0; i < 10; ++i) a.size_fields[off + n + i] = '0';
        off += n + 11;
    }
    return a;
}

constinit PackageBlock g_PackageBlock = {MakeHeader(), {}, MakeAuxDirectory(), {}};

}  // namespace

const uint8_t* PackageBlockBytes() {
    const void* p = &g_PackageBlock;
    // Hide the object's identity from the optimiser: the bytes are whatever the file holds.
    asm volatile("" : "+r"(p));
    return static_cast<const uint8_t*>(p);
}

size_t PackageBlockSize() { return sizeof(PackageBlock); }

}  // namespace orvane::package
