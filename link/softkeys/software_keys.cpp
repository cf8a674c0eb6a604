#include "link/softkeys/software_keys.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>

#include "link/keys/key_codes.h"
#include "link/softkeys/vhidev.h"
#include "platform/paths.h"
#include "platform/timer_slack.h"

namespace softkeys {

namespace {

using keys::kKindKey;
using keys::kKindMacro;
using keys::kKindMouse;
using keys::kKindShortcut;
constexpr int kStepKeyPressed = 2;
constexpr auto kShortcutStepWait = std::chrono::milliseconds(10);
constexpr int kMinimumStepDelayMs = 5;

}  // namespace

SoftwareKeys::SoftwareKeys(SoftKeyHost& host, MacroSource& macros, std::shared_ptr<FilterBackend> filter,
                           SoftwareKeysSetup setup)
    : host_(host), macros_(macros), monitor_(std::move(filter)), setup_(std::move(setup)) {
    if (setup_.driverFolder.empty()) setup_.driverFolder = DriverFolder(platform::ProgramFolder());
    if (!setup_.runCommand) setup_.runCommand = RunCommand;
    if (!setup_.isRoot) setup_.isRoot = [] { return geteuid() == 0; };
    // A keyboard that goes away may have held software keys down.
    monitor_.SetKeyboardLostHandler([] { VHidev::Instance().ReleaseAll(); });
}

SoftwareKeys::~SoftwareKeys() { Shutdown(); }

bool SoftwareKeys::RemoveDrivers() {
    const std::string helper = setup_.driverFolder + "/" + kDriverHelperName;
    return setup_.runCommand(HelperCommand(helper, {"remove"}, setup_.isRoot())) != -1;
}

bool SoftwareKeys::InstallDrivers() {
    VHidev& device = VHidev::Instance();
    if (device.Open()) return true;
    RemoveDrivers();
    const std::string helper = setup_.driverFolder + "/" + kDriverHelperName;
    const std::string rules = RulesPath(setup_.driverFolder);
    if (setup_.runCommand(HelperCommand(helper, {"install", rules}, setup_.isRoot())) == -1) return false;
    return device.Open();
}

bool SoftwareKeys::StartSoftwareKeys() {
    VHidev& device = VHidev::Instance();
    // InstallDrivers removes before it installs, so the helper runs twice.
    if (!device.Open()) InstallDrivers();
    if (device.IsOpen()) {
        device.ReleaseAll();
        monitor_.AddListener(
            std::make_unique<HidUsbFilter::MonitorProxy<SoftwareKeys>>(this, &SoftwareKeys::OnSoftwareKey, 0));
        monitor_.OpenControl();
        return true;
    }
    host_.ShowMessageBox(L"Install Driver", L"InstallDriver Error!");
    host_.ExitProcess(0);
    return false;
}

void SoftwareKeys::LoadSoftwareKeyTable() {
    VHidev& device = VHidev::Instance();
    device.ReleaseAll();
    StopMonitor();  // releases again, after the last event the thread handled
    ClearFilterTable();

    std::array<std::uint8_t, kKeyTableBytes> table{};
    std::map<int, KeyAssignment> map;
    const auto rows = host_.CurrentKeyAssignments();
    const std::size_t count = std::min(rows.size(), kKeyTableEntries);
    for (std::size_t i = 0; i < count; ++i) {
        const auto& row = rows[i];
        table[4 * i] = static_cast<std::uint8_t>(row.key_code & 0xFF);
        table[4 * i + 1] = static_cast<std::uint8_t>((row.key_code >> 8) & 0xFF);
        table[4 * i + 2] = kKeyboardUsagePage;
        table[4 * i + 3] = kKeyTableEntryFlag;
        map[row.key_code] = row;
    }
    {
        std::lock_guard<std::mutex> guard(mapLock_);
        keyMap_ = std::move(map);
    }
    monitor_.SendTable(table);

    StopMonitor();
    monitor_.Prepare();
    monitor_.StartListening();
}

void SoftwareKeys::StopMonitor() {
    // What a listener held when it stopped would otherwise stay down: its
    // release may now never be handled.
    if (monitor_.StopMonitor()) VHidev::Instance().ReleaseAll();
}

void SoftwareKeys::ClearFilterTable() { monitor_.ClearTable(); }

std::map<int, KeyAssignment> SoftwareKeys::SoftwareKeyMap() const {
    std::lock_guard<std::mutex> guard(mapLock_);
    return keyMap_;
}

int SoftwareKeys::OnSoftwareKey(int code, bool pressed) {
    KeyAssignment row;
    {
        std::lock_guard<std::mutex> guard(mapLock_);
        auto it = keyMap_.find(code);
        if (it == keyMap_.end()) return 0;
        row = it->second;
    }
    VHidev& device = VHidev::Instance();
    switch (row.macro_type) {
    case kKindKey:
        if (!device.Open()) break;
        if (row.macro_value < 232) {
            device.SetKey(row.macro_value, pressed);
        } else {
            device.SetConsumer(keys::ConsumerUsageForKeyCode(row.macro_value), pressed);
        }
        break;
    case kKindMouse:
        if (!device.Open()) break;
        if (const int bit = keys::MouseButtonBit(row.macro_value); bit >= 0) device.SetMouseButton(bit, pressed);
        break;
    case kKindShortcut:
        if (pressed && device.Open()) PlayShortcut(row.macro_value);
        break;
    case kKindMacro:
        if (pressed) host_.QueueMacro(row.macro_value);
        break;
    default:
        break;
    }
    return 0;
}

void SoftwareKeys::PlayShortcut(int number) {
    VHidev& device = VHidev::Instance();
    const auto steps = keys::BuiltInShortcut(number);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (i > 0) std::this_thread::sleep_for(kShortcutStepWait);
        device.SetKey(steps[i].keyCode, !steps[i].release);
    }
    device.ReleaseAll();
}

