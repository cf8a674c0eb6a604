// The device description the program ships: config.xml and every layout it
// names must make sense together, because nothing checks them at run time.
#include <gtest/gtest.h>

#include <set>

#include "link/device_description.h"
#include "recording_observer.h"
#include "test_support.h"
#include "xml/xml_document.h"

using linktest::U8;

namespace {

std::string DataDir() { return testsupport::SourceDir() + "/data"; }

ConfigDescription ShippedConfig() {
    xml::XmlDocument doc;
    ConfigDescription config;
    EXPECT_TRUE(doc.Load(CString::FromUtf8(DataDir() + "/config.xml")));
    EXPECT_TRUE(ReadConfigDocument(doc, config, nullptr, nullptr));
    return config;
}

constexpr int kAllCapabilities = kLightBrightness | kLightSpeed | kLightDirectionHorizontal | kLightDirectionVertical |
                                 kLightColourPicker | kLightColourful | kLightColourRow1 | kLightColourRow2 |
                                 kLightCustomPerKey | kLightMusic | kLightScreen | kLightAreas | kLightColourRow3;

}  // namespace

TEST(ShippedConfig, ModesAreUsableOnTheBus) {
    const ConfigDescription config = ShippedConfig();
    ASSERT_FALSE(config.keyboards.empty());
    bool has201 = false;
    bool hasFirstFamily = false;
    std::set<std::pair<int, int>> ids;
    for (const DeviceDescription& k : config.keyboards) {
        SCOPED_TRACE(U8(k.name));
        has201 = has201 || k.deviceType == 201;
        hasFirstFamily = hasFirstFamily || (k.deviceType > 0 && k.deviceType < 200);
        bool cable = false;
        for (const DeviceDescription& m : config.modes)
            if (m.deviceType == k.deviceType && m.mode == 0) cable = true;
        EXPECT_TRUE(cable) << "every keyboard has a cable mode";
    }
    EXPECT_TRUE(has201);
    EXPECT_TRUE(hasFirstFamily);
    for (const DeviceDescription& m : config.modes) {
        SCOPED_TRACE(U8(m.description));
        EXPECT_GT(m.vendorId, 0);
        EXPECT_LE(m.vendorId, 0xFFFF);
        EXPECT_GT(m.productId, 0);
        EXPECT_TRUE(ids.insert({m.vendorId, m.productId}).second) << "ids tell the modes apart";
        EXPECT_GE(m.mode, 0);
        EXPECT_LE(m.mode, 2);
        // A product name never matches (no strings are read from devices).
        EXPECT_TRUE(m.name.empty());
        CString upper = m.interfacePattern;
        upper.MakeUpper();
        EXPECT_EQ(U8(upper), U8(m.interfacePattern)) << "patterns are compared against upper-case names";
        EXPECT_FALSE(m.interfacePattern.empty());
    }
}

