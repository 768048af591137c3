// The drive scan, the list and the start-up decision on simulated machines.
#include <gtest/gtest.h>

#include "app/app_fixture.h"
#include "text/text.h"

namespace orvane::app {
namespace {

using testing::AppRun;
using Strings = std::vector<std::string>;
using platform::sim::SimMachine;

std::string Field(const char* f, size_t n) { return std::string(text::FieldView(f, n)); }

platform::sim::SimDisk& DiskNamed(SimMachine& m, const std::string& model) {
    for (auto& d : m.storage.disks)
        if (d.drive && d.drive->model == model) return d;
    throw std::runtime_error("no disk " + model);
}

// n more disks like the built-in hard disk, numbered from 10, without its partitions.
void AddHardDiskCopies(SimMachine& m, int n) {
    platform::sim::SimDisk base = DiskNamed(m, "HDD 1TB 7200");
    for (int k = 0; k < n; ++k) {
        platform::sim::SimDisk d = base;
        d.instance_id += "&X" + std::to_string(k);
        d.device_path.insert(d.device_path.find("#{"), "&x" + std::to_string(k));
        d.device_number = 10 + k;
        d.partitions.clear();
        d.drive->serial = "EXTRA" + std::to_string(k);
        m.storage.disks.push_back(d);
    }
}

Strings ItemTexts(const ui::ConsoleView& view) {
    Strings out;
    for (const DriveItem& item : view.drive_items()) out.push_back(item.text);
    return out;
}

// The built-in machine's five ATA disks (the NVMe drive is entered too, in the order found).
TEST(DriveScan, BuiltInMachineTable) {
    AppRun run;
    TOrvaneMain& main = run.StartUp();
    ASSERT_GE(main.Drives().DriveCount, 5);
    struct Row {
        const char* model;
        const char* fw;
        const char* sn;
        const char* def;
        int port, path, target;
        bool system;
    } rows[] = {
        {"MERETH SSD 256GB", "J0613E5", "MJ256F0000000005", "GJ613035", 2, 0, 0, false},
        {"HDD 1TB 7200", "CC43", "WX21A3C5D7E9", "CC43", 0, 1, 0, false},
        {"MERETH SSD 240GB", "U0512D4", "MU240E0000000004", "GU512034", 1, 0, 0, false},
        {"MERETH SSD 512GB", "S0614B0", "MS512A0123456789", "GM802030", 0, 0, 0, true},
        {"MERETH SSD 128GB", "L0714F6", "ML128G0000000006", "GL714036", 3, 0, 0, false},
    };
    for (const Row& row : rows) {
        const DEV_INFO* found = nullptr;
        for (int i = 0; i < main.Drives().DriveCount; ++i)
            if (text::Trim(Field(main.Drives().m_DevInfo[i].szModel, 40)) == row.model) found = &main.Drives().m_DevInfo[i];
        ASSERT_NE(found, nullptr) << row.model;
        const DEV_INFO& e = *found;
        EXPECT_TRUE(e.bExisted) << row.model;
        EXPECT_EQ(text::Trim(Field(e.szModelChk, 40)), row.model);
        EXPECT_EQ(text::Trim(Field(e.szFW, 8)), row.fw) << row.model;
        EXPECT_EQ(text::Trim(Field(e.szSN, 20)), row.sn) << row.model;
        EXPECT_EQ(text::Trim(Field(e.szDEF, 8)), row.def) << row.model;
        EXPECT_EQ(e.wPort, row.port) << row.model;
        EXPECT_EQ(e.wPathId, row.path) << row.model;
        EXPECT_EQ(e.wTarget, row.target) << row.model;
        EXPECT_EQ(e.wLun, 0) << row.model;
        EXPECT_EQ(e.bSystemDrive, row.system) << row.model;
        EXPECT_FALSE(e.bIsNvme) << row.model;
        EXPECT_TRUE(e.bEnabled) << row.model << ": the fixture's package accepts every drive";
    }
    const std::string log = run.Log();
    EXPECT_NE(log.find("============== (ATA) SCANNING COUNT("), std::string::npos);
    EXPECT_NE(log.find("gScanType: 0, CNT: " + std::to_string(main.Drives().DriveCount) + "\n"), std::string::npos);
    EXPECT_NE(log.find("[3-5] MERETH SSD 256GB                         J0613E5  | GJ61303\n"), std::string::npos)
        << log;
    // The HDD has no vendor page: its DEF is its revision, whose 8th character is a blank.
    EXPECT_NE(log.find("Cannot get DEF (frmOrvane): CC43   \n"), std::string::npos);
    EXPECT_NE(log.find("[1- ] HDD 1TB 7200                             CC43     | CC43   \n"), std::string::npos);
}

TEST(DriveScan, ItemTextsAndSystemDriveMark) {
    AppRun run;
    run.StartUp();
    const Strings items = ItemTexts(run.view());
    EXPECT_NE(std::find(items.begin(), items.end(), "(M)  0-0-0-0 MERETH SSD 512GB S0614B0 "), items.end());
    EXPECT_NE(std::find(items.begin(), items.end(), "(S)  0-1-0-0 HDD 1TB 7200 CC43    "), items.end());
    EXPECT_NE(std::find(items.begin(), items.end(), "(S)  2-0-0-0 MERETH SSD 256GB J0613E5 "), items.end());
}

TEST(DriveScan, IdentifyAttempts) {
    struct Row {
        const char* name;
        int times;  // IDENTIFY failures the drive shows; -1 every one
        bool entered;
    } rows[] = {
        {"fails twice, then answers", 2, true},
        {"fails once", 1, true},
        {"never answers", -1, false},
    };
    for (const Row& row : rows) {
        AppRun run([&](SimMachine& m) {
            platform::sim::SimDriveFault fault;
            fault.command = 0xEC;
            fault.times = row.times;
            DiskNamed(m, "MERETH SSD 240GB").drive->faults.push_back(fault);
        });
        TOrvaneMain& main = run.StartUp();
        bool entered = false;
        for (int i = 0; i < main.Drives().DriveCount; ++i)
            entered |= text::Trim(Field(main.Drives().m_DevInfo[i].szModel, 40)) == "MERETH SSD 240GB";
        EXPECT_EQ(entered, row.entered) << row.name;
        // The entries stay packed: a drive that was not entered leaves no gap.
        for (int i = 0; i < main.Drives().DriveCount; ++i) EXPECT_TRUE(main.Drives().m_DevInfo[i].bExisted) << row.name << " " << i;
    }
}

TEST(DriveScan, BlankVendorTextFallsBackToTheRevision) {
    AppRun run([](SimMachine& m) { DiskNamed(m, "MERETH SSD 128GB").drive->def = "        "; });
    TOrvaneMain& main = run.StartUp();
    const std::string log = run.Log();
    EXPECT_NE(log.find("DEF[Idx] (frmOrvane) is Empty, copy FW \n\n"), std::string::npos);
    for (int i = 0; i < main.Drives().DriveCount; ++i) {
        if (text::Trim(Field(main.Drives().m_DevInfo[i].szModel, 40)) == "MERETH SSD 128GB") {
            EXPECT_EQ(Field(main.Drives().m_DevInfo[i].szDEF, 8), "L0714F6 ");
        }
    }
}

TEST(DriveScan, TargetPathEntersTheSameDriveForEveryDevice) {
    struct Row {
        const char* path;
        const char* serial;  // of every entry
        bool nvme;           // the entries are the NVMe drive
    } rows[] = {
        {"\\\\.\\PhysicalDrive0", "MS512A0123456789", false},
        // The NVMe drive named: it answers no ATA command, so it is entered once, by its own path.
        {"\\\\.\\PhysicalDrive5", "MN1T0H0000000007", true},
    };
    for (const Row& row : rows) {
        AppRun run;
        run.package.Digit(19, '1');
        run.args = {std::string("/T:") + row.path};
        TOrvaneMain& main = run.StartUp();
        ASSERT_GE(main.Drives().DriveCount, 1) << row.path;
        EXPECT_TRUE(row.nvme ? main.Drives().DriveCount == 1 : main.Drives().DriveCount >= 5) << row.path << ": " << main.Drives().DriveCount;
        // No other drive can become the target: an NVMe drive that is not the named one is left out.
        for (int i = 0; i < main.Drives().DriveCount; ++i) {
            EXPECT_EQ(text::Trim(Field(main.Drives().m_DevInfo[i].szSN, 20)), row.serial) << row.path << " " << i;
            EXPECT_EQ(main.Drives().m_DevInfo[i].bIsNvme, row.nvme) << row.path << " " << i;
        }
        EXPECT_EQ(main.Selected().TargetSerial.substr(0, 16), row.serial) << row.path;
    }
}

TEST(DriveScan, TableStopsAtSixteen) {
    AppRun run([](SimMachine& m) { AddHardDiskCopies(m, 14); });
    TOrvaneMain& main = run.StartUp();
    EXPECT_EQ(main.Drives().DriveCount, 16);
    EXPECT_EQ(run.view().drive_items().size(), 16u);
}

// A scan opens each disk at most three times: once read-only for its address, number, bus and
// texts, once read-write for the adapter's limits, once by the device object for its commands.
// The system volume is opened once per scan, not once per disk. Sixteen disks, so a cost per
// disk shows against the start-up's fixed ones.
TEST(DriveScan, EachDiskOpenedAtMostThreeTimes) {
    AppRun run([](SimMachine& m) { AddHardDiskCopies(m, 10); });
    TOrvaneMain& main = run.StartUp();
    ASSERT_EQ(main.Drives().DriveCount, 16);
    // After the scan the first listed drive is selected, which opens it once more.
    const int item = run.view().SelectedItem(Control::cboDrives);
    ASSERT_GE(item, 0);
    const std::string selected = Field(main.Drives().m_DevInfo[main.Selected().m_ItemToDrive[item]].szInstanceId, 260);
    int volume_opens = 0, system_disks = 0;
    for (const platform::sim::SimDisk& d : run.sim().hardware().storage.disks) {
        const int scan_opens = d.opens - d.volume_opens - (text::EqualsNoCase(d.instance_id, selected) ? 1 : 0);
        EXPECT_LE(scan_opens, 3) << d.instance_id;
        EXPECT_GE(scan_opens, 1) << d.instance_id;
        volume_opens += d.volume_opens;
    }
    EXPECT_EQ(volume_opens, 1);
    for (int i = 0; i < main.Drives().DriveCount; ++i) system_disks += main.Drives().m_DevInfo[i].bSystemDrive ? 1 : 0;
    EXPECT_EQ(system_disks, 1);
}

TEST(DriveScan, NoDiskFallsBackToTheCsmiScan) {
    AppRun run([](SimMachine& m) { m.storage.disks.clear(); });
    TOrvaneMain& main = run.StartUp();
    const std::string log = run.Log();
    EXPECT_NE(log.find("============== (ATA) SCANNING COUNT(0) "), std::string::npos);
    EXPECT_NE(log.find("ATA_DEV_CNT: 0 / 0 \n"), std::string::npos);
    EXPECT_NE(log.find("============== (CSMI) SCANNING "), std::string::npos);
    EXPECT_NE(log.find("gScanType: 1, CNT: 2\n"), std::string::npos) << log;
    // The two SATA drives behind the RAID controller's phys 0 and 3, addressed by controller,
    // phy and port.
    ASSERT_EQ(main.Drives().DriveCount, 2);
    struct Row {
        const char* model;
        int phy;
        uint64_t sas;
    } rows[] = {{"TOLBERN TQ-256K7KW", 0, 0x0001A100B0E30150ull}, {"TOLBERN TQ-512K7KW", 3, 0x0301A100B0E30150ull}};
    for (int i = 0; i < 2; ++i) {
        const DEV_INFO& e = main.Drives().m_DevInfo[i];
        EXPECT_EQ(text::Trim(Field(e.szModel, 40)), rows[i].model);
        EXPECT_EQ(e.wPort, 5);
        EXPECT_EQ(e.order, 5);
        EXPECT_EQ(e.wTarget, rows[i].phy);
        EXPECT_EQ(e.scsi_index, rows[i].phy);
        EXPECT_EQ(e.csmi_port, rows[i].phy);
        EXPECT_EQ(e.wPathId, rows[i].phy);
        EXPECT_EQ(e.SasAddr, rows[i].sas) << std::hex << e.SasAddr;
    }
    EXPECT_NE(log.find("csmi5,2 : no device (attach)\n"), std::string::npos);
    EXPECT_NE(log.find("csmi5,4 : no sata device on port\n"), std::string::npos);
    EXPECT_NE(log.find("I :[SCSI5|0001A100B0E30150] TOLBERN TQ-256K7KW                       1.02    \n"),
              std::string::npos);
}

// Selecting a drive: the firmware line for one the package accepts, the refusal for another.
TEST(DriveList, SelectionShowsTheFirmwareLineOrTheRefusal) {
    AppRun run;
    run.package.Record(0, 0, "", "", "MERETH SSD 512GB").Digit(9, '0');
    TOrvaneMain& main = run.StartUp();
    ui::ConsoleView& view = run.view();
    // The one eligible drive is the one selected.
    const int sel = view.SelectedItem(Control::cboDrives);
    ASSERT_GE(sel, 0);
    EXPECT_EQ(view.drive_items()[static_cast<size_t>(sel)].text, "(M)  0-0-0-0 MERETH SSD 512GB S0614B0 ");
    EXPECT_TRUE(view.drive_items()[static_cast<size_t>(sel)].eligible);
    EXPECT_EQ(view.text(Control::lblUpdateMsg), "It will be updated from");
    EXPECT_EQ(view.text(Control::lblOldFW), "S0614B0 ");
    EXPECT_TRUE(view.visible(Control::lblNewFW));
    EXPECT_TRUE(view.enabled(Control::cmdUpdate));
    EXPECT_EQ(main.Selected().TargetSerial, "MS512A0123456789    ");
    EXPECT_EQ(main.Selected().TargetPath, "SCSI\\DISK&VEN_&PROD_MERETH_SSD_512GB\\4&2A4E2F0&0&000000");
    EXPECT_EQ(view.text_colour(Control::lblUpdateMsg), kBlack);

    int other = sel == 0 ? 1 : 0;
    view.Show();
    ASSERT_TRUE(view.Pick(Control::cboDrives, other));
    EXPECT_FALSE(view.drive_items()[static_cast<size_t>(other)].eligible);
    EXPECT_EQ(view.text(Control::lblUpdateMsg), "This drive is not allowed to be updated.");
    EXPECT_EQ(view.text_colour(Control::lblUpdateMsg), kDarkRed);
    EXPECT_FALSE(view.visible(Control::lblOldFW));
    EXPECT_FALSE(view.visible(Control::lblTo));
    EXPECT_FALSE(view.visible(Control::lblNewFW));
    EXPECT_FALSE(view.enabled(Control::cmdUpdate));
    EXPECT_NE(run.Log().find("ENABLED: 0, "), std::string::npos);
}

TEST(DriveList, ListMatchedOnlyKeepsTheMapping) {
    AppRun run;
    run.package.Record(0, 0, "", "", "MERETH SSD 128GB").Digit(9, '1');
    TOrvaneMain& main = run.StartUp();
    ASSERT_EQ(run.view().drive_items().size(), 1u);
    EXPECT_EQ(run.view().drive_items()[0].text, "(S)  3-0-0-0 MERETH SSD 128GB L0714F6 ");
    EXPECT_EQ(main.Selected().m_DetectedList, "(S)  3-0-0-0 MERETH SSD 128GB L0714F6 \n");
    EXPECT_EQ(text::Trim(Field(main.Drives().m_DevInfo[main.Selected().m_ItemToDrive[0]].szModel, 40)), "MERETH SSD 128GB");
}

// What the start-up does when nothing may be updated.
TEST(StartUpDecision, NoMatchedDrives) {
    const std::string detected_head = "No matched drives detected !\nDetected drives :\n";
    struct Row {
        const char* name;
        bool list_matched_only;
        int language;
        Strings args;
        bool unattended;
        bool auto_start;
        bool box;
        std::string starts;
    } rows[] = {
        {"list everything", false, 0, {}, false, false, true, detected_head + "(M)  0-0-0-0 MERETH SSD 512GB S0614B0 \n(S)  0-1-0-0 HDD"},
        {"matched only", true, 0, {}, false, false, true, "No matched drives detected !\n"},
        {"Chinese lists whatever", true, 1, {}, false, false, true, "未偵測到符合的磁碟 !\n偵測到的磁碟 :\n"},
        {"silent", false, 0, {"/S"}, false, false, false, ""},
        {"silent but auto start", false, 0, {"/S"}, false, true, true, detected_head},
        {"unattended", false, 0, {"/T:\\\\.\\PhysicalDrive1"}, true, false, false, ""},
    };
    for (const Row& row : rows) {
        AppRun run;
        run.package = testing::PackageBytes();  // the stored package: none of these drives
        if (row.list_matched_only) run.package.Digit(9, '1');
        else run.package.Digit(9, '0');
        run.package.Byte(9320, static_cast<uint8_t>(row.language));
        if (row.unattended) run.package.Digit(19, '1');
        if (row.auto_start) run.package.Digit(24, '1');
        run.args = row.args;
        EXPECT_EQ(run.Run(), 3) << row.name;
        ASSERT_EQ(run.view().boxes().size(), row.box ? 1u : 0u) << row.name;
        if (row.box) {
            const BoxRequest& b = run.view().boxes()[0];
            EXPECT_EQ(b.text.rfind(row.starts, 0), 0u) << row.name << ": " << b.text;
            EXPECT_EQ(b.caption, "Error");
            EXPECT_TRUE(b.topmost);
            EXPECT_EQ(b.icon, BoxIcon::Error);
        }
        EXPECT_NE(run.Log().find("MainForm: 2\n"), std::string::npos) << row.name;
        EXPECT_FALSE(run.view().shown()) << row.name;
    }
}

TEST(StartUpDecision, LockedDriveIsListedButNeverUpdated) {
    AppRun run([](SimMachine& m) {
        for (auto& d : m.storage.disks)
            if (d.drive) d.drive->word128 = 0x0007;
    });
    // Only the locked system disk is one the package takes; it is listed although only
    // accepted drives are.
    run.package.Record(0, 0, "", "", "MERETH SSD 512GB").Digit(9, '1');
    EXPECT_EQ(run.Run(), 3);
    ASSERT_EQ(run.view().boxes().size(), 1u);
    EXPECT_EQ(run.view().boxes()[0].text.rfind("Please unlock the password of SSD ! \n", 0), 0u);
    EXPECT_EQ(run.view().text(Control::lblUpdateMsg), "Please unlock the password of SSD ! \n");
    EXPECT_FALSE(run.view().drive_items().empty());
    for (const DriveItem& item : run.view().drive_items()) EXPECT_FALSE(item.eligible);
}

TEST(StartUpDecision, WarningAndNoticeBoxes) {
    const std::string warning_start = "WARNING: THIS PROCESS WILL UPDATE THE FIRMWARE ON YOUR SSD.  THERE IS";
    const std::string notice1 = std::string("This flash utility only supports ");
    struct Row {
        const char* name;
        int visual_style;
        char notice_level;
        Strings args;
        Strings answers;
        Strings starts;  // the boxes, each by its start
        bool third_line;
        bool passes;  // "MainForm: 4" reached
    } rows[] = {
        {"style 4: the warning", 4, '1', {}, {"Yes"}, {warning_start}, false, true},
        {"style 4, No", 4, '0', {}, {"No"}, {warning_start}, false, false},
        {"style 0, notice 1", 0, '1', {}, {"Yes"}, {notice1}, false, true},
        {"style 0, notice 2", 0, '2', {}, {"Yes"}, {notice1}, true, true},
        {"style 0, notice 2, No", 0, '2', {}, {"No"}, {notice1}, true, false},
        {"style 0, notice 0", 0, '0', {}, {}, {}, false, true},
        {"silent still asks", 0, '1', {"/S"}, {"Yes"}, {notice1}, false, true},
    };
    for (const Row& row : rows) {
        AppRun run;
        run.package.Byte(9319, static_cast<uint8_t>(row.visual_style)).Digit(6, row.notice_level);
        run.args = row.args;
        run.answers = row.answers;
        run.Run();
        const auto& boxes = run.view().boxes();
        ASSERT_EQ(boxes.size(), row.starts.size()) << row.name;
        for (size_t k = 0; k < boxes.size(); ++k) {
            EXPECT_EQ(boxes[k].text.rfind(row.starts[k], 0), 0u) << row.name << ": " << boxes[k].text;
            EXPECT_EQ(boxes[k].caption, "Warning");
            EXPECT_EQ(boxes[k].buttons, BoxButtons::YesNo);
            EXPECT_EQ(boxes[k].icon, BoxIcon::Information);
            EXPECT_TRUE(boxes[k].topmost);
        }
        if (!boxes.empty() && row.starts[0] == notice1) {
            const std::string& t = boxes[0].text;
            EXPECT_NE(t.find(" SSD.\n\nNOTICE : \n\n1> Please close all applications before running this utility !\n"
                             "2> Don't turn off the system while flash is in progress. \n"),
                      std::string::npos)
                << row.name;
            EXPECT_EQ(t.find("3> Don't remove") != std::string::npos, row.third_line) << row.name;
            const std::string tail = "\nDo you wish to continue ?";
            EXPECT_TRUE(t.size() >= tail.size() && t.compare(t.size() - tail.size(), tail.size(), tail) == 0) << t;
        }
        EXPECT_EQ(run.Log().find("MainForm: 4\n") != std::string::npos, row.passes) << row.name;
        if (row.passes && row.args.empty()) {
            EXPECT_EQ(run.view().system_menu_items(), (Strings{"Restore", "Move", "Size", "Minimize", "Maximize"}))
                << row.name;
        }
    }
}

}  // namespace
}  // namespace orvane::app

