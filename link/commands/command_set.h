// The keyboard's command sets: key mapping and macros, lighting, and the
// device queries and maintenance. The current device type (CommandState)
// chooses the set:
//   up to 200     output reports: key table 0x8D, macros 0x8E, light 0x88/0x89,
//                 per-key colours 0x8B, colour frames 0xF1 (interface 3)
//   201 to 299    8-byte feature reports with report id 7 (slot table 0xFB,
//                 remap slot 0xFA, macro slot 0xF1, light 0xF7, music level),
//                 and 64-byte packets for lighting and reset off the cable
//
// Every operation reads the store afresh and sends through the DeviceManager;
// its fixed waits are slept on the manager's clock. Without an open channel
// the report operations return at once and the loops run through sending
// nothing. Nothing is thrown; failures are reported only where a caller acts
// on them.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>

#include "link/commands/command_state.h"
#include "link/commands/encoders.h"
#include "link/device_description.h"
#include "link/device_manager.h"
#include "store/profile_store.h"

namespace commands {

// Which engine StreamKeyColours samples.
enum class EffectSource { Screen, Music };

enum class FirmwareToolResult {
    Missing,      // no such file: nothing was done
    Started,      // the tool runs; the program was told to end
    StartFailed,  // it could not be started: waited, then refreshed the connection
};

class CommandSet {
public:
    // All four must outlive the command set. The layout is read at every
    // call (the main window does not load another while an upload runs).
    CommandSet(CommandState& state, ProfileStore& store, const KeyboardLayout& layout,
               DeviceManager& manager = DeviceManager::Instance());

    void SetHooks(const CommandHooks& hooks) { hooks_ = hooks; }
    const CommandHooks& Hooks() const { return hooks_; }
    // Where firmware\ is, without a trailing separator; the program folder
    // unless set.
    void SetProgramFolder(const CString& folderNoSlash) { folder_ = folderNoSlash; }
    // How the firmware tool is started; platform::StartProcess without
    // arguments unless set (tests give a recorder).
    void SetProcessStarter(std::function<pid_t(const std::string& path)> start) { start_ = std::move(start); }

    // ---- keys and macros --------------------------------------------------
    // Task 6: the key upload of the current device type (types 300 and above:
    // nothing).
    void UploadKeys();
    // Types 201 to 299: the full upload, or the single-key upload when the
    // one-key-changed flag is set; clears the flag.
    void UploadKeyAssignments();
    // One 0xFA report for `keyCode`'s assignment in the current profile and
    // layer: the remap, or the empty slot when its value is below 1, or
    // nothing for kinds 0, 3 and 7.
    void SendKeyRemap(int keyCode, int slot);
    // The 28 reports of one 0xF1 macro slot: built-in shortcut (kind 7),
    // recorded macro (kind 3) or the empty slot (any other kind).
    void SendMacroSlot(int keyCode, int slot, int kind, int value);
    // Types up to 200: UploadMacros, then the 0x8D key table.
    void UploadKeyTable();
    // The 0x8E transfers; rebuilds macroSlotByKey. False when a packet failed
    // (the upload stopped there).
    bool UploadMacros();

    // ---- lighting ---------------------------------------------------------
    // Task 7: the current light mode's settings; types up to 200 send the
    // mode after a mode change and the parameters otherwise.
    void UploadLightSettings();
    // Types below 200, from the lighting page's slot list: the 0xFF preset
    // and the picture repainted with that slot's colours.
    void SendLightPreset();
    // Task 8: the 0x8B per-key colour table of colour set 128. False when a
    // report failed (the rest were not sent).
    bool UploadCustomColours();
    // The worker's idle step for the music and screen effects (types below
    // 200): the picture painted from the engine, and a frame when something
    // is lit and the keyboard is on the cable.
    void StreamKeyColours(EffectSource source);
    // The picture's colours as one 0xF1 frame on the interface-3 channel,
    // after the stream switch the first time in the process.
    void SendKeyFrame();
    // Types 201 to 299, once per audio level (capture thread).
    void SendMusicLevel(int level);

    // ---- device queries and maintenance -----------------------------------
    // Task 13 with the text the update server gave: true (and the upgrade
    // mark and task 15) when the keyboard's version is smaller.
    bool CheckFirmwareVersion(const CString& serverVersionText);
    // Task 10: the reset of the current device type and connection, then the
    // pages reloaded (types 300 and above: nothing).
    void FactoryReset();
    // Task 16: closes the keyboard's interfaces and starts the firmware tool;
    // the program ends once it runs.
    FirmwareToolResult RunFirmwareTool();

private:
    bool FeatureFamily() const;
    bool ReportFamily() const;
    int Profile() const { return state_.currentProfile.load(); }
    int Layer() const { return state_.currentFnLayer.load(); }
    void Sleep(int ms);
    void SendFeatureReport(const FeatureReport& report);
    bool SendOutputReport(const OutputReport& report);
    void UploadSingleKey(const std::array<std::uint8_t, kSlotTableBytes>& table);
    bool ReadLightSetting(LightSettingRow& row);
    CString Folder() const;

    CommandState& state_;
    ProfileStore& store_;
    const KeyboardLayout& layout_;
    DeviceManager& manager_;
    CommandHooks hooks_;
    CString folder_;
    std::function<pid_t(const std::string&)> start_;
};

}  // namespace commands
