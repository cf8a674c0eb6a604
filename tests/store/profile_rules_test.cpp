// The profile list rules and the defaults of a new database, driven through
// the fakes on a real database file.
#include <set>

#include "store_fixture.h"

using namespace storetest;

namespace {

KeyAssignmentRow Key(int profile, int code, int value) {
    KeyAssignmentRow r;
    r.profile = profile;
    r.keyCode = code;
    r.macroType = 2;
    r.macroValue = value;
    return r;
}

class RulesTest : public StoreTest {
protected:
    FakeList list_;
    FakePrompt prompt_;
    FakeHooks hooks_;
    ProfileRules rules_{store_, list_, prompt_, hooks_};

    int ActiveInFile() { return std::stoi(QueryText(DbPath(), "SELECT ifnull(max(profile), 0) FROM t_profile_data WHERE status = 1")); }
};

class FakeFactory : public FactoryHooks {
public:
    std::function<void()> reselect;
    FakeList languages;
    int uiLanguage = 1033;
    CString keyboard = kKeyboard;
    bool selected = true;
    std::vector<std::string> calls;

    int UserUiLanguage() override { return uiLanguage; }
    EntryList& LanguageList() override { return languages; }
    void RefreshTexts() override { calls.push_back("texts " + std::to_string(CurrentLanguageId.load())); }
    void SetAutostartCheck(bool on) override { calls.push_back(on ? "check" : "uncheck"); }
    bool SelectedKeyboard(CString& name) override {
        name = keyboard;
        return selected;
    }
    void ReselectKeyboard() override {
        calls.push_back("reselect");
        if (reselect) reselect();
    }
};

}  // namespace

// ---- a new database -----------------------------------------------------------

TEST_F(RulesTest, NewDatabaseGetsThreeDefaultProfilesAndTheSeedRows) {
    rules_.BuildProfileList();
    EXPECT_EQ(list_.entries, (std::vector<std::pair<CString, int>>{{L"Profile 1", 1}, {L"Profile 2", 2}, {L"Profile 3", 3}}));
    EXPECT_EQ(list_.sel, 0);
    EXPECT_EQ(rules_.CurrentProfile(), 1);
    EXPECT_EQ(rules_.CurrentFnLayer(), 0);
    EXPECT_EQ(ActiveInFile(), 1);
    EXPECT_EQ(QueryText(DbPath(), "SELECT count(*) FROM t_configdata WHERE profile = 1"), "11");
    EXPECT_EQ(hooks_.calls, (std::vector<std::string>{"show 1"}));

    // Built again, nothing is added; the stored active profile decides.
    store_.SetActiveProfile(3);
    rules_.SetCurrentFnLayer(1);
    rules_.BuildProfileList();
    EXPECT_EQ(list_.GetCount(), 3);
    EXPECT_EQ(list_.sel, 2);
    EXPECT_EQ(rules_.CurrentProfile(), 3);
    EXPECT_EQ(rules_.CurrentFnLayer(), 0);
    EXPECT_EQ(QueryText(DbPath(), "SELECT count(*) FROM t_configdata"), "11");
}

TEST_F(RulesTest, WithoutAnActiveProfileTheFirstEntryBecomesActive) {
    ProfileRow p;
    p.name = L"b";
    store_.AddProfile(p);
    store_.AddProfile(p);
    store_.DeleteProfile(1);
    rules_.BuildProfileList();
    ASSERT_EQ(list_.GetCount(), 1);
    EXPECT_EQ(rules_.CurrentProfile(), 2);
    EXPECT_EQ(ActiveInFile(), 2);
    EXPECT_EQ(list_.sel, 0);
}

TEST_F(RulesTest, ClosedDatabaseLeavesTheListEmpty) {
    store_.CloseDatabase();
    rules_.BuildProfileList();
    EXPECT_EQ(list_.GetCount(), 0);
    EXPECT_EQ(list_.sel, -1);
    EXPECT_EQ(rules_.CurrentProfile(), 0);
}

