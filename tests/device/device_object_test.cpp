// The device object: opening and transport choice, the command rules every transport shares,
// and the identify and vendor-page operations.
#include "device/identify.h"
#include "device_fixture.h"

namespace orvane::test {
namespace {

using namespace orvane::device;

constexpr bool k32 = sizeof(void*) == 4;
const size_t kAptStatus = offsetof(ATA_PASS_THROUGH_EX, CurrentTaskFile) + 6;

const std::vector<uint8_t>& IdentifyFixture() {
    static const std::vector<uint8_t> bytes = Hex(
#include "fixtures/identify_sata.inc"
    );
    return bytes;
}

// An ATA PASSTHROUGH drive: IDENTIFY from `identify`, the vendor page with `page` (none: aborted).
void AtaDrive(FakeStorage& s, std::vector<uint8_t> identify, std::optional<std::string> page) {
    s.replies["ata EC"] = [identify](uint8_t* b, uint32_t in_len, uint32_t) {
        std::memcpy(b + kAtaExDataOffset, identify.data(), 512);
        b[kAptStatus] = 0x50;
        return IoResult{true, in_len, 0};
    };
    auto vendor = [page](uint8_t* b, uint32_t in_len, uint32_t) {
        b[kAptStatus] = page ? 0x50 : 0x51;
        if (page) std::memcpy(b + kAtaExDataOffset, page->data(), page->size());
        return IoResult{true, in_len, 0};
    };
    s.replies["ata FF/FC"] = vendor;
    s.replies["ata FF/FD"] = vendor;
}

TEST(AtaCommand, TransportsWithoutAtaCommandsSendNothing) {
    for (uint8_t t : {0, 12, 13, 15, 16, 17, 200}) {
        DeviceRig rig;
        auto& dev = rig.OpenOn(t);
        IdeRegs regs = MakeRegs(0, 1, 0, 0, 0, 0, 0xEC);
        uint32_t length = 512;
        EXPECT_EQ(dev.ata_command(regs, dev.read_buffer(), nullptr, kDirIn, length), ATACMD_NOT_SUPPORT) << int(t);
        EXPECT_TRUE(rig.storage.sent.empty());
        EXPECT_EQ(length, 512u);
    }
}

TEST(AtaCommand, FailedRequestsMapTheSystemError) {
    const std::pair<uint32_t, uint8_t> cases[] = {{121, ATACMD_TIMEOUT}, {258, ATACMD_TIMEOUT}, {1460, ATACMD_TIMEOUT},
                                                  {1, ATACMD_NOT_SUPPORT}, {50, ATACMD_NOT_SUPPORT}, {87, ATACMD_FAIL},
                                                  {1117, ATACMD_FAIL}, {0, ATACMD_FAIL}};
    for (auto [error, result] : cases) {
        DeviceRig rig;
        auto& dev = rig.OpenOn(kProtoAta);
        rig.storage.fallback = FailWith(error);
        IdeRegs regs = MakeRegs(0, 1, 0, 0, 0, 0, 0xEC);
        uint32_t length = 512;
        EXPECT_EQ(dev.ata_command(regs, dev.read_buffer(), nullptr, kDirIn, length), result) << error;
        EXPECT_EQ(dev.dwLastError, error);
        EXPECT_NE(rig.Log().find(Format("GetLastError=%Xh(%d)\n", error, error)), std::string::npos);
    }
}

TEST(AtaCommand, LogLineCarriesTheChunkNumbers) {
    DeviceRig rig;
    auto& dev = rig.OpenOn(kProtoAta);
    rig.storage.fallback = Ok(k32 ? 556 : 568, [](uint8_t* b) { b[kAptStatus] = 0x50; });
    dev.iChunk = 2;
    dev.iChunkTotal = 10;
    IdeRegs regs = MakeRegs(0x03, 0x80, 0x01, 0x02, 0x03, 0xA0, 0x92);
    uint32_t length = 512;
    dev.ata_command(regs, dev.write_buffer(), nullptr, kDirOut, length);
    EXPECT_EQ(rig.Log(), "(ATA PASSTHROUGH) Cmd:92 FR:03 SC:80 SN:01 CL:02 CH:03  3 / 10\n");
}

TEST(OpenDevice, AReopenReachesWhatWasOpened) {
    DeviceRig rig;
    IdeRegs regs = MakeRegs(0, 1, 0, 0, 0, 0, 0xEC);
    uint32_t length = 512;
    // Never opened: nothing to reopen. The command is refused and nothing is opened or sent.
    EXPECT_EQ(rig.dev->ata_command(regs, rig.dev->read_buffer(), nullptr, kDirIn, length), ATACMD_FAIL);
    EXPECT_TRUE(rig.storage.opened.empty());
    EXPECT_TRUE(rig.storage.sent.empty());
    // Opened by path, then closed: the next command reopens that path and nothing else.
    auto& dev = rig.OpenOn(kProtoAta);
    dev.close_device();
    rig.storage.opened.clear();
    length = 512;
    dev.ata_command(regs, dev.read_buffer(), nullptr, kDirIn, length);
    ASSERT_FALSE(rig.storage.opened.empty());
    for (const std::string& p : rig.storage.opened) EXPECT_EQ(p, "\\\\.\\PhysicalDrive0");
    // The list is empty: index 0 equals the count and is refused, changing nothing.
    EXPECT_FALSE(dev.open_device(0, nullptr, kOpenAta));
    EXPECT_EQ(dev.iDevIndex, -1);
}

TEST(OpenDevice, KindsAndTheProbe) {
    DeviceRig rig;
    // CSMI port 3: the port path, transport 14, no probe.
    EXPECT_TRUE(rig.dev->open_device(3, nullptr, kOpenCsmi));
    EXPECT_EQ(rig.storage.opened.back(), "\\\\.\\SCSI3:");
    EXPECT_EQ(rig.dev->protocol(), kProtoCsmi);
    EXPECT_TRUE(rig.storage.sent.empty());
    EXPECT_EQ(rig.Log(), "(CSMI) CreateFile OK\n");
    // NVMe by path.
    rig.sys.files.clear();
    EXPECT_TRUE(rig.dev->open_device(0, "\\\\.\\PhysicalDrive4", kOpenNvme));
    EXPECT_EQ(rig.dev->protocol(), kProtoNvme);
    EXPECT_EQ(rig.Log(), "(NVMe) CreateFile OK\n");

    // A drive answering nothing: transport 0, named in the PRO line.
    rig.sys.files.clear();
    rig.storage.sent.clear();
    EXPECT_TRUE(rig.dev->open_device(0, "\\\\.\\PhysicalDrive1", kOpenAta));
    EXPECT_EQ(rig.dev->protocol(), kProtoNone);
    EXPECT_NE(rig.Log().find("PRO: SYSTEM NOT SUPPORT\n(SYSTEM NOT SUPPORT) CreateFile OK\n"), std::string::npos);
    // Preferred (1 on this system) first, then 3 and 5; vendor read round, then IDENTIFY round.
    std::vector<std::string> order;
    for (const Sent& s : rig.storage.sent) order.push_back(s.key.substr(0, 7));
    EXPECT_EQ(order, (std::vector<std::string>{"ata FF/", "ata EC/", "scsi CC", "scsi A1", "scsi CC", "scsi A1"}));

    // A failed open returns false with the error kept.
    rig.storage.open_error = 2;
    EXPECT_FALSE(rig.dev->open_device(0, "\\\\.\\PhysicalDrive9", kOpenAta));
    EXPECT_EQ(rig.dev->dwLastError, 2u);
    EXPECT_FALSE(rig.dev->device_open());
}

TEST(OpenDevice, VendorPageOnTransportOneWins) {
    DeviceRig rig;
    AtaDrive(rig.storage, IdentifyFixture(), std::string("GM802030"));
    EXPECT_TRUE(rig.dev->open_device(0, "\\\\.\\PhysicalDrive0", kOpenAta));
    EXPECT_EQ(rig.dev->protocol(), kProtoAta);
    EXPECT_EQ(rig.storage.sent.size(), 2u);  // the vendor write and read, nothing else
    EXPECT_NE(rig.Log().find("PRO: ATA PASSTHROUGH\n(ATA PASSTHROUGH) CreateFile OK\n"), std::string::npos);
}

TEST(PreferredTransport, FromSystemBusAndIdentifiers) {
    const uint32_t win10 = 0x00000000, xp_sp2 = 0x07012000, xp_sp1 = 0x07011000, w2000 = 0x06000000,
                   vista = 0x0A000000;
    struct Case {
        uint32_t os;
        uint8_t bus;
        uint16_t vid, did;
        uint8_t want;
    } cases[] = {
        {win10, 11, 0x8086, 0x2822, 1}, {xp_sp2, 3, 0, 0, 1},  {xp_sp1, 3, 0, 0, 2},   {w2000, 11, 0, 0, 2},
        {vista, 0, 0, 0, 1},            {win10, 1, 0, 0, 3},    {win10, 2, 0, 0, 3},    {win10, 9, 0, 0, 3},
        {win10, 10, 0, 0, 3},           {win10, 8, 0, 0, 1},    {win10, 7, 0x093B, 0x0062, 5},
        {win10, 7, 0x1C6B, 0xA121, 5},  {win10, 7, 0x093B, 0x0001, 6}, {win10, 7, 0x152D, 0x2339, 6},
        {win10, 7, 0x0951, 0, 6},       {win10, 7, 0x067B, 0x2773, 7}, {win10, 7, 0x04FC, 0, 8},
        {win10, 7, 0x1BCF, 0, 8},       {win10, 7, 0x07AB, 0, 8},      {win10, 7, 0x0930, 0, 8},
        {win10, 7, 0x040D, 0, 5},       {win10, 7, 0x04BB, 0, 9},      {win10, 7, 0x0789, 0, 10},
        {win10, 7, 0x04B4, 0, 11},      {win10, 7, 0x1F75, 0, 1},      {xp_sp1, 7, 0x1F75, 0, 2},
        {win10, 7, 0x174C, 0, 5},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PreferredTransport(c.os, c.bus, c.vid, c.did), c.want)
            << std::hex << c.os << " bus " << int(c.bus) << " " << c.vid << ":" << c.did;
}

TEST(Identify, WordTwoDecides) {
    struct Case {
        uint8_t word2_low;
        bool request_ok;
        uint8_t status;
        uint8_t want;
    } cases[] = {
        {0xC8, true, 0x50, ATACMD_OK}, {0x37, true, 0x50, ATACMD_OK},
        {0x73, true, 0x50, ATACMD_OK}, {0x8C, true, 0x50, ATACMD_OK},
        {0x00, true, 0x50, ATACMD_FAIL},  // no data
        {0x12, true, 0x50, ATACMD_OK},
        {0x37, true, 0x51, ATACMD_FAIL},  // ERR: nothing is copied, so no data
        {0xC8, false, 0x50, ATACMD_FAIL},  // the request failed: byte 4 was cleared first
    };
    for (const Case& c : cases) {
        DeviceRig rig;
        auto& dev = rig.OpenOn(kProtoAta);
        dev.read_buffer()[4] = 0xC8;
        rig.storage.replies["ata EC"] = [c](uint8_t* b, uint32_t in_len, uint32_t) {
            if (!c.request_ok) return IoResult{false, 0, 1};
            b[kAtaExDataOffset + 4] = c.word2_low;
            b[kAtaExDataOffset + 5] = 0xAA;
            b[kAptStatus] = c.status;
            return IoResult{true, in_len, 0};
        };
        EXPECT_EQ(dev.identify_device(), c.want) << std::hex << int(c.word2_low) << " " << int(c.status);
        const Sent& s = rig.storage.sent.at(0);
        EXPECT_EQ(s.hex(k32 ? 32 : 40, 8), "00 01 00 00 00 00 EC 00");
    }
}

TEST(Identify, TextsAndEnterpriseFromTheFixture) {
    DeviceRig rig;
    auto& dev = rig.OpenOn(kProtoAta);
    AtaDrive(rig.storage, IdentifyFixture(), std::nullopt);
    ASSERT_EQ(dev.identify_device(), ATACMD_OK);
    const uint8_t* id = dev.read_buffer();
    EXPECT_EQ(IdentifyText(id, kIdModelOffset, kIdModelLength), "MERETH MX7 SATA 512GB                   ");
    EXPECT_EQ(IdentifyText(id, kIdFwOffset, kIdFwLength), "M3CR046 ");
    EXPECT_EQ(IdentifyText(id, kIdSerialOffset, kIdSerialLength), "    2304E6A1B2C3    ");
    EXPECT_TRUE(dev.is_enterprise());  // word 159 low byte 05h

    const std::pair<uint8_t, bool> word159[] = {{0x01, true}, {0x04, true}, {0x08, false}, {0xFF, false},
                                                {0x00, false}, {0x87, true}};
    for (auto [low, want] : word159) {
        std::vector<uint8_t> id2 = IdentifyFixture();
        id2[318] = low;
        AtaDrive(rig.storage, id2, std::nullopt);
        EXPECT_EQ(dev.is_enterprise(), want) << int(low);
    }
    // IDENTIFY failing: never enterprise.
    rig.storage.replies["ata EC"] = FailWith(1);
    EXPECT_FALSE(dev.is_enterprise());
}

TEST(Identify, VendorPagesAndReadBuffer) {
    DeviceRig rig;
    auto& dev = rig.OpenOn(kProtoAta);
    AtaDrive(rig.storage, IdentifyFixture(), std::string("GM802030"));
    EXPECT_EQ(dev.read_vendor_info(), ATACMD_OK);
    ASSERT_EQ(rig.storage.sent.size(), 2u);
    // The key write (20 s), then the page read (60 s).
    EXPECT_EQ(rig.storage.sent[0].hex(k32 ? 32 : 40, 8), "FC 01 00 00 00 00 FF 00");
    EXPECT_EQ(rig.storage.sent[0].hex(2, 2), "05 00");
    EXPECT_EQ(rig.storage.sent[0].hex(12, 4), "14 00 00 00");
    EXPECT_EQ(rig.storage.sent[0].hex(kAtaExDataOffset, 4), "0A 07 00 00");
    EXPECT_EQ(rig.storage.sent[1].hex(k32 ? 32 : 40, 8), "FD 01 00 00 00 00 FF 00");
    EXPECT_EQ(rig.storage.sent[1].hex(12, 4), "3C 00 00 00");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(dev.read_buffer()), 8), "GM802030");

    // The write refused: the read is never sent.
    rig.storage.sent.clear();
    rig.storage.replies["ata FF/FC"] = FailWith(50);
    EXPECT_EQ(dev.read_vendor_info(), ATACMD_NOT_SUPPORT);
    EXPECT_EQ(rig.storage.sent.size(), 1u);

    rig.storage.sent.clear();
    rig.storage.replies["ata E4"] = Ok(k32 ? 556 : 568, [](uint8_t* b) { b[kAptStatus] = 0x50; });
    EXPECT_EQ(dev.vendor_read_buffer(3, 0), ATACMD_OK);
    EXPECT_EQ(rig.storage.sent.at(0).hex(k32 ? 32 : 40, 8), "03 00 52 50 45 00 E4 00");
}

}  // namespace
}  // namespace orvane::test
