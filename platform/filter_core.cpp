#include "platform/filter_core.h"

#include <linux/input-event-codes.h>

#include <algorithm>
#include <chrono>
#include <set>

#include "platform/input_codes.h"

namespace platform {

void FilterCore::SetTable(const std::vector<std::pair<std::uint16_t, std::uint16_t>>& entries) {
    table_.clear();
    for (const auto& [input, key] : entries) {
        if (input != 0) table_.emplace(input, key);
    }
    for (auto& [id, dev] : devices_) UpdateGrab(id, dev);
}

void FilterCore::SetCapture(bool on) {
    capture_ = on;
    for (auto& [id, dev] : devices_) UpdateGrab(id, dev);
}

void FilterCore::AddDevice(int device, const std::vector<std::uint16_t>& keysDown, bool numLock) {
    RemoveDevice(device);
    Device dev;
    dev.numLock = numLock;
    // Keys already down went to the system; their releases must reach it too,
    // so no grab starts before they are up.
    for (auto code : keysDown) dev.held[code] = Held{};
    auto& stored = devices_[device] = dev;
    UpdateGrab(device, stored);
}

void FilterCore::RemoveDevice(int device) {
    auto it = devices_.find(device);
    if (it == devices_.end()) return;
    if (it->second.grabbed) EndGrab(device, it->second);
    devices_.erase(it);
}

bool FilterCore::Grabbed(int device) const {
    auto it = devices_.find(device);
    return it != devices_.end() && it->second.grabbed;
}

std::vector<int> FilterCore::Devices() const {
    std::vector<int> ids;
    for (const auto& [id, dev] : devices_) ids.push_back(id);
    return ids;
}

bool FilterCore::AnyHeld(std::uint16_t a, std::uint16_t b) const {
    for (const auto& [id, dev] : devices_) {
        if (dev.held.count(a) || dev.held.count(b)) return true;
    }
    return false;
}

std::optional<FilterCore::HookOffer> FilterCore::OfferFor(int device, const InputEvent& event) const {
    if (!capture_ || event.type != EV_KEY) return std::nullopt;
    auto it = devices_.find(device);
    if (it == devices_.end() || !it->second.grabbed) return std::nullopt;
    const auto key = HookKeyForInputCode(event.code, it->second.numLock);
    if (!key) return std::nullopt;

    const bool release = event.value == 0;
    const bool ctrl = AnyHeld(KEY_LEFTCTRL, KEY_RIGHTCTRL);
    // As Windows does: with Alt down (and no Ctrl) keys come as system keys;
    // Alt's own press is one, its release is not unless the other Alt is held.
    bool alt = AnyHeld(KEY_LEFTALT, KEY_RIGHTALT);
    const bool isAlt = event.code == KEY_LEFTALT || event.code == KEY_RIGHTALT;
    if (isAlt) {
        const auto other = event.code == KEY_LEFTALT ? KEY_RIGHTALT : KEY_LEFTALT;
        alt = !release || AnyHeld(other, other);
    }
    const bool sys = !ctrl && (alt || (!release && event.code == KEY_F10));

    HookOffer offer;
    offer.message = release ? (sys ? kWmSysKeyUp : kWmKeyUp) : (sys ? kWmSysKeyDown : kWmKeyDown);
    offer.record.vkCode = key->virtualKey;
    offer.record.scanCode = key->scanCode;
    offer.record.flags = (key->extended ? kHookFlagExtended : 0) | (release ? kHookFlagUp : 0);
    offer.record.time = static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
    return offer;
}

void FilterCore::OnEvent(int device, const InputEvent& event, bool keptByHook) {
    auto it = devices_.find(device);
    if (it == devices_.end()) return;
    Device& dev = it->second;
    switch (event.type) {
    case EV_KEY:
        if (event.value == 1) {
            Press(device, dev, event.code, keptByHook);
        } else if (event.value == 0) {
            Release(device, dev, event.code);
        }
        // Repeats (2) go nowhere: the copy and the virtual keyboard repeat
        // by themselves, and a report carries presses and releases only.
        return;
    case EV_LED:
        if (event.code == LED_NUML) dev.numLock = event.value != 0;
        return;
    case EV_SYN:
        if (event.code == SYN_DROPPED) return;  // the caller resyncs
        break;
    default:
        break;
    }
    if (dev.grabbed) sink_.Forward(device, event);
}

void FilterCore::Resync(int device, const std::vector<std::uint16_t>& keysDown) {
    auto it = devices_.find(device);
    if (it == devices_.end()) return;
    Device& dev = it->second;  // map nodes stay put while Release and Press run
    const std::set<std::uint16_t> down(keysDown.begin(), keysDown.end());
    std::vector<std::uint16_t> released;
    for (const auto& [code, held] : dev.held) {
        if (!down.count(code)) released.push_back(code);
    }
    for (auto code : released) Release(device, dev, code);
    for (auto code : down) Press(device, dev, code, false);
    if (dev.grabbed) sink_.Forward(device, InputEvent{EV_SYN, SYN_REPORT, 0});
}

void FilterCore::Press(int device, Device& dev, std::uint16_t code, bool keptByHook) {
    if (dev.held.count(code)) return;  // a second press without a release counts as a repeat
    Held held;
    if (!dev.grabbed) {
        held.route = Route::System;
    } else if (keptByHook) {
        held.route = Route::Hook;
    } else if (auto t = table_.find(code); t != table_.end()) {
        held.route = Route::Report;
        held.keyCode = t->second;
        sink_.Report(t->second, true);
    } else {
        held.route = Route::Copy;
        sink_.Forward(device, InputEvent{EV_KEY, code, 1});
    }
    dev.held[code] = held;
}

void FilterCore::Release(int device, Device& dev, std::uint16_t code) {
    Held held;
    if (auto it = dev.held.find(code); it != dev.held.end()) {
        held = it->second;
        dev.held.erase(it);
    } else {
        // A release without a press we saw: harmless on the copy, and the
        // system would see it anyway when not grabbed.
        held.route = dev.grabbed ? Route::Copy : Route::System;
    }
    switch (held.route) {
    case Route::Copy:
        if (dev.grabbed) sink_.Forward(device, InputEvent{EV_KEY, code, 0});
        break;
    case Route::Report:
        sink_.Report(held.keyCode, false);
        break;
    case Route::Hook:
    case Route::System:
        break;
    }
    if (dev.held.empty()) UpdateGrab(device, dev);
}

void FilterCore::UpdateGrab(int device, Device& dev) {
    if (WantGrab()) {
        if (!dev.grabbed && dev.held.empty() && sink_.Grab(device, true)) dev.grabbed = true;
    } else if (dev.grabbed) {
        EndGrab(device, dev);
    }
}

void FilterCore::EndGrab(int device, Device& dev) {
    bool forwarded = false;
    for (auto& [code, held] : dev.held) {
        if (held.route == Route::Copy) {
            sink_.Forward(device, InputEvent{EV_KEY, code, 0});
            forwarded = true;
        } else if (held.route == Route::Report) {
            sink_.Report(held.keyCode, false);
        }
        // Still physically down; the system gets the release itself now.
        held = Held{};
    }
    if (forwarded) sink_.Forward(device, InputEvent{EV_SYN, SYN_REPORT, 0});
    sink_.Grab(device, false);
    dev.grabbed = false;
}

void FilterEventQueue::Push(const Item& item) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (items_.size() >= kCapacity) items_.pop_front();
        items_.push_back(item);
    }
    ready_.notify_one();
}

void FilterEventQueue::PushKey(const FilterKeyEvent& event) { Push(Item{false, event}); }
void FilterEventQueue::PushKeyboardLost() { Push(Item{true, {}}); }

FilterWait FilterEventQueue::Wait(FilterKeyEvent& event) {
    std::unique_lock<std::mutex> guard(lock_);
    ready_.wait(guard, [this] { return cancelled_ || !items_.empty(); });
    if (cancelled_) {
        cancelled_ = false;
        return FilterWait::None;
    }
    const Item item = items_.front();
    items_.pop_front();
    if (item.lost) return FilterWait::KeyboardLost;
    event = item.event;
    return FilterWait::Event;
}

void FilterEventQueue::Cancel() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        cancelled_ = true;
    }
    ready_.notify_all();
}

std::size_t FilterEventQueue::Size() const {
    std::lock_guard<std::mutex> guard(lock_);
    return items_.size();
}

}  // namespace platform