TEST_F(RulesTest, DefaultNamesFollowTheLanguageWithoutChangingStoredNames) {
    struct Case {
        int language;
        const wchar_t* stored;
        const wchar_t* shown;
    };
    const Case cases[] = {
        {1033, L"配置方案 2", L"Profile 2"},
        {2052, L"Profile 7", L"配置方案 7"},
        {1046, L"Profile 3", L"Perfil 3"},
        {1046, L"配置方案 4", L"Perfil 4"},
        {1033, L"Perfil 5", L"Profile 5"},
        {1033, L"Profile 6", L"Profile 6"},     // its own word: shown as stored
        {1033, L"My 配置方案 1", L"My 配置方案 1"},  // a default word later on is never changed
        {2052, L"Profiles", L"配置方案s"},        // compared over the word's length only
        {2052, L"Profil", L"Profil"},
        {1031, L"Profile 1", L"Profile 1"},     // other languages: as stored
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(CString(c.stored).ToUtf8() + " in " + std::to_string(c.language));
        CurrentLanguageId = c.language;
        EXPECT_EQ(LocalizeProfileName(c.stored, c.language), CString(c.shown));
    }

    ProfileRow p;
    p.name = L"配置方案 2";
    store_.AddProfile(p);
    CurrentLanguageId = 1033;
    rules_.BuildProfileList();
    EXPECT_EQ(list_.GetText(0), L"Profile 2");
    CString stored;
    store_.GetProfileName(1, stored);
    EXPECT_EQ(stored, L"配置方案 2");
}

// ---- names --------------------------------------------------------------------

TEST_F(RulesTest, NewNameTakesTheSmallestFreeNumber) {
    list_.entries = {{L"Profile 1", 1}, {L"Profile 3", 3}, {L"profile 2", 4}};  // case matters
    EXPECT_EQ(rules_.NewProfileName(L"Profile"), L"Profile 2");
    list_.entries.clear();
    for (int n = 1; n <= 1000; ++n) list_.entries.emplace_back(CString::Formatted(L"P %d", n), n);
    EXPECT_EQ(NewEntryName(list_, L"P"), L"P 1000");
}

TEST_F(RulesTest, AddProfileUsesTheFreeNameAndStopsAt200) {
    rules_.BuildProfileList();
    store_.DeleteProfile(2);
    rules_.BuildProfileList();
    hooks_.calls.clear();

    rules_.AddProfileEntry();
    ASSERT_EQ(list_.GetCount(), 3);
    EXPECT_EQ(list_.GetText(2), L"Profile 2");
    EXPECT_EQ(list_.GetItemData(2), 4);
    EXPECT_EQ(list_.sel, 2);
    EXPECT_EQ(rules_.CurrentProfile(), 4);
    EXPECT_EQ(ActiveInFile(), 1);  // the stored active flag stays
    EXPECT_EQ(hooks_.calls, (std::vector<std::string>{"show 4", "table"}));
    CString stored;
    ASSERT_TRUE(store_.GetProfileName(4, stored));
    EXPECT_EQ(stored, L"Profile 2");

    ProfileRow p;
    p.name = L"x";
    while (list_.GetCount() < 200) list_.AddEntry(L"x", store_.AddProfile(p));
    const std::string before = DumpDatabase(DbPath());
    hooks_.calls.clear();
    rules_.AddProfileEntry();
    ASSERT_EQ(prompt_.shown.size(), 1u);
    EXPECT_EQ(prompt_.shown[0].text, L"No more profiles can be added");
    EXPECT_EQ(prompt_.shown[0].title, L"Profile");
    EXPECT_EQ(list_.GetCount(), 200);
    EXPECT_EQ(DumpDatabase(DbPath()), before);
    EXPECT_TRUE(hooks_.calls.empty());
}

