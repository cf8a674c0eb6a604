// What one keyloomctl run opens, each on first use: config.xml, the layout
// of the addressed keyboard, its database (inside one transaction that only
// a successful command commits), and the keyboard itself (the simulated one
// with --simulate).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/ctl.h"
#include "link/commands/command_set.h"
#include "link/device_description.h"
#include "sim/simulated_keyboard.h"
#include "store/profile_rules.h"
#include "store/profile_store.h"

namespace ctl {

// The profile list of the rules, held in memory.
class MemoryEntryList : public EntryList {
public:
    int GetCount() const override { return static_cast<int>(entries_.size()); }
    CString GetText(int index) const override;
    int GetItemData(int index) const override;
    int GetCurSel() const override { return sel_; }
    void SetCurSel(int index) override { sel_ = index; }
    int AddEntry(const CString& text, int itemData) override;
    void SetText(int index, const CString& text) override;
    void DeleteEntry(int index) override;
    void ResetContent() override;

private:
    std::vector<std::pair<CString, int>> entries_;
    int sel_ = -1;
};

// Messages the rules would show become the failure text.
class MessageRecorder : public MessagePrompt {
public:
    int ShowMessage(const CString& title, const CString& text, int style) override;
    void ShowSystemMessage(const CString& caption, const CString& text) override;
    // Asked to confirm, the answer is yes: the command line is the confirmation.
    const CString& Last() const { return last_; }
    bool Shown() const { return shown_; }

private:
    CString last_;
    bool shown_ = false;
};

// keyloomctl has no pages and no software key table to rebuild.
class NoPageHooks : public ProfileHooks {
public:
    void ShowProfileKeys(int) override {}
    void SetKeyboardEnabled(bool) override {}
    void LoadSoftwareKeyTable() override {}
    void PushTask(int) override {}
    void OpenBusyDialog() override {}
    void ResetCustomLightSlot() override {}
};

class Session {
public:
    explicit Session(const Options& options);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const Options& Opts() const { return opts_; }
    int DeviceType() const { return opts_.deviceType; }

    // config.xml's record of the addressed keyboard. Throws Failure.
    const DeviceDescription& Keyboard();
    const ConfigDescription& Config();
    KeyboardLayout& Layout();

    // The database, with a fresh database's default profiles made as the key
    // page makes them. Throws Failure.
    ProfileStore& Store();
    ProfileRules& Rules();
    MemoryEntryList& ProfileList() { return profiles_; }
    MessageRecorder& Prompt() { return prompt_; }
    int ActiveProfile();
    // Default lighting rows and the music light, when the database has none.
    void EnsureLightingDefaults();

    // The interfaces of the addressed keyboard, scanned; throws Failure when
    // none is open. ScanAll lists every described keyboard's.
    DeviceManager& Device();
    std::vector<InterfaceInfo> ScanAll();
    commands::CommandState& State() { return state_; }
    // Store, layout and keyboard, with the state of the current profile.
    commands::CommandSet& Commands();
    sim::SimulatedKeyboard* Simulated() { return keyboard_.get(); }

    // The lighting page's option list selection, which keyloomctl keeps in
    // its own file between runs (keyloomctl.ini beside the settings).
    int LightOption();
    void SetLightOption(int option);

    // Makes the database's changes stand; until then they are undone when
    // the session ends. Throws Failure when the write fails.
    void Commit();
    // The record of every transfer since the keyboard was scanned, formatted.
    std::vector<std::string> TraceLines() const;

private:
    void InstallSimulator();
    std::string OptionFile() const;

    Options opts_;
    bool configRead_ = false;
    ConfigDescription config_;
    int keyboardIndex_ = -1;
    bool layoutRead_ = false;
    KeyboardLayout layout_;

    ProfileStore store_;
    bool storeOpen_ = false;
    bool dbExisted_ = false;
    bool committed_ = false;
    std::unique_ptr<ProfileStore::Transaction> tx_;
    MemoryEntryList profiles_;
    MessageRecorder prompt_;
    NoPageHooks hooks_;
    std::unique_ptr<ProfileRules> rules_;

    std::shared_ptr<sim::SimulatedKeyboard> keyboard_;
    bool targetsAdded_ = false;
    bool deviceReady_ = false;
    std::int64_t traceStart_ = 0;

    commands::CommandState state_;
    std::unique_ptr<commands::CommandSet> commands_;
};

}  // namespace ctl
