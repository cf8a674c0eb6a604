// The database file, the wrappers and the record operations, on real files.
#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <thread>

#include "store_fixture.h"

using namespace storetest;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

std::set<std::string> SchemaNames(const std::string& path, const std::string& type) {
    std::set<std::string> names;
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = ? AND name NOT LIKE 'sqlite_%'", -1, &st,
                       nullptr);
    sqlite3_bind_text(st, 1, type.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(st) == SQLITE_ROW) names.insert(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return names;
}

KeyAssignmentRow Key(int profile, int layer, int code, int type, int value, int value2 = 0) {
    KeyAssignmentRow r;
    r.profile = profile;
    r.fnLayer = layer;
    r.keyCode = code;
    r.macroType = type;
    r.macroValue = value;
    r.macroValue2 = value2;
    r.macroDesc = L"desc";
    return r;
}

MacroRecordRow Step(int macro, int type, int index, int value = 4) {
    MacroRecordRow r;
    r.macroId = macro;
    r.type = type;
    r.recordIndex = index;
    r.value = value;
    r.delayTime = 10;
    r.desc = L"A";
    return r;
}

}  // namespace

// ---- the file -----------------------------------------------------------------

TEST_F(StoreTest, NewFileGetsNineTablesAndEightIndexesAtTheDocumentedPath) {
    EXPECT_EQ(DbPath(), DataFolder() + "db/K-Test_data_v1.db");
    EXPECT_TRUE(testsupport::Exists(DbPath()));
    EXPECT_EQ(SchemaNames(DbPath(), "table"),
              (std::set<std::string>{"t_configdata", "t_profile_data", "t_key_macro_data", "t_key_otherdata",
                                     "t_macro_data", "t_macrorecord", "t_light_data", "t_key_light_data",
                                     "t_musiclayer_data"}));
    EXPECT_EQ(SchemaNames(DbPath(), "index"),
              (std::set<std::string>{"profileindex", "keyindex", "otheridindex", "macroidindex", "macrorecordindex",
                                     "lightindex", "keylightindex", "musiclayerindex"}));
    // Nothing but the schema in a new file.
    EXPECT_EQ(QueryText(DbPath(), "SELECT count(*) FROM t_configdata"), "0");
    EXPECT_EQ(QueryText(DbPath(), "SELECT count(*) FROM t_profile_data"), "0");
}

TEST_F(StoreTest, KeyboardNameCannotLeadOutOfTheDbFolder) {
    EXPECT_EQ(ProfileStore::BuildDatabasePath(L"/data/", L"..\\..\\x/y"), "/data/db/.._.._x_y_data_v1.db");
}

TEST_F(StoreTest, ExistingFileWithAMissingTableIsNotRepaired) {
    ProfileRow p;
    p.name = L"kept";
    ASSERT_EQ(store_.AddProfile(p), 1);
    store_.CloseDatabase();
    ExecRaw(DbPath(), "DROP TABLE t_macro_data");

    ASSERT_TRUE(store_.OpenDatabase(GetUserDataFolder(), kKeyboard));
    EXPECT_EQ(store_.CreateMacro(L"m"), 0);
    std::vector<MacroRow> macros(2);
    EXPECT_EQ(store_.ListMacros(macros), 0);
    EXPECT_TRUE(macros.empty());
    MacroRow m;
    EXPECT_FALSE(store_.GetMacro(1, m));
    EXPECT_FALSE(store_.DeleteMacro(1));
    // The other tables still work, and the missing one stays missing.
    EXPECT_EQ(store_.AddProfile(p), 2);
    store_.CloseDatabase();
    EXPECT_EQ(SchemaNames(DbPath(), "table").count("t_macro_data"), 0u);
}

