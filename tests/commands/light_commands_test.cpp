// Lighting commands of both command sets, asserted on the bytes the simulated
// keyboard received and on what its firmware made of them.
#include <gtest/gtest.h>

#include <cstdio>

#include "command_rig.h"

using cmdtest::Aux;
using cmdtest::Feature;
using cmdtest::Out;
using cmdtest::PacketLine;
using cmdtest::Rig;

namespace {

struct Light {
    int mode = 2;
    int brightness = 5;
    int speed = 3;
    int direction = 1;
    int colorful = 0;
    int colorindex = 2;
    int colour = 0x123456;
    int configFunc = 0;
};

// Stores `l` as the lighting profile's row of its mode and makes it current.
void SetLight(Rig& r, const Light& l) {
    LightSettingRow row;
    row.profile = commands::kLightingProfile;
    row.name = L"mode";
    row.mode = l.mode;
    row.brightness = l.brightness;
    row.speed = l.speed;
    row.direction = l.direction;
    row.colorful = l.colorful;
    row.colorindex = l.colorindex;
    row.colorValue = l.colour;
    row.configFunc = l.configFunc;
    LightSettingRow existing;
    if (r.store.GetLightSetting(row.profile, row.mode, existing))
        ASSERT_TRUE(r.store.UpdateLightSetting(row.profile, row.mode, row));
    else
        ASSERT_GT(r.store.AddLightSetting(row), 0);
    r.state.currentLightMode.store(l.mode);
}

void AddKeyLight(Rig& r, int set, int keyCode, int rgb) {
    KeyLightRow k;
    k.profile = commands::kLightingProfile;
    k.lightId = set;
    k.keyCode = keyCode;
    k.keyRgb = rgb;
    ASSERT_EQ(r.store.SaveKeyLights({k}), 1);
}

}  // namespace

// ---- light settings, output-report keyboards --------------------------------------

TEST(UploadLightSettings, ModeChangeSendsTheModeFirstAndThenTheParameters) {
    Rig r(101);
    Light l;
    l.mode = 6;
    l.direction = 2;
    l.colorful = 1;
    l.speed = 0x13;  // only the low four bits fit
    SetLight(r, l);
    r.state.modeSent.store(false);  // the user picked mode 6
    r.cmd.UploadLightSettings();
    EXPECT_EQ(r.TakeLines(), std::vector<std::string>{Out("00 88 00 06")});
    EXPECT_TRUE(r.state.modeSent.load());
    EXPECT_EQ(r.kb->Memory().light.mode, 6);

    l.speed = 4;  // then the speed slider
    SetLight(r, l);
    r.cmd.UploadLightSettings();
    // P = 2 * 16 + 0x40 + 4; colour bytes least significant first.
    EXPECT_EQ(r.TakeLines(), std::vector<std::string>{Out("00 89 00 64 56 34 12 05")});
    const sim::LightState s = r.kb->Memory().light;
    EXPECT_EQ(s.mode, 6);
    EXPECT_EQ(s.speed, 4);
    EXPECT_EQ(s.direction, 2);
    EXPECT_EQ(s.colorful, 1);
    EXPECT_EQ(s.colour, 0x123456u);
    EXPECT_EQ(s.brightness, 5);
}

TEST(UploadLightSettings, AMissingRowSendsNothing) {
    for (int type : {101, 201}) {
        SCOPED_TRACE(type);
        Rig r(type);
        r.state.currentLightMode.store(3);
        r.state.modeSent.store(false);
        r.cmd.UploadLightSettings();
        EXPECT_TRUE(r.Take().empty());
        EXPECT_FALSE(r.state.modeSent.load());
    }
}

// ---- light settings, feature-report keyboards -------------------------------------------

