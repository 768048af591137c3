// The SCSI status of a command block decides whether it ran: only GOOD, and CHECK CONDITION
// with valid sense data and sense key 0, count as done; everything else returns no data.
#include "device/scsi_blocks.h"
#include "device_fixture.h"

namespace orvane::test {
namespace {

using namespace orvane::device;

constexpr bool k32 = sizeof(void*) == 4;
const size_t kSense = k32 ? 48 : 60;
const size_t kData = k32 ? 80 : 92;
const uint32_t kRecord = k32 ? 592 : 608;

struct Transport {
    uint8_t number;
    const char* command;  // the key of the command's own block (IDENTIFY, 512 bytes in)
};
const Transport kTransports[] = {
    {kProtoScsi, "scsi CC"},          {kProtoSat, "scsi A1"},           {kProtoJmicron, "scsi DF 10 00 02 00"}, {kProtoProlific, "scsi D8"},
    {kProtoSunplus, "scsi F8 00 22"}, {kProtoIodata, "scsi E3"},              {kProtoLogitec, "scsi E0"},
    {kProtoCypress, "scsi 24"},
};

struct Status {
    uint8_t status;
    const char* sense;  // the sense bytes the driver returns
    uint8_t result;
    const char* line;   // the error line, null for none
};
const Status kStatuses[] = {
    {0x00, "", ATACMD_OK, nullptr},                                                      // GOOD
    {0x02, "70 00 00 00 00 00 00 0A 00 00 00 00 00 1D", ATACMD_OK, nullptr},             // key 0: done
    {0x02, "70 00 05 00 00 00 00 0A 00 00 00 00 24 00", ATACMD_ERR, "ATACMD_ERR : status: 02, sensekey:05 \n"},
    {0x02, "", ATACMD_ERR, "ATACMD_ERR : status: 02, sensekey:00 \n"},                   // no valid sense
    {0x02, "00 00 05 00 00 00 00 0A", ATACMD_ERR, "ATACMD_ERR : status: 02, sensekey:00 \n"},
    {0x08, "", ATACMD_ERR, "ATACMD_ERR : status: 08, sensekey:00 \n"},                   // BUSY
    {0x18, "", ATACMD_ERR, "ATACMD_ERR : status: 18, sensekey:00 \n"},                   // RESERVATION CONFLICT
    {0x28, "", ATACMD_ERR, "ATACMD_ERR : status: 28, sensekey:00 \n"},                   // TASK SET FULL
    {0x40, "", ATACMD_ERR, "ATACMD_ERR : status: 40, sensekey:00 \n"},                   // TASK ABORTED
};

TEST(ScsiStatus, OnlyACommandThatRanReturnsData) {
    for (const Transport& t : kTransports) {
        for (const Status& st : kStatuses) {
            SCOPED_TRACE(testing::Message() << "transport " << int(t.number) << " status " << std::hex
                                            << int(st.status) << " sense " << st.sense);
            DeviceRig rig;
            auto& dev = rig.OpenOn(t.number);
            dev.iBridgePort = 0;
            // The register read-backs of the bridges succeed.
            rig.storage.fallback = Ok(kRecord);
            rig.storage.replies[t.command] = [&](uint8_t* b, uint32_t, uint32_t) {
                b[2] = st.status;
                const std::vector<uint8_t> sense = Hex(st.sense);
                if (!sense.empty()) std::memcpy(b + kSense, sense.data(), sense.size());
                b[kData + 4] = 0xC8;  // what a transfer would have brought
                return IoResult{true, kRecord, 0};
            };
            std::vector<uint8_t> data(512, 0xEE);
            IdeRegs regs = MakeRegs(0, 1, 0, 0, 0, 0, 0xEC);
            uint32_t length = 512;
            EXPECT_EQ(dev.ata_command(regs, data.data(), nullptr, kDirIn, length), st.result);
            ASSERT_FALSE(rig.storage.SentWith(t.command).empty());
            if (st.result == ATACMD_OK) {
                EXPECT_EQ(data[4], 0xC8);
                EXPECT_EQ(length, kRecord);
            } else {
                EXPECT_EQ(data[4], 0xEE);
                EXPECT_EQ(length, 0u);
            }
            const std::string log = rig.Log();
            if (st.line)
                EXPECT_NE(log.find(st.line), std::string::npos) << log;
            else
                EXPECT_EQ(log.find("ATACMD_ERR"), std::string::npos) << log;
        }
    }
}

// A SAT answer without CHECK CONDITION carries no status descriptor, whatever sits in the
// sense area: the registers are not read from it.
TEST(ScsiStatus, SenseIsReadOnlyWithCheckCondition) {
    DeviceRig rig;
    auto& dev = rig.OpenOn(kProtoSat);
    rig.storage.replies["scsi A1"] = [&](uint8_t* b, uint32_t, uint32_t) {
        b[2] = 0x08;
        const auto sense = Hex("72 00 00 1D 00 00 00 0E 09 0C 00 00 00 01 00 00 00 00 00 00 A0 50");
        std::memcpy(b + kSense, sense.data(), sense.size());
        return IoResult{true, kRecord, 0};
    };
    IdeRegs regs = MakeRegs(0, 0, 0, 0, 0, 0, 0xE7);
    uint32_t length = 0;
    EXPECT_EQ(dev.ata_command(regs, nullptr, nullptr, kDirNone, length), ATACMD_ERR);
    EXPECT_FALSE(dev.Sense.valid);
    EXPECT_EQ(HexOf(&dev.OutRegs.bFeaturesReg, 8), "FF FF FF FF FF FF FF FF");
    EXPECT_EQ(HexOf(&regs.bFeaturesReg, 8), "00 00 00 00 00 00 E7 00");
}

}  // namespace
}  // namespace orvane::test
