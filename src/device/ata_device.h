#pragma once
// TAtaDevice: the one object through which the program talks to a storage device. It owns
// the device manager's disk list, the open handle, the chosen command transport, the command
// records and buffers, and the error state of the last command. Operations never throw.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/ata_types.h"
#include "device/scsi_blocks.h"
#include "discovery/dev_mgr.h"
#include "platform/records/csmi.h"
#include "platform/records/storage.h"
#include "platform/platform.h"
#include "system/hi_timer.h"
#include "system/os_info.h"
#include "text/format.h"

namespace orvane::device {

using platform::IoResult;

constexpr uint32_t kDeviceBufferSize = 0x80000;
constexpr uint32_t kCsmiBufferSize = 0x80000 + 168;

// open_device kinds.
constexpr int kOpenAta = 0;
constexpr int kOpenCsmi = 14;
constexpr int kOpenNvme = 16;

class TAtaDevice {
public:
    // Enumerates the disks through a device manager of its own; debug_log_path is where
    // write_debug appends (the temporary-files folder and "ORVANE_DEBUG.txt").
    TAtaDevice(platform::Platform& platform, std::string debug_log_path);
    ~TAtaDevice();
    TAtaDevice(const TAtaDevice&) = delete;
    TAtaDevice& operator=(const TAtaDevice&) = delete;

    // kind 0: an ATA device, its transport probed; 14: CSMI port `index`; 16: an NVMe device.
    // path null: the device list's entry `index` (kind 0 makes it current).
    bool open_device(int index, const char* path = nullptr, int kind = kOpenAta);
    // Whether the kind-0 probe may send the vendor information read (a vendor command) before
    // IDENTIFY, as the drive scan does; off, it probes with IDENTIFY alone.
    void set_vendor_probe(bool on) { vendor_probe_ = on; }
    bool vendor_probe() const { return vendor_probe_; }
    void close_device();
    bool device_open() const { return hDevice != nullptr; }

    int device_count() const { return iDevCount; }
    // Whether the device manager's enumeration succeeded (the list may still be empty).
    bool device_list_ready() const { return list_ready_; }
    // The device manager that made the list, for its WMI queries and what the list left out.
    discovery::TDevMgr& device_manager() { return *dev_mgr_; }
    // -1: the current entry. Null when out of range.
    const discovery::DISK_NODE* device_entry(int index) const;
    uint8_t bus_type(int index) const;
    uint8_t protocol() const { return iProtocol; }
    void set_protocol(uint8_t n) { iProtocol = n; }
    const char* protocol_name() const { return ProtocolName(iProtocol); }
    void set_timeout(float seconds) { fTimeout = seconds; }
    uint8_t* read_buffer() { return ReadBuf.data(); }
    uint8_t* write_buffer() { return WriteBuf.data(); }
    void set_phy(uint32_t n) { bPhyIdentifier = n; }
    void set_port(uint32_t n) { bPortIdentifier = n; }
    void set_sas_address(uint32_t low, uint32_t high);
    void write_debug(const std::string& text);

    // One ATA command over the current transport. regs comes back with the returned
    // registers where the transport returns them; length becomes the returned byte count.
    uint8_t ata_command(IdeRegs& regs, uint8_t* buffer, IdeRegs* prev, uint8_t direction, uint32_t& length);
    // One SCSI command block through the SCSI pass-through requests.
    uint8_t scsi_command(const uint8_t* cdb, uint8_t cdb_length, uint8_t direction, uint32_t& length,
                         uint8_t* buffer);
    uint8_t jmicron_read_regs(uint16_t address, uint8_t* buffer, uint16_t count);
    // The "CMD_IDE " miniport's driver version; 0 when the request fails.
    double sil_driver_version();

