// The simulated drives' firmware model, driven by register blocks as the download flows send
// them: FR, SC, SN, CL, CH, DH, Cmd.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/sim_drive.h"
#include "platform/sim/sim_drive_state.h"
#include "platform/sim/sim_image_tag.h"

namespace orvane::platform::sim {
namespace {

using Regs = std::array<uint8_t, 7>;
constexpr uint8_t kOut = 4, kIn = 2, kNone = 0;

// "ORVSIMFW", revision "S0614C0 ", DEF "GM802031", length 1,100 (0x44C) little-endian.
const uint8_t kTagC0[28] = {'O', 'R', 'V', 'S', 'I', 'M', 'F', 'W', 'S', '0', '6', '1', '4', 'C',
                            '0', ' ', 'G', 'M', '8', '0', '2', '0', '3', '1', 0x4C, 0x04, 0x00, 0x00};

// A 1,100-byte image (3 sectors once padded) carrying kTagC0 at byte 40.
std::vector<uint8_t> TaggedImage() {
    std::vector<uint8_t> image(3 * 512, 0);
    for (size_t i = 0; i < 1100; ++i) image[i] = static_cast<uint8_t>(i * 13 + 1);
    std::memcpy(image.data() + 40, kTagC0, sizeof kTagC0);
    return image;
}

SimDriveDesc Drive(std::optional<SimFirmwareDesc> fw = SimFirmwareDesc{}) {
    SimDriveDesc d;
    d.model = "MERETH SSD 512GB";
    d.revision = "S0614B0";
    d.serial = "MS512A0123456789";
    d.def = "GM802030";
    d.firmware = fw;
    return d;
}

struct Rig {
    double now = 0;
    SimAtaDrive drive;
    explicit Rig(SimDriveDesc d = Drive()) : drive(std::move(d)) {
        drive.SetClock([this] { return now; });
    }
    SimAtaResult Send(Regs regs, uint8_t direction = kNone, std::vector<uint8_t> data = {}) {
        return drive.Execute(regs.data(), nullptr, direction, data.empty() ? nullptr : data.data(),
                             static_cast<uint32_t>(data.size()));
    }
    // A chunk of `sectors` sectors at `offset` sectors, taken from `image`.
    SimAtaResult Chunk(uint8_t mode, uint8_t sectors, uint16_t offset, const std::vector<uint8_t>& image) {
        std::vector<uint8_t> data(sectors * 512u, 0);
        for (size_t i = 0; i < data.size() && offset * 512u + i < image.size(); ++i) data[i] = image[offset * 512u + i];
        return Send({mode, sectors, 0, static_cast<uint8_t>(offset), static_cast<uint8_t>(offset >> 8), 0, 0x92}, kOut,
                    data);
    }
    bool Ok(const SimAtaResult& r) const { return !r.timed_out && r.status == 0x50 && r.error == 0; }
    std::string Revision() {
        SimAtaResult r = Send({0, 1, 0, 0, 0, 0, 0xEC}, kIn, std::vector<uint8_t>(512));
        if (!Ok(r)) return "(no answer)";
        const std::vector<uint8_t> id = drive.IdentifyData();
        std::string text;
        for (int i = 0; i < 8; ++i) text += static_cast<char>(id[46 + (i ^ 1)]);
        return text.substr(0, text.find_last_not_of(' ') + 1);
    }
};

// A 512-byte page that starts with b0, b1 and carries the PATA handshake key at bytes 28 to 31.
std::vector<uint8_t> KeyedPage(uint8_t b0, uint8_t b1) {
    std::vector<uint8_t> p(512, 0);
    p[0] = b0;
    p[1] = b1;
    p[28] = 0x12, p[29] = 0x34, p[30] = 0x56, p[31] = 0x78;
    return p;
}

bool Aborted(const SimAtaResult& r) { return !r.timed_out && r.status == 0x51 && r.error == 0x04; }

TEST(SimImageTag, FoundWhereverItIsAndOnlyWhenWellFormed) {
    struct Case {
        const char* name;
        size_t at;
        std::vector<std::pair<size_t, uint8_t>> poke;  // changes to kTagC0's bytes
        bool found;
    };
    const Case cases[] = {
        {"at the start", 0, {}, true},
        {"in the middle", 700, {}, true},
        {"revision blank", 100, {{8, ' '}, {9, ' '}, {10, ' '}, {11, ' '}, {12, ' '}, {13, ' '}, {14, ' '}}, false},
        {"revision with a control byte", 100, {{10, 0x07}}, false},
        {"DEF with a high byte", 100, {{18, 0xC8}}, false},
        // A declared length of 120 ends before the tag does (100 + 28).
        {"length shorter than the tag's end", 100, {{24, 120}, {25, 0}}, false},
        {"length of zero", 100, {{24, 0}, {25, 0}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> image(1100, 0xA5);
        ASSERT_LE(c.at + sizeof kTagC0, image.size());
        std::memcpy(image.data() + c.at, kTagC0, sizeof kTagC0);
        for (auto [i, v] : c.poke) image[c.at + i] = v;
        const auto tag = FindImageTag(image.data(), image.size());
        ASSERT_EQ(tag.has_value(), c.found);
        if (!c.found) continue;
        EXPECT_EQ(tag->offset, c.at);
        EXPECT_EQ(tag->revision, "S0614C0");
        EXPECT_EQ(tag->def, "GM802031");
        EXPECT_EQ(tag->length, 1100u);
    }
    // A broken tag does not hide a good one after it; a cut-off magic is not a tag.
    std::vector<uint8_t> two(1100, 0);
    std::memcpy(two.data() + 10, kTagC0, 8);
    std::memcpy(two.data() + 300, kTagC0, sizeof kTagC0);
    ASSERT_TRUE(FindImageTag(two.data(), two.size()));
    EXPECT_EQ(FindImageTag(two.data(), two.size())->offset, 300u);
    EXPECT_FALSE(FindImageTag(kTagC0, 27));
}

TEST(SimImageTag, StampWritesThePublishedLayout) {
    std::vector<uint8_t> image(1100, 0xA5);
    ASSERT_TRUE(StampImageTag(image, 40, "S0614C0", "GM802031"));
    EXPECT_EQ(0, std::memcmp(image.data() + 40, kTagC0, sizeof kTagC0));
    EXPECT_EQ(image[39], 0xA5);
    EXPECT_EQ(image[68], 0xA5);
    std::vector<uint8_t> small(100, 0);
    ASSERT_TRUE(StampImageTag(small, 0, "R1", ""));
    const uint8_t expect[28] = {'O', 'R', 'V', 'S', 'I', 'M', 'F', 'W', 'R', '1', ' ', ' ', ' ', ' ',
                                ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', 100, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(small.data(), expect, 28));
    EXPECT_FALSE(StampImageTag(small, 73, "R1", ""));          // 73 + 28 > 100
    EXPECT_FALSE(StampImageTag(small, 0, "", "GM802031"));     // no revision
    EXPECT_FALSE(StampImageTag(small, 0, "S0614C0X", "GM8020319"));
}

TEST(SimFirmware, ChunksAreTakenInOrderOnly) {
    struct Chunk {
        uint8_t mode, sectors;
        uint16_t offset;
        uint32_t bytes;  // data length sent
        bool taken;
    };
    struct Case {
        const char* name;
        std::vector<Chunk> chunks;
        size_t image;  // bytes held afterwards
        int refused;
    };
    const Case cases[] = {
        {"in order", {{3, 2, 0, 1024, true}, {3, 2, 2, 1024, true}, {3, 1, 4, 512, true}}, 2560, 0},
        {"first not at 0", {{3, 2, 2, 1024, false}}, 0, 1},
        {"gap", {{3, 2, 0, 1024, true}, {3, 2, 3, 1024, false}}, 0, 1},
        {"overlap", {{3, 2, 0, 1024, true}, {3, 2, 1, 1024, false}}, 0, 1},
        {"offset 0 starts again", {{3, 2, 0, 1024, true}, {3, 2, 2, 1024, true}, {3, 1, 0, 512, true}}, 512, 0},
        {"no sectors", {{3, 0, 0, 0, false}}, 0, 1},
        {"length not SC x 512", {{3, 2, 0, 1000, false}}, 0, 1},
        {"more data than SC", {{3, 1, 0, 1024, false}}, 0, 1},
        {"above the chunk limit", {{3, 8, 0, 4096, true}, {3, 9, 8, 4608, false}}, 0, 1},
        {"subcommand not supported", {{0x0E, 1, 0, 512, false}}, 0, 1},
        {"mode changes mid-image", {{3, 1, 0, 512, true}, {0x07, 1, 1, 512, false}}, 0, 1},
        {"after a refusal, from 0 again", {{3, 1, 1, 512, false}, {3, 1, 0, 512, true}}, 512, 1},
    };
    SimFirmwareDesc fw;
    fw.modes = {3, 7};
    fw.max_chunk_sectors = 8;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(Drive(fw));
        for (const Chunk& k : c.chunks) {
            SimAtaResult r = rig.Send({k.mode, k.sectors, 0, static_cast<uint8_t>(k.offset),
                                       static_cast<uint8_t>(k.offset >> 8), 0, 0x92},
                                      kOut, std::vector<uint8_t>(k.bytes, 0x11));
            EXPECT_EQ(rig.Ok(r), k.taken) << "chunk at " << k.offset;
            EXPECT_EQ(Aborted(r), !k.taken);
        }
        EXPECT_EQ(rig.drive.firmware().image.size(), c.image);
        EXPECT_EQ(rig.drive.firmware().chunks_refused, c.refused);
        EXPECT_EQ(rig.drive.firmware().committed, 0);
    }
}

TEST(SimFirmware, DriveWithoutFirmwareModelAbortsDownloads) {
    Rig rig(Drive(std::nullopt));
    EXPECT_TRUE(Aborted(rig.Chunk(3, 1, 0, TaggedImage())));
    EXPECT_TRUE(Aborted(rig.Send({7, 0, 0, 0, 0, 0, 0x92})));
    EXPECT_TRUE(Aborted(rig.Send({0, 0, 'P', 'E', 'A', 0, 0xE8}, kOut, std::vector<uint8_t>(512))));
}

TEST(SimFirmware, FinalSubcommandDecidesWhenTheImageRuns) {
    struct Case {
        const char* name;
        uint8_t mode;          // chunk subcommand
        Regs final_cmd;
        bool taken;
        const char* revision;  // right after, once any restart is over
        const char* pending;   // "" none
        int committed, boot;
    };
    const Case cases[] = {
        {"7 CL 0: now", 3, {7, 0, 0, 0, 0, 0, 0x92}, true, "S0614C0", "", 1, 0},
        {"7 CL 1: at the machine's restart", 3, {7, 0, 0, 1, 0, 0, 0x92}, true, "S0614B0", "S0614C0", 0, 0},
        {"7 414Ch: boot code too", 3, {7, 0, 0, 0x4C, 0x41, 0, 0x92}, true, "S0614C0", "", 1, 1},
        // A refused 7 leaves the complete image, which runs once the host goes on.
        {"7 other offset", 3, {7, 0, 0, 2, 0, 0, 0x92}, false, "S0614C0", "", 1, 0},
        {"0Fh after 0Eh chunks", 0x0E, {0x0F, 0, 0, 0, 0, 0, 0x92}, true, "S0614C0", "", 1, 0},
        {"7 after 0Eh chunks", 0x0E, {7, 0, 0, 0, 0, 0, 0x92}, false, "S0614B0", "S0614C0", 0, 0},
        {"0Fh after mode-3 chunks", 3, {0x0F, 0, 0, 0, 0, 0, 0x92}, false, "S0614C0", "", 1, 0},
    };
    const std::vector<uint8_t> image = TaggedImage();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        // Two chunks short of the whole, then the last one and at once the final command.
        ASSERT_TRUE(rig.Ok(rig.Chunk(c.mode, 2, 0, image)));
        ASSERT_TRUE(rig.Ok(rig.Chunk(c.mode, 1, 2, image)));
        EXPECT_EQ(rig.Ok(rig.Send(c.final_cmd)), c.taken);
        rig.now = 10;
        EXPECT_EQ(rig.Revision(), c.revision);
        const auto& pending = rig.drive.firmware().pending;
        EXPECT_EQ(pending ? pending->first : "", c.pending);
        EXPECT_EQ(rig.drive.firmware().committed, c.committed);
        EXPECT_EQ(rig.drive.firmware().boot_code_updates, c.boot);
        EXPECT_TRUE(Aborted(rig.Send(c.final_cmd)));  // nothing left for it
    }
}

TEST(SimFirmware, FinalSubcommandWithoutImageAborts) {
    for (uint8_t sub : {uint8_t{7}, uint8_t{0x0F}}) {
        Rig rig;
        EXPECT_TRUE(Aborted(rig.Send({sub, 0, 0, 0, 0, 0, 0x92})));
        EXPECT_EQ(rig.drive.firmware().committed, 0);
    }
    // Incomplete by its tag: the 7 refuses to run half an image.
    Rig rig;
    ASSERT_TRUE(rig.Ok(rig.Chunk(3, 2, 0, TaggedImage())));
    EXPECT_TRUE(Aborted(rig.Send({7, 0, 0, 0, 0, 0, 0x92})));
    EXPECT_EQ(rig.Revision(), "S0614B0");
}

TEST(SimFirmware, BootCodeAnnouncementOnlyAtItsOffset) {
    Rig rig;
    EXPECT_TRUE(rig.Ok(rig.Send({0x0E, 0, 0, 0x4C, 0x41, 0, 0x92})));
    EXPECT_TRUE(Aborted(rig.Send({0x0E, 0, 0, 0, 0, 0, 0x92})));
    SimFirmwareDesc normal_only;
    normal_only.modes = {3, 7};
    Rig old(Drive(normal_only));
    EXPECT_TRUE(Aborted(old.Send({0x0E, 0, 0, 0x4C, 0x41, 0, 0x92})));
}

TEST(SimFirmware, ModeThreeImageCommitsWhenCompleteAndRestarts) {
    Rig rig;
    const std::vector<uint8_t> image = TaggedImage();
    rig.now = 100;
    ASSERT_TRUE(rig.Ok(rig.Chunk(3, 2, 0, image)));
    ASSERT_TRUE(rig.Ok(rig.Chunk(3, 1, 2, image)));
    EXPECT_EQ(rig.drive.firmware().committed, 0);  // a 7 may still follow
    rig.now = 101;
    // The host goes on: the image runs, counted from when it was complete (restart 3 s).
    EXPECT_TRUE(rig.Send({0, 1, 0, 0, 0, 0, 0xEC}, kIn, std::vector<uint8_t>(512)).timed_out);
    EXPECT_EQ(rig.drive.firmware().committed, 1);
    rig.now = 102.9;
    EXPECT_TRUE(rig.drive.Restarting());
    rig.now = 103;
    EXPECT_FALSE(rig.drive.Restarting());
    EXPECT_EQ(rig.Revision(), "S0614C0");
    EXPECT_EQ(rig.drive.desc().def, "GM802031");

    // Untagged: its end is unknown, so only a final subcommand commits it (with the old identity).
    Rig plain;
    const std::vector<uint8_t> untagged(1024, 0x3C);
    ASSERT_TRUE(plain.Ok(plain.Chunk(3, 2, 0, untagged)));
    plain.drive.Settle();
    EXPECT_EQ(plain.drive.firmware().committed, 0);
    ASSERT_TRUE(plain.Ok(plain.Send({7, 0, 0, 0, 0, 0, 0x92})));
    plain.now = 5;
    EXPECT_EQ(plain.Revision(), "S0614B0");
    EXPECT_EQ(plain.drive.desc().def, "GM802030");
    EXPECT_EQ(plain.drive.firmware().committed, 1);
}

TEST(SimFirmware, ComesBackAsDescribed) {
    struct Case {
        SimFirmwareDesc::ComesBack back;
        bool present;
        const char* revision;
        const char* serial;
    };
    const Case cases[] = {
        {SimFirmwareDesc::New, true, "S0614C0", "MS512A0123456789"},
        {SimFirmwareDesc::Old, true, "S0614B0", "MS512A0123456789"},
        {SimFirmwareDesc::OtherSerial, true, "S0614C0", "MS512Z9999999999"},
        {SimFirmwareDesc::Never, false, "S0614B0", "MS512A0123456789"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.back));
        SimFirmwareDesc fw;
        fw.restart_seconds = 4;
        fw.comes_back = c.back;
        fw.other_serial = "MS512Z9999999999";
        Rig rig(Drive(fw));
        const std::vector<uint8_t> image = TaggedImage();
        ASSERT_TRUE(rig.Ok(rig.Chunk(3, 3, 0, image)));
        ASSERT_TRUE(rig.Ok(rig.Send({7, 0, 0, 0, 0, 0, 0x92})));
        rig.now = 3.9;
        EXPECT_TRUE(rig.drive.Restarting());
        EXPECT_TRUE(rig.Send({0, 1, 0, 0, 0, 0, 0xEC}, kIn, std::vector<uint8_t>(512)).timed_out);
        rig.now = 4;
        EXPECT_EQ(rig.drive.Restarting(), !c.present);
        rig.drive.MachineRestart();  // not even a power cycle brings back a drive that never comes back
        EXPECT_EQ(rig.drive.Restarting(), !c.present);
        if (c.present) {
            EXPECT_EQ(rig.Revision(), c.revision);
        }
        EXPECT_EQ(rig.drive.desc().revision, c.revision);
        EXPECT_EQ(rig.drive.desc().serial, c.serial);
    }
}

TEST(SimFirmware, PendingImageRunsAfterTheMachineRestarts) {
    Rig rig;
    const std::vector<uint8_t> image = TaggedImage();
    ASSERT_TRUE(rig.Ok(rig.Chunk(3, 3, 0, image)));
    ASSERT_TRUE(rig.Ok(rig.Send({7, 0, 0, 1, 0, 0, 0x92})));
    EXPECT_FALSE(rig.drive.Restarting());
    EXPECT_EQ(rig.Revision(), "S0614B0");
    rig.drive.MachineRestart();
    EXPECT_EQ(rig.Revision(), "S0614C0");
    EXPECT_FALSE(rig.drive.firmware().pending);
    EXPECT_EQ(rig.drive.firmware().committed, 1);

    // An enterprise download without 0Fh waits for the restart as well.
    Rig ent;
    ASSERT_TRUE(ent.Ok(ent.Chunk(0x0E, 2, 0, image)));
    ASSERT_TRUE(ent.Ok(ent.Chunk(0x0E, 1, 2, image)));
    ASSERT_TRUE(ent.drive.firmware().pending);
    EXPECT_EQ(ent.drive.firmware().pending->first, "S0614C0");
    EXPECT_EQ(ent.Revision(), "S0614B0");
}

TEST(SimFirmware, VendorPreformatPair) {
    Rig rig;
    auto page = [](uint8_t b0, uint8_t b1) {
        std::vector<uint8_t> p(512, 0);
        p[0] = b0;
        p[1] = b1;
        return p;
    };
    EXPECT_TRUE(Aborted(rig.Send({0xFD, 0, 0, 0, 0, 0, 0xFF})));  // not armed
    EXPECT_TRUE(rig.Ok(rig.Send({0xFC, 1, 0, 0, 0, 0, 0xFF}, kOut, page(0x07, 0xBE))));
    EXPECT_TRUE(rig.Ok(rig.Send({0xFD, 0, 0, 0, 0, 0, 0xFF})));
    EXPECT_TRUE(Aborted(rig.Send({0xFD, 0, 0, 0, 0, 0, 0xFF})));  // one preformat per arming
    EXPECT_EQ(rig.drive.firmware().preformats, 1);
    // The vendor page's own key still unlocks the page read.
    EXPECT_TRUE(rig.Ok(rig.Send({0xFC, 1, 0, 0, 0, 0, 0xFF}, kOut, page(0x0A, 0x07))));
    std::vector<uint8_t> back(512);
    SimAtaResult r = rig.drive.Execute(Regs{0xFD, 1, 0, 0, 0, 0, 0xFF}.data(), nullptr, kIn, back.data(), 512);
    EXPECT_TRUE(rig.Ok(r));
    EXPECT_EQ(std::string(back.begin(), back.begin() + 8), "GM802030");
    EXPECT_EQ(rig.drive.firmware().preformats, 1);
}

TEST(SimFirmware, PataHandshake) {
    const Regs write{0, 0, 0x50, 0x45, 0x41, 0, 0xE8};
    const Regs read_word{0x80, 0, 0x50, 0x45, 0x41, 0, 0xE4};
    const Regs read_page{0, 0, 0x50, 0x45, 0x41, 0, 0xE4};
    for (bool pata : {true, false}) {
        SCOPED_TRACE(pata ? "parallel" : "serial");
        SimFirmwareDesc fw;
        fw.pata = pata;
        Rig rig(Drive(fw));
        std::vector<uint8_t> in(512, 0xEE);
        EXPECT_TRUE(Aborted(rig.drive.Execute(read_word.data(), nullptr, kIn, in.data(), 512)));  // before the write
        EXPECT_TRUE(Aborted(rig.Send(write, kOut, KeyedPage(0x52, 0))));                            // wrong key
        ASSERT_TRUE(rig.Ok(rig.Send(write, kOut, KeyedPage(0x51, 0))));
        ASSERT_TRUE(rig.Ok(rig.drive.Execute(read_word.data(), nullptr, kIn, in.data(), 512)));
        EXPECT_EQ(in[0] | in[1] << 8 | in[2] << 16 | in[3] << 24, 1);
        ASSERT_TRUE(rig.Ok(rig.drive.Execute(read_page.data(), nullptr, kIn, in.data(), 512)));
        std::string spelled;
        for (int i = 0; i < 14; ++i) spelled += static_cast<char>(in[i * 4] ? in[i * 4] : '.');
        EXPECT_EQ(spelled, pata ? "AEP NEWSupport" : "..............");
        EXPECT_EQ(in[1], 0);
        // The preformat by the buffer page is the parallel drive's only.
        EXPECT_EQ(rig.Ok(rig.Send(write, kOut, KeyedPage(0x07, 0xBE))), pata);
        EXPECT_EQ(rig.drive.firmware().preformats, pata ? 1 : 0);
    }
}

TEST(SimFirmware, FaultsHitAfterSkippedCommands) {
    SimDriveDesc d = Drive();
    SimDriveFault chunk_error;
    chunk_error.command = 0x92;
    chunk_error.features = 3;
    chunk_error.skip = 2;
    chunk_error.times = 1;
    d.faults.push_back(chunk_error);
    Rig rig(d);
    const std::vector<uint8_t> image = TaggedImage();
    EXPECT_TRUE(rig.Ok(rig.Chunk(3, 1, 0, image)));
    EXPECT_TRUE(rig.Ok(rig.Chunk(3, 1, 1, image)));
    EXPECT_TRUE(Aborted(rig.Chunk(3, 1, 2, image)));  // "an error at chunk 2"
    EXPECT_TRUE(rig.Ok(rig.Chunk(3, 1, 2, image)));   // once only
    EXPECT_EQ(rig.drive.firmware().chunks_refused, 0);  // the fault, not the drive's rules

    SimDriveDesc t = Drive();
    SimDriveFault timeout;
    timeout.command = 0x92;
    timeout.effect = SimDriveFault::Timeout;
    timeout.skip = 1;
    t.faults.push_back(timeout);
    Rig slow(t);
    EXPECT_TRUE(slow.Ok(slow.Chunk(3, 1, 0, image)));
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(slow.Chunk(3, 1, 1, image).timed_out);
}

TEST(SimFirmware, WritesAreRecordedByKindReadsAreNot) {
    const std::vector<uint8_t> image = TaggedImage();
    struct Step {
        Regs regs;
        uint8_t direction;
        std::vector<uint8_t> data;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<SimWrite> writes;
    } cases[] = {
        {"identify, read buffer, the vendor page and its key, SMART reads",
         {{{0, 1, 0, 0, 0, 0, 0xEC}, kIn, std::vector<uint8_t>(512)},
          {{3, 0, 'R', 'P', 'E', 0, 0xE4}, kIn, std::vector<uint8_t>(512)},
          {{0xFC, 1, 0, 0, 0, 0, 0xFF}, kOut, KeyedPage(0x0A, 0x07)},
          {{0xFD, 1, 0, 0, 0, 0, 0xFF}, kIn, std::vector<uint8_t>(512)},
          {{0xD0, 1, 0, 0x4F, 0xC2, 0, 0xB0}, kIn, std::vector<uint8_t>(512)},
          {{0xDA, 0, 0, 0x4F, 0xC2, 0, 0xB0}, kNone, {}}},
         {}},
        {"chunks, refused ones too, then the commit",
         {{{3, 1, 0, 0, 0, 0, 0x92}, kOut, std::vector<uint8_t>(image.begin(), image.begin() + 512)},
          {{3, 1, 0, 5, 0, 0, 0x92}, kOut, std::vector<uint8_t>(512)},
          {{0, 1, 0, 0, 0, 0, 0xEC}, kIn, std::vector<uint8_t>(512)},
          {{3, 2, 0, 1, 0, 0, 0x92}, kOut, std::vector<uint8_t>(image.begin() + 512, image.end())},
          {{7, 0, 0, 0, 0, 0, 0x92}, kNone, {}}},
         // The identify between the chunks is no write: it does not part them.
         {{"download", 3}, {"commit", 1}}},
        {"the preformat pair, the PATA pages, a SMART write, another command",
         {{{0xFC, 1, 0, 0, 0, 0, 0xFF}, kOut, KeyedPage(0x07, 0xBE)},
          {{0xFD, 0, 0, 0, 0, 0, 0xFF}, kNone, {}},
          {{0, 0, 'P', 'E', 'A', 0, 0xE8}, kOut, KeyedPage(0x51, 0)},
          {{0, 0, 'P', 'E', 'A', 0, 0xE8}, kOut, KeyedPage(0x07, 0xBE)},
          {{0xFC, 1, 0, 0, 0, 0, 0xFF}, kOut, KeyedPage(0x01, 0x02)},
          {{0xD6, 1, 0, 0x4F, 0xC2, 0, 0xB0}, kOut, std::vector<uint8_t>(512)},
          {{0x02, 0, 0, 0, 0, 0, 0xEF}, kNone, {}}},
         {{"preformat", 2}, {"vendor-write", 1}, {"preformat", 1}, {"vendor-write", 1}, {"smart-write", 1},
          {"ata-EFh", 1}}},
    };
    for (Case& c : cases) {
        Rig rig;
        for (Step& s : c.steps)
            rig.drive.Execute(s.regs.data(), nullptr, s.direction, s.data.empty() ? nullptr : s.data.data(),
                              static_cast<uint32_t>(s.data.size()));
        EXPECT_EQ(rig.drive.writes.entries(), c.writes) << c.name;
    }
}

}  // namespace
}  // namespace orvane::platform::sim
