#include "store/profile_rules.h"

#include "store/settings.h"

namespace {

// Texts of section "KB.DIALOG" the rules show.
enum Text {
    kTextTitleRename = 33,
    kTextProfileWord = 65,
    kTextMusicWord = 101,
    kTextResetKeysAsk = 165,
    kTextResetKeysTitle = 166,
    kTextFactoryAsk = 167,
    kTextFactoryTitle = 168,
    kTextDeleteAsk = 290,
    kTextDeleteTitle = 291,
    kTextProfileLimit = 295,
    kTextNameRefused = 330,
};

// The default profile word of each language the program ships, used to
// recognise a default name made while another language was active.
struct DefaultWord {
    int language;
    const wchar_t* word;
};
constexpr DefaultWord kDefaultProfileWords[] = {
    {2052, L"配置方案"},
    {1033, L"Profile"},
    {1046, L"Perfil"},
};

constexpr int kMaxNameNumber = 1000;

// Lighting and the music light belong to profile 1 whatever profile is current.
constexpr int kLightingProfile = 1;

}  // namespace

CString DialogText(int number) { return GetLanguageText(L"KB.DIALOG", number); }

// ---- names ------------------------------------------------------------------

const std::array<const wchar_t*, 15>& BlockedWords() {
    // Matched as substrings of a lower-cased name, so every entry is lower
    // case and long enough not to hit ordinary words inside longer ones.
    static const std::array<const wchar_t*, 15> words = {
        L"fuck",      // English profanity
        L"shit",
        L"bitch",
        L"cunt",
        L"asshole",
        L"bastard",
        L"whore",
        L"motherf",   // every spelling of the compound
        L"wanker",
        L"nazi",      // hate propaganda
        L"caralho",   // Portuguese profanity
        L"porra",
        L"傻逼",      // Chinese profanity
        L"操你",
        L"他妈的",
    };
    return words;
}

bool ContainsBlockedWord(const CString& name) {
    CString lower = name;
    lower.MakeLower();
    for (const wchar_t* word : BlockedWords())
        if (lower.find(word) != std::wstring::npos) return true;
    return false;
}

CString LocalizeProfileName(const CString& stored, int language) {
    bool known = false;
    for (const DefaultWord& d : kDefaultProfileWords) known |= d.language == language;
    if (!known) return stored;
    for (const DefaultWord& d : kDefaultProfileWords) {
        if (d.language == language) continue;
        const std::wstring_view word(d.word);
        if (stored.size() >= word.size() && std::wstring_view(stored).substr(0, word.size()) == word)
            return DialogText(kTextProfileWord) + stored.Mid(static_cast<int>(word.size()));
    }
    return stored;
}

CString NewEntryName(const EntryList& list, const CString& base) {
    CString candidate;
    for (int n = 1; n <= kMaxNameNumber; ++n) {
        candidate.Format(L"%s %d", base.c_str(), n);
        bool taken = false;
        for (int i = 0; i < list.GetCount() && !taken; ++i) taken = list.GetText(i) == candidate;
        if (!taken) return candidate;
    }
    return candidate;
}

// ---- defaults ---------------------------------------------------------------

int AddDefaultLightSettings(ProfileStore& store, const LightingLayout& layout) {
    if (store.CountLightSettings(kLightingProfile) >= 1) return 0;
    int added = 0;
    for (const LayoutLightMode& m : layout.lightModes) {
        LightSettingRow row;
        row.profile = kLightingProfile;
        row.name = m.name;
        row.mode = m.mode;
        row.brightness = layout.defaultBrightness;
        row.speed = layout.defaultSpeed;
        row.direction = 0;
        row.colorful = 1;
        row.colorindex = 0;
        row.colorValue = 255;
        row.configFunc = m.attribute;
        row.reserved = 0;
        row.status = 0;
        if (store.AddLightSetting(row) > 0) ++added;
    }
    store.SetActiveLightMode(kLightingProfile, layout.defaultLightMode);
    return added;
}

