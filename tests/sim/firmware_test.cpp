// The firmware model: every command of the link's command set, written out
// byte by byte, and the memory it leaves.
#include <gtest/gtest.h>

#include <vector>

#include "sim/firmware.h"

using sim::Firmware;

namespace {

// An output report: report id 0, then the data bytes, padded to 65.
void Out(Firmware& fw, std::vector<std::uint8_t> data, bool aux = false) {
    data.insert(data.begin(), 0);
    data.resize(65, 0);
    fw.Output(data.data(), data.size(), aux);
}

void Feature(Firmware& fw, std::vector<std::uint8_t> bytes) {
    bytes.resize(8, 0);
    fw.FeatureWrite(bytes.data(), bytes.size());
}

std::vector<std::uint8_t> Read(Firmware& fw) {
    std::vector<std::uint8_t> r(8, 0);
    r[0] = 7;
    r.resize(static_cast<size_t>(fw.FeatureRead(r.data(), r.size())));
    return r;
}

// Output report with a length byte and a little-endian offset before the payload.
std::vector<std::uint8_t> Chunk(std::uint8_t command, int len, int off, std::vector<std::uint8_t> payload) {
    std::vector<std::uint8_t> d = {command, static_cast<std::uint8_t>(len), static_cast<std::uint8_t>(off & 0xFF),
                                   static_cast<std::uint8_t>(off >> 8)};
    d.insert(d.end(), payload.begin(), payload.end());
    return d;
}

}  // namespace

TEST(FirmwareOutputReports, KeyTableMacrosAndColours) {
    Firmware fw;
    // 0x8D: key index 2 remapped (value 0x05, flag 0x20), index 119 in the
    // last 40-byte report (offset 180 + 58).
    std::vector<std::uint8_t> first(60, 0);
    first[4] = 0x05, first[5] = 0x20;
    Out(fw, Chunk(0x8D, 60, 0, first));
    std::vector<std::uint8_t> last(60, 0);
    last[58] = 0x03, last[59] = 0x40;
    Out(fw, Chunk(0x8D, 40, 180, last));
    EXPECT_EQ(fw.Memory().keyTable[4], 0x05);
    EXPECT_EQ(fw.Memory().keyTable[5], 0x20);
    EXPECT_EQ(fw.Memory().keyTable[238], 0x03);
    EXPECT_EQ(fw.Memory().keyTable[239], 0x40);

    // 0x8E: a macro of two packets into slot 1: play 3 times, 2 steps,
    // 'A' pressed after 2000 ms (D0 87) and released (D0 07).
    std::vector<std::uint8_t> d(59, 0);
    d[0] = 3, d[1] = 2;
    d[2] = 0x04, d[3] = 0xD0, d[4] = 0x87;
    d[5] = 0x04, d[6] = 0xD0, d[7] = 0x07;
    std::vector<std::uint8_t> packet = {0x8E, 59, 0, 0, 1};
    packet.insert(packet.end(), d.begin(), d.end());
    Out(fw, packet);
    Out(fw, {0x8E, 9, 59, 0, 1});  // a second, empty packet at offset 59
    sim::HardwareMacro m = fw.DecodeHardwareMacro(1);
    EXPECT_EQ(m.playTimes, 3);
    EXPECT_EQ(m.stepCount, 2);
    ASSERT_EQ(m.steps.size(), 2u);
    EXPECT_EQ(m.steps[0], (sim::MacroStep{0x04, 2000, 0, true}));
    EXPECT_EQ(m.steps[1], (sim::MacroStep{0x04, 2000, 0, false}));
    EXPECT_EQ(fw.Memory().macroMemory.at(1).size(), 118u);

    // The built-in shortcut report: length 3c, slot 2, play once, c steps,
    // kept whole though its length byte counts only the steps.
    Out(fw, {0x8E, 12, 0, 0, 2, 1, 4, 0xE0, 100, 0x80, 0x04, 100, 0x80, 0x04, 100, 0x00, 0xE0, 100, 0x00});
    m = fw.DecodeHardwareMacro(2);
    EXPECT_EQ(m.playTimes, 1);
    ASSERT_EQ(m.steps.size(), 4u);
    EXPECT_EQ(m.steps[3], (sim::MacroStep{0xE0, 100, 0, false}));

    // 0x8B: the colour of light index 3 in the first report, index 109 in
    // the last 20-byte one.
    std::vector<std::uint8_t> colours(60, 0);
    colours[12] = 0x56, colours[13] = 0x34, colours[14] = 0x12, colours[15] = 0xFF;
    Out(fw, Chunk(0x8B, 60, 0, colours));
    std::vector<std::uint8_t> tail(60, 0);
    tail[16] = 1, tail[19] = 0xFF;
    Out(fw, Chunk(0x8B, 20, 420, tail));
    EXPECT_EQ(fw.Memory().customColours[12], 0x56);
    EXPECT_EQ(fw.Memory().customColours[15], 0xFF);
    EXPECT_EQ(fw.Memory().customColours[436], 1);
    EXPECT_EQ(fw.Memory().customColours[439], 0xFF);

    // Stream mode and one colour frame of six reports on interface 3.
    Out(fw, {0xF0, 0xF4, 0x01});
    EXPECT_TRUE(fw.Memory().streamMode);
    for (int j = 0; j < 6; ++j) Out(fw, Chunk(0xF1, j == 5 ? 30 : 60, 60 * j, std::vector<std::uint8_t>(60, 0x11)), true);
    EXPECT_EQ(fw.Memory().framesShown, 1);
    EXPECT_EQ(fw.Memory().frame[329], 0x11);
    EXPECT_EQ(fw.UnknownReports(), 0);
}

