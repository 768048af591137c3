// The NVMe firmware requests as bytes, the information parser and the update's rules, and the
// device object's requests as a driver receives them (record-and-replay storage).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/device_fixture.h"
#include "device/nvme_firmware.h"

namespace orvane::test {
namespace {

using namespace orvane::device;

// A get-information answer: the 16 fixed bytes, then 16 per slot entry given.
struct SlotBytes {
    uint8_t number;
    uint8_t read_only;
    const char* revision;
};
std::vector<uint8_t> InfoBytes(uint8_t upgrade, uint8_t count, uint8_t active, uint8_t pending,
                               std::vector<SlotBytes> slots) {
    std::vector<uint8_t> b = Hex("01 00 00 00 10 00 00 00");
    b.insert(b.end(), {upgrade, count, active, pending, 0, 0, 0, 0});
    for (const SlotBytes& s : slots) {
        b.insert(b.end(), {s.number, s.read_only, 0, 0, 0, 0, 0, 0});
        char rev[8] = {};
        std::memcpy(rev, s.revision, std::min<size_t>(8, std::strlen(s.revision)));
        b.insert(b.end(), rev, rev + 8);
    }
    return b;
}

TEST(NvmeRequest, HeadersFromTheCallersSize) {
    struct Case {
        uint32_t size, function;
        const char* head;  // bytes 0 to 51
    };
    const Case cases[] = {
        {4172, 1,
         "1C 00 00 00 46 49 52 4D 57 41 52 45 1E 00 00 00 80 07 1B 00 00 00 00 00 30 10 00 00 "
         "01 00 00 00 18 00 00 00 01 00 00 00 01 00 00 00 34 00 00 00 18 10 00 00"},
        {4172, 2,
         "1C 00 00 00 46 49 52 4D 57 41 52 45 1E 00 00 00 80 07 1B 00 00 00 00 00 30 10 00 00 "
         "01 00 00 00 18 00 00 00 02 00 00 00 01 00 00 00 34 00 00 00 18 10 00 00"},
        {4172, 3,
         "1C 00 00 00 46 49 52 4D 57 41 52 45 1E 00 00 00 80 07 1B 00 00 00 00 00 30 10 00 00 "
         "01 00 00 00 18 00 00 00 03 00 00 00 01 00 00 00 34 00 00 00 18 10 00 00"},
        {100, 1,
         "1C 00 00 00 46 49 52 4D 57 41 52 45 1E 00 00 00 80 07 1B 00 00 00 00 00 48 00 00 00 "
         "01 00 00 00 18 00 00 00 01 00 00 00 01 00 00 00 34 00 00 00 30 00 00 00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << "/" << c.function);
        std::vector<uint8_t> buf(c.size, 0xAA);
        ASSERT_TRUE(FillFirmwareRequest(buf.data(), c.size, c.function));
        EXPECT_EQ(HexOf(buf.data(), 52), c.head);
        // The rest is cleared: an answer never mixes with an earlier request's bytes.
        EXPECT_EQ(std::count(buf.begin() + 52, buf.end(), 0), static_cast<long>(c.size - 52));
    }
    // Headers that do not fit are not written.
    std::vector<uint8_t> small(51, 0xAA);
    EXPECT_FALSE(FillFirmwareRequest(small.data(), 51, 1));
    EXPECT_EQ(std::count(small.begin(), small.end(), 0xAA), 51);
    EXPECT_FALSE(FillFirmwareRequest(nullptr, 4172, 1));
}

TEST(NvmeRequest, ActivateRecordCarriesTheCommitActionFirst) {
    std::vector<uint8_t> buf(kNvmeRequestSize);
    FillFirmwareRequest(buf.data(), kNvmeRequestSize, 3);
    FillFirmwareActivate(buf.data(), 3, 2);
    EXPECT_EQ(HexOf(buf.data() + 52, 12), "03 00 00 00 0C 00 00 00 02 00 00 00");
}

TEST(NvmeInfo, ParsedWithinTheAnswer) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        size_t length;  // of bytes handed over
        bool complete;
        uint8_t count;
        size_t entries;
    };
    const std::vector<uint8_t> two = InfoBytes(1, 2, 2, 0xFF, {{1, 1, "A0"}, {2, 0, "B1"}});
    const std::vector<uint8_t> claims_seven = InfoBytes(1, 7, 1, 0xFF, {{1, 0, "A0"}, {2, 0, "B1"}});
    const Case cases[] = {
        {"whole", two, two.size(), true, 2, 2},
        {"one entry cut short", two, two.size() - 1, true, 2, 1},
        {"fixed bytes only", two, 16, true, 2, 0},
        {"fixed bytes cut", two, 15, false, 0, 0},
        {"count beyond the bytes", claims_seven, claims_seven.size(), true, 7, 2},
        {"nothing", two, 0, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Exactly the bytes handed over: a sanitizer build sees any read past them.
        std::vector<uint8_t> exact(c.bytes.begin(), c.bytes.begin() + c.length);
        const NvmeFirmwareInfo info = ParseFirmwareInfo(exact.data(), exact.size());
        EXPECT_EQ(info.complete, c.complete);
        EXPECT_EQ(info.slot_count, c.count);
        EXPECT_EQ(info.slots.size(), c.entries);
    }
    const NvmeFirmwareInfo info = ParseFirmwareInfo(two.data(), two.size());
    EXPECT_EQ(info.version, 1u);
    EXPECT_EQ(info.size, 16u);
    EXPECT_EQ(info.upgrade_support, 1);
    EXPECT_EQ(info.active_slot, 2);
    EXPECT_EQ(info.pending_slot, 0xFF);
    EXPECT_EQ(info.slots[0].SlotNumber, 1);
    EXPECT_EQ(info.slots[0].ReadOnly, 1);
    EXPECT_EQ(RevisionText(info.slots[1]), "B1");
}

TEST(NvmeInfo, ActiveSlotRevision) {
    struct Case {
        const char* name;
        uint8_t count, active;
        std::vector<SlotBytes> slots;
        const char* revision;  // null: none
    };
    const Case cases[] = {
        {"active slot 2 of 2", 2, 2, {{1, 1, "AAAA0001"}, {2, 0, "BBBB0002"}}, "BBBB0002"},
        {"active slot 1 of 2", 2, 1, {{1, 1, "AAAA0001"}, {2, 0, "BBBB0002"}}, "AAAA0001"},
        {"count 1, active 2: the first entry", 1, 2, {{1, 0, "AAAA0001"}}, "AAAA0001"},
        {"active 0: the first entry", 2, 0, {{1, 0, "AAAA0001"}, {2, 0, "BBBB0002"}}, "AAAA0001"},
        {"the active entry is not in the answer", 3, 3, {{1, 0, "AAAA0001"}, {2, 0, "BBBB0002"}}, nullptr},
        {"no entries", 0, 0, {}, nullptr},
        {"count 0, active 1: the first entry would be read", 0, 1, {}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> b = InfoBytes(1, c.count, c.active, 0xFF, c.slots);
        const auto rev = ActiveSlotRevision(ParseFirmwareInfo(b.data(), b.size()));
        ASSERT_EQ(rev.has_value(), c.revision != nullptr);
        if (rev) {
            EXPECT_EQ(std::string(rev->data(), 8), c.revision);
        }
    }
}

TEST(NvmeSlot, ChoiceTakesOnlyWritableSlots) {
    struct Case {
        const char* name;
        uint8_t upgrade, count;
        std::vector<SlotBytes> slots;
        uint32_t requested;
        int slot;
        bool read_only_requested;
    };
    const std::vector<SlotBytes> ro_rw = {{1, 1, "A"}, {2, 0, "B"}};
    const Case cases[] = {
        {"slot 3 of 2: the first writable", 1, 2, ro_rw, 3, 2, false},
        {"read-only slot 1: the first writable", 1, 2, ro_rw, 1, 2, true},
        {"writable slot 2", 1, 2, ro_rw, 2, 2, false},
        {"writable slot 1", 1, 2, {{1, 0, "A"}, {2, 0, "B"}}, 1, 1, false},
        {"no upgrade support, slot 1", 0, 2, ro_rw, 1, -1, false},
        {"no upgrade support, slot 2", 0, 2, ro_rw, 2, -1, false},
        {"no upgrade support, slot 3", 0, 2, ro_rw, 3, -1, false},
        {"every slot read-only, slot 1", 1, 2, {{1, 1, "A"}, {2, 1, "B"}}, 1, -1, true},
        {"every slot read-only, slot 5", 1, 2, {{1, 1, "A"}, {2, 1, "B"}}, 5, -1, false},
        {"no slots", 1, 0, {}, 1, -1, false},
        {"slot 2 writable, listed first", 1, 3, {{2, 0, "B"}, {1, 1, "A"}, {3, 0, "C"}}, 7, 2, false},
        {"slot 1 listed twice, read-only first", 1, 3, {{1, 1, "A"}, {1, 0, "A"}, {3, 0, "C"}}, 1, 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> b = InfoBytes(c.upgrade, c.count, 1, 0xFF, c.slots);
        const SlotChoice choice = ChooseFirmwareSlot(ParseFirmwareInfo(b.data(), b.size()), c.requested);
        EXPECT_EQ(choice.slot, c.slot);
        EXPECT_EQ(choice.read_only_requested, c.read_only_requested);
    }
}

// The rig's device opened as an NVMe drive, with a driver that answers the information request
// with `info` and every other firmware request with the ReturnCode the test puts in `codes`.
struct NvmeRig : DeviceRig {
    std::vector<uint8_t> info = InfoBytes(1, 2, 2, 0xFF, {{1, 1, "N0812A0"}, {2, 0, "N0812C1"}});
    std::vector<uint32_t> codes;  // by request after the information one; 0 beyond
    int requests = 0;

    NvmeRig() {
        storage.replies["miniport 1B0780"] = [this](uint8_t* b, uint32_t in_len, uint32_t) {
            uint32_t function;
            std::memcpy(&function, b + 36, 4);
            uint32_t code = 0;
            if (function == 1) {
                std::memcpy(b + 52, info.data(), std::min<size_t>(info.size(), in_len - 52));
            } else {
                code = requests < static_cast<int>(codes.size()) ? codes[requests] : 0;
                ++requests;
            }
            std::memcpy(b + 20, &code, 4);
            return IoResult{true, in_len, 0};
        };
        dev->open_device(0, "\\\\.\\PhysicalDrive5", kOpenNvme);
        sys.files.clear();
    }
};

// The 10,000-byte image: 0x5A throughout, with marks where each chunk starts and at its end.
std::vector<uint8_t> TenThousand() {
    std::vector<uint8_t> image(10000, 0x5A);
    const uint8_t marks[][5] = {{0x01, 0x02, 0x03, 0x04, 0x05}, {0x11, 0x12, 0x13, 0x14, 0x15},
                                {0x21, 0x22, 0x23, 0x24, 0x25}};
    std::memcpy(&image[0], marks[0], 5);
    std::memcpy(&image[4096], marks[1], 5);
    std::memcpy(&image[8192], marks[2], 5);
    image[9999] = 0xEE;
    return image;
}

TEST(NvmeFlash, TenThousandBytesGoAsThreeWholeChunks) {
    NvmeRig rig;
    const std::vector<uint8_t> image = TenThousand();
    ASSERT_TRUE(rig.dev->nvme_flash_firmware(image.data(), 10000, 3, 2));
    const std::vector<Sent> sent = rig.storage.SentWith("miniport 1B0780");
    ASSERT_EQ(sent.size(), 5u);
    for (const Sent& s : sent) {
        // 4,172 bytes in and out at either width.
        EXPECT_EQ(s.in_len, 4172u);
        EXPECT_EQ(s.out_len, 4172u);
        EXPECT_EQ(s.code, 0x4D008u);
    }
    // Function 2, then the download record: version 1, size 24, the offset, 4,096 bytes.
    struct Chunk {
        const char* record;
        const char* first;
    };
    const Chunk chunks[] = {
        {"01 00 00 00 18 00 00 00 00 00 00 00 00 00 00 00 00 10 00 00 00 00 00 00", "01 02 03 04 05 5A"},
        {"01 00 00 00 18 00 00 00 00 10 00 00 00 00 00 00 00 10 00 00 00 00 00 00", "11 12 13 14 15 5A"},
        {"01 00 00 00 18 00 00 00 00 20 00 00 00 00 00 00 00 10 00 00 00 00 00 00", "21 22 23 24 25 5A"},
    };
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(sent[i + 1].hex(36, 4), "02 00 00 00");
        EXPECT_EQ(sent[i + 1].hex(52, 24), chunks[i].record);
        EXPECT_EQ(sent[i + 1].hex(76, 6), chunks[i].first);
    }
    // The first two chunks are all image; the third carries 1,808 image bytes, then zeros.
    EXPECT_EQ(sent[2].hex(76 + 4090, 6), "5A 5A 5A 5A 5A 5A");
    EXPECT_EQ(sent[3].hex(76 + 1802, 12), "5A 5A 5A 5A 5A EE 00 00 00 00 00 00");
    EXPECT_EQ(std::count(sent[3].bytes.begin() + 76 + 1808, sent[3].bytes.end(), 0), 4096 - 1808);
    // The activate: function 3, commit action 3, size 12, slot 2.
    EXPECT_EQ(sent[4].hex(36, 4), "03 00 00 00");
    EXPECT_EQ(sent[4].hex(52, 12), "03 00 00 00 0C 00 00 00 02 00 00 00");

    const std::string log = rig.Log();
    for (const char* line : {
             "Download the firmware image - slot number: 2 , size : 10000 (2710) ...\n",
             "OFFSET : 00000000h , LEN : 1000h , Buf : 01 02 03 04 05\n",
             "OFFSET : 00001000h , LEN : 1000h , Buf : 11 12 13 14 15\n",
             "OFFSET : 00002000h , LEN : 1000h , Buf : 21 22 23 24 25\n",
             "No more to download\nActivate the assigned firmware slot ... \nFirmware activate succeeded \n"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

// The first five bytes of a last chunk shorter than five are the image's, then zeros.
TEST(NvmeFlash, ShortLastChunkShowsZerosPastTheImage) {
    NvmeRig rig;
    const std::vector<uint8_t> image(4098, 0x77);
    ASSERT_TRUE(rig.dev->nvme_flash_firmware(image.data(), 4098, 3, 2));
    EXPECT_NE(rig.Log().find("OFFSET : 00001000h , LEN : 1000h , Buf : 77 77 00 00 00\n"), std::string::npos)
        << rig.Log();
}

TEST(NvmeFlash, ActivateCodesDecideTheResult) {
    struct Case {
        uint32_t code;
        const char* line;
        bool ok, restart;
    };
    const Case cases[] = {
        {0x00, "Firmware activate succeeded \n", true, false},
        {0x20, "Firmware activate succeeded. PLEASE REBOOT COMPUTER \n", true, true},
        {0x01, "Firmware activate, error returned \n", false, false},
        {0x10, "Firmware activate, error returned \n", false, false},
        {0x02, "FirmwareUpgrade - firmware activate parameter error. srbControl->ReturnCode 2\n", false, false},
        {0x03, "FirmwareUpgrade - firmware activate parameter error. srbControl->ReturnCode 3\n", false, false},
        {0x04, "FirmwareUpgrade - firmware activate parameter error. srbControl->ReturnCode 4\n", false, false},
        {0x05, "Firmware activate, unexpected error. srbControl->ReturnCode 5\n", false, false},
        {0x06, "Firmware activate, slot number invalid \n", false, false},
        {0x07, "Firmware activate, invalid firmware image \n", false, false},
        {0x40, "Firmware activate, unexpected error. srbControl->ReturnCode 64\n", false, false},
    };
    const std::vector<uint8_t> image(100, 0x33);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(ActivateLine(c.code), c.line);
        EXPECT_EQ(ActivateSucceeded(c.code), c.ok);
        NvmeRig rig;
        rig.codes = {0, c.code};  // one download, then the activate
        EXPECT_EQ(rig.dev->nvme_flash_firmware(image.data(), 100, 3, 2), c.ok);
        EXPECT_EQ(rig.dev->nvme_restart_required(), c.restart);
        const std::string log = rig.Log();
        EXPECT_EQ(log.substr(log.size() - std::strlen(c.line)), c.line);
    }
}

TEST(NvmeFlash, FailuresEndWithTheirLine) {
    struct Case {
        const char* name;
        std::vector<uint8_t> info;
        uint32_t info_code;       // the information request's ReturnCode
        std::vector<uint32_t> codes;
        int fail_request;         // this firmware request after the information one fails with error 1117; -1 none
        const char* last_line;
        size_t requests;          // firmware requests sent
    };
    const std::vector<uint8_t> good = InfoBytes(1, 2, 2, 0xFF, {{1, 1, "N0812A0"}, {2, 0, "N0812C1"}});
    const Case cases[] = {
        {"no upgrade support", InfoBytes(0, 2, 2, 0xFF, {{1, 1, "A"}, {2, 0, "B"}}), 0, {}, -1,
         "No writable firmware slot \n", 1},
        {"information refused", good, 5, {}, -1, "Get firmware information failed. SRB ReturnCode 5\n", 1},
        {"second download refused", good, 0, {0, 3}, -1,
         "Firmware Upgrade - firmware download failed. srbControl->ReturnCode 3\n", 3},
        {"second download not carried", good, 0, {}, 1,
         "DeviceIoControl - firmware download failed. <1117> -- error 1117\n", 3},
        {"activate not carried", good, 0, {}, 3, "DeviceIoControl - firmware activate failed. <1117> -- error 1117\n",
         5},
    };
    const std::vector<uint8_t> image = TenThousand();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NvmeRig rig;
        rig.info = c.info;
        rig.codes = c.codes;
        int n = 0;
        auto driver = rig.storage.replies["miniport 1B0780"];
        rig.storage.replies["miniport 1B0780"] = [&, driver](uint8_t* b, uint32_t in_len, uint32_t out_len) {
            const int index = n++;
            if (c.fail_request >= 0 && index - 1 == c.fail_request) return IoResult{false, 0, 1117};
            IoResult r = driver(b, in_len, out_len);
            if (index == 0) std::memcpy(b + 20, &c.info_code, 4);
            return r;
        };
        EXPECT_FALSE(rig.dev->nvme_flash_firmware(image.data(), 10000, 3, 1));
        EXPECT_EQ(rig.storage.SentWith("miniport 1B0780").size(), c.requests);
        const std::string log = rig.Log();
        EXPECT_EQ(log.substr(log.size() - std::strlen(c.last_line)), c.last_line) << log;
    }
}

TEST(NvmeFlash, ReadOnlySlotIsNotWrittenAndSaysSo) {
    NvmeRig rig;
    const std::vector<uint8_t> image(100, 0x33);
    ASSERT_TRUE(rig.dev->nvme_flash_firmware(image.data(), 100, 1, 1));
    const std::vector<Sent> sent = rig.storage.SentWith("miniport 1B0780");
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[2].hex(52, 12), "01 00 00 00 0C 00 00 00 02 00 00 00");
    EXPECT_NE(rig.Log().find("Firmware slot 1 is read only, use slot 2 \n"
                             "Download the firmware image - slot number: 2 , size : 100 (0064) ...\n"),
              std::string::npos)
        << rig.Log();
}

}  // namespace
}  // namespace orvane::test
