#include "platform/sim/sim_nvme.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "platform/records/firmware.h"
#include "platform/sim/sim_image_tag.h"
#include "platform/sim/sim_json_fields.h"
#include "platform/win_errors.h"

namespace orvane::platform::sim {

namespace r = orvane::records;

namespace {

using nlohmann::json;
using namespace fields;

// More than any firmware image; it bounds what a run of downloads can make the simulation hold.
constexpr uint64_t kMaxImage = 64u << 20;

uint32_t StatusNumber(const json& j, const std::string& path) {
    if (j.is_string()) {
        const std::string s = j.get<std::string>();
        size_t used = 0;
        unsigned long long v = 0;
        try {
            v = std::stoull(s, &used, 0);
        } catch (...) {
            used = 0;
        }
        if (used == 0 || used != s.size() || v > 0xFFFFFFFFull) Fail(path, "expected a number or \"0x..\" text");
        return static_cast<uint32_t>(v);
    }
    return static_cast<uint32_t>(Unsigned(j, path, 0xFFFFFFFFu));
}

void Read(const json& j, const std::string& p, SimNvmeDesc& d) {
    Object(j, p);
    OnlyKeys(j, p, {"upgrade_support", "slots", "slot_count", "active_slot", "pending_slot", "activate_status",
                    "firmware_requests", "revision_offset", "next_revision", "restart_seconds", "comment"});
    if (j.contains("upgrade_support")) d.upgrade_support = Bool(j["upgrade_support"], p + ".upgrade_support");
    if (j.contains("slots")) {
        const json& a = j["slots"];
        if (!a.is_array() || a.size() > 255) Fail(p + ".slots", "expected an array of at most 255 slots");
        std::set<uint8_t> numbers;
        for (size_t i = 0; i < a.size(); ++i) {
            const std::string sp = p + ".slots[" + std::to_string(i) + "]";
            Object(a[i], sp);
            OnlyKeys(a[i], sp, {"number", "read_only", "revision", "staged_revision"});
            SimNvmeSlot s;
            s.number = static_cast<uint8_t>(i + 1);
            if (a[i].contains("number"))
                s.number = static_cast<uint8_t>(Unsigned(a[i]["number"], sp + ".number", 255));
            if (a[i].contains("read_only")) s.read_only = Bool(a[i]["read_only"], sp + ".read_only");
            if (a[i].contains("revision")) s.revision = Text(a[i]["revision"], sp + ".revision", 8);
            if (a[i].contains("staged_revision") && !a[i]["staged_revision"].is_null())
                d.staged[s.number] = Text(a[i]["staged_revision"], sp + ".staged_revision", 8);
            if (!numbers.insert(s.number).second) Fail(sp + ".number", "the same slot number twice");
            d.slots.push_back(s);
        }
    }
    d.slot_count = static_cast<uint8_t>(d.slots.size());
    if (j.contains("slot_count")) d.slot_count = static_cast<uint8_t>(Unsigned(j["slot_count"], p + ".slot_count", 255));
    if (j.contains("active_slot"))
        d.active_slot = static_cast<uint8_t>(Unsigned(j["active_slot"], p + ".active_slot", 255));
    if (j.contains("pending_slot") && !j["pending_slot"].is_null())
        d.pending_slot = static_cast<uint8_t>(Unsigned(j["pending_slot"], p + ".pending_slot", 255));
    if (j.contains("activate_status")) d.activate_status = StatusNumber(j["activate_status"], p + ".activate_status");
    if (j.contains("firmware_requests")) d.firmware_requests = Bool(j["firmware_requests"], p + ".firmware_requests");
    if (j.contains("revision_offset"))
        d.revision_offset = static_cast<uint32_t>(Unsigned(j["revision_offset"], p + ".revision_offset", kMaxImage - 8));
    if (j.contains("next_revision")) d.next_revision = Text(j["next_revision"], p + ".next_revision", 8);
    if (j.contains("restart_seconds")) {
        const json& r = j["restart_seconds"];
        if (!r.is_number() || r.get<double>() < 0 || r.get<double>() > 1e6)
            Fail(p + ".restart_seconds", "expected a number of seconds from 0 to 1000000");
        d.restart_seconds = r.get<double>();
    }
    if (d.revision_offset && d.next_revision) Fail(p + ".next_revision", "give revision_offset or next_revision, not both");
}

void PutRevision(uint8_t (&field)[8], const std::string& text) {
    std::memset(field, 0, sizeof field);
    std::memcpy(field, text.data(), std::min(text.size(), sizeof field));
}

}  // namespace

bool ParseNvmeDesc(const json& j, const std::string& path, SimNvmeDesc& out, std::string& error) {
    return ReadObject(j, path, out, error, Read);
}

SimNvmeSlot* SimNvmeDrive::Slot(uint8_t number) {
    for (SimNvmeSlot& s : state_.slots)
        if (s.number == number) return &s;
    return nullptr;
}

std::optional<IoResult> SimNvmeDrive::Control(uint8_t* buffer, uint32_t in_len, uint32_t out_len) {
    r::SRB_IO_CONTROL_WITH_FIRMWARE head;
    if (!buffer || in_len < sizeof head) return std::nullopt;
    std::memcpy(&head, buffer, sizeof head);
    const r::SRB_IO_CONTROL& srb = head.SrbIoCtrl;
    if (std::memcmp(srb.Signature, r::FIRMWARE_SIGNATURE, sizeof srb.Signature) != 0 ||
        srb.ControlCode != r::IOCTL_SCSI_MINIPORT_FIRMWARE)
        return std::nullopt;
    if (!state_.firmware_requests) return IoResult{false, 0, kErrorInvalidFunction};
    // The port driver checks the header against the buffer before the miniport sees it.
    if (srb.HeaderLength != sizeof srb || out_len < in_len || uint64_t{srb.Length} + sizeof srb > in_len)
        return IoResult{false, 0, kErrorInvalidParameter};

    SimNvmeRequest req;
    const r::FIRMWARE_REQUEST_BLOCK& block = head.FirmwareRequest;
    req.function = block.Function;
    if (req.function == r::FIRMWARE_FUNCTION_DOWNLOAD) writes_.Add(write_kind::kNvmeDownload);
    if (req.function == r::FIRMWARE_FUNCTION_ACTIVATE) writes_.Add(write_kind::kNvmeCommit);
    uint32_t status = r::FIRMWARE_STATUS_INVALID_PARAMETER;
    if (block.Version != r::FIRMWARE_REQUEST_BLOCK_STRUCTURE_VERSION || block.Size < sizeof block ||
        block.DataBufferOffset < sizeof head ||
        uint64_t{block.DataBufferOffset} + block.DataBufferLength > in_len) {
        req.refusal = "request block";
    } else {
        uint8_t* data = buffer + block.DataBufferOffset;
        switch (block.Function) {
        case r::FIRMWARE_FUNCTION_GET_INFO: status = GetInfo(data, block.DataBufferLength); break;
        case r::FIRMWARE_FUNCTION_DOWNLOAD: status = Download(data, block.DataBufferLength, req); break;
        case r::FIRMWARE_FUNCTION_ACTIVATE: status = Activate(data, block.DataBufferLength, req); break;
        default:
            status = r::FIRMWARE_STATUS_ILLEGAL_REQUEST;
            req.refusal = "function";
        }
    }
    req.status = status;
    if (status == r::FIRMWARE_STATUS_OUTPUT_BUFFER_TOO_SMALL) req.refusal = "buffer too small";
    if (req.function == r::FIRMWARE_FUNCTION_DOWNLOAD && !req.refusal.empty()) ++refused_downloads_;
    requests_.push_back(req);
    head.SrbIoCtrl.ReturnCode = status;
    std::memcpy(buffer, &head.SrbIoCtrl, sizeof head.SrbIoCtrl);
    return IoResult{true, out_len, 0};
}

uint32_t SimNvmeDrive::GetInfo(uint8_t* data, uint32_t length) {
    const size_t entries = std::min<size_t>(state_.slots.size(), state_.slot_count);
    const size_t need = sizeof(r::STORAGE_FIRMWARE_INFO) + entries * sizeof(r::STORAGE_FIRMWARE_SLOT_INFO);
    if (length < need) return r::FIRMWARE_STATUS_OUTPUT_BUFFER_TOO_SMALL;
    r::STORAGE_FIRMWARE_INFO info{};
    info.Version = 1;
    info.Size = sizeof info;
    info.UpgradeSupport = state_.upgrade_support ? 1 : 0;
    info.SlotCount = state_.slot_count;
    info.ActiveSlot = state_.active_slot;
    info.PendingActivateSlot = state_.pending_slot;
    std::memcpy(data, &info, sizeof info);
    for (size_t i = 0; i < entries; ++i) {
        r::STORAGE_FIRMWARE_SLOT_INFO s{};
        s.SlotNumber = state_.slots[i].number;
        s.ReadOnly = state_.slots[i].read_only ? 1 : 0;
        PutRevision(s.Revision, state_.slots[i].revision);
        std::memcpy(data + sizeof info + i * sizeof s, &s, sizeof s);
    }
    return r::FIRMWARE_STATUS_SUCCESS;
}

uint32_t SimNvmeDrive::Download(const uint8_t* data, uint32_t length, SimNvmeRequest& req) {
    r::STORAGE_FIRMWARE_DOWNLOAD d;
    if (length < sizeof d) {
        req.refusal = "record";
        return r::FIRMWARE_STATUS_INVALID_PARAMETER;
    }
    std::memcpy(&d, data, sizeof d);
    req.offset = d.Offset;
    req.length = d.BufferSize;
    const uint64_t carried = length - sizeof d;
    if (d.Size < sizeof d || d.BufferSize == 0 || d.BufferSize > carried) {
        req.refusal = "record";
        return r::FIRMWARE_STATUS_INVALID_PARAMETER;
    }
    // The controller takes whole 32-bit words, each piece where the last one ended; an offset
    // of 0 starts a new image.
    if (d.Offset % 4 || d.BufferSize % 4) {
        req.refusal = "misaligned";
        return r::FIRMWARE_STATUS_INVALID_PARAMETER;
    }
    if (d.Offset == 0) image_.clear();
    if (d.Offset < image_.size()) {
        req.refusal = "overlap";
        return r::FIRMWARE_STATUS_INVALID_PARAMETER;
    }
    if (d.Offset > image_.size()) {
        req.refusal = "gap";
        return r::FIRMWARE_STATUS_INVALID_PARAMETER;
    }
    if (d.Offset + d.BufferSize > kMaxImage) {
        req.refusal = "too large";
        return r::FIRMWARE_STATUS_INVALID_PARAMETER;
    }
    const uint8_t* piece = data + sizeof d;
    image_.insert(image_.end(), piece, piece + d.BufferSize);
    return r::FIRMWARE_STATUS_SUCCESS;
}

uint32_t SimNvmeDrive::Activate(const uint8_t* data, uint32_t length, SimNvmeRequest& req) {
    r::STORAGE_FIRMWARE_ACTIVATE a;
    if (length < sizeof a) {
        req.refusal = "record";
        return r::FIRMWARE_STATUS_INVALID_PARAMETER;
    }
    std::memcpy(&a, data, sizeof a);
    // The record's first field carries the commit action: 0 replace the slot's image, 1 replace
    // and activate at the next reset, 2 activate the slot's image at the next reset, 3 replace
    // and activate now.
    req.commit_action = a.Version;
    req.slot = a.SlotToActivate;
    if (a.Size < sizeof a || a.Version > 3) {
        req.refusal = "record";
        return r::FIRMWARE_STATUS_INVALID_PARAMETER;
    }
    SimNvmeSlot* slot = Slot(a.SlotToActivate);
    const bool replaces = a.Version != 2;
    if (!slot || a.SlotToActivate > state_.slot_count || (replaces && slot->read_only)) {
        req.refusal = !slot || a.SlotToActivate > state_.slot_count ? "no such slot" : "read-only slot";
        return r::FIRMWARE_STATUS_INVALID_SLOT;
    }
    std::string revision = slot->revision;
    if (replaces) {
        if (image_.empty()) {
            req.refusal = "no image";
            return r::FIRMWARE_STATUS_INVALID_IMAGE;
        }
        // The image's own tag names its revision before the drive's described rule does.
        if (const auto tag = FindImageTag(image_.data(), image_.size())) {
            revision = tag->revision;
        } else if (state_.revision_offset) {
            if (*state_.revision_offset + 8 > image_.size()) {
                req.refusal = "no revision in the image";
                image_.clear();
                return r::FIRMWARE_STATUS_INVALID_IMAGE;
            }
            const char* at = reinterpret_cast<const char*>(image_.data() + *state_.revision_offset);
            revision.assign(at, strnlen(at, 8));
        } else if (state_.next_revision) {
            revision = *state_.next_revision;
        }
        image_.clear();
    }
    const uint32_t status = state_.activate_status;
    if (status != r::FIRMWARE_STATUS_SUCCESS && status != r::FIRMWARE_STATUS_POWER_CYCLE_REQUIRED) return status;
    const std::string before = ActiveRevision();
    const bool now_active = a.Version == 3 && status == r::FIRMWARE_STATUS_SUCCESS;
    if (replaces) {
        if (slot->number == state_.active_slot && !now_active)
            state_.staged[slot->number] = revision;
        else
            slot->revision = revision;
    }
    if (now_active) {
        state_.staged.erase(slot->number);
        state_.active_slot = slot->number;
        state_.pending_slot = 0xFF;
        ++committed_;
        if (state_.restart_seconds && now_) back_at_ = now_() + *state_.restart_seconds;
    } else if (a.Version != 0) {
        state_.pending_slot = slot->number;
    }
    if (ActiveRevision() != before && !changed_) changed_ = before;
    return status;
}

std::string SimNvmeDrive::ActiveRevision() const {
    for (const SimNvmeSlot& s : state_.slots)
        if (s.number == state_.active_slot) return s.revision;
    return std::string();
}

std::optional<std::string> SimNvmeDrive::PendingRevision() const {
    const uint8_t next = state_.pending_slot != 0xFF ? state_.pending_slot : state_.active_slot;
    if (auto it = state_.staged.find(next); it != state_.staged.end()) return it->second;
    if (state_.pending_slot == 0xFF) return std::nullopt;
    for (const SimNvmeSlot& s : state_.slots)
        if (s.number == next) return s.revision;
    return std::nullopt;
}

std::optional<std::string> SimNvmeDrive::TakeRevisionChange() {
    std::optional<std::string> c;
    c.swap(changed_);
    return c;
}

void SimNvmeDrive::MachineRestart() {
    const std::string before = ActiveRevision();
    const bool activates = state_.pending_slot != 0xFF || state_.staged.count(state_.active_slot);
    for (const auto& [number, revision] : state_.staged)
        if (SimNvmeSlot* s = Slot(number)) s->revision = revision;
    state_.staged.clear();
    if (state_.pending_slot != 0xFF) state_.active_slot = state_.pending_slot;
    state_.pending_slot = 0xFF;
    back_at_ = 0;
    if (activates) ++committed_;
    if (ActiveRevision() != before && !changed_) changed_ = before;
}

}  // namespace orvane::platform::sim
