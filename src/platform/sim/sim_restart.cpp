#include "platform/sim/sim_restart.h"

#include <filesystem>
#include <mutex>
#include <optional>

#include "platform/sim/sim_drive.h"
#include "platform/sim/sim_drive_state.h"
#include "platform/sim/sim_image_tag.h"
#include "platform/sim/sim_system_api.h"
#include "platform/stdio_files.h"
#include "text/text.h"

namespace orvane::platform::sim {

namespace {

namespace fs = std::filesystem;

constexpr const char* kSessionManager = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr const char* kBootExecute = "BootExecute";
// The one setting the simulated flasher needs: whose drive it updates ("%.20s", blank padded).
constexpr std::string_view kSerialKey = "SN1=";
constexpr size_t kSerialWidth = 20;

// A file of `dir` by name, in any case, as Windows finds it.
std::optional<fs::path> FindFile(const fs::path& dir, const std::string& name) {
    std::error_code ec;
    if (fs::is_regular_file(dir / name, ec)) return dir / name;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (text::EqualsNoCase(it->path().filename().string(), name) && it->is_regular_file(ec)) return it->path();
    return std::nullopt;
}

// The value the program patched in after the key: up to its first NUL, at most its field's width.
std::optional<std::string> Setting(const std::vector<uint8_t>& image, std::string_view key, size_t width) {
    const std::string bytes(image.begin(), image.end());
    const size_t at = bytes.find(key);
    if (at == std::string::npos) return std::nullopt;
    std::string value = bytes.substr(at + key.size(), width);
    value = value.substr(0, value.find('\0'));
    return text::Trim(value);
}

// An ATA drive by serial number, wherever it hangs (a disk, or a RAID controller's phy).
struct Target {
    SimAtaDrive* drive = nullptr;
    SimDisk* disk = nullptr;  // null behind a phy
    bool nvme = false;        // the serial names an NVMe drive
};

Target FindDrive(SimHardware& hw, const std::string& serial) {
    for (SimDisk& disk : hw.storage.disks) {
        if (disk.vanished && !disk.came_back) continue;  // pulled
        if (disk.drive_stack && text::Trim(disk.drive_stack->drive().desc().serial) == serial)
            return Target{&disk.drive_stack->drive(), &disk, false};
        if (disk.nvme_drive && text::Trim(disk.serial) == serial) return Target{nullptr, &disk, true};
    }
    for (SimController& c : hw.storage.controllers)
        for (size_t i = 0; c.csmi_port && i < c.csmi->phys.size(); ++i)
            if (SimAtaDrive* d = c.csmi_port->drive(i); d && text::Trim(d->desc().serial) == serial)
                return Target{d, nullptr, false};
    return Target{};
}

// Serial and running revision of every drive, in a fixed order, to tell what the power cycle changed.
std::vector<std::pair<std::string, std::string>> Running(SimHardware& hw) {
    std::vector<std::pair<std::string, std::string>> out;
    for (SimDisk& disk : hw.storage.disks) {
        if (disk.drive_stack) out.emplace_back(disk.drive_stack->drive().desc().serial, disk.drive_stack->drive().desc().revision);
        else if (disk.nvme_drive) out.emplace_back(disk.serial, disk.nvme_drive->ActiveRevision());
    }
    for (SimController& c : hw.storage.controllers)
        for (size_t i = 0; c.csmi_port && i < c.csmi->phys.size(); ++i)
            if (SimAtaDrive* d = c.csmi_port->drive(i)) out.emplace_back(d->desc().serial, d->desc().revision);
    return out;
}

class BootFlashers {
public:
    BootFlashers(SimHardware& hw, SimSystemApi& system) : hw_(hw), system_(system) {}

    std::vector<std::string> Run() {
        std::vector<uint8_t> bytes;
        const RegRead read = system_.RegQueryMultiSz(kSessionManager, kBootExecute, bytes);
        if (read == RegRead::WrongType) say("BootExecute is not a list of texts: no boot-time program runs");
        if (read != RegRead::Ok) return std::move(lines_);
        const std::vector<std::string> before = MultiSzStrings(bytes);
        std::vector<std::string> after;
        for (const std::string& entry : before)
            if (!RunEntry(entry)) after.push_back(entry);
        if (after != before && system_.RegSetMultiSz(kSessionManager, kBootExecute, MultiSzBytes(after)) != RegWrite::Ok)
            say("the flashers' BootExecute entries could not be removed: they run again at the next start");
        return std::move(lines_);
    }

private:
    void say(const std::string& line) { lines_.push_back("[restart] " + line); }

