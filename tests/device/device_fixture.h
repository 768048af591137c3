#pragma once
// A record-and-replay storage layer for the device object's tests: every request is recorded
// with the bytes it carried, and answered by the reply registered for its command bytes.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/fake_system_api.h"
#include "device/ata_device.h"
#include "platform/records/pass_through.h"
#include "system/fake_clock.h"

namespace orvane::test {

using device::IdeRegs;
using platform::IoResult;

// "28 00 03 00" -> bytes.
inline std::vector<uint8_t> Hex(const std::string& text) {
    std::vector<uint8_t> out;
    std::istringstream in(text);
    std::string b;
    while (in >> b) out.push_back(static_cast<uint8_t>(std::stoul(b, nullptr, 16)));
    return out;
}

inline std::string HexOf(const uint8_t* p, size_t n) {
    std::string s;
    char buf[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", p[i]);
        s += buf;
    }
    return s;
}

struct Sent {
    std::string path;
    uint32_t code = 0;
    std::vector<uint8_t> bytes;  // the in_len bytes as sent
    uint32_t in_len = 0, out_len = 0;
    std::string key;
    std::string hex(size_t from, size_t n) const { return HexOf(bytes.data() + from, n); }
};

// The command bytes a request is answered by: "ata EC/00" (Cmd/FR), "ide EC/00",
// "scsi A1 08 0E ..." (the whole block), "miniport 4202C EC/00", "miniport 42000", "rescan".
inline std::string CommandKey(uint32_t code, const uint8_t* b, uint32_t in_len) {
    char buf[64];
    switch (code) {
    case device::IOCTL_ATA_PASS_THROUGH:
    case device::IOCTL_ATA_PASS_THROUGH_DIRECT: {
        const uint8_t* tf = b + offsetof(device::ATA_PASS_THROUGH_EX, CurrentTaskFile);
        std::snprintf(buf, sizeof buf, "ata %02X/%02X", tf[6], tf[0]);
        return buf;
    }
    case device::IOCTL_IDE_PASS_THROUGH:
        std::snprintf(buf, sizeof buf, "ide %02X/%02X", b[6], b[0]);
        return buf;
    case device::IOCTL_SCSI_PASS_THROUGH:
    case device::IOCTL_SCSI_PASS_THROUGH_DIRECT:
        return "scsi " + HexOf(b + offsetof(device::SCSI_PASS_THROUGH, Cdb), b[offsetof(device::SCSI_PASS_THROUGH, CdbLength)]);
    case device::IOCTL_SCSI_MINIPORT: {
        device::SRB_IO_CONTROL srb;
        std::memcpy(&srb, b, sizeof srb);
        if (srb.ControlCode != device::kSilCommand || in_len < device::kSilDataOffset) {
            std::snprintf(buf, sizeof buf, "miniport %X", srb.ControlCode);
        } else {
            const uint8_t* r = b + sizeof srb + offsetof(device::SilCommandRecord, Regs);
            std::snprintf(buf, sizeof buf, "miniport %X %02X/%02X", srb.ControlCode, r[6], r[0]);
        }
        return buf;
    }
    case device::IOCTL_SCSI_RESCAN_BUS:
        return "rescan";
    default:
        std::snprintf(buf, sizeof buf, "code %X", code);
        return buf;
    }
}

using Reply = std::function<IoResult(uint8_t* buffer, uint32_t in_len, uint32_t out_len)>;

inline Reply FailWith(uint32_t error) {
    return [error](uint8_t*, uint32_t, uint32_t) { return IoResult{false, 0, error}; };
}

class FakeStorage : public platform::StorageIo {
public:
    std::vector<Sent> sent;
    std::vector<std::string> opened;
    uint32_t open_error = 0;  // non-zero: every open fails with it
    // Answers by command key; the longest registered key that starts the request's key wins.
    std::map<std::string, Reply> replies;
    Reply fallback = FailWith(1);
    std::function<void(const Sent&)> on_send;

    std::unique_ptr<platform::StorageHandle> Open(const std::string& path, uint32_t, uint32_t,
                                                  uint32_t& last_error) override {
        opened.push_back(path);
        if (open_error) {
            last_error = open_error;
            return nullptr;
        }
        return std::make_unique<Handle>(*this, path);
    }
    std::string ErrorText(uint32_t error) override { return "error " + std::to_string(error); }

    std::vector<Sent> SentWith(const std::string& key_prefix) const {
        std::vector<Sent> out;
        for (const Sent& s : sent)
            if (s.key.compare(0, key_prefix.size(), key_prefix) == 0) out.push_back(s);
        return out;
    }

private:
    class Handle : public platform::StorageHandle {
    public:
        Handle(FakeStorage& s, std::string path) : s_(s), path_(std::move(path)) {}
        IoResult Control(uint32_t code, void* buffer, uint32_t in_len, uint32_t out_len) override {
            auto* b = static_cast<uint8_t*>(buffer);
            Sent rec{path_, code, std::vector<uint8_t>(b, b + (b ? in_len : 0)), in_len, out_len,
                     CommandKey(code, b, in_len)};
            s_.sent.push_back(rec);
            if (s_.on_send) s_.on_send(rec);
            const Reply* best = nullptr;
            size_t best_len = 0;
            for (auto& [k, r] : s_.replies)
                if (rec.key.compare(0, k.size(), k) == 0 && (!best || k.size() > best_len)) {
                    best = &r;
                    best_len = k.size();
                }
            return best ? (*best)(b, in_len, out_len) : s_.fallback(b, in_len, out_len);
        }

    private:
        FakeStorage& s_;
        std::string path_;
    };
};

// The device object over the fake storage, with no device list (opened by path).
struct DeviceRig {
    FakeSystemApi sys;
    FakeClock clock;
    FakePump pump{clock};
    FakeStorage storage;
    platform::Platform platform{sys, clock, pump, &storage, nullptr, nullptr};
    std::unique_ptr<device::TAtaDevice> dev;

    DeviceRig() {
        // Windows 10: ATA pass-through is the system's own transport.
        sys.version.dwMajorVersion = 10;
        sys.version.dwPlatformId = platform::kPlatformNT;
        sys.version.wProductType = 1;
        dev = std::make_unique<device::TAtaDevice>(platform, "C:\\TEMP\\ORVANE_DEBUG.txt");
    }

    // Opened by path on a fixed transport, with the open's own traffic forgotten. The driver
    // reports the device at path 0, target 0, lun 0.
    device::TAtaDevice& OpenOn(uint8_t transport) {
        storage.fallback = FailWith(1);
        storage.replies["code 41018"] = [](uint8_t* b, uint32_t, uint32_t) {
            const uint8_t address[8] = {8, 0, 0, 0, 2, 0, 0, 0};
            std::memcpy(b, address, sizeof address);
            return IoResult{true, sizeof address, 0};
        };
        dev->open_device(0, "\\\\.\\PhysicalDrive0", device::kOpenAta);
        dev->set_protocol(transport);
        storage.sent.clear();
        sys.files.clear();
        return *dev;
    }
    std::string Log() const {
        auto it = sys.files.find("C:\\TEMP\\ORVANE_DEBUG.txt");
        return it == sys.files.end() ? "" : std::string(it->second.begin(), it->second.end());
    }
};

// Replies that play a driver's part.
inline Reply Ok(uint32_t returned, std::function<void(uint8_t*)> fill = {}) {
    return [returned, fill](uint8_t* b, uint32_t, uint32_t) {
        if (fill) fill(b);
        return IoResult{true, returned, 0};
    };
}

}  // namespace orvane::test
