// What the program knows about its keyboards, all of it read from two kinds
// of file in the program folder:
//   config.xml              the keyboards, how each shows up on the HID bus
//                           in each connection mode, the program's identity
//   layouts\<name>.xml      one keyboard's pages, firmware package, lighting
//                           modes, picture and keys
// The readers here fill the records and tell an observer what to show; the
// order of the steps and the search rules are the files' contract (see
// keyboard_link.h for the operations the main window calls).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <vector>

#include "tavri/types.h"

namespace xml {
class XmlDocument;
}
class DeviceManager;

// One keyboard, or one of its connection modes.
struct DeviceDescription {
    CString name;  // keyboard name; for a mode record its product_name (empty if absent)
    int deviceType = 0;
    CString layoutName;
    int mode = 0;  // 0 cable, 1 and 2 the wireless modes
    int vendorId = 0;
    int productId = 0;
    CString description;
    CString interfacePattern;  // substring of the upper-case interface name
    int connected = 0;         // set by the device scan and by removal
};

struct ProgramIdentity {
    CString softwareVersion;
    CString websiteUrl;
    CString storeUrl;
    CString upgradeUrl;
    CString noticeText;
};

// One light mode of the layout, with the fields of the store's light setting
// row so that it can be written there as it stands.
struct LightModeEntry {
    int lightId = 0;
    int profile = 0;
    CString name;  // a text key of section "KB.DIALOG", as decimal digits
    int mode = 0;
    int brightness = 0;
    int speed = 0;
    int direction = 0;
    int colorful = 1;
    int colorindex = 0;
    int colorValue = 255;
    int configFunc = 0;  // capability bits of the lighting page
    int reserved = 0;
    int status = 0;
};

// Light-mode capability bits (config_func): which controls a mode shows.
enum LightCapability : int {
    kLightBrightness = 0x0001,
    kLightSpeed = 0x0002,
    kLightDirectionHorizontal = 0x0004,
    kLightDirectionVertical = 0x0008,
    kLightColourPicker = 0x0010,
    kLightColourful = 0x0020,
    kLightColourRow1 = 0x0040,
    kLightColourRow2 = 0x0080,
    kLightCustomPerKey = 0x0100,
    kLightMusic = 0x0200,
    kLightScreen = 0x0400,
    kLightAreas = 0x0800,
    kLightColourRow3 = 0x1000,
};

// Feature flags of a layout, and the keyboard picture each one selects.
enum LayoutFeature : int {
    kFeatureKeyPage = 0x01,        // the key page's picture
    kFeatureMacroPage = 0x02,
    kFeatureLightingPage = 0x04,   // the lighting page's picture
    kFeatureThirdPicture = 0x40,   // the third picture
};
inline constexpr int kPictureFeatures[] = {kFeatureKeyPage, kFeatureLightingPage, kFeatureThirdPicture};

inline constexpr int kMatrixRows = 8;
inline constexpr int kMatrixColumns = 32;
inline constexpr std::uint8_t kNoKey = 0xFF;

// A key as the keyboard pictures get it.
struct KeyItem {
    CString name;
    CString desc;
    int code = 0;
    CRect rect;
    CString icon;
};

// Everything a layout says about one key (the pictures get the KeyItem part).
struct LayoutKey {
    KeyItem item;
    int keyIndex = 0;
    int lightIndex = 0;
    int row = -1;  // -1 when row_col was missing or out of the matrix
    int column = -1;
};

struct KeyboardPicture {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    CString image;
};

struct KeyboardLayout {
    int currentDeviceType = 0;
    CString keyboardName;
    // When a layout has no menu element the flags keep their value: all
    // pages and pictures until a layout says otherwise.
    std::uint8_t featureFlags = kFeatureKeyPage | kFeatureMacroPage | kFeatureLightingPage | kFeatureThirdPicture;
    CString firmwareVersion;
    CString firmwareFile;
    CString firmwareUrl;
    bool rgbKeyboard = false;
    int defaultLightMode = 0;
    int defaultBrightness = 0;
    int defaultSpeed = 0;
    int brightnessMax = 0;
    int speedMax = 0;
    std::vector<LightModeEntry> lightModes;
    KeyboardPicture picture;
    int rowCount = 0;
    int colCount = 0;
    std::map<int, int> keyIndexByCode;
    std::map<int, int> lightIndexByCode;
    std::array<std::array<std::uint8_t, kMatrixColumns>, kMatrixRows> keyMatrix = EmptyMatrix();
    std::vector<LayoutKey> keys;  // file order

