// Key remaps and macros of both command sets, asserted on the bytes the
// simulated keyboard received and on what its firmware made of them.
#include <gtest/gtest.h>

#include "command_rig.h"

using cmdtest::Feature;
using cmdtest::Out;
using cmdtest::Read;
using cmdtest::Rig;

namespace {

constexpr int kPress = 2;
constexpr int kRelease = 3;
constexpr int kVkA = 65, kVkB = 66, kVkC = 67;  // key codes 4, 5, 6

const std::string kZeroSlotReport = Feature("07 00 00 00 00 00 00 00");

// The lines of a 28-report slot block whose first reports are `head`.
std::vector<std::string> Block(const std::vector<std::string>& head) {
    std::vector<std::string> lines;
    for (const std::string& h : head) lines.push_back(Feature(h));
    while (lines.size() < 28) lines.push_back(kZeroSlotReport);
    return lines;
}

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

std::vector<std::string> QueryLines() {
    return {Feature("07 FB 01"), Read("07"), Read("07"), Read("07"), Read("07")};
}

}  // namespace

// ---- remap slot ---------------------------------------------------------------

TEST(SendKeyRemap, SendsTheRemapOrEmptiesTheSlotByKindAndValue) {
    struct Case {
        const char* name;
        bool row;
        int kind;
        int value;
        std::string report;  // empty: nothing is sent
    };
    const Case cases[] = {
        {"key function", true, 2, 6, "07 FA 01 04 05 01 06 01"},
        {"value above 255 sends its low byte", true, 12, 500, "07 FA 01 04 05 01 F4 01"},
        {"disabled key", true, 1, 1, "07 FA 01 04 05 01 01 01"},
        {"kind 2 with value 0 empties the slot", true, 2, 0, "07 FA 01 04 00 01 00 01"},
        {"no row empties the slot", false, 0, 0, "07 FA 01 04 00 01 00 01"},
        {"macro key sends nothing", true, 3, 2, ""},
        {"shortcut key sends nothing", true, 7, 3, ""},
        {"kind 0 with a value sends nothing", true, 0, 5, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        r.FillRemapSlot(4, 9, 9);
        r.Take();
        if (c.row) r.AddKey(5, c.kind, c.value);
        const std::int64_t start = r.clock.NowMicros();
        r.cmd.SendKeyRemap(5, 4);
        const auto sent = r.Take();
        const sim::RemapSlot slot = r.kb->Memory().remapSlots[3];
        if (c.report.empty()) {
            EXPECT_TRUE(sent.empty());
            EXPECT_EQ(slot.owner, 9);
            continue;
        }
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sim::FormatTransfer(sent[0]), Feature(c.report));
        EXPECT_EQ(sent[0].timeMicros - start, 16000);  // the wait before a feature report
        const auto bytes = cmdtest::Hex(c.report);
        EXPECT_EQ(slot.owner, bytes[4]);
        EXPECT_EQ(slot.target, bytes[6]);
    }
}

// ---- macro slot ---------------------------------------------------------------

TEST(SendMacroSlot, BuiltInShortcutPlaysOnceWithTenMillisecondSteps) {
    Rig r;
    r.cmd.SendMacroSlot(0x3A, 2, 7, 13);  // Alt, Space, X down, then up in reverse
    EXPECT_EQ(r.TakeLines(), Block({"07 F1 01 02 3A 01 E2 01", "07 00 2C 01 1B 01 1B 81", "07 00 2C 81 E2 81"}));
    const sim::SlotMacro m = r.kb->FirmwareSnapshot().DecodeSlotMacro(2);
    EXPECT_EQ(m.owner, 0x3A);
    EXPECT_EQ(m.playTimes, 1);
    ASSERT_EQ(m.steps.size(), 6u);
    EXPECT_FALSE(m.steps[5].pressed);
    EXPECT_EQ(m.steps[5].code, 226);
}

