#pragma once
// Simulated machines for the discovery tests, described in JSON as a machine file would be.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "discovery/dev_mgr.h"
#include "platform/sim/sim_platform.h"

namespace orvane::test {

using nlohmann::json;

inline const char kAhci[] = "PCI\\VEN_8086&DEV_2922&SUBSYS_B0051458&REV_02\\3&11583659&0&FA";

// One AHCI controller under the PCI root; disks are added below it.
inline json AhciMachine() {
    return json{{"controllers",
                 json::array({json{{"instance_id", "ACPI\\PNP0A08\\0"}, {"class", "system"}, {"service", "pci"}},
                              json{{"instance_id", kAhci},
                                   {"parent", "ACPI\\PNP0A08\\0"},
                                   {"class", "hdc"},
                                   {"service", "storahci"}}})},
                {"disks", json::array()}};
}

// A disk below the AHCI controller; address given as port/path/target/lun, or none.
inline json SataDisk(const std::string& name, int number, std::vector<int> address = {}) {
    json d{{"instance_id", "SCSI\\DISK&VEN_&PROD_" + name + "\\4&1&0&" + std::to_string(number)},
           {"controller", kAhci},
           {"device_number", number},
           {"bus_type", "sata"},
           {"product", name},
           {"revision", "REV" + std::to_string(number)},
           {"serial", "SN" + name},
           {"size", 1000204886016ull}};
    if (address.size() == 4)
        d["scsi_address"] = json{{"port", address[0]}, {"path", address[1]}, {"target", address[2]}, {"lun", address[3]}};
    return d;
}

struct Rig {
    explicit Rig(const json& machine_json) {
        std::string error;
        EXPECT_TRUE(platform::sim::LoadMachine(machine_json.dump(), machine, error)) << error;
        sim = std::make_unique<platform::sim::SimPlatform>(machine, 10000);
        mgr = std::make_unique<discovery::TDevMgr>(sim->platform(), &sim->pump(),
                                                  [this](const std::string& l) { log.push_back(l); });
    }
    // Instance ids of the listed nodes, in list order.
    std::vector<std::string> Order() const {
        std::vector<std::string> out;
        for (int i = 0; i < mgr->node_count(); ++i)
            out.emplace_back(discovery::FieldView(mgr->node_list()[i].szInstanceId));
        return out;
    }
    const discovery::DISK_NODE* Node(const std::string& product_part) const {
        for (int i = 0; i < mgr->node_count(); ++i)
            if (std::string(discovery::FieldView(mgr->node_list()[i].szInstanceId)).find(product_part) !=
                std::string::npos)
                return &mgr->node_list()[i];
        return nullptr;
    }
    // How many scan passes asked disk `path` for its address.
    int AddressRequests() const {
        int n = 0;
        for (const auto& r : sim->storage().Requests())
            if (r.code == discovery::IOCTL_SCSI_GET_ADDRESS) ++n;
        return n;
    }

    platform::sim::SimMachine machine;
    std::unique_ptr<platform::sim::SimPlatform> sim;
    std::unique_ptr<discovery::TDevMgr> mgr;
    std::vector<std::string> log;
};

inline std::string Id(const std::string& name, int number) {
    return "SCSI\\DISK&VEN_&PROD_" + name + "\\4&1&0&" + std::to_string(number);
}

}  // namespace orvane::test