    static std::array<std::array<std::uint8_t, kMatrixColumns>, kMatrixRows> EmptyMatrix() {
        std::array<std::array<std::uint8_t, kMatrixColumns>, kMatrixRows> m{};
        for (auto& row : m) row.fill(kNoKey);
        return m;
    }
};

// Where the readers show what they read: the device strip, the Home page,
// the tabs, the settings and lighting pages and the keyboard pictures. The
// main window implements it; every call does nothing by default.
class IDeviceDescriptionObserver {
public:
    virtual ~IDeviceDescriptionObserver() = default;
    // Device strip.
    virtual void AddDevice(const CString& name, int a, int b, int deviceType, bool connected) {
        (void)name, (void)a, (void)b, (void)deviceType, (void)connected;
    }
    virtual void ResetAllDeviceStates() {}
    virtual void SetDeviceState(int deviceType, int state) { (void)deviceType, (void)state; }
    // Home page: the version label ("Ver: 1.0.0") and the notice label.
    virtual void ShowVersionLabel(const CString& text) { (void)text; }
    virtual void ShowNotice(const CString& text) { (void)text; }
    // Tab items 1, 2, 3 and 7.
    virtual void SetTabVisible(int tabId, bool visible) { (void)tabId, (void)visible; }
    // Settings page firmware-update control.
    virtual void ShowFirmwareUpdate(bool visible) { (void)visible; }
    // Lighting page slider maxima.
    virtual void SetLightSliderMaxima(int brightnessMax, int speedMax) { (void)brightnessMax, (void)speedMax; }
    // Keyboard pictures; `picture` is the feature bit that selects it
    // (kFeatureKeyPage, kFeatureLightingPage, kFeatureThirdPicture).
    virtual void ClearKeyItems(int picture) { (void)picture; }
    virtual void SetPictureRect(int picture, const CRect& rect) { (void)picture, (void)rect; }
    virtual void SetKeyboardImage(int picture, const CString& image) { (void)picture, (void)image; }
    virtual void SetPictureSize(int picture, int width, int height) { (void)picture, (void)width, (void)height; }
    virtual void AddKeyItem(int picture, const KeyItem& item) { (void)picture, (void)item; }
};

// The store's per-keyboard database switch: close the open one, open the one
// of this keyboard.
class IDatabaseSwitch {
public:
    virtual ~IDatabaseSwitch() = default;
    virtual void SwitchDatabase(const CString& keyboardName) = 0;
};

struct ConfigDescription {
    std::vector<DeviceDescription> keyboards;  // name, deviceType, layoutName only
    std::vector<DeviceDescription> modes;
    ProgramIdentity identity;
};

// Reads a loaded config.xml (steps 3 and 4 of the description load): fills
// the lists and the identity, adds each keyboard to the device strip and
// registers each mode as a target with `manager` (either may be null).
// False when the document has no config root; what was read stays.
bool ReadConfigDocument(xml::XmlDocument& doc, ConfigDescription& out, IDeviceDescriptionObserver* observer,
                        DeviceManager* manager);

// Reads a loaded layout file into `layout` (steps 4 to 10 of the layout
// load); fields of elements the file lacks keep their values. Light modes
// get `profile`. False when the document has no device.info root, in which
// case nothing is changed.
bool ReadLayoutDocument(xml::XmlDocument& doc, KeyboardLayout& layout, int profile,
                        IDeviceDescriptionObserver* observer);

// The two attribute forms of a key. row_col is "row,column" with a row of one
// digit 0-7 and a column 0-31; false for anything else. rect is four
// decimals x,y,width,height giving (x, y, x + width, y + height).
bool ParseRowCol(const CString& text, int& row, int& column);
CRect ParseKeyRect(const CString& text);
