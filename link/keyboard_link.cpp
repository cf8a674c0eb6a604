#include "link/keyboard_link.h"

#include "platform/paths.h"
#include "platform/text.h"
#include "platform/udev_monitor.h"
#include "xml/xml_document.h"

namespace {

bool Contains(const CString& haystack, const CString& needle) {
    return haystack.find(needle) != std::wstring::npos;
}

}  // namespace

KeyboardLink::KeyboardLink(DeviceManager& manager) : manager_(manager) {}

KeyboardLink::~KeyboardLink() {
    // The notification handler points back here.
    if (notificationsRegistered_) manager_.StopDeviceNotifications();
}

CString KeyboardLink::Folder() const {
    if (!folder_.empty()) return folder_;
    std::string f = platform::ProgramFolder();
    while (!f.empty() && f.back() == '/') f.pop_back();
    return CString(platform::Utf8ToWide(f));
}

void KeyboardLink::LoadDeviceDescription() {
    ConfigDescription config;
    {
        xml::XmlDocument doc;
        CString path;
        path.Format(L"%s\\config.xml", Folder().c_str());
        // A missing or broken file leaves both lists empty; the layout of
        // 201 is still tried and notifications still registered.
        if (doc.Load(path)) ReadConfigDocument(doc, config, observer_, &manager_);
    }
    {
        std::lock_guard<std::mutex> l(lock_);
        keyboards_ = std::move(config.keyboards);
        modes_ = std::move(config.modes);
        identity_ = config.identity;
    }
    LoadLayout(201);
    RegisterDeviceNotifications();
}

void KeyboardLink::LoadLayout(int deviceType) {
    layout_.firmwareUrl.clear();
    CString layoutName;
    CString keyboardName;
    {
        std::lock_guard<std::mutex> l(lock_);
        for (const DeviceDescription& k : keyboards_) {
            if (k.deviceType == deviceType) {
                layoutName = k.layoutName;
                keyboardName = k.name;
                break;
            }
        }
    }
    layout_.currentDeviceType = deviceType;
    // The database follows the keyboard even when its layout then fails.
    if (database_) database_->SwitchDatabase(keyboardName);
    layout_.keyboardName = keyboardName;

    xml::XmlDocument doc;
    CString path;
    path.Format(L"%s\\layouts\\%s.xml", Folder().c_str(), layoutName.c_str());
    if (!doc.Load(path)) return;
    ReadLayoutDocument(doc, layout_, currentProfile_, observer_);
}

void KeyboardLink::ScanDevices() {
    {
        std::lock_guard<std::mutex> l(lock_);
        deviceMatched_ = false;
    }
    manager_.Rescan();
    std::vector<InterfaceInfo> open;
    manager_.CollectInterfaces(open);
    if (observer_) observer_->ResetAllDeviceStates();

    // The manager is asked without holding the list guard: a device-change
    // handler may be waiting for that guard inside a transfer.
    const std::vector<DeviceDescription> modes = Modes();
    std::vector<bool> found(modes.size(), false);
    for (size_t i = 0; i < modes.size(); ++i) {
        const DeviceDescription& rec = modes[i];
        found[i] = manager_.FindInterface(rec.vendorId, rec.productId, rec.name, rec.mode) != -1;
    }
    std::vector<int> connectedTypes;
    {
        std::lock_guard<std::mutex> l(lock_);
        // The lists are only replaced by the description load, which does
        // not run alongside a scan; a changed list gets no stale marks.
        if (modes_.size() == found.size()) {
            for (size_t i = 0; i < modes_.size(); ++i) {
                if (!found[i]) continue;
                deviceMatched_ = true;
                modes_[i].connected = 1;
                connectedTypes.push_back(modes_[i].deviceType);
            }
        }
        anyInterfaceOpen_ = !open.empty();
    }
    if (observer_)
        for (int type : connectedTypes) observer_->SetDeviceState(type, 1);
}

WPARAM KeyboardLink::EventOf(const DeviceChange& change) {
    return change.arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
}

DeviceInterfaceHeader KeyboardLink::HeaderOf(const DeviceChange& change) {
    DeviceInterfaceHeader h;
    h.deviceType = DBT_DEVTYP_DEVICEINTERFACE;
    h.name = CString(platform::Utf8ToWide(change.interfaceName));
    return h;
}

bool KeyboardLink::RegisterDeviceNotifications() {
    std::function<void(const DeviceChange&)> deliver = deliver_;
    if (!deliver) {
        deliver = [this](const DeviceChange& change) {
            const DeviceInterfaceHeader h = HeaderOf(change);
            OnDeviceChange(EventOf(change), &h);
        };
    }
    notificationsRegistered_ = true;
    return manager_.StartDeviceNotifications(std::move(deliver));
}

LRESULT KeyboardLink::OnDeviceChange(WPARAM event, const DeviceInterfaceHeader* header) {
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) return 0;
    if (!header || header->deviceType != DBT_DEVTYP_DEVICEINTERFACE) return 0;
    CString name = header->name;
    name.MakeUpper();
    const CString bluetooth = CString(platform::Utf8ToWide(platform::kHidOverGattUuid));

    int task = 0;
    {
        std::lock_guard<std::mutex> l(lock_);
        if (event == DBT_DEVICEARRIVAL) {
            for (const DeviceDescription& rec : modes_) {
                if (Contains(name, bluetooth)) break;
                // Patterns are compared as they stand, so config.xml gives
                // them in upper case; an empty one matches every name.
                if (Contains(name, rec.interfacePattern)) {
                    task = kTaskDeviceArrived;
                    break;
                }
            }
        } else {
            for (DeviceDescription& rec : modes_) {
                if (rec.connected == 0) continue;
                if (Contains(name, bluetooth)) break;
                if (Contains(name, rec.interfacePattern)) {
                    rec.connected = 0;
                    task = kTaskDeviceRemoved;
                    break;
                }
            }
        }
    }
    if (task != 0 && tasks_) tasks_->PushTask(task);
    return 0;
}

void KeyboardLink::ClearDeviceLists() {
    std::lock_guard<std::mutex> l(lock_);
    keyboards_.clear();
    modes_.clear();
}

std::vector<DeviceDescription> KeyboardLink::Keyboards() const {
    std::lock_guard<std::mutex> l(lock_);
    return keyboards_;
}

std::vector<DeviceDescription> KeyboardLink::Modes() const {
    std::lock_guard<std::mutex> l(lock_);
    return modes_;
}

ProgramIdentity KeyboardLink::Identity() const {
    std::lock_guard<std::mutex> l(lock_);
    return identity_;
}

bool KeyboardLink::AnyInterfaceOpen() const {
    std::lock_guard<std::mutex> l(lock_);
    return anyInterfaceOpen_;
}

bool KeyboardLink::DeviceMatched() const {
    std::lock_guard<std::mutex> l(lock_);
    return deviceMatched_;
}
