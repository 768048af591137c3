#include "platform/sim/sim_csmi.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/records/csmi.h"
#include "platform/sim/sim_json_fields.h"
#include "platform/win_errors.h"

namespace orvane::platform::sim {

namespace r = orvane::records;
using namespace fields;

namespace {

// CSMI return codes (SRB_IO_CONTROL.ReturnCode) and connection status values the driver uses.
constexpr uint32_t kBadControlCode = 2;
constexpr uint32_t kInvalidParameter = 3;
constexpr uint32_t kPhyDoesNotExist = 2002;
constexpr uint32_t kPhyDoesNotMatchPort = 2003;
constexpr uint32_t kPortDoesNotExist = 2006;
constexpr uint32_t kConnectionFailed = 2008;
constexpr uint32_t kNoSataDevice = 2009;
constexpr uint8_t kOpenRejectNoDestination = 3;
constexpr uint8_t kOpenRejectProtocol = 5;
constexpr uint8_t kOpenRejectWrongDestination = 12;

constexpr uint8_t kUsePort = 0xFF;  // bPhyIdentifier: address the port instead
constexpr uint8_t kAnyPort = 0xFF;  // bPortIdentifier: the phy alone decides
constexpr uint8_t kProtoSata = 0x01, kProtoSmp = 0x02, kProtoStp = 0x04, kProtoSsp = 0x08;
constexpr uint8_t kEndDevice = 0x10;

uint8_t Byte(const json& j, const std::string& path) { return static_cast<uint8_t>(Unsigned(j, path, 255)); }

uint8_t Protocol(const json& j, const std::string& path) {
    if (j.is_string()) {
        static const std::pair<const char*, uint8_t> kNames[] = {
            {"sata", kProtoSata}, {"smp", kProtoSmp}, {"stp", kProtoStp}, {"ssp", kProtoSsp}};
        for (auto& [n, v] : kNames)
            if (j.get<std::string>() == n) return v;
        Fail(path, "expected sata, smp, stp, ssp or a number");
    }
    return Byte(j, path);
}

uint8_t DeviceType(const json& j, const std::string& path) {
    if (j.is_string()) {
        static const std::pair<const char*, uint8_t> kNames[] = {
            {"none", 0}, {"end_device", kEndDevice}, {"edge_expander", 0x20}, {"fanout_expander", 0x30}};
        for (auto& [n, v] : kNames)
            if (j.get<std::string>() == n) return v;
        Fail(path, "expected none, end_device, edge_expander, fanout_expander or a number");
    }
    return Byte(j, path);
}

// "500605b0000272a0" (16 hex digits, an optional 0x before): the first digits are the first byte.
std::array<uint8_t, 8> SasAddress(const json& j, const std::string& path) {
    std::string s = Text(j, path, 18);
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s = s.substr(2);
    if (s.size() != 16 || !std::all_of(s.begin(), s.end(), [](char c) { return std::isxdigit(uint8_t(c)); }))
        Fail(path, "expected 16 hexadecimal digits");
    std::array<uint8_t, 8> a{};
    for (size_t i = 0; i < 8; ++i) a[i] = static_cast<uint8_t>(std::stoul(s.substr(i * 2, 2), nullptr, 16));
    return a;
}

SimCsmiIdentify ReadAttached(const json& j, const std::string& p) {
    Object(j, p);
    OnlyKeys(j, p, {"type", "initiator", "target", "sas_address", "phy", "drive"});
    SimCsmiIdentify a;
    a.device_type = j.contains("type") ? DeviceType(j["type"], p + ".type") : kEndDevice;
    if (j.contains("initiator")) a.initiator_protocol = Protocol(j["initiator"], p + ".initiator");
    a.target_protocol = j.contains("target") ? Protocol(j["target"], p + ".target") : kProtoSata;
    if (j.contains("sas_address")) a.sas_address = SasAddress(j["sas_address"], p + ".sas_address");
    if (j.contains("phy")) a.phy_identifier = Byte(j["phy"], p + ".phy");
    return a;
}

SimCsmiPhy ReadPhy(const json& j, const std::string& p, size_t index) {
    SimCsmiPhy phy;
    if (j.is_null()) return phy;  // an unused entry
    Object(j, p);
    OnlyKeys(j, p, {"phy", "port", "type", "initiator", "target", "sas_address", "attached", "comment"});
    phy.own.device_type = j.contains("type") ? DeviceType(j["type"], p + ".type") : kEndDevice;
    phy.own.initiator_protocol =
        j.contains("initiator") ? Protocol(j["initiator"], p + ".initiator") : kProtoSmp | kProtoStp | kProtoSsp;
    if (j.contains("target")) phy.own.target_protocol = Protocol(j["target"], p + ".target");
    if (j.contains("sas_address")) phy.own.sas_address = SasAddress(j["sas_address"], p + ".sas_address");
    phy.own.phy_identifier = j.contains("phy") ? Byte(j["phy"], p + ".phy") : static_cast<uint8_t>(index);
    phy.port_identifier = j.contains("port") ? Byte(j["port"], p + ".port") : static_cast<uint8_t>(index);
    if (j.contains("attached")) {
        const json& a = j["attached"];
        const std::string ap = p + ".attached";
        phy.attached = ReadAttached(a, ap);
        if (a.contains("drive")) {
            if (!(phy.attached.target_protocol & (kProtoSata | kProtoStp)))
                Fail(ap + ".drive", "only a SATA or STP device carries a drive");
            SimDriveDesc desc;
            std::string error;
            if (!ParseDriveDesc(a["drive"], ap + ".drive", desc, error)) throw FieldError{error};
            phy.drive = std::move(desc);
        }
    }
    return phy;
}

void Read(const json& j, const std::string& p, SimCsmiDesc& d) {
    Object(j, p);
    OnlyKeys(j, p, {"name", "description", "revision", "number_of_phys", "phys", "comment"});
    if (j.contains("name")) d.name = Text(j["name"], p + ".name", 80);
    if (j.contains("description")) d.description = Text(j["description"], p + ".description", 80);
    if (j.contains("revision")) {
        const json& v = j["revision"];
        if (!v.is_array() || v.size() < 2 || v.size() > 4) Fail(p + ".revision", "expected [major, minor, build, release] (2 to 4 numbers)");
        uint16_t* parts[] = {&d.major, &d.minor, &d.build, &d.release};
        for (size_t i = 0; i < v.size(); ++i)
            *parts[i] = static_cast<uint16_t>(Unsigned(v[i], p + ".revision[" + std::to_string(i) + "]", 0xFFFF));
    }
    if (j.contains("number_of_phys")) d.reported_phys = Byte(j["number_of_phys"], p + ".number_of_phys");
    if (j.contains("phys")) {
        const json& a = j["phys"];
        if (!a.is_array()) Fail(p + ".phys", "expected an array");
        if (a.size() > r::kCsmiMaxPhys) Fail(p + ".phys", "more than 32 entries");
        for (size_t i = 0; i < a.size(); ++i)
            d.phys.push_back(ReadPhy(a[i], p + ".phys[" + std::to_string(i) + "]", i));
    }
}

void PutIdentify(const SimCsmiIdentify& s, r::CSMI_SAS_IDENTIFY& out) {
    out.bDeviceType = s.device_type;
    out.bInitiatorPortProtocol = s.initiator_protocol;
    out.bTargetPortProtocol = s.target_protocol;
    std::memcpy(out.bSASAddress, s.sas_address.data(), 8);
    out.bPhyIdentifier = s.phy_identifier;
}

r::SRB_IO_CONTROL HeaderOf(const uint8_t* b) {
    r::SRB_IO_CONTROL srb;
    std::memcpy(&srb, b, sizeof srb);
    return srb;
}

// The request comes back with its header's ReturnCode set and the bytes the header counts.
IoResult Returned(uint8_t* b, uint32_t in_len, uint32_t out_len, uint32_t code) {
    r::SRB_IO_CONTROL srb = HeaderOf(b);
    srb.ReturnCode = code;
    std::memcpy(b, &srb, sizeof srb);
    const uint64_t counted = uint64_t{sizeof srb} + srb.Length;
    return IoResult{true, static_cast<uint32_t>(std::min<uint64_t>({counted, in_len, out_len})), 0};
}

// The header counts at least `record` bytes and the buffer holds what it counts both ways.
bool Fits(const uint8_t* b, uint32_t in_len, uint32_t out_len, uint64_t record) {
    const r::SRB_IO_CONTROL srb = HeaderOf(b);
    const uint64_t counted = uint64_t{sizeof srb} + srb.Length;
    return srb.Length >= record - sizeof srb && in_len >= counted && out_len >= counted;
}

}  // namespace

bool ParseCsmiDesc(const json& j, const std::string& path, SimCsmiDesc& out, std::string& error) {
    return ReadObject(j, path, out, error, Read);
}

SimCsmiPort::SimCsmiPort(const SimCsmiDesc& desc, std::function<void(double)> pass_time)
    : desc_(desc), pass_time_(std::move(pass_time)) {
    for (const SimCsmiPhy& phy : desc_.phys)
        drives_.push_back(phy.drive ? std::make_unique<SimAtaDrive>(*phy.drive) : nullptr);
}

SimAtaDrive* SimCsmiPort::drive(size_t index) { return index < drives_.size() ? drives_[index].get() : nullptr; }

std::optional<IoResult> SimCsmiPort::Control(uint8_t* b, uint32_t in_len, uint32_t out_len) {
    if (!b || in_len < sizeof(r::SRB_IO_CONTROL)) return std::nullopt;
    const r::SRB_IO_CONTROL srb = HeaderOf(b);
    const bool all = std::memcmp(srb.Signature, r::CSMI_ALL_SIGNATURE, 8) == 0;
    const bool sas = std::memcmp(srb.Signature, r::CSMI_SAS_SIGNATURE, 8) == 0;
    if (!all && !sas) return std::nullopt;
    if (all && srb.ControlCode == r::CC_CSMI_SAS_GET_DRIVER_INFO) return DriverInfo(b, in_len, out_len);
    if (sas && srb.ControlCode == r::CC_CSMI_SAS_GET_PHY_INFO) return PhyInfo(b, in_len, out_len);
    if (sas && srb.ControlCode == r::CC_CSMI_SAS_STP_PASSTHRU) return Stp(b, in_len, out_len);
    return Returned(b, in_len, out_len, kBadControlCode);
}

IoResult SimCsmiPort::DriverInfo(uint8_t* b, uint32_t in_len, uint32_t out_len) {
    if (!Fits(b, in_len, out_len, sizeof(r::CSMI_SAS_DRIVER_INFO_BUFFER)))
        return Returned(b, in_len, out_len, kInvalidParameter);
    r::CSMI_SAS_DRIVER_INFO info{};
    std::memcpy(info.szName, desc_.name.data(), std::min(desc_.name.size(), sizeof info.szName - 1));
    std::memcpy(info.szDescription, desc_.description.data(),
                std::min(desc_.description.size(), sizeof info.szDescription - 1));
    info.usMajorRevision = desc_.major;
    info.usMinorRevision = desc_.minor;
    info.usBuildRevision = desc_.build;
    info.usReleaseRevision = desc_.release;
    std::memcpy(b + offsetof(r::CSMI_SAS_DRIVER_INFO_BUFFER, Information), &info, sizeof info);
    return Returned(b, in_len, out_len, 0);
}

IoResult SimCsmiPort::PhyInfo(uint8_t* b, uint32_t in_len, uint32_t out_len) {
    if (!Fits(b, in_len, out_len, sizeof(r::CSMI_SAS_PHY_INFO_BUFFER)))
        return Returned(b, in_len, out_len, kInvalidParameter);
    r::CSMI_SAS_PHY_INFO info{};
    info.bNumberOfPhys = desc_.reported_phys.value_or(static_cast<uint8_t>(desc_.phys.size()));
    for (size_t i = 0; i < desc_.phys.size(); ++i) {
        const SimCsmiPhy& phy = desc_.phys[i];
        r::CSMI_SAS_PHY_ENTITY& e = info.Phy[i];
        PutIdentify(phy.own, e.Identify);
        if (phy.own.device_type == 0) continue;
        e.bPortIdentifier = phy.port_identifier;
        e.bNegotiatedLinkRate = phy.attached.device_type ? 0x0A : 0x00;  // 6.0 Gbit/s when linked
        e.bMinimumLinkRate = 0x08;
        e.bMaximumLinkRate = 0x0A;
        PutIdentify(phy.attached, e.Attached);
    }
    std::memcpy(b + offsetof(r::CSMI_SAS_PHY_INFO_BUFFER, Information), &info, sizeof info);
    return Returned(b, in_len, out_len, 0);
}

IoResult SimCsmiPort::Stp(uint8_t* b, uint32_t in_len, uint32_t out_len) {
    if (!Fits(b, in_len, out_len, sizeof(r::SRB_IO_CONTROL) + r::CsmiStpLength(0)))
        return Returned(b, in_len, out_len, kInvalidParameter);
    r::CSMI_SAS_STP_PASSTHRU p;
    std::memcpy(&p, b + offsetof(r::CSMI_SAS_STP_PASSTHRU_BUFFER, Parameters), sizeof p);
    r::CSMI_SAS_STP_PASSTHRU_STATUS st{};
    auto answer = [&](uint32_t code, uint8_t connection) {
        st.bConnectionStatus = connection;
        std::memcpy(b + offsetof(r::CSMI_SAS_STP_PASSTHRU_BUFFER, Status), &st, sizeof st);
        return Returned(b, in_len, out_len, code);
    };
    const bool read = p.uFlags & r::CSMI_SAS_STP_READ, write = p.uFlags & r::CSMI_SAS_STP_WRITE;
    const uint8_t* fis = p.bCommandFIS;
    // The data must lie inside what the header counts, and a command FIS must be one.
    if ((read && write) || !Fits(b, in_len, out_len, sizeof(r::SRB_IO_CONTROL) + uint64_t{r::CsmiStpLength(0)} + p.uDataLength) ||
        fis[0] != 0x27 || !(fis[1] & 0x80))
        return answer(kInvalidParameter, 0);

    const SimCsmiPhy* phy = nullptr;
    size_t index = 0;
    for (size_t i = 0; i < desc_.phys.size() && !phy; ++i) {
        const SimCsmiPhy& e = desc_.phys[i];
        if (e.own.device_type == 0) continue;
        const bool hit = p.bPhyIdentifier == kUsePort ? e.port_identifier == p.bPortIdentifier
                                                      : e.own.phy_identifier == p.bPhyIdentifier;
        if (hit) {
            phy = &e;
            index = i;
        }
    }
    if (!phy) return answer(p.bPhyIdentifier == kUsePort ? kPortDoesNotExist : kPhyDoesNotExist, 0);
    if (p.bPhyIdentifier != kUsePort && p.bPortIdentifier != kAnyPort && p.bPortIdentifier != phy->port_identifier)
        return answer(kPhyDoesNotMatchPort, 0);
    if (phy->attached.device_type == 0) return answer(kConnectionFailed, kOpenRejectNoDestination);
    if (std::memcmp(p.bDestinationSASAddress, phy->attached.sas_address.data(), 8) != 0)
        return answer(kConnectionFailed, kOpenRejectWrongDestination);
    if (!(phy->attached.target_protocol & (kProtoSata | kProtoStp)))
        return answer(kNoSataDevice, kOpenRejectProtocol);
    SimAtaDrive* drive = drives_[index].get();
    if (!drive) return answer(kNoSataDevice, 0);

    const uint8_t regs[7] = {fis[3], fis[12], fis[4], fis[5], fis[6], fis[7], fis[2]};
    const uint8_t high[5] = {fis[11], fis[13], fis[8], fis[9], fis[10]};
    const uint8_t direction = read ? 2 : write ? 4 : 0;
    const SimAtaResult res =
        drive->Execute(regs, high, direction, b + r::kCsmiStpDataOffset, direction ? p.uDataLength : 0);
    if (res.timed_out) {
        if (pass_time_) pass_time_(HeaderOf(b).Timeout);
        return IoResult{false, 0, kErrorSemTimeout};
    }
    uint8_t* s = st.bStatusFIS;
    s[0] = 0x34;  // register, device to host
    s[1] = 0x40;  // interrupt
    s[2] = res.status;
    s[3] = res.error;
    s[4] = res.regs[2];
    s[5] = res.regs[3];
    s[6] = res.regs[4];
    s[7] = res.regs[5];
    s[8] = res.high[2];
    s[9] = res.high[3];
    s[10] = res.high[4];
    s[12] = res.regs[1];
    s[13] = res.high[1];
    st.uDataBytes = res.transferred;
    return answer(0, 0);
}

}  // namespace orvane::platform::sim