bool AddDefaultMusicLight(ProfileStore& store, bool rgbKeyboard) {
    if (store.CountMusicLayers() >= 1) return false;
    const int id = store.AddMusicLayer(DialogText(kTextMusicWord) + L" 1", rgbKeyboard ? 17 : 1);
    store.SelectMusicLayer();
    return id > 0;
}

// ---- the rules ----------------------------------------------------------------

ProfileRules::ProfileRules(ProfileStore& store, EntryList& profiles, MessagePrompt& prompt, ProfileHooks& hooks)
    : store_(store), profiles_(profiles), prompt_(prompt), hooks_(hooks) {}

void ProfileRules::BuildProfileList() {
    profiles_.ResetContent();
    std::vector<ProfileRow> rows;
    if (store_.ListProfiles(rows) == 0) {
        // A new database: three default profiles and the configuration rows.
        const CString word = DialogText(kTextProfileWord);
        ProfileRow row;
        row.name.Format(L"%s 1", word.c_str());
        const int first = store_.AddProfile(row);
        store_.SeedConfig();
        row.name.Format(L"%s 2", word.c_str());
        store_.AddProfile(row);
        row.name.Format(L"%s 3", word.c_str());
        store_.AddProfile(row);
        store_.SetActiveProfile(first);
        store_.ListProfiles(rows);
    }
    for (const ProfileRow& r : rows) profiles_.AddEntry(LocalizeProfileName(r.name, CurrentLanguageId), r.profile);

    int current = store_.GetActiveProfile();
    if (current == 0 && profiles_.GetCount() > 0) {
        current = profiles_.GetItemData(0);
        store_.SetActiveProfile(current);
    }
    currentProfile_ = current;
    for (int i = 0; i < profiles_.GetCount(); ++i)
        if (profiles_.GetItemData(i) == current) {
            profiles_.SetCurSel(i);
            break;
        }
    currentFnLayer_ = 0;
    hooks_.ShowProfileKeys(currentProfile_);
}

CString ProfileRules::NewProfileName(const CString& base) const { return NewEntryName(profiles_, base); }

void ProfileRules::AddProfileEntry() {
    if (profiles_.GetCount() >= kMaxProfiles) {
        prompt_.ShowMessage(DialogText(kTextProfileWord), DialogText(kTextProfileLimit), kStyleOneButton);
        return;
    }
    ProfileRow row;
    row.name = NewProfileName(DialogText(kTextProfileWord));
    const int id = store_.AddProfile(row);
    if (id <= 0) return;
    profiles_.SetCurSel(profiles_.AddEntry(row.name, id));
    currentProfile_ = id;
    hooks_.ShowProfileKeys(id);
    ApplyCurrentProfile();
}

void ProfileRules::RestoreEntryName(int position, int id) {
    CString stored;
    store_.GetProfileName(id, stored);
    // Shown as the list shows every stored name.
    profiles_.SetText(position, LocalizeProfileName(stored, CurrentLanguageId));
}

void ProfileRules::RenameProfileEntry(int position, const CString& text) {
    if (position < 0 || position >= profiles_.GetCount()) return;
    const int id = profiles_.GetItemData(position);
    if (text.IsEmpty() || ContainsBlockedWord(text)) {
        prompt_.ShowMessage(DialogText(kTextTitleRename), DialogText(kTextNameRefused), kStyleOneButton);
        RestoreEntryName(position, id);
        return;
    }
    if (store_.RenameProfile(id, text))
        profiles_.SetText(position, text);
    else
        RestoreEntryName(position, id);  // the list keeps showing what is stored
}

