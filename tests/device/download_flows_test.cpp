// The download, preformat and handshake flows as the drive receives them: every command's
// register bytes, the chunk bytes, the log, and where each flow stops.
#include <map>
#include <optional>

#include "device/download_flows.h"
#include "device_fixture.h"

namespace orvane::test {
namespace {

using namespace orvane::device;

// One command as the drive saw it.
struct Seen {
    uint32_t code = 0;
    std::string regs;  // FR SC SN CL CH DH Cmd, or the whole command block
    uint16_t flags = 0;  // AtaFlags, or the SCSI record's DataIn
    uint32_t length = 0, timeout = 0;
    std::vector<uint8_t> data;  // data out
};

template <class Rec>
Rec RecordOf(const Sent& s) {
    Rec r{};
    std::memcpy(&r, s.bytes.data(), std::min(sizeof r, s.bytes.size()));
    return r;
}

std::optional<Seen> Decode(const Sent& s) {
    Seen out;
    out.code = s.code;
    const uint8_t* data = nullptr;
    const bool direct = s.code == IOCTL_ATA_PASS_THROUGH_DIRECT || s.code == IOCTL_SCSI_PASS_THROUGH_DIRECT;
    if (s.code == IOCTL_ATA_PASS_THROUGH || s.code == IOCTL_ATA_PASS_THROUGH_DIRECT) {
        auto r = RecordOf<ATA_PASS_THROUGH_DIRECT>(s);
        out.regs = HexOf(r.CurrentTaskFile, 7);
        out.flags = r.AtaFlags;
        out.length = r.DataTransferLength;
        out.timeout = r.TimeOutValue;
        if (r.AtaFlags & ATA_FLAGS_DATA_OUT)
            data = direct ? static_cast<const uint8_t*>(r.DataBuffer) : s.bytes.data() + kAtaExDataOffset;
    } else if (s.code == IOCTL_SCSI_PASS_THROUGH || s.code == IOCTL_SCSI_PASS_THROUGH_DIRECT) {
        auto r = RecordOf<SCSI_PASS_THROUGH_DIRECT>(s);
        if (r.Cdb[0] == 0xDF && r.Cdb[11] == 0xFD) return std::nullopt;  // a bridge register read-back
        out.regs = HexOf(r.Cdb, r.CdbLength);
        out.flags = r.DataIn;
        out.length = r.DataTransferLength;
        out.timeout = r.TimeOutValue;
        if (r.DataIn == SCSI_IOCTL_DATA_OUT)
            data = direct ? static_cast<const uint8_t*>(r.DataBuffer) : s.bytes.data() + kSptDataOffset;
    } else if (s.code == IOCTL_IDE_PASS_THROUGH) {
        out.regs = s.hex(0, 7);
        out.length = RecordOf<IdePassThroughRecord>(s).DataBufferSize;
        data = s.bytes.data() + kIdeDataOffset;
    } else {
        return std::nullopt;
    }
    if (data && out.length) out.data.assign(data, data + out.length);
    return out;
}

// A drive behind the fake storage: IDENTIFY answers with the given word 159, the commands a test
// names fail, READ BUFFER pages (ATA pass-through) come from `pages` by the command's FR byte.
struct Drive {
    DeviceRig rig;
    TAtaDevice& dev;
    std::vector<Seen> seen;
    uint8_t word159 = 0;
    // Command number in `seen` -> 0: the drive answers ERR; else the request fails with that error.
    std::map<size_t, uint32_t> fail;
    // Command number in `seen` -> the status byte the request returns (ATA and IDE pass-through).
    std::map<size_t, uint8_t> status;
    std::map<uint8_t, std::vector<uint8_t>> pages;

    explicit Drive(uint8_t transport) : dev(rig.OpenOn(transport)) {
        dev.iBridgePort = 0;
        rig.storage.on_send = [this](const Sent& s) {
            if (auto d = Decode(s)) seen.push_back(*d);
        };
        rig.storage.fallback = [this](uint8_t* b, uint32_t in_len, uint32_t) { return Answer(b, in_len); };
    }

