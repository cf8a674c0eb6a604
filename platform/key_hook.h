// System-wide key capture in the shape of a Windows low-level keyboard hook:
// the macro recorder was written against those records, so the evdev filter
// delivers every key of the grabbed keyboards in the same form.
#pragma once

#include <cstdint>

namespace platform {

// The keyboard messages a hook hands on (its wParam).
inline constexpr unsigned kWmKeyDown = 0x0100;
inline constexpr unsigned kWmKeyUp = 0x0101;
inline constexpr unsigned kWmSysKeyDown = 0x0104;
inline constexpr unsigned kWmSysKeyUp = 0x0105;

// Flags of a record: the E0 prefix and the release.
inline constexpr std::uint32_t kHookFlagExtended = 0x01;
inline constexpr std::uint32_t kHookFlagUp = 0x80;

// KBDLLHOOKSTRUCT without the extra info.
struct KeyHookRecord {
    std::uint32_t vkCode = 0;
    std::uint32_t scanCode = 0;
    std::uint32_t flags = 0;
    std::uint32_t time = 0;  // milliseconds of the monotonic clock, wrapping
};

// Receives the records while capture is on. Called on the filter's own thread,
// in event order, and the key waits for the answer: true keeps it from going
// any further (the hook's nonzero result), false lets it on as without
// capture. The call must not wait for a thread that is itself changing the
// filter's table or capture; posting or sending to the UI thread is fine.
class KeyCaptureSink {
public:
    virtual ~KeyCaptureSink() = default;
    virtual bool OnHookKey(unsigned message, const KeyHookRecord& record) = 0;
};

}  // namespace platform
