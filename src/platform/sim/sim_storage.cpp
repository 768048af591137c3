#include "platform/sim/sim_storage.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <initializer_list>

#include "platform/sim/sim_json_fields.h"
#include "text/text.h"

namespace orvane::platform::sim {

namespace {

using nlohmann::json;

using namespace fields;

std::vector<std::string> Texts(const json& j, const std::string& path) {
    if (!j.is_array()) Fail(path, "expected an array of strings");
    std::vector<std::string> out;
    for (size_t i = 0; i < j.size(); ++i) out.push_back(Text(j[i], path + "[" + std::to_string(i) + "]"));
    return out;
}

struct NamedClass {
    const char* name;
    Guid guid;
};
const NamedClass kClasses[] = {
    {"hdc", {0x4D36E96A, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}}},
    {"scsiadapter", {0x4D36E97B, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}}},
    {"usb", {0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}}},
    {"system", {0x4D36E97D, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}}},
    {"diskdrive", {0x4D36E967, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}}},
};

struct NamedBus {
    const char* name;
    uint8_t type;
};
const NamedBus kBuses[] = {{"unknown", 0}, {"scsi", 1}, {"atapi", 2}, {"ata", 3}, {"usb", 7}, {"raid", 8},
                           {"iscsi", 9},   {"sas", 10}, {"sata", 11}, {"sd", 12}, {"virtual", 14}, {"nvme", 17}};

uint8_t BusType(const json& j, const std::string& path) {
    if (j.is_number_unsigned()) return static_cast<uint8_t>(Unsigned(j, path, 0xFF));
    if (j.is_string())
        for (const auto& b : kBuses)
            if (j.get<std::string>() == b.name) return b.type;
    Fail(path, "expected a bus type number or one of unknown, scsi, atapi, ata, usb, raid, iscsi, sas, sata, "
               "sd, virtual, nvme");
}

SimController ReadController(const json& j, const std::string& p, int index) {
    Object(j, p);
    OnlyKeys(j, p, {"instance_id", "parent", "class", "description", "friendly_name", "service", "driver",
                    "location", "hardware_ids", "compatible_ids", "reenumerate_fails", "scsi_port", "csmi", "comment"});
    SimController c;
    if (!j.contains("instance_id")) Fail(p + ".instance_id", "missing");
    c.instance_id = Text(j["instance_id"], p + ".instance_id", 199);
    if (c.instance_id.empty()) Fail(p + ".instance_id", "empty");
    if (j.contains("parent") && !j["parent"].is_null()) c.parent = Text(j["parent"], p + ".parent", 199);
    c.class_name = j.contains("class") ? Text(j["class"], p + ".class") : "system";
    if (!SimClassGuid(c.class_name, c.class_guid))
        Fail(p + ".class", "expected hdc, scsiadapter, usb, system, diskdrive or a {GUID}");
    auto text = [&](const char* k, std::string& f) {
        if (j.contains(k)) f = Text(j[k], p + "." + k);
    };
    text("description", c.description);
    text("friendly_name", c.friendly_name);
    text("service", c.service);
    text("location", c.location);
    char key[64];
    std::snprintf(key, sizeof key, "%s\\%04d", GuidText(c.class_guid, false).c_str(), index);
    c.driver = key;
    text("driver", c.driver);
    if (j.contains("hardware_ids")) c.hardware_ids = Texts(j["hardware_ids"], p + ".hardware_ids");
    if (j.contains("compatible_ids")) c.compatible_ids = Texts(j["compatible_ids"], p + ".compatible_ids");
    if (j.contains("reenumerate_fails")) c.reenumerate_fails = Bool(j["reenumerate_fails"], p + ".reenumerate_fails");
    if (j.contains("scsi_port")) c.scsi_port = static_cast<int>(Unsigned(j["scsi_port"], p + ".scsi_port", 255));
    if (j.contains("csmi")) {
        if (c.scsi_port < 0) Fail(p + ".csmi", "a CSMI driver needs the controller's scsi_port");
        SimCsmiDesc csmi;
        std::string error;
        if (!ParseCsmiDesc(j["csmi"], p + ".csmi", csmi, error)) throw FieldError{error};
        c.csmi = std::move(csmi);
    }
    return c;
}

std::string DerivedPath(const std::string& instance_id) {
    std::string s = text::ToLower(instance_id);
    std::replace(s.begin(), s.end(), '\\', '#');
    return "\\\\?\\" + s + "#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
}

