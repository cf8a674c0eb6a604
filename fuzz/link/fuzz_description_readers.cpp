// Both device description readers under libFuzzer: any bytes as config.xml
// and as a layout file. Beyond the sanitizers, the layout's key model must
// hold only what fits the 8 x 32 matrix.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "link/device_description.h"
#include "link/device_manager.h"
#include "xml/xml_document.h"

namespace {

// Touches every argument, so that what the readers hand out is read.
class Sink : public IDeviceDescriptionObserver {
public:
    size_t total = 0;
    void AddDevice(const CString& name, int a, int b, int type, bool connected) override {
        total += name.size() + static_cast<size_t>(a + b + type + connected);
    }
    void ShowVersionLabel(const CString& t) override { total += t.size(); }
    void ShowNotice(const CString& t) override { total += t.size(); }
    void SetTabVisible(int id, bool v) override { total += static_cast<size_t>(id + v); }
    void SetKeyboardImage(int p, const CString& image) override { total += image.size() + static_cast<size_t>(p); }
    void SetPictureRect(int p, const CRect& r) override {
        total += static_cast<size_t>(p) + static_cast<size_t>(r.Width()) + static_cast<size_t>(r.Height());
    }
    void AddKeyItem(int p, const KeyItem& k) override {
        total += static_cast<size_t>(p) + k.name.size() + k.desc.size() + k.icon.size() +
                 static_cast<size_t>(k.rect.right);
    }
};

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    xml::XmlDocument doc;
    if (!doc.LoadFromString(bytes)) return 0;

    Sink sink;
    DeviceManager manager(nullptr);
    ConfigDescription config;
    ReadConfigDocument(doc, config, &sink, &manager);
    Check(manager.Targets().size() == config.modes.size());

    KeyboardLayout layout;
    ReadLayoutDocument(doc, layout, 1, &sink);
    Check(layout.keyIndexByCode.size() == layout.lightIndexByCode.size());
    for (const LayoutKey& key : layout.keys) {
        if (key.row < 0) continue;
        Check(key.row < kMatrixRows && key.column >= 0 && key.column < kMatrixColumns);
        Check(layout.keyMatrix[static_cast<size_t>(key.row)][static_cast<size_t>(key.column)] != kNoKey ||
              (key.item.code & 0xFF) == kNoKey);
    }
    return 0;
}