    // True when the entry was a flasher's and goes.
    bool RunEntry(const std::string& entry) {
        const std::string trimmed = text::Trim(entry);
        const size_t blank = trimmed.find(' ');
        const std::string name = trimmed.substr(0, blank);
        const std::string argument = blank == std::string::npos ? "" : text::Trim(trimmed.substr(blank + 1));
        if (name.empty() || text::EqualsNoCase(name, "autocheck")) return false;
        // At boot Windows runs the native system folder's program, whatever the program's view was.
        const fs::path folder = system_.facts().system_dir;
        const std::optional<fs::path> program = FindFile(folder, name + ".exe");
        if (!program) {
            say("boot-time program " + name + " not run: no " + name + ".exe in the system folder");
            return false;
        }
        const auto image = StdioRead(program->string());
        const std::optional<std::string> serial = image ? Setting(*image, kSerialKey, kSerialWidth) : std::nullopt;
        if (!serial) {
            say("boot-time program " + name + " ran: it is no flasher (no SN1= setting), its entry stays");
            return false;
        }
        const std::string failed = "boot-time flasher " + name + " failed: ";
        if (system_.facts().boot_flasher_fails) {
            say(failed + "it reports a failure (system.boot_flasher_fails)");
            return true;
        }
        if (argument.empty()) {
            say(failed + "no image named");
            return true;
        }
        // A bare name is the flasher's own folder's file, as the real one resolves it.
        const bool bare = argument.find_first_of("\\/:") == std::string::npos;
        const std::optional<fs::path> file =
            bare ? FindFile(folder, argument) : std::optional<fs::path>(system_.HostPath(argument));
        const auto fw = file ? StdioRead(file->string()) : std::nullopt;
        if (!fw) {
            say(failed + "cannot read the image " + argument);
            return true;
        }
        Flash(name, argument, *serial, *fw);
        return true;
    }

    void Flash(const std::string& name, const std::string& argument, const std::string& serial,
               const std::vector<uint8_t>& fw) {
        const std::string failed = "boot-time flasher " + name + " failed: ";
        const Target t = FindDrive(hw_, serial);
        if (t.nvme) {
            say(failed + "drive " + serial + " is an NVMe drive, which it cannot update");
            return;
        }
        if (!t.drive) {
            say(failed + "no drive has the serial number \"" + serial + "\"");
            return;
        }
        std::string why;
        if (!t.drive->FlashAtBoot(fw, why)) {
            say(failed + "drive " + serial + ": " + why);
            return;
        }
        if (t.disk) DiskRestarting(*t.disk, false);
        const auto tag = FindImageTag(fw.data(), fw.size());
        const std::string now = t.drive->Restarting() ? "it does not come back" : "it runs " + t.drive->desc().revision;
        say("boot-time flasher " + name + " wrote " + argument + " (" + (tag ? tag->revision : "untagged") +
            ") to drive " + serial + "; " + now);
    }

    SimHardware& hw_;
    SimSystemApi& system_;
    std::vector<std::string> lines_;
};

}  // namespace

void RestartDrives(SimHardware& hw) {
    std::lock_guard<std::recursive_mutex> lock(hw.mutex);
    for (SimDisk& disk : hw.storage.disks) {
        if (disk.drive_stack) disk.drive_stack->drive().MachineRestart();
        if (disk.nvme_drive) disk.nvme_drive->MachineRestart();
        // The start enumerates every device again.
        disk.removed = false;
        DiskRestarting(disk, false);
    }
    for (SimController& c : hw.storage.controllers)
        for (size_t i = 0; c.csmi_port && i < c.csmi->phys.size(); ++i)
            if (SimAtaDrive* drive = c.csmi_port->drive(i)) drive->MachineRestart();
}

std::vector<std::string> RestartMachine(SimHardware& hw, SimSystemApi& system) {
    std::lock_guard<std::recursive_mutex> lock(hw.mutex);
    // Windows starts afresh: its uptime begins again and the clock has moved on.
    system.Restart();
    const auto before = Running(hw);
    RestartDrives(hw);
    const auto after = Running(hw);
    std::vector<std::string> lines;
    for (size_t i = 0; i < before.size() && i < after.size(); ++i)
        if (before[i].second != after[i].second)
            lines.push_back("[restart] drive " + after[i].first + " now runs " + after[i].second + " (was " +
                            before[i].second + ")");
    for (std::string& line : BootFlashers(hw, system).Run()) lines.push_back(std::move(line));
    return lines;
}

}  // namespace orvane::platform::sim