// Files that exist but are no usable database: every operation fails through
// its result and the file is left byte for byte as it was.
TEST_F(StoreTest, UnusableFilesFailEveryOperationAndStayUntouched) {
    ProfileRow p;
    p.name = L"a";
    for (int i = 0; i < 40; ++i) store_.AddProfile(p);
    store_.CloseDatabase();
    const std::string good = ReadFile(DbPath());
    ASSERT_GT(good.size(), 8192u);

    const std::vector<std::pair<const char*, std::string>> cases = {
        {"text file", "this is not a database, just some text\n"},
        {"truncated", good.substr(0, good.size() / 2)},
        {"header only", good.substr(0, 100)},
        {"empty", ""},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        WriteFile(DbPath(), bytes);
        EXPECT_TRUE(store_.OpenDatabase(GetUserDataFolder(), kKeyboard));  // the file exists and SQLite opens it
        std::vector<ProfileRow> rows;
        EXPECT_EQ(store_.ListProfiles(rows), 0);
        EXPECT_EQ(store_.AddProfile(p), 0);
        EXPECT_FALSE(store_.RenameProfile(1, L"b"));
        EXPECT_EQ(store_.CreateMacro(L"m"), 0);
        EXPECT_EQ(store_.SaveKeyAssignment(Key(1, 0, 4, 2, 5)), 0);
        EXPECT_EQ(store_.GetActiveProfile(), 0);
        store_.CloseDatabase();
        EXPECT_EQ(ReadFile(DbPath()), bytes);
    }
}

TEST_F(StoreTest, MissingDbFolderLeavesTheStoreClosed) {
    store_.CloseDatabase();
    const CString elsewhere = GetUserDataFolder() + L"nowhere/";
    EXPECT_FALSE(store_.OpenDatabase(elsewhere, kKeyboard));
    EXPECT_FALSE(store_.IsDatabaseOpen());
    EXPECT_FALSE(store_.Database().IsOpen());
    ProfileRow p;
    EXPECT_EQ(store_.AddProfile(p), 0);
    std::vector<ProfileRow> rows(1);
    EXPECT_EQ(store_.ListProfiles(rows), 0);
    EXPECT_TRUE(rows.empty());
    EXPECT_FALSE(testsupport::Exists(elsewhere.ToUtf8() + "db"));
}

TEST_F(StoreTest, ReadOnlyFileCanBeReadButNotWritten) {
    ProfileRow p;
    p.name = L"kept";
    ASSERT_EQ(store_.AddProfile(p), 1);
    store_.CloseDatabase();
    // The child is another user: the file and the folders on its way must be readable.
    chmod(DbPath().c_str(), 0444);
    for (std::string d = DataFolder() + "db"; d.size() >= home_.dir().path().size(); d = d.substr(0, d.rfind('/')))
        chmod(d.c_str(), 0755);
    const std::string before = DumpDatabase(DbPath());

    const int failed = RunUnprivileged([&] {
        ProfileStore ro;
        if (!ro.OpenDatabase(GetUserDataFolder(), kKeyboard)) return 1;
        std::vector<ProfileRow> rows;
        if (ro.ListProfiles(rows) != 1 || rows[0].name != L"kept") return 2;
        if (ro.AddProfile(p) != 0) return 3;
        if (ro.RenameProfile(1, L"changed")) return 4;
        if (ro.SaveKeyAssignment(Key(1, 0, 4, 2, 5)) != 0) return 5;
        ro.SaveKeyLights({KeyLightRow{0, 1, 128, 4, 255}});
        return 0;
    });
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(DumpDatabase(DbPath()), before);
}

TEST_F(StoreTest, DeleteDatabaseFileRemovesTheFileAndAStaleJournal) {
    store_.CloseDatabase();
    WriteFile(DbPath() + "-journal", "stale");
    store_.DeleteDatabaseFile(GetUserDataFolder(), kKeyboard);
    EXPECT_FALSE(testsupport::Exists(DbPath()));
    EXPECT_FALSE(testsupport::Exists(DbPath() + "-journal"));
    // Opening again creates a new file with the schema.
    ASSERT_TRUE(store_.OpenDatabase(GetUserDataFolder(), kKeyboard));
    EXPECT_EQ(SchemaNames(DbPath(), "table").size(), 9u);
}

TEST_F(StoreTest, TextsAreStoredAsUtf8) {
    ProfileRow p;
    p.name = L"Ä \"q\" & <x> \U0001F600";
    ASSERT_EQ(store_.AddProfile(p), 1);
    EXPECT_EQ(QueryText(DbPath(), "SELECT hex(name) FROM t_profile_data"),
              "C38420227122202620" "3C783E20F09F9880");
    CString back;
    ASSERT_TRUE(store_.GetProfileName(1, back));
    EXPECT_EQ(back, p.name);
}