TEST(UploadLightSettings, CableSendsTheFeatureReportOfTheMode) {
    struct Case {
        const char* name;
        Light light;
        int option;
        std::string report;
    };
    Light custom;
    custom.configFunc = 0x100;
    Light mode4;
    mode4.mode = 4;
    mode4.colour = 0x123456;
    mode4.configFunc = 0x100;  // the colour takes the option's byte
    Light mode9;
    mode9.mode = 9;
    Light zero;
    zero.speed = 0;
    zero.brightness = 0;
    const Case cases[] = {
        {"speed and brightness one below, no option without bit 0x100", Light{}, 2, "07 F7 01 02 01 02 04 00"},
        {"the option list's selection with bit 0x100", custom, 2, "07 F7 01 02 01 02 04 02"},
        {"mode 4 sends the colour in bytes 4, 5 and 7", mode4, 2, "07 F7 03 02 56 34 04 12"},
        {"mode 9 sends the speed as it is", mode9, 0, "07 F7 08 02 01 03 04 00"},
        {"speed and brightness 0 stay 0", zero, 0, "07 F7 01 02 01 00 00 00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r(201);
        SetLight(r, c.light);
        r.state.optionSelection.store(c.option);
        r.state.modeSent.store(false);  // means nothing to this command set
        r.clock.ResetCounters();
        r.cmd.UploadLightSettings();
        EXPECT_EQ(r.TakeLines(), std::vector<std::string>{Feature(c.report)});
        EXPECT_EQ(r.clock.SleptMs(), 16);
        const auto b = cmdtest::Hex(c.report);
        const sim::LightState s = r.kb->Memory().light;
        EXPECT_EQ(s.mode, c.light.mode);
        EXPECT_EQ(s.colorindex, b[3]);
        EXPECT_EQ(s.brightness, b[6]);
        if (c.light.mode == 4) {
            EXPECT_EQ(s.colour, 0x123456u);
        } else {
            EXPECT_EQ(s.speed, b[5]);
        }
    }
}

TEST(UploadLightSettings, WithoutTheCableSendsThePacket) {
    struct Case {
        const char* name;
        Light light;
        std::string packet;
    };
    Light custom;
    custom.configFunc = 0x100;
    Light mode4;
    mode4.mode = 4;
    mode4.configFunc = 0x100;
    Light zero;
    zero.speed = 0;
    zero.brightness = 0;
    const Case cases[] = {
        {"plain mode", Light{}, "BB AA 99 88 AA 01 02 01 02 04 00"},
        {"option with bit 0x100", custom, "BB AA 99 88 AA 01 02 01 02 04 01"},
        {"mode 4 sends the colour in bytes 7, 8 and 10", mode4, "BB AA 99 88 AA 03 02 56 34 04 12"},
        {"speed and brightness 0 stay 0", zero, "BB AA 99 88 AA 01 02 01 00 00 00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r(201, 1);
        SetLight(r, c.light);
        r.state.optionSelection.store(1);
        r.clock.ResetCounters();
        r.cmd.UploadLightSettings();
        EXPECT_EQ(r.TakeLines(), std::vector<std::string>{PacketLine(c.packet)});
        EXPECT_EQ(r.clock.SleptMs(), 0);
    }
}

// ---- preset ---------------------------------------------------------------------------

TEST(SendLightPreset, SendsThePresetAndPaintsThePictureWithTheSlotsColours) {
    Rig r(101);
    r.picture.order = {4, 5, 6};
    Light l;
    l.mode = 3;
    l.brightness = 4;
    l.speed = 2;
    l.configFunc = 0x100;
    SetLight(r, l);
    r.state.optionSelection.store(1);
    AddKeyLight(r, 129, 5, 0x0000FF);
    AddKeyLight(r, 128, 6, 0x00FF00);  // another slot: not painted
    r.cmd.SendLightPreset();
    EXPECT_EQ(r.TakeLines(), std::vector<std::string>{Feature("07 FF FF 02 04 02 00 01")});
    const sim::PresetState p = r.kb->Memory().preset;
    EXPECT_TRUE(p.set);
    EXPECT_EQ(p.mode, 3);
    EXPECT_EQ(p.slot, 1);
    EXPECT_EQ(r.picture.calls, (std::vector<std::string>{"mode 0 0", "key 5"}));
    EXPECT_EQ(r.picture.colours[5], 0x0000FFu);
    EXPECT_EQ(r.picture.colours[6], 0u);
}

TEST(SendLightPreset, OnlyKeyboardsBelowType200WithARowGetIt) {
    for (int type : {200, 201}) {
        SCOPED_TRACE(type);
        Rig r(type);
        SetLight(r, Light{});
        r.cmd.SendLightPreset();
        EXPECT_TRUE(r.Take().empty());
        EXPECT_TRUE(r.picture.calls.empty());
    }
    Rig r(101);
    r.state.currentLightMode.store(7);  // no row
    r.cmd.SendLightPreset();
    EXPECT_TRUE(r.Take().empty());
    EXPECT_TRUE(r.picture.calls.empty());
}

// ---- custom colours -----------------------------------------------------------------------

TEST(UploadCustomColours, SendsTheColourTableByLightIndex) {
    Rig r(101);
    r.layout.lightIndexByCode = {{4, 0}, {5, 109}, {6, 15}};
    AddKeyLight(r, 128, 4, 0x563412);
    AddKeyLight(r, 128, 5, 0x0000FF);
    AddKeyLight(r, 128, 7, 0x00FF00);  // not in the map: left out
    AddKeyLight(r, 129, 6, 0xFF0000);  // another colour set
    r.clock.ResetCounters();
    EXPECT_TRUE(r.cmd.UploadCustomColours());
    const auto lines = r.TakeLines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], Out("00 8B 3C 00 00 12 34 56 FF"));
    for (int j = 1; j < 7; ++j) {
        char head[32];
        std::snprintf(head, sizeof head, "00 8B 3C %02X %02X", (60 * j) & 0xFF, (60 * j) >> 8);
        EXPECT_EQ(lines[static_cast<size_t>(j)], Out(head)) << j;
    }
    // Index 109 is bytes 436 to 439, the last four of the table.
    EXPECT_EQ(lines[7], Out("00 8B 14 A4 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 FF 00 00 FF"));
    EXPECT_EQ(r.clock.SleptMs(), 8);
    const auto& mem = r.kb->Memory().customColours;
    EXPECT_EQ(mem[0], 0x12);
    EXPECT_EQ(mem[3], 0xFF);
    EXPECT_EQ(mem[436], 0xFF);
    EXPECT_EQ(mem[4 * 15 + 3], 0);
}

