// The boot-time route, whole runs on simulated machines: what lands in the system directory and
// the registry, what is asked, and that a failure leaves nothing behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "package/package_layout.h"
#include "device/sim_device_rig.h"
#include "scenario/result_check.h"
#include "scenario/scenario_rig.h"
#include "scenario/truth_check.h"
#include "ui/console/user_actions.h"

namespace orvane::testing::scenario {
namespace {

namespace digit = package::digit;
using Bytes = std::vector<uint8_t>;

constexpr const char* kSessionManager = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr const char* kWarningStart = "WARNING: THIS PROCESS WILL UPDATE THE FIRMWARE ON YOUR SSD.THERE IS A RISK";
constexpr const char* kRebootQuestion = "The update process needs to REBOOT your computer. Do you want to reboot NOW ?\n";

// The Windows facts of a machine: version, processor and WOW64.
std::function<void(platform::sim::SimMachine&)> Windows(uint32_t major, uint32_t minor, uint16_t product,
                                                         const char* arch, const char* wow64) {
    return [=](platform::sim::SimMachine& m) {
        m.system.version.dwMajorVersion = major;
        m.system.version.dwMinorVersion = minor;
        m.system.version.wProductType = static_cast<uint8_t>(product);
        m.system.architecture = std::string(arch) == "x86" ? platform::kArchIntel : platform::kArchAMD64;
        m.system.wow64 = std::string(wow64) == "yes" ? platform::Wow64::Yes : platform::Wow64::No;
    };
}

std::string MultiSz(std::vector<std::string> strings) {
    std::string out;
    for (const auto& s : strings) out += s + '\0';
    return out + '\0';
}

void SetBootExecute(platform::sim::SimMachine& m, const std::string& bytes) {
    const std::string id = "system\\currentcontrolset\\control\\session manager";
    m.system.registry[id].path = kSessionManager;
    m.system.registry[id].values["BootExecute"] =
        platform::sim::SimRegValue{platform::sim::SimRegValue::kMultiSz, Text(bytes)};
}

struct Result {
    Outcome o;
    json doc;  // the "/RESULT:" document
    PackageFacts facts;
    std::optional<Bytes> fw, flasher, copier;  // the files, where the program's view puts them
    bool in_native = false;                     // were they in the native system directory
    std::optional<std::string> boot_execute;
    std::vector<std::string> started;
    int privilege = 0;
};

std::optional<Bytes> ReadHost(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    if (!f) return std::nullopt;
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

Result RunBoot(std::function<void(platform::sim::SimMachine&)> edit, std::function<void(Package&)> package,
           json machine = Machine({SataDisk(0, kSerial)}), std::vector<std::string> answers = {"ok", "no"},
           std::vector<std::string> args = {}, const std::string& actions = "press:Update") {
    AppRun run([&](platform::sim::SimMachine& m) {
        LoadScenarioMachine(m, machine);
        if (edit) edit(m);
    });
    Package p;
    BootPackage(p);
    if (package) package(p);
    WritePackage(p, run.package);
    run.answers = answers;
    run.args = args;
    // Every run writes its document; a case that names its own path reads it there.
    std::string result_path;
    bool own_path = false;
    for (const std::string& a : args)
        if (a.rfind("/RESULT:", 0) == 0) {
            result_path = a.substr(8);
            own_path = true;
        }
    if (!own_path) run.args.push_back(ResultArgumentFor(run, result_path));
    std::string error;
    if (!actions.empty()) {
        EXPECT_TRUE(ui::ParseActions(actions, run.actions, error)) << error;
    }

    Result r;
    r.o = Capture(run, run.Run());
    r.doc = ReadResultFile(result_path);
    r.facts.new_fw = p.new_fw;
    auto& sys = run.sim().system();
    r.fw = ReadHost(sys.HostPath("C:\\Windows\\System32\\FW.bin"));
    r.flasher = ReadHost(sys.HostPath("C:\\Windows\\System32\\Ostrel.exe"));
    r.copier = ReadHost(sys.HostPath("C:\\Windows\\SysWOW64\\CopyFile.exe"));
    r.in_native = sys.HostPath("C:\\Windows\\System32\\FW.bin").find("SysWOW64") == std::string::npos;
    if (auto v = sys.RegValue(kSessionManager, "BootExecute")) r.boot_execute = std::string(v->bytes.begin(), v->bytes.end());
    for (const auto& s : sys.started) r.started.push_back(s.program + " " + s.parameters);
    r.privilege = sys.shutdown_privilege_enabled;
    return r;
}

// What every run must hold: the truth of its reports, and the machine let sleep again.
void Truthful(const Result& r, const std::string& name) {
    ExpectReleasedKeepAwake(r.o, name);
    ExpectTruth(r.o, r.doc, r.facts, name);
}

// The flasher's name as the written file starts with it.
std::string FlasherName(const Result& r) {
    if (!r.flasher || r.flasher->size() < 3) return "";
    std::string s(r.flasher->begin() + 2, r.flasher->end());
    return s.substr(0, s.find(';'));
}

// The value written right after a key in the written flasher, up to the first NUL.
std::string Setting(const Result& r, const std::string& key) {
    if (!r.flasher) return "<no flasher>";
    std::string s(r.flasher->begin(), r.flasher->end());
    const size_t at = s.find(key);
    if (at == std::string::npos) return "<no key>";
    return std::string(s.c_str() + at + key.size());
}

const std::string kDefaultBoot = MultiSz({"autocheck autochk *", "Ostrel FW.bin"});

TEST(BootRoute, PreparesTheUpdateForTheNextStart) {
    const Result r = RunBoot(nullptr, nullptr);
    Truthful(r, "prepared, answered No");
    EXPECT_EQ(r.o.exit_code, 0);
    // The deciphered image: the tagged image, zero-padded to 512 as the packer stored it.
    Bytes plain = TaggedImage(40960, kNewFw, kNewDef);
    ASSERT_TRUE(r.fw);
    EXPECT_EQ(*r.fw, plain);
    EXPECT_EQ(FlasherName(r), "WIN7_X64");
    EXPECT_EQ(r.boot_execute, kDefaultBoot);
    EXPECT_TRUE(HasBoxStarting(r.o, kWarningStart));
    EXPECT_TRUE(HasBox(r.o, kRebootQuestion));
    EXPECT_EQ(r.privilege, 1);
    EXPECT_TRUE(r.o.restarts.empty()) << "answered No";
    EXPECT_TRUE(r.started.empty()) << "a 64-bit program needs no copy program";
    EXPECT_FALSE(r.copier);
    EXPECT_FALSE(HasLine(r.o, Starts("Flash Total Time"))) << "the route logs no total time";
    auto d = FindDrive(r.o.drives, kSerial);
    ASSERT_TRUE(d);
    EXPECT_EQ(Sent(*d, kDownloadMicrocode), 0) << "nothing is flashed from Windows";
    EXPECT_FALSE(r.o.keep_awake.empty());
    EXPECT_FALSE(r.o.keep_awake.back()) << "the machine may sleep again";
}

TEST(BootRoute, YesRestartsTheMachine) {
    const Result r = RunBoot(nullptr, nullptr, Machine({SataDisk(0, kSerial)}), {"ok", "yes"});
    Truthful(r, "prepared, answered Yes");
    EXPECT_EQ(r.o.exit_code, 0);
    ASSERT_EQ(r.o.restarts.size(), 1u);
    EXPECT_EQ(r.o.restarts[0], platform::ExitKind::Reboot);
}

TEST(BootRoute, SettingsWithEveryOptionClearAndSet) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, char>> digits;
        const char* flags[4];  // UPDATEBOOT, B_PREFORMAT, A_PREFORMAT, SSDREBOOT
    } cases[] = {
        {"all clear", {{digit::ReBoot, '0'}}, {"0", "0", "0", "0"}},
        {"all set",
         {{digit::ReBoot, '1'}, {digit::bUpdateBoot, '1'}, {digit::bBPreformat, '1'}, {digit::Preformat, '1'}},
         {"1", "1", "1", "1"}},
    };
    for (const Case& c : cases) {
        const Result r = RunBoot(nullptr, [&](Package& p) { p.digits.insert(p.digits.end(), c.digits.begin(), c.digits.end()); });
        Truthful(r, c.name);
        EXPECT_EQ(r.o.exit_code, 0) << c.name;
        EXPECT_EQ(Setting(r, "UPDATEBOOT="), c.flags[0]) << c.name;
        EXPECT_EQ(Setting(r, "B_PREFORMAT="), c.flags[1]) << c.name;
        EXPECT_EQ(Setting(r, "A_PREFORMAT="), c.flags[2]) << c.name;
        EXPECT_EQ(Setting(r, "SSDREBOOT="), c.flags[3]) << c.name;
        EXPECT_EQ(Setting(r, "PROTOCOL="), "1") << c.name << ": ATA pass-through";
        EXPECT_EQ(Setting(r, "_____FW="), "S0614C0") << c.name;
        EXPECT_EQ(Setting(r, "_FW_EXT="), "AM802031") << c.name;
        EXPECT_EQ(Setting(r, "DRIVECOUNT="), "0001") << c.name;
        EXPECT_EQ(Setting(r, "VENDID1="), "MERETH SSD 512GB                        ") << c.name;
        EXPECT_EQ(Setting(r, "FW1="), "S0614B0 ") << c.name;
        EXPECT_EQ(Setting(r, "SN1="), "MS512A0123456789    ") << c.name;
    }
}

TEST(BootRoute, FlasherAndCopyProgramByWindowsFamilyAndWidth) {
    struct Case {
        const char* name;
        uint32_t major, minor;
        uint16_t product;
        const char* arch;
        const char* wow64;
        const char* flasher;
        const char* copier;  // written and started under WOW64 only
    } cases[] = {
        {"XP, 32-bit", 5, 1, 1, "x86", "no", "XP_X86", nullptr},
        {"Server 2003, 32-bit", 5, 2, 3, "x86", "no", "2003_X86", nullptr},
        {"Server 2003 x64, WOW64", 5, 2, 3, "x64", "yes", "2003_X64", "COPY_2K3"},
        {"Vista, 32-bit", 6, 0, 1, "x86", "no", "2008_X86", nullptr},
        {"Server 2008 x64, 64-bit program", 6, 0, 3, "x64", "no", "2008_X64", nullptr},
        {"Server 2008 x64, WOW64", 6, 0, 3, "x64", "yes", "2008_X64", "COPY_2K8"},
        {"Windows 7, 32-bit", 6, 1, 1, "x86", "no", "WIN7_X86", nullptr},
        {"Windows 7 x64, WOW64", 6, 1, 1, "x64", "yes", "WIN7_X64", "COPY_WIN7"},
        {"Windows 7 x64, 64-bit program", 6, 1, 1, "x64", "no", "WIN7_X64", nullptr},
        {"Windows 10, 32-bit", 10, 0, 1, "x86", "no", "WIN7_X86", nullptr},
        {"Windows 10 x64, WOW64", 10, 0, 1, "x64", "yes", "WIN7_X64", "COPY_2K8"},
    };
    for (const Case& c : cases) {
        const Result r = RunBoot(Windows(c.major, c.minor, c.product, c.arch, c.wow64), nullptr);
        Truthful(r, c.name);
        EXPECT_EQ(r.o.exit_code, 0) << c.name;
        EXPECT_EQ(FlasherName(r), c.flasher) << c.name;
        EXPECT_TRUE(r.fw) << c.name;
        EXPECT_EQ(r.boot_execute, kDefaultBoot) << c.name;
        if (c.copier) {
            // A 32-bit program's writes land in the 32-bit view; the copy program moves them.
            EXPECT_FALSE(r.in_native) << c.name;
            ASSERT_TRUE(r.copier) << c.name;
            EXPECT_EQ(*r.copier, Text(c.copier)) << c.name;
            EXPECT_EQ(r.started, std::vector<std::string>{"cmd.exe /c C:\\Windows\\SysWOW64\\CopyFile.exe"}) << c.name;
        } else {
            EXPECT_TRUE(r.in_native) << c.name;
            EXPECT_FALSE(r.copier) << c.name;
            EXPECT_TRUE(r.started.empty()) << c.name;
        }
    }
}

TEST(BootRoute, OtherBootProgramsAreKept) {
    struct Case {
        const char* name;
        std::string before, after;
    } cases[] = {
        {"another tool after the checker", MultiSz({"autocheck autochk /p \\??\\D:", "othertool /x"}),
         MultiSz({"autocheck autochk /p \\??\\D:", "othertool /x", "Ostrel FW.bin"})},
        {"an earlier entry of the flasher is replaced", MultiSz({"OSTREL old.bin", "autocheck autochk *", "x y"}),
         MultiSz({"autocheck autochk *", "x y", "Ostrel FW.bin"})},
        {"no checker: none is added", MultiSz({"othertool"}), MultiSz({"othertool", "Ostrel FW.bin"})},
        {"an empty list", std::string(2, '\0'), MultiSz({"Ostrel FW.bin"})},
    };
    for (const Case& c : cases) {
        const Result r = RunBoot([&](platform::sim::SimMachine& m) { SetBootExecute(m, c.before); }, nullptr);
        Truthful(r, c.name);
        EXPECT_EQ(r.o.exit_code, 0) << c.name;
        EXPECT_EQ(r.boot_execute, c.after) << c.name;
    }
    // Without a value, the list starts with the disk checker.
    const Result absent = RunBoot(
        [](platform::sim::SimMachine& m) {
            m.system.registry["system\\currentcontrolset\\control\\session manager"].values.clear();
        },
        nullptr);
    Truthful(absent, "no BootExecute value");
    EXPECT_EQ(absent.boot_execute, kDefaultBoot);
}

TEST(BootRoute, AnEmptyFlasherIsStillWrittenAndRegistered) {
    const Result r = RunBoot(nullptr, [](Package& p) { p.aux.erase(Win7X64); });
    Truthful(r, "an empty flasher");
    EXPECT_EQ(r.o.exit_code, 0);
    ASSERT_TRUE(r.flasher);
    EXPECT_TRUE(r.flasher->empty());
    EXPECT_EQ(r.boot_execute, kDefaultBoot);
}

TEST(BootRoute, AFailureLeavesNothingBehind) {
    const std::string before = MultiSz({"autocheck autochk *", "othertool /x"});
    auto with = [&](std::function<void(platform::sim::SimMachine&)> f) {
        return [=](platform::sim::SimMachine& m) {
            SetBootExecute(m, before);
            f(m);
        };
    };
    struct Case {
        const char* name;
        std::function<void(platform::sim::SimMachine&)> edit;
        std::function<void(Package&)> package;
        std::string box;
        const char* line = nullptr;  // the log's reason, where the box gives only the code
    } cases[] = {
        {"the image file cannot be created",
         with([](auto& m) { m.system.unwritable_files = {"FW.bin"}; }), nullptr,
         "Fail to write FW files into system !\n"},
        {"the flasher file cannot be created",
         with([](auto& m) { m.system.unwritable_files = {"Ostrel.exe"}; }), nullptr,
         "[0xE1] Fail to write UPDATE files into system !\n"},
        {"the registry refuses the value", with([](auto& m) { m.system.registry_write_fails = true; }), nullptr,
         "[0xE2] Fail to write UPDATE files into system !\n"},
        {"no session-manager key",
         [](auto& m) { m.system.registry.erase("system\\currentcontrolset\\control\\session manager"); }, nullptr,
         "[0xE3] Fail to write UPDATE files into system !\n"},
        {"the model does not fit in the flasher", with([](auto&) {}),
         [](Package& p) {
             std::string s = "MZWIN7_X64;UPDATEBOOT=\0\0B_PREFORMAT=\0\0VENDID1=";
             p.aux[Win7X64] = Bytes(s.begin(), s.end());
         },
         "[0xE4] Fail to write UPDATE files into system !\n"},
        {"the copy program cannot be written",
         with([](auto& m) {
             Windows(6, 1, 1, "x64", "yes")(m);
             m.system.unwritable_files = {"CopyFile.exe"};
         }),
         nullptr, "[0xE7] Fail to write UPDATE files into system !\n"},
        {"the copy program cannot be started",
         with([](auto& m) {
             Windows(6, 1, 1, "x64", "yes")(m);
             m.system.start_fails = true;
         }),
         nullptr, "[0xE8] Fail to write UPDATE files into system !\n"},
        // The package's XP flasher is 32-bit, which cannot run at boot on x64 XP.
        {"x64 XP under WOW64", with(Windows(5, 2, 1, "x64", "yes")), nullptr,
         "[0xE9] Fail to write UPDATE files into system !\n",
         "BOOT_SETUP: 0xE9 no boot-time flasher for 64-bit Windows of family 0x07: a 32-bit one cannot run at "
         "boot there"},
        {"x64 XP, 64-bit program", with(Windows(5, 2, 1, "x64", "no")), nullptr,
         "[0xE9] Fail to write UPDATE files into system !\n"},
    };
    for (const Case& c : cases) {
        const Result r = RunBoot(c.edit, c.package);
        Truthful(r, c.name);
        EXPECT_EQ(r.o.exit_code, 1) << c.name;
        EXPECT_TRUE(HasBox(r.o, c.box)) << c.name;
        if (c.line) {
            EXPECT_TRUE(HasLine(r.o, c.line)) << c.name;
        }
        EXPECT_FALSE(r.fw) << c.name << ": FW.bin left behind";
        EXPECT_FALSE(r.flasher) << c.name << ": Ostrel.exe left behind";
        EXPECT_FALSE(r.copier) << c.name << ": CopyFile.exe left behind";
        if (std::string(c.name) != "no session-manager key") {
            EXPECT_EQ(r.boot_execute, before) << c.name;
        }
        EXPECT_FALSE(HasBox(r.o, kRebootQuestion)) << c.name << ": no restart offered";
        EXPECT_FALSE(HasBoxStarting(r.o, kWarningStart)) << c.name;
        EXPECT_TRUE(r.o.restarts.empty()) << c.name;
    }
}

TEST(BootRoute, AnNvmeDriveIsRefusedBeforeAnythingIsWritten) {
    const Result r = RunBoot(nullptr,
                         [](Package& p) {
                             p.image = NvmeImage(10000, kNvmeNewFw);
                             p.new_fw = kNvmeNewFw;
                         },
                         Machine({NvmeDisk()}));
    Truthful(r, "an NVMe drive");
    EXPECT_EQ(r.o.exit_code, 1);
    EXPECT_TRUE(HasBox(r.o, "The boot-time update speaks ATA only and cannot update an NVMe drive: nothing was written."));
    EXPECT_FALSE(r.fw);
    EXPECT_FALSE(r.flasher);
    EXPECT_EQ(r.boot_execute, MultiSz({"autocheck autochk *"}));
}

TEST(BootRoute, ALowBatteryIsRefusedBeforeAnythingIsWritten) {
    const Result r = RunBoot([](platform::sim::SimMachine& m) { m.system.power = {0, 2, 12}; }, nullptr);
    Truthful(r, "a low battery");
    EXPECT_EQ(r.o.exit_code, 11);
    EXPECT_TRUE(HasLine(r.o, "POWER_REFUSED: AC=0 FLAG=2 PERCENT=12"));
    EXPECT_TRUE(HasBoxStarting(r.o, "The battery is at 12 % and the charger is unplugged."));
    EXPECT_FALSE(r.fw);
    EXPECT_FALSE(r.flasher);
    EXPECT_EQ(r.boot_execute, MultiSz({"autocheck autochk *"}));
    EXPECT_TRUE(r.o.restarts.empty());
}

TEST(BootRoute, ARaidPortTargetIsRefusedBeforeAnythingIsWritten) {
    // The unattended "/C:" target: the first drive behind the RAID controller's port 0.
    const Result r = RunBoot(nullptr,
                             [](Package& p) {
                                 p.new_fw = "1.03";
                                 p.digits.push_back({digit::bUnattended, '1'});
                             },
                             test::MachineFile("csmi_only.json"), {"ok", "no"}, {"/C:0,0001A100B0E30150"}, "");
    Truthful(r, "a RAID port target");
    EXPECT_EQ(r.o.exit_code, 1);
    EXPECT_TRUE(HasBox(r.o, "The boot-time update cannot reach a drive behind a RAID controller's port: nothing was "
                            "written."));
    EXPECT_TRUE(HasLine(r.o, "Boot Flash START")) << "the route was reached";
    EXPECT_FALSE(r.fw);
    EXPECT_FALSE(r.flasher);
}

// The "/RESULT:" document of a boot-time run: the outcome of the one drive.
TEST(BootRoute, TheResultFileSaysPreparedOrWhyNot) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("orvane-boot-result-" + std::to_string(::getpid()) + ".json"))
            .string();
    struct Case {
        const char* name;
        std::function<void(platform::sim::SimMachine&)> edit;
        std::function<void(Package&)> package;
        json machine;
        int exit_code;
        const char* outcome;
        const char* before = kOldFw;
    } cases[] = {
        {"prepared", nullptr, nullptr, Machine({SataDisk(0, kSerial)}), 0, "boot-time update prepared"},
        {"the image file cannot be created", [](auto& m) { m.system.unwritable_files = {"FW.bin"}; }, nullptr,
         Machine({SataDisk(0, kSerial)}), 1, "failed: Fail to write FW files into system !"},
        {"the flasher file cannot be created", [](auto& m) { m.system.unwritable_files = {"Ostrel.exe"}; }, nullptr,
         Machine({SataDisk(0, kSerial)}), 1, "failed: [0xE1] Fail to write UPDATE files into system !"},
        {"an NVMe drive", nullptr,
         [](Package& p) {
             p.image = NvmeImage(10000, kNvmeNewFw);
             p.new_fw = kNvmeNewFw;
         },
         Machine({NvmeDisk()}), 1,
         "refused: The boot-time update speaks ATA only and cannot update an NVMe drive: nothing was written.",
         kNvmeOldFw},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(path);
        const Result r = RunBoot(c.edit, c.package, c.machine, {"ok", "no"}, {"/RESULT:" + path});
        Truthful(r, c.name);
        EXPECT_EQ(r.o.exit_code, c.exit_code) << c.name;
        const json doc = ReadResultFile(path);
        ExpectSoundDocument(doc, r.o, c.name);
        ASSERT_TRUE(doc.is_object() && doc["drives"].size() == 1) << c.name;
        const json& d = doc["drives"][0];
        EXPECT_EQ(RowOutcome(d), c.outcome) << c.name;
        // The drive runs its old firmware until the next start either way.
        EXPECT_EQ(d["revision_before"], c.before) << c.name;
        if (c.exit_code == 0) {
            EXPECT_TRUE(d["revision_after"].is_null()) << c.name << ": not known until the flasher has run";
        }
    }
    std::filesystem::remove(path);
}