    IoResult Answer(uint8_t* b, uint32_t in_len) {
        const Sent& s = rig.storage.sent.back();
        if (!Decode(s)) return IoResult{true, in_len, 0};
        const size_t n = seen.size() - 1;
        const bool ata = s.code == IOCTL_ATA_PASS_THROUGH || s.code == IOCTL_ATA_PASS_THROUGH_DIRECT;
        const uint8_t* tf = b + offsetof(ATA_PASS_THROUGH_EX, CurrentTaskFile);
        const uint8_t cmd = ata ? tf[6] : s.code == IOCTL_IDE_PASS_THROUGH ? b[6] : 0;
        const uint8_t fr = ata ? tf[0] : b[0];
        if (ata) b[offsetof(ATA_PASS_THROUGH_EX, CurrentTaskFile) + 6] = 0x50;
        if (s.code == IOCTL_IDE_PASS_THROUGH) b[6] = 0x50;
        if (auto st = status.find(n); st != status.end()) {
            b[ata ? offsetof(ATA_PASS_THROUGH_EX, CurrentTaskFile) + 6 : 6] = st->second;
            return IoResult{true, in_len, 0};
        }
        if (auto f = fail.find(n); f != fail.end()) {
            if (f->second != 0) return IoResult{false, 0, f->second};
            if (ata) b[offsetof(ATA_PASS_THROUGH_EX, CurrentTaskFile) + 6] = 0x51;
            return IoResult{true, in_len, 0};
        }
        uint8_t* in = b + (ata ? kAtaExDataOffset : s.code == IOCTL_IDE_PASS_THROUGH ? kIdeDataOffset : kSptDataOffset);
        if (cmd == 0xEC || (cmd == 0 && (" " + seen.back().regs + " ").find(" EC ") != std::string::npos)) {
            in[4] = 0x37;  // a valid word 2
            in[318] = word159;
        } else if (auto p = pages.find(fr); ata && cmd == 0xE4 && p != pages.end()) {
            std::memcpy(in, p->second.data(), p->second.size());
        }
        return IoResult{true, in_len, 0};
    }

