// The drive list: the table shown in cboDrives, and what selecting a drive opens and shows.
#include <cstring>

#include "app/orvane_main.h"
#include "package/eligibility.h"
#include "text/text.h"

namespace orvane::app {
namespace {

std::string ItemText(const DEV_INFO& e) {
    return Format("(%c) %2d-%d-%d-%d %s %.8s", e.bSystemDrive ? 'M' : 'S', e.wPort, e.wPathId, e.wTarget, e.wLun,
                  text::Trim(text::FieldView(e.szModel)).c_str(), text::FieldText(e.szFW).c_str());
}

}  // namespace

void TOrvaneMain::ChkConstraint() {
    if (!m_Device) return;
    const auto log = [this](const std::string& line) { LogLine(line); };
    for (int i = 0; i < DriveCount && i < kMaxDrives; ++i) {
        DEV_INFO& e = m_DevInfo[i];
        package::DriveFacts facts;
        facts.bExisted = e.bExisted;
        facts.bIsNvme = e.bIsNvme;
        facts.szModelChk = std::string_view(e.szModelChk, sizeof e.szModelChk);
        facts.szModel = std::string_view(e.szModel, sizeof e.szModel);
        facts.szFW = std::string_view(e.szFW, sizeof e.szFW);
        facts.szDEF = std::string_view(e.szDEF, sizeof e.szDEF);
        const package::Eligibility result = package::ChkConstraint(facts, m_Package, log);
        if (result.bEnabled) e.wSlot = result.wSlot;
        // A locked drive would refuse the download: it is never offered, and when the package
        // would take it, the user is asked to unlock it.
        e.bEnabled = result.bEnabled && !e.bLocked;
        e.bMatchedLocked = result.bEnabled && e.bLocked;
    }
}

void TOrvaneMain::RefreshComboBox() {
    m_DetectedList.clear();
    m_ItemCount = 0;
    ChkConstraint();
    LogLine(Format("RefreshComboBox: gCount:%d ", DriveCount));
    std::vector<DriveItem> items;
    for (int i = 0; i < DriveCount && i < kMaxDrives; ++i) {
        const DEV_INFO& e = m_DevInfo[i];
        if (m_Package.opt.bListMatchedOnly && !(e.bExisted && (e.bEnabled || e.bMatchedLocked))) continue;
        const std::string item = ItemText(e);
        m_DetectedList += item + "\n";
        m_ItemToDrive[m_ItemCount++] = i;
        items.push_back(DriveItem{item, e.bEnabled});
        LogLine(Format("cboDrives: str:%s ", item.c_str()));
    }
    view_.SetDriveItems(items);
    if (!items.empty()) view_.SetEnabled(Control::cboDrives, true);
    view_.SelectItem(Control::cboDrives, 0);
    for (int k = 0; k < m_ItemCount; ++k) {
        const DEV_INFO& e = m_DevInfo[m_ItemToDrive[k]];
        if (e.bExisted && e.bEnabled) view_.SelectItem(Control::cboDrives, k);
    }
}

void TOrvaneMain::cboDrivesChange() {
    const int item = view_.SelectedItem(Control::cboDrives);
    // An empty list has nothing selected: there is no drive to open.
    if (item < 0 || item >= m_ItemCount || !m_Device) return;
    const int idx = m_ItemToDrive[item];
    DEV_INFO& e = m_DevInfo[idx];
    m_SelectedSlot = 0;
    LogLine(Format("cboDrivesChange: 1, idx=%d", idx));

    device::TAtaDevice& dev = *m_Device;
    if (gScanType == kScanCsmi && m_Package.opt.bUnattended) {
        dev.open_device(m_ScsiPort, nullptr, device::kOpenCsmi);
        dev.set_phy(static_cast<uint32_t>(m_CsmiIndex));
        dev.set_port(static_cast<uint32_t>(m_CsmiPort));
        dev.set_sas_address(static_cast<uint32_t>(m_SasAddr), static_cast<uint32_t>(m_SasAddr >> 32));
    } else if (gScanType == kScanCsmi) {
        m_ScsiPort = e.order;
        m_SasAddr = e.SasAddr;
        dev.open_device(e.order, nullptr, device::kOpenCsmi);
        dev.set_phy(static_cast<uint32_t>(e.scsi_index));
        dev.set_port(static_cast<uint32_t>(e.csmi_port));
        dev.set_sas_address(static_cast<uint32_t>(e.SasAddr), static_cast<uint32_t>(e.SasAddr >> 32));
        LogLine("cboDrivesChange: 2");
    } else if (e.bIsNvme) {
        dev.open_device(e.order, text::FieldText(e.szDevicePath).c_str(), device::kOpenNvme);
        LogLine("cboDrivesChange: 3-1");
        LogLine(Format("cboDrivesChange: 3-1, m_DevInfo[idx].order=%d", e.order));
    } else {
        dev.open_device(e.order, m_DevPath.empty() ? nullptr : m_DevPath.c_str(), device::kOpenAta);
        LogLine("cboDrivesChange: 3-2");
    }

    m_SelectedDrive = idx;
    bIsAhci = e.bIsAhci;
    TargetSerial = text::FieldText(e.szSN);
    TargetPath = text::FieldText(e.szInstanceId);
    LogLine("cboDrivesChange: 4");

    for (Control c : {Control::lblFwSlot, Control::cboFwSlot, Control::lblCommitAction, Control::cboCommitAction})
        view_.SetVisible(c, e.bIsNvme);
    // The selectors offer this drive's own slots, not those of the last drive the scan read.
    if (e.bIsNvme) FillNvmeSelectors(e.FwSlotInfo);
    LogLine("cboDrivesChange: 5");

    const TextSet& t = texts();
    if (e.bEnabled) {
        LogLine("cboDrivesChange: 6");
        view_.SetEnabled(Control::cmdUpdate, true);
        for (Control c : {Control::lblOldFW, Control::lblTo, Control::lblNewFW}) view_.SetVisible(c, true);
        view_.SetText(Control::lblUpdateMsg, t.UpdatedFrom);
        view_.SetTextColour(Control::lblUpdateMsg, kBlack);
        view_.SetTextColour(Control::lblTo, kBlack);
        m_SelectedSlot = e.wSlot;
        const package::SlotInfo& slot = m_Package.slots[e.wSlot < package::kSlotCount ? e.wSlot : 0];
        m_lblNewFW = text::FieldText(slot.new_fw);
        m_lblFWExt = text::FieldText(slot.fw_ext);
        view_.SetText(Control::lblNewFW, m_lblNewFW);
        view_.SetText(Control::lblFWExt, m_lblFWExt);
        view_.SetText(Control::lblOldFW, text::FieldText(e.szFW));
        if (m_Package.opt.bUnattended) {
            FormShowAs(false);
            view_.SetText(Control::Label5, text::FieldText(e.szModel));
            view_.SetText(Control::Label6, text::FieldText(e.szFW));
            view_.SetText(Control::Label7, text::FieldText(slot.new_fw));
        } else {
            LogLine("cboDrivesChange: 7");
            FormShowAs(false);
        }
        return;
    }
    LogLine(Format("ENABLED: %d, %.40s %.8s\n", e.bEnabled, text::FieldText(e.szModel).c_str(),
                   text::FieldText(e.szFW).c_str()));
    view_.SetEnabled(Control::cmdUpdate, false);
    for (Control c : {Control::lblOldFW, Control::lblTo, Control::lblNewFW}) view_.SetVisible(c, false);
    view_.SetText(Control::lblUpdateMsg, e.bMatchedLocked ? t.UnlockPassword : t.NotAllowed);
    view_.SetTextColour(Control::lblUpdateMsg, kDarkRed);
}

}  // namespace orvane::app