// ---- wrappers ---------------------------------------------------------------

TEST(SQLiteWrapperTest, ClosedConnectionAndFailedCompileReportMisuse) {
    SQLiteDB db;
    SQLiteStatement st;
    EXPECT_EQ(db.Prepare(st, "SELECT 1"), kSqliteMisuse);
    EXPECT_EQ(db.Execute("SELECT 1"), kSqliteMisuse);
    EXPECT_EQ(db.LastInsertId(), -1);
    EXPECT_EQ(st.BindInt(1, 1), kSqliteMisuse);
    EXPECT_EQ(st.Step(), kSqliteMisuse);

    ASSERT_TRUE(db.Open(":memory:", kSqliteOpenReadWrite | kSqliteOpenCreate | kSqliteOpenFullMutex, ""));
    EXPECT_EQ(db.Prepare(st, nullptr), kSqliteMisuse);
    EXPECT_NE(db.Prepare(st, "SELECT * FROM no_such_table"), kSqliteOk);
    EXPECT_FALSE(st.IsCompiled());
    EXPECT_EQ(st.BindText(1, "x", 1), kSqliteMisuse);
    EXPECT_EQ(st.Step(), kSqliteMisuse);

    ASSERT_EQ(db.Prepare(st, "SELECT 7, NULL"), kSqliteOk);
    EXPECT_EQ(st.IsReset(), 1);
    EXPECT_EQ(st.Step(), kSqliteRow);
    EXPECT_EQ(st.IsReset(), 0);
    EXPECT_EQ(st.ColumnInt(0), 7);
    EXPECT_STREQ(st.ColumnText(1), "");
    EXPECT_EQ(st.Step(), kSqliteDone);
    EXPECT_EQ(st.IsReset(), 1);
}

TEST(SQLiteWrapperTest, NestedAutoTransactionLeavesTheOuterOneOpen) {
    SQLiteDB db;
    ASSERT_TRUE(db.Open(":memory:", kSqliteOpenReadWrite | kSqliteOpenCreate | kSqliteOpenFullMutex, ""));
    ASSERT_EQ(db.Execute("CREATE TABLE t(a)"), kSqliteOk);
    SQLiteAutoTransaction outer(db);
    ASSERT_TRUE(outer.IsBegun());
    {
        SQLiteAutoTransaction inner(db);
        EXPECT_FALSE(inner.IsBegun());
        db.Execute("INSERT INTO t VALUES (1)");
    }
    // Still inside the outer transaction, so this undoes the inner insert.
    EXPECT_EQ(outer.Rollback(), kSqliteOk);
    SQLiteStatement st;
    db.Prepare(st, "SELECT count(*) FROM t");
    st.Step();
    EXPECT_EQ(st.ColumnInt(0), 0);
}

// ---- profiles -----------------------------------------------------------------

TEST_F(StoreTest, ProfilesAddRenameActivateAndDelete) {
    ProfileRow p;
    p.name = L"one";
    p.status = 1;  // ignored: a new profile is never active
    p.type = 7;    // ignored: always 0
    ASSERT_EQ(store_.AddProfile(p), 1);
    p.name = L"two";
    ASSERT_EQ(store_.AddProfile(p), 2);

    std::vector<ProfileRow> rows(5);  // stale content must go
    ASSERT_EQ(store_.ListProfiles(rows), 2);
    EXPECT_EQ(rows[0].name, L"one");
    EXPECT_EQ(rows[0].status, 0);
    EXPECT_EQ(rows[0].type, 0);
    EXPECT_EQ(store_.GetActiveProfile(), 0);

    EXPECT_TRUE(store_.SetActiveProfile(1));
    EXPECT_TRUE(store_.SetActiveProfile(2));
    EXPECT_EQ(store_.GetActiveProfile(), 2);
    EXPECT_EQ(QueryText(DbPath(), "SELECT sum(status) FROM t_profile_data"), "1");

    EXPECT_TRUE(store_.RenameProfile(1, L"uno"));
    CString name = L"stale";
    EXPECT_TRUE(store_.GetProfileName(1, name));
    EXPECT_EQ(name, L"uno");
    name = L"stale";
    EXPECT_FALSE(store_.GetProfileName(9, name));
    EXPECT_TRUE(name.empty());
}