TEST(FirmwareOutputReports, LightModeParametersAndReset) {
    Firmware fw;
    Out(fw, {0x88, 0x00, 0x05});
    EXPECT_EQ(fw.Memory().light.mode, 5);
    // P = direction 2 << 4 | colourful 0x40 | speed 3; colour 56 34 12; brightness 4.
    Out(fw, {0x89, 0x00, 0x63, 0x56, 0x34, 0x12, 0x04});
    const sim::LightState& l = fw.Memory().light;
    EXPECT_EQ(l.direction, 2);
    EXPECT_EQ(l.colorful, 1);
    EXPECT_EQ(l.speed, 3);
    EXPECT_EQ(l.colour, 0x123456u);
    EXPECT_EQ(l.brightness, 4);
    EXPECT_EQ(l.mode, 5);

    Out(fw, {0xFF, 0xFE, 0xAA, 0xFF});
    EXPECT_EQ(fw.Memory().resets, 1);
    EXPECT_EQ(fw.Memory().light.mode, 1);  // factory light
    EXPECT_FALSE(fw.Memory().streamMode);
}

TEST(FirmwarePackets, LightSettingsAndTheTwoPartReset) {
    Firmware fw;
    Out(fw, {0xBB, 0xAA, 0x99, 0x88, 0xAA, 2, 1, 1, 2, 3, 4});
    sim::LightState l = fw.Memory().light;
    EXPECT_EQ(l.mode, 3);
    EXPECT_EQ(l.colorindex, 1);
    EXPECT_EQ(l.direction, 1);
    EXPECT_EQ(l.speed, 2);
    EXPECT_EQ(l.brightness, 3);
    EXPECT_EQ(l.option, 4);
    // Mode 4 carries the colour in place of direction, speed and option.
    Out(fw, {0xBB, 0xAA, 0x99, 0x88, 0xAA, 3, 0, 0x56, 0x34, 4, 0x12});
    l = fw.Memory().light;
    EXPECT_EQ(l.mode, 4);
    EXPECT_EQ(l.colour, 0x123456u);
    EXPECT_EQ(l.direction, 1);
    EXPECT_EQ(l.brightness, 4);

    Out(fw, {0xBB, 0xAA, 0x99, 0x88, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA});
    EXPECT_EQ(fw.Memory().resets, 1);
    EXPECT_TRUE(fw.Memory().resetPending);
    Out(fw, {0xBB, 0xAA, 0x99, 0x88});
    EXPECT_FALSE(fw.Memory().resetPending);
    Out(fw, {0xBB, 0xAA, 0x99, 0x88});  // a second closing packet means nothing
    EXPECT_EQ(fw.UnknownReports(), 1);
}

