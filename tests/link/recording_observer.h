// An observer that writes down every call as one line of text, so tests can
// check what the readers showed and in which order.
#pragma once

#include <string>
#include <vector>

#include "link/device_description.h"
#include "link/keyboard_link.h"
#include "platform/text.h"

namespace linktest {

inline std::string U8(const CString& s) { return platform::WideToUtf8(s); }

class RecordingObserver : public IDeviceDescriptionObserver, public IDatabaseSwitch, public ITaskSink {
public:
    std::vector<std::string> calls;
    std::vector<int> tasks;

    void AddDevice(const CString& name, int a, int b, int deviceType, bool connected) override {
        Add("AddDevice " + U8(name) + " " + std::to_string(a) + " " + std::to_string(b) + " " +
            std::to_string(deviceType) + " " + std::to_string(connected));
    }
    void ResetAllDeviceStates() override { Add("ResetAllDeviceStates"); }
    void SetDeviceState(int deviceType, int state) override {
        Add("SetDeviceState " + std::to_string(deviceType) + " " + std::to_string(state));
    }
    void ShowVersionLabel(const CString& text) override { Add("Version " + U8(text)); }
    void ShowNotice(const CString& text) override { Add("Notice " + U8(text)); }
    void SetTabVisible(int tabId, bool visible) override {
        Add("Tab " + std::to_string(tabId) + " " + std::to_string(visible));
    }
    void ShowFirmwareUpdate(bool visible) override { Add("Firmware " + std::to_string(visible)); }
    void SetLightSliderMaxima(int b, int s) override {
        Add("Sliders " + std::to_string(b) + " " + std::to_string(s));
    }
    void ClearKeyItems(int picture) override { Add("Clear " + std::to_string(picture)); }
    void SetPictureRect(int picture, const CRect& r) override {
        Add("Rect " + std::to_string(picture) + " " + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
            std::to_string(r.right) + "," + std::to_string(r.bottom));
    }
    void SetKeyboardImage(int picture, const CString& image) override {
        Add("Image " + std::to_string(picture) + " " + U8(image));
    }
    void SetPictureSize(int picture, int w, int h) override {
        Add("Size " + std::to_string(picture) + " " + std::to_string(w) + " " + std::to_string(h));
    }
    void AddKeyItem(int picture, const KeyItem& item) override {
        Add("Key " + std::to_string(picture) + " " + std::to_string(item.code));
    }
    void SwitchDatabase(const CString& keyboardName) override { Add("Database " + U8(keyboardName)); }
    void PushTask(int code) override { tasks.push_back(code); }

    bool Has(const std::string& line) const {
        for (const auto& c : calls)
            if (c == line) return true;
        return false;
    }
    int IndexOf(const std::string& line) const {
        for (size_t i = 0; i < calls.size(); ++i)
            if (calls[i] == line) return static_cast<int>(i);
        return -1;
    }

private:
    void Add(std::string s) { calls.push_back(std::move(s)); }
};

}  // namespace linktest
