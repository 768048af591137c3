// The simulated driver's records as Windows lays them out, and the strict text conversions.
#include <cstring>

#include "discovery/sim_rig.h"
#include "discovery/text_convert.h"

namespace orvane::test {
namespace {

using namespace discovery;

TEST(DiscoveryRecords, DeviceDescriptorLayout) {
    json m = AhciMachine();
    json d = SataDisk("A", 0, {0, 0, 0, 0});
    d["vendor"] = "";
    d["product"] = "P";
    d["revision"] = "R1";
    d["serial"] = "S";
    m["disks"] = json::array({d});
    Rig rig(m);
    uint8_t buf[256];
    ASSERT_TRUE(rig.mgr->get_device_ids("\\\\.\\PHYSICALDRIVE0", buf));
    const uint8_t expected[] = {
        40, 0, 0, 0,  47, 0, 0, 0,     // Version, Size
        0, 0, 0, 0,                    // DeviceType, modifier, removable, queueing
        0, 0, 0, 0,  40, 0, 0, 0,      // VendorIdOffset (none), ProductIdOffset
        42, 0, 0, 0, 45, 0, 0, 0,      // ProductRevisionOffset, SerialNumberOffset
        11, 0, 0, 0, 0, 0, 0, 0,       // BusType SATA, RawPropertiesLength
        0, 0, 0, 0,                    // RawDeviceProperties and padding
        'P', 0, 'R', '1', 0, 'S', 0,
    };
    EXPECT_EQ(0, std::memcmp(buf, expected, sizeof expected));
    EXPECT_EQ(rig.mgr->get_bus_type("\\\\.\\PHYSICALDRIVE0"), BusTypeSata);
    EXPECT_EQ(rig.mgr->get_bus_type("\\\\.\\PHYSICALDRIVE7"), 0);
    EXPECT_EQ(rig.mgr->get_device_number("\\\\.\\PhysicalDrive0"), 0);
}

TEST(DiscoveryRecords, DescriptorTextsPastTheBufferAreNotRead) {
    json m = AhciMachine();
    json d = SataDisk("A", 0, {0, 0, 0, 0});
    d["product"] = std::string(200, 'P');
    d["revision"] = "R";
    d["serial"] = "SERIAL1234";  // at offset 243: 13 bytes of the 256 remain
    m["disks"] = json::array({d});
    Rig rig(m);
    ASSERT_TRUE(rig.mgr->enumerate_devices());
    EXPECT_EQ(std::string(rig.mgr->node_list()[0].SerialNumberText, 20), std::string("SERIAL1234") + std::string(10, '\0'));
}

TEST(DiscoveryRecords, StrictNumbers) {
    struct {
        const char* text;
        bool ok;
        int64_t value;
    } const cases[] = {
        {"0", true, 0}, {" 42 ", true, 42}, {"-7", true, -7}, {"+5", true, 5},
        {"9223372036854775807", true, INT64_MAX}, {"-9223372036854775808", true, INT64_MIN},
        {"9223372036854775808", false, 0}, {"", false, 0}, {"12x", false, 0}, {"--1", false, 0}, {"0x10", false, 0},
    };
    for (const auto& c : cases) {
        int64_t v = 0;
        EXPECT_EQ(ToInt64(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
    uint64_t u = 0;
    EXPECT_TRUE(ToUInt64("18446744073709551615", u));
    EXPECT_EQ(u, UINT64_MAX);
    EXPECT_FALSE(ToUInt64("18446744073709551616", u));
    EXPECT_FALSE(ToUInt64("-1", u));
}

TEST(DiscoveryRecords, ClassTexts) {
    platform::Guid g;
    ASSERT_TRUE(ParseUuid("4d36e96a-e325-11ce-bfc1-08002be10318", g));
    EXPECT_EQ(g, GUID_DEVCLASS_HDC);
    EXPECT_EQ(GuidBraced(GUID_DEVCLASS_SCSIADAPTER), "{4D36E97B-E325-11CE-BFC1-08002BE10318}");
    EXPECT_FALSE(ParseUuid("{4d36e96a-e325-11ce-bfc1-08002be10318}", g));
    EXPECT_FALSE(ParseUuid("4d36e96a-e325-11ce-bfc1-08002be1031g", g));
    EXPECT_FALSE(ParseUuid("4d36e96ae-325-11ce-bfc1-08002be10318", g));
}

}  // namespace
}  // namespace orvane::test
