#include "link/device_description.h"

#include <climits>
#include <cwctype>

#include "link/device_manager.h"
#include "platform/text.h"
#include "xml/xml_document.h"

namespace {

IDeviceDescriptionObserver& Quiet() {
    static IDeviceDescriptionObserver nobody;
    return nobody;
}

int Dec(const std::wstring& text) { return platform::ParseDecimal(text); }

// wcstol base 16 saturates at the long range; the records hold ints.
int Hex(const std::wstring& text) {
    const long v = platform::ParseHex(text);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

int SaturatingAdd(int a, int b) {
    const long long s = static_cast<long long>(a) + b;
    if (s > INT_MAX) return INT_MAX;
    if (s < INT_MIN) return INT_MIN;
    return static_cast<int>(s);
}

CString Attr(const xml::XmlDocument& doc, const wchar_t* name) { return CString(doc.GetAttrib(name)); }

std::wstring TrimBlanks(const std::wstring& s) {
    size_t a = 0;
    size_t b = s.size();
    while (a < b && std::iswspace(static_cast<wint_t>(s[a]))) ++a;
    while (b > a && std::iswspace(static_cast<wint_t>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

bool AllDigits(const std::wstring& s) {
    if (s.empty()) return false;
    for (wchar_t c : s)
        if (c < L'0' || c > L'9') return false;
    return true;
}

}  // namespace

bool ParseRowCol(const CString& text, int& row, int& column) {
    // Rows are one digit and columns one or two, so "3,5" and "3,12" and
    // nothing that would land outside the 8 x 32 matrix.
    const size_t comma = text.find(L',');
    if (comma == std::wstring::npos) return false;
    const std::wstring r = TrimBlanks(text.substr(0, comma));
    const std::wstring c = TrimBlanks(text.substr(comma + 1));
    if (r.size() != 1 || !AllDigits(r) || c.size() > 2 || !AllDigits(c)) return false;
    const int rv = r[0] - L'0';
    const int cv = Dec(c);
    if (rv >= kMatrixRows || cv >= kMatrixColumns) return false;
    row = rv;
    column = cv;
    return true;
}

CRect ParseKeyRect(const CString& text) {
    int v[4] = {0, 0, 0, 0};
    size_t start = 0;
    for (int i = 0; i < 4 && start <= text.size(); ++i) {
        size_t end = text.find(L',', start);
        if (end == std::wstring::npos) end = text.size();
        v[i] = Dec(text.substr(start, end - start));
        start = end + 1;
    }
    return CRect(v[0], v[1], SaturatingAdd(v[0], v[2]), SaturatingAdd(v[1], v[3]));
}

bool ReadConfigDocument(xml::XmlDocument& doc, ConfigDescription& out, IDeviceDescriptionObserver* observer,
                        DeviceManager* manager) {
    IDeviceDescriptionObserver& view = observer ? *observer : Quiet();
    doc.ResetPos();
    if (!doc.FindElem(L"config") || !doc.IntoElem()) return false;

    if (doc.FindElem(L"device.info") && doc.IntoElem()) {
        while (doc.FindElem(L"keyboard")) {
            DeviceDescription rec;
            rec.name = Attr(doc, L"name");
            rec.deviceType = Dec(doc.GetAttrib(L"device_type"));
            rec.layoutName = Attr(doc, L"device_info");
            out.keyboards.push_back(rec);
            // No mode has been read yet, so no vendor or product id.
            view.AddDevice(rec.name, 0, 0, rec.deviceType, false);
            if (doc.IntoElem()) {
                while (doc.FindElem(L"mode")) {
                    rec.mode = Dec(doc.GetAttrib(L"value"));
                    rec.description = Attr(doc, L"desc");
                    rec.vendorId = Hex(doc.GetAttrib(L"vid"));
                    rec.productId = Hex(doc.GetAttrib(L"pid"));
                    rec.name = Attr(doc, L"product_name");
                    rec.interfacePattern = Attr(doc, L"hid_interface");
                    out.modes.push_back(rec);
                    if (manager)
                        manager->AddTarget(rec.vendorId, rec.productId, rec.name, rec.deviceType, rec.mode,
                                           rec.interfacePattern);
                }
                doc.OutOfElem();
            }
        }
        doc.OutOfElem();
    }

    if (doc.FindElem(L"software")) {
        out.identity.softwareVersion = Attr(doc, L"version");
        CString label;
        label.Format(L"Ver: %s", out.identity.softwareVersion.c_str());
        view.ShowVersionLabel(label);
        if (doc.IntoElem()) {
            if (doc.FindElem(L"website")) out.identity.websiteUrl = Attr(doc, L"url");
            if (doc.FindElem(L"store")) out.identity.storeUrl = Attr(doc, L"url");
            if (doc.FindElem(L"upgrade")) out.identity.upgradeUrl = Attr(doc, L"url");
            if (doc.FindElem(L"copyright")) {
                out.identity.noticeText = Attr(doc, L"info");
                view.ShowNotice(out.identity.noticeText);
            }
            doc.OutOfElem();
        }
    }
    return true;
}

bool ReadLayoutDocument(xml::XmlDocument& doc, KeyboardLayout& layout, int profile,
                        IDeviceDescriptionObserver* observer) {
    IDeviceDescriptionObserver& view = observer ? *observer : Quiet();
    doc.ResetPos();
    if (!doc.FindElem(L"device.info") || !doc.IntoElem()) return false;

    // Each search goes on after the element found last, so the file must
    // give them in this order.
    if (doc.FindElem(L"menu")) {
        std::uint8_t flags = kFeatureKeyPage | kFeatureThirdPicture;
        if (Dec(doc.GetAttrib(L"macro")) == 1) flags |= kFeatureMacroPage;
        if (Dec(doc.GetAttrib(L"light_mode")) == 1) flags |= kFeatureLightingPage;
        layout.featureFlags = flags;
        view.SetTabVisible(1, (flags & kFeatureKeyPage) != 0);
        view.SetTabVisible(2, (flags & kFeatureMacroPage) != 0);
        view.SetTabVisible(3, (flags & kFeatureLightingPage) != 0);
        view.SetTabVisible(7, (flags & kFeatureThirdPicture) != 0);
    }

    if (doc.FindElem(L"function")) {
        (void)doc.GetAttrib(L"sleep_time");  // read and, as ever, without effect
    }

    if (doc.FindElem(L"firmware")) {
        layout.firmwareVersion = Attr(doc, L"version");
        layout.firmwareFile = Attr(doc, L"file");
        layout.firmwareUrl = Attr(doc, L"url");
        view.ShowFirmwareUpdate(!layout.firmwareVersion.empty() && !layout.firmwareFile.empty());
    }

    if (doc.FindElem(L"light")) {
        layout.rgbKeyboard = Dec(doc.GetAttrib(L"rgb_keyboard")) == 1;
        layout.defaultLightMode = Dec(doc.GetAttrib(L"default_mode"));
        layout.defaultBrightness = Dec(doc.GetAttrib(L"default_brightness"));
        layout.defaultSpeed = Dec(doc.GetAttrib(L"default_speed"));
        layout.brightnessMax = Dec(doc.GetAttrib(L"brightness_max"));
        layout.speedMax = Dec(doc.GetAttrib(L"speed_max"));
        view.SetLightSliderMaxima(layout.brightnessMax, layout.speedMax);
        layout.lightModes.clear();
        if (doc.IntoElem()) {
            while (doc.FindElem(L"info")) {
                LightModeEntry e;
                e.profile = profile;
                e.name = Attr(doc, L"name");
                e.mode = Dec(doc.GetAttrib(L"mode"));
                e.brightness = layout.defaultBrightness;
                e.speed = layout.defaultSpeed;
                e.direction = 0;
                e.colorful = 1;
                e.colorindex = 0;
                e.colorValue = 255;
                e.configFunc = Dec(doc.GetAttrib(L"attribute"));
                layout.lightModes.push_back(e);
            }
            doc.OutOfElem();
        }
    }

    layout.keyIndexByCode.clear();
    layout.lightIndexByCode.clear();
    layout.rowCount = 0;
    layout.colCount = 0;
    layout.keyMatrix = KeyboardLayout::EmptyMatrix();
    layout.keys.clear();
    for (int picture : kPictureFeatures)
        if (layout.featureFlags & picture) view.ClearKeyItems(picture);

    if (doc.FindElem(L"Keyboard")) {
        KeyboardPicture& pic = layout.picture;
        pic.x = Dec(doc.GetAttrib(L"xpos"));
        pic.y = Dec(doc.GetAttrib(L"ypos"));
        pic.width = Dec(doc.GetAttrib(L"width"));
        pic.height = Dec(doc.GetAttrib(L"height"));
        pic.image = Attr(doc, L"image");
        layout.rowCount = Dec(doc.GetAttrib(L"row_count"));
        layout.colCount = Dec(doc.GetAttrib(L"col_count"));
        const CRect where(pic.x, pic.y, SaturatingAdd(pic.x, pic.width), SaturatingAdd(pic.y, pic.height));
        for (int picture : kPictureFeatures) {
            if (!(layout.featureFlags & picture)) continue;
            view.SetPictureRect(picture, where);
            view.SetKeyboardImage(picture, CString(L"keyboard\\") + pic.image);
            view.SetPictureSize(picture, pic.width, pic.height);
        }
        if (doc.IntoElem()) {
            if (doc.FindElem(L"KeyItems") && doc.IntoElem()) {
                while (doc.FindElem(L"key")) {
                    LayoutKey key;
                    key.item.code = Hex(doc.GetAttrib(L"code"));
                    key.item.name = Attr(doc, L"name");
                    key.item.desc = Attr(doc, L"desc");
                    key.item.icon = Attr(doc, L"icon");
                    key.keyIndex = Dec(doc.GetAttrib(L"key_index"));
                    key.lightIndex = Dec(doc.GetAttrib(L"light_index"));
                    layout.keyIndexByCode[key.item.code] = key.keyIndex;
                    // Colour frames are placed by key_index too; the shipped
                    // layouts give both indexes the same values.
                    layout.lightIndexByCode[key.item.code] = key.keyIndex;
                    int row = 0;
                    int column = 0;
                    if (ParseRowCol(Attr(doc, L"row_col"), row, column)) {
                        key.row = row;
                        key.column = column;
                        layout.keyMatrix[static_cast<size_t>(row)][static_cast<size_t>(column)] =
                            static_cast<std::uint8_t>(key.item.code & 0xFF);
                    }
                    key.item.rect = ParseKeyRect(Attr(doc, L"rect"));
                    for (int picture : kPictureFeatures)
                        if (layout.featureFlags & picture) view.AddKeyItem(picture, key.item);
                    layout.keys.push_back(std::move(key));
                }
                doc.OutOfElem();
            }
            doc.OutOfElem();
        }
    }
    return true;
}
