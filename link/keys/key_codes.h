// The key-code tables shared by the command sets and the software keys.
// A key code is the keyboard's one-byte code: the USB HID keyboard usage for
// ordinary keys and modifiers, 232-249 (0xE8-0xF9) for media and browser keys.
#pragma once

#include <cstdint>
#include <span>

namespace keys {

// What a key assignment's type means; the other types (mouse functions aside)
// are handled by the keyboard itself.
constexpr int kKindNone = 0;
constexpr int kKindDisabled = 1;
constexpr int kKindKey = 2;
constexpr int kKindMacro = 3;
constexpr int kKindMouse = 5;
constexpr int kKindShortcut = 7;

// Windows virtual-key code of a macro step -> key code; 0 when not in the table.
// 666 is the program's own code for the key left of Enter on ISO boards.
int VirtualKeyToKeyCode(int virtualKey);

// Delay byte of a step of the feature-report keyboards: bit 7 release, bits
// 6-5 unit, bits 4-0 count. 1551-3100 ms use count d / 100 with unit bits 01.
std::uint8_t EncodeStepDelay(bool release, int milliseconds);

struct ShortcutStep {
    std::uint8_t keyCode;
    bool release;
};
// The steps of built-in shortcut 1-15; empty for any other number.
std::span<const ShortcutStep> BuiltInShortcut(int number);

// Media and browser key codes 232-249 -> HID consumer usage; 0 for others.
int ConsumerUsageForKeyCode(int keyCode);
constexpr bool IsConsumerKeyCode(int keyCode) { return keyCode >= 232 && keyCode <= 249; }

// Mouse function value (1 left, 2 middle, 3 right, 7 forward, 8 back) -> bit
// of the mouse report's button byte; -1 for other values.
int MouseButtonBit(int value);

}  // namespace keys
