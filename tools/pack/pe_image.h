#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace orvane::pack {

// Where the fields the packer edits lie in a Windows program file (PE32 or PE32+).
struct PeLayout {
    bool pe32_plus = false;
    size_t checksum_at = 0;         // file offset of the optional header's CheckSum
    size_t security_entry_at = 0;   // file offset of the certificate table's directory entry; 0: none
    uint32_t cert_offset = 0;       // the certificate table: a file offset, not an address
    uint32_t cert_size = 0;

    bool has_certificates() const { return cert_offset != 0 || cert_size != 0; }
};

// The layout of a Windows program; nullopt for a file that is none (no "MZ", or no "PE\0\0"
// where the DOS header points). Throws PackError for one whose headers are cut short or
// contradict themselves.
std::optional<PeLayout> ReadPeLayout(const std::vector<uint8_t>& file);

// Removes the certificate table: clears its directory entry and cuts the file where the table
// starts. Returns false (file untouched) when there is none. Throws PackError, file untouched,
// when the table is not the last thing in the file or lies outside it.
bool StripCertificateTable(std::vector<uint8_t>& file, const PeLayout& pe);

// The PE checksum of the file as it is, with its CheckSum field counted as zero.
uint32_t ComputePeChecksum(const std::vector<uint8_t>& file, const PeLayout& pe);

// The value the CheckSum field holds.
uint32_t StoredPeChecksum(const std::vector<uint8_t>& file, const PeLayout& pe);

// Computes the checksum and writes it into the CheckSum field.
void WritePeChecksum(std::vector<uint8_t>& file, const PeLayout& pe);

}  // namespace orvane::pack