    // CSMI port requests (an open kind-14 port). 0: the request was carried (the CSMI return
    // code is the caller's to read); 1: a control code other than 1, 20, 25 (nothing sent);
    // otherwise the result of the system's error.
    uint8_t csmi_ioctl(uint32_t control_code, uint8_t* buffer, uint32_t size);
    // The driver information and then the phy table into out; false when either was not had or
    // the table claims more phys than it holds.
    bool get_phy_info(records::CSMI_SAS_PHY_INFO& out);

    // NVMe miniport firmware requests (an open kind-16 device). One get-information request in
    // the caller's buffer; true when the request was carried (its SRB ReturnCode is in the buffer).
    bool DeviceGetFirmwareInfo(uint8_t* buffer, uint32_t size, bool verbose);
    // Download the image into a writable slot and activate it with the commit action. True only
    // when the drive accepted the activation; nvme_restart_required() then says whether the new
    // firmware runs only after a restart.
    bool nvme_flash_firmware(const uint8_t* image, uint32_t size, uint32_t commit_action, uint32_t slot);
    bool nvme_restart_required() const { return nvme_restart_required_; }
    // "<error> -- <system message>" of the last system error.
    std::string last_error_text();

    uint8_t identify_device();
    uint8_t read_vendor_info();
    uint8_t vendor_read_buffer(uint8_t a, uint8_t b);
    bool is_enterprise();

    // Firmware download and preformat flows (download_flows.cpp). Each stops at the first command
    // that does not return ATACMD_OK and returns that command's result.
    uint8_t flash_firmware(const uint8_t* image, uint32_t size, int max_sector, int flash_mode, bool boot_code,
                           bool reboot);
    uint8_t preformat();
    uint8_t pata_preformat();
    uint8_t pata_check();
    // Whether the open transport carries everything a download needs (the chunk's offset in CL
    // and CH, its sector count, data out of that size); the reason when it does not.
    bool carries_download(std::string* why = nullptr) const;

    // State, kept for the flows and for inspection after a command.
    system::HiTimer Timer0;
    system::HiTimer CmdTimer;
    system::HiTimer Timer2;
    std::unique_ptr<system::OSInfo> pOSInfo;
    std::vector<uint8_t> ReadBuf;
    std::vector<uint8_t> WriteBuf;
    std::vector<uint8_t> CsmiBuf;
    uint32_t bPhyIdentifier = 0;
    uint32_t bPortIdentifier = 0;
    uint8_t SASAddress[8] = {};
    // The driver information the last get_phy_info read.
    records::CSMI_SAS_DRIVER_INFO CsmiDriverInfo{};
    float fTimeout = 20.0f;
    uint8_t iProtocol = kProtoAta;
    std::unique_ptr<platform::StorageHandle> hDevice;
    IdePassThroughRecord IdeRec{};
    ATA_PASS_THROUGH_DIRECT AtaDirect{};
    AtaPassThroughExWithBuffer AtaEx{};
    ScsiPassThroughWithBuffers Spt{};
    ScsiPassThroughDirectWithSense Sptd{};
    SenseSummary Sense;
    uint8_t SenseBytes[32] = {};  // the sense area of the record the last SCSI command used
    int32_t iBridgePort = -1;
    const discovery::DISK_NODE* pDevList = nullptr;
    int iDevCount = 0;
    int iDevIndex = -1;
    std::string DebugLogPath;
    uint32_t dwLastError = 0;
    uint8_t bLastStatus = 0;
    IdeRegs OutRegs{};
    const discovery::DISK_NODE* pCurEntry = nullptr;
    // The entry of the device that is open (by index or by a path the list holds); null when
    // the list does not describe it.
    const discovery::DISK_NODE* pOpenEntry = nullptr;
    uint16_t wVendorId = 0;
    uint16_t wDeviceId = 0;
    int32_t iChunk = 0;
    int32_t iChunkTotal = 0;

private:
    void Probe(const discovery::DISK_NODE* entry);
    uint8_t PreferredFor(const discovery::DISK_NODE* entry);
    bool ProbeWith(uint8_t transport, bool identify);
    // Reopens the current entry when the handle is invalid; false when there is none to reopen.
    bool EnsureOpen();
    uint8_t Failed(const IoResult& io, const char* format);
    // One IOCTL_SCSI_MINIPORT request, size bytes in and out of buffer.
    IoResult SendMiniport(uint8_t* buffer, uint32_t size);
    // Path, target and lun of the open device, for the miniport's command record: from its
    // entry, else as its driver reports them. False when neither knows.
    bool OpenAddress(uint8_t& path_id, uint8_t& target_id, uint8_t& lun);
    // Whether a SCSI command with this status was carried out; parses its sense into Sense and
    // logs the error line when it was not.
    bool CommandRan(uint8_t status);
    uint32_t TimeoutSeconds() const;
    // The command log line; CSMI ends it after the request with the request's outcome.
    void LogCommand(uint8_t cmd, uint8_t fr, uint8_t sc, uint8_t sn, uint8_t cl, uint8_t ch, bool line_break = true);
    void SetNoRegs();

