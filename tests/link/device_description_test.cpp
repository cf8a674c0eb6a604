// config.xml and layout files: what the readers fill, what they show, and
// what broken files leave behind.
#include <gtest/gtest.h>

#include <climits>

#include "link/device_description.h"
#include "link/device_manager.h"
#include "link/keyboard_link.h"
#include "recording_observer.h"
#include "sim/simulated_keyboard.h"
#include "test_support.h"
#include "xml/xml_document.h"

using linktest::RecordingObserver;
using linktest::U8;

namespace {

const char* kConfig = R"(<?xml version="1.0" encoding="UTF-8"?>
<config>
  <device.info>
    <keyboard name="Alpha" device_type="201" device_info="alpha">
      <mode value="0" desc="cable" vid="0x1209" pid="0x0001" product_name="" hid_interface="HID#VID_1209&amp;PID_0001&amp;MI_01"/>
      <mode value="1" desc="receiver" vid="1209" pid="0X0002" product_name="Alpha RX" hid_interface="HID#VID_1209&amp;PID_0002"/>
      <mode value="2"/>
    </keyboard>
    <keyboard name="Beta" device_type="101" device_info="beta">
      <mode value="0" desc="cable" vid="0x1209" pid="0x0004" hid_interface="PID_0004"/>
    </keyboard>
    <keyboard name="Gamma" device_type="150" device_info="gamma"/>
  </device.info>
  <software name="Keyloom" version="2.5.1">
    <website url="https://w.invalid/"/>
    <store url="https://s.invalid/"/>
    <upgrade url="https://u.invalid/"/>
    <copyright info="notice text"/>
  </software>
</config>)";

std::unique_ptr<xml::XmlDocument> Doc(const std::string& text) {
    auto doc = std::make_unique<xml::XmlDocument>();
    doc->LoadFromString(text);
    return doc;
}

std::string Layout(const std::string& keys, const std::string& head = R"(<menu macro="0" light_mode="1"/>
  <function sleep_time="5"/>
  <firmware version="105" file="Tool" url="https://f.invalid/"/>
  <light rgb_keyboard="1" default_mode="2" default_brightness="3" default_speed="2" brightness_max="4" speed_max="5">
    <info name="501" mode="1" attribute="65"/>
    <info name="502" mode="2" attribute="512"/>
  </light>)") {
    return "<device.info>" + head + R"(<Keyboard xpos="100" ypos="50" width="600" height="200" image="alpha.png" row_count="6" col_count="21"><KeyItems>)" +
           keys + "</KeyItems></Keyboard></device.info>";
}

struct Bus {
    std::shared_ptr<sim::SimulatedBus> bus = std::make_shared<sim::SimulatedBus>();
    DeviceManager manager{bus};
};

}  // namespace