TEST(SendMacroSlot, RecordedMacroEncodesKeysAndDelaysAndSkipsOtherSteps) {
    Rig r;
    const int id = r.AddMacro({{kPress, kVkA, 5},
                               {kRelease, kVkA, 1000},
                               {1, 0, 300},  // not a key step
                               {kPress, kVkB, 2000},
                               {kRelease, kVkB, 40000},
                               {kPress, kVkC, 250},
                               {kRelease, kVkC, -5}},
                              3);
    r.cmd.SendMacroSlot(0x2B, 2, 3, id);
    EXPECT_EQ(r.TakeLines(),
              Block({"07 F1 01 02 2B 03 04 01", "07 00 04 B4 05 34 05 FF", "07 00 06 19 06 81"}));
    const sim::SlotMacro m = r.kb->FirmwareSnapshot().DecodeSlotMacro(2);
    EXPECT_EQ(m.owner, 0x2B);
    EXPECT_EQ(m.playTimes, 3);
    EXPECT_EQ(m.steps.size(), 6u);
}

TEST(SendMacroSlot, KeepsTheFirst82KeySteps) {
    Rig r;
    std::vector<std::array<int, 3>> steps;
    for (int i = 0; i < 100; ++i) steps.push_back({i % 2 ? kRelease : kPress, kVkA + (i / 2) % 26, 20});
    const int id = r.AddMacro(steps);
    r.cmd.SendMacroSlot(4, 1, 3, id);
    const auto lines = r.TakeLines();
    ASSERT_EQ(lines.size(), 28u);
    // Bytes 162 to 167: steps 79 (release of key 39 % 26), 80 and 81.
    EXPECT_EQ(lines[27], Feature("07 00 11 82 12 02 12 82"));
    EXPECT_EQ(r.kb->FirmwareSnapshot().DecodeSlotMacro(1).steps.size(), 82u);
}

TEST(SendMacroSlot, AMissingMacroOrAnotherKindEmptiesTheSlot) {
    for (int kind : {3, 0, 2}) {
        SCOPED_TRACE(kind);
        Rig r;
        r.FillMacroSlot(1, 0x10);
        r.Take();
        r.cmd.SendMacroSlot(0x10, 1, kind, 999);
        EXPECT_EQ(r.TakeLines(), Block({"07 F1 01 01"}));
        const sim::SlotMacro m = r.kb->FirmwareSnapshot().DecodeSlotMacro(1);
        EXPECT_EQ(m.owner, 0);
        EXPECT_TRUE(m.steps.empty());
    }
}

// ---- full upload, feature-report keyboards ----------------------------------------

TEST(UploadKeyAssignments, FullUploadEmptiesTheOldSlotsThenFillsThemInRowOrder) {
    Rig r;
    r.FillMacroSlot(1, 0x10);
    r.FillMacroSlot(3, 0x11);
    r.FillRemapSlot(2, 0x12);
    r.Take();
    const int macro = r.AddMacro({{kPress, kVkA, 20}, {kRelease, kVkA, 20}});
    r.AddKey(4, 2, 5);      // remap slot 1
    r.AddKey(5, 3, macro);  // macro slot 1
    r.AddKey(6, 0, 0);      // left as it is: skipped
    r.AddKey(7, 7, 1);      // macro slot 2: Ctrl + A
    r.AddKey(8, 2, 0);      // remap slot 2, sent empty
    r.AddKey(9, 2, 6, 2);   // another profile
    r.state.oneKeyChanged.store(false);

    r.clock.ResetCounters();
    r.cmd.UploadKeyAssignments();

    const auto expected = Concat({
        QueryLines(),
        Block({"07 F1 01 01"}),  // the old owners' slots emptied
        Block({"07 F1 01 03"}),
        {Feature("07 FA 01 02 00 01 00 01")},
        {Feature("07 FA 01 01 04 01 05 01")},
        Block({"07 F1 01 01 05 01 04 02", "07 00 04 82"}),
        Block({"07 F1 01 02 07 01 E0 01", "07 00 04 01 04 81 E0 81"}),
        {Feature("07 FA 01 02 00 01 00 01")},
    });
    // The query answers with the old table; only the write and the first
    // read are compared as bytes below.
    auto lines = r.TakeLines();
    ASSERT_EQ(lines.size(), expected.size());
    EXPECT_EQ(lines[0], expected[0]);
    for (size_t i = 5; i < lines.size(); ++i) EXPECT_EQ(lines[i], expected[i]) << "transfer " << i;

    // 4 reads, then 16 ms before each slot and 16 ms before each report:
    // three old slots, then four keys.
    EXPECT_EQ(r.clock.SleptMs(), 4 * 16 + 2 * (16 + 28 * 16) + (16 + 16) + (16 + 16) + 2 * (16 + 28 * 16) + (16 + 16));
    EXPECT_FALSE(r.state.oneKeyChanged.load());

    const sim::FirmwareMemory mem = r.kb->Memory();
    EXPECT_EQ(mem.macroSlots[0].owner, 5);
    EXPECT_EQ(mem.macroSlots[1].owner, 7);
    EXPECT_EQ(mem.macroSlots[2].owner, 0);
    EXPECT_EQ(mem.remapSlots[0].owner, 4);
    EXPECT_EQ(mem.remapSlots[0].target, 5);
    EXPECT_EQ(mem.remapSlots[1].owner, 0);
}

