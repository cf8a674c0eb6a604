// The bytes of every keyboard command, built from plain values. Nothing here
// talks to the keyboard, the store or a clock; CommandSet (command_set.h)
// reads its inputs, calls these and sends the result.
//
//   feature reports ... 8 bytes, report id 7 first
//   output reports .... 65 bytes, report id 0 first
//   packets ........... 64 bytes (WritePacket puts the report id in front)
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "store/profile_store.h"
#include "tavri/types.h"

namespace commands {

using FeatureReport = std::array<std::uint8_t, 8>;
using OutputReport = std::array<std::uint8_t, 65>;
using Packet = std::array<std::uint8_t, 64>;

// ---- key remap and macro slots (device types 201 to 299) --------------------

inline constexpr int kMacroSlots = 13;
inline constexpr int kRemapSlots = 10;
inline constexpr int kSlotTableBytes = 28;
inline constexpr int kSlotBlockBytes = 168;
inline constexpr int kSlotBlockReports = 28;
inline constexpr int kMaxSlotSteps = 82;  // (168 - 4) / 2

FeatureReport SlotTableRequest();                                // 07 FB 01 00 ...
FeatureReport RemapSlotReport(int slot, int keyCode, int value);  // 07 FA 01 slot key 01 value 01
FeatureReport EmptyRemapSlotReport(int slot);                     // 07 FA 01 slot 00 01 00 01

using SlotBlock = std::array<std::uint8_t, kSlotBlockBytes>;
// {1, slot, 0, ...}: the block that empties a macro slot.
SlotBlock EmptySlotBlock(int slot);
// Built-in shortcut `number` played once: key code, then 0x01 or 0x81 per step.
SlotBlock ShortcutSlotBlock(int slot, int keyCode, int number);
// A recorded macro: key code and the low byte of its play count (both left 0
// when the macro does not exist), then its key steps (kinds 2 and 3) in the
// given order, at most 82.
SlotBlock MacroSlotBlock(int slot, int keyCode, bool exists, int playTimes, std::span<const MacroRecordRow> steps);
// Report i = 07, F1 (report 0) or 00, B[6i .. 6i + 5].
std::array<FeatureReport, kSlotBlockReports> SlotBlockReports(const SlotBlock& block);

// Where a single key goes: the slot whose owner is `keyCode`, else the first
// free one, else slot 1. `owners` are the slot table's entries of one kind.
int ChooseSlot(std::span<const std::uint8_t> owners, int keyCode);
// The slot owned by `keyCode`, or 0.
int OwnedSlot(std::span<const std::uint8_t> owners, int keyCode);

// ---- macros and key table (device types up to 200) --------------------------

inline constexpr int kHardwareMacroBytes = 1200;
inline constexpr int kMaxHardwareSteps = 399;  // 2 + 3 * 399 = 1199
inline constexpr int kMacroPayload = 59;
inline constexpr int kKeyIndexes = 120;
inline constexpr int kKeyTablePayload = 60;

// One macro's memory: D[0] play times (1..255, 0 and below give 1), D[1] the
// low byte of `totalSteps`, then press/release key steps as key code, delay
// low byte, delay high byte with bit 7 set for a press. `placedSteps` gets
// the number of key steps placed (at most 399).
std::vector<std::uint8_t> HardwareMacroBuffer(int playTimes, int totalSteps, std::span<const MacroRecordRow> steps,
                                              int& placedSteps);
// The 0x8E packets of one macro of `placedSteps` key steps in slot `slot`:
// 00 8E len offLo offHi slot D[59k .. 59k + 58], L = 3 * steps + 3.
std::vector<OutputReport> HardwareMacroReports(const std::vector<std::uint8_t>& buffer, int placedSteps, int slot);
// The single 0x8E report of built-in shortcut `number` in `slot`: play once,
// its steps with 100 ms delays. The length byte counts like the macro
// packets' (3 * steps + 3), so that it covers the last step's bytes.
OutputReport ShortcutMacroReport(int slot, int number);

using KeyTable = std::array<std::uint8_t, 2 * kKeyIndexes>;
// The four 0x8D reports: 00 8D len offLo offHi T[60j .. 60j + 59], len 60 and
// 40 for the last.
std::array<OutputReport, 4> KeyTableReports(const KeyTable& table);

// Index of `code` in a layout map: 0 when the map is empty, -1 when the code
// is missing from a non-empty map or the index is outside 0 .. limit - 1.
int LayoutIndex(const std::map<int, int>& map, int code, int limit);

// ---- lighting -----------------------------------------------------------------

inline constexpr int kLightIndexes = 110;

// Output-report keyboards: 00 88 00 mode, and 00 89 00 P c0 c1 c2 brightness.
OutputReport LightModeReport(int mode);
OutputReport LightParameterReport(const LightSettingRow& row);
// Feature-report keyboards on the cable (07 F7 ...) and without it
// (BB AA 99 88 AA ...). `option` is the option list's selection, sent only
// when the mode has the custom per-key bit.
FeatureReport LightFeatureReport(const LightSettingRow& row, int option);
Packet LightPacket(const LightSettingRow& row, int option);
// 07 FF FF mode-1 brightness speed 00 option.
FeatureReport LightPresetReport(const LightSettingRow& row, int option);

using CustomColourTable = std::array<std::uint8_t, 4 * kLightIndexes>;
// Eight 0x8B reports, len 60 and 20 for the last.
std::array<OutputReport, 8> CustomColourReports(const CustomColourTable& table);

using ColourFrame = std::array<std::uint8_t, 3 * kLightIndexes>;
OutputReport StreamModeReport();  // 00 F0 F4 01
// Six 0xF1 reports, len 60 and 30 for the last.
std::array<OutputReport, 6> FrameReports(const ColourFrame& frame);

// level * gain truncated, at most 255; negative, not a number or outside the
// 32-bit range gives 0.
int MusicLevelValue(int level, float gain);
FeatureReport MusicLevelReport(int colour, int effect, int value);  // 07 23 45 67 89 c e v

// ---- device queries and maintenance -----------------------------------------

OutputReport FactoryResetReport();    // 00 FF FE AA FF
FeatureReport FactoryResetFeature();  // 07 F0 AA 00 ...
Packet FactoryResetPacket();          // BB AA 99 88 AA AA AA AA AA AA
Packet FactoryResetEndPacket();       // BB AA 99 88

// The keyboard's version as the update server counts: its hexadecimal digits
// read as a decimal number (0x0105 -> 105). Negative versions give -1.
int FirmwareVersionNumber(int version);
// Dotted versions: +1 when `remote` is newer (also when the numbers of parts
// differ), -1 when it is older, 0 when the same.
int CompareVersions(const CString& local, const CString& remote);

}  // namespace commands