void SoftwareKeys::PlaySoftwareMacro(int macroId) {
    using Clock = std::chrono::steady_clock;
    VHidev& device = VHidev::Instance();
    if (!device.Open()) return;
    device.ReleaseAll();
    MacroInfo macro;
    if (!macros_.GetMacro(macroId, macro)) return;
    const platform::FineTimerSlack fineTimers;
    const platform::PromptWakeups promptWakeups;
    for (int pass = 0; pass < macro.play_times; ++pass) {
        const auto steps = macros_.ListMacroRecords(macroId);
        // Each wait runs from the moment the step's report went out and is
        // never cut short to catch up: a step keeps at least its delay.
        for (const auto& step : steps) {
            const int code = keys::VirtualKeyToKeyCode(step.value);
            const bool down = step.type == kStepKeyPressed;
            if (keys::IsConsumerKeyCode(code)) {
                device.SetConsumer(keys::ConsumerUsageForKeyCode(code), down);
            } else {
                device.SetKey(code, down);
            }
            const auto sent = Clock::now();
            std::this_thread::sleep_until(sent +
                                          std::chrono::milliseconds(std::max(step.delay_time, kMinimumStepDelayMs)));
        }
        device.ReleaseAll();
    }
}

bool SoftwareKeys::StartKeyCapture(std::shared_ptr<platform::KeyCaptureSink> sink) {
    return monitor_.ControlOpen() && monitor_.Filter().SetCapture(std::move(sink));
}

void SoftwareKeys::StopKeyCapture() {
    if (monitor_.ControlOpen()) monitor_.Filter().SetCapture(nullptr);
}

void SoftwareKeys::Shutdown() {
    std::lock_guard<std::mutex> guard(shutdownLock_);
    StopMonitor();
    ClearFilterTable();
    StopKeyCapture();
    monitor_.CloseControl();
}

}  // namespace softkeys