TEST(BootRoute, TheResultFileIsWrittenBeforeTheRestart) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("orvane-restart-result-" + std::to_string(::getpid()) + ".json"))
            .string();
    std::filesystem::remove(path);
    AppRun run([](platform::sim::SimMachine& m) { LoadScenarioMachine(m, Machine({SataDisk(0, kSerial)})); });
    Package p;
    BootPackage(p);
    WritePackage(p, run.package);
    run.answers = {"ok", "yes"};
    run.args = {"/S", "/RESULT:" + path};
    app::TOrvaneMain& main = run.StartUp();  // "/S": the update runs inside the start-up
    std::optional<json> at_restart;
    run.sim().system().on_forced_exit = [&](platform::ExitKind) { at_restart = ReadResultFile(path); };
    main.FormDestroy();
    ASSERT_TRUE(at_restart) << "no restart";
    ASSERT_TRUE(at_restart->is_object()) << "the file was not there when the machine restarted";
    EXPECT_EQ((*at_restart)["drives"][0]["outcome"], "boot_prepared");
    EXPECT_EQ((*at_restart)["exit_code"], 0);
    const Outcome o = Capture(run, main.ErrorLevel());
    ExpectReleasedKeepAwake(o, "written before the restart");
    ExpectTruth(o, *at_restart, PackageFacts{p.new_fw}, "written before the restart");
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace orvane::testing::scenario

