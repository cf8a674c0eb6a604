// Firmware version check, factory reset and the hand-over to the firmware
// update tool.
#include <cstdio>
#include <cstdlib>

#include "link/commands/command_set.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/text.h"

namespace commands {

namespace {

constexpr size_t kMaxServerVersionLength = 10;
constexpr int kResetWaitMs = 100;
constexpr int kReceiverResetWaitMs = 1600;
constexpr int kToolRetryWaitMs = 2000;

}  // namespace

bool CommandSet::CheckFirmwareVersion(const CString& serverVersionText) {
    state_.remoteFirmwareVersion.clear();
    if (serverVersionText.empty() || serverVersionText.size() > kMaxServerVersionLength) return false;
    state_.remoteFirmwareVersion = serverVersionText;

    int version = -1;
    manager_.ReadFirmwareVersion(version);  // a failed request leaves -1
    if (version < 0) return false;
    const int keyboard = FirmwareVersionNumber(version);
    const int server = platform::ParseDecimal(serverVersionText);
    if (keyboard >= server) return false;
    if (hooks_.firmwareUi) {
        hooks_.firmwareUi->SetUpgradeStatus(1);
        hooks_.firmwareUi->PushTask(kTaskDownloadFirmware);
    }
    return true;
}

void CommandSet::FactoryReset() {
    const int type = state_.deviceType.load();
    if (type <= 200) {
        SendOutputReport(FactoryResetReport());
        Sleep(kResetWaitMs);
    } else if (type <= 299) {
        if (manager_.GetConnectionMode() == 0) {
            SendFeatureReport(FactoryResetFeature());
            Sleep(kResetWaitMs);
        } else {
            // The receiver needs the pause between the two packets.
            manager_.WritePacket(FactoryResetPacket());
            Sleep(kReceiverResetWaitMs);
            manager_.WritePacket(FactoryResetEndPacket());
        }
    } else {
        return;
    }
    // Reset commands are not checked: the pages show the store's state.
    if (hooks_.pages) hooks_.pages->ReloadPages();
}

FirmwareToolResult CommandSet::RunFirmwareTool() {
    if (layout_.firmwareFile.empty()) return FirmwareToolResult::Missing;
    CString path;
    path.Format(L"%s\\firmware\\%s", Folder().c_str(), layout_.firmwareFile.c_str());
    const std::string native = platform::NativePath(path);
    if (!platform::FileExists(native)) return FirmwareToolResult::Missing;

    // The tool opens the keyboard's interfaces itself.
    manager_.CloseAll();
    const pid_t pid = start_ ? start_(native) : platform::StartProcess(native, {});
    if (pid > 0) {
        if (hooks_.program) {
            hooks_.program->ExitProgram(0);
        } else {
            std::fflush(nullptr);
            std::_Exit(0);
        }
        return FirmwareToolResult::Started;
    }
    Sleep(kToolRetryWaitMs);
    if (hooks_.program) hooks_.program->RefreshConnection();
    return FirmwareToolResult::StartFailed;
}

}  // namespace commands
