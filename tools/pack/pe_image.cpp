#include "pack/pe_image.h"

#include <string>

#include "pack/pack_error.h"

namespace orvane::pack {
namespace {

using Bytes = std::vector<uint8_t>;

// Header offsets of the published PE layout, from the start of the structure named.
constexpr size_t kLfanewAt = 0x3c;            // IMAGE_DOS_HEADER.e_lfanew
constexpr size_t kFileHeaderSize = 20;        // IMAGE_FILE_HEADER
constexpr size_t kSectionCountAt = 2;         // IMAGE_FILE_HEADER.NumberOfSections
constexpr size_t kOptionalSizeAt = 16;        // IMAGE_FILE_HEADER.SizeOfOptionalHeader
constexpr size_t kChecksumAt = 64;            // IMAGE_OPTIONAL_HEADER(32|64).CheckSum
constexpr size_t kSectionHeaderSize = 40;     // IMAGE_SECTION_HEADER
constexpr size_t kRawSizeAt = 16;             // IMAGE_SECTION_HEADER.SizeOfRawData
constexpr size_t kRawPointerAt = 20;          // IMAGE_SECTION_HEADER.PointerToRawData
constexpr size_t kSecurityIndex = 4;          // IMAGE_DIRECTORY_ENTRY_SECURITY
constexpr uint16_t kMagic32 = 0x10b;
constexpr uint16_t kMagic64 = 0x20b;

uint16_t U16(const Bytes& f, size_t at) { return uint16_t(f[at] | f[at + 1] << 8); }
uint32_t U32(const Bytes& f, size_t at) { return uint32_t(U16(f, at)) | uint32_t(U16(f, at + 2)) << 16; }
void Put32(Bytes& f, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = uint8_t(v >> (8 * i));
}

// [at, at + n) lies inside the file; written so that nothing can wrap.
bool Fits(const Bytes& f, size_t at, size_t n) { return at <= f.size() && n <= f.size() - at; }

struct Sections {
    size_t table_end;  // first byte after the section headers
    size_t count;
    size_t table_at;
};

Sections SectionTable(const Bytes& f, size_t pe) {
    const size_t optional_at = pe + 4 + kFileHeaderSize;
    const size_t table_at = optional_at + U16(f, pe + 4 + kOptionalSizeAt);
    const size_t count = U16(f, pe + 4 + kSectionCountAt);
    if (!Fits(f, table_at, count * kSectionHeaderSize))
        throw PackError("the program's section table is cut short by the end of the file");
    return {table_at + count * kSectionHeaderSize, count, table_at};
}

}  // namespace

std::optional<PeLayout> ReadPeLayout(const Bytes& f) {
    if (f.size() < kLfanewAt + 4 || f[0] != 'M' || f[1] != 'Z') return std::nullopt;
    const size_t pe = U32(f, kLfanewAt);
    if (!Fits(f, pe, 4) || f[pe] != 'P' || f[pe + 1] != 'E' || f[pe + 2] != 0 || f[pe + 3] != 0)
        return std::nullopt;

    const size_t optional_at = pe + 4 + kFileHeaderSize;
    if (!Fits(f, pe + 4, kFileHeaderSize + 2))
        throw PackError("the program's PE headers are cut short by the end of the file");
    const size_t optional_size = U16(f, pe + 4 + kOptionalSizeAt);
    const uint16_t magic = U16(f, optional_at);
    if (magic != kMagic32 && magic != kMagic64)
        throw PackError("the program's optional header is neither PE32 nor PE32+ (magic " + std::to_string(magic) + ")");
    PeLayout out;
    out.pe32_plus = magic == kMagic64;
    if (optional_size < kChecksumAt + 4 || !Fits(f, optional_at, optional_size))
        throw PackError("the program's optional header is cut short (" + std::to_string(optional_size) +
                        " bytes declared, " + std::to_string(f.size() - optional_at) + " in the file)");
    out.checksum_at = optional_at + kChecksumAt;

    // The data directories follow the fixed fields, whose size differs between the widths.
    const size_t fixed = out.pe32_plus ? 112 : 96;
    if (optional_size >= fixed) {
        const size_t entries = U32(f, optional_at + fixed - 4);  // NumberOfRvaAndSizes
        const size_t entry_at = optional_at + fixed + 8 * kSecurityIndex;
        if (entries > kSecurityIndex && entry_at + 8 <= optional_at + optional_size) {
            out.security_entry_at = entry_at;
            out.cert_offset = U32(f, entry_at);
            out.cert_size = U32(f, entry_at + 4);
        }
    }
    SectionTable(f, pe);  // a program without its whole section table is refused here, not later
    return out;
}

bool StripCertificateTable(Bytes& f, const PeLayout& pe) {
    if (!pe.has_certificates()) return false;
    const std::string where = "the program's certificate table (offset " + std::to_string(pe.cert_offset) +
                              ", " + std::to_string(pe.cert_size) + " bytes, file " + std::to_string(f.size()) +
                              " bytes) ";
    if (pe.cert_offset == 0 || pe.cert_size == 0)
        throw PackError(where + "is half declared: cannot tell what to remove");
    if (!Fits(f, pe.cert_offset, pe.cert_size)) throw PackError(where + "lies outside the file");
    if (size_t(pe.cert_offset) + pe.cert_size != f.size())
        throw PackError(where + "is not at the end of the file: something follows it, not removed");
    if (pe.cert_offset % 8 != 0) throw PackError(where + "is not 8-byte aligned");
    const size_t pe_at = U32(f, kLfanewAt);
    const Sections s = SectionTable(f, pe_at);
    if (pe.cert_offset < s.table_end) throw PackError(where + "overlaps the program's headers");
    for (size_t i = 0; i < s.count; ++i) {
        const size_t h = s.table_at + i * kSectionHeaderSize;
        const uint64_t raw_end = uint64_t(U32(f, h + kRawPointerAt)) + U32(f, h + kRawSizeAt);
        if (U32(f, h + kRawSizeAt) != 0 && raw_end > pe.cert_offset)
            throw PackError(where + "overlaps section " + std::to_string(i + 1) + "'s data");
    }
    Put32(f, pe.security_entry_at, 0);
    Put32(f, pe.security_entry_at + 4, 0);
    f.resize(pe.cert_offset);
    return true;
}

uint32_t ComputePeChecksum(const Bytes& f, const PeLayout& pe) {
    // Bytes of the CheckSum field count as zero; the field need not be word-aligned.
    auto byte = [&](size_t i) -> uint32_t { return i >= f.size() || i - pe.checksum_at < 4 ? 0 : f[i]; };
    uint32_t sum = 0;
    for (size_t i = 0; i < f.size(); i += 2) {
        sum += byte(i) | byte(i + 1) << 8;
        sum = (sum & 0xffff) + (sum >> 16);
    }
    sum = (sum & 0xffff) + (sum >> 16);
    return sum + uint32_t(f.size());
}

uint32_t StoredPeChecksum(const Bytes& f, const PeLayout& pe) { return U32(f, pe.checksum_at); }

void WritePeChecksum(Bytes& f, const PeLayout& pe) { Put32(f, pe.checksum_at, ComputePeChecksum(f, pe)); }

}  // namespace orvane::pack