SimDisk ReadDisk(const json& j, const std::string& p, int index) {
    Object(j, p);
    OnlyKeys(j, p, {"instance_id", "controller", "device_path", "device_number", "scsi_address", "bus_type",
                    "removable", "vendor", "product", "revision", "serial", "description", "friendly_name",
                    "enumerator", "service", "driver", "location", "pdo_name", "hardware_ids", "compatible_ids",
                    "size", "geometry", "signature", "partitions", "max_transfer_length", "max_physical_pages",
                    "cannot_open", "failing_requests", "wmi", "remove_fails", "drive", "vanish", "nvme", "comment"});
    SimDisk d;
    auto text = [&](const char* k, std::string& f, size_t max = 1024) {
        if (j.contains(k)) f = Text(j[k], p + "." + k, max);
    };
    if (!j.contains("instance_id")) Fail(p + ".instance_id", "missing");
    if (!j.contains("controller")) Fail(p + ".controller", "missing");
    text("instance_id", d.instance_id, 199);
    if (d.instance_id.empty()) Fail(p + ".instance_id", "empty");
    text("controller", d.controller, 199);
    d.device_path = DerivedPath(d.instance_id);
    text("device_path", d.device_path, 400);
    d.device_number = index;
    if (j.contains("device_number")) {
        const json& n = j["device_number"];
        d.device_number = n.is_number_integer() && n.get<int64_t>() == -1
                              ? -1 : static_cast<int>(Unsigned(n, p + ".device_number", 255));
    }
    if (j.contains("scsi_address") && !j["scsi_address"].is_null()) {
        const json& a = j["scsi_address"];
        std::string ap = p + ".scsi_address";
        Object(a, ap);
        OnlyKeys(a, ap, {"port", "path", "target", "lun"});
        SimScsiAddress s;
        auto byte = [&](const char* k, uint8_t& f) {
            if (a.contains(k)) f = static_cast<uint8_t>(Unsigned(a[k], ap + "." + k, 255));
        };
        byte("port", s.port);
        byte("path", s.path);
        byte("target", s.target);
        byte("lun", s.lun);
        d.scsi_address = s;
    }
    if (j.contains("bus_type")) d.bus_type = BusType(j["bus_type"], p + ".bus_type");
    if (j.contains("removable")) d.removable = Bool(j["removable"], p + ".removable");
    text("vendor", d.vendor, 200);
    text("product", d.product, 200);
    text("revision", d.revision, 200);
    text("serial", d.serial, 200);
    text("description", d.description);
    text("friendly_name", d.friendly_name);
    d.enumerator = d.instance_id.substr(0, d.instance_id.find('\\'));
    text("enumerator", d.enumerator);
    text("service", d.service);
    char buf[64];
    std::snprintf(buf, sizeof buf, "{4d36e967-e325-11ce-bfc1-08002be10318}\\%04d", index);
    d.driver = buf;
    text("driver", d.driver);
    text("location", d.location);
    std::snprintf(buf, sizeof buf, "\\Device\\%08X", 0x30 + index);
    d.pdo_name = buf;
    text("pdo_name", d.pdo_name);
    if (j.contains("hardware_ids")) d.hardware_ids = Texts(j["hardware_ids"], p + ".hardware_ids");
    if (j.contains("compatible_ids")) d.compatible_ids = Texts(j["compatible_ids"], p + ".compatible_ids");
    if (j.contains("size")) {
        uint64_t size = Unsigned(j["size"], p + ".size", UINT64_MAX);
        d.geometry.cylinders = size / (uint64_t{255} * 63 * 512);
    }
    if (j.contains("geometry")) {
        const json& g = j["geometry"];
        std::string gp = p + ".geometry";
        Object(g, gp);
        OnlyKeys(g, gp, {"cylinders", "tracks_per_cylinder", "sectors_per_track", "bytes_per_sector"});
        if (g.contains("cylinders")) d.geometry.cylinders = Unsigned(g["cylinders"], gp + ".cylinders", INT64_MAX);
        auto u32 = [&](const char* k, uint32_t& f) {
            if (g.contains(k)) f = static_cast<uint32_t>(Unsigned(g[k], gp + "." + k, 0xFFFFFFFFu));
        };
        u32("tracks_per_cylinder", d.geometry.tracks_per_cylinder);
        u32("sectors_per_track", d.geometry.sectors_per_track);
        u32("bytes_per_sector", d.geometry.bytes_per_sector);
    }
    if (j.contains("signature")) d.signature = static_cast<uint32_t>(Unsigned(j["signature"], p + ".signature", 0xFFFFFFFFu));
    if (j.contains("partitions")) {
        const json& a = j["partitions"];
        if (!a.is_array()) Fail(p + ".partitions", "expected an array");
        for (size_t i = 0; i < a.size(); ++i) {
            std::string pp = p + ".partitions[" + std::to_string(i) + "]";
            Object(a[i], pp);
            OnlyKeys(a[i], pp, {"type", "letter", "size", "boot", "in_use"});
            SimPartition part;
            if (a[i].contains("type")) part.type = static_cast<uint8_t>(Unsigned(a[i]["type"], pp + ".type", 255));
            if (a[i].contains("letter")) {
                std::string l = Text(a[i]["letter"], pp + ".letter", 1);
                if (l.size() != 1 || l[0] < 'A' || l[0] > 'Z') Fail(pp + ".letter", "expected one letter A to Z");
                part.letter = l[0];
            }
            if (a[i].contains("size")) part.length = Unsigned(a[i]["size"], pp + ".size", INT64_MAX);
            if (a[i].contains("boot")) part.boot = Bool(a[i]["boot"], pp + ".boot");
            if (a[i].contains("in_use")) part.in_use = Bool(a[i]["in_use"], pp + ".in_use");
            d.partitions.push_back(part);
        }
    }
    if (j.contains("max_transfer_length"))
        d.max_transfer_length = static_cast<uint32_t>(Unsigned(j["max_transfer_length"], p + ".max_transfer_length", 0xFFFFFFFFu));
    if (j.contains("max_physical_pages"))
        d.max_physical_pages = static_cast<uint32_t>(Unsigned(j["max_physical_pages"], p + ".max_physical_pages", 0xFFFFFFFFu));
    if (j.contains("cannot_open")) d.cannot_open = Bool(j["cannot_open"], p + ".cannot_open");
    if (j.contains("failing_requests")) {
        for (const std::string& r : Texts(j["failing_requests"], p + ".failing_requests")) {
            if (std::none_of(std::begin(kSimDiskRequests), std::end(kSimDiskRequests),
                             [&](const char* k) { return r == k; }))
                Fail(p + ".failing_requests", "unknown request \"" + r + "\"");
            d.failing_requests.insert(r);
        }
    }
    if (j.contains("wmi")) {
        const json& w = j["wmi"];
        if (!w.is_object()) Fail(p + ".wmi", "expected an object of property texts");
        for (auto it = w.begin(); it != w.end(); ++it) d.wmi[it.key()] = Text(it.value(), p + ".wmi." + it.key());
    }
    if (j.contains("vanish")) {
        const json& v = j["vanish"];
        const std::string vp = p + ".vanish";
        Object(v, vp);
        OnlyKeys(v, vp, {"after_opens", "back_after_refused_opens", "back_after_seconds"});
        if (!v.contains("after_opens")) Fail(vp + ".after_opens", "missing");
        SimVanish vanish;
        vanish.after_opens = static_cast<int>(Unsigned(v["after_opens"], vp + ".after_opens", 1000000));
        if (v.contains("back_after_refused_opens"))
            vanish.back_after_refused =
                static_cast<int>(Unsigned(v["back_after_refused_opens"], vp + ".back_after_refused_opens", 1000000));
        if (v.contains("back_after_seconds")) {
            const json& s = v["back_after_seconds"];
            if (!s.is_number() || s.get<double>() < 0 || s.get<double>() > 1e9)
                Fail(vp + ".back_after_seconds", "expected a number of seconds from 0 to 1000000000");
            vanish.back_after_seconds = s.get<double>();
        }
        d.vanish = vanish;
    }
    if (j.contains("remove_fails")) d.remove_fails = Bool(j["remove_fails"], p + ".remove_fails");
    if (j.contains("drive")) {
        const json& drive = j["drive"];
        if (!drive.is_object()) Fail(p + ".drive", "expected an object");
        // {}: a disk without a drive model.
        if (!drive.empty()) {
            SimDriveDesc desc;
            std::string error;
            if (!ParseDriveDesc(drive, p + ".drive", desc, error)) throw FieldError{error};
            d.drive = std::move(desc);
        }
    }
    if (j.contains("nvme")) {
        SimNvmeDesc desc;
        std::string error;
        if (!ParseNvmeDesc(j["nvme"], p + ".nvme", desc, error)) throw FieldError{error};
        d.nvme = std::move(desc);
    }
    return d;
}