TEST(UploadKeyAssignments, KeysBeyondTheKeyboardsSlotsAreLeftOut) {
    Rig r;
    for (int k = 0; k < 14; ++k) r.AddKey(4 + k, 7, 1 + k % 15);
    for (int k = 0; k < 11; ++k) r.AddKey(30 + k, 2, 40 + k);
    r.cmd.UploadKeyAssignments();
    int macroBlocks = 0, remaps = 0;
    for (const std::string& line : r.TakeLines()) {
        if (line.rfind("W feature 07 F1", 0) == 0) ++macroBlocks;
        if (line.rfind("W feature 07 FA", 0) == 0) ++remaps;
    }
    EXPECT_EQ(macroBlocks, 13);
    EXPECT_EQ(remaps, 10);
    const auto table = r.kb->FirmwareSnapshot().SlotTable();
    EXPECT_EQ(table[13], 4 + 12);
    EXPECT_EQ(table[23], 30 + 9);
}

// ---- single-key upload ------------------------------------------------------------

TEST(UploadKeyAssignments, SingleKeyUploadChoosesItsSlot) {
    struct Case {
        const char* name;
        std::function<void(Rig&)> prepare;  // slots taken before, and key 9's row
        std::vector<std::string> first;     // the first transfers after the query
        size_t count;                       // transfers after the query
    };
    const Case cases[] = {
        {"a key owning remap slot 4 keeps it although slot 1 is free",
         [](Rig& r) {
             r.FillRemapSlot(4, 9);
             r.AddKey(9, 2, 7);
         },
         {Feature("07 FA 01 04 09 01 07 01")}, 1},
        {"a new remap key takes the first free slot",
         [](Rig& r) {
             r.FillRemapSlot(1, 20);
             r.FillRemapSlot(2, 21);
             r.AddKey(9, 1, 1);
         },
         {Feature("07 FA 01 03 09 01 01 01")}, 1},
        {"all remap slots taken: slot 1",
         [](Rig& r) {
             for (int s = 1; s <= 10; ++s) r.FillRemapSlot(s, 20 + s);
             r.AddKey(9, 2, 7);
         },
         {Feature("07 FA 01 01 09 01 07 01")}, 1},
        {"all 13 macro slots taken: slot 1",
         [](Rig& r) {
             for (int s = 1; s <= 13; ++s) r.FillMacroSlot(s, 20 + s);
             r.AddKey(9, 7, 2);
         },
         {Feature("07 F1 01 01 09 01 E0 01")}, 28},
        {"a shortcut key owning macro slot 5 keeps it",
         [](Rig& r) {
             r.FillMacroSlot(5, 9);
             r.AddKey(9, 7, 2);
         },
         {Feature("07 F1 01 05 09 01 E0 01")}, 28},
        {"a key back to its default frees its macro and remap slots",
         [](Rig& r) {
             r.FillMacroSlot(3, 9);
             r.FillRemapSlot(2, 9);
         },
         Block({"07 F1 01 03"}), 29},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        c.prepare(r);
        r.Take();
        r.state.oneKeyChanged.store(true);
        r.state.changedKeyCode.store(9);
        r.cmd.UploadKeyAssignments();
        const auto sent = r.Take();
        ASSERT_EQ(sent.size(), 5 + c.count);
        for (size_t i = 0; i < c.first.size(); ++i) EXPECT_EQ(sim::FormatTransfer(sent[5 + i]), c.first[i]);
        // 100 ms after the last read, then the report's own 16 ms.
        EXPECT_EQ(sent[5].timeMicros - sent[4].timeMicros, 116000);
        EXPECT_FALSE(r.state.oneKeyChanged.load());
        if (c.count == 29) {
            EXPECT_EQ(sim::FormatTransfer(sent.back()), Feature("07 FA 01 02 00 01 00 01"));
            EXPECT_EQ(r.kb->Memory().macroSlots[2].owner, 0);
            EXPECT_EQ(r.kb->Memory().remapSlots[1].owner, 0);
        }
    }
}

