// The packer's PE reader on whatever base program it is given ("orvane-pack build" and "sign"):
// reading the headers, removing a certificate table and writing the checksum.
#include <cstdlib>
#include <vector>

#include "pack/pack_error.h"
#include "pack/pe_image.h"

using orvane::pack::PeLayout;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> file(data, data + size);
    try {
        const std::optional<PeLayout> pe = orvane::pack::ReadPeLayout(file);
        if (!pe) return 0;
        if (pe->checksum_at + 4 > file.size()) std::abort();
        const std::vector<uint8_t> before = file;
        try {
            if (orvane::pack::StripCertificateTable(file, *pe)) {
                // Cut where the table began, and read again as an unsigned program.
                if (file.size() != pe->cert_offset) std::abort();
                const std::optional<PeLayout> again = orvane::pack::ReadPeLayout(file);
                if (!again || again->has_certificates()) std::abort();
            } else if (file != before) {
                std::abort();
            }
        } catch (const orvane::pack::PackError&) {
            if (file != before) std::abort();  // a refusal leaves the file as it was
        }
        orvane::pack::WritePeChecksum(file, *pe);
        if (orvane::pack::StoredPeChecksum(file, *pe) != orvane::pack::ComputePeChecksum(file, *pe)) std::abort();
    } catch (const orvane::pack::PackError&) {
    }
    return 0;
}