TEST(ConfigReader, FillsListsIdentityStripAndTargetsInDocumentOrder) {
    Bus b;
    RecordingObserver view;
    ConfigDescription config;
    auto doc = Doc(kConfig);
    ASSERT_TRUE(ReadConfigDocument(*doc, config, &view, &b.manager));

    ASSERT_EQ(config.keyboards.size(), 3u);
    EXPECT_EQ(U8(config.keyboards[1].name), "Beta");
    EXPECT_EQ(config.keyboards[1].deviceType, 101);
    EXPECT_EQ(U8(config.keyboards[1].layoutName), "beta");

    ASSERT_EQ(config.modes.size(), 4u);
    const DeviceDescription& cable = config.modes[0];
    EXPECT_EQ(U8(cable.name), "");  // empty product name: any product
    EXPECT_EQ(cable.deviceType, 201);
    EXPECT_EQ(U8(cable.layoutName), "alpha");
    EXPECT_EQ(cable.vendorId, 0x1209);
    EXPECT_EQ(cable.productId, 1);
    EXPECT_EQ(U8(cable.description), "cable");
    EXPECT_EQ(U8(cable.interfacePattern), "HID#VID_1209&PID_0001&MI_01");
    EXPECT_EQ(cable.connected, 0);
    // vid with and without 0x (and an upper-case X) give the same numbers.
    EXPECT_EQ(config.modes[1].vendorId, 0x1209);
    EXPECT_EQ(config.modes[1].productId, 2);
    EXPECT_EQ(U8(config.modes[1].name), "Alpha RX");
    // A mode element is read afresh: nothing carries over from the one before.
    const DeviceDescription& bare = config.modes[2];
    EXPECT_EQ(bare.mode, 2);
    EXPECT_EQ(bare.vendorId, 0);
    EXPECT_EQ(U8(bare.name), "");
    EXPECT_EQ(U8(bare.description), "");
    EXPECT_EQ(U8(bare.interfacePattern), "");
    EXPECT_EQ(config.modes[3].deviceType, 101);

    EXPECT_EQ(U8(config.identity.softwareVersion), "2.5.1");
    EXPECT_EQ(U8(config.identity.websiteUrl), "https://w.invalid/");
    EXPECT_EQ(U8(config.identity.storeUrl), "https://s.invalid/");
    EXPECT_EQ(U8(config.identity.upgradeUrl), "https://u.invalid/");
    EXPECT_EQ(U8(config.identity.noticeText), "notice text");

    // The keyboard without modes is in the strip all the same.
    const std::vector<std::string> expected = {
        "AddDevice Alpha 0 0 201 0", "AddDevice Beta 0 0 101 0", "AddDevice Gamma 0 0 150 0",
        "Version Ver: 2.5.1", "Notice notice text"};
    EXPECT_EQ(view.calls, expected);

    const std::vector<Target> targets = b.manager.Targets();
    ASSERT_EQ(targets.size(), 4u);
    EXPECT_EQ(targets[1].vendorId, 0x1209);
    EXPECT_EQ(targets[1].productId, 2);
    EXPECT_EQ(U8(targets[1].productName), "Alpha RX");
    EXPECT_EQ(targets[1].deviceType, 201);
    EXPECT_EQ(targets[1].mode, 1);
    EXPECT_EQ(U8(targets[1].interfacePattern), "HID#VID_1209&PID_0002");
    EXPECT_EQ(targets[3].deviceType, 101);
}

TEST(ConfigReader, SearchesGoOnAfterTheLastElementFound) {
    // software before device.info is not seen; a missing website does not
    // stop store and copyright from being read.
    ConfigDescription early;
    auto doc = Doc(R"(<config><software version="9"/><device.info><keyboard name="A" device_type="1"/></device.info></config>)");
    ASSERT_TRUE(ReadConfigDocument(*doc, early, nullptr, nullptr));
    EXPECT_EQ(early.keyboards.size(), 1u);
    EXPECT_EQ(U8(early.identity.softwareVersion), "");

    ConfigDescription partial;
    doc = Doc(R"(<config><software version="3"><store url="s"/><website url="w"/><copyright info="c"/></software></config>)");
    ASSERT_TRUE(ReadConfigDocument(*doc, partial, nullptr, nullptr));
    EXPECT_EQ(U8(partial.identity.websiteUrl), "w");
    EXPECT_EQ(U8(partial.identity.storeUrl), "");  // placed before website
    EXPECT_EQ(U8(partial.identity.noticeText), "c");

    // Without a website the store is looked for from the same place.
    ConfigDescription noSite;
    doc = Doc(R"(<config><software><store url="s"/><upgrade url="u"/></software></config>)");
    ASSERT_TRUE(ReadConfigDocument(*doc, noSite, nullptr, nullptr));
    EXPECT_EQ(U8(noSite.identity.storeUrl), "s");
    EXPECT_EQ(U8(noSite.identity.upgradeUrl), "u");
}

