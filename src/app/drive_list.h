#pragma once
// The drive list's state: which table entry each item of cboDrives shows, the entry the user
// selected and what the firmware line shows for it.
#include <cstdint>
#include <string>

#include "app/drive_scan.h"

namespace orvane::app {

struct Selection {
    int m_ItemToDrive[kMaxDrives] = {};
    int m_ItemCount = 0;
    int item = -1;                 // the item the selection handler took, and its entry; -1: none
    int entry = -1;
    bool opened = false;           // the device object opened it
    uint32_t m_SelectedSlot = 0;   // its firmware slot
    std::string m_DetectedList;    // the listed items, a line each, for the no-match box
    std::string m_lblNewFW, m_lblFWExt;
    std::string TargetSerial;      // the selected drive's serial number, trimmed of nothing
    std::string TargetPath;        // its instance identifier

    // The table entry of a list item; -1 when there is none.
    int EntryOf(int item) const { return item >= 0 && item < m_ItemCount ? m_ItemToDrive[item] : -1; }
};

}  // namespace orvane::app