void Apply(const json& j, SimStorage& s) {
    if (j.contains("controllers")) {
        const json& a = j["controllers"];
        if (!a.is_array()) Fail("controllers", "expected an array");
        s.controllers.clear();
        for (size_t i = 0; i < a.size(); ++i)
            s.controllers.push_back(ReadController(a[i], "controllers[" + std::to_string(i) + "]", static_cast<int>(i)));
    }
    if (j.contains("disks")) {
        const json& a = j["disks"];
        if (!a.is_array()) Fail("disks", "expected an array");
        s.disks.clear();
        for (size_t i = 0; i < a.size(); ++i)
            s.disks.push_back(ReadDisk(a[i], "disks[" + std::to_string(i) + "]", static_cast<int>(i)));
    }
    if (j.contains("setup_services_missing")) {
        const json& m = j["setup_services_missing"];
        s.libraries_missing = false;
        s.missing_entry_points.clear();
        if (m.is_boolean()) {
            s.libraries_missing = m.get<bool>();
        } else {
            for (const std::string& name : Texts(m, "setup_services_missing")) {
                if (std::none_of(std::begin(kSetupEntryNames), std::end(kSetupEntryNames),
                                 [&](const char* k) { return name == k; }))
                    Fail("setup_services_missing", "no entry point \"" + name + "\"");
                s.missing_entry_points.insert(name);
            }
        }
    }
    if (j.contains("wmi_unavailable")) s.wmi_unavailable = Bool(j["wmi_unavailable"], "wmi_unavailable");
    if (j.contains("wmi_counts_extra_disk"))
        s.wmi_counts_extra_disk = Bool(j["wmi_counts_extra_disk"], "wmi_counts_extra_disk");

    // Links must name what exists.
    std::set<std::string> ids;
    for (size_t i = 0; i < s.controllers.size(); ++i)
        if (!ids.insert(text::ToLower(s.controllers[i].instance_id)).second)
            Fail("controllers[" + std::to_string(i) + "].instance_id", "the same instance id twice");
    for (size_t i = 0; i < s.controllers.size(); ++i)
        if (!s.controllers[i].parent.empty() && !ids.count(text::ToLower(s.controllers[i].parent)))
            Fail("controllers[" + std::to_string(i) + "].parent", "no controller \"" + s.controllers[i].parent + "\"");
    for (size_t i = 0; i < s.disks.size(); ++i) {
        if (!ids.count(text::ToLower(s.disks[i].controller)))
            Fail("disks[" + std::to_string(i) + "].controller", "no controller \"" + s.disks[i].controller + "\"");
    }
    for (size_t i = 0; i < s.disks.size(); ++i)
        if (!ids.insert(text::ToLower(s.disks[i].instance_id)).second)
            Fail("disks[" + std::to_string(i) + "].instance_id", "the same instance id twice");
}

}  // namespace