    std::vector<std::string> Regs(size_t from = 1) const {
        std::vector<std::string> out;
        for (size_t i = from; i < seen.size(); ++i) out.push_back(seen[i].regs);
        return out;
    }
    // Every chunk's data, in the order sent.
    std::vector<uint8_t> ChunkBytes() const {
        std::vector<uint8_t> out;
        for (size_t i = 1; i < seen.size(); ++i) out.insert(out.end(), seen[i].data.begin(), seen[i].data.end());
        return out;
    }
};

std::vector<uint8_t> Image(uint32_t size) {
    std::vector<uint8_t> image(size);
    for (uint32_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(i * 7 + i / 512 + 1);
    return image;
}

// The image as the chunks must carry it: zeros up to the end of its last sector.
std::vector<uint8_t> Padded(std::vector<uint8_t> image) {
    image.resize((image.size() + 511) / 512 * 512, 0);
    return image;
}

TEST(ChunkPlan, CountsFullAndRemainderChunks) {
    struct Case {
        uint32_t size;
        int max_sector;
        ChunkPlan want;
    } cases[] = {
        {1000, 64, {2, 0, 2, 1}},
        {64 * 512, 64, {64, 1, 0, 1}},
        {64 * 512 + 1, 64, {65, 1, 1, 2}},
        {524288, 64, {1024, 16, 0, 16}},
        {524288, 7, {1024, 146, 2, 147}},
        {513, 1, {2, 2, 0, 2}},
        {0, 64, {0, 0, 0, 0}},
        {1000, 0, {2, 0, 0, 0}},
        {0xFFFFFFFFu, 255, {8388608, 32896, 128, 32897}},
    };
    for (const Case& c : cases) {
        const ChunkPlan p = PlanChunks(c.size, c.max_sector);
        EXPECT_EQ(std::vector<uint32_t>({p.sectors, p.full, p.remainder, p.total}),
                  std::vector<uint32_t>({c.want.sectors, c.want.full, c.want.remainder, c.want.total}))
            << c.size << " / " << c.max_sector;
    }
}

TEST(FlashFirmware, NormalFlowOverAtaPassThrough) {
    Drive d(kProtoAta);
    const auto image = Image(70000);  // 137 sectors: 64, 64, 9
    EXPECT_EQ(d.dev.flash_firmware(image.data(), 70000, 64, 0, false, false), ATACMD_OK);
    EXPECT_EQ(d.Regs(0), (std::vector<std::string>{"00 01 00 00 00 00 EC", "03 40 00 00 00 00 92",
                                                   "03 40 00 40 00 00 92", "03 09 00 80 00 00 92",
                                                   "07 00 00 01 00 00 92"}));
    const uint32_t codes[] = {0x4D02C, 0x4D030, 0x4D030, 0x4D030, 0x4D02C};
    const uint16_t flags[] = {3, 5, 5, 5, 0};
    const uint32_t lengths[] = {512, 32768, 32768, 4608, 0};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(d.seen[i].code, codes[i]) << i;
        EXPECT_EQ(d.seen[i].flags, flags[i]) << i;
        EXPECT_EQ(d.seen[i].length, lengths[i]) << i;
        EXPECT_EQ(d.seen[i].timeout, 60u) << i;
    }
    EXPECT_EQ(d.ChunkBytes(), Padded(image));
    EXPECT_EQ(d.dev.iChunkTotal, 3);
    EXPECT_EQ(d.rig.Log(),
              "(ATA PASSTHROUGH) Cmd:EC FR:00 SC:01 SN:00 CL:00 CH:00  1 / 0\n"
              "Normal flash (mode3/mode7): Reboot=0, Bootcode=0, iFlashMode=0, max_sector=64\n"
              "(ATA PASSTHROUGH) Cmd:92 FR:03 SC:40 SN:00 CL:00 CH:00  1 / 3\n"
              "(ATA PASSTHROUGH) Cmd:92 FR:03 SC:40 SN:00 CL:40 CH:00  2 / 3\n"
              "(ATA PASSTHROUGH) Cmd:92 FR:03 SC:09 SN:00 CL:80 CH:00  3 / 3\n"
              "(ATA PASSTHROUGH) Cmd:92 FR:07 SC:00 SN:00 CL:01 CH:00  4 / 3\n");
}

TEST(FlashFirmware, EnterpriseFlowOverSat) {
    Drive d(kProtoSat);
    const auto image = Image(33000);  // 65 sectors: 64 and 1
    EXPECT_EQ(d.dev.flash_firmware(image.data(), 33000, 64, 2, true, true), ATACMD_OK);
    EXPECT_EQ(d.Regs(0), (std::vector<std::string>{
                             "A1 08 0E 00 01 00 00 00 00 EC 00 00", "A1 06 0C 0E 00 00 4C 41 00 92 00 00",
                             "A1 0A 06 0E 40 00 00 00 00 92 00 00", "A1 0A 06 0E 01 00 40 00 00 92 00 00",
                             "A1 06 0C 0F 00 00 00 00 00 92 00 00"}));
    EXPECT_EQ(d.seen[2].length, 32768u);
    EXPECT_EQ(d.seen[3].length, 512u);
    EXPECT_EQ(d.ChunkBytes(), Padded(image));
    EXPECT_EQ(d.rig.Log(),
              "(SAT ATA PASS THROUGH) Cmd:EC FR:00 SC:01 SN:00 CL:00 CH:00  1 / 0\n"
              "Enterprise flash flow (mode Eh/Fh): Reboot=1, Bootcode=1, iFlashMode=2, max_sector=64\n"
              "(SAT ATA PASS THROUGH) Cmd:92 FR:0E SC:00 SN:00 CL:4C CH:41  1 / 2\n"
              "Enterprise (mode Eh) start !\n"
              "(SAT ATA PASS THROUGH) Cmd:92 FR:0E SC:40 SN:00 CL:00 CH:00  1 / 2\n"
              "Enterprise (mode Eh) module part \n"
              "(SAT ATA PASS THROUGH) Cmd:92 FR:0E SC:01 SN:00 CL:40 CH:00  2 / 2\n"
              "Enterprise Reboot (mode Fh): Reboot=1, iFlashMode=1, Mode3p7=2, max_sector=64\n"
              "(SAT ATA PASS THROUGH) Cmd:92 FR:0F SC:00 SN:00 CL:00 CH:00  3 / 2\n"
              "Enterprise (mode Eh/Fh) Finished !\n");
}

// Chunk offsets in CL/CH over the transports that carry them; the bytes arrive whole and in order.
TEST(FlashFirmware, ChunksLandAtTheirOffsetsOnEveryCarryingTransport) {
    struct Case {
        uint8_t transport;
        uint32_t size;
        int max_sector, mode;
        std::vector<std::string> want;
    } cases[] = {
        {kProtoSat, 524288, 255, 1,
         {"A1 0A 06 03 FF 00 00 00 00 92 00 00", "A1 0A 06 03 FF 00 FF 00 00 92 00 00",
          "A1 0A 06 03 FF 00 FE 01 00 92 00 00", "A1 0A 06 03 FF 00 FD 02 00 92 00 00",
          "A1 0A 06 03 04 00 FC 03 00 92 00 00"}},
        {kProtoJmicron, 33000, 64, 0,
         {"DF 00 00 80 00 03 40 00 00 00 A0 92", "DF 00 00 02 00 03 01 00 40 00 A0 92",
          "DF 10 00 00 00 07 00 00 01 00 A0 92"}},
        {kProtoJmicron, 127 * 512, 127, 1, {"DF 00 00 FE 00 03 7F 00 00 00 A0 92"}},
        {kProtoScsi, 1000, 64, 0, {"CC 00 03 02 00 00 00 00 92 00", "CC 00 07 00 00 01 00 00 92 00"}},
        {kProtoIde, 1000, 1, 1, {"03 01 00 00 00 00 92", "03 01 00 01 00 00 92"}},
    };
    for (const Case& c : cases) {
        Drive d(c.transport);
        const auto image = Image(c.size);
        EXPECT_EQ(d.dev.flash_firmware(image.data(), c.size, c.max_sector, c.mode, false, false), ATACMD_OK)
            << int(c.transport);
        EXPECT_EQ(d.Regs(), c.want) << int(c.transport);
        EXPECT_EQ(d.ChunkBytes(), Padded(image)) << int(c.transport);
    }
}

// The flow and its last command by iFlashMode, the boot-code and reboot flags and IDENTIFY word 159,
// on a 1,000-byte image: one remainder chunk of 2 sectors at offset 0.
TEST(FlashFirmware, FlowAndFinalCommandByFlags) {
    const std::string normal = "03 02 00 00 00 00 92", enterprise = "0E 02 00 00 00 00 92";
    struct Case {
        int mode;
        bool boot, reboot;
        uint8_t word159;
        std::vector<std::string> want;
    } cases[] = {
        {0, false, false, 0, {normal, "07 00 00 01 00 00 92"}},
        {0, false, true, 0, {normal, "07 00 00 00 00 00 92"}},
        {0, true, false, 0, {normal, "07 00 00 4C 41 00 92"}},
        {0, true, true, 0, {normal, "07 00 00 4C 41 00 92"}},
        {1, true, true, 0, {normal}},
        {0, false, false, 0x08, {normal, "07 00 00 01 00 00 92"}},
        {0, false, false, 0xFF, {normal, "07 00 00 01 00 00 92"}},
        {0, false, false, 0x01, {enterprise}},
        {2, false, false, 0, {enterprise}},
        {2, true, false, 0, {"0E 00 00 4C 41 00 92", enterprise}},
        {2, false, true, 0, {enterprise, "0F 00 00 00 00 00 92"}},
    };
    for (const Case& c : cases) {
        Drive d(kProtoAta);
        d.word159 = c.word159;
        const auto image = Image(1000);
        EXPECT_EQ(d.dev.flash_firmware(image.data(), 1000, 64, c.mode, c.boot, c.reboot), ATACMD_OK);
        EXPECT_EQ(d.Regs(), c.want) << c.mode << c.boot << c.reboot << " " << int(c.word159);
        EXPECT_EQ(d.dev.iChunkTotal, 1);
    }
}

TEST(FlashFirmware, StopsAtTheFirstFailure) {
    struct Case {
        int mode;
        bool boot, reboot;
        size_t fail_at;
        uint32_t error;  // 0: the drive answers ERR
        uint8_t result;
        const char* log_end;
    } cases[] = {
        {0, false, false, 1, 0, ATACMD_ERR, "ATA>512 Status Register: 0x51\n"},
        {0, false, false, 2, 121, ATACMD_TIMEOUT, "GetLastError=79h(121)\n"},
        {0, false, false, 3, 31, ATACMD_FAIL, "GetLastError=1Fh(31)\n"},
        {2, true, true, 1, 0, ATACMD_ERR, "Enterprise UpdateBoot (mode Eh, offset 414Ch) failed !\n"},
        {2, false, true, 1, 0, ATACMD_ERR, "Enterprise UpdateBoot (mode Eh) failed !\n"},
        {2, false, true, 2, 0, ATACMD_ERR, "Enterprise UpdateBoot (mode Eh) module part failed !\n"},
        {2, false, true, 3, 50, ATACMD_NOT_SUPPORT, "Enterprise UpdateBoot (mode Fh) failed !\n"},
    };
    for (const Case& c : cases) {
        Drive d(kProtoAta);
        d.fail[c.fail_at] = c.error;
        const auto image = Image(33000);
        EXPECT_EQ(d.dev.flash_firmware(image.data(), 33000, 64, c.mode, c.boot, c.reboot), c.result) << c.log_end;
        EXPECT_EQ(d.seen.size(), c.fail_at + 1) << c.log_end;
        const std::string log = d.rig.Log();
        EXPECT_EQ(log.substr(log.size() - std::min(log.size(), std::strlen(c.log_end))), c.log_end);
    }
}

// Status 7Fh, no drive answering: a command of the download counts as sent only when the drive
// is to restart into its new firmware, where the caller then looks for it; otherwise it failed.
// A 1,000-byte image in chunks of 1 sector: IDENTIFY, two chunks, then the final subcommand.
TEST(FlashFirmware, NoDriveAnsweringCountsAsSentOnlyBeforeARestart) {
    struct Case {
        const char* name;
        uint8_t transport;
        int mode;
        bool reboot;
        size_t answered_7f;  // the command's number, IDENTIFY being 0
        uint8_t result;
        const char* log_end;
    } cases[] = {
        {"activation, no restart", kProtoAta, 0, false, 3, ATACMD_ERR, "ATA Status Register: 0x7F\n"},
        {"activation, restart", kProtoAta, 0, true, 3, ATACMD_OK,
         "(ATA PASSTHROUGH) Cmd:92 FR:07 SC:00 SN:00 CL:00 CH:00  3 / 2\n"},
        {"last chunk, no restart", kProtoAta, 1, false, 2, ATACMD_ERR, "ATA Status Register: 0x7F\n"},
        {"last chunk, restart", kProtoAta, 1, true, 2, ATACMD_OK,
         "(ATA PASSTHROUGH) Cmd:92 FR:03 SC:01 SN:00 CL:01 CH:00  2 / 2\n"},
        {"first chunk, no restart", kProtoAta, 0, false, 1, ATACMD_ERR, "ATA Status Register: 0x7F\n"},
        {"enterprise last chunk, no restart", kProtoAta, 2, false, 2, ATACMD_ERR,
         "ATA Status Register: 0x7F\nEnterprise UpdateBoot (mode Eh) failed !\n"},
        {"enterprise activation, restart", kProtoAta, 2, true, 3, ATACMD_OK, "Enterprise (mode Eh/Fh) Finished !\n"},
        {"IDE last chunk, no restart", kProtoIde, 1, false, 2, ATACMD_ERR, "IDE_CmdReg: 0x7F\n"},
        {"IDE activation, restart", kProtoIde, 0, true, 3, ATACMD_OK,
         "Normal flash (mode3/mode7): Reboot=1, Bootcode=0, iFlashMode=0, max_sector=1\n"},  // IDE logs no commands
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Drive d(c.transport);
        d.status[c.answered_7f] = 0x7F;
        const auto image = Image(1000);
        EXPECT_EQ(d.dev.flash_firmware(image.data(), 1000, 1, c.mode, false, c.reboot), c.result);
        EXPECT_EQ(d.seen.size(), c.answered_7f + 1);
        EXPECT_EQ(d.dev.bLastStatus, c.result == ATACMD_ERR ? 0x7F : 0);
        const std::string log = d.rig.Log();
        EXPECT_EQ(log.substr(log.size() - std::min(log.size(), std::strlen(c.log_end))), c.log_end);

        // Outside a download the answer counts as carried out again.
        d.status[d.seen.size()] = 0x7F;
        IdeRegs regs = MakeRegs(0, 0, 0, 0, 0, 0, 0xE5);
        uint32_t length = 0;
        EXPECT_EQ(d.dev.ata_command(regs, nullptr, nullptr, kDirNone, length), ATACMD_OK);
    }
}

TEST(FlashFirmware, RefusesWithNothingSent) {
    const uint32_t want[] = {0, 255, 1, 255, 255, 255, 127, 255, 255, 0, 0, 0, 0, 0, 255, 0, 0};
    for (int p = 0; p < kProtoCount; ++p) {
        EXPECT_EQ(MaxChunkSectors(p), want[p]) << p;
        Drive d(static_cast<uint8_t>(p));
        std::string why = "x";
        EXPECT_EQ(d.dev.carries_download(&why), want[p] != 0) << p;
        EXPECT_EQ(why, want[p] ? "" : kDownloadRefusedText) << p;
    }
    EXPECT_EQ(MaxChunkSectors(-1), 0u);
    EXPECT_EQ(MaxChunkSectors(kProtoCount), 0u);

    const auto image = Image(524289);
    struct Case {
        uint8_t transport;
        uint32_t size;
        int max_sector;
        uint8_t result;
        const char* log;
    } cases[] = {
        {kProtoIodata, 1000, 64, ATACMD_NOT_SUPPORT,
         "(IODATA) Firmware download refused: this connection cannot carry a firmware download; connect the "
         "drive to a SATA port\n"},
        {kProtoLogitec, 1000, 64, ATACMD_NOT_SUPPORT, nullptr},
        {kProtoCypress, 1000, 64, ATACMD_NOT_SUPPORT, nullptr},
        {kProtoNvme, 1000, 64, ATACMD_NOT_SUPPORT, "(NVMe) Firmware download refused: this connection"},
        {kProtoJmicron, 128 * 512, 128, ATACMD_NOT_SUPPORT,
         "(JMICRON) Firmware download refused: chunks of 128 sectors exceed the 127 this connection carries\n"},
        {kProtoIde, 1000, 64, ATACMD_NOT_SUPPORT, nullptr},
        {kProtoAta, 0, 64, ATACMD_FAIL, "Firmware image of 0 bytes refused: it must hold 1 to 524288 bytes\n"},
        {kProtoAta, 524289, 64, ATACMD_FAIL, nullptr},
        {kProtoAta, 1000, 0, ATACMD_FAIL, "Firmware download refused: max_sector=0 is not 1 to 255\n"},
        {kProtoAta, 1000, 256, ATACMD_FAIL, nullptr},
    };
    for (const Case& c : cases) {
        Drive d(c.transport);
        EXPECT_EQ(d.dev.flash_firmware(image.data(), c.size, c.max_sector, 0, true, true), c.result) << c.size;
        EXPECT_TRUE(d.rig.storage.sent.empty()) << int(c.transport) << " " << c.size;
        if (c.log) {
            EXPECT_EQ(d.rig.Log().substr(0, std::strlen(c.log)), c.log);
        }
    }
    Drive d(kProtoAta);
    EXPECT_EQ(d.dev.flash_firmware(nullptr, 1000, 64, 0, false, false), ATACMD_FAIL);
    EXPECT_TRUE(d.rig.storage.sent.empty());
}

// An image prepared in ReadBuf is sent as it was, though IDENTIFY reads into the same buffer, and
// the tail of its last sector goes out as zeros.
TEST(FlashFirmware, ImageAlreadyInReadBuf) {
    Drive d(kProtoAta);
    const auto image = Image(1000);
    std::memcpy(d.dev.ReadBuf.data(), image.data(), image.size());
    std::memset(d.dev.ReadBuf.data() + 1000, 0xEE, 24);
    EXPECT_EQ(d.dev.flash_firmware(d.dev.ReadBuf.data(), 1000, 64, 1, false, false), ATACMD_OK);
    ASSERT_EQ(d.Regs(0), (std::vector<std::string>{"00 01 00 00 00 00 EC", "03 02 00 00 00 00 92"}));
    EXPECT_EQ(d.ChunkBytes(), Padded(image));
}

TEST(Preformat, VendorPairAndPataWrite) {
    Drive d(kProtoAta);
    EXPECT_EQ(d.dev.preformat(), ATACMD_OK);
    EXPECT_EQ(d.Regs(0), (std::vector<std::string>{"FC 01 00 00 00 00 FF", "FD 00 00 00 00 00 FF"}));
    std::vector<uint8_t> page(512, 0);
    page[0] = 0x07;
    page[1] = 0xBE;
    EXPECT_EQ(d.seen[0].data, page);
    EXPECT_EQ(d.seen[0].flags, 5);
    EXPECT_EQ(d.seen[0].timeout, 60u);
    EXPECT_EQ(d.seen[1].flags, 0);
    EXPECT_EQ(d.seen[1].timeout, 120u);
    EXPECT_EQ(d.dev.fTimeout, 120.0f);

    Drive failing(kProtoAta);
    failing.fail[0] = 0;
    EXPECT_EQ(failing.dev.preformat(), ATACMD_ERR);
    EXPECT_EQ(failing.seen.size(), 1u);

    Drive pata(kProtoAta);
    EXPECT_EQ(pata.dev.pata_preformat(), ATACMD_OK);
    EXPECT_EQ(pata.Regs(0), std::vector<std::string>{"00 00 50 45 41 00 E8"});
    page[28] = 0x12, page[29] = 0x34, page[30] = 0x56, page[31] = 0x78;
    EXPECT_EQ(pata.seen[0].data, page);
    EXPECT_EQ(pata.seen[0].timeout, 60u);
}

std::vector<uint8_t> PataAnswer() {
    std::vector<uint8_t> page(512, 0x20);
    const char* text = "AEP NEWSupport";
    for (size_t i = 0; i < 14; ++i) page[4 * i] = static_cast<uint8_t>(text[i]);
    return page;
}

TEST(PataCheck, ThreeWritesThenTheSignedReads) {
    const std::string write = "00 00 50 45 41 00 E8", query = "80 00 50 45 41 00 E4", read = "00 00 50 45 41 00 E4";
    struct Case {
        std::map<size_t, uint32_t> fail;
        std::vector<uint8_t> word;
        uint8_t result;
        std::vector<std::string> want;
    } cases[] = {
        {{}, {1, 0, 0, 0}, ATACMD_OK, {write, query, read}},
        {{{0, 0}, {1, 0}}, {1, 0, 0, 0}, ATACMD_OK, {write, write, write, query, read}},
        {{{0, 0}, {1, 0}, {2, 121}}, {1, 0, 0, 0}, ATACMD_TIMEOUT, {write, write, write}},
        {{}, {0, 0, 0, 1}, ATACMD_FAIL, {write, query}},
        {{}, {1, 1, 0, 0}, ATACMD_FAIL, {write, query}},
        {{{1, 0}}, {1, 0, 0, 0}, ATACMD_ERR, {write, query}},
        {{{2, 0}}, {1, 0, 0, 0}, ATACMD_ERR, {write, query, read}},
    };
    for (const Case& c : cases) {
        Drive d(kProtoAta);
        d.fail = c.fail;
        d.pages[0x80] = c.word;
        d.pages[0x00] = PataAnswer();
        EXPECT_EQ(d.dev.pata_check(), c.result) << c.want.size();
        EXPECT_EQ(d.Regs(0), c.want);
        EXPECT_EQ(d.seen.at(0).timeout, 10u);
        EXPECT_EQ(HexOf(d.seen[0].data.data(), 32), "51 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
                                                    "00 00 00 00 00 00 00 00 00 00 00 00 12 34 56 78");
        EXPECT_EQ(IsPataAnswer(d.dev.ReadBuf.data(), 512), c.result == ATACMD_OK);
    }
}

TEST(PataAnswer, SpellsEveryFourthByte) {
    const auto page = PataAnswer();
    EXPECT_TRUE(IsPataAnswer(page.data(), 53));
    EXPECT_FALSE(IsPataAnswer(page.data(), 52));
    EXPECT_FALSE(IsPataAnswer(nullptr, 512));
    for (size_t at : {0, 12, 32, 52}) {
        auto changed = page;
        changed[at] ^= 0x20;  // the other case
        EXPECT_FALSE(IsPataAnswer(changed.data(), 512)) << at;
    }
    auto between = page;
    between[1] = between[51] = 0;
    EXPECT_TRUE(IsPataAnswer(between.data(), 512));
}

}  // namespace
}  // namespace orvane::test
