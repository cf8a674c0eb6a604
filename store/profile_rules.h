// Profiles as the user sees them: the defaults of a new database, the
// profile list and its entries, switching, and the two resets. The rules run
// on the UI thread and reach the pages only through the seams below and in
// profile_ui.h.
//
//   names ........... blocked words, default names across languages
//   defaults ........ lighting rows and the music light of a new database
//   ProfileHooks .... what the main window does for the rules
//   FactoryHooks .... what only the factory reset needs
//   ProfileRules .... the operations on the profile list
#pragma once

#include <array>
#include <vector>

#include "store/profile_store.h"
#include "store/profile_ui.h"
#include "tavri/types.h"

// Text `number` of section "KB.DIALOG" in the current language's file.
CString DialogText(int number);

// ---- names ------------------------------------------------------------------

// The fifteen words (lower case) a user-given profile or macro name may not contain.
const std::array<const wchar_t*, 15>& BlockedWords();
// True when a lower-cased copy of `name` contains a blocked word.
bool ContainsBlockedWord(const CString& name);

// A stored name that begins with another language's default profile word is
// shown with this language's word (text 65) instead; other names as stored.
// Only languages 2052, 1033 and 1046 know the other words.
CString LocalizeProfileName(const CString& stored, int language);

// "%s %d" of `base` with the smallest n (from 1) whose text no entry of the
// list has; after 1000 the candidate with 1000.
CString NewEntryName(const EntryList& list, const CString& base);

// ---- defaults ---------------------------------------------------------------

// What the store's defaults read from a keyboard's layout description.
struct LayoutLightMode {
    CString name;
    int mode = 0;
    int attribute = 0;  // capability bits, stored as config_func
};

struct LightingLayout {
    std::vector<LayoutLightMode> lightModes;  // in the description's order
    int defaultLightMode = 0;
    int defaultBrightness = 0;
    int defaultSpeed = 0;
    bool rgbKeyboard = false;
};

// When profile 1 has no lighting rows: one per light mode and the default
// mode made active. Returns the number of rows added.
int AddDefaultLightSettings(ProfileStore& store, const LightingLayout& layout);
// When there is no music-light record: adds "<text 101> 1" (foreground mode
// 17 on an RGB keyboard, else 1) and selects it. True when one was added.
bool AddDefaultMusicLight(ProfileStore& store, bool rgbKeyboard);

// ---- seams ------------------------------------------------------------------

// Worker task codes the rules queue.
constexpr int kTaskUploadKeys = 6;
constexpr int kTaskFactoryReset = 10;

class ProfileHooks {
public:
    virtual ~ProfileHooks() = default;
    // The key page shows the profile's layer-0 assignments.
    virtual void ShowProfileKeys(int profile) = 0;
    // The key page's keyboard picture accepts clicks or not.
    virtual void SetKeyboardEnabled(bool enabled) = 0;
    // Rebuilds the filter's key table from the current profile.
    virtual void LoadSoftwareKeyTable() = 0;
    virtual void PushTask(int task) = 0;
    // Opens the busy dialog, replacing one already open.
    virtual void OpenBusyDialog() = 0;
    // The lighting page's custom-lighting slot list goes back to its first entry.
    virtual void ResetCustomLightSlot() = 0;
};

class FactoryHooks {
public:
    virtual ~FactoryHooks() = default;
    virtual int UserUiLanguage() = 0;
    // The settings page's language list; item data is the language id.
    virtual EntryList& LanguageList() = 0;
    // Every caption and text of every page again from the language file.
    virtual void RefreshTexts() = 0;
    virtual void SetAutostartCheck(bool checked) = 0;
    // The selected keyboard's name (its database); false when none is selected.
    virtual bool SelectedKeyboard(CString& name) = 0;
    // Selects that keyboard again: its layout, the pages and the profile list.
    virtual void ReselectKeyboard() = 0;
};

// ---- the rules ----------------------------------------------------------------

class ProfileRules {
public:
    static constexpr int kMaxProfiles = 200;

    ProfileRules(ProfileStore& store, EntryList& profiles, MessagePrompt& prompt, ProfileHooks& hooks);

    void BuildProfileList();
    CString NewProfileName(const CString& base) const;
    void AddProfileEntry();
    void RenameProfileEntry(int position, const CString& text);
    void DeleteProfileEntry();
    void SwitchProfile(int position);
    void ApplyCurrentProfile();
    void ResetProfileKeys();
    void RestoreFactorySettings(FactoryHooks& factory);

    // A profile made from a file: appended, selected, made current and active,
    // shown and applied.
    void AdoptProfile(const CString& name, int id);

    int CurrentProfile() const { return currentProfile_; }
    void SetCurrentProfile(int profile) { currentProfile_ = profile; }
    int CurrentFnLayer() const { return currentFnLayer_; }
    void SetCurrentFnLayer(int layer) { currentFnLayer_ = layer; }
    // Keys run through the filter driver (always, in this program) rather
    // than being written to the keyboard.
    bool SoftwareMapping() const { return softwareMapping_; }
    void SetSoftwareMapping(bool on) { softwareMapping_ = on; }

    ProfileStore& Store() { return store_; }
    EntryList& Profiles() { return profiles_; }
    MessagePrompt& Prompt() { return prompt_; }
    ProfileHooks& Hooks() { return hooks_; }

private:
    // Puts the stored name of the entry's profile back after a refused rename.
    void RestoreEntryName(int position, int id);

    ProfileStore& store_;
    EntryList& profiles_;
    MessagePrompt& prompt_;
    ProfileHooks& hooks_;
    int currentProfile_ = 0;
    int currentFnLayer_ = 0;
    bool softwareMapping_ = true;
};