bool SimClassGuid(const std::string& name, Guid& out) {
    for (const auto& c : kClasses)
        if (name == c.name) {
            out = c.guid;
            return true;
        }
    unsigned d1, d2, d3, b[8];
    char close = 0;
    if (name.size() == 38 &&
        std::sscanf(name.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x%c", &d1, &d2, &d3, &b[0], &b[1], &b[2],
                    &b[3], &b[4], &b[5], &b[6], &b[7], &close) == 12 && close == '}') {
        out.Data1 = d1;
        out.Data2 = static_cast<uint16_t>(d2);
        out.Data3 = static_cast<uint16_t>(d3);
        for (int i = 0; i < 8; ++i) out.Data4[i] = static_cast<uint8_t>(b[i]);
        return true;
    }
    return false;
}

std::string GuidText(const Guid& g, bool upper) {
    char buf[40];
    std::snprintf(buf, sizeof buf,
                  upper ? "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}"
                        : "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                  g.Data1, g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5],
                  g.Data4[6], g.Data4[7]);
    return buf;
}

bool LoadStorage(const nlohmann::json& machine, SimStorage& out, std::string& error) {
    SimStorage s = out;
    try {
        Apply(machine, s);
    } catch (const FieldError& e) {
        error = e.message;
        return false;
    } catch (const json::exception& e) {
        error = std::string("storage: ") + e.what();
        return false;
    }
    out = std::move(s);
    return true;
}

}  // namespace orvane::platform::sim
