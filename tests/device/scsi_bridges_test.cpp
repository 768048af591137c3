// SAT and the USB bridges: the blocks each transport sends for its commands, the register
// read-back, and the sense data the SCSI layer reads.
#include "device/scsi_blocks.h"
#include "device_fixture.h"

namespace orvane::test {
namespace {

using namespace orvane::device;

constexpr bool k32 = sizeof(void*) == 4;
const size_t kSense = k32 ? 48 : 60;
const size_t kData = k32 ? 80 : 92;

std::string BlockHex(const std::optional<Cdb>& c) { return c ? HexOf(c->bytes, c->length) : "none"; }

// IDENTIFY (in, 512), vendor write (out, 512), a 48-bit no-data command and a 1,024-byte read.
TEST(BridgeBlocks, LaidOutPerTransport) {
    const IdeRegs identify = MakeRegs(0, 1, 0, 0, 0, 0, 0xEC);
    const IdeRegs vendor = MakeRegs(0xFC, 1, 0, 0, 0, 0, 0xFF);
    const IdeRegs verify = MakeRegs(0x11, 0x22, 0x33, 0x44, 0x55, 0x40, 0x42);
    const IdeRegs high = MakeRegs(0x01, 0x02, 0x03, 0x04, 0x05, 0, 0);
    const IdeRegs read = MakeRegs(0, 2, 0, 0, 0, 0xE0, 0xC8);
    struct Case {
        const char* name;
        std::string got, want;
    } cases[] = {
        {"SAT12 in", BlockHex(SatBlock(identify, nullptr, kDirIn)), "A1 08 0E 00 01 00 00 00 00 EC 00 00"},
        {"SAT12 out", BlockHex(SatBlock(vendor, nullptr, kDirOut)), "A1 0A 06 FC 01 00 00 00 00 FF 00 00"},
        {"SAT12 none", BlockHex(SatBlock(verify, nullptr, kDirNone)), "A1 06 0C 11 22 33 44 55 40 42 00 00"},
        {"SAT16 48-bit", BlockHex(SatBlock(verify, &high, kDirNone)),
         "85 07 0C 01 11 02 22 03 33 04 44 05 55 40 42 00"},
        {"SAT bad direction", BlockHex(SatBlock(identify, nullptr, 1)), "none"},
        {"JMICRON in", BlockHex(JmicronBlock(identify, kDirIn, 512, 0)), "DF 10 00 02 00 00 01 00 00 00 A0 EC"},
        {"JMICRON out slave", BlockHex(JmicronBlock(vendor, kDirOut, 512, 1)), "DF 00 00 02 00 FC 01 00 00 00 B0 FF"},
        {"JMICRON none", BlockHex(JmicronBlock(verify, kDirNone, 0, 0)), "DF 10 00 00 00 11 22 33 44 55 E0 42"},
        {"JMICRON 64 KiB", BlockHex(JmicronBlock(read, kDirIn, 0x10000, 0)), "none"},
        {"PROLIFIC in", BlockHex(ProlificBlock(identify, kDirIn, 512)),
         "D8 15 00 00 06 7B 00 00 02 00 01 00 00 00 A0 EC"},
        {"PROLIFIC out", BlockHex(ProlificBlock(vendor, kDirOut, 512)),
         "D8 05 00 FC 06 7B 00 00 02 00 01 00 00 00 A0 FF"},
        {"PROLIFIC high", BlockHex(ProlificHighBlock(verify, high, kDirNone)),
         "D8 10 00 01 06 7B 00 00 00 00 02 03 04 05 E0 42"},
        {"SUNPLUS in", BlockHex(SunplusBlock(identify, kDirIn, 512)), "F8 00 22 10 01 00 01 00 00 00 A0 EC"},
        {"SUNPLUS 1024", BlockHex(SunplusBlock(read, kDirIn, 1024)), "F8 00 22 10 02 00 02 00 00 00 E0 C8"},
        {"SUNPLUS out", BlockHex(SunplusBlock(vendor, kDirOut, 512)), "F8 00 22 11 01 FC 01 00 00 00 A0 FF"},
        {"SUNPLUS none", BlockHex(SunplusBlock(verify, kDirNone, 0)), "F8 00 22 00 00 11 22 33 44 55 E0 42"},
        {"SUNPLUS high", HexOf(SunplusHighBlock(high).bytes, 12), "F8 00 23 00 00 01 02 03 04 05 00 00"},
        {"IODATA port -1", HexOf(IodataBlock(identify, -1).bytes, 12), "E3 00 00 01 00 00 00 B0 EC 00 00 00"},
        {"IODATA port 0", HexOf(IodataBlock(identify, 0).bytes, 12), "E3 00 00 01 00 00 00 A0 EC 00 00 00"},
        {"LOGITEC", HexOf(LogitecBlock(vendor, -1).bytes, 10), "E0 00 FC 01 00 00 00 B0 FF 4C"},
        {"CYPRESS", HexOf(CypressBlock(identify, 0).bytes, 16), "24 24 00 BE 00 00 00 01 00 00 00 A0 EC 00 00 00"},
        {"JMICRON registers", HexOf(JmicronReadBlock(0x9000, 16).bytes, 12), "DF 10 00 00 10 00 90 00 00 00 00 FD"},
        {"PROLIFIC registers", HexOf(ProlificReadBlock().bytes, 16), "D7 00 00 00 06 7B 00 00 00 00 00 00 00 00 00 00"},
        {"SUNPLUS registers", HexOf(SunplusReadBlock().bytes, 12), "F8 00 21 00 00 00 00 00 00 00 00 00"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.name;
    const std::pair<uint8_t, int> ports[] = {{0x04, 0}, {0x05, 0}, {0x40, 1}, {0xC3, 1}, {0x44, -1}, {0x00, -1}};
    for (auto [value, port] : ports) EXPECT_EQ(JmicronPortOf(value), port) << int(value);
}

TEST(SenseData, SummaryAndStatusDescriptor) {
    // Descriptor format with an ATA Status Return descriptor after another descriptor.
    auto desc = Hex("72 0B 00 00 00 00 00 18 02 06 00 00 00 00 00 00 09 0C 01 04 00 01 00 02 00 03 00 04 40 51");
    desc.resize(32);
    SenseSummary s = ParseSense(desc.data(), desc.size());
    EXPECT_TRUE(s.valid);
    EXPECT_EQ(s.response_code(), 0x72);
    EXPECT_EQ(s.sense_key(), 0x0B);
    EXPECT_EQ(s.bytes[7], 0x18);
    EXPECT_EQ(s.status_desc, 16);
    EXPECT_EQ(s.status_desc_length, 14);

    // Fixed format never yields the descriptor, even with a 09 byte where one would sit.
    auto fixed = Hex("70 00 05 00 00 00 00 0A 09 0C 00 00 20 01 00 00 00 00");
    fixed.resize(32);
    s = ParseSense(fixed.data(), fixed.size());
    EXPECT_EQ(s.sense_key(), 0x05);
    EXPECT_EQ(s.asc(), 0x20);
    EXPECT_EQ(s.ascq(), 0x01);
    EXPECT_EQ(s.status_desc, -1);
    // The additional length cuts what is read: ASC lies beyond it.
    auto short_fixed = Hex("F0 00 03 00 00 00 00 04 00 00 00 00 11 22");
    s = ParseSense(short_fixed.data(), short_fixed.size());
    EXPECT_EQ(s.response_code(), 0x70);
    EXPECT_EQ(s.sense_key(), 0x03);
    EXPECT_EQ(s.asc(), 0);
    // No sense at all, and a descriptor that would run past the sense area.
    uint8_t none[32] = {};
    EXPECT_FALSE(ParseSense(none, 32).valid);
    auto cut = Hex("72 0B 00 00 00 00 00 18");
    cut.resize(32);
    cut[28] = 0x09;
    cut[29] = 0x0C;
    for (size_t i = 8; i < 28; i += 2) cut[i + 1] = 0;  // empty descriptors lead up to it
    EXPECT_EQ(ParseSense(cut.data(), cut.size()).status_desc, -1);
}

TEST(SatPassThrough, ReadsTheStatusReturnDescriptorBack) {
    DeviceRig rig;
    auto& dev = rig.OpenOn(kProtoSat);
    // The drive failed the command: CHECK CONDITION, descriptor sense with the registers.
    rig.storage.replies["scsi 85"] = [&](uint8_t* b, uint32_t in_len, uint32_t) {
        b[2] = 0x02;
        auto sense = Hex("72 0B 00 00 00 00 00 0E 09 0C 01 04 A2 22 A3 33 A4 44 A5 55 40 51");
        std::memcpy(b + kSense, sense.data(), sense.size());
        return IoResult{true, in_len, 0};
    };
    IdeRegs high = MakeRegs(0x01, 0x02, 0x03, 0x04, 0x05, 0, 0);
    IdeRegs regs = MakeRegs(0x11, 0x22, 0x33, 0x44, 0x55, 0x40, 0x42);
    uint32_t length = 0;
    EXPECT_EQ(dev.ata_command(regs, nullptr, &high, kDirNone, length), ATACMD_ERR);
    const Sent& s = rig.storage.sent.at(0);
    EXPECT_EQ(s.code, 0x4D004u);
    EXPECT_EQ(s.in_len, k32 ? 592u : 608u);
    EXPECT_EQ(s.hex(0, 2), k32 ? "2C 00" : "38 00");
    EXPECT_EQ(s.hex(6, 3), "10 20 02");  // CDB length 16, sense 32, no data
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(HexOf(&regs.bFeaturesReg, 8), "04 22 33 44 55 40 51 00");
    EXPECT_EQ(HexOf(&high.bFeaturesReg, 5), "01 A2 A3 A4 A5");
    EXPECT_EQ(HexOf(&dev.OutRegs.bFeaturesReg, 8), "04 22 33 44 55 40 51 00");
    EXPECT_EQ(dev.bLastStatus, 0x51);
    EXPECT_NE(rig.Log().find("ATACMD_ERR : status: 02, sensekey:0B \n"), std::string::npos);
    // The log line takes the 16-byte block's register positions.
    EXPECT_NE(rig.Log().find("(SAT ATA PASS THROUGH) Cmd:42 FR:11 SC:22 SN:33 CL:44 CH:55  1 / 0\n"),
              std::string::npos);
}

TEST(SatPassThrough, CheckConditionWithKeyZeroAndFixedSense) {
    DeviceRig rig;
    auto& dev = rig.OpenOn(kProtoSat);
    rig.storage.replies["scsi A1"] = [&](uint8_t* b, uint32_t, uint32_t) {
        b[2] = 0x02;
        auto sense = Hex("72 00 00 1D 00 00 00 0E 09 0C 00 00 00 01 00 00 00 00 00 00 A0 50");
        std::memcpy(b + kSense, sense.data(), sense.size());
        b[kData + 4] = 0xC8;
        return IoResult{true, k32 ? 592u : 608u, 0};
    };
    uint8_t data[512] = {};
    IdeRegs regs = MakeRegs(0, 1, 0, 0, 0, 0, 0xEC);
    uint32_t length = 512;
    EXPECT_EQ(dev.ata_command(regs, data, nullptr, kDirIn, length), ATACMD_OK);
    EXPECT_EQ(rig.storage.sent.at(0).hex(k32 ? 28 : 36, 12), "A1 08 0E 00 01 00 00 00 00 EC 00 00");
    EXPECT_EQ(data[4], 0xC8);
    EXPECT_EQ(length, k32 ? 592u : 608u);
    EXPECT_EQ(dev.OutRegs.bCommandReg, 0x50);

    // A bridge that answers in fixed format: the error stands, no registers come back.
    rig.storage.replies["scsi A1"] = [&](uint8_t* b, uint32_t in_len, uint32_t) {
        b[2] = 0x02;
        auto sense = Hex("70 00 0B 04 51 40 01 0A 00 00 00 00 00 00");
        std::memcpy(b + kSense, sense.data(), sense.size());
        return IoResult{true, in_len, 0};
    };
    regs = MakeRegs(0, 1, 0, 0, 0, 0, 0xEC);
    length = 512;
    EXPECT_EQ(dev.ata_command(regs, data, nullptr, kDirIn, length), ATACMD_ERR);
    EXPECT_EQ(dev.Sense.status_desc, -1);
    EXPECT_EQ(HexOf(&regs.bFeaturesReg, 8), "00 01 00 00 00 00 EC 00");
    EXPECT_EQ(HexOf(&dev.OutRegs.bFeaturesReg, 8), "FF FF FF FF FF FF FF FF");

    // A failed request: its error, and the log line.
    rig.storage.replies["scsi A1"] = FailWith(121);
    length = 512;
    EXPECT_EQ(dev.ata_command(regs, data, nullptr, kDirIn, length), ATACMD_TIMEOUT);
    EXPECT_EQ(dev.dwLastError, 121u);
    EXPECT_NE(rig.Log().find("GetLastError=0x79\n"), std::string::npos);
}

TEST(JmicronBridge, RegistersReadBackFromThePortsMemory) {
    DeviceRig rig;
    auto& dev = rig.OpenOn(kProtoJmicron);
    IdeRegs regs = MakeRegs(0, 1, 0, 0, 0, 0, 0xEC);
    uint32_t length = 512;
    // Port not yet known: nothing is sent.
    EXPECT_EQ(dev.ata_command(regs, dev.read_buffer(), nullptr, kDirIn, length), ATACMD_FAIL);
    EXPECT_TRUE(rig.storage.sent.empty());

    dev.iBridgePort = 1;
    std::vector<float> timeouts;
    rig.storage.on_send = [&](const Sent& s) {
        uint32_t t;
        std::memcpy(&t, s.bytes.data() + 16, 4);
        timeouts.push_back(static_cast<float>(t));
    };
    rig.storage.replies["scsi DF 10 00 02 00"] = Ok(k32 ? 592 : 608, [&](uint8_t* b) { b[kData + 4] = 0x37; });
    rig.storage.replies["scsi DF 10 00 00 10 00 90 00"] = Ok(k32 ? 592 : 608, [&](uint8_t* b) {
        auto mem = Hex("07 00 00 00 0C 00 0B 00 00 B0 0D 00 00 00 50 00");
        std::memcpy(b + kData, mem.data(), mem.size());
    });
    EXPECT_EQ(dev.ata_command(regs, dev.read_buffer(), nullptr, kDirIn, length), ATACMD_OK);
    ASSERT_EQ(rig.storage.sent.size(), 2u);
    EXPECT_EQ(rig.storage.sent[0].key, "scsi DF 10 00 02 00 00 01 00 00 00 B0 EC");
    EXPECT_EQ(dev.read_buffer()[4], 0x37);
    EXPECT_EQ(HexOf(&regs.bFeaturesReg, 7), "00 07 0B 0C 0D B0 50");
    EXPECT_EQ(HexOf(&dev.OutRegs.bFeaturesReg, 7), "00 07 0B 0C 0D B0 50");
    EXPECT_EQ(timeouts, (std::vector<float>{20, 1}));
    EXPECT_EQ(dev.fTimeout, 20.0f);
    // The command's own record stays for inspection.
    EXPECT_EQ(dev.Spt.spt.Cdb[11], 0xEC);
}

TEST(ProlificAndSunplus, HighOrderBlockFirstThenRegisterReadBack) {
    DeviceRig rig;
    auto& dev = rig.OpenOn(kProtoProlific);
    rig.storage.fallback = Ok(k32 ? 592 : 608);
    rig.storage.replies["scsi D7"] = Ok(k32 ? 592 : 608, [&](uint8_t* b) {
        auto regs = Hex("50 00 08 00 33 00 44 00 55 00 E0 00");
        std::memcpy(b + kData, regs.data(), regs.size());
    });
    IdeRegs high = MakeRegs(0x01, 0x02, 0x03, 0x04, 0x05, 0, 0);
    IdeRegs regs = MakeRegs(0x00, 0x08, 0x33, 0x44, 0x55, 0x40, 0x42);
    uint32_t length = 0;
    EXPECT_EQ(dev.ata_command(regs, nullptr, &high, kDirNone, length), ATACMD_OK);
    ASSERT_EQ(rig.storage.sent.size(), 3u);
    EXPECT_EQ(rig.storage.sent[0].key, "scsi D8 10 00 01 06 7B 00 00 00 00 02 03 04 05 E0 42");
    EXPECT_EQ(rig.storage.sent[1].key, "scsi D8 15 00 00 06 7B 00 00 00 00 08 33 44 55 E0 42");
    EXPECT_EQ(rig.storage.sent[2].key, "scsi D7 00 00 00 06 7B 00 00 00 00 00 00 00 00 00 00");
    EXPECT_EQ(HexOf(&dev.OutRegs.bFeaturesReg, 7), "00 08 33 44 55 E0 50");

    // SUNPLUS: a failed high-order block is the result; nothing more is sent.
    DeviceRig sp;
    auto& sun = sp.OpenOn(kProtoSunplus);
    sp.storage.replies["scsi F8 00 23"] = FailWith(31);
    regs = MakeRegs(0x00, 0x08, 0x33, 0x44, 0x55, 0x40, 0x42);
    EXPECT_EQ(sun.ata_command(regs, nullptr, &high, kDirNone, length), ATACMD_FAIL);
    EXPECT_EQ(sp.storage.sent.size(), 1u);
    // A 1,024-byte read carries 2 sectors and reads 8 register bytes back.
    sp.storage.sent.clear();
    sp.storage.fallback = Ok(k32 ? 80 : 96);
    sp.storage.replies["scsi F8 00 21"] = Ok(k32 ? 592 : 608, [&](uint8_t* b) {
        auto r = Hex("00 00 02 10 20 30 E0 50");
        std::memcpy(b + kData, r.data(), r.size());
    });
    std::vector<uint8_t> big(1024);
    regs = MakeRegs(0, 2, 0, 0, 0, 0xE0, 0xC8);
    length = 1024;
    EXPECT_EQ(sun.ata_command(regs, big.data(), nullptr, kDirIn, length), ATACMD_OK);
    ASSERT_EQ(sp.storage.sent.size(), 2u);
    EXPECT_EQ(sp.storage.sent[0].code, 0x4D014u);
    EXPECT_EQ(sp.storage.sent[0].key, "scsi F8 00 22 10 02 00 02 00 00 00 E0 C8");
    EXPECT_EQ(sp.storage.sent[1].hex(12, 4), "08 00 00 00");
    EXPECT_EQ(HexOf(&dev.OutRegs.bFeaturesReg, 7), "00 08 33 44 55 E0 50");
    EXPECT_EQ(HexOf(&sun.OutRegs.bFeaturesReg, 7), "00 02 10 20 30 E0 50");
}

TEST(SimpleBridges, NoRegistersComeBack) {
    const std::pair<uint8_t, const char*> cases[] = {
        {kProtoIodata, "scsi E3 00 FC 01 00 00 00 B0 FF 00 00 00"},
        {kProtoLogitec, "scsi E0 00 FC 01 00 00 00 B0 FF 4C"},
        {kProtoCypress, "scsi 24 24 00 BE 00 00 FC 01 00 00 00 B0 FF 00 00 00"},
    };
    for (auto [transport, key] : cases) {
        DeviceRig rig;
        auto& dev = rig.OpenOn(transport);
        rig.storage.fallback = Ok(k32 ? 592 : 608);
        uint8_t out[512] = {0x0A, 0x07};
        IdeRegs regs = MakeRegs(0xFC, 1, 0, 0, 0, 0, 0xFF);
        uint32_t length = 512;
        EXPECT_EQ(dev.ata_command(regs, out, nullptr, kDirOut, length), ATACMD_OK);
        ASSERT_EQ(rig.storage.sent.size(), 1u);
        EXPECT_EQ(rig.storage.sent[0].key, key);
        EXPECT_EQ(rig.storage.sent[0].bytes[8], 0);                  // data out
        EXPECT_EQ(rig.storage.sent[0].hex(kData, 2), "0A 07");
        EXPECT_EQ(HexOf(&dev.OutRegs.bFeaturesReg, 8), "FF FF FF FF FF FF FF FF");
    }
}

}  // namespace
}  // namespace orvane::test
