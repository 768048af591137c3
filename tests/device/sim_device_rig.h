#pragma once
// The device object over a whole simulated machine, with its debug log in a file of its own.
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "device/ata_device.h"
#include "platform/sim/sim_platform.h"

namespace orvane::test {

// A machine description committed beside this file.
inline nlohmann::json MachineFile(const char* name) {
    const std::filesystem::path path = std::filesystem::path(__FILE__).parent_path() / "machines" / name;
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << "cannot read " << path.string();
    std::stringstream ss;
    ss << in.rdbuf();
    return nlohmann::json::parse(ss.str());
}

// Blank-padded as IDENTIFY carries its texts.
inline std::string Pad(const std::string& text, size_t width) { return text + std::string(width - text.size(), ' '); }

struct SimDevice {
    explicit SimDevice(const std::string& machine_text, double speed = 10000) {
        std::string error;
        EXPECT_TRUE(platform::sim::LoadMachine(machine_text, machine, error)) << error;
        sim = std::make_unique<platform::sim::SimPlatform>(machine, speed);
        log_path = testing::TempDir() + "orvane_sim_device_" +
                   testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
        std::filesystem::remove(log_path);
        dev = std::make_unique<device::TAtaDevice>(sim->platform(), log_path);
    }
    ~SimDevice() { std::filesystem::remove(log_path); }
    // Device list index of the disk whose instance identifier contains `part`; -1 when none.
    int Index(const std::string& part) const {
        for (int i = 0; i < dev->device_count(); ++i)
            if (std::string(discovery::FieldView(dev->device_entry(i)->szInstanceId)).find(part) != std::string::npos)
                return i;
        return -1;
    }
    // The log's lines end in LF (Windows builds append in text mode: CR LF).
    std::string Log() const {
        std::ifstream in(log_path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        std::string text = ss.str();
        std::erase(text, '\r');
        return text;
    }

    platform::sim::SimMachine machine;
    std::unique_ptr<platform::sim::SimPlatform> sim;
    std::string log_path;
    std::unique_ptr<device::TAtaDevice> dev;
};

}  // namespace orvane::test