namespace orvane::testing::scenario {
namespace {

TEST(BootRoute, ADriveTheFlasherCouldNotReachIsRefusedBeforeAnythingIsWritten) {
    // Every command after the eighth fails: the drive was scanned and selected, and the route's
    // reopen finds no transport that answers.
    json silent = SataDisk(0, kSerial);
    silent["drive"]["faults"] = json::parse(R"([{"effect": "error", "skip": 8}])");
    struct Case {
        const char* name;
        std::function<void(platform::sim::SimMachine&)> edit;
        json machine;
        const char* box;
    } cases[] = {
        {"no transport answers", nullptr, Machine({silent}),
         "The drive answers on no command transport that the boot-time update could use: nothing was written."},
        {"an I-O DATA bridge", BridgeVendor("04BB"), Machine({UsbDisk("iodata", kSerial)}),
         "this connection cannot carry a firmware download; connect the drive to a SATA port"},
        {"a Cypress bridge", BridgeVendor("04B4"), Machine({UsbDisk("cypress", kSerial)}),
         "this connection cannot carry a firmware download; connect the drive to a SATA port"},
    };
    for (const Case& c : cases) {
        const Result r = RunBoot(c.edit, nullptr, c.machine);
        EXPECT_EQ(r.o.exit_code, 1) << c.name;
        EXPECT_TRUE(HasBox(r.o, c.box)) << c.name;
        EXPECT_FALSE(HasBox(r.o, kRebootQuestion)) << c.name;
        EXPECT_FALSE(r.fw) << c.name;
        EXPECT_FALSE(r.flasher) << c.name;
        EXPECT_EQ(r.boot_execute, MultiSz({"autocheck autochk *"})) << c.name;
    }
}

TEST(BootRoute, AWalkPreparesOneDriveAndEnds) {
    // The flasher updates the one drive it names: the walk stops after it.
    const std::string path =
        (std::filesystem::temp_directory_path() / ("orvane-boot-walk-" + std::to_string(::getpid()) + ".json")).string();
    json machine = Machine({SataDisk(0, "MS512A0000000001"), SataDisk(1, "MS512B0000000002")});
    const Result r = RunBoot(nullptr, [](Package& p) { p.digits.push_back({digit::bAutoFlashAll, '1'}); }, machine,
                             {"ok", "no"}, {"/RESULT:" + path}, "");
    EXPECT_EQ(r.o.exit_code, 0);
    EXPECT_EQ(CountLines(r.o, "Boot Flash START"), 1);
    int questions = 0;
    for (const auto& b : r.o.boxes) questions += b.text == kRebootQuestion;
    EXPECT_EQ(questions, 1);
    ASSERT_TRUE(r.flasher);
    const std::string flasher(r.flasher->begin(), r.flasher->end());
    EXPECT_NE(flasher.find("SN1=MS512A0000000001"), std::string::npos);
    EXPECT_NE(flasher.find("DRIVECOUNT=0001"), std::string::npos);
    const json doc = ReadResultFile(path);
    std::filesystem::remove(path);
    ExpectDrives(doc,
                 {{"MS512A0000000001", "boot-time update prepared", std::nullopt},
                  {"MS512B0000000002", "not updated", kOldFw}},
                 "walk");
    ASSERT_TRUE(doc.is_object());
    EXPECT_EQ(doc["drives"][1].value("detail", ""),
              "a boot-time update prepares one drive; run the program again after the restart");
}

}  // namespace
}  // namespace orvane::testing::scenario
