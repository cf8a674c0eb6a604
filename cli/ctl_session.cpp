#include "cli/ctl_session.h"

#include <cstdio>

#include "app/startup.h"
#include "link/device_clock.h"
#include "link/device_manager.h"
#include "platform/ini_file.h"
#include "platform/locale.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "sim/install.h"
#include "sim/trace.h"
#include "store/settings.h"
#include "tavri/manager.h"
#include "xml/xml_document.h"

namespace ctl {

void SetUpProgramContext() {
    ReadDeviceNameFromConfig();
    // Read only: the program stores a language at its own first start, and
    // opening the settings would create their file.
    int language = platform::FileExists(SettingsFilePath()) ? ReadLanguageId() : 0;
    if (language == 0) language = platform::UserUiLanguageId();
    CurrentLanguageId = language;
}

// ---- small fakes of the pages ---------------------------------------------------

CString MemoryEntryList::GetText(int index) const {
    return index >= 0 && index < GetCount() ? entries_[static_cast<size_t>(index)].first : CString();
}

int MemoryEntryList::GetItemData(int index) const {
    return index >= 0 && index < GetCount() ? entries_[static_cast<size_t>(index)].second : 0;
}

int MemoryEntryList::AddEntry(const CString& text, int itemData) {
    entries_.emplace_back(text, itemData);
    return GetCount() - 1;
}

void MemoryEntryList::SetText(int index, const CString& text) {
    if (index >= 0 && index < GetCount()) entries_[static_cast<size_t>(index)].first = text;
}

void MemoryEntryList::DeleteEntry(int index) {
    if (index >= 0 && index < GetCount()) entries_.erase(entries_.begin() + index);
}

void MemoryEntryList::ResetContent() {
    entries_.clear();
    sel_ = -1;
}

int MessageRecorder::ShowMessage(const CString& title, const CString& text, int style) {
    (void)title;
    (void)style;
    last_ = text;
    shown_ = true;
    return kAnswerOk;
}

void MessageRecorder::ShowSystemMessage(const CString& caption, const CString& text) {
    (void)caption;
    last_ = text;
    shown_ = true;
}

// ---- session ----------------------------------------------------------------------

Session::Session(const Options& options) : opts_(options) {}

Session::~Session() {
    // Whatever a failed command wrote is undone; a database it created goes.
    tx_.reset();
    commands_.reset();
    if (storeOpen_) {
        store_.CloseDatabase();
        if (!committed_ && !dbExisted_) store_.DeleteDatabaseFile(GetUserDataFolder(), Keyboard().name);
    }
}

const ConfigDescription& Session::Config() {
    if (configRead_) return config_;
    xml::XmlDocument doc;
    CString path;
    path.Format(L"%s\\config.xml", GetProgramFolderNoSlash().c_str());
    if (!doc.Load(path) || !ReadConfigDocument(doc, config_, nullptr, nullptr))
        throw Failure{"cannot read " + platform::NativePath(path)};
    configRead_ = true;
    return config_;
}

const DeviceDescription& Session::Keyboard() {
    if (keyboardIndex_ < 0) {
        const ConfigDescription& c = Config();
        for (size_t i = 0; i < c.keyboards.size(); ++i) {
            if (c.keyboards[i].deviceType == opts_.deviceType) {
                keyboardIndex_ = static_cast<int>(i);
                break;
            }
        }
        if (keyboardIndex_ < 0)
            throw Failure{"config.xml has no keyboard of device type " + std::to_string(opts_.deviceType)};
    }
    return config_.keyboards[static_cast<size_t>(keyboardIndex_)];
}

KeyboardLayout& Session::Layout() {
    if (layoutRead_) return layout_;
    const DeviceDescription& k = Keyboard();
    xml::XmlDocument doc;
    CString path;
    path.Format(L"%s\\layouts\\%s.xml", GetProgramFolderNoSlash().c_str(), k.layoutName.c_str());
    if (!doc.Load(path) || !ReadLayoutDocument(doc, layout_, commands::kLightingProfile, nullptr))
        throw Failure{"cannot read the layout " + platform::NativePath(path)};
    layout_.currentDeviceType = opts_.deviceType;
    layout_.keyboardName = k.name;
    layoutRead_ = true;
    return layout_;
}

ProfileStore& Session::Store() {
    if (storeOpen_) return store_;
    const CString name = Keyboard().name;
    const CString folder = GetUserDataFolder();
    CreateFolderPath(folder + L"db");
    const std::string path = ProfileStore::BuildDatabasePath(folder, name);
    dbExisted_ = platform::FileExists(path);
    store_.SetDeviceType(opts_.deviceType);
    storeOpen_ = true;  // from here on the destructor cleans up
    if (!store_.OpenDatabase(folder, name)) throw Failure{"cannot open the database " + path};
    tx_ = std::make_unique<ProfileStore::Transaction>(store_);
    rules_ = std::make_unique<ProfileRules>(store_, profiles_, prompt_, hooks_);
    // A database without profiles gets the three defaults, and one without an
    // active profile its first, as the key page does on showing them.
    rules_->BuildProfileList();
    return store_;
}

ProfileRules& Session::Rules() {
    Store();
    return *rules_;
}

int Session::ActiveProfile() { return Rules().CurrentProfile(); }

void Session::EnsureLightingDefaults() {
    ProfileStore& store = Store();
    const KeyboardLayout& l = Layout();
    LightingLayout lighting;
    for (const LightModeEntry& m : l.lightModes) lighting.lightModes.push_back(LayoutLightMode{m.name, m.mode, m.configFunc});
    lighting.defaultLightMode = l.defaultLightMode;
    lighting.defaultBrightness = l.defaultBrightness;
    lighting.defaultSpeed = l.defaultSpeed;
    lighting.rgbKeyboard = l.rgbKeyboard;
    AddDefaultLightSettings(store, lighting);
    AddDefaultMusicLight(store, l.rgbKeyboard);
}

void Session::InstallSimulator() {
    sim::SimKeyboardSetup setup;
    setup.deviceType = opts_.simulateType;
    setup.connections = sim::ConnectionsFromConfig(opts_.simulateType);
    if (setup.connections.empty())
        throw Failure{"config.xml has no keyboard of device type " + std::to_string(opts_.simulateType) +
                      " to simulate"};
    setup.stateFile = sim::DefaultStateFile(opts_.simulateType);
    setup.firmwareVersion = opts_.simFirmware;
    keyboard_ = sim::InstallSimulatedKeyboard(setup, opts_.simulateMode);
    if (!keyboard_)
        throw Failure{"the simulated keyboard of device type " + std::to_string(opts_.simulateType) +
                      " has no connection mode " + std::to_string(opts_.simulateMode)};
}

std::vector<InterfaceInfo> Session::ScanAll() {
    if (opts_.simulate && !keyboard_) InstallSimulator();
    DeviceManager& dm = DeviceManager::Instance();
    if (!targetsAdded_) {
        for (const DeviceDescription& m : Config().modes)
            dm.AddTarget(m.vendorId, m.productId, m.name, m.deviceType, m.mode, m.interfacePattern);
        targetsAdded_ = true;
    }
    dm.Rescan();
    if (keyboard_) {
        keyboard_->ClearTransfers();
        traceStart_ = DefaultDeviceClock().NowMicros();
    }
    return dm.Interfaces();
}

DeviceManager& Session::Device() {
    DeviceManager& dm = DeviceManager::Instance();
    if (deviceReady_) return dm;
    ScanAll();
    dm.SetCurrentDeviceType(opts_.deviceType);
    if (!dm.CommandChannel())
        throw Failure{"no keyboard of device type " + std::to_string(opts_.deviceType) + " found"};
    deviceReady_ = true;
    return dm;
}

commands::CommandSet& Session::Commands() {
    if (commands_) return *commands_;
    ProfileStore& store = Store();
    const KeyboardLayout& layout = Layout();
    DeviceManager& dm = Device();
    state_.deviceType.store(opts_.deviceType);
    state_.currentProfile.store(ActiveProfile());
    state_.currentFnLayer.store(0);
    state_.lightProfile.store(commands::kLightingProfile);
    state_.currentLightMode.store(store.GetActiveLightMode(commands::kLightingProfile));
    state_.optionSelection.store(LightOption());
    commands_ = std::make_unique<commands::CommandSet>(state_, store, layout, dm);
    return *commands_;
}

std::string Session::OptionFile() const {
    return platform::ConfigHome() + "/" + platform::SafeFileName(Manager::GetDeviceName().ToUtf8()) + "/keyloomctl.ini";
}

int Session::LightOption() {
    platform::IniFile ini;
    if (!ini.Load(OptionFile())) return 0;
    const auto v = ini.Get(Keyboard().name, L"light_option");
    return v ? platform::ParseDecimal(*v) : 0;
}

void Session::SetLightOption(int option) {
    platform::IniFile ini;
    ini.Load(OptionFile());  // a missing file starts empty
    CString value;
    value.Format(L"%d", option);
    ini.Set(Keyboard().name, L"light_option", value);
    CreateFolderPath(CString::FromUtf8(platform::ConfigHome() + "/" +
                                       platform::SafeFileName(Manager::GetDeviceName().ToUtf8())));
    if (!ini.Save(OptionFile())) throw Failure{"cannot write " + OptionFile()};
}

void Session::Commit() {
    if (tx_ && !tx_->Commit()) throw Failure{"the database could not be written"};
    tx_.reset();
    committed_ = true;
}

std::vector<std::string> Session::TraceLines() const {
    std::vector<std::string> lines;
    if (!keyboard_) return lines;
    std::int64_t previous = traceStart_;
    char stamp[32];
    for (const sim::TransferRecord& r : keyboard_->Transfers()) {
        std::string line;
        if (opts_.traceTime) {
            std::snprintf(stamp, sizeof stamp, "+%.1f ", static_cast<double>(r.timeMicros - previous) / 1000.0);
            line = stamp;
            previous = r.timeMicros;
        }
        line += sim::FormatTransfer(r);
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace ctl