// ---- output-report keyboards ----------------------------------------------------

TEST(UploadMacros, MacroStepsCarryTheirDelayAsTwoBytesWithThePressBit) {
    Rig r(101);
    const int id = r.AddMacro({{kPress, kVkA, 2000}, {kRelease, kVkA, 2000}}, 0);
    r.AddKey(30, 3, id);
    r.clock.ResetCounters();
    EXPECT_TRUE(r.cmd.UploadMacros());
    EXPECT_EQ(r.TakeLines(), std::vector<std::string>{Out("00 8E 09 00 00 00 01 02 04 D0 87 04 D0 07")});
    EXPECT_EQ(r.clock.SleptMs(), 10 + 100);
    const sim::HardwareMacro m = r.kb->FirmwareSnapshot().DecodeHardwareMacro(0);
    EXPECT_EQ(m.playTimes, 1);  // 0 is sent as 1
    ASSERT_EQ(m.steps.size(), 2u);
    EXPECT_EQ(m.steps[0], (sim::MacroStep{4, 2000, 0, true}));
    EXPECT_EQ(m.steps[1], (sim::MacroStep{4, 2000, 0, false}));
}

TEST(UploadMacros, MacrosTakeSlotsBeforeShortcutsAndKeepTheFirst399Steps) {
    Rig r(101);
    std::vector<std::array<int, 3>> steps;
    for (int i = 0; i < 500; ++i) steps.push_back({i % 2 ? kRelease : kPress, kVkA, 10});
    const int big = r.AddMacro(steps, 300);
    const int small = r.AddMacro({{kPress, kVkB, 1}});
    r.AddKey(40, 7, 1);
    r.AddKey(41, 3, big);
    r.AddKey(42, 3, small);
    r.clock.ResetCounters();
    ASSERT_TRUE(r.cmd.UploadMacros());
    const auto lines = r.TakeLines();
    // 3 * 399 + 3 = 1200 bytes: 21 packets, the last with 20; then 1 packet;
    // then the shortcut.
    ASSERT_EQ(lines.size(), 21u + 1u + 1u);
    EXPECT_EQ(lines[0].substr(0, 38), "W out 00 8E 3B 00 00 00 FF F4 04 0A 80");
    // From byte 1180: the last byte of step 392, then steps 393 to 398.
    EXPECT_EQ(lines[20], Out("00 8E 14 9C 04 00 80 04 0A 00 04 0A 80 04 0A 00 04 0A 80 04 0A 00 04 0A 80"));
    EXPECT_EQ(lines[21], Out("00 8E 06 00 00 01 01 01 05 01 80"));
    EXPECT_EQ(lines[22], Out("00 8E 0F 00 00 02 01 04 E0 64 80 04 64 80 04 64 00 E0 64 00"));
    EXPECT_EQ(r.clock.SleptMs(), (10 + 21 * 100) + (10 + 100) + 10);
    EXPECT_EQ(r.state.macroSlotByKey, (std::map<int, int>{{41, 0}, {42, 1}, {40, 2}}));
    const sim::HardwareMacro m = r.kb->FirmwareSnapshot().DecodeHardwareMacro(0);
    EXPECT_EQ(m.playTimes, 255);
    EXPECT_EQ(m.steps.size(), 399u);
}

namespace {

// Keys 4 to 8 and 10 at indexes 0 to 5; key 9 is not on the keyboard.
void TableLayout(Rig& r) { r.layout.keyIndexByCode = {{4, 0}, {5, 1}, {6, 2}, {7, 3}, {8, 4}, {10, 5}}; }

}  // namespace