TEST_F(StoreTest, DeleteProfileKeepsTheProfilesOtherRows) {
    ProfileRow p;
    ASSERT_EQ(store_.AddProfile(p), 1);
    ASSERT_GT(store_.SaveKeyAssignment(Key(1, 0, 4, 2, 5)), 0);
    LightSettingRow l;
    l.profile = 1;
    l.mode = 2;
    ASSERT_GT(store_.AddLightSetting(l), 0);
    store_.SaveKeyLights({KeyLightRow{0, 1, 128, 4, 255}});

    EXPECT_TRUE(store_.DeleteProfile(1));
    std::vector<ProfileRow> rows;
    EXPECT_EQ(store_.ListProfiles(rows), 0);
    std::vector<KeyAssignmentRow> keys;
    EXPECT_EQ(store_.ListKeyAssignments(1, 0, keys), 1);
    EXPECT_EQ(store_.CountLightSettings(1), 1);
    std::vector<KeyLightRow> lights;
    EXPECT_EQ(store_.ListKeyLights(128, lights), 1);
}

// ---- key assignments --------------------------------------------------------

TEST_F(StoreTest, SaveKeyAssignmentReplacesDeletesOrIgnores) {
    KeyAssignmentRow k = Key(1, 0, 4, 2, 5);
    k.layoutValue = 3;
    k.layoutDesc = L"lay";
    k.macroValue3 = 9;
    const int first = store_.SaveKeyAssignment(k);
    ASSERT_GT(first, 0);
    KeyAssignmentRow got;
    ASSERT_TRUE(store_.GetKeyAssignment(1, 0, 4, got));
    EXPECT_EQ(got.keyId, first);
    EXPECT_EQ(got.layoutValue, 3);
    EXPECT_EQ(got.layoutDesc, L"lay");
    EXPECT_EQ(got.macroType, 2);
    EXPECT_EQ(got.macroValue, 5);
    EXPECT_EQ(got.macroValue3, 9);
    EXPECT_EQ(got.macroDesc, L"desc");

    // A second save of the same key replaces the row.
    k.macroValue = 6;
    EXPECT_GT(store_.SaveKeyAssignment(k), first);
    std::vector<KeyAssignmentRow> rows;
    ASSERT_EQ(store_.ListKeyAssignments(1, 0, rows), 1);
    EXPECT_EQ(rows[0].macroValue, 6);

    // Only macro_value2 set still stores a row.
    EXPECT_GT(store_.SaveKeyAssignment(Key(1, 0, 5, 12, 0, 3)), 0);

    // Key code 0 changes nothing.
    const std::string before = DumpDatabase(DbPath());
    EXPECT_EQ(store_.SaveKeyAssignment(Key(1, 0, 0, 2, 7)), 0);
    EXPECT_EQ(DumpDatabase(DbPath()), before);

    // Both values 0: back to default, the row goes and nothing is inserted.
    EXPECT_EQ(store_.SaveKeyAssignment(Key(1, 0, 4, 1, 0, 0)), 0);
    EXPECT_FALSE(store_.GetKeyAssignment(1, 0, 4, got));
    int id = -1;
    EXPECT_TRUE(store_.TrySaveKeyAssignment(Key(1, 0, 4, 1, 0, 0), id));
    EXPECT_EQ(id, 0);
    EXPECT_EQ(store_.ListKeyAssignments(1, 0, rows), 1);
}

TEST_F(StoreTest, KeyAssignmentsAreKeptPerProfileAndLayer) {
    store_.SaveKeyAssignment(Key(1, 0, 4, 2, 5));
    store_.SaveKeyAssignment(Key(1, 1, 4, 2, 6));
    store_.SaveKeyAssignment(Key(2, 0, 4, 2, 7));
    std::vector<KeyAssignmentRow> rows;
    ASSERT_EQ(store_.ListKeyAssignments(1, 1, rows), 1);
    EXPECT_EQ(rows[0].macroValue, 6);
    store_.DeleteKeyAssignments(1);
    EXPECT_EQ(store_.ListKeyAssignments(1, 0, rows), 0);
    EXPECT_EQ(store_.ListKeyAssignments(1, 1, rows), 0);
    EXPECT_EQ(store_.ListKeyAssignments(2, 0, rows), 1);
}

