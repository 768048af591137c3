#include "device/nvme_firmware.h"

#include <algorithm>
#include <cstring>

#include "text/format.h"

namespace orvane::device {

namespace r = orvane::records;

static_assert(kNvmeRequestSize == 4172);
static_assert((kNvmeRequestSize - r::kFirmwareDataOffset - sizeof(r::STORAGE_FIRMWARE_DOWNLOAD)) / 4 * 4 ==
              kNvmeChunkSize);

namespace {

constexpr uint32_t kRecordVersion = 1;
constexpr uint32_t kDownloadOffset = r::kFirmwareDataOffset;
constexpr uint32_t kImageOffset = kDownloadOffset + sizeof(r::STORAGE_FIRMWARE_DOWNLOAD);

}  // namespace

bool FillFirmwareRequest(uint8_t* buffer, uint32_t size, uint32_t function) {
    if (!buffer || size < r::kFirmwareDataOffset) return false;
    std::memset(buffer, 0, size);
    r::SRB_IO_CONTROL_WITH_FIRMWARE head{};
    head.SrbIoCtrl.HeaderLength = sizeof(r::SRB_IO_CONTROL);
    std::memcpy(head.SrbIoCtrl.Signature, r::FIRMWARE_SIGNATURE, sizeof head.SrbIoCtrl.Signature);
    head.SrbIoCtrl.Timeout = kNvmeRequestTimeout;
    head.SrbIoCtrl.ControlCode = r::IOCTL_SCSI_MINIPORT_FIRMWARE;
    head.SrbIoCtrl.Length = size - sizeof(r::SRB_IO_CONTROL);
    head.FirmwareRequest.Version = r::FIRMWARE_REQUEST_BLOCK_STRUCTURE_VERSION;
    head.FirmwareRequest.Size = sizeof(r::FIRMWARE_REQUEST_BLOCK);
    head.FirmwareRequest.Function = function;
    head.FirmwareRequest.Flags = r::FIRMWARE_REQUEST_FLAG_CONTROLLER;
    head.FirmwareRequest.DataBufferOffset = r::kFirmwareDataOffset;
    head.FirmwareRequest.DataBufferLength = size - r::kFirmwareDataOffset;
    std::memcpy(buffer, &head, sizeof head);
    return true;
}

void FillFirmwareDownload(uint8_t* buffer, const uint8_t* image, uint32_t image_size, uint64_t offset) {
    r::STORAGE_FIRMWARE_DOWNLOAD d{};
    d.Version = kRecordVersion;
    d.Size = sizeof d;
    d.Offset = offset;
    d.BufferSize = kNvmeChunkSize;
    std::memcpy(buffer + kDownloadOffset, &d, sizeof d);
    uint8_t* chunk = buffer + kImageOffset;
    std::memset(chunk, 0, kNvmeChunkSize);
    if (image && offset < image_size)
        std::memcpy(chunk, image + offset, std::min<uint64_t>(kNvmeChunkSize, image_size - offset));
}

void FillFirmwareActivate(uint8_t* buffer, uint32_t commit_action, uint8_t slot) {
    r::STORAGE_FIRMWARE_ACTIVATE a{};
    a.Version = commit_action;
    a.Size = sizeof a;
    a.SlotToActivate = slot;
    std::memcpy(buffer + r::kFirmwareDataOffset, &a, sizeof a);
}

uint32_t FirmwareReturnCode(const uint8_t* buffer) {
    r::SRB_IO_CONTROL srb;
    std::memcpy(&srb, buffer, sizeof srb);
    return srb.ReturnCode;
}

NvmeFirmwareInfo ParseFirmwareInfo(const uint8_t* data, size_t length) {
    NvmeFirmwareInfo out;
    if (!data || length < sizeof(r::STORAGE_FIRMWARE_INFO)) return out;
    r::STORAGE_FIRMWARE_INFO head;
    std::memcpy(&head, data, sizeof head);
    out.complete = true;
    out.version = head.Version;
    out.size = head.Size;
    out.upgrade_support = head.UpgradeSupport;
    out.slot_count = head.SlotCount;
    out.active_slot = head.ActiveSlot;
    out.pending_slot = head.PendingActivateSlot;
    const size_t room = (length - sizeof head) / sizeof(r::STORAGE_FIRMWARE_SLOT_INFO);
    const size_t n = std::min<size_t>(head.SlotCount, room);
    out.slots.resize(n);
    if (n) std::memcpy(out.slots.data(), data + sizeof head, n * sizeof(r::STORAGE_FIRMWARE_SLOT_INFO));
    return out;
}

std::optional<std::array<char, 8>> ActiveSlotRevision(const NvmeFirmwareInfo& info) {
    // Slot numbers count from 1; an active slot of 0 names no entry, as one past the count does not.
    const size_t index = (info.active_slot == 0 || info.slot_count < info.active_slot) ? 0 : info.active_slot - 1u;
    if (index >= info.slots.size()) return std::nullopt;
    std::array<char, 8> rev;
    std::memcpy(rev.data(), info.slots[index].Revision, rev.size());
    return rev;
}

std::string RevisionText(const r::STORAGE_FIRMWARE_SLOT_INFO& slot) {
    const char* p = reinterpret_cast<const char*>(slot.Revision);
    return std::string(p, strnlen(p, sizeof slot.Revision));
}

SlotChoice ChooseFirmwareSlot(const NvmeFirmwareInfo& info, uint32_t requested) {
    SlotChoice c;
    if (!info.upgrade_support) return c;
    const r::STORAGE_FIRMWARE_SLOT_INFO* entry = nullptr;
    for (const auto& s : info.slots)
        if (!entry && s.SlotNumber == requested) entry = &s;
    if (info.slot_count >= requested) {
        // A read-only slot refuses every download: many drives keep slot 1 so.
        if (!entry || !entry->ReadOnly) {
            c.slot = static_cast<int>(requested);
            return c;
        }
        c.read_only_requested = true;
    }
    for (const auto& s : info.slots)
        // A slot reported read-only is not taken again, whatever a second entry of its number says.
        if (!s.ReadOnly && !(c.read_only_requested && s.SlotNumber == requested)) {
            c.slot = s.SlotNumber;
            break;
        }
    return c;
}

bool ActivateSucceeded(uint32_t code) {
    return code == r::FIRMWARE_STATUS_SUCCESS || code == r::FIRMWARE_STATUS_POWER_CYCLE_REQUIRED;
}

std::string ActivateLine(uint32_t code) {
    switch (code) {
    case r::FIRMWARE_STATUS_SUCCESS:
        return "Firmware activate succeeded \n";
    case r::FIRMWARE_STATUS_ERROR:
    case r::FIRMWARE_STATUS_CONTROLLER_ERROR:
        return "Firmware activate, error returned \n";
    case r::FIRMWARE_STATUS_ILLEGAL_REQUEST:
    case r::FIRMWARE_STATUS_INVALID_PARAMETER:
    case r::FIRMWARE_STATUS_INPUT_BUFFER_TOO_BIG:
        return text::Format("FirmwareUpgrade - firmware activate parameter error. srbControl->ReturnCode %d\n",
                            static_cast<int>(code));
    case r::FIRMWARE_STATUS_INVALID_SLOT:
        return "Firmware activate, slot number invalid \n";
    case r::FIRMWARE_STATUS_INVALID_IMAGE:
        return "Firmware activate, invalid firmware image \n";
    case r::FIRMWARE_STATUS_POWER_CYCLE_REQUIRED:
        return "Firmware activate succeeded. PLEASE REBOOT COMPUTER \n";
    default:
        return text::Format("Firmware activate, unexpected error. srbControl->ReturnCode %d\n",
                            static_cast<int>(code));
    }
}

}  // namespace orvane::device