TEST(ShippedLayouts, EveryKeyboardHasAConsistentLayout) {
    const ConfigDescription config = ShippedConfig();
    const std::string english = testsupport::ReadFile(DataDir() + "/language/1033.lan");
    for (const DeviceDescription& k : config.keyboards) {
        SCOPED_TRACE(U8(k.layoutName));
        xml::XmlDocument doc;
        ASSERT_TRUE(doc.Load(CString::FromUtf8(DataDir() + "/layouts/" + U8(k.layoutName) + ".xml")));
        KeyboardLayout layout;
        layout.featureFlags = 0;
        ASSERT_TRUE(ReadLayoutDocument(doc, layout, 0, nullptr));

        EXPECT_EQ(layout.featureFlags & (kFeatureKeyPage | kFeatureThirdPicture), kFeatureKeyPage | kFeatureThirdPicture)
            << "the menu element is there";
        EXPECT_FALSE(layout.firmwareVersion.empty());
        EXPECT_FALSE(layout.firmwareFile.empty());
        EXPECT_GT(layout.brightnessMax, 0);
        EXPECT_GT(layout.speedMax, 0);

        // Light modes: distinct numbers, named by language texts, and
        // between them every group of lighting controls.
        ASSERT_FALSE(layout.lightModes.empty());
        std::set<int> modes;
        int capabilities = 0;
        for (const LightModeEntry& m : layout.lightModes) {
            EXPECT_TRUE(modes.insert(m.mode).second) << m.mode;
            EXPECT_GT(m.mode, 0);
            EXPECT_NE(english.find("\n" + U8(m.name) + "="), std::string::npos) << "text " << U8(m.name);
            EXPECT_EQ(m.configFunc & ~kAllCapabilities, 0);
            capabilities |= m.configFunc;
        }
        EXPECT_EQ(capabilities, kAllCapabilities);
        EXPECT_TRUE(modes.count(layout.defaultLightMode));

        // Keys: unique codes and indexes within what the commands carry
        // (120 key-table entries, 110 colour entries), unique matrix cells
        // inside the declared rows and columns, rectangles inside the picture.
        if (k.deviceType == 201) {
            EXPECT_EQ(layout.keys.size(), 104u);
        }
        EXPECT_GT(layout.rowCount, 0);
        EXPECT_LE(layout.rowCount, kMatrixRows);
        EXPECT_GT(layout.colCount, 0);
        EXPECT_LE(layout.colCount, kMatrixColumns);
        const CRect picture(0, 0, layout.picture.width, layout.picture.height);
        EXPECT_FALSE(picture.IsRectEmpty());
        EXPECT_FALSE(layout.picture.image.empty());
        std::set<int> codes;
        std::set<int> keyIndexes;
        std::set<std::pair<int, int>> cells;
        for (const LayoutKey& key : layout.keys) {
            SCOPED_TRACE(U8(key.item.desc));
            EXPECT_TRUE(codes.insert(key.item.code).second);
            EXPECT_GT(key.item.code, 0);
            EXPECT_LT(key.item.code, 0xFF) << "0xFF marks an empty matrix cell";
            EXPECT_TRUE(keyIndexes.insert(key.keyIndex).second);
            EXPECT_GE(key.keyIndex, 0);
            EXPECT_LT(key.keyIndex, 110);
            EXPECT_EQ(key.lightIndex, key.keyIndex);
            ASSERT_GE(key.row, 0) << "row_col inside the matrix";
            EXPECT_LT(key.row, layout.rowCount);
            EXPECT_LT(key.column, layout.colCount);
            EXPECT_TRUE(cells.insert({key.row, key.column}).second);
            const CRect& r = key.item.rect;
            EXPECT_FALSE(r.IsRectEmpty());
            EXPECT_GE(r.left, picture.left);
            EXPECT_GE(r.top, picture.top);
            EXPECT_LE(r.right, picture.right);
            EXPECT_LE(r.bottom, picture.bottom);
            EXPECT_FALSE(key.item.name.empty());
        }
        EXPECT_EQ(layout.keyIndexByCode.size(), layout.keys.size());
        // Picture on the 1280 x 720 window.
        EXPECT_GE(layout.picture.x, 0);
        EXPECT_LE(layout.picture.x + layout.picture.width, 1280);
        EXPECT_LE(layout.picture.y + layout.picture.height, 720);
    }
}

TEST(ShippedLayouts, RectanglesDoNotOverlap) {
    const ConfigDescription config = ShippedConfig();
    for (const DeviceDescription& k : config.keyboards) {
        SCOPED_TRACE(U8(k.layoutName));
        xml::XmlDocument doc;
        ASSERT_TRUE(doc.Load(CString::FromUtf8(DataDir() + "/layouts/" + U8(k.layoutName) + ".xml")));
        KeyboardLayout layout;
        ASSERT_TRUE(ReadLayoutDocument(doc, layout, 0, nullptr));
        for (size_t i = 0; i < layout.keys.size(); ++i) {
            for (size_t j = i + 1; j < layout.keys.size(); ++j) {
                CRect both;
                EXPECT_FALSE(both.IntersectRect(layout.keys[i].item.rect, layout.keys[j].item.rect))
                    << U8(layout.keys[i].item.desc) << " / " << U8(layout.keys[j].item.desc);
            }
        }
    }
}
