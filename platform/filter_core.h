// The decisions of the key filter, apart from any device: which events of a
// keyboard are reported as table keys, offered to the capture hook or passed
// on to the keyboard's pass-through copy, and when the keyboard may be
// grabbed. The evdev filter feeds it from real event nodes, the simulated
// filter from injected keys; both own one instance and call it from one
// thread at a time.
//
// Rules, per keyboard:
//   - The keyboard is grabbed while the table is not empty or capture is on.
//     A grab starts only when no key of the keyboard is held: the system saw
//     that key's press, and under a grab it would never see the release.
//     Ending a grab is immediate; keys then held on the copy are released
//     there, table keys then held are reported released.
//   - A key's release goes where its press went (the copy, the report, the
//     hook), whatever changed in between, so no key is left held anywhere.
//   - Grabbed, a press is offered to the capture hook first; one the hook
//     keeps goes no further. Otherwise a table key is reported as
//     (key code, pressed) and anything else goes to the copy unchanged.
//   - Auto-repeats are not passed on: the copy repeats by itself. LED events
//     are not passed on either: LEDs flow from the system to the keyboard.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "platform/key_hook.h"

namespace platform {

struct InputEvent {
    std::uint16_t type = 0;
    std::uint16_t code = 0;
    std::int32_t value = 0;
    bool operator==(const InputEvent&) const = default;
};

class FilterCore {
public:
    class Sink {
    public:
        virtual ~Sink() = default;
        // To the keyboard's pass-through copy.
        virtual void Forward(int device, const InputEvent& event) = 0;
        // A table key, as the filter reports it (key code, usage page 7, pressed).
        virtual void Report(std::uint16_t keyCode, bool pressed) = 0;
        // Start or end the exclusive grab; false when it could not be done.
        virtual bool Grab(int device, bool on) = 0;
    };

    explicit FilterCore(Sink& sink) : sink_(sink) {}

    // The table as (input code, key code) pairs; a key code may stand for
    // several input codes and the other way round, the first pair wins.
    void SetTable(const std::vector<std::pair<std::uint16_t, std::uint16_t>>& entries);
    bool TableEmpty() const { return table_.empty(); }
    void SetCapture(bool on);
    bool Capturing() const { return capture_; }

    // A keyboard appears with the keys it already holds and its Num Lock LED.
    void AddDevice(int device, const std::vector<std::uint16_t>& keysDown, bool numLock);
    // It is gone: held table keys are reported released, held keys of the
    // copy are released there.
    void RemoveDevice(int device);
    bool HasDevice(int device) const { return devices_.count(device) != 0; }
    bool Grabbed(int device) const;
    std::vector<int> Devices() const;

    // While capture is on, a key event of a grabbed keyboard is first offered
    // to the hook: this gives the message and record to offer, or nothing.
    // The caller asks its sink without holding any lock and hands the answer
    // to OnEvent.
    struct HookOffer {
        unsigned message = 0;
        KeyHookRecord record;
    };
    std::optional<HookOffer> OfferFor(int device, const InputEvent& event) const;
    void OnEvent(int device, const InputEvent& event, bool keptByHook = false);
    // After lost events (SYN_DROPPED): the keys the keyboard holds now. Keys
    // no longer held are released along their routes, new ones pressed.
    void Resync(int device, const std::vector<std::uint16_t>& keysDown);

private:
    enum class Route { System, Copy, Report, Hook };
    struct Held {
        Route route = Route::System;
        std::uint16_t keyCode = 0;  // for Route::Report
    };
    struct Device {
        bool grabbed = false;
        bool numLock = false;
        std::map<std::uint16_t, Held> held;  // input code -> where its press went
    };

    bool WantGrab() const { return capture_ || !table_.empty(); }
    void UpdateGrab(int device, Device& dev);
    void EndGrab(int device, Device& dev);
    void Press(int device, Device& dev, std::uint16_t code, bool keptByHook);
    void Release(int device, Device& dev, std::uint16_t code);
    bool AnyHeld(std::uint16_t a, std::uint16_t b) const;

    Sink& sink_;
    std::map<std::uint16_t, std::uint16_t> table_;  // input code -> key code
    bool capture_ = false;
    std::map<int, Device> devices_;
};

// A key event as the filter reports it.
struct FilterKeyEvent {
    std::uint16_t keyCode = 0;
    std::uint8_t usagePage = 7;
    bool pressed = false;
};

enum class FilterWait {
    Event,         // a key event was taken
    KeyboardLost,  // a filtered keyboard went away
    None,          // cancelled, or the filter is closed
};

// Reported events on their way to the listener: filled on the filter's
// thread, drained by the listening thread. A cancel wakes the waiter and is
// kept until a wait consumes it, so one that arrives before the wait still
// ends it; queued events stay for the next wait.
class FilterEventQueue {
public:
    // Events beyond this are dropped oldest first: nobody is listening.
    static constexpr std::size_t kCapacity = 4096;

    void PushKey(const FilterKeyEvent& event);
    void PushKeyboardLost();
    FilterWait Wait(FilterKeyEvent& event);
    void Cancel();
    std::size_t Size() const;

private:
    struct Item {
        bool lost = false;
        FilterKeyEvent event;
    };
    void Push(const Item& item);

    mutable std::mutex lock_;
    std::condition_variable ready_;
    std::deque<Item> items_;
    bool cancelled_ = false;
};

}  // namespace platform
