// What lies above each disk, and the refresh after a flash: remove the disk, re-enumerate
// the controllers.
#include <cstring>
#include <vector>

#include "discovery/dev_mgr.h"
#include "discovery/setup_property.h"
#include "discovery/text_convert.h"
#include "text/text.h"

namespace orvane::discovery {

using namespace platform;

namespace {

// A tree deeper than this is not a tree (a loop in the parent links).
constexpr int kMaxAncestors = 64;

// "0x" + the 4 characters after `tag`; both must be hexadecimal.
bool IdPair(const std::string& upper, const char* first, const char* second, uint16_t& a, uint16_t& b) {
    std::string x = "0x" + upper.substr(upper.find(first) + 4, 4);
    std::string y = "0x" + upper.substr(upper.find(second) + 4, 4);
    if (!TDevMgr::is_hex_number(x) || !TDevMgr::is_hex_number(y)) return false;
    a = static_cast<uint16_t>(std::stoul(x.substr(2), nullptr, 16));
    b = static_cast<uint16_t>(std::stoul(y.substr(2), nullptr, 16));
    return true;
}

void ParseIds(ANCESTOR_NODE& node) {
    std::string id = text::ToUpper(FieldView(node.szInstanceId));
    auto has = [&](const char* s) { return id.find(s) != std::string::npos; };
    bool ok = true;
    if (has("VEN_") && has("DEV_"))
        ok = IdPair(id, "VEN_", "DEV_", node.wVendorId, node.wDeviceId);
    else if (has("USB") && has("VID_") && has("PID_"))
        ok = IdPair(id, "VID_", "PID_", node.wVendorId, node.wDeviceId);
    if (!ok) node.wVendorId = node.wDeviceId = 0;
}

template <size_t N>
void CmText(DeviceTree& tree, uint32_t devinst, uint32_t spdrp, char (&field)[N]) {
    char buf[260] = {};
    uint32_t len = sizeof buf;
    if (tree.GetDevNodeRegistryProperty(devinst, CmDrp(spdrp), nullptr, buf, &len) == kCrSuccess)
        CopyText(field, text::FieldView(buf));
}

}  // namespace

bool TDevMgr::is_hex_number(const std::string& text) {
    std::string s;
    for (char c : text) s += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    size_t at = s.find("0x", 1);
    if (at != std::string::npos) return false;
    if (s.rfind("0x", 0) == 0) s.erase(0, 2);
    if (s.empty()) return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

namespace {

// A copy of a chain from this node up, at most depth nodes.
std::unique_ptr<ANCESTOR_NODE> CopyChain(const ANCESTOR_NODE* from, int depth) {
    std::unique_ptr<ANCESTOR_NODE> head;
    std::unique_ptr<ANCESTOR_NODE>* tail = &head;
    for (; from && depth > 0; from = from->pNext.get(), --depth) {
        auto node = std::make_unique<ANCESTOR_NODE>();
        node->ClassGuid = from->ClassGuid;
        std::memcpy(node->szDriverKey, from->szDriverKey, sizeof node->szDriverKey);
        std::memcpy(node->szDeviceDesc, from->szDeviceDesc, sizeof node->szDeviceDesc);
        std::memcpy(node->szInstanceId, from->szInstanceId, sizeof node->szInstanceId);
        std::memcpy(node->szFriendlyName, from->szFriendlyName, sizeof node->szFriendlyName);
        std::memcpy(node->szLocation, from->szLocation, sizeof node->szLocation);
        std::memcpy(node->szService, from->szService, sizeof node->szService);
        node->wVendorId = from->wVendorId;
        node->wDeviceId = from->wDeviceId;
        *tail = std::move(node);
        tail = &(*tail)->pNext;
    }
    return head;
}

}  // namespace

std::unique_ptr<ANCESTOR_NODE> TDevMgr::build_ancestor_chain(const std::string& instance_id) {
    if (!platform_.tree) return nullptr;
    DeviceTree& tree = *platform_.tree;
    std::unique_ptr<ANCESTOR_NODE> head;
    std::unique_ptr<ANCESTOR_NODE>* tail = &head;
    std::string id = instance_id;
    for (int depth = 0; depth < kMaxAncestors; ++depth) {
        uint32_t devinst = 0, parent = 0;
        if (tree.LocateDevNode(devinst, id, kCmLocateDevnodeNormal) != kCrSuccess) break;
        if (tree.GetParent(parent, devinst) != kCrSuccess) break;
        auto node = std::make_unique<ANCESTOR_NODE>();
        char buf[260] = {};
        if (tree.GetDeviceId(parent, buf, sizeof buf - 1) == kCrSuccess) CopyText(node->szInstanceId, buf);
        // An ancestor another disk of this scan has: the rest of the chain is the same.
        if (auto known = ancestors_.find(buf); known != ancestors_.end() && buf[0]) {
            *tail = CopyChain(known->second.get(), kMaxAncestors - depth);
            break;
        }
        ParseIds(*node);
        CmText(tree, parent, kSpdrpDeviceDesc, node->szDeviceDesc);
        CmText(tree, parent, kSpdrpDriver, node->szDriverKey);
        char cls[39] = {};
        uint32_t len = sizeof cls;
        if (tree.GetDevNodeRegistryProperty(parent, CmDrp(kSpdrpClassGuid), nullptr, cls, &len) == kCrSuccess &&
            strnlen(cls, sizeof cls) >= 38 && ParseUuid(std::string_view(cls + 1, 36), node->ClassGuid)) {
            // The class's own view of the device replaces what the configuration manager said.
            if (auto set = tree.GetClassDevs(&node->ClassGuid, kDigcfPresent)) {
                SP_DEVINFO_DATA dev{};
                dev.cbSize = sizeof dev;
                for (uint32_t i = 0; set->EnumDeviceInfo(i, dev); ++i) {
                    char other[260] = {};
                    if (!set->GetDeviceInstanceId(dev, other, sizeof other - 1, nullptr)) continue;
                    if (std::strcmp(other, node->szInstanceId) != 0) continue;
                    ReadPropertyFields(tree, *set, dev,
                                       {Field(kSpdrpDriver, node->szDriverKey), Field(kSpdrpDeviceDesc, node->szDeviceDesc),
                                        Field(kSpdrpFriendlyName, node->szFriendlyName),
                                        Field(kSpdrpLocationInformation, node->szLocation),
                                        Field(kSpdrpService, node->szService)},
                                       PropertyRead::Probe);
                    break;
                }
            }
        }
        id = node->szInstanceId;
        *tail = std::move(node);
        tail = &(*tail)->pNext;
    }
    for (const ANCESTOR_NODE* a = head.get(); a; a = a->pNext.get())
        if (a->szInstanceId[0] && !ancestors_.count(a->szInstanceId))
            ancestors_[a->szInstanceId] = CopyChain(a, kMaxAncestors);
    return head;
}

void TDevMgr::identify_controller(DISK_NODE& node) {
    if (!platform_.tree) return;
    uint32_t devinst = 0, parent = 0;
    std::string id(FieldView(node.szInstanceId));
    if (platform_.tree->LocateDevNode(devinst, id, kCmLocateDevnodeNormal) != kCrSuccess) return;
    if (platform_.tree->GetParent(parent, devinst) != kCrSuccess) return;
    node.pParent = build_ancestor_chain(id);
    for (const ANCESTOR_NODE* a = node.pParent.get(); a; a = a->pNext.get()) {
        if (node.wVendorId == 0 && node.wDeviceId == 0 && a->wVendorId != 0 && a->wDeviceId != 0) {
            node.wVendorId = a->wVendorId;
            node.wDeviceId = a->wDeviceId;
        }
    }
}

int TDevMgr::list_class_devices(const Guid& cls, DISK_NODE* out, int max) {
    if (setup_api_missing()) return 0;
    DeviceTree& tree = *platform_.tree;
    std::string cls_text = GuidBraced(cls);
    auto set = tree.GetClassDevs(nullptr, kDigcfPresent | kDigcfAllClasses);
    if (!set) return 0;
    int count = 0;
    SP_DEVINFO_DATA dev{};
    dev.cbSize = sizeof dev;
    for (uint32_t i = 0; count < max && set->EnumDeviceInfo(i, dev); ++i) {
        std::string driver;
        if (!ReadPropertyDirect(*set, dev, kSpdrpDriver, 512, driver)) continue;
        if (text::ToUpper(driver).find(cls_text) == std::string::npos) continue;
        DISK_NODE& node = out[count++];
        CopyText(node.szDriverKey, driver);
        char id[512] = {};
        if (set->GetDeviceInstanceId(dev, id, sizeof id - 1, nullptr)) CopyText(node.szInstanceId, id);
        ReadPropertyFields(tree, *set, dev,
                           {Field(kSpdrpDeviceDesc, node.szDeviceDesc), Field(kSpdrpEnumeratorName, node.szEnumerator),
                            Field(kSpdrpPhysicalDeviceObjectName, node.szPdoName),
                            Field(kSpdrpLocationInformation, node.szLocation),
                            Field(kSpdrpHardwareId, node.szHardwareId),
                            Field(kSpdrpCompatibleIds, node.szCompatibleId),
                            Field(kSpdrpFriendlyName, node.szFriendlyName)},
                           PropertyRead::Direct);
    }
    // Stopping at `max` leaves the last error of a successful read.
    uint32_t err = tree.LastError();
    return err == 0 || err == kErrorNoMoreItems ? count : 0;
}

bool TDevMgr::reenumerate_device(const std::string& instance_id) {
    if (setup_api_missing()) return false;
    uint32_t devinst = 0;
    if (platform_.tree->LocateDevNode(devinst, instance_id, kCmLocateDevnodeNormal) != kCrSuccess) return false;
    return platform_.tree->ReenumerateDevNode(devinst, 0) == kCrSuccess;
}

std::string TDevMgr::parent_of(const std::string& instance_id) {
    if (setup_api_missing()) return {};
    uint32_t devinst = 0, parent = 0;
    char id[261] = {};
    DeviceTree& tree = *platform_.tree;
    if (tree.LocateDevNode(devinst, instance_id, kCmLocateDevnodeNormal) != kCrSuccess ||
        tree.GetParent(parent, devinst) != kCrSuccess || tree.GetDeviceId(parent, id, 260) != kCrSuccess)
        return {};
    return id;
}

bool TDevMgr::rescan_controllers() {
    if (setup_api_missing()) return false;
    auto rescan_class = [this](const Guid& cls) {
        std::vector<DISK_NODE> found(kMaxListedDisks);
        int n = list_class_devices(cls, found.data(), kMaxListedDisks);
        bool all = true;
        for (int i = 0; i < n; ++i)
            if (!reenumerate_device(std::string(FieldView(found[i].szInstanceId)))) all = false;
        return all;
    };
    if (!rescan_class(GUID_DEVCLASS_HDC)) return false;
    return rescan_class(GUID_DEVCLASS_SCSIADAPTER);
}

bool TDevMgr::remove_disk(const char* instance_id) {
    if (setup_api_missing()) return false;
    DeviceTree& tree = *platform_.tree;
    auto set = tree.GetClassDevs(&GUID_DEVINTERFACE_DISK, kDigcfDeviceInterface);
    if (!set) return false;
    bool result = instance_id == nullptr;
    SP_DEVINFO_DATA dev{};
    dev.cbSize = sizeof dev;
    for (uint32_t i = 0; set->EnumDeviceInfo(i, dev); ++i) {
        if (instance_id) {
            char id[261] = {};
            if (tree.GetDeviceId(dev.DevInst, id, 260) != kCrSuccess || std::strcmp(id, instance_id) != 0) continue;
        }
        SP_PROPCHANGE_PARAMS params;
        std::memset(&params, 0xFF, sizeof params);
        params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
        params.ClassInstallHeader.InstallFunction = kDifPropertyChange;
        params.StateChange = kDicsStop;
        params.Scope = kDicsFlagConfigSpecific;
        params.HwProfile = 0;
        if (!set->SetClassInstallParams(dev, &params, sizeof params)) continue;
        if (set->CallClassInstaller(kDifRemove, dev) && instance_id) {
            result = true;
            break;
        }
    }
    return result;
}

}  // namespace orvane::discovery