TEST_F(StoreTest, KeyOtherDataForAMissingIdLeavesTheOutputs) {
    const int id = store_.AddKeyOtherData(L"www.example.org", L"", 9);
    ASSERT_GT(id, 0);
    CString text, param = L"p";
    int kind = 0;
    EXPECT_TRUE(store_.GetKeyOtherData(id, text, param, kind));
    EXPECT_EQ(text, L"www.example.org");
    EXPECT_EQ(param, L"");
    EXPECT_EQ(kind, 9);

    text = L"t";
    param = L"p";
    kind = 42;
    EXPECT_TRUE(store_.GetKeyOtherData(id + 100, text, param, kind));
    EXPECT_EQ(text, L"t");
    EXPECT_EQ(param, L"p");
    EXPECT_EQ(kind, 42);
}

// ---- macros -------------------------------------------------------------------

TEST_F(StoreTest, DeleteMacroRemovesItsStepsAndTheKeysOfEveryProfile) {
    const int m = store_.CreateMacro(L"m");
    const int other = store_.CreateMacro(L"other");
    ASSERT_GT(m, 0);
    store_.AddMacroRecords({Step(m, 2, 0), Step(m, 3, 1), Step(other, 2, 0)});
    store_.SaveKeyAssignment(Key(1, 0, 4, kKeyKindMacro, m));
    store_.SaveKeyAssignment(Key(2, 1, 5, kKeyKindMacro, m));
    store_.SaveKeyAssignment(Key(1, 0, 6, kKeyKindMacro, other));
    store_.SaveKeyAssignment(Key(1, 0, 7, 2, m));  // a key function whose value happens to equal the id

    EXPECT_TRUE(store_.DeleteMacro(m));
    MacroRow row;
    EXPECT_FALSE(store_.GetMacro(m, row));
    std::vector<MacroRecordRow> steps;
    EXPECT_EQ(store_.ListMacroRecords(m, steps), 0);
    EXPECT_EQ(store_.ListMacroRecords(other, steps), 1);
    KeyAssignmentRow k;
    EXPECT_FALSE(store_.GetKeyAssignment(1, 0, 4, k));
    EXPECT_FALSE(store_.GetKeyAssignment(2, 1, 5, k));
    EXPECT_TRUE(store_.GetKeyAssignment(1, 0, 6, k));
    EXPECT_TRUE(store_.GetKeyAssignment(1, 0, 7, k));
}

TEST_F(StoreTest, MacroHeaderOperations) {
    const int id = store_.CreateMacro(L"rec");
    MacroRow m;
    ASSERT_TRUE(store_.GetMacro(id, m));
    EXPECT_EQ(m.playTimes, 1);
    EXPECT_EQ(m.delayType, 1);
    EXPECT_EQ(m.delayTime, 0);
    EXPECT_EQ(m.linkCount, 0);

    m.playTimes = 5;
    m.delayType = 3;
    m.delayTime = 25;
    m.name = L"ignored";
    EXPECT_TRUE(store_.UpdateMacroPlayback(m));
    EXPECT_TRUE(store_.RenameMacro(id, L"renamed"));
    int times = 0;
    EXPECT_TRUE(store_.GetMacroPlayTimes(id, times));
    EXPECT_EQ(times, 5);
    EXPECT_FALSE(store_.GetMacroPlayTimes(id + 1, times));

    MacroRow copy;
    copy.name = L"copy";
    copy.playTimes = 2;
    copy.delayType = 2;
    copy.delayTime = 7;
    copy.linkCount = 4;
    const int copyId = store_.AddMacro(copy);
    std::vector<MacroRow> all;
    ASSERT_EQ(store_.ListMacros(all), 2);
    EXPECT_EQ(all[0].name, L"renamed");
    EXPECT_EQ(all[0].delayTime, 25);
    EXPECT_EQ(all[1].macroId, copyId);
    EXPECT_EQ(all[1].linkCount, 4);
    EXPECT_EQ(all[1].delayType, 2);
}