namespace orvane::app {
namespace {

// Two NVMe drives with different slot counts: the selectors offer the selected drive's slots,
// not those of the drive the scan read last.
TEST(DriveList, NvmeSelectorsFollowTheSelectedDrive) {
    AppRun run([](SimMachine& m) {
        platform::sim::SimDisk second = *std::find_if(m.storage.disks.begin(), m.storage.disks.end(),
                                                      [](const auto& d) { return d.nvme.has_value(); });
        second.instance_id += "&2";
        second.device_path.insert(second.device_path.find("#{"), "&2");
        second.device_number = 9;
        second.serial = "MN1T0H0000000009";
        second.nvme->slots.push_back({3, false, "N0812C1"});
        second.nvme->slots.push_back({4, false, "N0812C1"});
        second.nvme->slot_count = 4;
        m.storage.disks.push_back(second);
    });
    run.package.Digit(9, '0');
    TOrvaneMain& main = run.StartUp();
    ui::ConsoleView& view = run.view();
    int two = -1, four = -1;  // the items of the drives with two and four slots
    for (int k = 0; k < main.Selected().m_ItemCount; ++k) {
        const DEV_INFO& e = main.Drives().m_DevInfo[main.Selected().m_ItemToDrive[k]];
        if (!e.bIsNvme) continue;
        (text::Trim(Field(e.szSN, 20)) == "MN1T0H0000000009" ? four : two) = k;
    }
    ASSERT_GE(two, 0);
    ASSERT_GE(four, 0);
    view.Show();
    for (auto [item, slots] : {std::pair{two, 2}, std::pair{four, 4}, std::pair{two, 2}}) {
        ASSERT_TRUE(view.Pick(Control::cboDrives, item));
        EXPECT_TRUE(view.visible(Control::cboFwSlot));
        EXPECT_TRUE(view.visible(Control::cboCommitAction));
        EXPECT_EQ(view.items(Control::cboFwSlot).size(), static_cast<size_t>(slots)) << item;
        // Slot 1 is read-only on these drives: marked, and slot 2 chosen.
        EXPECT_EQ(view.items(Control::cboFwSlot)[0], "1 (read-only)") << item;
        EXPECT_EQ(view.SelectedItem(Control::cboFwSlot), 1);
        EXPECT_EQ(view.items(Control::cboCommitAction),
                  (Strings{"0 - store, do not activate", "1 - store, activate at next restart",
                           "2 - activate stored image at next restart", "3 - store and activate now"}));
        EXPECT_EQ(view.SelectedItem(Control::cboCommitAction), 3);
    }
    // An ATA drive hides them again.
    for (int k = 0; k < main.Selected().m_ItemCount; ++k) {
        if (main.Drives().m_DevInfo[main.Selected().m_ItemToDrive[k]].bIsNvme) continue;
        ASSERT_TRUE(view.Pick(Control::cboDrives, k));
        EXPECT_FALSE(view.visible(Control::cboFwSlot));
        EXPECT_FALSE(view.visible(Control::lblCommitAction));
        break;
    }
}

}  // namespace
}  // namespace orvane::app