TEST(ConfigReader, NonNumericAttributesReadAsZeroOrTheirLeadingNumber) {
    ConfigDescription config;
    auto doc = Doc(R"(<config><device.info><keyboard name="A" device_type="abc">
        <mode value="1x" vid="zz" pid="0x12g4"/><mode vid="0xFFFFFFFFFFFFFFFFFFFFFFFF" pid="-0x10"/>
        </keyboard></device.info></config>)");
    ASSERT_TRUE(ReadConfigDocument(*doc, config, nullptr, nullptr));
    ASSERT_EQ(config.modes.size(), 2u);
    EXPECT_EQ(config.keyboards[0].deviceType, 0);
    EXPECT_EQ(config.modes[0].mode, 1);
    EXPECT_EQ(config.modes[0].vendorId, 0);
    EXPECT_EQ(config.modes[0].productId, 0x12);
    // Too many digits saturate instead of wrapping; a sign is taken as wcstol takes it.
    EXPECT_EQ(config.modes[1].vendorId, INT_MAX);
    EXPECT_EQ(config.modes[1].productId, -16);
}

TEST(ConfigReader, RejectsADocumentWithoutConfigRoot) {
    ConfigDescription config;
    RecordingObserver view;
    auto doc = Doc("<settings><device.info><keyboard name=\"A\"/></device.info></settings>");
    EXPECT_FALSE(ReadConfigDocument(*doc, config, &view, nullptr));
    EXPECT_TRUE(config.keyboards.empty());
    EXPECT_TRUE(view.calls.empty());
}

