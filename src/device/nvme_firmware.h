#pragma once
// The miniport firmware requests of an NVMe drive as bytes: builders that fill a caller's
// request buffer, the parser of the get-information answer, and the rules the update applies
// to it (which slot, what an activate's status means). No I/O here.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/records/firmware.h"

namespace orvane::device {

// Image bytes per download request: what a request buffer of kNvmeRequestSize leaves after
// the headers and the download record, rounded down to whole 32-bit words.
constexpr uint32_t kNvmeChunkSize = 4096;
constexpr uint32_t kNvmeRequestSize =
    records::kFirmwareDataOffset + kNvmeChunkSize + sizeof(records::STORAGE_FIRMWARE_DOWNLOAD);
constexpr uint32_t kNvmeRequestTimeout = 30;  // seconds, in the SRB header

// Zeroes the `size` bytes of buffer and fills the SRB header and the request block for
// `function`, both sized from `size`. False (nothing written) when the headers do not fit.
bool FillFirmwareRequest(uint8_t* buffer, uint32_t size, uint32_t function);
// The download record after the headers: the image's bytes from `offset` (zeros past the
// image's end), declared as a whole chunk. The buffer must hold kNvmeRequestSize bytes.
void FillFirmwareDownload(uint8_t* buffer, const uint8_t* image, uint32_t image_size, uint64_t offset);
// The activate record: the commit action in its first field, its size, the slot.
void FillFirmwareActivate(uint8_t* buffer, uint32_t commit_action, uint8_t slot);
// The SRB header's ReturnCode, as the driver left it.
uint32_t FirmwareReturnCode(const uint8_t* buffer);

struct NvmeFirmwareInfo {
    bool complete = false;  // the 16 fixed bytes were there
    uint32_t version = 0;
    uint32_t size = 0;
    uint8_t upgrade_support = 0;
    uint8_t slot_count = 0;
    uint8_t active_slot = 0;
    uint8_t pending_slot = 0;
    // The entries of the first slot_count that lie wholly inside the answer.
    std::vector<records::STORAGE_FIRMWARE_SLOT_INFO> slots;
};

// STORAGE_FIRMWARE_INFO from the `length` bytes of an answer. Reads nothing past them, whatever
// SlotCount claims.
NvmeFirmwareInfo ParseFirmwareInfo(const uint8_t* data, size_t length);

// The running firmware's 8 revision bytes: entry ActiveSlot - 1, or the first entry when the
// active slot is 0 or above the slot count; none when that entry is not in the answer.
std::optional<std::array<char, 8>> ActiveSlotRevision(const NvmeFirmwareInfo& info);

// The 8 revision bytes as text, up to their first NUL.
std::string RevisionText(const records::STORAGE_FIRMWARE_SLOT_INFO& slot);

struct SlotChoice {
    int slot = -1;             // -1: no writable slot
    bool read_only_requested = false;  // the requested slot is read-only; slot is another one
};

// The slot a download goes to. With upgrade support: the requested slot when the slot count
// reaches it and its entry is not read-only; else the first entry that is not read-only.
// Without upgrade support, or with no writable entry: none.
SlotChoice ChooseFirmwareSlot(const NvmeFirmwareInfo& info, uint32_t requested);

// Whether an activate that answered `code` leaves the new firmware in place (0x20: after a
// power cycle), and the debug line it is logged with.
bool ActivateSucceeded(uint32_t code);
std::string ActivateLine(uint32_t code);

}  // namespace orvane::device