TEST_F(StoreTest, StepsComeInRecordIndexOrderAndKindOneIsNoAction) {
    const int m = store_.CreateMacro(L"m");
    for (int index : {3, 0, 2, 1}) ASSERT_GT(store_.AddMacroRecord(Step(m, index == 2 ? 1 : 2, index, index)), 0);
    std::vector<MacroRecordRow> steps(9);
    ASSERT_EQ(store_.ListMacroRecords(m, steps), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(steps[static_cast<size_t>(i)].recordIndex, i);
        EXPECT_EQ(steps[static_cast<size_t>(i)].value, i);
        EXPECT_EQ(steps[static_cast<size_t>(i)].desc, L"A");
    }
    EXPECT_EQ(store_.CountMacroActions(m), 3);

    const int onlyDelays = store_.CreateMacro(L"d");
    store_.AddMacroRecords({Step(onlyDelays, 1, 0), Step(onlyDelays, 1, 1)});
    EXPECT_EQ(store_.CountMacroActions(onlyDelays), 0);
    EXPECT_TRUE(store_.DeleteMacroRecords(m));
    EXPECT_EQ(store_.CountMacroActions(m), 0);
}

// ---- lighting -----------------------------------------------------------------

TEST_F(StoreTest, LightSettingsUpdateAndActiveModeAcrossProfiles) {
    LightSettingRow l;
    l.profile = 1;
    l.name = L"wave";
    l.mode = 3;
    l.brightness = 4;
    l.status = 1;
    const int id = store_.AddLightSetting(l);
    ASSERT_GT(id, 0);
    l.mode = 5;
    l.status = 0;
    store_.AddLightSetting(l);
    l.profile = 2;
    l.mode = 3;
    l.status = 1;
    store_.AddLightSetting(l);

    LightSettingRow upd;
    upd.brightness = 9;
    upd.speed = 2;
    upd.direction = 1;
    upd.colorful = 1;
    upd.colorindex = 6;
    upd.colorValue = 0x00FF00;
    upd.configFunc = 0x1F;
    upd.reserved = 8;
    upd.name = L"not written";
    upd.status = 0;
    EXPECT_TRUE(store_.UpdateLightSetting(1, 3, upd));
    LightSettingRow got;
    ASSERT_TRUE(store_.GetLightSetting(1, 3, got));
    EXPECT_EQ(got.lightId, id);
    EXPECT_EQ(got.name, L"wave");
    EXPECT_EQ(got.status, 1);
    EXPECT_EQ(got.brightness, 9);
    EXPECT_EQ(got.colorValue, 0x00FF00);
    EXPECT_EQ(got.configFunc, 0x1F);
    EXPECT_EQ(got.reserved, 8);

    // Activating a mode of profile 1 clears the active flag of profile 2 too.
    EXPECT_TRUE(store_.SetActiveLightMode(1, 5));
    EXPECT_EQ(store_.GetActiveLightMode(1), 5);
    EXPECT_EQ(store_.GetActiveLightMode(2), 0);
    std::vector<LightSettingRow> rows;
    EXPECT_EQ(store_.ListLightSettings(1, rows), 2);
    EXPECT_EQ(store_.CountLightSettings(2), 1);
    EXPECT_EQ(store_.CountLightSettings(3), 0);
}

TEST_F(StoreTest, KeyColoursOfSet128AreSharedAndDeletedTogether) {
    EXPECT_EQ(store_.SaveKeyLights({{0, 1, 128, 4, 0x0000FF}, {0, 2, 128, 5, static_cast<int>(0xFFFFFFFF)},
                                    {0, 1, 129, 4, 0x00FF00}}),
              3);
    std::vector<KeyLightRow> rows;
    ASSERT_EQ(store_.ListKeyLights(128, rows), 2);
    EXPECT_EQ(rows[1].profile, 2);
    EXPECT_EQ(static_cast<COLORREF>(rows[1].keyRgb), 0xFFFFFFFFu);
    EXPECT_TRUE(store_.DeleteCustomKeyLights());
    EXPECT_EQ(store_.ListKeyLights(128, rows), 0);
    EXPECT_EQ(store_.ListKeyLights(129, rows), 1);
}

