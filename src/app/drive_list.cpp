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
    for (int i = 0; i < drives_.DriveCount && i < kMaxDrives; ++i) {
        DEV_INFO& e = drives_.m_DevInfo[i];
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
    selection_.m_DetectedList.clear();
    selection_.m_ItemCount = 0;
    ChkConstraint();
    LogLine(Format("RefreshComboBox: gCount:%d ", drives_.DriveCount));
    std::vector<DriveItem> items;
    for (int i = 0; i < drives_.DriveCount && i < kMaxDrives; ++i) {
        const DEV_INFO& e = drives_.m_DevInfo[i];
        if (m_Package.opt.bListMatchedOnly && !(e.bExisted && (e.bEnabled || e.bMatchedLocked))) continue;
        const std::string item = ItemText(e);
        selection_.m_DetectedList += item + "\n";
        selection_.m_ItemToDrive[selection_.m_ItemCount++] = i;
        items.push_back(DriveItem{item, e.bEnabled});
        LogLine(Format("cboDrives: str:%s ", item.c_str()));
    }
    view_.SetDriveItems(items);
    if (!items.empty()) view_.SetEnabled(Control::cboDrives, true);
    view_.SelectItem(Control::cboDrives, 0);
    for (int k = 0; k < selection_.m_ItemCount; ++k) {
        const DEV_INFO& e = drives_.m_DevInfo[selection_.m_ItemToDrive[k]];
        if (e.bExisted && e.bEnabled) view_.SelectItem(Control::cboDrives, k);
    }
}

void TOrvaneMain::FillNvmeSelectors(const records::STORAGE_FIRMWARE_INFO& info, uint8_t read_only_slots) {
    const TextSet& t = texts();
    view_.SetText(Control::lblFwSlot, t.FwSlotCaption);
    view_.SetText(Control::lblCommitAction, t.ActivationCaption);
    // Item k is slot k+1, as the update reads the choice. A read-only slot would refuse the
    // download: it is marked, and the first slot that takes firmware is chosen instead.
    std::vector<std::string> slots;
    int first_writable = -1;
    for (int s = 1; s <= (info.SlotCount ? info.SlotCount : 1); ++s) {
        const bool read_only = s <= 8 && (read_only_slots >> (s - 1) & 1u);
        slots.push_back(read_only ? Format(t.ReadOnlySlot, s) : std::to_string(s));
        if (!read_only && first_writable < 0) first_writable = s - 1;
    }
    view_.SetItems(Control::cboFwSlot, slots);
    view_.SetItems(Control::cboCommitAction, {t.CommitActions[0], t.CommitActions[1], t.CommitActions[2], t.CommitActions[3]});
    // With no slot that takes firmware nothing is chosen; the update then finds none.
    view_.SelectItem(Control::cboFwSlot, first_writable);
    view_.SelectItem(Control::cboCommitAction, 3);
}


bool TOrvaneMain::UpdateOffered() const {
    const int e = selection_.entry;
    // With the automatic walk the window starts every update itself.
    return e >= 0 && drives_.m_DevInfo[e].bEnabled && !(opt().bAutoFlashAll && !opt().bUnattended);
}

void TOrvaneMain::SelectDrive() {
    const int item = view_.SelectedItem(Control::cboDrives);
    // An empty list has nothing selected: there is no drive to open.
    if (item < 0 || item >= selection_.m_ItemCount || !m_Device) return;
    const int idx = selection_.m_ItemToDrive[item];
    DEV_INFO& e = drives_.m_DevInfo[idx];
    selection_.m_SelectedSlot = 0;
    LogLine(Format("cboDrivesChange: 1, idx=%d", idx));

    selection_.opened = OpenEntry(e, address_);
    if (address_.gScanType == kScanCsmi) {
        if (!m_Package.opt.bUnattended) LogLine("cboDrivesChange: 2");
    } else if (e.bIsNvme) {
        LogLine("cboDrivesChange: 3-1");
        LogLine(Format("cboDrivesChange: 3-1, m_DevInfo[idx].order=%d", e.order));
    } else {
        LogLine("cboDrivesChange: 3-2");
    }
    if (!selection_.opened) LogLine(Format("cboDrivesChange: the drive of entry %d could not be opened", idx));

    selection_.item = item;
    selection_.entry = idx;
    selection_.TargetSerial = text::FieldText(e.szSN);
    selection_.TargetPath = text::FieldText(e.szInstanceId);
    LogLine("cboDrivesChange: 4");

    for (Control c : {Control::lblFwSlot, Control::cboFwSlot, Control::lblCommitAction, Control::cboCommitAction})
        view_.SetVisible(c, e.bIsNvme);
    // The selectors offer this drive's own slots, not those of the last drive the scan read.
    if (e.bIsNvme) FillNvmeSelectors(e.FwSlotInfo, e.FwSlotReadOnly);
    LogLine("cboDrivesChange: 5");

    const TextSet& t = texts();
    if (e.bEnabled) {
        LogLine("cboDrivesChange: 6");
        view_.SetEnabled(Control::cmdUpdate, UpdateOffered());
        for (Control c : {Control::lblOldFW, Control::lblTo, Control::lblNewFW}) view_.SetVisible(c, true);
        view_.SetText(Control::lblUpdateMsg, t.UpdatedFrom);
        view_.SetTextColour(Control::lblUpdateMsg, kBlack);
        view_.SetTextColour(Control::lblTo, kBlack);
        selection_.m_SelectedSlot = e.wSlot;
        const package::SlotInfo& slot = m_Package.slots[e.wSlot < package::kSlotCount ? e.wSlot : 0];
        selection_.m_lblNewFW = text::FieldText(slot.new_fw);
        selection_.m_lblFWExt = text::FieldText(slot.fw_ext);
        view_.SetText(Control::lblNewFW, selection_.m_lblNewFW);
        view_.SetText(Control::lblFWExt, selection_.m_lblFWExt);
        view_.SetText(Control::lblOldFW, text::FieldText(e.szFW));
        // An erase installs nothing: the line says what happens to the drive's data instead.
        if (bEraseAll) {
            for (Control c : {Control::lblOldFW, Control::lblTo, Control::lblNewFW}) view_.SetVisible(c, false);
            view_.SetText(Control::lblUpdateMsg, t.EraseLine);
            view_.SetTextColour(Control::lblUpdateMsg, kDarkRed);
        }
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
