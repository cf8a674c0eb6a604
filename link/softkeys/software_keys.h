// Software keys: the main window's share of the key filter and the virtual
// keyboard. At start-up the drivers are checked (and installed when the
// virtual keyboard cannot be opened); on every profile reload the current
// profile's assigned keys become the filter's table; a reported key is then
// performed by its kind:
//   2  another key: held on the virtual keyboard while the key is (media
//      codes 232 and above as their consumer usage)
//   5  a mouse button, held likewise
//   7  a built-in shortcut, played on the press, 10 ms between steps
//   3  a macro, queued on the press for the worker (PlaySoftwareMacro)
// Other kinds do nothing here.
//
// What the main window and the store provide comes through SoftKeyHost and
// MacroSource; the filter and the virtual device through their seams.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/softkeys/backends.h"
#include "link/softkeys/driver_helper.h"
#include "link/softkeys/filter_monitor.h"
#include "platform/key_hook.h"

namespace softkeys {

// The fields of a key assignment row that the software keys read.
struct KeyAssignment {
    int key_code = 0;
    int macro_type = 0;
    int macro_value = 0;
};

// The fields of a macro and of its steps.
struct MacroInfo {
    int macro_id = 0;
    int play_times = 0;
};
struct MacroStep {
    int type = 0;  // 2 key pressed, 3 key released
    int value = 0;  // virtual-key code
    int delay_time = 0;  // milliseconds
};

// Implemented by the main window.
class SoftKeyHost {
public:
    virtual ~SoftKeyHost() = default;
    // The assignment rows of the current profile and Fn layer, in row order.
    virtual std::vector<KeyAssignment> CurrentKeyAssignments() = 0;
    // Appends a macro id to the macro play queue. Called on the listening
    // thread; it must only take the queue's lock.
    virtual void QueueMacro(int macroId) = 0;
    // A modal message box over the main window; returns when it is closed.
    virtual void ShowMessageBox(const std::wstring& title, const std::wstring& text) = 0;
    // Ends the process with this exit code.
    virtual void ExitProcess(int code) = 0;
};

// Implemented over the store.
class MacroSource {
public:
    virtual ~MacroSource() = default;
    virtual bool GetMacro(int macroId, MacroInfo& macro) = 0;
    // The steps in record_index order.
    virtual std::vector<MacroStep> ListMacroRecords(int macroId) = 0;
};

struct SoftwareKeysSetup {
    // Where the helper and the rules are; empty: DriverFolder(ProgramFolder()).
    std::string driverFolder;
    // Runs the helper; empty: RunCommand.
    CommandRunner runCommand;
    // Whether the program runs as root (no pkexec then); empty: geteuid() == 0.
    std::function<bool()> isRoot;
};

class SoftwareKeys {
public:
    SoftwareKeys(SoftKeyHost& host, MacroSource& macros, std::shared_ptr<FilterBackend> filter,
                 SoftwareKeysSetup setup = {});
    // Shutdown().
    ~SoftwareKeys();
    SoftwareKeys(const SoftwareKeys&) = delete;
    SoftwareKeys& operator=(const SoftwareKeys&) = delete;

    // Once at start-up: open the virtual keyboard, installing the drivers
    // when it cannot be opened; then register the listener and open the
    // filter. When the drivers cannot be set up: the "InstallDriver Error!"
    // message, then the process ends with exit code 0. True when set up.
    bool StartSoftwareKeys();
    // On each profile reload: the current profile's assigned keys become the
    // filter's table and the listening thread (re)starts.
    void LoadSoftwareKeyTable();
    // Ends the listening thread and, when one ran, releases every key of the
    // virtual keyboard. Returns within the time a listener takes for one event.
    void StopMonitor();
    // The filter's table emptied (256 zero bytes): the keyboard types
    // normally again.
    void ClearFilterTable();
    // Run the helper with "remove"; true when it could be started.
    bool RemoveDrivers();
    // True at once when the virtual keyboard opens; otherwise the helper runs
    // "remove" and then "install <rules>", and the result is whether the
    // virtual keyboard opens after that.
    bool InstallDrivers();

    // The listener: performs the key's function. Returns 0.
    int OnSoftwareKey(int code, bool pressed);
    // Plays a macro on the virtual keyboard (the worker's job): every step in
    // order, at least 5 ms after each, all keys released after each pass.
    // The calling thread plays at real-time priority where that is allowed
    // (platform::PromptWakeups) and gets its own back afterwards.
    void PlaySoftwareMacro(int macroId);

    // Every key of the filtered keyboards goes to `sink` first (the macro
    // recorder's system-wide capture). False when the filter is not open.
    bool StartKeyCapture(std::shared_ptr<platform::KeyCaptureSink> sink);
    void StopKeyCapture();

    // Exit and teardown: listening stopped, all keys released, the table
    // cleared, capture ended and the filter closed, so nothing stays held or
    // grabbed. Safe to call more than once and from a signal-handling thread.
    void Shutdown();

    // The software key map (key code -> its row), filled with the table.
    std::map<int, KeyAssignment> SoftwareKeyMap() const;
    HidUsbFilter::FilterMonitor& Monitor() { return monitor_; }

private:
    void PlayShortcut(int number);

    SoftKeyHost& host_;
    MacroSource& macros_;
    HidUsbFilter::FilterMonitor monitor_;
    SoftwareKeysSetup setup_;
    mutable std::mutex mapLock_;
    std::map<int, KeyAssignment> keyMap_;
    std::mutex shutdownLock_;
};

}  // namespace softkeys