TEST(LayoutReader, ReadsEveryElementAndShowsItOnTheSelectedPictures) {
    RecordingObserver view;
    KeyboardLayout layout;
    auto doc = Doc(Layout(R"(<key code="0x29" name="Esc" desc="Escape" key_index="0" light_index="7" icon="esc.png" row_col="3,5" rect="10,20,30,40"/>
        <key code="2C" name="Space" key_index="60" light_index="60" row_col="3,12" rect="0,0,1,1"/>)"));
    ASSERT_TRUE(ReadLayoutDocument(*doc, layout, 4, &view));

    // macro 0, light_mode 1: key page, lighting page and the third picture.
    EXPECT_EQ(layout.featureFlags, 0x45);
    EXPECT_EQ(U8(layout.firmwareVersion), "105");
    EXPECT_EQ(U8(layout.firmwareFile), "Tool");
    EXPECT_EQ(U8(layout.firmwareUrl), "https://f.invalid/");
    EXPECT_TRUE(layout.rgbKeyboard);
    EXPECT_EQ(layout.defaultLightMode, 2);
    EXPECT_EQ(layout.brightnessMax, 4);
    EXPECT_EQ(layout.speedMax, 5);

    ASSERT_EQ(layout.lightModes.size(), 2u);
    const LightModeEntry& first = layout.lightModes[0];
    EXPECT_EQ(first.profile, 4);
    EXPECT_EQ(U8(first.name), "501");
    EXPECT_EQ(first.mode, 1);
    EXPECT_EQ(first.brightness, 3);
    EXPECT_EQ(first.speed, 2);
    EXPECT_EQ(first.direction, 0);
    EXPECT_EQ(first.colorful, 1);
    EXPECT_EQ(first.colorindex, 0);
    EXPECT_EQ(first.colorValue, 255);
    EXPECT_EQ(first.configFunc, 65);
    EXPECT_EQ(layout.lightModes[1].mode, 2);
    EXPECT_EQ(layout.lightModes[1].configFunc, 512);

    EXPECT_EQ(layout.picture.x, 100);
    EXPECT_EQ(layout.picture.width, 600);
    EXPECT_EQ(U8(layout.picture.image), "alpha.png");
    EXPECT_EQ(layout.rowCount, 6);
    EXPECT_EQ(layout.colCount, 21);

    // light_index is read, but colour frames are placed by key_index.
    EXPECT_EQ(layout.keyIndexByCode.at(0x29), 0);
    EXPECT_EQ(layout.lightIndexByCode.at(0x29), 0);
    EXPECT_EQ(layout.keyIndexByCode.at(0x2C), 60);
    EXPECT_EQ(layout.keyMatrix[3][5], 0x29);
    EXPECT_EQ(layout.keyMatrix[3][12], 0x2C);
    ASSERT_EQ(layout.keys.size(), 2u);
    EXPECT_EQ(layout.keys[0].lightIndex, 7);
    EXPECT_EQ(layout.keys[0].item.rect, CRect(10, 20, 40, 60));
    EXPECT_EQ(U8(layout.keys[0].item.icon), "esc.png");
    EXPECT_EQ(U8(layout.keys[0].item.desc), "Escape");

    const std::vector<std::string> expected = {
        "Tab 1 1", "Tab 2 0", "Tab 3 1", "Tab 7 1", "Firmware 1", "Sliders 4 5",
        "Clear 1", "Clear 4", "Clear 64",
        "Rect 1 100,50,700,250", "Image 1 keyboard\\alpha.png", "Size 1 600 200",
        "Rect 4 100,50,700,250", "Image 4 keyboard\\alpha.png", "Size 4 600 200",
        "Rect 64 100,50,700,250", "Image 64 keyboard\\alpha.png", "Size 64 600 200",
        "Key 1 41", "Key 4 41", "Key 64 41", "Key 1 44", "Key 4 44", "Key 64 44"};
    EXPECT_EQ(view.calls, expected);
}

TEST(LayoutReader, RowColOutsideTheMatrixIsSkippedButTheKeyStays) {
    struct Case {
        const char* text;
        int row;  // -1: skipped
        int column;
    };
    const Case cases[] = {
        {"3,5", 3, 5},   {"3,12", 3, 12}, {"0,0", 0, 0},    {"7,31", 7, 31},  {" 3 , 5 ", 3, 5},
        {"3,05", 3, 5},  {"8,0", -1, 0},  {"3,32", -1, 0},  {"-1,3", -1, 0},  {"12,5", -1, 0},
        {"a,3", -1, 0},  {"3,b", -1, 0},  {"3", -1, 0},     {"", -1, 0},      {"3,5,7", -1, 0},
        {"3,123", -1, 0}, {",5", -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        int row = -1;
        int column = -1;
        EXPECT_EQ(ParseRowCol(CString::FromUtf8(c.text), row, column), c.row >= 0);
        if (c.row >= 0) {
            EXPECT_EQ(row, c.row);
            EXPECT_EQ(column, c.column);
        }
    }

    KeyboardLayout layout;
    auto doc = Doc(Layout(R"(<key code="0x04" key_index="9" row_col="9,40"/>)"));
    ASSERT_TRUE(ReadLayoutDocument(*doc, layout, 0, nullptr));
    ASSERT_EQ(layout.keys.size(), 1u);
    EXPECT_EQ(layout.keys[0].row, -1);
    EXPECT_EQ(layout.keyIndexByCode.at(4), 9);
    for (const auto& r : layout.keyMatrix)
        for (std::uint8_t cell : r) EXPECT_EQ(cell, kNoKey);
}

TEST(LayoutReader, RectIsPositionAndSize) {
    struct Case {
        const char* text;
        CRect rect;
    };
    const Case cases[] = {
        {"10,20,30,40", CRect(10, 20, 40, 60)},
        {"", CRect(0, 0, 0, 0)},
        {"1,2", CRect(1, 2, 1, 2)},
        {"x,2,3,4", CRect(0, 2, 3, 6)},
        {"2147483647,0,10,0", CRect(INT_MAX, 0, INT_MAX, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseKeyRect(CString::FromUtf8(c.text)), c.rect);
    }
}

TEST(LayoutReader, ElementsOutOfOrderOrMissingKeepTheirValues) {
    KeyboardLayout layout;
    layout.featureFlags = 0x03;
    layout.lightModes.resize(5);
    layout.keyIndexByCode[1] = 1;
    layout.rowCount = 3;
    RecordingObserver view;
    // light placed before firmware is passed over; no menu, no Keyboard.
    auto doc = Doc(R"(<device.info><light default_mode="7"><info mode="1"/></light><firmware version="2" file="f"/></device.info>)");
    ASSERT_TRUE(ReadLayoutDocument(*doc, layout, 0, &view));
    EXPECT_EQ(layout.featureFlags, 0x03);
    EXPECT_EQ(layout.lightModes.size(), 5u);
    EXPECT_EQ(U8(layout.firmwareVersion), "2");
    // The key model is cleared whether or not a Keyboard element follows.
    EXPECT_TRUE(layout.keyIndexByCode.empty());
    EXPECT_EQ(layout.rowCount, 0);
    EXPECT_FALSE(view.Has("Tab 1 1"));
    EXPECT_TRUE(view.Has("Clear 1"));
    EXPECT_FALSE(view.Has("Clear 4"));  // 0x03 selects no lighting picture

    // A document that is not a layout changes nothing at all.
    layout.rowCount = 3;
    view.calls.clear();
    doc = Doc(R"(<config><menu macro="1" light_mode="1"/></config>)");
    EXPECT_FALSE(ReadLayoutDocument(*doc, layout, 0, &view));
    EXPECT_EQ(layout.rowCount, 3);
    EXPECT_TRUE(view.calls.empty());
}

TEST(LayoutReader, MenuFlags) {
    struct Case {
        const char* menu;
        int flags;
    };
    const Case cases[] = {
        {R"(<menu macro="1" light_mode="1"/>)", 0x47},
        {R"(<menu macro="1" light_mode="0"/>)", 0x43},
        {R"(<menu/>)", 0x41},
        {R"(<menu macro="2" light_mode="yes"/>)", 0x41},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.menu);
        KeyboardLayout layout;
        auto doc = Doc(std::string("<device.info>") + c.menu + "</device.info>");
        ASSERT_TRUE(ReadLayoutDocument(*doc, layout, 0, nullptr));
        EXPECT_EQ(layout.featureFlags, c.flags);
    }
}

// --- The main window's load sequence over files in a program folder ------

namespace {

class CountingBackend : public sim::SimulatedBus {
public:
    int starts = 0;
    bool StartDeviceNotifications(std::function<void(const DeviceChange&)> handler) override {
        ++starts;
        return sim::SimulatedBus::StartDeviceNotifications(std::move(handler));
    }
};

struct ProgramFolder {
    testsupport::TempDir dir;
    std::shared_ptr<CountingBackend> bus = std::make_shared<CountingBackend>();
    DeviceManager manager{bus};
    RecordingObserver view;
    KeyboardLink link{manager};

    ProgramFolder() {
        testsupport::MakeDirs(dir / "layouts");
        link.SetProgramFolder(CString::FromUtf8(dir.path()));
        link.SetObserver(&view);
        link.SetDatabaseSwitch(&view);
        link.SetTaskSink(&view);
    }
    void Write(const std::string& name, const std::string& text) { testsupport::WriteFile(dir / name, text); }
};

}  // namespace

TEST(DescriptionLoad, ReadsConfigThenTheLayoutOf201ThenRegistersNotifications) {
    ProgramFolder f;
    f.Write("config.xml", kConfig);
    f.Write("layouts/alpha.xml", Layout(R"(<key code="0x29" key_index="0" row_col="0,0"/>)"));
    f.link.SetCurrentProfile(2);
    f.link.LoadDeviceDescription();

    EXPECT_EQ(f.link.Keyboards().size(), 3u);
    EXPECT_EQ(f.link.Modes().size(), 4u);
    EXPECT_EQ(U8(f.link.Identity().upgradeUrl), "https://u.invalid/");
    EXPECT_EQ(f.manager.Targets().size(), 4u);
    const KeyboardLayout& layout = f.link.Layout();
    EXPECT_EQ(layout.currentDeviceType, 201);
    EXPECT_EQ(U8(layout.keyboardName), "Alpha");
    EXPECT_EQ(layout.keyMatrix[0][0], 0x29);
    EXPECT_EQ(layout.lightModes.at(0).profile, 2);
    // The strip first, then the database switch, then the layout's calls.
    EXPECT_LT(f.view.IndexOf("AddDevice Gamma 0 0 150 0"), f.view.IndexOf("Database Alpha"));
    EXPECT_LT(f.view.IndexOf("Database Alpha"), f.view.IndexOf("Tab 1 1"));
    EXPECT_EQ(f.bus->starts, 1);
}

TEST(DescriptionLoad, BrokenConfigLeavesEverythingEmptyButStillTriesTheLayoutAndRegisters) {
    const char* broken[] = {
        "",                                                                  // empty file
        "<config><device.info><keyboard name=\"A\" device_type=\"201\"",     // truncated
        "<?xml version=\"1.0\"?><cfg><device.info/></cfg>",                  // wrong root
        "\xFF\xFE<\x00"                                                       // not text
    };
    for (const char* text : broken) {
        SCOPED_TRACE(text);
        ProgramFolder f;
        f.Write("config.xml", text);
        f.link.LoadDeviceDescription();
        EXPECT_TRUE(f.link.Keyboards().empty());
        EXPECT_TRUE(f.link.Modes().empty());
        EXPECT_TRUE(f.manager.Targets().empty());
        EXPECT_FALSE(f.view.Has("AddDevice A 0 0 201 0"));
        // The layout of 201 is attempted with an empty name: the database
        // switch happens, the file is not found.
        EXPECT_TRUE(f.view.Has("Database "));
        EXPECT_EQ(f.link.Layout().currentDeviceType, 201);
        EXPECT_EQ(f.bus->starts, 1);
    }
    ProgramFolder missing;
    missing.link.LoadDeviceDescription();
    EXPECT_TRUE(missing.link.Keyboards().empty());
    EXPECT_EQ(missing.bus->starts, 1);
}

TEST(DescriptionLoad, AFailedLayoutKeepsThePreviousModelAfterSwitchingTheDatabase) {
    ProgramFolder f;
    f.Write("config.xml", kConfig);
    f.Write("layouts/alpha.xml", Layout(R"(<key code="0x29" key_index="0" row_col="0,0"/>)"));
    f.Write("layouts/beta.xml", "<device.info><menu macro=\"1\"");  // truncated
    f.link.LoadDeviceDescription();
    ASSERT_EQ(f.link.Layout().keyMatrix[0][0], 0x29);
    f.view.calls.clear();

    f.link.LoadLayout(101);
    const KeyboardLayout& layout = f.link.Layout();
    EXPECT_EQ(f.view.calls, std::vector<std::string>{"Database Beta"});
    EXPECT_EQ(layout.currentDeviceType, 101);
    EXPECT_EQ(U8(layout.keyboardName), "Beta");
    EXPECT_EQ(U8(layout.firmwareUrl), "");  // cleared before the file is read
    EXPECT_EQ(U8(layout.firmwareFile), "Tool");
    EXPECT_EQ(layout.keyMatrix[0][0], 0x29);
    EXPECT_EQ(layout.lightModes.size(), 2u);

    // A type no keyboard has: empty names, nothing found.
    f.view.calls.clear();
    f.link.LoadLayout(777);
    EXPECT_EQ(f.view.calls, std::vector<std::string>{"Database "});
    EXPECT_EQ(f.link.Layout().keyMatrix[0][0], 0x29);
}
