// The device object's NVMe firmware update through the miniport firmware requests of an open
// kind-16 device: slot information, the chunked download, the activation.
#include <cstring>
#include <memory>
#include <new>

#include "device/ata_device.h"
#include "device/nvme_firmware.h"
#include "platform/win_errors.h"

namespace orvane::device {

namespace r = orvane::records;

std::string TAtaDevice::last_error_text() {
    // The platform's text comes without the line break the system message ends with.
    std::string message = platform_.storage ? platform_.storage->ErrorText(dwLastError) : std::string();
    return Format("<%u> -- ", dwLastError) + message;
}

IoResult TAtaDevice::SendMiniport(uint8_t* buffer, uint32_t size) {
    if (!EnsureOpen()) return IoResult{false, 0, platform::kErrorInvalidHandle};
    return hDevice->Control(r::IOCTL_SCSI_MINIPORT, buffer, size, size);
}

bool TAtaDevice::DeviceGetFirmwareInfo(uint8_t* buffer, uint32_t size, bool verbose) {
    const bool filled = FillFirmwareRequest(buffer, size, r::FIRMWARE_FUNCTION_GET_INFO);
    write_debug("DeviceGetFirmwareInfo - before deviceioctrl\n");
    IoResult io{false, 0, platform::kErrorInsufficientBuffer};
    if (filled) io = SendMiniport(buffer, size);
    write_debug("DeviceGetFirmwareInfo - after deviceioctrl\n");
    if (!io.ok) {
        dwLastError = io.last_error;
        if (verbose) write_debug(Format("Get Firmware Information Failed: %s\n", last_error_text().c_str()));
        return false;
    }
    if (!verbose) return true;
    const NvmeFirmwareInfo info = ParseFirmwareInfo(buffer + r::kFirmwareDataOffset, size - r::kFirmwareDataOffset);
    std::string s = "<< Firmware Information >>\n";
    s += Format("Support upgrade command: %s\n", info.upgrade_support ? "Yes" : "No");
    s += Format("Slot Count: %d\n", info.slot_count);
    s += Format("Current Active Slot: %d\n", info.active_slot);
    s += info.pending_slot == r::kNoPendingSlot ? std::string("Pending Active Slot: No\n")
                                                : Format("Pending Active Slot: %d\n", info.pending_slot);
    // Each slot's block is set off by a blank at the end of the line before it, and the dump
    // ends with one, so that no line of the log starts with it.
    const auto blank = [&s] { s.insert(s.size() - 1, " "); };
    for (const r::STORAGE_FIRMWARE_SLOT_INFO& slot : info.slots) {
        blank();
        s += Format("Slot Number: %d\n", slot.SlotNumber);
        s += Format("Slot Read Only: %s\n", slot.ReadOnly ? "Yes" : "No");
        s += Format("Revision: %s\n", RevisionText(slot).c_str());
    }
    blank();
    write_debug(s);
    return true;
}

bool TAtaDevice::nvme_flash_firmware(const uint8_t* image, uint32_t size, uint32_t commit_action, uint32_t slot) {
    nvme_restart_required_ = false;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kNvmeRequestSize]);
    if (!buffer) {
        dwLastError = platform::kErrorNotEnoughMemory;
        write_debug(Format("Allocate buffer failed: %s \n", last_error_text().c_str()));
        return false;
    }
    uint8_t* buf = buffer.get();
    if (!image && size) {
        write_debug("No firmware image to download \n");
        return false;
    }

    write_debug("Get firmware slot information data ... \n");
    if (!DeviceGetFirmwareInfo(buf, kNvmeRequestSize, true)) return false;
    if (const uint32_t code = FirmwareReturnCode(buf); code != 0) {
        write_debug(Format("Get firmware information failed. SRB ReturnCode %d\n", static_cast<int>(code)));
        return false;
    }
    const NvmeFirmwareInfo info =
        ParseFirmwareInfo(buf + r::kFirmwareDataOffset, kNvmeRequestSize - r::kFirmwareDataOffset);
    const SlotChoice choice = ChooseFirmwareSlot(info, slot);
    if (choice.slot < 0) {
        write_debug("No writable firmware slot \n");
        return false;
    }
    if (choice.read_only_requested)
        write_debug(Format("Firmware slot %u is read only, use slot %d \n", slot, choice.slot));

    write_debug(Format("Download the firmware image - slot number: %d , size : %d (%04X) ...\n", choice.slot,
                       static_cast<int>(size), size));
    // 64 bits: the last chunk of an image near 4 GB must not wrap the offset back to the start.
    for (uint64_t offset = 0;; offset += kNvmeChunkSize) {
        FillFirmwareRequest(buf, kNvmeRequestSize, r::FIRMWARE_FUNCTION_DOWNLOAD);
        if (offset >= size) {
            write_debug("No more to download\n");
            break;
        }
        FillFirmwareDownload(buf, image, size, offset);
        // The chunk's first bytes, zeros past the image's end.
        const uint8_t* b = buf + r::kFirmwareDataOffset + sizeof(r::STORAGE_FIRMWARE_DOWNLOAD);
        write_debug(Format("OFFSET : %08Xh , LEN : %04Xh , Buf : %02X %02X %02X %02X %02X\n",
                           static_cast<uint32_t>(offset), kNvmeChunkSize, b[0], b[1], b[2], b[3], b[4]));
        const IoResult io = SendMiniport(buf, kNvmeRequestSize);
        if (!io.ok) {
            dwLastError = io.last_error;
            write_debug(Format("DeviceIoControl - firmware download failed. %s\n", last_error_text().c_str()));
            return false;
        }
        if (const uint32_t code = FirmwareReturnCode(buf); code != 0) {
            write_debug(Format("Firmware Upgrade - firmware download failed. srbControl->ReturnCode %d\n",
                               static_cast<int>(code)));
            return false;
        }
    }

    write_debug("Activate the assigned firmware slot ... \n");
    FillFirmwareRequest(buf, kNvmeRequestSize, r::FIRMWARE_FUNCTION_ACTIVATE);
    FillFirmwareActivate(buf, commit_action, static_cast<uint8_t>(choice.slot));
    const IoResult io = SendMiniport(buf, kNvmeRequestSize);
    if (!io.ok) {
        dwLastError = io.last_error;
        write_debug(Format("DeviceIoControl - firmware activate failed. %s\n", last_error_text().c_str()));
        return false;
    }
    // Only the drive's word counts: an activation it refused leaves the old firmware running.
    const uint32_t code = FirmwareReturnCode(buf);
    write_debug(ActivateLine(code));
    nvme_restart_required_ = code == r::FIRMWARE_STATUS_POWER_CYCLE_REQUIRED;
    return ActivateSucceeded(code);
}

}  // namespace orvane::device