TEST(FirmwareFeatureReports, SlotsQueriesLightMusicAndReset) {
    Firmware fw;
    // Macro slot 4 for key 0x1E: play twice, Ctrl down 01, A down 01, A up 81, Ctrl up 81.
    std::uint8_t block[168] = {1, 4, 0x1E, 2, 0xE0, 0x01, 0x04, 0x01, 0x04, 0x81, 0xE0, 0x81};
    for (int i = 0; i < 28; ++i) {
        std::vector<std::uint8_t> r = {7, static_cast<std::uint8_t>(i == 0 ? 0xF1 : 0x00)};
        r.insert(r.end(), block + 6 * i, block + 6 * i + 6);
        Feature(fw, r);
    }
    sim::SlotMacro m = fw.DecodeSlotMacro(4);
    EXPECT_EQ(m.owner, 0x1E);
    EXPECT_EQ(m.playTimes, 2);
    ASSERT_EQ(m.steps.size(), 4u);
    EXPECT_EQ(m.steps[1], (sim::MacroStep{0x04, 0, 0x01, true}));
    EXPECT_EQ(m.steps[2], (sim::MacroStep{0x04, 0, 0x81, false}));

    // Remap slot 2 for key 0x2C to value 5, then slot 3 emptied; slot 11 does not exist.
    Feature(fw, {7, 0xFA, 1, 2, 0x2C, 1, 5, 1});
    Feature(fw, {7, 0xFA, 1, 3, 0x11, 1, 6, 1});
    Feature(fw, {7, 0xFA, 1, 3, 0, 1, 0, 1});
    Feature(fw, {7, 0xFA, 1, 11, 0x2D, 1, 7, 1});
    EXPECT_EQ(fw.Memory().remapSlots[1].owner, 0x2C);
    EXPECT_EQ(fw.Memory().remapSlots[1].target, 5);
    EXPECT_EQ(fw.Memory().remapSlots[2].owner, 0);

    // The slot table answers in four reads of seven bytes.
    Feature(fw, {7, 0xFB, 1});
    std::vector<std::uint8_t> table;
    for (int i = 0; i < 4; ++i) {
        auto r = Read(fw);
        ASSERT_EQ(r.size(), 8u);
        EXPECT_EQ(r[0], 7);
        table.insert(table.end(), r.begin() + 1, r.end());
    }
    std::vector<std::uint8_t> expected(28, 0);
    expected[4] = 0x1E;
    expected[15] = 0x2C;
    EXPECT_EQ(table, expected);

    fw.SetVersion(0x0109);
    Feature(fw, {7, 0xFD});
    EXPECT_EQ(Read(fw), (std::vector<std::uint8_t>{7, 0x01, 0x09, 0, 0, 0, 0, 0}));

    // 0xF7: m, colour index, direction, speed - 1, brightness - 1, option.
    Feature(fw, {7, 0xF7, 1, 2, 1, 2, 3, 1});
    sim::LightState l = fw.Memory().light;
    EXPECT_EQ(l.mode, 2);
    EXPECT_EQ(l.colorindex, 2);
    EXPECT_EQ(l.direction, 1);
    EXPECT_EQ(l.speed, 2);
    EXPECT_EQ(l.brightness, 3);
    EXPECT_EQ(l.option, 1);
    Feature(fw, {7, 0xF7, 3, 0, 0x56, 0x34, 4, 0x12});  // mode 4: colour bytes
    EXPECT_EQ(fw.Memory().light.colour, 0x123456u);
    EXPECT_EQ(fw.Memory().light.direction, 1);
    Feature(fw, {7, 0xF7, 8, 1, 0, 3, 2, 0});  // mode 9: speed without the minus one
    EXPECT_EQ(fw.Memory().light.mode, 9);
    EXPECT_EQ(fw.Memory().light.speed, 3);

    Feature(fw, {7, 0x23, 0x45, 0x67, 0x89, 2, 1, 255});
    EXPECT_EQ(fw.Memory().music.level, 255);
    EXPECT_EQ(fw.Memory().music.colour, 2);
    EXPECT_EQ(fw.Memory().music.count, 1);

    Feature(fw, {7, 0xFF, 0xFF, 2, 4, 3, 0, 1});
    EXPECT_EQ(fw.Memory().preset.mode, 3);
    EXPECT_EQ(fw.Memory().preset.slot, 1);

    EXPECT_EQ(fw.UnknownReports(), 1);  // the remap slot 11
    Feature(fw, {7, 0xF0, 0xAA});
    EXPECT_EQ(fw.Memory().resets, 1);
    EXPECT_EQ(fw.SlotTable(), (std::array<std::uint8_t, 28>{}));
}

TEST(FirmwareFeatureReports, ABlockCutShortKeepsWhatArrived) {
    Firmware fw;
    Feature(fw, {7, 0xF1, 1, 5, 0x1F, 1, 0x04, 0x01});
    Feature(fw, {7, 0x00, 0x04, 0x81});
    Feature(fw, {7, 0xFB, 1});  // another command ends the block
    Feature(fw, {7, 0x00, 0x05, 0x01});  // no longer part of it
    sim::SlotMacro m = fw.DecodeSlotMacro(5);
    EXPECT_EQ(m.owner, 0x1F);
    EXPECT_EQ(m.steps.size(), 2u);
    EXPECT_EQ(fw.UnknownReports(), 1);

    // A block for a slot that does not exist is taken whole and dropped.
    Feature(fw, {7, 0xF1, 1, 14, 0x20});
    for (int i = 1; i < 28; ++i) Feature(fw, {7, 0x00, 0x20, 0x01});
    for (int s = 1; s <= 13; ++s) EXPECT_NE(fw.DecodeSlotMacro(s).owner, 0x20);
    EXPECT_EQ(fw.UnknownReports(), 2);
}