    uint8_t ata_passthrough(IdeRegs& regs, uint8_t* buffer, IdeRegs* prev, uint8_t direction, uint32_t& length);
    uint8_t ide_passthrough(IdeRegs& regs, uint8_t* buffer, uint8_t direction, uint32_t& length);
    uint8_t scsi_passthrough(IdeRegs& regs, uint8_t* buffer, uint8_t direction, uint32_t& length);
    uint8_t sil_passthrough(IdeRegs& regs, uint8_t* buffer, IdeRegs* prev, uint8_t direction, uint32_t& length);
    uint8_t csmi_passthrough(IdeRegs& regs, uint8_t* buffer, uint8_t direction, uint32_t& length);
    uint8_t sat_passthrough(IdeRegs& regs, uint8_t* buffer, IdeRegs* prev, uint8_t direction, uint32_t& length);
    uint8_t jmicron_command(IdeRegs& regs, uint8_t* buffer, uint8_t direction, uint32_t& length);
    uint8_t prolific_command(IdeRegs& regs, uint8_t* buffer, IdeRegs* prev, uint8_t direction, uint32_t& length);
    uint8_t sunplus_command(IdeRegs& regs, uint8_t* buffer, IdeRegs* prev, uint8_t direction, uint32_t& length);
    uint8_t simple_bridge_command(const Cdb& cdb, IdeRegs& regs, uint8_t* buffer, uint8_t direction,
                                  uint32_t& length);
    // Reads bridge registers into regs and OutRegs, keeping the command's records and sense.
    void read_back_regs(const Cdb& cdb, uint32_t count, void (*decode)(const uint8_t*, IdeRegs&), IdeRegs& regs);
    void detect_bridge_port();

    platform::Platform& platform_;
    std::unique_ptr<discovery::TDevMgr> dev_mgr_;
    bool list_ready_ = false;
    bool vendor_probe_ = true;
    // The driver's answer for a device opened by a path the list does not hold, once asked.
    bool open_address_asked_ = false;
    bool open_address_known_ = false;
    records::SCSI_ADDRESS open_address_{};
    bool reopening_ = false;
    // What the last open named, so that a reopen reaches the same drive (an open by path leaves
    // the current entry, and iDevIndex, on another one).
    int last_open_index_ = -1;
    std::string last_open_path_;
    int last_open_kind_ = 0;
    bool nvme_restart_required_ = false;
    // Set while flash_firmware sends a download whose drive does not restart: an answer of 7Fh
    // (no drive on the bus) is then a failed command, since nothing looks for the drive afterwards.
    bool no_device_fails_ = false;
};

using text::Format;

// Preferred transport from the OS version code and the disk's bus and USB/PCI identifiers.
uint8_t PreferredTransport(uint32_t os_version_code, uint8_t bus_type, uint16_t vendor_id, uint16_t device_id);

}  // namespace orvane::device