void ProfileRules::DeleteProfileEntry() {
    const int count = profiles_.GetCount();
    const int sel = profiles_.GetCurSel();
    if (count <= 1 || sel < 0 || sel >= count) return;
    if (prompt_.ShowMessage(DialogText(kTextDeleteTitle), DialogText(kTextDeleteAsk), kStyleTwoButtons) != kAnswerOk)
        return;
    if (!store_.DeleteProfile(profiles_.GetItemData(sel))) return;
    profiles_.DeleteEntry(sel);
    const int next = sel > 0 ? sel - 1 : 0;
    profiles_.SetCurSel(next);
    currentProfile_ = profiles_.GetItemData(next);
    hooks_.ShowProfileKeys(currentProfile_);
    hooks_.PushTask(kTaskUploadKeys);
    hooks_.OpenBusyDialog();
}

void ProfileRules::SwitchProfile(int position) {
    if (position < 0 || position >= profiles_.GetCount()) {
        hooks_.SetKeyboardEnabled(false);
        return;
    }
    hooks_.SetKeyboardEnabled(true);
    if (profiles_.GetCurSel() != position) profiles_.SetCurSel(position);
    currentProfile_ = profiles_.GetItemData(position);
    store_.SetActiveProfile(currentProfile_);
    hooks_.ShowProfileKeys(currentProfile_);
    store_.SetActiveProfile(currentProfile_);
    ApplyCurrentProfile();
}

void ProfileRules::ApplyCurrentProfile() {
    if (softwareMapping_) {
        hooks_.LoadSoftwareKeyTable();
        return;
    }
    hooks_.PushTask(kTaskUploadKeys);
    hooks_.OpenBusyDialog();
}

void ProfileRules::ResetProfileKeys() {
    if (prompt_.ShowMessage(DialogText(kTextResetKeysTitle), DialogText(kTextResetKeysAsk), kStyleTwoButtons) !=
        kAnswerOk)
        return;
    store_.DeleteKeyAssignments(currentProfile_);
    hooks_.ResetCustomLightSlot();
    hooks_.ShowProfileKeys(currentProfile_);
    ApplyCurrentProfile();
}

void ProfileRules::RestoreFactorySettings(FactoryHooks& factory) {
    if (prompt_.ShowMessage(DialogText(kTextFactoryTitle), DialogText(kTextFactoryAsk), kStyleTwoButtons) !=
        kAnswerOk)
        return;

    WriteSettingText(L"exit_mode", L"0");

    const int uiLanguage = factory.UserUiLanguage();
    CurrentLanguageId = uiLanguage;
    const int storedLanguage = uiLanguage == 1046 ? 1046 : 2052;
    WriteLanguageId(storedLanguage);
    EntryList& languages = factory.LanguageList();
    for (int i = 0; i < languages.GetCount(); ++i)
        if (languages.GetItemData(i) == storedLanguage) {
            languages.SetCurSel(i);
            break;
        }
    hooks_.ResetCustomLightSlot();
    const int sel = languages.GetCurSel();
    if (sel >= 0 && sel < languages.GetCount()) {
        CurrentLanguageId = languages.GetItemData(sel);
        WriteLanguageId(languages.GetItemData(sel));
    }
    factory.RefreshTexts();

    factory.SetAutostartCheck(false);
    SetAutostart(false);

    CString keyboard;
    if (factory.SelectedKeyboard(keyboard)) {
        // Closed even when the last open failed half-way: a handle left open
        // would keep the deleted file and skip creating the new one.
        store_.CloseDatabase();
        const CString folder = GetUserDataFolder();
        store_.DeleteDatabaseFile(folder, keyboard);
        store_.OpenDatabase(folder, keyboard);
        factory.ReselectKeyboard();
    }

    if (softwareMapping_) hooks_.LoadSoftwareKeyTable();
    hooks_.PushTask(kTaskFactoryReset);
    hooks_.OpenBusyDialog();
}

void ProfileRules::AdoptProfile(const CString& name, int id) {
    profiles_.SetCurSel(profiles_.AddEntry(name, id));
    currentProfile_ = id;
    store_.SetActiveProfile(id);
    hooks_.ShowProfileKeys(id);
    ApplyCurrentProfile();
}