TEST_F(RulesTest, RenameRefusesEmptyAndBlockedNames) {
    rules_.BuildProfileList();
    struct Case {
        const wchar_t* text;
        bool accepted;
    };
    const Case cases[] = {
        {L"Gaming", true},
        {L"Shift layer", true},
        {L"", false},
        {L"My FUCKING keys", false},  // compared on a lower-cased copy
        {L"大傻逼", false},
        {L"Porra!", false},
        {L"\"Quotes\" & <amps> \U0001F600", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(CString(c.text).ToUtf8());
        prompt_.shown.clear();
        store_.RenameProfile(2, L"配置方案 2");  // a default name in another language
        list_.SetText(1, c.text);                // what the in-place editor left
        rules_.RenameProfileEntry(1, c.text);
        CString stored;
        store_.GetProfileName(2, stored);
        if (c.accepted) {
            EXPECT_TRUE(prompt_.shown.empty());
            EXPECT_EQ(stored, CString(c.text));
            EXPECT_EQ(list_.GetText(1), CString(c.text));
        } else {
            ASSERT_EQ(prompt_.shown.size(), 1u);
            EXPECT_EQ(prompt_.shown[0].title, L"Rename");
            EXPECT_EQ(prompt_.shown[0].text, L"This name cannot be used");
            EXPECT_EQ(stored, L"配置方案 2");
            EXPECT_EQ(list_.GetText(1), L"Profile 2");  // the stored name, as the list shows it
        }
    }
}

TEST_F(RulesTest, BlockedWordsAreFifteenLowerCaseWords) {
    std::set<std::wstring> distinct;
    for (const wchar_t* w : BlockedWords()) {
        CString lower = w;
        lower.MakeLower();
        EXPECT_EQ(lower, CString(w));
        EXPECT_FALSE(lower.empty());
        EXPECT_TRUE(ContainsBlockedWord(CString(L"x") + w + L"y"));
        distinct.insert(w);
    }
    EXPECT_EQ(distinct.size(), 15u);
    EXPECT_FALSE(ContainsBlockedWord(L"Profile 1"));
}

// ---- delete, switch, apply ----------------------------------------------------

TEST_F(RulesTest, DeleteNeedsTwoEntriesASelectionAndAnOk) {
    rules_.BuildProfileList();
    store_.SaveKeyAssignment(Key(1, 4, 5));
    const std::string before = DumpDatabase(DbPath());

    list_.sel = -1;
    rules_.DeleteProfileEntry();
    prompt_.answer = kAnswerCancel;
    list_.sel = 0;
    rules_.DeleteProfileEntry();
    EXPECT_EQ(prompt_.shown.size(), 1u);
    EXPECT_EQ(DumpDatabase(DbPath()), before);
    EXPECT_EQ(list_.GetCount(), 3);

    // Deleting the first of three selects the new first and sends the keys.
    prompt_.answer = kAnswerOk;
    hooks_.calls.clear();
    rules_.DeleteProfileEntry();
    EXPECT_EQ(prompt_.shown.back().title, L"Delete profile");
    EXPECT_EQ(prompt_.shown.back().text, L"Delete this profile?");
    EXPECT_EQ(prompt_.shown.back().style, kStyleTwoButtons);
    EXPECT_EQ(list_.Texts(), (std::vector<CString>{L"Profile 2", L"Profile 3"}));
    EXPECT_EQ(list_.sel, 0);
    EXPECT_EQ(rules_.CurrentProfile(), 2);
    EXPECT_EQ(hooks_.calls, (std::vector<std::string>{"show 2", "task 6", "busy"}));
    KeyAssignmentRow k;
    EXPECT_TRUE(store_.GetKeyAssignment(1, 0, 4, k));  // the deleted profile's keys stay
    EXPECT_EQ(ActiveInFile(), 0);                      // and the active flag is not moved

    // Deleting the last entry selects the one before it.
    list_.sel = 1;
    rules_.DeleteProfileEntry();
    EXPECT_EQ(list_.Texts(), (std::vector<CString>{L"Profile 2"}));
    EXPECT_EQ(list_.sel, 0);
    // One entry left: nothing happens, not even the question.
    const size_t asked = prompt_.shown.size();
    rules_.DeleteProfileEntry();
    EXPECT_EQ(prompt_.shown.size(), asked);
    EXPECT_EQ(list_.GetCount(), 1);
}

TEST_F(RulesTest, SwitchMakesTheProfileActiveAndLeavesTheLighting) {
    rules_.BuildProfileList();
    LightSettingRow l;
    l.profile = 1;
    l.mode = 2;
    store_.AddLightSetting(l);
    store_.SetActiveLightMode(1, 2);
    const std::string lightBefore = QueryText(DbPath(), "SELECT group_concat(light_id || ':' || status) FROM t_light_data");
    hooks_.calls.clear();

    rules_.SwitchProfile(2);
    EXPECT_EQ(rules_.CurrentProfile(), 3);
    EXPECT_EQ(ActiveInFile(), 3);
    EXPECT_EQ(list_.sel, 2);
    EXPECT_EQ(hooks_.calls, (std::vector<std::string>{"enable", "show 3", "table"}));
    EXPECT_EQ(QueryText(DbPath(), "SELECT group_concat(light_id || ':' || status) FROM t_light_data"), lightBefore);

    hooks_.calls.clear();
    rules_.SwitchProfile(-1);
    EXPECT_EQ(hooks_.calls, (std::vector<std::string>{"disable"}));
    EXPECT_EQ(rules_.CurrentProfile(), 3);
}

TEST_F(RulesTest, WithoutSoftwareMappingTheKeysAreUploaded) {
    rules_.BuildProfileList();
    hooks_.calls.clear();
    rules_.SetSoftwareMapping(false);
    rules_.ApplyCurrentProfile();
    EXPECT_EQ(hooks_.calls, (std::vector<std::string>{"task 6", "busy"}));
}

TEST_F(RulesTest, ResetKeysClearsOnlyTheCurrentProfile) {
    rules_.BuildProfileList();
    store_.SaveKeyAssignment(Key(1, 4, 5));
    store_.SaveKeyAssignment(Key(2, 4, 6));
    prompt_.answer = kAnswerCancel;
    rules_.ResetProfileKeys();
    KeyAssignmentRow k;
    EXPECT_TRUE(store_.GetKeyAssignment(1, 0, 4, k));

    prompt_.answer = kAnswerOk;
    hooks_.calls.clear();
    rules_.ResetProfileKeys();
    EXPECT_EQ(prompt_.shown.back().text, L"Restore the keys of this profile?");
    EXPECT_EQ(prompt_.shown.back().title, L"Restore keys");
    EXPECT_FALSE(store_.GetKeyAssignment(1, 0, 4, k));
    EXPECT_TRUE(store_.GetKeyAssignment(2, 0, 4, k));
    EXPECT_EQ(hooks_.calls, (std::vector<std::string>{"slot", "show 1", "table"}));
}

// ---- factory reset --------------------------------------------------------------

TEST_F(RulesTest, FactoryResetLeavesExactlyANewDatabase) {
    // What a brand-new database looks like once the list is built.
    rules_.BuildProfileList();
    const std::string fresh = DumpDatabase(DbPath());

    // Use it: profiles, keys, macros, lighting, and a changed active profile.
    rules_.AddProfileEntry();
    rules_.RenameProfileEntry(0, L"Mine");
    store_.SaveKeyAssignment(Key(1, 4, 5));
    const int m = store_.CreateMacro(L"m");
    store_.AddMacroRecord(MacroRecordRow{0, m, 2, 0, 4, 10, L"A"});
    LightingLayout layout;
    layout.lightModes = {{L"Static", 1, 3}};
    AddDefaultLightSettings(store_, layout);
    AddDefaultMusicLight(store_, true);
    rules_.SwitchProfile(1);
    ASSERT_NE(DumpDatabase(DbPath()), fresh);

    ReadLanguageId();  // the settings file exists from start-up on
    WriteSettingText(L"exit_mode", L"2");
    SetAutostart(true);
    FakeFactory factory;
    factory.languages.AddEntry(L"Português brasileiro", 1046);
    factory.reselect = [&] { rules_.BuildProfileList(); };
    CurrentLanguageId = 1046;
    hooks_.calls.clear();

    prompt_.answer = kAnswerCancel;
    rules_.RestoreFactorySettings(factory);
    EXPECT_TRUE(factory.calls.empty());
    EXPECT_EQ(ReadSettingInt(L"exit_mode"), 2);

    prompt_.answer = kAnswerOk;
    rules_.RestoreFactorySettings(factory);
    // Asked in the language in use before the reset.
    EXPECT_EQ(prompt_.shown.back().text, L"Restaurar as configurações de fábrica?");
    EXPECT_EQ(prompt_.shown.back().title, L"Configurações de fábrica");
    EXPECT_EQ(DumpDatabase(DbPath()), fresh);
    EXPECT_EQ(ReadSettingInt(L"exit_mode"), 0);
    EXPECT_FALSE(IsAutostartOn());
    // A 1033 user: the language in use is theirs, the stored one 2052.
    EXPECT_EQ(CurrentLanguageId, 1033);
    EXPECT_EQ(ReadLanguageId(), 2052);
    EXPECT_EQ(factory.calls, (std::vector<std::string>{"texts 1033", "uncheck", "reselect"}));
    EXPECT_EQ(hooks_.calls, (std::vector<std::string>{"slot", "show 1", "table", "task 10", "busy"}));
    EXPECT_EQ(list_.Texts(), (std::vector<CString>{L"Profile 1", L"Profile 2", L"Profile 3"}));
}

TEST_F(RulesTest, FactoryResetForAPortugueseUserSelectsTheirLanguage) {
    FakeFactory factory;
    factory.uiLanguage = 1046;
    factory.selected = false;  // no keyboard: the database is left alone
    factory.languages.AddEntry(L"Português brasileiro", 1046);
    ProfileRow p;
    p.name = L"kept";
    store_.AddProfile(p);
    ReadLanguageId();
    rules_.RestoreFactorySettings(factory);
    EXPECT_EQ(factory.languages.sel, 0);
    EXPECT_EQ(CurrentLanguageId, 1046);
    EXPECT_EQ(ReadLanguageId(), 1046);
    EXPECT_EQ(factory.calls, (std::vector<std::string>{"texts 1046", "uncheck"}));
    std::vector<ProfileRow> rows;
    EXPECT_EQ(store_.ListProfiles(rows), 1);
}

// ---- defaults of the lighting page ----------------------------------------------

TEST_F(RulesTest, DefaultLightingRowsComeFromTheLayoutOnce) {
    LightingLayout layout;
    layout.lightModes = {{L"Static", 1, 0x07}, {L"Wave", 4, 0x1F}, {L"Off", 0, 0}};
    layout.defaultLightMode = 4;
    layout.defaultBrightness = 3;
    layout.defaultSpeed = 2;
    EXPECT_EQ(AddDefaultLightSettings(store_, layout), 3);
    std::vector<LightSettingRow> rows;
    ASSERT_EQ(store_.ListLightSettings(1, rows), 3);
    const LightSettingRow& wave = rows[1];
    EXPECT_EQ(wave.name, L"Wave");
    EXPECT_EQ(wave.mode, 4);
    EXPECT_EQ(wave.brightness, 3);
    EXPECT_EQ(wave.speed, 2);
    EXPECT_EQ(wave.direction, 0);
    EXPECT_EQ(wave.colorful, 1);
    EXPECT_EQ(wave.colorindex, 0);
    EXPECT_EQ(wave.colorValue, 255);
    EXPECT_EQ(wave.configFunc, 0x1F);
    EXPECT_EQ(wave.reserved, 0);
    EXPECT_EQ(rows[0].name, L"Static");
    EXPECT_EQ(rows[2].mode, 0);
    EXPECT_EQ(store_.GetActiveLightMode(1), 4);

    EXPECT_EQ(AddDefaultLightSettings(store_, layout), 0);
    EXPECT_EQ(store_.CountLightSettings(1), 3);
}

TEST_F(RulesTest, DefaultMusicLightDependsOnTheRgbKeyboard) {
    for (const bool rgb : {true, false}) {
        SCOPED_TRACE(rgb);
        store_.CloseDatabase();
        store_.DeleteDatabaseFile(GetUserDataFolder(), kKeyboard);
        ASSERT_TRUE(store_.OpenDatabase(GetUserDataFolder(), kKeyboard));
        EXPECT_TRUE(AddDefaultMusicLight(store_, rgb));
        EXPECT_FALSE(AddDefaultMusicLight(store_, rgb));
        EXPECT_EQ(store_.CountMusicLayers(), 1);
        MusicLayerRow m;
        ASSERT_TRUE(store_.GetMusicLayer(store_.GetSelectedMusicLayer(), m));
        EXPECT_EQ(m.name, L"Music 1");
        EXPECT_EQ(m.foremode, rgb ? 17 : 1);
        EXPECT_EQ(m.foreAmplitude, 300);
    }
}
