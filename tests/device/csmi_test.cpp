// CSMI requests byte for byte (the records hold no pointer, so both widths send the same bytes),
// and what the device object makes of the driver's answers.
#include "device/csmi_port.h"
#include "device_fixture.h"

namespace orvane::test {
namespace {

using namespace orvane::device;

// The port opened as the scan opens it, its open's traffic forgotten, aimed at phy 3, port 2,
// SAS address 50 01 E3 B0 00 A1 01 03 (in table order).
struct CsmiRig : DeviceRig {
    CsmiRig() {
        EXPECT_TRUE(dev->open_device(3, nullptr, kOpenCsmi));
        dev->set_phy(0x103);  // only the low byte travels
        dev->set_port(2);
        dev->set_sas_address(0xB0E30150, 0x0301A100);
        storage.sent.clear();
        sys.files.clear();
    }
    // An STP answer: the driver's return code and a D2H register FIS with this status and error,
    // LBA 11 22 33, device E0, count 44.
    void AnswerStp(uint32_t return_code, uint8_t status, uint8_t error) {
        storage.replies["miniport 19"] = Ok(kCsmiBufferSize, [=](uint8_t* b) {
            std::memcpy(b + offsetof(SRB_IO_CONTROL, ReturnCode), &return_code, 4);
            uint8_t* fis = b + 76;
            const uint8_t answer[13] = {0x34, 0x40, status, error, 0x11, 0x22, 0x33, 0xE0, 0, 0, 0, 0, 0x44};
            std::memcpy(fis, answer, sizeof answer);
            b[164] = 0xC8;  // first data byte
        });
    }
};

const char* kStpHeader652 = "1C 00 00 00 43 53 4D 49 53 41 53 00 3C 00 00 00 19 00 00 00 00 00 00 00 8C 02 00 00";
const char* kStpTarget = "03 02 00 00 50 01 E3 B0 00 A1 01 03 00 00 00 00";

TEST(CsmiPort, OpensThePortPathWithoutProbing) {
    DeviceRig rig;
    ASSERT_TRUE(rig.dev->open_device(3, nullptr, kOpenCsmi));
    ASSERT_EQ(rig.storage.opened.size(), 1u);
    EXPECT_EQ(rig.storage.opened[0], "\\\\.\\SCSI3:");
    EXPECT_EQ(rig.dev->protocol(), kProtoCsmi);
    EXPECT_TRUE(rig.storage.sent.empty());
}

// Each direction: the flags, the header's Length and the FIS as the published layout places
// them; the caller's DH (E0) and high-order registers do not travel.
TEST(CsmiPort, StpRequestBytes) {
    struct Case {
        uint8_t direction;
        uint32_t length;
        const char* header_length;
        const char* flags_and_length;
    } cases[] = {
        {kDirIn, 512, "8C 02 00 00", "11 00 00 00 00 02 00 00"},
        {kDirOut, 512, "8C 02 00 00", "12 00 00 00 00 02 00 00"},
        {kDirNone, 0, "8C 00 00 00", "14 00 00 00 00 00 00 00"},
        {kDirIn, 1024, "8C 04 00 00", "11 00 00 00 00 04 00 00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags_and_length);
        CsmiRig rig;
        rig.AnswerStp(0, 0x50, 0);
        std::vector<uint8_t> data(1024, 0x5A);
        IdeRegs regs = MakeRegs(0x11, 0x22, 0x33, 0x44, 0x55, 0xE0, 0xFF);
        IdeRegs prev = MakeRegs(1, 2, 3, 4, 5, 0, 0);
        uint32_t length = c.length;
        EXPECT_EQ(rig.dev->ata_command(regs, data.data(), &prev, c.direction, length), ATACMD_OK);
        ASSERT_EQ(rig.storage.sent.size(), 1u);
        const Sent& s = rig.storage.sent[0];
        EXPECT_EQ(s.code, 0x4D008u);
        EXPECT_EQ(s.in_len, 524456u);
        EXPECT_EQ(s.out_len, 524456u);
        EXPECT_EQ(s.hex(24, 4), c.header_length);
        EXPECT_EQ(s.hex(28, 16), kStpTarget);
        EXPECT_EQ(s.hex(44, 20), "27 80 FF 11 33 44 55 A0 00 00 00 00 22 00 00 00 00 00 00 00");
        EXPECT_EQ(s.hex(64, 8), c.flags_and_length);
        // Outgoing data sits at 164; nothing else follows the record.
        EXPECT_EQ(s.bytes[164], c.direction == kDirOut ? 0x5A : 0x00);
        EXPECT_EQ(s.bytes[164 + c.length], 0x00);
    }
}

TEST(CsmiPort, ReadOf512BytesSendsLength652AndCopiesTheData) {
    CsmiRig rig;
    rig.AnswerStp(0, 0x50, 0);
    uint8_t data[512] = {};
    IdeRegs regs = MakeRegs(0, 1, 0, 0, 0, 0, 0xEC);
    uint32_t length = 512;
    EXPECT_EQ(rig.dev->ata_command(regs, data, nullptr, kDirIn, length), ATACMD_OK);
    const Sent& s = rig.storage.sent.at(0);
    EXPECT_EQ(s.hex(0, 28), kStpHeader652);
    EXPECT_EQ(s.hex(44, 20), "27 80 EC 00 00 00 00 A0 00 00 00 00 01 00 00 00 00 00 00 00");
    EXPECT_EQ(data[0], 0xC8);
    EXPECT_EQ(length, kCsmiBufferSize);
    EXPECT_EQ(HexOf(&rig.dev->OutRegs.bFeaturesReg, 8), "00 44 11 22 33 E0 50 00");
    EXPECT_EQ(rig.Log(), "(CSMI) Cmd:EC FR:00 SC:01 SN:00 CL:00 CH:00  1 / 0, OK=1\n");
}

// A refused command is no success: the CSMI return code, then ERR or DF in the status FIS.
TEST(CsmiPort, RefusedCommandsFail) {
    struct Case {
        uint32_t return_code;
        uint8_t status, error;
        uint8_t result;
        const char* out_regs;
        const char* reason;
    } cases[] = {
        {2009, 0x50, 0x00, ATACMD_ERR, "FF FF FF FF FF FF FF FF", "CSMI STP ReturnCode=2009: the controller refused the command\n"},
        {1, 0x51, 0x04, ATACMD_ERR, "FF FF FF FF FF FF FF FF", "CSMI STP ReturnCode=1: the controller refused the command\n"},
        {0, 0x51, 0x04, ATACMD_ERR, "04 44 11 22 33 E0 51 00", "CSMI STP Status Register: 0x51, Error Register: 0x4\n"},
        {0, 0x70, 0x00, ATACMD_ERR, "00 44 11 22 33 E0 70 00", "CSMI STP Status Register: 0x70, Error Register: 0x0\n"},
        {0, 0x58, 0x00, ATACMD_OK, "00 44 11 22 33 E0 58 00", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        CsmiRig rig;
        rig.AnswerStp(c.return_code, c.status, c.error);
        rig.dev->bLastStatus = 0;
        uint8_t data[512] = {};
        IdeRegs regs = MakeRegs(0, 1, 0, 0, 0, 0, 0xEC);
        uint32_t length = 512;
        EXPECT_EQ(rig.dev->ata_command(regs, data, nullptr, kDirIn, length), c.result);
        EXPECT_EQ(HexOf(&rig.dev->OutRegs.bFeaturesReg, 8), c.out_regs);
        EXPECT_EQ(rig.Log(), std::string("(CSMI) Cmd:EC FR:00 SC:01 SN:00 CL:00 CH:00  1 / 0, OK=1\n") + c.reason);
        if (c.result == ATACMD_OK) continue;
        // Nothing of a refused command reaches the caller.
        EXPECT_EQ(data[0], 0x00);
        EXPECT_EQ(length, 512u);
        EXPECT_EQ(rig.dev->bLastStatus, c.return_code ? 0 : c.status);
    }
}

TEST(CsmiPort, FailedRequestsMapTheSystemError) {
    struct Case {
        uint32_t error;
        uint8_t result;
        const char* line;
    } cases[] = {
        {121, ATACMD_TIMEOUT, ", GetLastError=79h(121)\n"},
        {50, ATACMD_NOT_SUPPORT, ", GetLastError=32h(50)\n"},
        {1117, ATACMD_FAIL, ", GetLastError=45Dh(1117)\n"},
    };
    for (const Case& c : cases) {
        CsmiRig rig;
        rig.storage.replies["miniport 19"] = FailWith(c.error);
        uint32_t length = 0;
        IdeRegs regs = MakeRegs(0, 0, 0, 0, 0, 0, 0xE7);
        EXPECT_EQ(rig.dev->ata_command(regs, nullptr, nullptr, kDirNone, length), c.result);
        EXPECT_EQ(rig.dev->dwLastError, c.error);
        EXPECT_EQ(rig.Log(), std::string("(CSMI) Cmd:E7 FR:00 SC:00 SN:00 CL:00 CH:00  1 / 0") + c.line);
        EXPECT_EQ(HexOf(&rig.dev->OutRegs.bFeaturesReg, 8), "FF FF FF FF FF FF FF FF");
    }
}

TEST(CsmiPort, TransferPastTheBufferIsNotSent) {
    CsmiRig rig;
    std::vector<uint8_t> data(kCsmiBufferSize);
    uint32_t length = kCsmiBufferSize - 168 + 1;  // 0x80000 fit
    IdeRegs regs = MakeRegs(0, 0, 0, 0, 0, 0, 0xE8);
    EXPECT_EQ(rig.dev->ata_command(regs, data.data(), nullptr, kDirOut, length), ATACMD_FAIL);
    EXPECT_TRUE(rig.storage.sent.empty());
}

TEST(CsmiPort, IoctlHeadersAndUnknownCodes) {
    CsmiRig rig;
    uint8_t buffer[2080] = {};
    EXPECT_EQ(rig.dev->csmi_ioctl(7, buffer, sizeof buffer), 1);
    EXPECT_TRUE(rig.storage.sent.empty());

    rig.storage.replies["miniport 1"] = Ok(204);
    EXPECT_EQ(rig.dev->csmi_ioctl(1, buffer, 204), ATACMD_OK);
    EXPECT_EQ(rig.storage.sent.at(0).hex(0, 28),
              "1C 00 00 00 43 53 4D 49 41 4C 4C 00 3C 00 00 00 01 00 00 00 00 00 00 00 B0 00 00 00");
    rig.storage.replies["miniport 14"] = FailWith(87);
    EXPECT_EQ(rig.dev->csmi_ioctl(20, buffer, 2080), ATACMD_FAIL);
    EXPECT_EQ(rig.storage.sent.at(1).hex(0, 28),
              "1C 00 00 00 43 53 4D 49 53 41 53 00 3C 00 00 00 14 00 00 00 00 00 00 00 04 08 00 00");
    EXPECT_EQ(rig.Log(), "csmi_ioctl ERR=0x57\n");
    EXPECT_EQ(rig.dev->dwLastError, 87u);
}

// The driver answers with a table: its count and entries as the driver wrote them.
Reply PhyTable(uint8_t count, uint32_t return_code = 0) {
    return Ok(2080, [=](uint8_t* b) {
        std::memcpy(b + offsetof(SRB_IO_CONTROL, ReturnCode), &return_code, 4);
        b[28] = count;
        // Entry 0 used, entry 1 empty, entry 2 used (entries start at 32, 64 bytes each).
        for (int e : {0, 2}) {
            uint8_t* p = b + 32 + 64 * e;
            p[0] = 0x10;
            p[2] = 0x0E;
            p[20] = static_cast<uint8_t>(e);
            p[28] = static_cast<uint8_t>(e + 8);
            p[36] = 0x10;
            p[39] = 0x01;
            for (int i = 0; i < 8; ++i) p[48 + i] = static_cast<uint8_t>(0xA0 + i);
        }
    });
}

TEST(CsmiPort, PhyInfoListsUsedEntriesAndRefusesMoreThan32) {
    struct Case {
        uint8_t count;
        uint32_t return_code;
        bool ok;
        const char* line;
    } cases[] = {
        {3, 0, true, "CSMI_SAS_PHY_INFO: NumberOfPhys=3, max_number_of_phys=32\n"},
        {32, 0, true, "CSMI_SAS_PHY_INFO: NumberOfPhys=32, max_number_of_phys=32\n"},
        {33, 0, false, "Error! NumberOfPhys=33 > max_number_of_phys=32\n"},
        {3, 2, false, "CSMI_SAS_PHY_INFO: ReturnCode=2\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        CsmiRig rig;
        rig.storage.replies["miniport 1"] = Ok(204, [](uint8_t* b) {
            std::memcpy(b + 28, "rdrv", 4);
            std::memset(b + 109, 'D', 81);  // a description that fills its field, no NUL
            b[190] = 3;
            b[192] = 14;
        });
        rig.storage.replies["miniport 14"] = PhyTable(c.count, c.return_code);
        records::CSMI_SAS_PHY_INFO info{};
        EXPECT_EQ(rig.dev->get_phy_info(info), c.ok);
        const std::string log = rig.Log();
        const std::string driver = "TAtaDevice::get_phy_info : CSMI_SAS_DRIVER_INFO:\n  Name:        \"rdrv\"\n"
                                   "  Description: \"" + std::string(81, 'D') + "\"\n  Revision:    3.14\n";
        EXPECT_EQ(log.substr(0, driver.size()), driver);
        EXPECT_NE(log.find(c.line), std::string::npos) << log;
        if (!c.ok) {
            EXPECT_EQ(log.find("Phy["), std::string::npos) << log;
            continue;
        }
        EXPECT_EQ(info.bNumberOfPhys, c.count);
        const std::string entries =
            "Phy[0] Port:   0x08\n  Type:        0x10, 0x10\n  InitProto:   0x0e, 0x00\n"
            "  TargetProto: 0x00, 0x01\n  PhyIdent:    0x00, 0x00\n"
            "  SASAddress(Identify):  00 00 00 00 00 00 00 00,   SASAddress(Attached):  a0 a1 a2 a3 a4 a5 a6 a7\n"
            "Phy[2] Port:   0x0a\n  Type:        0x10, 0x10\n  InitProto:   0x0e, 0x00\n"
            "  TargetProto: 0x00, 0x01\n  PhyIdent:    0x02, 0x00\n"
            "  SASAddress(Identify):  00 00 00 00 00 00 00 00,   SASAddress(Attached):  a0 a1 a2 a3 a4 a5 a6 a7\n";
        EXPECT_EQ(log.substr(log.size() - entries.size()), entries);
    }
}

TEST(CsmiPort, NoDriverInformationNoTable) {
    CsmiRig rig;
    rig.storage.replies["miniport 1"] = FailWith(1);
    records::CSMI_SAS_PHY_INFO info{};
    EXPECT_FALSE(rig.dev->get_phy_info(info));
    EXPECT_EQ(rig.storage.sent.size(), 1u);
    EXPECT_EQ(rig.Log(), "csmi_ioctl ERR=0x1\n");
}

TEST(CsmiPort, StatusFisDecoding) {
    struct Case {
        const char* fis;
        bool decoded;
        const char* regs;
    } cases[] = {
        {"34 40 50 00 01 02 03 E0 04 05 06 00 07 08 00 00", true, "00 07 01 02 03 E0 50 00"},
        {"34 40 51 04 00 00 00 40 00 00 00 00 00 00 00 00", true, "04 00 00 00 00 40 51 00"},
        // PIO setup: the command ends with E_Status (byte 15), not the status at its start.
        {"5F 60 58 00 01 02 03 E0 00 00 00 00 01 00 00 50", true, "00 01 01 02 03 E0 50 00"},
        {"00 00 50 00 00 00 00 00 00 00 00 00 00 00 00 00", false, "AA AA AA AA AA AA AA AA"},
        {"27 80 EC 00 00 00 00 A0 00 00 00 00 01 00 00 00", false, "AA AA AA AA AA AA AA AA"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fis);
        std::vector<uint8_t> fis = Hex(c.fis);
        fis.resize(20);
        IdeRegs out = MakeRegs(0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA);
        out.bReserved = 0xAA;
        EXPECT_EQ(DecodeStatusFis(fis.data(), out), c.decoded);
        EXPECT_EQ(HexOf(&out.bFeaturesReg, 8), c.regs);
    }
}

}  // namespace
}  // namespace orvane::test