TEST(UploadCustomColours, StopsAtTheFirstFailedReport) {
    Rig r(101);
    AddKeyLight(r, 128, 4, 0x563412);  // empty map: index 0
    r.kb->FailNextTransfers(2);        // the first report and its retry
    EXPECT_FALSE(r.cmd.UploadCustomColours());
    const auto lines = r.TakeLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], Out("00 8B 3C 00 00 12 34 56 FF") + " FAILED");
}

// ---- streaming ------------------------------------------------------------------------------

namespace {

// A 2 x 3 matrix with keys 4, 5, 6 in row 0 and key 7 in row 1, column 2.
void StreamLayout(Rig& r) {
    r.layout.rowCount = 2;
    r.layout.colCount = 3;
    r.layout.keyMatrix[0][0] = 4;
    r.layout.keyMatrix[0][1] = 5;
    r.layout.keyMatrix[0][2] = 6;
    r.layout.keyMatrix[1][2] = 7;
    r.layout.keyMatrix[2][0] = 8;  // outside rowCount: never asked
    r.layout.lightIndexByCode = {{4, 0}, {5, 1}, {6, 2}, {7, 20}};
    r.picture.order = {4, 5, 6, 7};
}

}  // namespace

TEST(StreamKeyColours, PaintsThePictureAndSendsAFrameWhenSomethingIsLit) {
    Rig r(101);
    StreamLayout(r);
    r.music.cells[{0, 1}] = 0x030201;
    r.music.cells[{1, 2}] = 0x0000FF;
    r.screen.cells[{0, 0}] = 0xFFFFFF;  // the other engine: not asked
    r.clock.ResetCounters();
    r.cmd.StreamKeyColours(commands::EffectSource::Music);
    EXPECT_EQ(r.picture.calls, (std::vector<std::string>{"key 4", "key 5", "key 6", "key 7", "redraw"}));
    const auto sent = r.Take();
    ASSERT_EQ(sent.size(), 7u);
    EXPECT_EQ(sim::FormatTransfer(sent[0]), Out("00 F0 F4 01"));
    EXPECT_EQ(sim::FormatTransfer(sent[1]), Aux("00 F1 3C 00 00 00 00 00 01 02 03"));
    EXPECT_EQ(sim::FormatTransfer(sent[2]), Aux("00 F1 3C 3C 00 FF 00 00"));
    EXPECT_EQ(sim::FormatTransfer(sent[6]), Aux("00 F1 1E 2C 01"));
    EXPECT_EQ(r.clock.SleptMs(), 6);
    EXPECT_TRUE(commands::StreamModeEntered());
    const sim::FirmwareMemory mem = r.kb->Memory();
    EXPECT_TRUE(mem.streamMode);
    EXPECT_EQ(mem.framesShown, 1);
    EXPECT_EQ(mem.frame[3], 0x01);
    EXPECT_EQ(mem.frame[60], 0xFF);

    // The stream switch goes out once per process.
    r.cmd.StreamKeyColours(commands::EffectSource::Music);
    const auto again = r.TakeLines();
    ASSERT_EQ(again.size(), 6u);
    EXPECT_EQ(again[0].substr(0, 17), "W aux 00 F1 3C 00");
    EXPECT_EQ(r.kb->Memory().framesShown, 2);
}

