#include "app/texts.h"

namespace orvane::app {
namespace {

constexpr TextSet kEnglish = {
    "Please select target device",
    "it will be updated from",
    "To",
    "Message",
    "Update",
    "Close",
    "Model :",
    "Current FW Version :",
    "New FW Version :",
    "No F/W in executable !",
    "Error ...",
    "Device object initialize failed !",
    "Access denied ! You must have administrator privilege to flash SSD.",
    "No matched drives detected !\n",
    "Detected drives :\n",
    "Please unlock the password of SSD ! \n",
    "This flash utility only supports ",
    " SSD.\n\n",
    "NOTICE : \n\n",
    "1> Please close all applications before running this utility !\n",
    "2> Don't turn off the system while flash is in progress. \n",
    "3> Don't remove the adapter and battery during F/W reflash processing. \n",
    "\nDo you wish to continue ?",
    "It will be updated from",
    "To",
    "This drive is not allowed to be updated.",
    "Firmware update not completed",
    "An earlier firmware update did not take effect after the restart:\n\n",
    "\nThe drive still runs its earlier firmware. Run the update again; if it fails again, contact the "
    "drive's vendor. The log of this program has the details.",
};

constexpr TextSet kChinese = {
    "請選擇要更新的裝置",
    "將從以下版本更新",
    "至",
    "訊息",
    "更新",
    "關閉",
    "型號 :",
    "目前韌體版本 :",
    "新韌體版本 :",
    "執行檔中沒有韌體 !",
    "錯誤 ...",
    "裝置物件初始化失敗 !",
    "存取被拒 ! 您必須具有系統管理員權限才能更新 SSD 韌體。",
    "未偵測到符合的磁碟 !\n",
    "偵測到的磁碟 :\n",
    "請先解除 SSD 的密碼鎖定 ! \n",
    "本更新工具僅支援 ",
    " SSD。\n\n",
    "注意事項 : \n\n",
    "1> 執行本工具前，請關閉所有應用程式 !\n",
    "2> 韌體更新進行中，請勿關閉系統電源。 \n",
    "3> 韌體更新進行中，請勿移除變壓器與電池。 \n",
    "\n是否要繼續 ?",
    "將從以下版本更新",
    "至",
    "此磁碟不允許更新。",
    "韌體更新未完成",
    "先前的韌體更新在重新開機後並未生效 :\n\n",
    "\n此磁碟仍在執行先前的韌體。請再次執行更新；若仍失敗，請聯絡磁碟廠商。詳細資訊請參閱本程式的記錄檔。",
};

}  // namespace

const TextSet& Texts(int iLanguage) { return iLanguage == 1 ? kChinese : kEnglish; }

}  // namespace orvane::app
