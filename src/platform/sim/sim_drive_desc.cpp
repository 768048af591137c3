#include "platform/sim/sim_drive_desc.h"

#include <initializer_list>

namespace orvane::platform::sim {

namespace {

using nlohmann::json;

struct DescError {
    std::string message;
};

[[noreturn]] void Fail(const std::string& path, const std::string& what) { throw DescError{path + ": " + what}; }

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

SimFirmwareDesc FirmwareDesc(const json& j, const std::string& path) {
    if (!j.is_object()) Fail(path, "expected an object");
    SimFirmwareDesc f;
    for (auto it = j.begin(); it != j.end(); ++it) {
        const json& v = it.value();
        const std::string p = path + "." + it.key();
        if (it.key() == "modes") {
            if (!v.is_array()) Fail(p, "expected a list of subcommands");
            f.modes.clear();
            for (size_t i = 0; i < v.size(); ++i)
                f.modes.push_back(static_cast<uint8_t>(Number(v[i], p + "[" + std::to_string(i) + "]", 0xFF)));
        } else if (it.key() == "max_chunk_sectors") {
            f.max_chunk_sectors = static_cast<int>(Number(v, p, 255));
        } else if (it.key() == "restart_seconds") {
            if (!v.is_number() || v.get<double>() < 0 || v.get<double>() > 1e6)
                Fail(p, "expected a number of seconds from 0 to 1000000");
            f.restart_seconds = v.get<double>();
        } else if (it.key() == "comes_back") {
            f.comes_back = Choice<SimFirmwareDesc::ComesBack>(
                v, p, {{"new", SimFirmwareDesc::New}, {"old", SimFirmwareDesc::Old},
                       {"other_serial", SimFirmwareDesc::OtherSerial}, {"never", SimFirmwareDesc::Never}});
        } else if (it.key() == "other_serial") {
            f.other_serial = Text(v, p, 20);
        } else if (it.key() == "pata") {
            f.pata = Flag(v, p);
        } else if (it.key() == "pending") {
            if (v.is_null()) continue;
            if (!v.is_object()) Fail(p, "expected an object or null");
            SimPendingFirmware pending;
            for (auto pi = v.begin(); pi != v.end(); ++pi) {
                const std::string pp = p + "." + pi.key();
                if (pi.key() == "revision") pending.revision = Text(pi.value(), pp, 8);
                else if (pi.key() == "def")
                    pending.def = pi.value().is_null() ? std::nullopt : std::optional<std::string>(Text(pi.value(), pp, 8));
                else Fail(pp, "unknown field");
            }
            if (pending.revision.empty()) Fail(p + ".revision", "needed");
            f.pending = pending;
        } else {
            Fail(p, "unknown field");
        }
    }
    if (f.comes_back == SimFirmwareDesc::OtherSerial && f.other_serial.empty())
        Fail(path + ".other_serial", "needed with \"comes_back\": \"other_serial\"");
    return f;
}

void Parse(const json& j, const std::string& path, SimDriveDesc& s) {
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
        else if (k == "word128") s.word128 = static_cast<uint16_t>(Number(v, p, 0xFFFF));
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
                    else if (fi.key() == "skip") fault.skip = static_cast<int>(Number(fi.value(), fk, 1000000));
                    else if (fi.key() == "effect")
                        fault.effect = Choice<SimDriveFault::Effect>(
                            fi.value(), fk, {{"error", SimDriveFault::Error}, {"timeout", SimDriveFault::Timeout},
                                             {"status_7f", SimDriveFault::Status7F}});
                    else Fail(fk, "unknown field");
                }
                s.faults.push_back(fault);
            }
        } else if (k == "firmware") {
            s.firmware = FirmwareDesc(v, p);
        } else {
            Fail(p, "unknown field");
        }
    }
}

}  // namespace

bool ParseDriveDesc(const json& j, const std::string& path, SimDriveDesc& out, std::string& error) {
    SimDriveDesc s;
    try {
        Parse(j, path, s);
    } catch (const DescError& e) {
        error = e.message;
        return false;
    }
    out = std::move(s);
    return true;
}

}  // namespace orvane::platform::sim
