// The records transports 1 to 4 send, byte for byte, and what comes back into OutRegs,
// the caller's buffer, the length and the result.
#include "device/ata_builders.h"
#include "device_fixture.h"

namespace orvane::test {
namespace {

using namespace orvane::device;

constexpr bool k32 = sizeof(void*) == 4;

// ATA_PASS_THROUGH_EX: Length 40 and data at 44 (32-bit); Length 48, a 4-byte hole at 20 and
// data at 52 (64-bit).
const char* kIdentifyApt32 =
    "28 00 03 00 00 00 00 00 00 02 00 00 14 00 00 00 00 00 00 00 2C 00 00 00 "
    "00 00 00 00 00 00 00 00 00 01 00 00 00 00 EC 00";
const char* kIdentifyApt64 =
    "30 00 03 00 00 00 00 00 00 02 00 00 14 00 00 00 00 00 00 00 00 00 00 00 34 00 00 00 00 00 00 00 "
    "00 00 00 00 00 00 00 00 00 01 00 00 00 00 EC 00";
// 48-bit no-data (READ VERIFY SECTORS EXT), timeout 7.9 s: flags 8 only, no DRDY.
const char* kVerifyExtApt32 =
    "28 00 08 00 00 00 00 00 00 00 00 00 07 00 00 00 00 00 00 00 2C 00 00 00 "
    "00 00 01 02 03 00 00 00 00 08 10 20 30 40 42 00";
const char* kVerifyExtApt64 =
    "30 00 08 00 00 00 00 00 00 00 00 00 07 00 00 00 00 00 00 00 00 00 00 00 34 00 00 00 00 00 00 00 "
    "00 00 01 02 03 00 00 00 00 08 10 20 30 40 42 00";

TEST(AtaPassThrough, SendsTheBufferedRecord) {
    DeviceRig rig;
    auto& dev = rig.OpenOn(kProtoAta);
    rig.storage.replies["ata EC"] = Ok(k32 ? 556 : 568, [](uint8_t* b) {
        b[offsetof(AtaPassThroughExWithBuffer, ucDataBuf) + 4] = 0xC8;
        b[offsetof(ATA_PASS_THROUGH_EX, CurrentTaskFile) + 6] = 0x50;
    });
    uint8_t data[512] = {};
    IdeRegs regs = MakeRegs(0, 1, 0, 0, 0, 0, 0xEC);
    uint32_t length = 512;
    EXPECT_EQ(dev.ata_command(regs, data, nullptr, kDirIn, length), ATACMD_OK);
    ASSERT_EQ(rig.storage.sent.size(), 1u);
    const Sent& s = rig.storage.sent[0];
    EXPECT_EQ(s.code, 0x4D02Cu);
    EXPECT_EQ(s.in_len, k32 ? 556u : 568u);
    EXPECT_EQ(s.out_len, s.in_len);
    EXPECT_EQ(s.hex(0, k32 ? 40 : 48), k32 ? kIdentifyApt32 : kIdentifyApt64);
    EXPECT_EQ(data[4], 0xC8);
    EXPECT_EQ(length, k32 ? 556u : 568u);  // the returned count, header included
    EXPECT_EQ(HexOf(&dev.OutRegs.bFeaturesReg, 8), "00 01 00 00 00 00 50 00");
    EXPECT_EQ(rig.Log(), "(ATA PASSTHROUGH) Cmd:EC FR:00 SC:01 SN:00 CL:00 CH:00  1 / 0\n");

    // 48-bit, no data.
    rig.storage.sent.clear();
    rig.storage.replies["ata 42"] = Ok(k32 ? 556 : 568);
    dev.set_timeout(7.9f);
    IdeRegs prev = MakeRegs(0, 0, 1, 2, 3, 0, 0);
    regs = MakeRegs(0, 8, 0x10, 0x20, 0x30, 0x40, 0x42);
    length = 0;
    EXPECT_EQ(dev.ata_command(regs, nullptr, &prev, kDirNone, length), ATACMD_OK);
    EXPECT_EQ(rig.storage.sent[0].hex(0, k32 ? 40 : 48), k32 ? kVerifyExtApt32 : kVerifyExtApt64);

    // Data out: flags 5, the data behind the header.
    rig.storage.sent.clear();
    rig.storage.replies["ata FF/FC"] = Ok(k32 ? 556 : 568, [](uint8_t* b) {
        b[offsetof(ATA_PASS_THROUGH_EX, CurrentTaskFile) + 6] = 0x50;
    });
    uint8_t out[512] = {0x0A, 0x07, 0x55};
    out[511] = 0xAA;
    regs = MakeRegs(0xFC, 1, 0, 0, 0, 0, 0xFF);
    length = 512;
    EXPECT_EQ(dev.ata_command(regs, out, nullptr, kDirOut, length), ATACMD_OK);
    const Sent& w = rig.storage.sent[0];
    EXPECT_EQ(w.hex(2, 2), "05 00");
    EXPECT_EQ(w.hex(k32 ? 44 : 52, 3), "0A 07 55");
    EXPECT_EQ(w.bytes[(k32 ? 44 : 52) + 511], 0xAA);
}

TEST(AtaPassThrough, LongTransfersUseTheDirectRecord) {
    DeviceRig rig;
    auto& dev = rig.OpenOn(kProtoAta);
    std::vector<uint8_t> image(4096, 0x5A);
    rig.storage.replies["ata 92"] = Ok(k32 ? 40 : 48, [](uint8_t* b) {
        b[offsetof(ATA_PASS_THROUGH_DIRECT, CurrentTaskFile) + 6] = 0x50;
    });
    IdeRegs prev = MakeRegs(0, 0, 0, 0, 0, 0, 0);
    IdeRegs regs = MakeRegs(0x0E, 8, 0, 0, 0, 0, 0x92);
    uint32_t length = 4096;
    EXPECT_EQ(dev.ata_command(regs, image.data(), &prev, kDirOut, length), ATACMD_OK);
    const Sent& s = rig.storage.sent.at(0);
    EXPECT_EQ(s.code, 0x4D030u);
    EXPECT_EQ(s.in_len, k32 ? 40u : 48u);
    // Length, flags out + DRDY + 48-bit, transfer length 4096, timeout 20.
    EXPECT_EQ(s.hex(0, 16), k32 ? "28 00 0D 00 00 00 00 00 00 10 00 00 14 00 00 00"
                                : "30 00 0D 00 00 00 00 00 00 10 00 00 14 00 00 00");
    void* pointer = nullptr;
    std::memcpy(&pointer, s.bytes.data() + (k32 ? 20 : 24), sizeof pointer);
    EXPECT_EQ(pointer, image.data());
    EXPECT_EQ(s.hex(k32 ? 32 : 40, 8), "0E 08 00 00 00 00 92 00");
    EXPECT_EQ(length, k32 ? 40u : 48u);

    // Data in, no 48-bit: DRDY with the direction; an error status names the direct request.
    rig.storage.sent.clear();
    rig.sys.files.clear();
    rig.storage.replies["ata C8"] = Ok(0, [](uint8_t* b) {
        b[offsetof(ATA_PASS_THROUGH_DIRECT, CurrentTaskFile)] = 0x04;
        b[offsetof(ATA_PASS_THROUGH_DIRECT, CurrentTaskFile) + 6] = 0x51;
    });
    regs = MakeRegs(0, 2, 0, 0, 0, 0xE0, 0xC8);
    length = 1024;
    EXPECT_EQ(dev.ata_command(regs, image.data(), nullptr, kDirIn, length), ATACMD_ERR);
    EXPECT_EQ(rig.storage.sent.at(0).hex(2, 2), "03 00");
    EXPECT_EQ(dev.bLastStatus, 0x51);
    EXPECT_EQ(dev.OutRegs.bFeaturesReg, 0x04);
    EXPECT_NE(rig.Log().find("ATA>512 Status Register: 0x51\n"), std::string::npos);
}

TEST(AtaPassThrough, DirectRequestOutlastingItsTimeoutIsATimeout) {
    DeviceRig rig;
    auto& dev = rig.OpenOn(kProtoAta);
    dev.set_timeout(2.5f);
    std::vector<uint8_t> buf(1024);
    rig.storage.replies["ata 92"] = [&](uint8_t* b, uint32_t, uint32_t) {
        rig.clock.t += 2.6;  // the driver held the request this long, then reported success
        b[offsetof(ATA_PASS_THROUGH_DIRECT, CurrentTaskFile) + 6] = 0x50;
        return IoResult{true, k32 ? 40u : 48u, 0};
    };
    IdeRegs regs = MakeRegs(0x0E, 2, 0, 0, 0, 0, 0x92);
    uint32_t length = 1024;
    EXPECT_EQ(dev.ata_command(regs, buf.data(), nullptr, kDirOut, length), ATACMD_TIMEOUT);
    // Buffered requests are not judged by the stopwatch.
    rig.storage.replies["ata 92"] = [&](uint8_t* b, uint32_t, uint32_t) {
        rig.clock.t += 2.6;
        b[offsetof(ATA_PASS_THROUGH_EX, CurrentTaskFile) + 6] = 0x50;
        return IoResult{true, k32 ? 556u : 568u, 0};
    };
    length = 512;
    EXPECT_EQ(dev.ata_command(regs, buf.data(), nullptr, kDirOut, length), ATACMD_OK);
}

// Status with ERR set: 0x7F (outside a download) is taken as success and leaves length and data alone.
TEST(AtaStatus, Status7FIsSuccessOnAtaAndIde) {
    struct Case {
        uint8_t transport;
        const char* key;
        size_t status_at;
        uint8_t status;
        uint8_t result;
        const char* log;
    };
    const size_t apt_status = offsetof(ATA_PASS_THROUGH_EX, CurrentTaskFile) + 6;
    const Case cases[] = {
        {kProtoAta, "ata EC", apt_status, 0x7F, ATACMD_OK, ""},
        {kProtoAta, "ata EC", apt_status, 0x51, ATACMD_ERR, "ATA Status Register: 0x51\n"},
        {kProtoIde, "ide EC", 6, 0x7F, ATACMD_OK, ""},
        {kProtoIde, "ide EC", 6, 0x41, ATACMD_ERR, "IDE_CmdReg: 0x41\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        DeviceRig rig;
        auto& dev = rig.OpenOn(c.transport);
        rig.storage.replies["rescan"] = Ok(0);
        rig.storage.replies[c.key] = Ok(600, [&](uint8_t* b) {
            b[c.status_at] = c.status;
            std::memset(b + (c.transport == kProtoIde ? 12 : kAtaExDataOffset), 0xEE, 16);
        });
        uint8_t data[512] = {};
        IdeRegs regs = MakeRegs(0, 1, 0, 0, 0, 0, 0xEC);
        uint32_t length = 512;
        EXPECT_EQ(dev.ata_command(regs, data, nullptr, kDirIn, length), c.result);
        EXPECT_EQ(length, 512u);
        EXPECT_EQ(data[0], 0);
        EXPECT_EQ(dev.bLastStatus, c.result == ATACMD_ERR ? c.status : 0);
        EXPECT_NE(rig.Log().find(c.log), std::string::npos);
    }
}

TEST(IdePassThrough, RescansBeforeIdentifyAndRefusesLongTransfers) {
    DeviceRig rig;
    auto& dev = rig.OpenOn(kProtoIde);
    rig.storage.replies["rescan"] = Ok(0);
    rig.storage.replies["ide EC"] = Ok(524, [](uint8_t* b) {
        b[6] = 0x50;
        b[12 + 4] = 0x37;
    });
    uint8_t data[512] = {};
    IdeRegs regs = MakeRegs(0, 1, 0, 0, 0, 0, 0xEC);
    uint32_t length = 512;
    const double before = rig.clock.t;
    EXPECT_EQ(dev.ata_command(regs, data, nullptr, kDirIn, length), ATACMD_OK);
    ASSERT_EQ(rig.storage.sent.size(), 2u);
    EXPECT_EQ(rig.storage.sent[0].code, 0x4101Cu);
    EXPECT_EQ(rig.storage.sent[0].in_len, 0u);
    EXPECT_GE(rig.clock.t - before, 0.5);  // the pause after the rescan
    const Sent& s = rig.storage.sent[1];
    EXPECT_EQ(s.code, 0x4D028u);
    EXPECT_EQ(s.in_len, 524u);
    EXPECT_EQ(s.hex(0, 12), "00 01 00 00 00 00 EC 00 00 02 00 00");
    EXPECT_EQ(data[4], 0x37);
    EXPECT_EQ(length, 524u);
    EXPECT_EQ(HexOf(&dev.OutRegs.bFeaturesReg, 8), "00 01 00 00 00 00 50 00");

    // Data out: no rescan, the data at 12.
    rig.storage.sent.clear();
    rig.storage.replies["ide FF"] = Ok(524, [](uint8_t* b) { b[6] = 0x50; });
    uint8_t out[512] = {0x0A, 0x07};
    regs = MakeRegs(0xFC, 1, 0, 0, 0, 0, 0xFF);
    length = 512;
    EXPECT_EQ(dev.ata_command(regs, out, nullptr, kDirOut, length), ATACMD_OK);
    ASSERT_EQ(rig.storage.sent.size(), 1u);
    EXPECT_EQ(rig.storage.sent[0].hex(0, 14), "FC 01 00 00 00 00 FF 00 00 02 00 00 0A 07");

    rig.storage.sent.clear();
    std::vector<uint8_t> big(513);
    length = 513;
    EXPECT_EQ(dev.ata_command(regs, big.data(), nullptr, kDirOut, length), ATACMD_FAIL);
    EXPECT_TRUE(rig.storage.sent.empty());
}

TEST(ScsiPassThrough, CarriesTheRegistersInThe0xCCBlock) {
    DeviceRig rig;
    auto& dev = rig.OpenOn(kProtoScsi);
    const size_t data_at = k32 ? 80 : 92;
    rig.storage.replies["scsi CC"] = [&](uint8_t* b, uint32_t in_len, uint32_t) {
        b[data_at + 4] = 0x73;
        return IoResult{true, in_len, 0};
    };
    uint8_t data[512] = {};
    IdeRegs regs = MakeRegs(0, 1, 0, 0, 0, 0xA0, 0xEC);
    uint32_t length = 512;
    EXPECT_EQ(dev.ata_command(regs, data, nullptr, kDirIn, length), ATACMD_OK);
    const Sent& s = rig.storage.sent.at(0);
    EXPECT_EQ(s.code, 0x4D004u);
    EXPECT_EQ(s.in_len, data_at + 512);
    // Length, target 1, CDB 10, sense 24, data in, 512, 20 s, data offset, sense offset, block.
    EXPECT_EQ(s.hex(0, k32 ? 44 : 52),
              k32 ? "2C 00 00 00 01 00 0A 18 01 00 00 00 00 02 00 00 14 00 00 00 50 00 00 00 30 00 00 00 "
                    "CC 00 00 01 00 00 00 A0 EC 00 00 00 00 00 00 00"
                  : "38 00 00 00 01 00 0A 18 01 00 00 00 00 02 00 00 14 00 00 00 00 00 00 00 "
                    "5C 00 00 00 00 00 00 00 3C 00 00 00 CC 00 00 01 00 00 00 A0 EC 00 00 00 00 00 00 00");
    EXPECT_EQ(data[4], 0x73);
    EXPECT_EQ(length, data_at + 512);
    EXPECT_EQ(HexOf(&dev.OutRegs.bFeaturesReg, 8), "FF FF FF FF FF FF FF FF");

    // No data: DataIn 2, no data bytes; the sense area still lies inside what is sent.
    rig.storage.sent.clear();
    regs = MakeRegs(0, 0, 0, 0, 0, 0, 0xE7);
    rig.storage.replies["scsi CC"] = Ok(k32 ? 80 : 92);
    length = 0;
    EXPECT_EQ(dev.ata_command(regs, nullptr, nullptr, kDirNone, length), ATACMD_OK);
    const Sent& n = rig.storage.sent.at(0);
    EXPECT_EQ(n.in_len, data_at);
    EXPECT_EQ(n.bytes[8], 2);
    uint32_t sense_at = 0;
    std::memcpy(&sense_at, n.bytes.data() + (k32 ? 24 : 32), 4);
    EXPECT_LE(sense_at + 24, n.in_len);

    // Longer: the direct record of 80 (96) bytes, the caller's buffer, sense at 48 (60).
    rig.storage.sent.clear();
    std::vector<uint8_t> big(2048);
    regs = MakeRegs(0x0E, 4, 0, 0, 0, 0, 0x92);
    length = 2048;
    rig.storage.replies["scsi CC"] = Ok(k32 ? 80 : 96);
    EXPECT_EQ(dev.ata_command(regs, big.data(), nullptr, kDirOut, length), ATACMD_OK);
    const Sent& d = rig.storage.sent.at(0);
    EXPECT_EQ(d.code, 0x4D014u);
    EXPECT_EQ(d.in_len, k32 ? 80u : 96u);
    EXPECT_EQ(d.hex(8, 4), "00 00 00 00");
    EXPECT_EQ(d.hex(12, 4), "00 08 00 00");
    EXPECT_EQ(d.hex(k32 ? 24 : 32, 4), k32 ? "30 00 00 00" : "3C 00 00 00");
}

TEST(SilPassThrough, SendsTheMiniportCommandRecord) {
    DeviceRig rig;
    auto& dev = rig.OpenOn(kProtoSil);
    rig.storage.replies["miniport 4202C EC"] = [](uint8_t* b, uint32_t in_len, uint32_t) {
        b[28 + 16] = 0x00;
        b[28 + 22] = 0x50;
        b[72 + 4] = 0x8C;
        return IoResult{true, in_len, 0};
    };
    uint8_t data[512] = {};
    IdeRegs regs = MakeRegs(0, 1, 0, 0, 0, 0xA0, 0xEC);
    uint32_t length = 512;
    EXPECT_EQ(dev.ata_command(regs, data, nullptr, kDirIn, length), ATACMD_OK);
    // Opened by a path the device list does not hold: the driver is asked where the device sits.
    ASSERT_EQ(rig.storage.sent.size(), 2u);
    EXPECT_EQ(rig.storage.sent[0].key, "code 41018");
    const Sent& s = rig.storage.sent[1];
    EXPECT_EQ(s.code, 0x4D008u);
    EXPECT_EQ(s.in_len, 584u);
    EXPECT_EQ(s.hex(0, 72),
              "1C 00 00 00 43 4D 44 5F 49 44 45 20 78 00 00 00 2C 20 04 00 00 00 00 00 2C 02 00 00 "
              "2C 00 02 00 00 00 00 00 00 02 00 00 2C 00 00 00 00 01 00 00 00 A0 EC 00 00 00 00 00 "
              "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");
    EXPECT_EQ(data[4], 0x8C);
    EXPECT_EQ(length, 584u);
    EXPECT_EQ(HexOf(&dev.OutRegs.bFeaturesReg, 8), "00 01 00 00 00 A0 50 00");

    // 48-bit data out: flags 1 + 4, high-order bytes as LBA low, mid, high, features, count.
    rig.storage.sent.clear();
    rig.storage.replies["miniport 4202C 35"] = Ok(72 + 1024);
    std::vector<uint8_t> out(1024, 0x11);
    IdeRegs prev = MakeRegs(0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0, 0);
    regs = MakeRegs(0, 2, 1, 2, 3, 0x40, 0x35);
    length = 1024;
    EXPECT_EQ(dev.ata_command(regs, out.data(), &prev, kDirOut, length), ATACMD_OK);
    const Sent& w = rig.storage.sent.at(0);
    EXPECT_EQ(w.in_len, 1096u);
    EXPECT_EQ(w.hex(28, 16), "2C 00 05 00 00 00 00 00 00 04 00 00 2C 00 00 00");
    EXPECT_EQ(w.hex(44, 12), "00 02 01 02 03 40 35 A3 A4 A5 A1 A2");
    EXPECT_EQ(w.bytes[72], 0x11);
}

// A device opened by a path the list does not hold: its commands carry the address its driver
// reports, asked once per open; a driver that cannot say gets no command at all.
TEST(SilPassThrough, AddressedToTheOpenDevice) {
    DeviceRig rig;
    auto& dev = rig.OpenOn(kProtoSil);
    rig.storage.replies["code 41018"] = Ok(8, [](uint8_t* b) {
        const uint8_t address[8] = {8, 0, 0, 0, 2, 1, 3, 0};
        std::memcpy(b, address, sizeof address);
    });
    rig.storage.replies["miniport 4202C"] = Ok(72);
    for (int i = 0; i < 2; ++i) {
        IdeRegs regs = MakeRegs(0, 0, 0, 0, 0, 0, 0xE7);
        uint32_t length = 0;
        EXPECT_EQ(dev.ata_command(regs, nullptr, nullptr, kDirNone, length), ATACMD_OK);
    }
    EXPECT_EQ(rig.storage.SentWith("code 41018").size(), 1u);
    ASSERT_EQ(rig.storage.SentWith("miniport").size(), 2u);
    EXPECT_EQ(rig.storage.SentWith("miniport")[1].hex(32, 3), "01 03 00");

    dev.open_device(0, "\\\\.\\PhysicalDrive0", kOpenAta);
    dev.set_protocol(kProtoSil);
    rig.storage.sent.clear();
    rig.storage.replies["code 41018"] = FailWith(1);
    IdeRegs regs = MakeRegs(0, 0, 0, 0, 0, 0, 0xE7);
    uint32_t length = 0;
    EXPECT_EQ(dev.ata_command(regs, nullptr, nullptr, kDirNone, length), ATACMD_FAIL);
    EXPECT_TRUE(rig.storage.SentWith("miniport").empty());
}

TEST(SilPassThrough, ReturnCodesAndDriverVersion) {
    const std::pair<uint32_t, uint8_t> cases[] = {{0, ATACMD_OK},       {1, ATACMD_FAIL},        {5, ATACMD_FAIL},
                                                  {6, ATACMD_TIMEOUT}, {7, ATACMD_NOT_SUPPORT}, {8, ATACMD_NOT_SUPPORT},
                                                  {9, ATACMD_ERR},     {0x80, ATACMD_ERR}};
    for (auto [code, result] : cases) {
        DeviceRig rig;
        auto& dev = rig.OpenOn(kProtoSil);
        rig.storage.replies["miniport 4202C"] = [code = code](uint8_t* b, uint32_t in_len, uint32_t) {
            std::memcpy(b + 20, &code, 4);
            return IoResult{true, in_len, 0};
        };
        IdeRegs regs = MakeRegs(0, 0, 0, 0, 0, 0, 0xE7);
        uint32_t length = 0;
        EXPECT_EQ(dev.ata_command(regs, nullptr, nullptr, kDirNone, length), result) << code;
    }
    DeviceRig rig;
    auto& dev = rig.OpenOn(kProtoSil);
    rig.storage.replies["miniport 42000"] = [](uint8_t* b, uint32_t in_len, uint32_t) {
        b[28] = 2;
        b[30] = 3;
        return IoResult{true, in_len, 0};
    };
    EXPECT_DOUBLE_EQ(dev.sil_driver_version(), 2.3);
    const Sent& s = rig.storage.sent.at(0);
    EXPECT_EQ(s.in_len, 72u);
    EXPECT_EQ(s.hex(0, 28), "1C 00 00 00 43 4D 44 5F 49 44 45 20 78 00 00 00 00 20 04 00 00 00 00 00 2C 00 00 00");
    rig.storage.replies["miniport 42000"] = FailWith(1);
    EXPECT_EQ(dev.sil_driver_version(), 0.0);
    // A failed command request leaves no registers.
    rig.storage.replies["miniport 4202C"] = FailWith(1117);
    IdeRegs regs = MakeRegs(0, 0, 0, 0, 0, 0, 0xE7);
    uint32_t length = 0;
    EXPECT_EQ(dev.ata_command(regs, nullptr, nullptr, kDirNone, length), ATACMD_FAIL);
    EXPECT_EQ(HexOf(&dev.OutRegs.bFeaturesReg, 8), "FF FF FF FF FF FF FF FF");
    EXPECT_EQ(dev.dwLastError, 1117u);
}

}  // namespace
}  // namespace orvane::test
