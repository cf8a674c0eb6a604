// Tables between the HID usages the program speaks (keyboard page 7, consumer
// page 12, the mouse report's button bits) and the Linux input event codes
// that evdev delivers and uinput accepts; and the Windows low-level hook's view
// of a key (virtual key, set-1 scan code, extended flag), which the macro
// recorder was written for.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace platform {

// HID keyboard usage -> KEY_*; 0 when the usage has no key (0-3, reserved).
// The mapping is the kernel's own for HID keyboards, so a usage the keyboard
// sends and the event evdev delivers for it agree.
int InputCodeForKeyboardUsage(int usage);
// KEY_* -> HID keyboard usage; 0 when none. Where two usages share a code
// (0x31 and 0x32 are both KEY_BACKSLASH) the lower usage is returned.
int KeyboardUsageForInputCode(int code);

// HID consumer usage -> KEY_*; 0 when none.
int InputCodeForConsumerUsage(int usage);
int ConsumerUsageForInputCode(int code);

// Bit of the mouse report's button byte (0 left, 1 right, 2 middle, 3 back,
// 4 forward) -> BTN_*; 0 for other bits.
int ButtonForMouseBit(int bit);

// Every KEY_* and BTN_* code the tables above produce, ascending: what a
// virtual device must declare to send them all.
std::vector<int> AllMappedInputCodes();

// A key as a Windows low-level keyboard hook reports it.
struct HookKey {
    std::uint16_t virtualKey = 0;
    std::uint16_t scanCode = 0;  // set-1 make code without the E0 prefix
    bool extended = false;       // the E0 prefix, LLKHF_EXTENDED
};
// KEY_* -> hook view; empty for keys Windows gives no virtual key. The keypad
// keys depend on Num Lock as they do there (KP7 is VK_NUMPAD7 with Num Lock
// on, VK_HOME without); modifiers get their left/right virtual keys.
std::optional<HookKey> HookKeyForInputCode(int code, bool numLock);

}  // namespace platform
