#include "platform/sim/sim_drive.h"

#include <algorithm>
#include <cstring>

namespace orvane::platform::sim {

namespace {

using nlohmann::json;

constexpr uint8_t kStatusOk = 0x50;   // DRDY | DSC
constexpr uint8_t kStatusErr = 0x51;  // DRDY | DSC | ERR
constexpr uint8_t kErrAbort = 0x04;

constexpr uint8_t kCmdIdentify = 0xEC;
constexpr uint8_t kCmdVendor = 0xFF;
constexpr uint8_t kCmdReadBuffer = 0xE4;
constexpr uint8_t kVendorWrite = 0xFC;
constexpr uint8_t kVendorRead = 0xFD;

struct SpecError {
    std::string message;
};

[[noreturn]] void Fail(const std::string& path, const std::string& what) { throw SpecError{path + ": " + what}; }

// A number given as a JSON number or as "0x..." text.
uint32_t Number(const json& j, const std::string& path, uint32_t max) {
    uint64_t v = 0;
    if (j.is_number_unsigned()) {
        v = j.get<uint64_t>();
    } else if (j.is_string()) {
        const std::string s = j.get<std::string>();
        size_t used = 0;
        try {
            v = std::stoull(s, &used, 0);
        } catch (...) {
            Fail(path, "expected a number");
        }
        if (used != s.size()) Fail(path, "expected a number");
    } else {
        Fail(path, "expected a number");
    }
    if (v > max) Fail(path, "out of range");
    return static_cast<uint32_t>(v);
}

std::string Text(const json& j, const std::string& path, size_t max) {
    if (!j.is_string()) Fail(path, "expected a text");
    std::string s = j.get<std::string>();
    if (s.size() > max) Fail(path, "longer than " + std::to_string(max) + " characters");
    return s;
}

bool Flag(const json& j, const std::string& path) {
    if (!j.is_boolean()) Fail(path, "expected true or false");
    return j.get<bool>();
}

template <typename E>
E Choice(const json& j, const std::string& path, std::initializer_list<std::pair<const char*, E>> names) {
    if (j.is_string()) {
        for (auto& [n, e] : names)
            if (j.get<std::string>() == n) return e;
    }
    std::string all;
    for (auto& [n, e] : names) all += std::string(all.empty() ? "" : ", ") + n;
    Fail(path, "expected one of " + all);
}

uint32_t RequestCode(const std::string& name, const std::string& path) {
    static const std::pair<const char*, uint32_t> kCodes[] = {
        {"ata", 0x4D02C}, {"ata_direct", 0x4D030}, {"ide", 0x4D028}, {"scsi", 0x4D004},
        {"scsi_direct", 0x4D014}, {"miniport", 0x4D008}, {"rescan", 0x4101C},
    };
    for (auto& [n, c] : kCodes)
        if (name == n) return c;
    Fail(path, "unknown request \"" + name + "\"");
}

void Parse(const json& j, const std::string& path, SimDriveSpec& s) {
    if (!j.is_object()) Fail(path, "expected an object");
    for (auto it = j.begin(); it != j.end(); ++it) {
        const std::string& k = it.key();
        const json& v = it.value();
        const std::string p = path + "." + k;
        if (k == "model") s.model = Text(v, p, 40);
        else if (k == "revision") s.revision = Text(v, p, 8);
        else if (k == "serial") s.serial = Text(v, p, 20);
        else if (k == "def") s.def = v.is_null() ? std::nullopt : std::optional<std::string>(Text(v, p, 8));
        else if (k == "word2") s.word2 = static_cast<uint16_t>(Number(v, p, 0xFFFF));
        else if (k == "word159") s.word159 = static_cast<uint16_t>(Number(v, p, 0xFFFF));
        else if (k == "fatal") s.fatal = Flag(v, p);
        else if (k == "attach")
            s.attach = Choice<SimAttach>(v, p, {{"ata", SimAttach::Ata}, {"ide", SimAttach::Ide},
                                                {"scsi_vendor", SimAttach::ScsiVendor}, {"sil", SimAttach::Sil},
                                                {"usb", SimAttach::Usb}});
        else if (k == "bridge")
            s.bridge = Choice<SimBridgeKind>(
                v, p, {{"sat", SimBridgeKind::Sat}, {"jmicron", SimBridgeKind::Jmicron},
                       {"prolific", SimBridgeKind::Prolific}, {"sunplus", SimBridgeKind::Sunplus},
                       {"iodata", SimBridgeKind::Iodata}, {"logitec", SimBridgeKind::Logitec},
                       {"cypress", SimBridgeKind::Cypress}});
        else if (k == "bridge_port") s.bridge_port = static_cast<int>(Number(v, p, 1));
        else if (k == "bridge_sat") s.bridge_sat = Flag(v, p);
        else if (k == "sense") s.fixed_sense = Choice<bool>(v, p, {{"descriptor", false}, {"fixed", true}});
        else if (k == "check_condition_key0") s.sense_key0_check = Flag(v, p);
        else if (k == "sil_version") {
            if (!v.is_array() || v.size() != 2) Fail(p, "expected [major, minor]");
            s.sil_major = static_cast<uint16_t>(Number(v[0], p + "[0]", 0xFFFF));
            s.sil_minor = static_cast<uint16_t>(Number(v[1], p + "[1]", 0xFFFF));
        } else if (k == "refuse") {
            if (!v.is_array()) Fail(p, "expected a list of requests");
            for (size_t i = 0; i < v.size(); ++i)
                s.refuse.push_back(RequestCode(Text(v[i], p + "[" + std::to_string(i) + "]", 32), p));
        } else if (k == "faults") {
            if (!v.is_array()) Fail(p, "expected a list");
            for (size_t i = 0; i < v.size(); ++i) {
                const std::string fp = p + "[" + std::to_string(i) + "]";
                const json& f = v[i];
                if (!f.is_object()) Fail(fp, "expected an object");
                SimDriveFault fault;
                for (auto fi = f.begin(); fi != f.end(); ++fi) {
                    const std::string fk = fp + "." + fi.key();
                    if (fi.key() == "command") fault.command = static_cast<int>(Number(fi.value(), fk, 0xFF));
                    else if (fi.key() == "features") fault.features = static_cast<int>(Number(fi.value(), fk, 0xFF));
                    else if (fi.key() == "times") fault.times = static_cast<int>(Number(fi.value(), fk, 1000000));
                    else if (fi.key() == "effect")
                        fault.effect = Choice<SimDriveFault::Effect>(
                            fi.value(), fk, {{"error", SimDriveFault::Error}, {"timeout", SimDriveFault::Timeout},
                                             {"status_7f", SimDriveFault::Status7F}});
                    else Fail(fk, "unknown field");
                }
                s.faults.push_back(fault);
            }
        } else {
            Fail(p, "unknown field");
        }
    }
}

// ATA text fields: two characters per word, the first in the high byte; blank padded.
void PutText(std::vector<uint8_t>& id, int word, int words, const std::string& text) {
    for (int i = 0; i < words * 2; ++i) {
        char c = i < static_cast<int>(text.size()) ? text[i] : ' ';
        id[word * 2 + (i ^ 1)] = static_cast<uint8_t>(c);
    }
}

void PutWord(std::vector<uint8_t>& id, int word, uint16_t v) {
    id[word * 2] = static_cast<uint8_t>(v);
    id[word * 2 + 1] = static_cast<uint8_t>(v >> 8);
}

}  // namespace

bool ParseDriveSpec(const json& j, const std::string& path, SimDriveSpec& out, std::string& error) {
    SimDriveSpec s;
    try {
        Parse(j, path, s);
    } catch (const SpecError& e) {
        error = e.message;
        return false;
    }
    out = std::move(s);
    return true;
}

std::vector<uint8_t> SimAtaDrive::IdentifyData() const {
    std::vector<uint8_t> id(512, 0);
    const uint32_t sectors = 0x0FFFFFFFu;  // a 48-bit drive reports the 28-bit maximum
    PutWord(id, 0, 0x0040);  // fixed, not removable
    PutWord(id, 1, 16383);
    PutWord(id, 2, spec_.word2);
    PutWord(id, 3, 16);
    PutWord(id, 6, 63);
    PutText(id, 10, 10, spec_.serial);
    PutText(id, 23, 4, spec_.revision);
    PutText(id, 27, 20, spec_.model);
    PutWord(id, 47, 0x8010);
    PutWord(id, 49, 0x2F00);
    PutWord(id, 53, 0x0007);
    PutWord(id, 60, static_cast<uint16_t>(sectors));
    PutWord(id, 61, static_cast<uint16_t>(sectors >> 16));
    PutWord(id, 80, 0x07F0);
    PutWord(id, 83, 0x7400);
    PutWord(id, 86, 0x3400);
    PutWord(id, 100, static_cast<uint16_t>(500118192u));
    PutWord(id, 101, static_cast<uint16_t>(500118192u >> 16));
    PutWord(id, 106, 0x4000);
    PutWord(id, 159, spec_.word159);
    PutWord(id, 217, 0x0001);  // non-rotating
    // Integrity word: signature A5h, checksum making the 512 bytes sum to 0.
    id[510] = 0xA5;
    uint8_t sum = 0;
    for (int i = 0; i < 511; ++i) sum = static_cast<uint8_t>(sum + id[i]);
    id[511] = static_cast<uint8_t>(-sum);
    return id;
}

const SimDriveFault* SimAtaDrive::FaultFor(uint8_t cmd, uint8_t fr) {
    for (size_t i = 0; i < spec_.faults.size(); ++i) {
        const SimDriveFault& f = spec_.faults[i];
        if (f.command >= 0 && f.command != cmd) continue;
        if (f.features >= 0 && f.features != fr) continue;
        int& hits = fault_hits_[i];
        if (f.times >= 0 && hits >= f.times) continue;
        ++hits;
        return &f;
    }
    return nullptr;
}

SimAtaResult SimAtaDrive::Execute(const uint8_t* regs, const uint8_t* high, uint8_t direction, uint8_t* data,
                                  uint32_t length) {
    SimAtaResult r;
    std::memcpy(r.regs, regs, 7);
    if (high) std::memcpy(r.high, high, 5);
    const uint8_t fr = regs[0], sn = regs[2], cl = regs[3], ch = regs[4], cmd = regs[6];
    history.emplace_back(cmd, fr);

    auto abort = [&] {
        r.error = kErrAbort;
        r.status = kStatusErr;
    };
    if (const SimDriveFault* f = FaultFor(cmd, fr)) {
        switch (f->effect) {
        case SimDriveFault::Timeout: r.timed_out = true; return r;
        case SimDriveFault::Status7F: r.error = 0; r.status = 0x7F; break;
        case SimDriveFault::Error: abort(); break;
        }
        r.regs[0] = r.error;
        r.regs[6] = r.status;
        return r;
    }

    auto give = [&](const uint8_t* page, uint32_t n) {
        if (direction != 2 || !data) return abort();
        r.transferred = std::min(n, length);
        std::memcpy(data, page, r.transferred);
    };

    if (cmd == kCmdIdentify) {
        give(IdentifyData().data(), 512);
    } else if (cmd == kCmdVendor && fr == kVendorWrite) {
        // The page is released only by the write that carries its key.
        if (direction != 4 || !data || length < 2 || !spec_.def || data[0] != 0x0A || data[1] != 0x07) {
            abort();
        } else {
            vendor_unlocked_ = true;
            r.transferred = std::min<uint32_t>(length, 512);
        }
    } else if (cmd == kCmdVendor && fr == kVendorRead) {
        if (!vendor_unlocked_ || !spec_.def) {
            abort();
        } else {
            uint8_t page[512] = {};
            std::memset(page, ' ', 8);
            std::memcpy(page, spec_.def->data(), spec_.def->size());
            give(page, 512);
            vendor_unlocked_ = false;
        }
    } else if (cmd == kCmdReadBuffer && sn == 'R' && cl == 'P' && ch == 'E') {
        uint8_t page[512] = {};
        if (spec_.fatal) {
            static const char kRecord[] = "FATAL STATE 0x37 SYSTEM AREA";
            std::memcpy(page, kRecord, sizeof kRecord - 1);
        }
        give(page, 512);
    } else {
        abort();
    }
    r.regs[0] = r.error;
    r.regs[6] = r.status;
    return r;
}

}  // namespace orvane::platform::sim