TEST(FirmwareOutputReports, OffsetsAndLengthsNeverReachOutsideMemory) {
    Firmware fw;
    Out(fw, Chunk(0x8D, 255, 230, std::vector<std::uint8_t>(60, 0x77)));
    Out(fw, Chunk(0x8D, 60, 0xFFFF, std::vector<std::uint8_t>(60, 0x66)));
    Out(fw, Chunk(0x8B, 200, 430, std::vector<std::uint8_t>(60, 0x55)));
    Out(fw, {0x8E, 59, 0xB0, 0x04, 3, 9, 9});  // offset 1200: past the end
    Out(fw, {0x8E, 59, 0xAF, 0x04, 3, 9, 9});  // offset 1199: one byte fits
    EXPECT_EQ(fw.Memory().keyTable[239], 0x77);
    EXPECT_EQ(fw.Memory().keyTable[229], 0);
    EXPECT_EQ(fw.Memory().customColours[439], 0x55);
    EXPECT_EQ(fw.Memory().macroMemory.at(3).size(), 1200u);
    EXPECT_EQ(fw.Memory().macroMemory.at(3)[1199], 9);
    // Short and odd reports are taken as zero-padded.
    std::uint8_t one[1] = {0};
    fw.Output(one, 1, false);
    std::uint8_t two[2] = {7, 0xFD};
    fw.FeatureWrite(two, 2);
    EXPECT_EQ(Read(fw)[1], 0x01);
}

TEST(FirmwareState, SavesAndLoadsEveryPartOfTheMemory) {
    Firmware fw(0x0203);
    Out(fw, Chunk(0x8D, 60, 0, std::vector<std::uint8_t>(60, 0x21)));
    Out(fw, {0x8E, 59, 0, 0, 7, 1, 1, 0x04, 10, 0x80});
    Out(fw, Chunk(0x8B, 60, 60, std::vector<std::uint8_t>(60, 0x33)));
    Out(fw, {0x89, 0x00, 0x63, 0x56, 0x34, 0x12, 0x04});
    Out(fw, {0xF0, 0xF4, 0x01});
    Feature(fw, {7, 0xF1, 1, 13, 0x29, 1, 0x29, 0x01});
    Feature(fw, {7, 0xFA, 1, 10, 0x2C, 1, 5, 1});
    Feature(fw, {7, 0x23, 0x45, 0x67, 0x89, 2, 1, 99});
    Feature(fw, {7, 0xFF, 0xFF, 2, 4, 3, 0, 1});
    const std::string saved = fw.Save();

    Firmware back;
    ASSERT_TRUE(back.Load(saved));
    EXPECT_EQ(back.Save(), saved);
    EXPECT_EQ(back.Version(), 0x0203);
    EXPECT_EQ(back.DecodeSlotMacro(13).owner, 0x29);
    EXPECT_EQ(back.Memory().light.colour, 0x123456u);
    EXPECT_EQ(back.Describe(), fw.Describe());
}

TEST(FirmwareState, DamagedStateTextsGiveTheFactoryStateOrSkipTheirBadLines) {
    Firmware good;
    Feature(good, {7, 0xFA, 1, 1, 0x2C, 1, 5, 1});
    const std::string saved = good.Save();

    struct Case {
        const char* what;
        std::string text;
        bool loads;
        int remapOwner;  // slot 1 after loading
    };
    const Case cases[] = {
        {"empty", "", false, 0},
        {"another file", "[settings]\nLCID=1033\n", false, 0},
        {"truncated in the middle of a line", saved.substr(0, saved.size() / 2), true, 0},
        {"bad hex and numbers", "keyloom-sim-state 1\nkeytable ZZ\nslot 99 1 00\nremap 1 44 x\nlight 1 2\n"
                                "macro -5 00\nmacro 3 ABC\nremap 1 44 5\n", true, 44},
        {"oversized macro", "keyloom-sim-state 1\nmacro 1 " + std::string(2402, 'A') + "\n", true, 0},
        {"saved", saved, true, 0x2C},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Firmware fw;
        Feature(fw, {7, 0xFA, 1, 1, 0x11, 1, 5, 1});
        EXPECT_EQ(fw.Load(c.text), c.loads);
        if (c.loads) {
            EXPECT_EQ(fw.Memory().remapSlots[0].owner, c.remapOwner);
            EXPECT_TRUE(fw.Memory().macroMemory.count(1) == 0 || fw.Memory().macroMemory.at(1).size() <= 1200);
        } else {
            EXPECT_EQ(fw.Memory().remapSlots[0].owner, 0x11);  // untouched
        }
    }
}
