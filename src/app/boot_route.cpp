// The boot-time route of the Update command: the deciphered image and a native flasher go into
// the system directory, the flasher is registered to run at the next start of Windows, and the
// restart is offered. What a failed step wrote is taken back.
#include "app/texts.h"
#include "app/update_run.h"
#include "app/update_texts.h"
#include "package/package_layout.h"
#include "system/boot_setup.h"
#include "system/os_version.h"

namespace orvane::app {

namespace ut = update_text;

namespace {

// The flasher table's entries by their auxiliary slots' tags.
constexpr const char* kFlasherTags[system::kFlasherCount] = {
    "EXE_2008_X86", "EXE_2008_X64", "EXE_WIN7_X86", "EXE_WIN7_X64", "EXE_2003_X86", "EXE_2003_X64", "EXE_XP_X86",
};

int AuxSlot(std::string_view tag) {
    for (int k = 0; k < package::kAuxCount; ++k)
        if (tag == package::kAuxSlots[k].tag) return k;
    return -1;
}

// The copy program for an OS family.
const char* CopyProgramTag(uint8_t family) {
    switch (family) {
        case system::kFamilyWin7: return "EXE_COPYFILE_WIN7";
        case system::kFamilyXP: return "EXE_COPYFILE_XP";
        case system::kFamily2003:
        case system::kFamily2003R2: return "EXE_COPYFILE_2K3";
        default: return "EXE_COPYFILE_2K8";
    }
}

}  // namespace

std::optional<Verdict> TOrvaneMain::CheckBootRoute(UpdateRun& run) {
    const DEV_INFO& e = run.target.drive;
    // The flasher speaks ATA to the drive it is told: an NVMe drive or a RAID port's drive would
    // have another device's transport written into its settings.
    const char* refused = e.bIsNvme                                    ? ut::kBootRouteNvme
                          : run.target.address.gScanType == kScanCsmi ? ut::kBootRouteCsmi
                                                                      : nullptr;
    std::string why;
    if (!refused && !OpenEntry(e, run.target.address)) refused = ut::kBootReopenFailed;
    // The flasher gets the transport the drive answers on: none, or one that cannot carry the
    // download's offsets, would leave it nothing to send the image over.
    if (!refused && m_Device->protocol() == device::kProtoNone) refused = ut::kBootNoTransport;
    if (!refused && !m_Device->carries_download(&why)) {
        LogLine("DOWNLOAD_REFUSED: " + why + "\n");
        refused = why.c_str();
    }
    if (!refused) return CheckPower();
    const std::string text = refused;
    LogLine(text + "\n");
    Box(kErrorCaption, text, BoxButtons::Ok, BoxIcon::Error);
    return Verdict{1, outcome::Refused(text)};
}

void TOrvaneMain::BootTimeRoute(UpdateRun& run) {
    platform::SystemApi& api = ctx_.platform.system;
    LogLine("Boot Flash START\n");
    if (auto v = CheckBootRoute(run)) return EndBootRoute(run, *v);

    const std::string fw_path = api.SystemDirectory() + "\\FW.bin";
    const std::vector<uint8_t> image(m_ImageBuffer.begin(), m_ImageBuffer.begin() + run.image_length);
    if (!api.WriteFile(fw_path, image)) {
        LogLine(Format("BOOT_SETUP: cannot write %s\n", fw_path.c_str()));
        Box(kErrorCaption, ut::kFwFileFailed, BoxButtons::Ok, BoxIcon::Error);
        return EndBootRoute(run, Verdict{1, outcome::Failed(ut::kFwFileFailed)});
    }

    const uint32_t code = PrepareBootUpdate(run);
    if (code >= 2) {
        // Nothing half-done stays: no image without its flasher.
        api.RemoveFile(fw_path);
        Box(kErrorCaption, Format(ut::kBootSetupFailed, code), BoxButtons::Ok, BoxIcon::Error);
        return EndBootRoute(run, Verdict{1, outcome::Failed(Format(ut::kBootSetupFailed, code))});
    }

    // Not reported when it fails: the restart asks for it again.
    if (!api.EnableShutdownPrivilege()) LogLine("BOOT_SETUP: shutdown privilege not enabled\n");
    Box(ut::kInformationCaption, ut::kBootWarning, BoxButtons::Ok, BoxIcon::Information);
    if (Box(ut::kQuestionCaption, ut::kBootRebootQuestion, BoxButtons::YesNo, BoxIcon::Question) == BoxAnswer::Yes) {
        m_PendingExit = platform::ExitKind::Reboot;
        LogLine("RESTART requested\n");
    }
    // The update itself happens at the next start: prepared is all this run can claim.
    EndBootRoute(run, Verdict{0, outcome::kBootPrepared});
}

uint32_t TOrvaneMain::PrepareBootUpdate(const UpdateRun& run) {
    const DEV_INFO& e = run.target.drive;
    platform::SystemApi& api = ctx_.platform.system;
    system::FlasherTable table;
    for (int k = 0; k < system::kFlasherCount; ++k) {
        const int aux = AuxSlot(kFlasherTags[k]);
        table[static_cast<size_t>(k)] = {package::AuxImage(m_Package, aux), m_Package.aux[aux].size};
    }

    system::BootSettings s;
    s.flasher_name = "Ostrel.exe";
    s.ReBoot = opt().ReBoot;
    s.Preformat = opt().Preformat;
    s.bBPreformat = opt().bBPreformat;
    s.bUpdateBoot = opt().bUpdateBoot;
    s.protocol = m_Device->protocol();
    s.fw_ext = std::string(text::TrimView(run.target.fw_ext));
    s.new_fw = std::string(text::TrimView(run.target.new_fw));
    s.serial = text::FieldText(e.szSN, 20);
    s.revision = text::FieldText(e.szFW, 8);
    s.model = text::FieldText(e.szModel, 40);
    s.image_name = "FW.bin";
    LogLine(Format("BOOT_SETUP: PROTOCOL=%d, %s\\FW.bin\n", s.protocol, api.SystemDirectory().c_str()));

    const system::BootSetupResult r = system::SetUpBootUpdate(api, &table, s);
    LogLine(Format("BOOT_SETUP: 0x%X %s\n", r.code, r.ok() ? r.flasher_path.c_str() : r.detail.c_str()));
    if (!r.ok() || api.IsWow64Process() != platform::Wow64::Yes) return r.code;

    // A 32-bit program's system directory is the 32-bit view: the copy program brings the files
    // into the one the boot-time flasher runs from.
    const std::string windows = api.WindowsDirectory();
    const std::string copier = windows + "\\SysWOW64\\CopyFile.exe";
    const int aux = AuxSlot(CopyProgramTag(system::OsFamilyOf(system::OSVersionCode(api))));
    const uint8_t* bytes = package::AuxImage(m_Package, aux);
    const int32_t size = m_Package.aux[aux].size;
    const std::vector<uint8_t> program(bytes, bytes + (size > 0 ? size : 0));
    uint32_t code = r.code;
    if (!api.WriteFile(copier, program)) {
        code = system::kBootCopyProgramFailed;
    } else if (!api.StartHidden("cmd.exe", "/c " + copier)) {
        api.RemoveFile(copier);
        code = system::kBootCopyStartFailed;
    }
    if (code != r.code) {
        LogLine(Format("BOOT_SETUP: 0x%X %s\n", code, copier.c_str()));
        system::UndoBootUpdate(api, r);
    }
    return code;
}

void TOrvaneMain::EndBootRoute(UpdateRun& run, const Verdict& v) {
    iErrorLevel = v.exit_code;
    run.outcome = v.outcome;
    LockTarget(false);
    EndProgram();
}

}  // namespace orvane::app