TEST_F(StoreTest, MusicLayerIsTheOneRecordOfProfileOne) {
    EXPECT_EQ(store_.CountMusicLayers(), 0);
    EXPECT_EQ(store_.GetSelectedMusicLayer(), 0);
    ASSERT_EQ(store_.AddMusicLayer(L"Music 1", 17), 1);
    EXPECT_TRUE(store_.SelectMusicLayer());
    EXPECT_EQ(store_.GetSelectedMusicLayer(), 1);
    MusicLayerRow m;
    ASSERT_TRUE(store_.GetMusicLayer(1, m));
    EXPECT_EQ(m.profile, 1);
    EXPECT_EQ(m.name, L"Music 1");
    EXPECT_EQ(m.deviceindex, 0);
    EXPECT_EQ(m.foremode, 17);
    EXPECT_EQ(m.foreAmplitude, 300);
    EXPECT_EQ(m.backmode, 0);
    EXPECT_EQ(m.backbRight, 100);

    m.layerId = 77;  // the update always goes to layer 1
    m.foremode = 2;
    m.foreAmplitude = 150;
    m.backbRight = 40;
    EXPECT_TRUE(store_.UpdateMusicLayer(m));
    ASSERT_TRUE(store_.GetMusicLayer(1, m));
    EXPECT_EQ(m.foremode, 2);
    EXPECT_EQ(m.foreAmplitude, 150);
    EXPECT_EQ(m.backbRight, 40);
    EXPECT_EQ(store_.CountMusicLayers(), 1);
}

// ---- locking and transactions -----------------------------------------------

TEST_F(StoreTest, ConcurrentInsertsGetTheirOwnIds) {
    constexpr int kPerThread = 200;
    std::vector<int> a, b;
    auto work = [&](std::vector<int>& ids, int layer) {
        for (int i = 0; i < kPerThread; ++i) {
            ids.push_back(store_.SaveKeyAssignment(Key(1, layer, i + 1, 2, i + 1)));
            std::vector<KeyAssignmentRow> rows;
            store_.ListKeyAssignments(1, layer, rows);
        }
    };
    std::thread t1(work, std::ref(a), 0);
    std::thread t2(work, std::ref(b), 1);
    t1.join();
    t2.join();
    // Each thread got back the ids of exactly the rows it wrote.
    for (const auto& [layer, ids] : {std::pair{0, &a}, std::pair{1, &b}}) {
        std::vector<KeyAssignmentRow> rows;
        ASSERT_EQ(store_.ListKeyAssignments(1, layer, rows), kPerThread);
        std::set<int> stored;
        for (const KeyAssignmentRow& r : rows) stored.insert(r.keyId);
        EXPECT_EQ(stored, std::set<int>(ids->begin(), ids->end()));
    }
}

TEST_F(StoreTest, TransactionUndoesUnlessCommitted) {
    ProfileRow p;
    {
        ProfileStore::Transaction tx(store_);
        ASSERT_GT(store_.AddProfile(p), 0);
        ASSERT_GT(store_.CreateMacro(L"m"), 0);
    }
    std::vector<ProfileRow> rows;
    EXPECT_EQ(store_.ListProfiles(rows), 0);
    std::vector<MacroRow> macros;
    EXPECT_EQ(store_.ListMacros(macros), 0);
    {
        ProfileStore::Transaction tx(store_);
        store_.AddProfile(p);
        EXPECT_TRUE(tx.Commit());
    }
    Reopen();
    EXPECT_EQ(store_.ListProfiles(rows), 1);
}

TEST_F(StoreTest, SeedConfigWritesElevenRowsOfProfileOne) {
    EXPECT_TRUE(store_.SeedConfig());
    EXPECT_EQ(QueryText(DbPath(), "SELECT count(*) FROM t_configdata WHERE profile = 1"), "11");
    EXPECT_EQ(QueryText(DbPath(), "SELECT group_concat(key || '=' || value, ',') FROM t_configdata"),
              "version=1.0.1,keyboard_layout=1,fn_layer=0,lightmode=1,sleep_light=1,userlight=0,"
              "customlight_run=0,gamemode=0,disable_alttab=0,disable_altf4=0,disable_win=0");
}