TEST(UploadKeyTable, SendsTheMacrosThenTheTableOfFunctionsBySlotAndRemap) {
    Rig r(101);
    TableLayout(r);
    const int macro = r.AddMacro({{kPress, kVkA, 5}});
    r.AddKey(4, 7, 1);       // shortcut: slot 1 (after the macro)
    r.AddKey(5, 3, macro);   // macro: slot 0
    r.AddKey(7, 2, 0x29);    // key function
    r.AddKey(8, 1, 1);       // disabled
    r.AddKey(9, 2, 0x2A);    // not on the keyboard: left out
    r.AddKey(10, 5, 1);      // software function: nothing in the table
    r.cmd.UploadKeyTable();
    const auto sent = r.Take();
    ASSERT_EQ(sent.size(), 2u + 4u);
    std::vector<std::string> lines;
    for (size_t i = 2; i < sent.size(); ++i) lines.push_back(sim::FormatTransfer(sent[i]));
    EXPECT_EQ(lines, (std::vector<std::string>{Out("00 8D 3C 00 00 01 40 00 40 00 00 29 20 00 20"),
                                               Out("00 8D 3C 3C 00"), Out("00 8D 3C 78 00"),
                                               Out("00 8D 28 B4 00")}));
    // 20 ms after the macros, then 10 ms before each report.
    EXPECT_EQ(sent[2].timeMicros - sent[1].timeMicros, 30000);
    EXPECT_EQ(sent[5].timeMicros - sent[4].timeMicros, 10000);
    const auto table = r.kb->Memory().keyTable;
    EXPECT_EQ(table[6], 0x29);
    EXPECT_EQ(table[7], 0x20);
    EXPECT_EQ(table[11], 0);
}

TEST(UploadKeyTable, AnEmptyIndexMapPutsEveryKeyAtIndexZero) {
    Rig r(101);
    r.AddKey(7, 2, 0x29);
    r.AddKey(8, 2, 0x2C);
    r.cmd.UploadKeyTable();
    const auto lines = r.TakeLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], Out("00 8D 3C 00 00 2C 20"));
}

TEST(UploadKeyTable, AFailedMacroPacketStopsTheMacrosButTheTableStillGoesOut) {
    Rig r(101);
    TableLayout(r);
    const int a = r.AddMacro({{kPress, kVkA, 5}});
    const int b = r.AddMacro({{kPress, kVkB, 5}});
    r.AddKey(4, 3, a);
    r.AddKey(5, 3, b);
    r.AddKey(6, 7, 3);
    r.AddKey(7, 2, 0x29);
    r.kb->FailNextTransfers(2);  // the first packet and its retry
    r.cmd.UploadKeyTable();
    const auto lines = r.TakeLines();
    ASSERT_EQ(lines.size(), 2u + 4u);
    EXPECT_EQ(lines[0], Out("00 8E 06 00 00 00 01 01 04 05 80") + " FAILED");
    EXPECT_EQ(lines[1], lines[0]);
    EXPECT_TRUE(r.state.macroSlotByKey.empty());
    EXPECT_EQ(lines[2], Out("00 8D 3C 00 00 00 00 00 00 00 00 29 20"));
}

TEST(UploadKeys, ChoosesTheRoutineOfTheDeviceType) {
    for (int type : {101, 201, 300}) {
        SCOPED_TRACE(type);
        Rig r(type);
        r.AddKey(7, 2, 0x29);
        r.cmd.UploadKeys();
        const auto lines = r.TakeLines();
        if (type == 101) {
            ASSERT_EQ(lines.size(), 4u);
            EXPECT_EQ(lines[0].substr(0, 14), "W out 00 8D 3C");
        } else if (type == 201) {
            ASSERT_EQ(lines.size(), 6u);
            EXPECT_EQ(lines[5], Feature("07 FA 01 01 07 01 29 01"));
        } else {
            EXPECT_TRUE(lines.empty());
        }
    }
}

TEST(UploadKeys, WithoutAKeyboardNothingIsSentAndTheSingleKeyFlagIsCleared) {
    for (int type : {101, 201}) {
        SCOPED_TRACE(type);
        Rig r(type);
        const int macro = r.AddMacro({{kPress, kVkA, 5}});
        r.AddKey(4, 3, macro);
        r.AddKey(7, 2, 0x29);
        r.kb->Detach(0);
        r.manager.Rescan();
        r.state.oneKeyChanged.store(true);
        r.state.changedKeyCode.store(7);
        r.cmd.UploadKeys();
        EXPECT_TRUE(r.Take().empty());
        if (type == 201) {
            EXPECT_FALSE(r.state.oneKeyChanged.load());
        }
    }
}
