#include "sim/install.h"

#include <cstdlib>
#include <mutex>

#include "link/device_description.h"
#include "link/device_manager.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/udev_monitor.h"
#include "xml/xml_document.h"

namespace sim {

namespace {

struct Installed {
    std::mutex m;
    std::shared_ptr<SimulatedBus> bus;
    std::shared_ptr<SimulatedKeyboard> keyboard;
};

Installed& Current() {
    static Installed installed;
    return installed;
}

bool ParseInt(const std::string& s, int& out) {
    if (s.empty() || s.size() > 9) return false;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

}  // namespace

bool ParseSimulateOption(const std::string& text, int& deviceType, int& mode) {
    deviceType = 201;
    mode = 0;
    if (text.empty()) return true;
    const size_t comma = text.find(',');
    int type = 0;
    int m = 0;
    if (!ParseInt(text.substr(0, comma), type) || type <= 0) return false;
    if (comma != std::string::npos && (!ParseInt(text.substr(comma + 1), m) || m > 2)) return false;
    deviceType = type;
    mode = m;
    return true;
}

std::vector<SimConnection> ConnectionsFromConfig(int deviceType) {
    std::vector<SimConnection> out;
    xml::XmlDocument doc;
    if (!doc.Load(platform::Utf8ToWide(platform::ProgramFolder() + "config.xml"))) return out;
    ConfigDescription config;
    ReadConfigDocument(doc, config, nullptr, nullptr);
    const std::wstring gatt = platform::Utf8ToWide(platform::kHidOverGattUuid);
    for (const DeviceDescription& m : config.modes) {
        if (m.deviceType != deviceType) continue;
        bool duplicate = false;
        for (const SimConnection& c : out) duplicate = duplicate || c.mode == m.mode;
        if (duplicate) continue;
        SimConnection c;
        c.mode = m.mode;
        c.vendorId = static_cast<std::uint16_t>(m.vendorId);
        c.productId = static_cast<std::uint16_t>(m.productId);
        CString pattern = m.interfacePattern;
        pattern.MakeUpper();
        c.bluetooth = pattern.find(gatt) != std::wstring::npos;
        out.push_back(c);
    }
    return out;
}

std::string DefaultStateFile(int deviceType) {
    const std::string folder = platform::DataHome() + "/keyloom-sim";
    platform::MakeDirectory(platform::DataHome());
    platform::MakeDirectory(folder);
    return folder + "/keyboard-" + std::to_string(deviceType) + ".state";
}

std::shared_ptr<SimulatedKeyboard> InstallSimulatedKeyboard(int deviceType, int mode, const std::string& stateFile) {
    SimKeyboardSetup setup;
    setup.deviceType = deviceType;
    setup.connections = ConnectionsFromConfig(deviceType);
    setup.stateFile = stateFile;
    if (setup.connections.empty()) return nullptr;
    return InstallSimulatedKeyboard(setup, mode);
}

std::shared_ptr<SimulatedKeyboard> InstallSimulatedKeyboard(const SimKeyboardSetup& setup, int mode) {
    bool hasMode = mode == -1;
    for (const SimConnection& c : setup.connections) hasMode = hasMode || c.mode == mode;
    if (!hasMode || setup.connections.empty()) return nullptr;

    auto bus = std::make_shared<SimulatedBus>();
    auto keyboard = bus->AddKeyboard(setup);
    for (const SimConnection& c : setup.connections)
        if (mode == -1 || c.mode == mode) keyboard->Attach(c.mode);
    {
        std::lock_guard<std::mutex> l(Current().m);
        Current().bus = bus;
        Current().keyboard = keyboard;
    }
    SetDefaultHidBackend(bus);
    return keyboard;
}

std::shared_ptr<SimulatedKeyboard> InstalledKeyboard() {
    std::lock_guard<std::mutex> l(Current().m);
    return Current().keyboard;
}

std::shared_ptr<SimulatedBus> InstalledBus() {
    std::lock_guard<std::mutex> l(Current().m);
    return Current().bus;
}

void UninstallSimulatedKeyboard() {
    {
        std::lock_guard<std::mutex> l(Current().m);
        if (!Current().bus) return;
        Current().bus.reset();
        Current().keyboard.reset();
    }
    SetDefaultHidBackend(MakeHidapiBackend());
}

}  // namespace sim
