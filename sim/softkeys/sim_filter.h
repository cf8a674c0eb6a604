// The simulated key filter: one simulated keyboard whose key presses and
// releases tests inject, run through the same filter rules as the evdev
// filter (FilterCore). It records every request, what the system receives
// from the keyboard (directly when not grabbed, through the pass-through
// copy when grabbed) and the grab; it can fail to open and be unplugged.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/softkeys/backends.h"
#include "platform/filter_core.h"

namespace sim {

class SimFilter final : public softkeys::FilterBackend {
public:
    struct Request {
        softkeys::FilterRequest code;
        std::vector<std::uint8_t> input;
    };
    // A key as the system receives it from the keyboard.
    struct SystemKey {
        int keyCode = 0;    // the keyboard's key code
        int inputCode = 0;  // KEY_*
        bool pressed = false;
        bool viaCopy = false;  // through the pass-through copy (grabbed)
        bool operator==(const SystemKey&) const = default;
    };

    SimFilter();
    ~SimFilter() override;

    // The seam.
    bool Open() override;
    bool IsOpen() const override;
    void Close() override;
    void SetTable(std::span<const std::uint8_t> table) override;
    void Prepare() override;
    void PrepareSecond() override;
    softkeys::FilterWait WaitKeyEvent(softkeys::FilterKeyEvent& event) override;
    void CancelWait() override;
    bool SetCapture(std::shared_ptr<platform::KeyCaptureSink> sink) override;

    // The keyboard. Key codes are the keyboard's (HID usages, 232-249 for
    // the media keys); false for a code the keyboard has no key for.
    bool Press(int keyCode) { return Inject(keyCode, true); }
    bool Release(int keyCode) { return Inject(keyCode, false); }
    bool Inject(int keyCode, bool pressed);
    // Any evdev event, followed by nothing (callers add SYN_REPORT).
    void InjectInput(const platform::InputEvent& event);
    void Unplug();
    void Plug();

    // Faults.
    void SetOpenFails(bool fail);

    // Records.
    std::vector<Request> Requests() const;
    std::vector<SystemKey> SystemKeys() const;
    bool Grabbed() const;
    int GrabChanges() const;
    bool Capturing() const;
    std::vector<std::uint16_t> TableCodes() const;  // from the last table sent
    std::size_t QueuedEvents() const { return events_.Size(); }
    void ClearRecords();
    // One line per request appended to a file ("R <code> <bytes> <codes>").
    void SetJournal(const std::string& path);

private:
    class CoreSink;

    void Log(softkeys::FilterRequest code, std::span<const std::uint8_t> input);
    void RecordSystem(const platform::InputEvent& event, bool viaCopy);

    mutable std::mutex lock_;
    std::unique_ptr<CoreSink> sink_;
    platform::FilterCore core_;
    platform::FilterEventQueue events_;
    std::shared_ptr<platform::KeyCaptureSink> capture_;
    bool open_ = false;
    bool openFails_ = false;
    bool plugged_ = true;
    bool grabbed_ = false;
    int grabChanges_ = 0;
    std::vector<std::uint16_t> tableCodes_;
    std::vector<Request> requests_;
    std::vector<SystemKey> system_;
    std::map<int, int> keyCodeOf_;  // input code -> key code last injected for it
    std::vector<std::uint16_t> physicallyDown_;
    int journal_ = -1;
};

}  // namespace sim