TEST(StreamKeyColours, SendsNoFrameWhenDarkOffTheCableOrWithoutAMatrix) {
    {
        SCOPED_TRACE("every cell 0 or 1");
        Rig r(101);
        StreamLayout(r);
        r.screen.cells[{0, 0}] = 1;
        r.cmd.StreamKeyColours(commands::EffectSource::Screen);
        EXPECT_EQ(r.picture.calls.back(), "redraw");
        EXPECT_EQ(r.picture.colours[4], 1u);
        EXPECT_TRUE(r.Take().empty());
        EXPECT_FALSE(commands::StreamModeEntered());
    }
    {
        SCOPED_TRACE("receiver");
        Rig r(101, 1);
        StreamLayout(r);
        r.screen.cells[{0, 0}] = 0xFFFFFF;
        r.cmd.StreamKeyColours(commands::EffectSource::Screen);
        EXPECT_EQ(r.picture.colours[4], 0xFFFFFFu);
        EXPECT_TRUE(r.Take().empty());
    }
    {
        SCOPED_TRACE("no key matrix");
        Rig r(101);
        StreamLayout(r);
        r.layout.colCount = 0;
        r.screen.cells[{0, 0}] = 0xFFFFFF;
        r.cmd.StreamKeyColours(commands::EffectSource::Screen);
        EXPECT_TRUE(r.picture.calls.empty());
        EXPECT_TRUE(r.Take().empty());
    }
}

TEST(SendKeyFrame, StopsWhenThereIsNoAuxiliaryChannel) {
    Rig r(101, 1);  // the receiver shows no interface 3
    StreamLayout(r);
    r.picture.colours[4] = 0xFFFFFF;
    r.cmd.SendKeyFrame();
    EXPECT_EQ(r.TakeLines(), std::vector<std::string>{Out("00 F0 F4 01")});
    EXPECT_EQ(r.kb->Memory().framesShown, 0);
}

// ---- music level ----------------------------------------------------------------------------

TEST(SendMusicLevel, SendsTheLevelTimesTheGainWithoutAWait) {
    struct Case {
        int level;
        float gain;
        int sent;
    };
    const Case cases[] = {{200, 2.0f, 255}, {100, 1.0f, 100}, {99, 1.5f, 148}, {-5, 1.0f, 0}, {1 << 30, 4.0f, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        Rig r(201);
        r.picture.order = {4, 5};
        r.state.musicColour.store(3);
        r.state.musicEffect.store(6);
        r.state.musicGain.store(c.gain);
        r.clock.ResetCounters();
        r.cmd.SendMusicLevel(c.level);
        char report[32];
        std::snprintf(report, sizeof report, "07 23 45 67 89 03 06 %02X", c.sent);
        EXPECT_EQ(r.TakeLines(), std::vector<std::string>{Feature(report)});
        EXPECT_EQ(r.clock.SleptMs(), 0);
        EXPECT_EQ(r.kb->Memory().music.level, c.sent);
        EXPECT_EQ(r.kb->Memory().music.effect, 6);
        EXPECT_EQ(r.picture.colours[5], 0xFFFF00u);
    }
    Rig r(101);
    r.cmd.SendMusicLevel(100);
    EXPECT_TRUE(r.Take().empty());
}
