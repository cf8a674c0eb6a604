// Key remaps and macros of both command sets.
#include <vector>

#include "link/commands/command_set.h"
#include "link/keys/key_codes.h"

namespace commands {

namespace {

using keys::kKindNone;
using keys::kKindDisabled;
using keys::kKindKey;
using keys::kKindMacro;
using keys::kKindShortcut;

constexpr int kSlotWaitMs = 16;        // before each slot transfer of the full upload
constexpr int kSingleKeyWaitMs = 100;  // before a single-key upload
constexpr int kMacroWaitMs = 10;       // before each macro or shortcut
constexpr int kPacketWaitMs = 100;     // before each 0x8E packet
constexpr int kTableWaitMs = 20;       // between the macros and the key table
constexpr int kTableReportWaitMs = 10;

constexpr std::uint8_t kKeyFlagRemap = 0x20;
constexpr std::uint8_t kKeyFlagMacro = 0x40;

bool IsMacroKind(int kind) { return kind == kKindMacro || kind == kKindShortcut; }

}  // namespace

void CommandSet::SendKeyRemap(int keyCode, int slot) {
    KeyAssignmentRow row;
    if (!store_.GetKeyAssignment(Profile(), Layer(), keyCode, row)) row = KeyAssignmentRow{};
    if (row.macroValue < 1) {
        SendFeatureReport(EmptyRemapSlotReport(slot));
        return;
    }
    if (row.macroType == kKindNone || IsMacroKind(row.macroType)) return;
    SendFeatureReport(RemapSlotReport(slot, keyCode, row.macroValue));
}

void CommandSet::SendMacroSlot(int keyCode, int slot, int kind, int value) {
    SlotBlock block;
    if (kind == kKindShortcut) {
        block = ShortcutSlotBlock(slot, keyCode, value);
    } else if (kind == kKindMacro) {
        MacroRow macro;
        const bool exists = store_.GetMacro(value, macro);
        std::vector<MacroRecordRow> steps;
        store_.ListMacroRecords(value, steps);
        block = MacroSlotBlock(slot, keyCode, exists, macro.playTimes, steps);
    } else {
        block = EmptySlotBlock(slot);
    }
    // A failed report is not retried; the rest of the block still follows.
    for (const FeatureReport& r : SlotBlockReports(block)) SendFeatureReport(r);
}

void CommandSet::UploadKeyAssignments() {
    // The table is read into the request's buffer: bytes of a read that
    // fails keep what was there.
    std::array<std::uint8_t, kSlotTableBytes> table{};
    const FeatureReport request = SlotTableRequest();
    std::copy(request.begin(), request.end(), table.begin());
    manager_.QueryFeatureTable(table);

    if (state_.oneKeyChanged.load()) {
        Sleep(kSingleKeyWaitMs);
        UploadSingleKey(table);
        state_.oneKeyChanged.store(false);
        return;
    }

    for (int slot = 1; slot <= kMacroSlots; ++slot) {
        const int owner = table[static_cast<size_t>(slot)];
        if (owner == 0) continue;
        Sleep(kSlotWaitMs);
        SendMacroSlot(owner, slot, kKindNone, 0);
    }
    for (int slot = 1; slot <= kRemapSlots; ++slot) {
        if (table[static_cast<size_t>(kMacroSlots + slot)] == 0) continue;
        Sleep(kSlotWaitMs);
        SendFeatureReport(EmptyRemapSlotReport(slot));
    }

    std::vector<KeyAssignmentRow> rows;
    store_.ListKeyAssignments(Profile(), Layer(), rows);
    int macroSlot = 1;
    int remapSlot = 1;
    for (const KeyAssignmentRow& row : rows) {
        if (row.macroType == kKindNone) continue;
        // The keyboard has 13 macro and 10 remap slots. The key page keeps a
        // profile within them, but an imported profile may hold more keys:
        // those are left out rather than sent to slots that do not exist.
        if (IsMacroKind(row.macroType)) {
            if (macroSlot > kMacroSlots) continue;
            Sleep(kSlotWaitMs);
            SendMacroSlot(row.keyCode, macroSlot++, row.macroType, row.macroValue);
        } else {
            if (remapSlot > kRemapSlots) continue;
            Sleep(kSlotWaitMs);
            SendKeyRemap(row.keyCode, remapSlot++);
        }
    }
    state_.oneKeyChanged.store(false);
}

void CommandSet::UploadSingleKey(const std::array<std::uint8_t, kSlotTableBytes>& table) {
    const int key = state_.changedKeyCode.load();
    const std::span<const std::uint8_t> macroOwners(table.data() + 1, kMacroSlots);
    const std::span<const std::uint8_t> remapOwners(table.data() + 1 + kMacroSlots, kRemapSlots);

    KeyAssignmentRow row;
    if (!store_.GetKeyAssignment(Profile(), Layer(), key, row)) row = KeyAssignmentRow{};
    if (row.macroType == kKindDisabled || row.macroType == kKindKey) {
        SendKeyRemap(key, ChooseSlot(remapOwners, key));
    } else if (IsMacroKind(row.macroType)) {
        SendMacroSlot(key, ChooseSlot(macroOwners, key), row.macroType, row.macroValue);
    } else {
        // Back to its default (or a software function): free what it held.
        if (const int slot = OwnedSlot(macroOwners, key)) SendMacroSlot(key, slot, row.macroType, row.macroValue);
        if (const int slot = OwnedSlot(remapOwners, key)) SendKeyRemap(key, slot);
    }
}

bool CommandSet::UploadMacros() {
    state_.macroSlotByKey.clear();
    std::vector<KeyAssignmentRow> rows;
    store_.ListKeyAssignments(Profile(), Layer(), rows);
    int slot = 0;

    std::vector<MacroRecordRow> steps;
    for (const KeyAssignmentRow& row : rows) {
        if (row.macroType != kKindMacro) continue;
        int times = 0;
        store_.GetMacroPlayTimes(row.macroValue, times);
        store_.ListMacroRecords(row.macroValue, steps);
        int placed = 0;
        const std::vector<std::uint8_t> memory =
            HardwareMacroBuffer(times, static_cast<int>(steps.size()), steps, placed);
        Sleep(kMacroWaitMs);
        for (const OutputReport& packet : HardwareMacroReports(memory, placed, slot)) {
            Sleep(kPacketWaitMs);
            if (!SendOutputReport(packet)) return false;
        }
        state_.macroSlotByKey[row.keyCode] = slot++;
    }
    for (const KeyAssignmentRow& row : rows) {
        if (row.macroType != kKindShortcut) continue;
        Sleep(kMacroWaitMs);
        if (!SendOutputReport(ShortcutMacroReport(slot, row.macroValue))) return false;
        state_.macroSlotByKey[row.keyCode] = slot++;
    }
    return true;
}

void CommandSet::UploadKeyTable() {
    UploadMacros();
    Sleep(kTableWaitMs);

    KeyTable table{};
    std::vector<KeyAssignmentRow> rows;
    store_.ListKeyAssignments(Profile(), Layer(), rows);
    for (const KeyAssignmentRow& row : rows) {
        const int i = LayoutIndex(layout_.keyIndexByCode, row.keyCode, kKeyIndexes);
        if (i < 0) continue;
        std::uint8_t* entry = table.data() + 2 * i;
        if (row.macroType == kKindKey) {
            entry[0] = static_cast<std::uint8_t>(row.macroValue & 0xFF);
            entry[1] = kKeyFlagRemap;
        } else if (row.macroType == kKindDisabled) {
            entry[0] = 0;
            entry[1] = kKeyFlagRemap;
        } else if (IsMacroKind(row.macroType)) {
            const auto it = state_.macroSlotByKey.find(row.keyCode);
            if (it == state_.macroSlotByKey.end()) continue;
            entry[0] = static_cast<std::uint8_t>(it->second & 0xFF);
            entry[1] = kKeyFlagMacro;
        }
    }
    for (const OutputReport& r : KeyTableReports(table)) {
        Sleep(kTableReportWaitMs);
        SendOutputReport(r);
    }
}

}  // namespace commands
