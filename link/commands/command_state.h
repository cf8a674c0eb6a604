// What the command sets read and write of the main window: its state object
// and the few things of its pages they reach. The main window owns one
// CommandState and implements the interfaces (tests use fakes).
//
//   CommandState ........ profile, layer, device type, single-key upload,
//                         macro slots of the output-report keyboards, the
//                         lighting page's choices, music parameters
//   ILightingPicture .... the lighting page's KeyboardCtrl
//   IEffectColours ...... one colour per key-matrix cell from an engine
//   IPageReload ......... reload of the pages after a factory reset
//   IFirmwareUpdateUi ... upgrade mark and task queue of the firmware check
//   IProgramControl ..... connection refresh and program end
//
// Threads: the uploads run on the worker, SendLightPreset on the UI thread,
// SendMusicLevel on the audio capture thread. The fields those threads share
// are atomics; macroSlotByKey and remoteFirmwareVersion belong to the worker.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <vector>

#include "tavri/types.h"

namespace commands {

// Worker task codes the commands queue.
constexpr int kTaskDownloadFirmware = 15;

// Lighting rows, custom colours and the music light are kept with profile 1
// whatever profile is current.
constexpr int kLightingProfile = 1;

struct CommandState {
    // Key page: the profile and Fn layer uploads send.
    std::atomic<int> currentProfile{0};
    std::atomic<int> currentFnLayer{0};
    // The device type addressed (selects the command set).
    std::atomic<int> deviceType{0};
    // Single-key upload of the feature-report keyboards: set by the key page,
    // cleared by UploadKeyAssignments.
    std::atomic<bool> oneKeyChanged{false};
    std::atomic<int> changedKeyCode{0};
    // Output-report keyboards: key code -> macro slot, rebuilt by every
    // UploadMacros and read by UploadKeyTable. Worker only.
    std::map<int, int> macroSlotByKey;

    // Lighting page: light profile and current mode, the option list's
    // 0-based selection (custom lighting slot), and whether the last chosen
    // mode has been sent (cleared when the user picks another mode).
    std::atomic<int> lightProfile{kLightingProfile};
    std::atomic<int> currentLightMode{0};
    std::atomic<int> optionSelection{0};
    std::atomic<bool> modeSent{true};

    // Music controls of the feature-report keyboards.
    std::atomic<std::uint8_t> musicColour{1};
    std::atomic<std::uint8_t> musicEffect{0};
    std::atomic<float> musicGain{1.0f};  // sensitivity slider position / 50

    // The firmware version text the update server gave (1 to 10 characters),
    // kept for the download's file name; empty when none. Worker only.
    CString remoteFirmwareVersion;
};

// One key of the lighting page's picture.
struct PictureKey {
    int code = 0;
    COLORREF colour = 0;
};

// The lighting page's keyboard picture (KeyboardCtrl).
class ILightingPicture {
public:
    virtual ~ILightingPicture() = default;
    virtual void SetKeyColor(int keyCode, COLORREF colour) = 0;
    // Every key in the picture's order, two keys with one code included.
    virtual std::vector<PictureKey> GetKeyItems() const = 0;
    virtual void ResetAllItemsColor(COLORREF colour) = 0;
    // Every key white when `white` is not 0, else `colour`.
    virtual void SetLightModeColor(int white, COLORREF colour) = 0;
    virtual void Redraw() = 0;
};

// The colour an effect engine gives a cell of the layout's key matrix.
class IEffectColours {
public:
    virtual ~IEffectColours() = default;
    virtual COLORREF CellColour(int row, int column) const = 0;
};

class IPageReload {
public:
    virtual ~IPageReload() = default;
    // Macro list, key page and lighting page again from the store.
    virtual void ReloadPages() = 0;
};

class IFirmwareUpdateUi {
public:
    virtual ~IFirmwareUpdateUi() = default;
    // The settings page's firmware upgrade button (1 = update available).
    virtual void SetUpgradeStatus(int status) = 0;
    virtual void PushTask(int code) = 0;
};

class IProgramControl {
public:
    virtual ~IProgramControl() = default;
    // Device scan and connection refresh.
    virtual void RefreshConnection() = 0;
    // Ends the process with `code`; the real one does not return.
    virtual void ExitProgram(int code) = 0;
};

// Everything may be null: the commands then skip what they would show,
// queue or refresh (keyloomctl has no pages). Null program control ends the
// process with std::exit.
struct CommandHooks {
    ILightingPicture* picture = nullptr;
    IEffectColours* screenEngine = nullptr;
    IEffectColours* musicEngine = nullptr;
    IPageReload* pages = nullptr;
    IFirmwareUpdateUi* firmwareUi = nullptr;
    IProgramControl* program = nullptr;
};

// True once the first colour frame switched the keyboard to streaming; kept
// for the whole process, so the switch goes out at most once per run.
bool StreamModeEntered();
// Tests only: a fresh process's value again.
void ResetStreamModeEnteredForTests();

}  // namespace commands
