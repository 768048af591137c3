// The setup and configuration-manager services under Wine: binding the entry points, the
// table's lifetime, and the sets Wine answers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "discovery/disk_node.h"
#include "platform/storage_io.h"
#include "platform/win32/win32_device_tree.h"

namespace orvane::platform::win32 {
namespace {

TEST(Win32DeviceTree, BindsEveryEntryPointByName) {
    Win32DeviceTree tree;
    auto libs = tree.Load();
    ASSERT_TRUE(libs);
    EXPECT_TRUE(libs->SetupApiLoaded());
    EXPECT_TRUE(libs->CfgMgrLoaded());
    SetupEntrySet bound = tree.Bound();
    for (int i = 0; i < kSetupEntryCount; ++i) EXPECT_TRUE(bound[i]) << kSetupEntryNames[i];
}

TEST(Win32DeviceTree, TableLivesAsLongAsSomeoneHoldsTheLibraries) {
    Win32DeviceTree tree;
    auto first = tree.Load();
    auto second = Win32DeviceTree().Load();  // another tree: the table is process-wide
    first.reset();
    EXPECT_TRUE(tree.Bound()[SetupDiGetClassDevsA_]);
    EXPECT_TRUE(tree.GetClassDevs(&discovery::GUID_DEVINTERFACE_DISK, kDigcfPresent | kDigcfDeviceInterface));
    second.reset();

    // Nobody holds the libraries: every entry is gone and calls fail instead of jumping.
    EXPECT_TRUE(tree.Bound().none());
    EXPECT_FALSE(tree.GetClassDevs(nullptr, kDigcfPresent | kDigcfAllClasses));
    EXPECT_EQ(tree.LastError(), kErrorProcNotFound);
    uint32_t devinst = 99, parent = 99;
    EXPECT_EQ(tree.LocateDevNode(devinst, "", kCmLocateDevnodeNormal), kCrCallNotImplemented);
    EXPECT_EQ(devinst, 0u);
    EXPECT_EQ(tree.GetParent(parent, 1), kCrCallNotImplemented);
    EXPECT_EQ(parent, 0u);
    char id[260] = {};
    EXPECT_EQ(tree.GetDeviceId(1, id, sizeof id), kCrCallNotImplemented);
    uint32_t len = sizeof id;
    EXPECT_EQ(tree.GetDevNodeRegistryProperty(1, CmDrp(kSpdrpDeviceDesc), nullptr, id, &len), kCrCallNotImplemented);
    EXPECT_EQ(tree.ReenumerateDevNode(1, 0), kCrCallNotImplemented);
}

TEST(Win32DeviceTree, DiskInterfaceSetIsValidAndEmptyUnderWine) {
    Win32DeviceTree tree;
    auto libs = tree.Load();
    auto set = tree.GetClassDevs(&discovery::GUID_DEVINTERFACE_DISK, kDigcfPresent | kDigcfDeviceInterface);
    ASSERT_TRUE(set);
    EXPECT_EQ(tree.LastError(), 0u);
    SP_DEVICE_INTERFACE_DATA iface{};
    iface.cbSize = sizeof iface;
    EXPECT_FALSE(set->EnumDeviceInterfaces(discovery::GUID_DEVINTERFACE_DISK, 0, iface));
    EXPECT_EQ(tree.LastError(), kErrorNoMoreItems);
}

TEST(Win32DeviceTree, AllClassesAnswerIdentifiersAndProperties) {
    Win32DeviceTree tree;
    auto libs = tree.Load();
    auto set = tree.GetClassDevs(nullptr, kDigcfPresent | kDigcfAllClasses);
    ASSERT_TRUE(set);
    int devices = 0, probed = 0;
    SP_DEVINFO_DATA dev{};
    dev.cbSize = sizeof dev;
    for (uint32_t i = 0; set->EnumDeviceInfo(i, dev); ++i) {
        ++devices;
        EXPECT_EQ(tree.LastError(), 0u);
        char cm_id[261] = {};
        ASSERT_EQ(tree.GetDeviceId(dev.DevInst, cm_id, 260), kCrSuccess);
        char setup_id[512] = {};
        uint32_t need = 0;
        ASSERT_TRUE(set->GetDeviceInstanceId(dev, setup_id, sizeof setup_id, &need)) << tree.LastError();
        EXPECT_STREQ(cm_id, setup_id);
        EXPECT_EQ(need, std::strlen(setup_id) + 1);

        // The size probe: no buffer, ERROR_INSUFFICIENT_BUFFER and the size; then the value.
        uint32_t type = 0;
        if (set->GetDeviceRegistryProperty(dev, kSpdrpClassGuid, &type, nullptr, 0, &need)) continue;
        if (tree.LastError() != kErrorInsufficientBuffer) continue;
        ++probed;
        EXPECT_EQ(need, 39u) << setup_id;  // "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" and its NUL
        uint8_t text[64] = {};
        ASSERT_TRUE(set->GetDeviceRegistryProperty(dev, kSpdrpClassGuid, &type, text, sizeof text, &need));
        EXPECT_EQ(type, kRegSz);
        EXPECT_EQ(text[0], '{');
        EXPECT_EQ(text[37], '}');
    }
    EXPECT_EQ(tree.LastError(), kErrorNoMoreItems);
    EXPECT_GT(devices, 0);
    EXPECT_GT(probed, 0);
}

TEST(Win32DeviceTree, ConfigurationManagerAnswersPassThrough) {
    Win32DeviceTree tree;
    auto libs = tree.Load();
    uint32_t devinst = 0, parent = 0;
    // Wine's configuration manager does not locate devices; its answer comes through unchanged.
    uint32_t cr = tree.LocateDevNode(devinst, "ROOT\\NO_SUCH_DEVICE\\0000", kCmLocateDevnodeNormal);
    EXPECT_NE(cr, kCrSuccess);
    EXPECT_EQ(devinst, 0u);
    EXPECT_NE(tree.GetParent(parent, devinst), kCrSuccess);
    EXPECT_EQ(parent, 0u);
}

}  // namespace
}  // namespace orvane::platform::win32
